#!/usr/bin/env bash
# Runs in which a stage fails, or nearly: a service installed but stopped, a service that
# ignores the stop request, a service still starting, and a product file held open by a
# running program.
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin
inst="$E2E_INSTALL_DIR"

e2e_case "service installed but stopped, /CREATELOG"
e2e_prefix
install_full --service stopped || exit 1
before_run STOPPED
quelmark /CREATELOG
check_eq "exit status" 0 "$E2E_STATUS"
# Not removed by the services stage; its key goes with the registry stage.
expected_log "$E2E_OUT/inventory.before" stopped >"$E2E_OUT/expected.log"
check_log "$E2E_OUT/expected.log" "$(log_file)"
check_left "service TEVSvc STOPPED"
check_bystanders

e2e_case "service ignoring the stop request, /CREATELOG"
e2e_prefix
install_full --service running --svc-args stuck || exit 1
before_run RUNNING
quelmark /CREATELOG
check_eq "exit status" 0 "$E2E_STATUS"
check "the stop was polled for about 10 seconds" awk -v s="$E2E_SECONDS" 'BEGIN { exit !(s >= 12) }'
# 504 after the polls; the service's program still runs, so its file stays.
expected_log "$E2E_OUT/inventory.before" pending "${inst}TEVSvc.exe" >"$E2E_OUT/expected.log"
check_log "$E2E_OUT/expected.log" "$(log_file)"
check_left "service TEVSvc STOP_PENDING" "dir $inst" "file ${inst}TEVSvc.exe"
check_bystanders

e2e_case "service still starting, /CREATELOG"
e2e_prefix
install_full --service start-pending --svc-args "slowstart 5000" || exit 1
stage_to "$E2E_OUT/inventory.before" inventory
check_staged "$E2E_OUT/inventory.before" START_PENDING
quelmark /CREATELOG
check_eq "exit status" 0 "$E2E_STATUS"
# Polled every 2 seconds until it runs, then asked to stop and removed.
expected_log "$E2E_OUT/inventory.before" removed >"$E2E_OUT/expected.log"
check_log "$E2E_OUT/expected.log" "$(log_file)"
check_left

e2e_case "product file held open, interactive"
e2e_prefix
install_full --service running --hold || exit 1
before_run
held="${inst}Datos\\firmas.dat"
expected_log "$E2E_OUT/inventory.before" removed "$held" >"$E2E_OUT/expected.log"
interactive_run "services Ok,processes Ok,registry Ok,files Fallo" "$E2E_OUT/expected.log" yes
check_left "dir $inst" "dir ${inst}Datos\\" "file $held"
check_bystanders

e2e_finish
