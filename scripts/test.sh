#!/usr/bin/env bash
# Every test of the project: installs what is missing, builds every preset, runs the native
# tests (ctest), the Windows test programs of both builds under Wine (x86_64 in a 64-bit
# prefix, i686 in a 32-bit one), the import check, a second release build compared byte for
# byte, and the end-to-end scripts (the shipped i686 program in 32-bit prefixes).
# Prints one line per suite, with the seconds it took, and, last, "N passed, N failed"; exits
# non-zero on any failure.
#
# Environment:
#   QM_PRESETS   presets to build (default: native native-release mingw64 mingw32 release32
#                release64)
#   QM_WERROR    ON (default) builds with -Werror; OFF lets warnings through
#   QM_WINE_TIMEOUT  time limit per Windows test program, seconds (default 900)
#   QM_E2E_TIMEOUT   time limit per end-to-end script, seconds (default 900)
#   QM_REPRO     0 skips the second release build (default 1)
# Logs: build/test-logs/.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$(pwd)
logs="$root/build/test-logs"
started=$(date +%s)

presets=(${QM_PRESETS:-native native-release mingw64 mingw32 release32 release64})
werror=${QM_WERROR:-ON}
wine_timeout=${QM_WINE_TIMEOUT:-900}
e2e_timeout=${QM_E2E_TIMEOUT:-900}

total_pass=0
total_fail=0
suite_lines=()

# record SUITE PASSED FAILED [NOTE]: the seconds since the last record (or mark) are added.
part_started=$(date +%s)
mark() { part_started=$(date +%s); }
record() {
  local line="suite $1: $2 passed, $3 failed" took=$(($(date +%s) - part_started))
  line="$line (${4:+$4, }${took}s)"
  mark
  suite_lines+=("$line")
  total_pass=$((total_pass + $2))
  total_fail=$((total_fail + $3))
  echo "$line"
}

show_tail() {
  echo "---- last lines of $1 ----"
  tail -n "${2:-40}" "$1"
  echo "----"
}

finish() {
  echo
  echo "==== summary ($(($(date +%s) - started))s, logs in build/test-logs) ===="
  local l
  for l in "${suite_lines[@]}"; do echo "$l"; done
  echo "$total_pass passed, $total_fail failed"
  [ "$total_fail" = 0 ]
  exit $?
}

rm -rf "$logs"
mkdir -p "$logs"

echo "== setup"
if ! bash scripts/setup.sh >"$logs/setup.log" 2>&1; then
  show_tail "$logs/setup.log"
  record setup 0 1 "scripts/setup.sh failed"
  finish
fi

# ---- builds: one case per preset ----
# A failed build still builds every target it can (-k 0) and its tests still run: programs
# that did not build show up as failed tests, the rest keep reporting.
configured=()
build_pass=0 build_fail=0
build_times=()
mark
for p in "${presets[@]}"; do
  echo "== build $p"
  log="$logs/build-$p.log"
  build_start=$(date +%s)
  if ! cmake --preset "$p" -DQM_WERROR="$werror" >"$log" 2>&1; then
    build_fail=$((build_fail + 1)); show_tail "$log"; continue
  fi
  configured+=("$p")
  if cmake --build --preset "$p" -- -k 0 >>"$log" 2>&1; then
    build_pass=$((build_pass + 1))
  else
    build_fail=$((build_fail + 1))
    grep -E 'error|FAILED' "$log" | head -n 30
    show_tail "$log" 20
  fi
  build_times+=("$p $(($(date +%s) - build_start))s")
done
record build "$build_pass" "$build_fail" "$(IFS=,; echo "${build_times[*]}" | sed 's/,/, /g')"

is_built() { local b; for b in "${configured[@]}"; do [ "$b" = "$1" ] && return 0; done; return 1; }

# ---- native tests through ctest ----
if is_built native; then
  echo "== native tests (ctest)"
  log="$logs/ctest-native.log"
  ctest --preset native >"$log" 2>&1
  rc=$?
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$line")
    all=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((all - failed))
    [ "$rc" != 0 ] && [ "$failed" = 0 ] && failed=1
  elif grep -q 'No tests were found' "$log" && [ "$rc" = 0 ]; then
    passed=0 failed=0
  else
    passed=0 failed=1
  fi
  [ "$failed" != 0 ] && show_tail "$log" 60
  record native "$passed" "$failed" "ctest --preset native"
fi

# ---- Windows test programs under Wine ----
# gtest_counts LOG -> "passed failed" from GoogleTest's closing lines.
gtest_counts() {
  local p f
  p=$(grep -E '^\[  PASSED  \] [0-9]+ tests?\.' "$1" | tail -n 1 | grep -oE '[0-9]+' | head -n 1)
  f=$(grep -E '^\[  FAILED  \] [0-9]+ tests?, listed below' "$1" | tail -n 1 | grep -oE '[0-9]+' | head -n 1)
  echo "${p:-0} ${f:-0}"
}

# run_wine_programs SUITE BUILD ARCH: every Windows test program of build/BUILD's list, each
# in a throwaway prefix of architecture ARCH; sets wine_pass, wine_fail and wine_n.
run_wine_programs() {
  local suite="$1" list="$root/build/$2/wine-tests.txt" arch="$3" exe name log rc p f
  wine_pass=0 wine_fail=0 wine_n=0
  if [ ! -f "$list" ]; then
    echo "no $list"; wine_fail=1; return
  fi
  while IFS= read -r exe; do
    [ -z "$exe" ] && continue
    wine_n=$((wine_n + 1))
    name=$(basename "$exe" .exe)
    log="$logs/$suite-$name.log"
    if [ ! -f "$exe" ]; then
      echo "missing Windows test program: $exe"
      wine_fail=$((wine_fail + 1)); continue
    fi
    run_wine_program "$log" --arch "$arch" "$exe"
  done <"$list"
}

# run_wine_program LOG RUN-OPTIONS... PROGRAM [ARGS]: one program through tools/wine/run.sh,
# its GoogleTest counts added to wine_pass and wine_fail.
run_wine_program() {
  local log="$1" rc p f start=$(date +%s)
  shift
  bash tools/wine/run.sh --x --timeout "$wine_timeout" --out "$log" --err "$log.err" \
    "$@" </dev/null 2>"$log.runner"
  rc=$?
  read -r p f < <(gtest_counts "$log")
  [ "$rc" != 0 ] && [ "$f" = 0 ] && f=1
  [ "$f" != 0 ] && { show_tail "$log" 40; show_tail "$log.err" 20; show_tail "$log.runner" 10; }
  echo "  $(basename "$log" .log): $p passed, $f failed (exit $rc, $(($(date +%s) - start))s)"
  wine_pass=$((wine_pass + p)); wine_fail=$((wine_fail + f))
}

mark
if is_built mingw64; then
  echo "== Windows tests, x86_64 build, 64-bit prefixes"
  run_wine_programs wine64 mingw64 win64
  record wine64 "$wine_pass" "$wine_fail" "$wine_n programs under 64-bit Wine"
fi
if is_built mingw32; then
  echo "== Windows tests, i686 build, 32-bit prefixes"
  run_wine_programs wine32 mingw32 win32
  n32=$wine_n pass32=$wine_pass fail32=$wine_fail
  # The same build as a 32-bit program on 64-bit Windows, where its System32 is SysWOW64:
  # the driver file's view.
  wine_pass=0 wine_fail=0
  run_wine_program "$logs/wine32-contract_tests-wow64.log" --arch win64 \
    "$root/build/mingw32/tests/contract/contract_tests.exe" --gtest_filter='FsRedirectionContract.*'
  record wine32 $((pass32 + wine_pass)) $((fail32 + wine_fail)) \
    "$n32 programs under 32-bit Wine, the view contract under 64-bit Wine"
fi

# run_counted SUITE NOTE COMMAND...: a script that ends with "N passed, N failed", its output in
# build/test-logs/SUITE.log; a failing exit without a failure counted counts as one.
run_counted() {
  local suite="$1" note="$2" log="$logs/$1.log" rc p f
  shift 2
  "$@" >"$log" 2>&1
  rc=$?
  read -r p f < <(sed -nE 's/^([0-9]+) passed, ([0-9]+) failed$/\1 \2/p' "$log" | tail -n 1)
  p=${p:-0} f=${f:-0}
  [ "$rc" != 0 ] && [ "$f" = 0 ] && f=1
  [ "$f" != 0 ] && show_tail "$log" 40
  record "$suite" "$p" "$f" "$note"
}

# ---- what Windows must provide for the shipped programs to start ----
mark
if is_built release32 && is_built release64; then
  echo "== import check of the release builds"
  run_counted imports tools/release/imports_test.sh bash tools/release/imports_test.sh \
    build/release32/app/Quelmark.exe build/release64/app/Quelmark.exe
fi

# ---- the same release files from another folder at another time ----
if [ "${QM_REPRO:-1}" != 0 ] && is_built release32 && is_built release64; then
  echo "== release files rebuilt in another folder"
  run_counted reproducible tools/release/reproducible_test.sh \
    bash tools/release/reproducible_test.sh "$root"
fi

# ---- end-to-end scripts ----
# They run the shipped program, the i686 release build (QM_RELEASE_DIR), with the helper tools
# of the mingw32 build, in 32-bit prefixes; the x86_64 builds serve the scenarios that name
# them (QM_BUILD64_DIR, QM_RELEASE64_DIR).
shopt -s nullglob
e2e=(tests/e2e/*.sh)
if [ ${#e2e[@]} -gt 0 ]; then
  echo "== end-to-end scripts"
  e2e_pass=0 e2e_fail=0
  for s in "${e2e[@]}"; do
    name=$(basename "$s" .sh)
    log="$logs/e2e-$name.log"
    start=$(date +%s)
    QM_ROOT="$root" QM_BUILD_DIR="$root/build/mingw32" QM_RELEASE_DIR="$root/build/release32" \
      QM_BUILD64_DIR="$root/build/mingw64" QM_RELEASE64_DIR="$root/build/release64" \
      timeout -k 10 "$e2e_timeout" bash "$s" >"$log" 2>&1 </dev/null
    rc=$?
    own=$(grep -E '^([A-Za-z0-9_-]+: )?[0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
    if [ -n "$own" ]; then
      read -r p f < <(sed -E 's/^([A-Za-z0-9_-]+: )?([0-9]+) passed, ([0-9]+) failed.*/\2 \3/' <<<"$own")
      [ "$rc" != 0 ] && [ "$f" = 0 ] && f=1
    elif [ "$rc" = 0 ]; then
      p=1 f=0
    else
      p=0 f=1
    fi
    [ "$f" != 0 ] && show_tail "$log" 40
    echo "  $name: $p passed, $f failed (exit $rc, $(($(date +%s) - start))s)"
    e2e_pass=$((e2e_pass + p)); e2e_fail=$((e2e_fail + f))
  done
  record e2e "$e2e_pass" "$e2e_fail" "${#e2e[@]} scripts"
fi

finish
