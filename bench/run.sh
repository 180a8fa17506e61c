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

# The whole unattended run. Wine's own start-up is measured with a program that does nothing.
qm_exe="$build/app/Quelmark.exe"
stage_exe="$build/tools/stage/qmstage.exe"
if [ -f "$qm_exe" ] && [ -f "$stage_exe" ]; then
  qmw_copy_in "$qm_exe" 'C:\qm'
  qmw_copy_in "$stage_exe" 'C:\qm'
  qm="$(qmw_drive_c)/qm/Quelmark.exe"
  stage="$(qmw_drive_c)/qm/qmstage.exe"
  now() { date +%s.%N; }
  whole_run() {  # whole_run STAGE-MODE MANDATED-SECONDS
    local mode=$1 mandated=$2 all="$work/run-$1.all" s e
    : > "$all"
    for _ in $(seq "$runs"); do
      qmw_run --timeout 300 "$stage" "$mode" >/dev/null || { echo "bench: staging failed" >&2; return 1; }
      s=$(now); qmw_run --x --timeout 300 "$qm" /CREATELOG || true; e=$(now)
      awk -v a="$s" -v b="$e" 'BEGIN {print b - a}' >> "$all"
    done
    local start_cost total
    : > "$work/start.all"
    for _ in $(seq "$runs"); do
      s=$(now); qmw_run "$bench_exe" none >/dev/null 2>&1 || true; e=$(now)
      awk -v a="$s" -v b="$e" 'BEGIN {print b - a}' >> "$work/start.all"
    done
    start_cost=$(median < "$work/start.all")
    total=$(median < "$all")
    printf '%-9s total %6.3f s   wine start %5.3f s   mandated waits %4.1f s   own %6.3f s\n' \
      "run-$mode" "$total" "$start_cost" "$mandated" "$(awk -v t="$total" -v s="$start_cost" -v m="$mandated" 'BEGIN {print t - s - m}')"
  }
  whole_run install-absent 0
  whole_run install-full 5
else
  echo "bench: Quelmark.exe or qmstage.exe not built; whole-run figures skipped"
fi
