#!/usr/bin/env bash
# The main job: builds the Windows program and runs it under Wine in a throwaway prefix,
# printing what it wrote. For now the program is the toolchain proof (GoogleTest + libjpeg).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh
echo "== configuring and building the mingw64 preset"
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64

exe=build/mingw64/tests/toolchain/toolchain_tests.exe
echo "== running $exe under Wine"
rc=0
bash tools/wine/run.sh --x --timeout 300 "$exe" || rc=$?
echo "== $(basename "$exe") exited with status $rc"
exit "$rc"
