#!/usr/bin/env bash
# Benchmarks under Wine, on demand (never part of the test suites):
#
#   bench/run.sh [RUNS]      (default 5 runs of each measurement)
#
# In one throwaway prefix, side by side on identical trees:
#   files     the files stage's calls removing 10,000 files in 100 sub-folders, vs `rd /s /q`
#   registry  DeleteRegistryKeyTree removing 5,050 keys, vs `reg delete /f`
#   run-*     the whole unattended run (Quelmark.exe /CREATELOG) on an absent and on a full
#             installation, less Wine's own start-up and the waits the services stage must
#             make (none when the service is absent; 1 s poll + 2 s + 2 s removal when it
#             stops promptly)
# Medians are printed, with the engine/tool ratios and the peak working set.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-5}
build=$root/build/mingw64

bash "$root/scripts/setup.sh" >/dev/null
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target qmbench Quelmark qmstage >/dev/null

# shellcheck source=tools/wine/lib.sh
source "$root/tools/wine/lib.sh"
qmw_create
trap qmw_end EXIT
work=$QMW_WORK
qmw_copy_in "$build/bench/qmbench.exe" 'C:\qmbench'
bench_exe="$(qmw_drive_c)/qmbench/qmbench.exe"

median() { sort -g | awk '{v[NR]=$1} END {if (NR==0) print "nan"; else if (NR%2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }
field() { sed -n "s/.*$1=\([-0-9.]*\).*/\1/p" "$2"; }

measure() {  # measure MODE ARGS...: runs qmbench RUNS times, prints medians
  local mode=$1; shift
  : > "$work/$mode.all"
  for _ in $(seq "$runs"); do
    qmw_run --timeout 900 --out "$work/$mode.one" "$bench_exe" "$mode" "$@" ||
      { echo "bench: qmbench $mode failed" >&2; cat "$QMW_LAST_ERR" >&2; return 1; }
    cat "$work/$mode.one" >> "$work/$mode.all"
  done
  local e t r p
  e=$(field engine_s "$work/$mode.all" | median)
  t=$(field tool_s "$work/$mode.all" | median)
  r=$(field ratio "$work/$mode.all" | median)
  p=$(field peak_mib "$work/$mode.all" | median)
  printf '%-9s engine %6.3f s   tool %6.3f s   ratio %5.2f   peak %5.1f MiB   (median of %d)\n' \
    "$mode" "$e" "$t" "$r" "$p" "$runs"
}

measure files 100 100
measure registry 50 100

qmw_end
trap - EXIT

# The whole unattended run, on a fresh prefix per run with the staging of the end-to-end
# scenarios. The first windowed program of a new prefix sets up Wine's desktop and font cache
# (seconds that are Wine's), so each prefix is warmed up by one run on the empty machine before
# the staging. "own" is the total less the mandated waits, Wine's start-up of the program
# included (an upper bound); the start of a console program that does nothing is shown beside
# it. (A windowed program that returns from WinMain pays seconds of teardown under Wine that
# Quelmark, which ends at once after an unattended run, does not: it is no fair baseline.)
export QM_ROOT="$root" QM_BUILD_DIR="$build"
# shellcheck source=tests/e2e/lib.bash
source "$root/tests/e2e/lib.bash"
cmake --build --preset mingw64 --target fakeproc TevSvc qmdriver >/dev/null
e2e_begin >/dev/null
start_cost() {
  local s
  s=$(date +%s%N)
  qmw_run --x --out /dev/null --err /dev/null "$E2E_TOOLS/qmbench.exe" || true
  awk -v a="$s" -v b="$(date +%s%N)" 'BEGIN { printf "%.3f\n", (b - a) / 1e9 }'
}
whole_run() {  # whole_run NAME MANDATED-SECONDS STAGING-COMMAND...
  local name=$1 mandated=$2 totals=() starts=() t w
  shift 2
  for _ in $(seq "$runs"); do
    e2e_prefix
    qmw_copy_in "$build/bench/qmbench.exe" "$E2E_TOOLS_WIN"
    quelmark /CREATELOG >/dev/null
    "$@" >/dev/null || { echo "bench: staging for $name failed" >&2; return 1; }
    starts+=("$(start_cost)")
    quelmark /CREATELOG >/dev/null
    totals+=("$E2E_SECONDS")
  done
  t=$(printf '%s\n' "${totals[@]}" | median)
  w=$(printf '%s\n' "${starts[@]}" | median)
  printf '%-12s total %6.2f s   console start %5.2f s   mandated waits %4.1f s   own %6.2f s   (median of %d)\n' \
    "$name" "$t" "$w" "$mandated" "$(awk -v t="$t" -v m="$mandated" 'BEGIN { print t - m }')" "$runs"
}
# A prompt service: one 1 s poll and the 2 s closing pause of the stop, 2 s after the removal.
whole_run run-absent 0 install_absent
whole_run run-full 5 install_full --service running
