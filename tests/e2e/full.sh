#!/usr/bin/env bash
# A full installation with its service running, unattended run with " /CREATELOG": every
# planned item is gone, every bystander intact, the log right line for line, status 0 and no
# restart.
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

e2e_case "full installation, /CREATELOG"
e2e_prefix
full_createlog_run || exit 1

e2e_case "full installation, two copies of each program (two sessions), /CREATELOG"
e2e_prefix
install_full --service running --copies 2 || exit 1
before_run
check "staged: two copies of each program" test "$(grep -c -a ' 2$' "$E2E_OUT/inventory.before")" -eq 3
quelmark /CREATELOG
check_removed

e2e_finish
