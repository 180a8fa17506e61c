#!/usr/bin/env bash
# The import check on the release builds: both shipped programs pass it, and a probe that
# imports a Vista-only function, asks for Windows 6.0 in its header and lacks the Terminal
# Server aware flag (built here with the same compilers) is refused, naming the function, the
# version and the flag.
#   imports_test.sh RELEASE32-EXE RELEASE64-EXE
# Prints one line per case and "N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
pass=0 fail=0
result() {  # result DESCRIPTION STATUS
  if [ "$2" = 0 ]; then pass=$((pass + 1)); echo "ok   $1"; else fail=$((fail + 1)); echo "FAIL $1"; fi
}

for exe in "$1" "$2"; do
  out=$(bash "$here/check_exe.sh" "$exe")
  rc=$?
  sed 's/^/    /' <<<"$out"
  result "$exe passes the import, subsystem and manifest checks" "$rc"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for triplet in i686-w64-mingw32 x86_64-w64-mingw32; do
  probe="$work/probe-$triplet.exe"
  if ! "$triplet-gcc-win32" -O2 -s -o "$probe" "$here/vista_probe.c" \
         -Wl,--major-subsystem-version,6,--minor-subsystem-version,0 2>"$work/cc.err"; then
    cat "$work/cc.err"
    result "the $triplet probe builds" 1
    continue
  fi
  out=$(bash "$here/check_exe.sh" "$probe")
  rc=$?
  sed 's/^/    /' <<<"$out"
  refused=1
  [ "$rc" != 0 ] && grep -q '^FAIL .* imports KERNEL32.DLL!GetTickCount64,' <<<"$out" && refused=0
  result "a $triplet probe importing GetTickCount64 is refused, naming it" "$refused"
  refused=1
  grep -q '^FAIL .*: subsystem version 6\.0, above' <<<"$out" && refused=0
  result "a $triplet probe asking for Windows 6.0 is refused, naming the version" "$refused"
  refused=1
  grep -q '^FAIL .*: not Terminal Server aware' <<<"$out" && refused=0
  result "a $triplet probe without the Terminal Server aware flag is refused, naming it" "$refused"
done
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
