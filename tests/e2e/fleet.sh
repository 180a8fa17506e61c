#!/usr/bin/env bash
# Runs as deployment tools make them across many machines: an automatic run that nothing can
# hold up, the exit statuses of /EXITCODE (read in full inside the prefix: the unix side sees
# them cut to 8 bits), deletions left to the restart, and the preview that only looks.
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin
inst="$E2E_INSTALL_DIR"
held="${inst}Datos\\firmas.dat"

within() { awk -v s="$E2E_SECONDS" -v l="$1" 'BEGIN { exit !(s < l) }'; }
last_line() { tail -n 1 "$1" | tr -d '\r'; }

e2e_case "Temp replaced by a plain file, /CREATELOG /REBOOT_AUTO: no box, ends at once"
e2e_prefix
install_absent || exit 1
temp=$(find "$(qmw_drive_c)/windows" -maxdepth 1 -iname temp | head -n 1)
rm -rf "$temp" && echo "not a folder" >"$temp"
quelmark /CREATELOG /REBOOT_AUTO
check "ended within 15 s" within 15
check_eq "exit status" 0 "$E2E_STATUS"
check "no Quelmark window stayed" not driver wait-window Quelmark 1

e2e_case "service refusing the stop, /CREATELOG: no box, the Error line ends the log"
e2e_prefix
install_full --service running --svc-args refuse || exit 1
quelmark /CREATELOG
check "ended within 15 s" within 15
check_eq "exit status" 0 "$E2E_STATUS"
log=$(log_file)
check "the log's last line is the service component's error" \
  grep -q -a '^Error: ' <(last_line "$log")
echo "  last line: $(last_line "$log")"
keep_artifact "$log"

e2e_case "/EXITCODE, product absent: 1605"
e2e_prefix
install_absent || exit 1
quelmark_status /CREATELOG /EXITCODE
check_eq "exit status" 1605 "$E2E_STATUS"
check_eq "the log ends with the status" "  C"$'\xF3'"digo de salida: 1605" "$(last_line "$(log_file)")"

e2e_case "/EXITCODE, whole product: 3010"
e2e_prefix
install_full --service running || exit 1
quelmark_status /CREATELOG /EXITCODE
check_eq "exit status" 3010 "$E2E_STATUS"
check_left
keep_artifact "$(log_file)"

e2e_case "/EXITCODE, product file held open: 1603"
e2e_prefix
install_full --service running --hold || exit 1
quelmark_status /CREATELOG /EXITCODE
check_eq "exit status" 1603 "$E2E_STATUS"
check "the log names the file's folder as left" grep -q -a -F "  Queda $inst"$'\r' "$(log_file)"
keep_artifact "$(log_file)"

e2e_case "/DELAYDELETE, product file held open: 3010, gone after the restart"
e2e_prefix
install_full --service running --hold || exit 1
quelmark_status /CREATELOG /EXITCODE /DELAYDELETE
check_eq "exit status" 3010 "$E2E_STATUS"
keep_artifact "$(log_file)"
qmw_wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' \
  /v PendingFileRenameOperations >"$E2E_OUT/pending.txt" 2>&1
check "PendingFileRenameOperations names the held file" \
  grep -q -a -i -F 'Datos\firmas.dat' "$E2E_OUT/pending.txt"
check_left "dir $inst" "dir ${inst}Datos\\" "file $held"
# Wine's restart carries the pending deletions out; the program holding the file ends first,
# as every program does when Windows restarts.
qmw_wine taskkill /f /im Visor.exe >/dev/null 2>&1
sleep 1
qmw_wine wineboot -r >/dev/null 2>&1
check_left

e2e_case "/PREVIEW on the whole product: 1, nothing changed"
e2e_prefix
install_full --service running || exit 1
before_run
quelmark_status /PREVIEW /CREATELOG
check_eq "exit status" 1 "$E2E_STATUS"
stage_to "$E2E_OUT/inventory.after" inventory
check "the staged product is intact" cmp -s "$E2E_OUT/inventory.before" "$E2E_OUT/inventory.after"
check_bystanders
check "no Quelmark.log was written" test -z "$(log_file)"
preview=$(find "$(qmw_drive_c)/windows" -maxdepth 2 -ipath '*/temp/quelmark-preview.log' | head -n 1)
check "the preview log names the service as present" \
  grep -q -a -F "  Presente: Servicio TEVSvc"$'\r' "$preview"
check "every preview line ends with CR LF" crlf_only "$preview"
keep_artifact "$preview"

e2e_finish
