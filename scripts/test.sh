#!/usr/bin/env bash
# Every test of the project: installs what is missing, builds every preset, runs the native
# tests (ctest), the Windows test programs under Wine, and the end-to-end scripts.
# Prints one line per suite and, last, "N passed, N failed"; exits non-zero on any failure.
#
# Environment:
#   QM_PRESETS   presets to build (default: native native-release mingw64 mingw32 release32
#                release64)
#   QM_WERROR    ON (default) builds with -Werror; OFF lets warnings through
#   QM_WINE_TIMEOUT  time limit per Windows test program, seconds (default 900)
#   QM_E2E_TIMEOUT   time limit per end-to-end script, seconds (default 900)
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

# record SUITE PASSED FAILED [NOTE]
record() {
  local line="suite $1: $2 passed, $3 failed"
  [ -n "${4:-}" ] && line="$line ($4)"
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
for p in "${presets[@]}"; do
  echo "== build $p"
  log="$logs/build-$p.log"
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
done
record build "$build_pass" "$build_fail" "${presets[*]}"

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

list="$root/build/mingw64/wine-tests.txt"
if is_built mingw64; then
  echo "== Windows tests under Wine"
  wine_pass=0 wine_fail=0 n=0
  if [ -f "$list" ]; then
    while IFS= read -r exe; do
      [ -z "$exe" ] && continue
      n=$((n + 1))
      name=$(basename "$exe" .exe)
      log="$logs/wine-$name.log"
      if [ ! -f "$exe" ]; then
        echo "missing Windows test program: $exe"
        wine_fail=$((wine_fail + 1)); continue
      fi
      bash tools/wine/run.sh --x --timeout "$wine_timeout" --out "$log" --err "$log.err" \
        "$exe" </dev/null 2>"$log.runner"
      rc=$?
      read -r p f < <(gtest_counts "$log")
      [ "$rc" != 0 ] && [ "$f" = 0 ] && f=1
      [ "$f" != 0 ] && { show_tail "$log" 40; show_tail "$log.err" 20; show_tail "$log.runner" 10; }
      echo "  $name: $p passed, $f failed (exit $rc)"
      wine_pass=$((wine_pass + p)); wine_fail=$((wine_fail + f))
    done <"$list"
  else
    echo "no $list" ; wine_fail=$((wine_fail + 1))
  fi
  record wine "$wine_pass" "$wine_fail" "$n programs under Wine"
fi

# ---- what Windows must provide for the shipped programs to start ----
if is_built release32 && is_built release64; then
  echo "== import check of the release builds"
  log="$logs/imports.log"
  bash tools/release/imports_test.sh build/release32/app/Quelmark.exe \
    build/release64/app/Quelmark.exe >"$log" 2>&1
  rc=$?
  read -r p f < <(sed -nE 's/^([0-9]+) passed, ([0-9]+) failed$/\1 \2/p' "$log" | tail -n 1)
  p=${p:-0} f=${f:-0}
  [ "$rc" != 0 ] && [ "$f" = 0 ] && f=1
  [ "$f" != 0 ] && show_tail "$log" 40
  record imports "$p" "$f" "tools/release/imports_test.sh"
fi

# ---- end-to-end scripts ----
# They run the x86_64 release build of Quelmark.exe (QM_RELEASE_DIR) with the helper tools
# of the mingw64 build.
shopt -s nullglob
e2e=(tests/e2e/*.sh)
if [ ${#e2e[@]} -gt 0 ]; then
  echo "== end-to-end scripts"
  e2e_pass=0 e2e_fail=0
  for s in "${e2e[@]}"; do
    name=$(basename "$s" .sh)
    log="$logs/e2e-$name.log"
    QM_ROOT="$root" QM_BUILD_DIR="$root/build/mingw64" QM_RELEASE_DIR="$root/build/release64" \
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
    echo "  $name: $p passed, $f failed (exit $rc)"
    e2e_pass=$((e2e_pass + p)); e2e_fail=$((e2e_fail + f))
  done
  record e2e "$e2e_pass" "$e2e_fail" "${#e2e[@]} scripts"
fi

finish
