#!/usr/bin/env bash
# " /REBOOT_AUTO": after a run that found the service Windows is restarted without a word;
# after a run that found none it is not. Under Wine a restart ends every process of the
# prefix, and of the prefix only: the bystander program's end is the sign.
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

e2e_case "full installation, /REBOOT_AUTO"
e2e_prefix
install_full --service running || exit 1
check "the bystander program runs before" bystander_running
quelmark /REBOOT_AUTO
check_eq "exit status" 0 "$E2E_STATUS"
check_restart yes
check "no log file without /CREATELOG" test -z "$(log_file)"

e2e_case "product absent, /REBOOT_AUTO"
e2e_prefix
install_absent || exit 1
quelmark /REBOOT_AUTO
check_eq "exit status" 0 "$E2E_STATUS"
check_restart no

e2e_finish
