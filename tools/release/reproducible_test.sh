#!/usr/bin/env bash
# The release files are the same bytes from any folder at any time: scripts/release.sh run in
# ROOT (whose release build trees are normally up to date) and again in a copy of the same
# sources at another path, built from scratch minutes later, must give byte-identical
# Quelmark.exe, Quelmark-x64.exe and SHA256SUMS, and neither program may hold a path of
# either tree or of the build account's home.
#   reproducible_test.sh ROOT
# Prints one line per case and "N passed, N failed". QM_KEEP_REPRO=1 keeps the scratch folder.
set -uo pipefail
root=$(cd "${1:?usage: reproducible_test.sh ROOT}" && pwd)
pass=0 fail=0
result() {  # result DESCRIPTION STATUS
  if [ "$2" = 0 ]; then pass=$((pass + 1)); echo "ok   $1"; else fail=$((fail + 1)); echo "FAIL $1"; fi
}

work=$(mktemp -d "${TMPDIR:-/tmp}/qm-repro.XXXXXX")
[ "${QM_KEEP_REPRO:-0}" = 1 ] || trap 'rm -rf "$work"' EXIT
first="$work/first"
copy="$work/another/folder/quelmark"

echo "== release.sh in $root"
QM_DIST_DIR="$first" bash "$root/scripts/release.sh" >"$work/first.log" 2>&1
result "release.sh builds in $root" $? || tail -n 30 "$work/first.log"

# The sources as they are now (tracked files and new ones not ignored), without build trees.
mkdir -p "$copy"
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
  tar --null -T - -cf -) | tar -xf - -C "$copy"
echo "== release.sh in $copy"
bash "$copy/scripts/release.sh" >"$work/second.log" 2>&1
rc=$?
result "release.sh builds in another folder" "$rc"
[ "$rc" = 0 ] || tail -n 30 "$work/second.log"

for f in Quelmark.exe Quelmark-x64.exe SHA256SUMS; do
  cmp "$first/$f" "$copy/dist/$f"
  result "$f is the same bytes from both folders" $?
done

for f in Quelmark.exe Quelmark-x64.exe; do
  found=""
  for path in "$root" "$copy" "$HOME" "${XDG_CACHE_HOME:-$HOME/.cache}"; do
    grep -q -a -F "$path" "$first/$f" && found="$found $path"
  done
  [ -n "$found" ] && echo "    $f holds:$found"
  result "$f holds no build path" "$([ -z "$found" ]; echo $?)"
done
cat "$first/SHA256SUMS"
echo "$pass passed, $fail failed"
[ "$fail" = 0 ]
