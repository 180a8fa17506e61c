#!/usr/bin/env bash
# Runs one Windows program in a throwaway Wine prefix and exits with its exit status.
#
#   tools/wine/run.sh [--arch win64|win32] [--x] [--timeout S] [--keep] [--out FILE]
#                     [--err FILE] [--copy SRC DEST]... [--] PROGRAM [ARGS...]
#
#   --arch A        the prefix's kind: win64 (default, $QMW_ARCH when set; runs x86_64
#                   programs, and i686 ones as 64-bit Windows does) or win32 (i686 only)
#   --x             run under an Xvfb display of its own (for programs that open windows)
#   --timeout S     time limit in seconds (default 300); overrunning gives status 124
#   --keep          keep the prefix afterwards (its path is printed on standard error)
#   --out/--err F   write the program's output there instead of printing it afterwards
#   --copy SRC DEST copy SRC into the C: drive at DEST (relative to C:\) before the run
#
# Without --out/--err the program's output is printed when it ends (stdout to stdout,
# stderr to stderr), never streamed through a pipe (see tools/wine/lib.sh).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/wine/lib.sh
source "$here/lib.sh"

run_opts=()
copies=()
out="" err="" arch="$QMW_ARCH"
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) arch="$2"; shift 2 ;;
    --x) run_opts+=(--x); shift ;;
    --timeout) run_opts+=(--timeout "$2"); shift 2 ;;
    --keep) export QMW_KEEP=1; shift ;;
    --out) out="$2"; shift 2 ;;
    --err) err="$2"; shift 2 ;;
    --copy) copies+=("$2" "$3"); shift 3 ;;
    --) shift; break ;;
    -*) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { sed -n '2,16p' "$0" >&2; exit 2; }

trap qmw_end EXIT
trap 'exit 130' INT TERM
qmw_create "$arch" || { echo "run.sh: could not make a $arch Wine prefix" >&2; exit 125; }

for ((i = 0; i < ${#copies[@]}; i += 2)); do
  qmw_copy_in "${copies[i]}" "${copies[i + 1]}" || exit 125
done

[ -n "$out" ] && run_opts+=(--out "$out")
[ -n "$err" ] && run_opts+=(--err "$err")
rc=0
qmw_run "${run_opts[@]}" "$@" || rc=$?
[ -z "$out" ] && cat "$QMW_LAST_OUT"
[ -z "$err" ] && cat "$QMW_LAST_ERR" >&2
exit "$rc"
