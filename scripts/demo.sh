#!/usr/bin/env bash
# The main job. On a fresh machine: installs what is missing, builds Quelmark.exe as it ships
# (the i686 release build) and the staging tools, stages a full installation of the product
# (service, programs, registry, folders, driver file, and bystander data around them) in a
# throwaway 32-bit Wine prefix, shows what is installed, runs "Quelmark.exe /CREATELOG",
# shows the log file and what remains, and removes the prefix. Exits non-zero when something
# of the product is left or a bystander changed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)

bash scripts/setup.sh
echo "== building Quelmark.exe as it ships (preset release32) and the staging tools (mingw32)"
cmake --preset release32 >/dev/null
cmake --build --preset release32
cmake --preset mingw32 >/dev/null
cmake --build --preset mingw32 --target qmstage fakeproc TevSvc qmdriver

export QM_ROOT="$root" QM_BUILD_DIR="$root/build/mingw32" QM_RELEASE_DIR="$root/build/release32"
export QM_E2E_BUILD=i686
set +e  # the helpers report their own failures
# shellcheck source=tests/e2e/lib.bash
source tests/e2e/lib.bash
e2e_begin
e2e_prefix
echo "== Wine prefix (32-bit Windows): $QMW_PREFIX"

# Windows-1252 text from the prefix, shown in the terminal's UTF-8.
show() { iconv -f WINDOWS-1252 -t UTF-8 "$1" | sed 's/\r$//; s/^/    /'; }

echo "== staging a full installation of Tev32 12.1"
install_full --service running || exit 1
stage_to "$E2E_OUT/inventory.before" inventory
stage_to "$E2E_OUT/digest.before" digest
echo "   installed ($(wc -l <"$E2E_OUT/inventory.before") items):"
show "$E2E_OUT/inventory.before"

echo "== running: Quelmark.exe /CREATELOG"
quelmark /CREATELOG
log=$(log_file)
if [ -z "$log" ]; then
  echo "   no log file was written"
  exit 1
fi
echo "== the log file C:\\windows\\Temp\\Quelmark.log ($(wc -l <"$log") lines):"
show "$log"

echo "== what remains of the product"
stage_to "$E2E_OUT/inventory.after" inventory
if [ -s "$E2E_OUT/inventory.after" ]; then show "$E2E_OUT/inventory.after"; else echo "    nothing"; fi
echo "== bystanders (other programs' keys, values, folders, files, a program, a service)"
stage_to "$E2E_OUT/digest.after" digest
if cmp -s "$E2E_OUT/digest.before" "$E2E_OUT/digest.after"; then
  echo "    all $(wc -l <"$E2E_OUT/digest.after") intact"
else
  diff "$E2E_OUT/digest.before" "$E2E_OUT/digest.after" | iconv -f WINDOWS-1252 -t UTF-8
fi

rc=0
[ "$E2E_STATUS" = 0 ] || rc=1
[ -s "$E2E_OUT/inventory.after" ] && rc=1
cmp -s "$E2E_OUT/digest.before" "$E2E_OUT/digest.after" || rc=1
echo "== Quelmark.exe exited with status $E2E_STATUS after ${E2E_SECONDS}s; removing the prefix"
exit "$rc"
