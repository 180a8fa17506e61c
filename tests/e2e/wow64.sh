#!/usr/bin/env bash
# 64-bit Windows as it is for this product, a 32-bit one. The i686 staging tool, run in a
# 64-bit prefix, leaves the product as its 32-bit installer does there: machine keys under
# HKLM\SOFTWARE\WOW6432Node, class keys in the 32-bit view, files under Program Files (x86),
# the driver in the real System32\drivers (and, in SysWOW64\drivers, a file of the same name
# that is nothing of the product's). The shipped i686 program removes all of the product and
# acts on System32's driver file, not on SysWOW64's; the x86_64 one sees only the 64-bit
# view: its log is the log of the product as that view shows it (the 32-bit keys absent),
# and exactly what only the 32-bit view holds stays.
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin
stage64="$QM_BUILD64_DIR/tools/stage/qmstage.exe"
quelmark64="$QM_RELEASE64_DIR/app/Quelmark.exe"
if [ ! -f "$stage64" ] || [ ! -f "$quelmark64" ]; then
  echo "not built: $stage64 and $quelmark64 are needed"
  echo "0 passed, 1 failed"
  exit 1
fi
# shellcheck disable=SC1003  # Windows paths ending with a backslash
install32='C:\Program Files (x86)\Brantivo\Tev32\'
# shellcheck disable=SC1003
install64='C:\Program Files\Brantivo\Tev32\'
E2E_INSTALL_DIR="$install32"

# A 64-bit prefix with both builds of the program and of the staging tool, and the 32-bit
# system folder's file that shares the driver's name.
wow64_prefix() {
  e2e_prefix --arch win64
  cp "$stage64" "$E2E_TOOLS/qmstage64.exe" && cp "$quelmark64" "$E2E_TOOLS/Quelmark-x64.exe" ||
    exit 1
  local drivers32
  drivers32="$(qmw_drive_c)/windows/syswow64/drivers"
  mkdir -p "$drivers32" && echo "not the product's" >"$drivers32/TEVF.sys"
  # Both views of a 64-bit Windows hold the shared-libraries key.
  qmw_wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\SharedDLLs' /f >/dev/null 2>&1
}
inventory64() { E2E_STAGE_EXE=qmstage64.exe stage_to "$1" inventory; }
driver_file() { echo "$(qmw_drive_c)/windows/$1/drivers/TEVF.sys"; }

e2e_case "64-bit Windows, the 32-bit installer's product, the i686 program, /CREATELOG"
wow64_prefix
install_full --service running || exit 1
before_run RUNNING
inventory64 "$E2E_OUT/inventory64.before"
check "the product's machine key is in the 32-bit view only" \
  not grep -q -a -F 'key HKEY_LOCAL_MACHINE\SOFTWARE\Brantivo\TEV32' "$E2E_OUT/inventory64.before"
check "the driver file is in the real System32" test -f "$(driver_file system32)"
quelmark /CREATELOG
check_removed
inventory64 "$E2E_OUT/inventory64.after"
check "nothing of the product in the 64-bit view either" test ! -s "$E2E_OUT/inventory64.after"
check "System32's driver file is gone" test ! -e "$(driver_file system32)"
check_eq "SysWOW64's file of that name is untouched" "not the product's" \
  "$(cat "$(driver_file syswow64)" 2>/dev/null)"

e2e_case "64-bit Windows, the 32-bit installer's product, the x86_64 program, /CREATELOG"
wow64_prefix
install_full --service running || exit 1
stage_to "$E2E_OUT/inventory.before" inventory
inventory64 "$E2E_OUT/inventory64.before"
E2E_PROGRAM=Quelmark-x64.exe quelmark /CREATELOG
check_eq "exit status" 0 "$E2E_STATUS"
E2E_INSTALL_DIR="$install64" expected_log "$E2E_OUT/inventory64.before" removed \
  >"$E2E_OUT/expected.log"
check_log "$E2E_OUT/expected.log" "$(log_file)"
# What stays is what the 64-bit view does not show: the machine keys, the 32-bit class keys,
# the Run and shared-library values and the install folder.
LC_ALL=C comm -23 <(LC_ALL=C sort "$E2E_OUT/inventory.before") \
  <(LC_ALL=C sort "$E2E_OUT/inventory64.before") >"$E2E_OUT/only32.txt"
stage_to "$E2E_OUT/inventory.after" inventory
check "what stays is exactly what only the 32-bit view holds ($(wc -l <"$E2E_OUT/only32.txt") items)" \
  cmp -s "$E2E_OUT/only32.txt" <(LC_ALL=C sort "$E2E_OUT/inventory.after")
for item in 'key HKEY_LOCAL_MACHINE\SOFTWARE\Brantivo\TEV32' \
            'key HKEY_CLASSES_ROOT\CLSID\{BC322BD5-6359-47D4-9926-363FE6A11024}' \
            'value HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Run TEV32PP' \
            "dir $install32"; do
  check "left in place: $item" grep -q -a -x -F "$item" "$E2E_OUT/inventory.after"
done
keep_artifact "$E2E_OUT/inventory.after"

e2e_finish
