#!/usr/bin/env bash
# One copy at a time, and nobody else can stop a run: another program holding the lock's
# name (with its account's default security, or with an access list that refuses everyone)
# does not keep Quelmark from running, while a real second copy still ends at once. Statuses
# are read in full inside the prefix (the unix side sees them cut to 8 bits).
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin
lock='Global\Quelmark.Tev32.Limpieza'

# squat SECURITY: another program creates the lock's name first and holds it; true once it does.
squat() {
  rm -f "$E2E_TOOLS/squatting.txt"
  qmw_start_bg --timeout 600 --out "$E2E_OUT/squatter.out" --err "$E2E_OUT/squatter.err" \
    "$E2E_TOOLS/fakeproc.exe" --mutex "$lock" "$1" 'C:\qmtools\squatting.txt'
  for _ in $(seq 1 100); do
    [ -f "$E2E_TOOLS/squatting.txt" ] && return 0
    sleep 0.2
  done
  return 1
}

for security in default deny-all; do
  e2e_case "the lock's name held by another program ($security security): the run goes on"
  e2e_prefix
  install_full --service running || exit 1
  check "the other program holds the name" squat "$security"
  quelmark_status /CREATELOG /EXITCODE
  check_eq "exit status" 3010 "$E2E_STATUS"
  check "the log was written" test -n "$(log_file)"
  check_left
  keep_artifact "$(log_file)"
done

e2e_case "a copy running: the next ends at once with 1618"
e2e_prefix
install_full --service running || exit 1
qmw_start_bg --x --timeout 300 --out "$E2E_OUT/first.out" --err "$E2E_OUT/first.err" \
  "$E2E_TOOLS/Quelmark.exe"
first=$QMW_LAST_PID
check "the first copy's window shows" driver wait-window Quelmark 60
quelmark_status /CREATELOG /EXITCODE
check_eq "exit status of the second copy" 1618 "$E2E_STATUS"
check "no log was written" test -z "$(log_file)"
check "close the first copy" driver close Quelmark
qmw_wait_bg "$first" 30 >/dev/null

e2e_finish
