#!/usr/bin/env bash
# A psapi.dll planted beside the program in C:\Temp (a folder where users of Windows 2000 and
# XP can create files), loaded native-first as Windows, which has no other copy, would load
# it: a program that loads PSAPI by its bare name from there runs the planted library's entry
# point; Quelmark run from there over a full installation never does, and its processes stage
# still ends every product program.
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin E2E_PLANTED=tools/planted/psapi.dll E2E_BYNAME=tools/planted/qmloadbyname.exe
# Wine prefers its own PSAPI to a file beside the program unless told otherwise.
native_psapi="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}psapi=n,b"

# plant: the library and the programs in C:\Temp; sets TEMP_DIR and MARKER (unix paths).
plant() {
  qmw_copy_in "$E2E_PLANTED" "$E2E_BYNAME" "$E2E_QUELMARK" 'C:\Temp'
  TEMP_DIR="$(qmw_drive_c)/Temp"
  MARKER="$TEMP_DIR/planted-ran.txt"
}

e2e_case "control: a program that loads PSAPI by its bare name runs the planted library"
e2e_prefix
plant
WINEDLLOVERRIDES="$native_psapi" qmw_run --timeout 60 "$TEMP_DIR/qmloadbyname.exe" psapi.dll
check_eq "the bare name loaded" 0 "$?"
check "the planted library's entry point ran" test -f "$MARKER"

e2e_case "full installation, Quelmark.exe /CREATELOG run from C:\\Temp beside a planted psapi.dll"
e2e_prefix
install_full --service running || exit 1
plant
before_run RUNNING
E2E_TOOLS="$TEMP_DIR" WINEDLLOVERRIDES="$native_psapi" quelmark /CREATELOG
check "the planted library never ran" test ! -e "$MARKER"
check_removed

e2e_finish
