#!/usr/bin/env bash
# What Windows must provide for a shipped program to start, checked in the executable itself:
#   - every imported function is in tools/release/win2000-exports.txt under its DLL (what
#     Windows 2000 SP4 exports, or XP SP3 where marked);
#   - the PE header's subsystem version is at most the oldest target's (i686 5.0, x86_64 5.2);
#   - the PE header marks the program Terminal Server aware
#     (IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE, 0x8000), so that a terminal server in
#     application mode gives it the real Windows folder, not a per-user one;
#   - the embedded manifest asks for administrator rights and Common Controls 6.
#
#   check_exe.sh [--list FILE] EXE...     prints one "ok"/"FAIL" line per check and exe; exit 1
#                                         when any check fails, naming the DLL and function.
#   check_exe.sh --imports EXE            prints the imports as "DLL FUNCTION" lines.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
list="$here/win2000-exports.txt"
objdump=${QM_OBJDUMP:-x86_64-w64-mingw32-objdump}

# imports EXE: "DLL FUNCTION" per imported function, the DLL in upper case; by ordinal as #N.
imports() {
  "$objdump" -p "$1" | awk '
    /^\tDLL Name: / { dll = toupper($3); next }
    /^$/ { dll = "" }
    dll != "" && /^\t[0-9a-f]+[ \t]+[0-9]+[ \t]+[^ \t]+$/ { print dll, $3; next }
    dll != "" && /^\t[0-9a-f]+[ \t]+<none>[ \t]+[0-9a-f]+/ { print dll, "#" $3 }'
}

if [ "${1:-}" = "--imports" ]; then imports "$2"; exit; fi
if [ "${1:-}" = "--list" ]; then list="$2"; shift 2; fi

# known FORMAT: the list's entries for an executable of that format, as "DLL FUNCTION" lines
# (entries tagged x64 count for x86_64 programs only).
known() {
  sed -E 's/#.*//' "$list" |
    awk -v fmt="$1" 'NF >= 2 && !($3 == "x64" && fmt != "pei-x86-64") { print toupper($1), $2 }'
}

fail=0
check_one() {
  local exe="$1" name bad machine want major minor manifest
  name=${2:-$(basename "$exe")}
  if [ ! -f "$exe" ]; then echo "FAIL $name: missing"; fail=1; return; fi
  machine=$("$objdump" -f "$exe" | sed -n 's/.*file format //p')
  bad=$(imports "$exe" | LC_ALL=C sort -u | LC_ALL=C comm -23 - <(known "$machine" | LC_ALL=C sort -u))
  if [ -z "$(imports "$exe")" ]; then
    echo "FAIL $name: no imports read"; fail=1
  elif [ -n "$bad" ]; then
    while read -r dll fn; do
      echo "FAIL $name imports $dll!$fn, which Windows 2000 SP4 / XP SP3 does not export"
    done <<<"$bad"
    fail=1
  else
    echo "ok   $name: $(imports "$exe" | wc -l) imports, all exported by Windows 2000 SP4 / XP SP3"
  fi
  case "$machine" in
    pei-i386) want=5.0 ;;
    pei-x86-64) want=5.2 ;;
    *) echo "FAIL $name: unknown format $machine"; fail=1; return ;;
  esac
  major=$("$objdump" -p "$exe" | awk '/^MajorSubsystemVersion/ { print $2 }')
  minor=$("$objdump" -p "$exe" | awk '/^MinorSubsystemVersion/ { print $2 }')
  if [ -n "$major" ] && awk -v v="$major.$minor" -v w="$want" 'BEGIN { exit !(v + 0 <= w + 0) }'; then
    echo "ok   $name: subsystem version $major.$minor (at most $want)"
  else
    echo "FAIL $name: subsystem version $major.$minor, above $want"; fail=1
  fi
  characteristics=$("$objdump" -p "$exe" | awk '/^DllCharacteristics/ { print $2 }')
  if [ -n "$characteristics" ] && (( (16#$characteristics & 0x8000) != 0 )); then
    echo "ok   $name: Terminal Server aware (DllCharacteristics $characteristics)"
  else
    echo "FAIL $name: not Terminal Server aware (DllCharacteristics ${characteristics:-unread})"
    fail=1
  fi
  # The manifest is stored as plain text in the resources.
  manifest=$(perl -0777 -ne 'print $1 if m{(<assembly\b.*?</assembly>)}s' "$exe" | tr -s ' \r\n\t' ' ')
  if grep -q 'level="requireAdministrator"' <<<"$manifest" &&
     grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<<"$manifest"; then
    echo "ok   $name: manifest asks for requireAdministrator and Common Controls 6"
  else
    echo "FAIL $name: manifest lacks requireAdministrator or Common Controls 6"; fail=1
  fi
}

[ $# -gt 0 ] || { echo "usage: check_exe.sh [--list FILE] EXE..." >&2; exit 2; }
for exe in "$@"; do check_one "$exe"; done
exit "$fail"
