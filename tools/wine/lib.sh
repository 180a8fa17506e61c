# shellcheck shell=bash
# Wine runner library: throwaway Wine prefixes, 64-bit or 32-bit, for tests and demos.
#
# Source it, then:
#
#   qmw_create [ARCH]          Make a throwaway prefix (a copy of the cached template of that
#                              architecture, made once with wineboot) and keep its wineserver
#                              alive (-p). ARCH is win64 (64-bit Windows: wine64, which hands
#                              i686 programs to the 32-bit loader as WoW64 does) or win32
#                              (32-bit Windows: /usr/lib/wine/wine, i686 programs only);
#                              default $QMW_ARCH, itself win64 by default. Sets and exports
#                              WINEPREFIX; sets QMW_PREFIX, QMW_WORK (a scratch folder holding
#                              the prefix and output files), QMW_PREFIX_ARCH and QMW_WINE (the
#                              loader used for that prefix).
#   qmw_set_version VERSION    Make Wine report another Windows version to the prefix's
#                              programs from then on (HKCU\Software\Wine, value Version:
#                              win2k, winxp, win2003, ... ; win2k exists in win32 prefixes only).
#                              It runs `reg`: a prefix's first program sets up the desktop for
#                              the display it finds, so start Xvfb first when windows follow.
#   qmw_drive_c                Print the unix path of the prefix's C: drive.
#   qmw_copy_in SRC... DEST    Copy files or folders into the C: drive. DEST is relative to
#                              C:\ and may be written "C:\Program Files\X" or "Program Files/X";
#                              it is created when missing.
#   qmw_winpath PATH           Print the Windows form of a unix path (C:\... inside drive_c,
#                              Z:\... elsewhere).
#   qmw_xvfb_start             Start Xvfb on a free display of its own and export DISPLAY
#                              (no-op when already started by this library).
#   qmw_run [opts] PROG ARGS   Run a Windows program in the prefix and wait for it; returns its
#                              exit status (124 when the time limit ended it). Options:
#                                --x          run under Xvfb (started on first use)
#                                --timeout S  time limit in seconds (default $QMW_TIMEOUT, 300)
#                                --out FILE   standard output goes there (default: a file in
#                                --err FILE   QMW_WORK; QMW_LAST_OUT / QMW_LAST_ERR name them)
#                              Output always goes to files: the first program of a prefix
#                              starts Wine's service manager, which inherits standard output,
#                              so a pipe would never close.
#   qmw_start_bg [opts] PROG ARGS
#                              Start a program in the background (same options; the time
#                              limit applies too). Sets QMW_LAST_PID to the pid of its runner.
#   qmw_wait_bg PID [SECONDS]  Wait for a background program; returns its exit status, or
#                              124 after it was ended for overrunning SECONDS.
#   qmw_wine ARGS...           Run the prefix's Wine loader directly (short helper commands
#                              such as `reg`), with the default time limit; output goes where
#                              the caller sends it: never into a pipe that must close.
#   qmw_end                    End what this library started: background programs, the
#                              prefix's wineserver (-k, that prefix only), Xvfb (by pid); then
#                              remove the scratch folder unless QMW_KEEP=1.
#
# Typical use:
#   source tools/wine/lib.sh
#   qmw_create; trap qmw_end EXIT
#   qmw_copy_in build/mingw64/app/Quelmark.exe 'C:\qm'
#   qmw_run --x --timeout 120 "$(qmw_drive_c)/qm/Quelmark.exe"; echo "status $?"
#   cat "$QMW_LAST_OUT"
#
# Environment: QMW_ARCH (win64 or win32, default win64), QMW_TIMEOUT (default 300),
# QMW_KEEP=1 (keep the prefix), QMW_CACHE (template cache, default
# ${XDG_CACHE_HOME:-$HOME/.cache}/quelmark), QMW_TMP (where prefixes are made, default
# ${TMPDIR:-/tmp}).

QMW_WINE64=${QMW_WINE64:-/usr/lib/wine/wine64}
QMW_WINE32=${QMW_WINE32:-/usr/lib/wine/wine}
QMW_ARCH=${QMW_ARCH:-win64}
QMW_WINESERVER=${QMW_WINESERVER:-/usr/lib/wine/wineserver}
QMW_CACHE=${QMW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quelmark}
QMW_TIMEOUT=${QMW_TIMEOUT:-300}
QMW_PREFIX=""
QMW_PREFIX_ARCH=""
QMW_WINE=""
QMW_WORK=""
QMW_XVFB_PID=""
QMW_BG_PIDS=()
QMW_RUN_COUNT=0
QMW_LAST_OUT=""
QMW_LAST_ERR=""
QMW_LAST_PID=""

export WINEDEBUG=${WINEDEBUG:--all}
# No downloads of optional runtimes are possible or wanted: keep wineboot from asking.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

qmw__log() { echo "qmw: $*" >&2; }

# qmw__loader ARCH: the Wine loader that makes and runs prefixes of that architecture.
qmw__loader() {
  case "$1" in
    win64) echo "$QMW_WINE64" ;;
    win32) echo "$QMW_WINE32" ;;
    *) qmw__log "unknown prefix architecture '$1' (win64 or win32)"; return 1 ;;
  esac
}

# qmw_template [ARCH]: prints the template prefix's path, making it first when it is missing
# or was made by another Wine version. Each architecture has its own template (the 64-bit one
# keeps its old name). Concurrent callers wait on a lock; the template appears atomically.
qmw_template() {
  local arch=${1:-$QMW_ARCH} tmpl loader version stamp
  loader=$(qmw__loader "$arch") || return 1
  tmpl="$QMW_CACHE/wine-template"
  [ "$arch" = win64 ] || tmpl="$tmpl-$arch"
  version=$("$loader" --version 2>/dev/null) || { qmw__log "cannot run $loader"; return 1; }
  mkdir -p "$QMW_CACHE" || return 1
  (
    flock -w 600 9 || { qmw__log "template lock timed out"; exit 1; }
    stamp="$tmpl/.qmw-version"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ]; then exit 0; fi
    qmw__log "making the $arch Wine template prefix (once)"
    local fresh="$tmpl.new.$$"
    rm -rf "$fresh"
    if ! WINEARCH="$arch" WINEPREFIX="$fresh" timeout -k 10 300 "$loader" wineboot -i \
          >"$tmpl.log" 2>&1 </dev/null; then
      qmw__log "wineboot failed; see $tmpl.log"
      WINEPREFIX="$fresh" timeout 30 "$QMW_WINESERVER" -k 2>/dev/null
      rm -rf "$fresh"; exit 1
    fi
    # The registry reaches its files only when the prefix's wineserver exits.
    WINEPREFIX="$fresh" timeout -k 10 120 "$QMW_WINESERVER" -w
    echo "$version" >"$fresh/.qmw-version"
    rm -rf "$tmpl" && mv "$fresh" "$tmpl"
  ) 9>"$tmpl.lock" || return 1
  echo "$tmpl"
}

qmw_create() {
  local arch=${1:-$QMW_ARCH} tmpl
  if [ -n "$QMW_PREFIX" ]; then qmw__log "a prefix is already open: $QMW_PREFIX"; return 1; fi
  tmpl=$(qmw_template "$arch") || return 1
  QMW_WORK=$(mktemp -d "${QMW_TMP:-${TMPDIR:-/tmp}}/qmw.XXXXXX") || return 1
  QMW_PREFIX="$QMW_WORK/prefix"
  QMW_PREFIX_ARCH="$arch"
  QMW_WINE=$(qmw__loader "$arch")
  cp -a "$tmpl" "$QMW_PREFIX" || { qmw__log "copying the template failed"; return 1; }
  rm -f "$QMW_PREFIX/.qmw-version"
  export WINEPREFIX="$QMW_PREFIX"
  qmw__own_fonts
  # Services die with the wineserver; keep it alive for the whole run. Its output must not
  # hold the caller's pipes open.
  "$QMW_WINESERVER" -p >/dev/null 2>&1 </dev/null
}

# The prefix registers "MS Sans Serif" as sserife.fon but Wine finds the file only in the
# Windows fonts folder; without it a wider substitute draws the layouts' captions. Wine's own
# bitmap and outline versions of the font (Debian's fonts-wine) are put there.
qmw__own_fonts() {
  local src=${QMW_WINE_FONTS:-/usr/share/wine/fonts} f
  mkdir -p "$QMW_PREFIX/drive_c/windows/Fonts"
  for f in "$src"/sserif*.fon "$src"/ms_sans_serif.ttf; do
    [ -f "$f" ] && cp "$f" "$QMW_PREFIX/drive_c/windows/Fonts/"
  done
  return 0
}

qmw_drive_c() { echo "$QMW_PREFIX/drive_c"; }

qmw_set_version() {
  qmw_wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1 ||
    { qmw__log "could not set the Windows version $1"; return 1; }
}

# Unix path of a C: path given as "C:\a\b", "c:/a/b" or "a/b".
qmw__c_path() {
  local p="${1//\\//}"
  p="${p#[Cc]:}"
  p="${p#/}"
  echo "$(qmw_drive_c)${p:+/$p}"
}

qmw_copy_in() {
  if [ $# -lt 2 ]; then qmw__log "usage: qmw_copy_in SRC... DEST"; return 2; fi
  local dest="${*: -1}"
  local target
  target=$(qmw__c_path "$dest")
  mkdir -p "$target" && cp -a "${@:1:$#-1}" "$target/"
}

qmw_winpath() {
  local abs drive_c
  abs=$(realpath -m "$1")
  drive_c=$(realpath -m "$(qmw_drive_c)")
  if [ "$abs" = "$drive_c" ] || [ "${abs#"$drive_c"/}" != "$abs" ]; then
    abs="C:${abs#"$drive_c"}"
  else
    abs="Z:$abs"
  fi
  abs="${abs//\//\\}"
  [ "${abs: -1}" = ":" ] && abs="$abs\\"
  echo "$abs"
}

qmw_xvfb_start() {
  [ -n "$QMW_XVFB_PID" ] && return 0
  if [ -z "$QMW_WORK" ]; then qmw__log "no prefix: call qmw_create first"; return 1; fi
  local fd_file="$QMW_WORK/xvfb.display" n="" i
  : >"$fd_file"
  # -displayfd lets the server pick a free display number, so parallel runs never collide.
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$fd_file" \
    >"${fd_file%.display}.log" 2>&1 </dev/null &
  QMW_XVFB_PID=$!
  for i in $(seq 1 100); do
    n=$(tr -dc '0-9' <"$fd_file")
    [ -n "$n" ] && break
    kill -0 "$QMW_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$n" ]; then
    qmw__log "Xvfb did not start"; kill "$QMW_XVFB_PID" 2>/dev/null; QMW_XVFB_PID=""; return 1
  fi
  QMW__OLD_DISPLAY="${DISPLAY-}"
  export DISPLAY=":$n"
}

# Parses the common options into qmw__x, qmw__timeout, qmw__out, qmw__err; sets qmw__shift.
qmw__opts() {
  qmw__x=0; qmw__timeout="$QMW_TIMEOUT"; qmw__shift=0
  QMW_RUN_COUNT=$((QMW_RUN_COUNT + 1))
  qmw__out="$QMW_WORK/run$QMW_RUN_COUNT.out"; qmw__err="$QMW_WORK/run$QMW_RUN_COUNT.err"
  while [ $# -gt 0 ]; do
    case "$1" in
      --x) qmw__x=1; shift; qmw__shift=$((qmw__shift + 1)) ;;
      --timeout) qmw__timeout="$2"; shift 2; qmw__shift=$((qmw__shift + 2)) ;;
      --out) qmw__out="$2"; shift 2; qmw__shift=$((qmw__shift + 2)) ;;
      --err) qmw__err="$2"; shift 2; qmw__shift=$((qmw__shift + 2)) ;;
      --) shift; qmw__shift=$((qmw__shift + 1)); break ;;
      *) break ;;
    esac
  done
  QMW_LAST_OUT="$qmw__out"; QMW_LAST_ERR="$qmw__err"
  if [ -z "$QMW_PREFIX" ]; then qmw__log "no prefix: call qmw_create first"; return 1; fi
  if [ "$qmw__x" = 1 ]; then qmw_xvfb_start || return 1; fi
}

qmw_run() {
  qmw__opts "$@" || return 1
  shift "$qmw__shift"
  [ $# -ge 1 ] || { qmw__log "qmw_run: no program"; return 2; }
  local rc=0
  timeout -k 10 "$qmw__timeout" "$QMW_WINE" "$@" >"$qmw__out" 2>"$qmw__err" </dev/null || rc=$?
  if [ "$rc" = 124 ] || [ "$rc" = 137 ]; then
    qmw__log "$(basename "$1") overran its time limit of ${qmw__timeout}s"
    rc=124
  fi
  return "$rc"
}

qmw_start_bg() {
  qmw__opts "$@" || return 1
  shift "$qmw__shift"
  [ $# -ge 1 ] || { qmw__log "qmw_start_bg: no program"; return 2; }
  timeout -k 10 "$qmw__timeout" "$QMW_WINE" "$@" >"$qmw__out" 2>"$qmw__err" </dev/null &
  QMW_LAST_PID=$!
  QMW_BG_PIDS+=("$QMW_LAST_PID")
}

qmw_wait_bg() {
  local pid="$1" limit="${2:-}" rc=0 waited=0
  if [ -n "$limit" ]; then
    while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt $((limit * 10)) ]; do
      sleep 0.1; waited=$((waited + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
      qmw__log "background program $pid overran ${limit}s"
      return 124
    fi
  fi
  wait "$pid" || rc=$?
  return "$rc"
}

qmw_wine() {
  if [ -z "$QMW_PREFIX" ]; then qmw__log "no prefix: call qmw_create first"; return 1; fi
  timeout -k 10 "$QMW_TIMEOUT" "$QMW_WINE" "$@" </dev/null
}

qmw_end() {
  local pid
  for pid in "${QMW_BG_PIDS[@]}"; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  QMW_BG_PIDS=()
  if [ -n "$QMW_PREFIX" ]; then
    WINEPREFIX="$QMW_PREFIX" timeout -k 5 30 "$QMW_WINESERVER" -k >/dev/null 2>&1 </dev/null
    # -k asks the server to end; wait for it so nothing writes into a folder being removed.
    WINEPREFIX="$QMW_PREFIX" timeout -k 5 30 "$QMW_WINESERVER" -w >/dev/null 2>&1 </dev/null
  fi
  if [ -n "$QMW_XVFB_PID" ]; then
    kill "$QMW_XVFB_PID" 2>/dev/null && wait "$QMW_XVFB_PID" 2>/dev/null
    QMW_XVFB_PID=""
    if [ -n "${QMW__OLD_DISPLAY:-}" ]; then export DISPLAY="$QMW__OLD_DISPLAY"; else unset DISPLAY; fi
  fi
  if [ -n "$QMW_WORK" ]; then
    if [ "${QMW_KEEP:-0}" = 1 ]; then
      qmw__log "kept prefix $QMW_PREFIX"
    else
      rm -rf "$QMW_WORK"
    fi
  fi
  QMW_PREFIX=""; QMW_WORK=""; QMW_PREFIX_ARCH=""; QMW_WINE=""
  return 0
}
