#!/usr/bin/env bash
# The interactive road: a full installation, the user clicks "Comenzar Limpieza", reads the
# marks, opens the log viewer, closes the main window and answers the end message with
# Cancel; then the same road with the product absent (no end message). Screenshots of the main window before and after the run are kept as artifacts.
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

e2e_case "full installation, interactive"
e2e_prefix
install_full --service running || exit 1
before_run
expected_log "$E2E_OUT/inventory.before" removed >"$E2E_OUT/expected.log"
interactive_run "services Ok,processes Ok,registry Ok,files Ok" "$E2E_OUT/expected.log" yes
check "no log file after an interactive run" test -z "$(log_file)"
check_left
check_restart no
check_bystanders

e2e_case "product absent, interactive"
e2e_prefix
install_absent || exit 1
expected_log /dev/null absent >"$E2E_OUT/expected.log"
interactive_run "services Fallo,processes Ok,registry Fallo,files Fallo" "$E2E_OUT/expected.log" no
check_restart no

e2e_finish
