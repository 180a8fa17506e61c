#!/usr/bin/env bash
# Product absent, unattended run with " /CREATELOG": the log is the absent-product log byte
# for byte, nothing beside the product changes, the process ends with status 0 and Windows is
# not restarted (the bystander program still runs).
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

e2e_case "product absent, /CREATELOG"
e2e_prefix
install_absent || exit 1
stage_to "$E2E_OUT/inventory.before" inventory
check "nothing of the product is installed" test ! -s "$E2E_OUT/inventory.before"
stage_to "$E2E_OUT/digest.before" digest

quelmark /CREATELOG
check_eq "exit status" 0 "$E2E_STATUS"
expected_log /dev/null absent >"$E2E_OUT/expected.log"
log=$(log_file)
if [ -n "$log" ]; then
  check "the log equals the absent-product log byte for byte" cmp "$E2E_OUT/expected.log" "$log"
  keep_artifact "$log"
else
  not_ok "the log file C:\\windows\\Temp\\Quelmark.log was written"
fi
stage_to "$E2E_OUT/digest.after" digest
check_digest "$E2E_OUT/digest.before" "$E2E_OUT/digest.after"

e2e_finish
