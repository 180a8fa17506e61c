#!/usr/bin/env bash
# Builds the two shipped programs and checks what Windows must provide for them to start:
#   dist/Quelmark.exe      i686, the one to run on every Windows (32- and 64-bit)
#   dist/Quelmark-x64.exe  x86_64, sees only the 64-bit registry view and file locations
#   dist/SHA256SUMS
# Exits non-zero when a build fails or a check refuses a program (tools/release/check_exe.sh).
# The files depend on the sources and Debian's compilers only: any folder, any time, the same
# bytes (tools/release/reproducible_test.sh). QM_DIST_DIR writes them elsewhere than dist/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
dist=${QM_DIST_DIR:-dist}

bash scripts/setup.sh
for p in release32 release64; do
  echo "== building $p"
  cmake --preset "$p" >/dev/null
  cmake --build --preset "$p"
done

rm -rf "$dist"
mkdir -p "$dist"
cp build/release32/app/Quelmark.exe "$dist/Quelmark.exe"
cp build/release64/app/Quelmark.exe "$dist/Quelmark-x64.exe"
(cd "$dist" && sha256sum Quelmark.exe Quelmark-x64.exe >SHA256SUMS)

echo "== checks"
bash tools/release/check_exe.sh "$dist/Quelmark.exe" "$dist/Quelmark-x64.exe"
echo "== $dist/"
ls -l "$dist"
cat "$dist/SHA256SUMS"
