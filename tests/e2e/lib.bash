# shellcheck shell=bash
# Shared part of the end-to-end scenarios: a throwaway prefix with the tools in it, a staged
# installation, a run of Quelmark.exe, and checks of the log and of the machine afterwards.
#
# The scenario scripts source this file, call e2e_begin, run their cases (each case starts a
# fresh prefix with e2e_prefix), and end with e2e_finish, which prints "N passed, N failed"
# and sets the exit status.
#
# By default a scenario runs the program that ships, the i686 release build, with the i686
# helper tools, in 32-bit prefixes (32-bit Windows, as the product was made for).
#
# Environment: QM_ROOT (repository); QM_BUILD_DIR (an i686 build tree, default
# $QM_ROOT/build/mingw32: the helper tools); QM_RELEASE_DIR (the i686 release build tree whose
# Quelmark.exe is run, default $QM_ROOT/build/release32); QM_BUILD64_DIR and QM_RELEASE64_DIR
# (the same for x86_64, defaults build/mingw64 and build/release64); QM_E2E_BUILD (i686 or
# x86_64: the build a scenario runs, each in prefixes of its own bitness; default i686);
# QM_E2E_ARTIFACTS (screenshots and failing logs, default $QM_BUILD_DIR/e2e-artifacts);
# QMW_KEEP=1 keeps each prefix for inspection.

QM_ROOT=${QM_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
QM_BUILD_DIR=${QM_BUILD_DIR:-$QM_ROOT/build/mingw32}
QM_RELEASE_DIR=${QM_RELEASE_DIR:-$QM_ROOT/build/release32}
QM_BUILD64_DIR=${QM_BUILD64_DIR:-$QM_ROOT/build/mingw64}
QM_RELEASE64_DIR=${QM_RELEASE64_DIR:-$QM_ROOT/build/release64}
QM_E2E_ARTIFACTS=${QM_E2E_ARTIFACTS:-$QM_BUILD_DIR/e2e-artifacts}
# The prefix's ANSI code page follows the locale: Windows-1252 under C.UTF-8, and file names
# reach the disk as UTF-8.
export LANG=${LANG:-C.UTF-8}

# shellcheck source=tools/wine/lib.sh
source "$QM_ROOT/tools/wine/lib.sh"

E2E_PASS=0
E2E_FAIL=0
E2E_CASE=""
E2E_TOOLS_WIN='C:\qmtools'
# shellcheck disable=SC1003  # a Windows path ending with a backslash
E2E_INSTALL_DIR='C:\Program Files\Brantivo\Tev32\'
E2E_WINDOWS_DIR='C:\windows'

E2E_BUILD=${QM_E2E_BUILD:-i686}
# The build tree of the helper tools, the release tree and the prefix kind of E2E_BUILD.
e2e__trees() {
  case "$E2E_BUILD" in
    i686) E2E_TOOLS_TREE="$QM_BUILD_DIR" E2E_RELEASE_TREE="$QM_RELEASE_DIR" E2E_ARCH=win32 ;;
    x86_64) E2E_TOOLS_TREE="$QM_BUILD64_DIR" E2E_RELEASE_TREE="$QM_RELEASE64_DIR" E2E_ARCH=win64 ;;
    *) echo "unknown build '$E2E_BUILD' (i686 or x86_64)"; return 1 ;;
  esac
}
e2e__trees || exit 1
QMW_ARCH=$E2E_ARCH  # for scenarios that make their prefixes with qmw_create
# Which programs of C:\qmtools quelmark and stage run (the WoW64 scenario has two of each).
E2E_PROGRAM=Quelmark.exe
E2E_STAGE_EXE=qmstage.exe

e2e_exe() {  # e2e_exe TARGET-FOLDER NAME: the built program, or nothing
  local f="$E2E_TOOLS_TREE/$1/$2"
  [ -f "$f" ] && echo "$f"
}
e2e_quelmark() {  # the release build's Quelmark.exe, or nothing
  local f="$E2E_RELEASE_TREE/app/Quelmark.exe"
  [ -f "$f" ] && echo "$f"
}

# e2e_begin [VAR=TARGET-FOLDER/NAME...]: finds the programs every scenario copies into its
# prefixes, and those named, whose paths it sets in VAR; ends the script when one is not built.
e2e_begin() {
  local missing=() t vars=(E2E_QUELMARK E2E_STAGE E2E_FAKE E2E_SVC E2E_DRIVER E2E_QMEXIT)
  E2E_QUELMARK=$(e2e_quelmark)
  E2E_STAGE=$(e2e_exe tools/stage qmstage.exe)
  E2E_FAKE=$(e2e_exe tools/fakeproc fakeproc.exe)
  E2E_SVC=$(e2e_exe tools/svc TevSvc.exe)
  E2E_DRIVER=$(e2e_exe tools/driver qmdriver.exe)
  E2E_QMEXIT=$(e2e_exe tools/exitcode qmexit.exe)
  for t in "$@"; do
    printf -v "${t%%=*}" '%s' "$(e2e_exe "$(dirname "${t#*=}")" "$(basename "${t#*=}")")"
    vars+=("${t%%=*}")
  done
  for t in "${vars[@]}"; do
    [ -n "${!t}" ] || missing+=("$t")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "not built in $E2E_TOOLS_TREE / $E2E_RELEASE_TREE: ${missing[*]}"
    echo "0 passed, 1 failed"
    exit 1
  fi
  mkdir -p "$QM_E2E_ARTIFACTS"
  trap 'qmw_end' EXIT
}

e2e_finish() {
  e2e_case_end
  echo "$E2E_PASS passed, $E2E_FAIL failed"
  [ "$E2E_FAIL" = 0 ]
}

# ---- checks ----

e2e_case() {
  e2e_case_end
  E2E_CASE="$1"
  E2E_CASE_START=$(date +%s)
  echo "== $E2E_CASE"
}
e2e_case_end() {
  [ -n "$E2E_CASE" ] && echo "  ($E2E_CASE: $(($(date +%s) - E2E_CASE_START))s)"
  E2E_CASE=""
}

ok() { E2E_PASS=$((E2E_PASS + 1)); echo "  ok   $*"; }
not_ok() { E2E_FAIL=$((E2E_FAIL + 1)); echo "  FAIL $*"; }
check() {  # check DESCRIPTION COMMAND...: counts the result and returns it
  local what="$1"
  shift
  if "$@"; then ok "$what"; else not_ok "$what"; return 1; fi
}
not() { ! "$@"; }  # for check: check "the window is gone" not driver wait-window ...
check_eq() {  # check_eq DESCRIPTION EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then ok "$1"; else not_ok "$1: expected '$2', got '$3'"; return 1; fi
}

# ---- the prefix ----

# e2e_prefix [--arch win32|win64] [--version VERSION]: a fresh prefix with the tools copied
# in; the previous one, if any, is ended first. The prefix is of the build's bitness unless
# --arch says otherwise; --version makes Wine report that Windows (win2k, winxp, win2003) to
# the prefix's programs.
e2e_prefix() {
  local arch="$E2E_ARCH" version=""
  while [ $# -gt 0 ]; do
    case "$1" in
      --arch) arch="$2"; shift 2 ;;
      --version) version="$2"; shift 2 ;;
      *) echo "e2e_prefix: unknown option $1"; exit 1 ;;
    esac
  done
  qmw_end
  qmw_create "$arch" || { echo "cannot make a $arch Wine prefix"; exit 1; }
  # The prefix's first program sets up its desktop on the display it finds: without one,
  # every later window fails and the program ends at once. Helpers run through qmw_wine
  # come first in some scenarios.
  qmw_xvfb_start || exit 1
  qmw_copy_in "$E2E_STAGE" "$E2E_FAKE" "$E2E_SVC" "$E2E_DRIVER" "$E2E_QMEXIT" "$E2E_QUELMARK" \
    "$E2E_TOOLS_WIN"
  E2E_TOOLS="$(qmw_drive_c)/qmtools"
  E2E_OUT="$QMW_WORK/out"
  mkdir -p "$E2E_OUT"
  if [ -n "$version" ]; then qmw_set_version "$version" || exit 1; fi
}

# stage ARGS...: runs qmstage in the prefix; its output in $E2E_OUT/stage.out.
stage() {
  local rc=0
  qmw_run --x --timeout 120 --out "$E2E_OUT/stage.out" --err "$E2E_OUT/stage.err" \
    "$E2E_TOOLS/$E2E_STAGE_EXE" "$@" || rc=$?
  if [ "$rc" != 0 ]; then
    echo "  $E2E_STAGE_EXE $* failed with status $rc:"
    sed 's/^/    /' "$E2E_OUT/stage.err"
  fi
  return "$rc"
}

# stage_to FILE ARGS...: runs qmstage and keeps its output in FILE.
stage_to() {
  local file="$1"
  shift
  stage "$@" && cp "$E2E_OUT/stage.out" "$file"
}

# install_absent: the bystanders only, their service running.
install_absent() {
  stage install-absent --svc-exe "$E2E_TOOLS_WIN\\TevSvc.exe"
}

# install_full [qmstage options]: bystanders and the whole product. --service picks the
# state TEVSvc is left in, --svc-args the service program's mode (stuck: it ignores stops).
install_full() {
  stage install-full --svc-exe "$E2E_TOOLS_WIN\\TevSvc.exe" "$@"
}

# quelmark ARGS...: runs Quelmark.exe ($E2E_PROGRAM) on the prefix's display and waits for it
# (3 minutes at most); sets E2E_STATUS and E2E_SECONDS. quelmark_status runs it through
# qmexit, which reads the full status inside the prefix (the unix side sees it cut to 8 bits).
quelmark() { e2e__quelmark "" "$@"; }
quelmark_status() { e2e__quelmark "$E2E_TOOLS/status.txt" "$@"; }
e2e__quelmark() {  # e2e__quelmark STATUS-FILE|"" ARGS...
  local file="$1" start run=("$E2E_TOOLS/$E2E_PROGRAM")
  shift
  start=$(date +%s%N)
  E2E_STATUS=0
  if [ -n "$file" ]; then
    rm -f "$file"
    run=("$E2E_TOOLS/qmexit.exe" "$E2E_TOOLS_WIN\\status.txt" "$E2E_TOOLS_WIN\\$E2E_PROGRAM")
  fi
  qmw_run --x --timeout 180 --out "$E2E_OUT/quelmark.out" --err "$E2E_OUT/quelmark.err" \
    "${run[@]}" "$@" || E2E_STATUS=$?
  if [ -n "$file" ]; then E2E_STATUS=$(cat "$file" 2>/dev/null || echo none); fi
  E2E_SECONDS=$(awk -v a="$start" -v b="$(date +%s%N)" 'BEGIN { printf "%.1f", (b - a) / 1e9 }')
  echo "  $E2E_PROGRAM $* ended with status $E2E_STATUS after ${E2E_SECONDS}s"
}

# The log file Quelmark writes: C:\windows\Temp\Quelmark.log (the prefix spells its folders
# in lower case; Windows paths are matched without case).
log_file() {
  find "$(qmw_drive_c)/windows" -maxdepth 2 -ipath '*/temp/quelmark.log' | head -n 1
}

# Keeps a file among the artifacts under the current case's name.
keep_artifact() {
  local name
  name=$(echo "$E2E_CASE" | tr -c 'A-Za-z0-9\n' '_' | tr -s '_')
  cp "$1" "$QM_E2E_ARTIFACTS/${name}_$(basename "$1")" 2>/dev/null
}

# ---- the expected log ----
#
# expected_log INVENTORY SERVICE-OUTCOME [UNDELETABLE-PATH...] > FILE
#
# Builds the log a run must write from what was installed before it (qmstage inventory) and
# how the service stage ends: absent, stopped (already stopped: kept), removed (stopped and
# removed), pending (a stop that did not complete: kept). Files named as undeletable get a
# " ...FALLO" line, and the folders holding them stay. Lines end with CR LF.
expected_log() {
  local inv="$1" svc="$2"
  shift 2
  E2E_SVC="$svc" E2E_WINDIR="$E2E_WINDOWS_DIR" E2E_INSTDIR="$E2E_INSTALL_DIR" \
    E2E_UNDELETABLE="$(printf '%s\n' "$@")" \
    LC_ALL=C awk -f "$QM_ROOT/tests/e2e/expected_log.awk" "$inv"
}

# compare_log EXPECTED ACTUAL: the lines up to the driver file line in order and byte for
# byte, the file lines after it as a set (a real file system lists in an order of its own).
compare_log() {
  local exp="$1" act="$2" n
  n=$(grep -n -a "TEVF.sys'\.\.\." "$exp" | head -n 1 | cut -d: -f1)
  if ! cmp -s <(head -n "$n" "$exp") <(head -n "$n" "$act"); then
    echo "  the log differs before its file lines:"
    diff -a <(head -n "$n" "$exp" | tr -d '\r') <(head -n "$n" "$act" | tr -d '\r') |
      head -n 40 | sed 's/^/    /'
    return 1
  fi
  if ! cmp -s <(tail -n +"$((n + 1))" "$exp" | LC_ALL=C sort) \
              <(tail -n +"$((n + 1))" "$act" | LC_ALL=C sort); then
    echo "  the file lines differ (as sets):"
    diff -a <(tail -n +"$((n + 1))" "$exp" | tr -d '\r' | LC_ALL=C sort) \
            <(tail -n +"$((n + 1))" "$act" | tr -d '\r' | LC_ALL=C sort) |
      head -n 40 | sed 's/^/    /'
    return 1
  fi
}

# Every line, the last included, ends with CR LF and no line is bare LF.
crlf_only() {
  [ -s "$1" ] && [ "$(tail -c 2 "$1" | od -An -tx1 | tr -d ' \n')" = 0d0a ] &&
    ! LC_ALL=C grep -q -a $'[^\r]$' "$1" && ! LC_ALL=C grep -q -a $'^$' "$1"
}

# check_log EXPECTED ACTUAL: the log's checks with their results counted.
check_log() {
  if [ ! -f "$2" ]; then
    not_ok "the log file was written"
    return
  fi
  ok "the log file was written"
  check "every log line ends with CR LF" crlf_only "$2"
  check "the log matches the expected lines" compare_log "$1" "$2"
  keep_artifact "$2"
}

# check_staged INVENTORY SERVICE-STATE [PROGRAMS]: the whole product is there before a run.
check_staged() {
  local inv="$1" files
  files=$(grep -c '^file ' "$inv")
  check_eq "staged: service" "service TEVSvc $2" "$(grep '^service ' "$inv")"
  check_eq "staged: programs running" "${3:-3}" "$(grep -c '^process ' "$inv")"
  check_eq "staged: key trees" 27 "$(grep -c '^key ' "$inv")"
  check_eq "staged: Run and SharedDLLs values" 7 "$(grep -c '^value ' "$inv")"
  check_eq "staged: the four folders" 4 "$(product_dir_lines | grep -c -a -F -x -f - "$inv")"
  check "staged: files in them and the driver file ($files)" test "$files" -ge 20
}

# The inventory lines of the four product folders (Windows-1252 bytes).
product_dir_lines() {
  printf 'dir %s\n' "$E2E_INSTALL_DIR" \
    "C:\\Documents and Settings\\All Users\\Men"$'\xFA'" Inicio\\Programas\\TEV32 para Windows\\" \
    "$E2E_WINDOWS_DIR\\Downloaded Installations\\{FE4F5263-11D5-4724-95BA-A978983B6369}\\" \
    "$E2E_WINDOWS_DIR\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49414}\\"
}

# check_digest BEFORE AFTER: every bystander checksum unchanged.
check_digest() {
  if cmp -s "$1" "$2"; then
    ok "bystanders intact ($(wc -l <"$1") keys, values, folders, files, programs, services)"
  else
    not_ok "bystanders changed:"
    diff -a "$1" "$2" | sed 's/^/    /'
  fi
}

# ---- a run over a staged machine, and what it must leave ----

# before_run [SERVICE-STATE]: the product's inventory and the bystanders' digest before a run
# ($E2E_OUT/inventory.before, digest.before); with a state, the whole product must be staged
# with its service in that state.
before_run() {
  stage_to "$E2E_OUT/inventory.before" inventory
  if [ $# -gt 0 ]; then check_staged "$E2E_OUT/inventory.before" "$@"; fi
  stage_to "$E2E_OUT/digest.before" digest
}

# check_bystanders: every bystander as before_run found it.
check_bystanders() {
  stage_to "$E2E_OUT/digest.after" digest
  check_digest "$E2E_OUT/digest.before" "$E2E_OUT/digest.after"
}

# check_removed [--no-restart]: after a run over the product before_run found, status 0, the
# log right line for line with every item removed, nothing of the product left, (no restart,)
# every bystander intact.
check_removed() {
  check_eq "exit status" 0 "$E2E_STATUS"
  expected_log "$E2E_OUT/inventory.before" removed >"$E2E_OUT/expected.log"
  check_log "$E2E_OUT/expected.log" "$(log_file)"
  check_left
  if [ "${1:-}" = --no-restart ]; then check_restart no; fi
  check_bystanders
}

# full_createlog_run: in the current prefix, a full installation with its service running and
# an unattended run with " /CREATELOG", checked by check_removed --no-restart. Fails when the
# staging fails.
full_createlog_run() {
  install_full --service running || return 1
  before_run RUNNING
  quelmark /CREATELOG
  check_removed --no-restart
}

# absent_createlog_run [--again]: in the current prefix, the bystanders only and an unattended
# run with " /CREATELOG": the absent-product log byte for byte, nothing beside the product
# changed, status 0. Fails when the staging fails. --again stages nothing: the prefix is one
# where full_createlog_run has just removed the product, which leaves the bystanders only.
absent_createlog_run() {
  local log
  if [ "${1:-}" != --again ]; then install_absent || return 1; fi
  before_run
  check "nothing of the product is installed" test ! -s "$E2E_OUT/inventory.before"

  quelmark /CREATELOG
  check_eq "exit status" 0 "$E2E_STATUS"
  expected_log /dev/null absent >"$E2E_OUT/expected.log"
  log=$(log_file)
  if [ -n "$log" ]; then
    check "the log equals the absent-product log byte for byte" cmp "$E2E_OUT/expected.log" "$log"
    keep_artifact "$log"
  else
    not_ok "the log file C:\\windows\\Temp\\Quelmark.log was written"
  fi
  check_bystanders
}

# ---- restart detection ----

# Whether the bystander program still runs. A restart requested under Wine ends every
# process of the prefix about a second later, so its disappearance is the sign of a restart.
bystander_running() {  # status 0 running, 1 not running, 2 the check itself failed
  stage digest >/dev/null || return 2
  grep -q -a '^process Vecino.exe 1$' "$E2E_OUT/stage.out"
}

# check_restart yes|no: whether a restart was requested, given the time to take effect.
check_restart() {
  local state
  if [ "$1" = no ]; then
    sleep 3
    bystander_running
    check_eq "no restart (the bystander program still runs)" 0 "$?"
    return
  fi
  # A program started while the restart ends the prefix's processes may be ended too (2):
  # only a check that ran to its end counts.
  for _ in 1 2 3 4 5 6 7 8 9 10 11 12; do
    bystander_running
    state=$?
    [ "$state" = 1 ] && break
    sleep 1
  done
  check_eq "a restart was requested (the bystander program ended)" 1 "$state"
}

# ---- the windows, driven as a user would ----

# driver ARGS...: runs qmdriver under the prefix's display; its output in $E2E_OUT/driver.out.
driver() {
  qmw_run --x --timeout 240 --out "$E2E_OUT/driver.out" --err "$E2E_OUT/driver.err" \
    "$E2E_TOOLS/qmdriver.exe" "$@"
}

# screenshot NAME: the main window as it shows on the screen, kept among the artifacts.
screenshot() {
  local x y w h name
  name=$(echo "$E2E_CASE" | tr -c 'A-Za-z0-9\n' '_' | tr -s '_')
  driver rect Quelmark && read -r x y w h <"$E2E_OUT/driver.out" || return 1
  import -window root -display "$DISPLAY" -crop "${w}x${h}+${x}+${y}" +repage \
    "$QM_E2E_ARTIFACTS/${name}_$1.png"
}

# interactive_run MARKS EXPECTED-LOG RESTART-MESSAGE(yes|no)
#
# Starts Quelmark.exe without options, clicks "Comenzar Limpieza", waits for the run to end,
# compares the visible marks with MARKS ("services Ok,processes Ok,..."), opens the log viewer
# and compares its text with EXPECTED-LOG, closes the main window and, when the end message
# is expected, checks its text and answers Cancel. Sets E2E_STATUS to the exit status.
interactive_run() {
  local marks="$1" expected="$2" message="$3" pid start
  qmw_start_bg --x --timeout 300 --out "$E2E_OUT/quelmark.out" --err "$E2E_OUT/quelmark.err" \
    "$E2E_TOOLS/Quelmark.exe"
  pid=$QMW_LAST_PID
  check "the main window shows" driver wait-window Quelmark 60 || return
  sleep 1  # its first painting
  screenshot before
  driver buttons Quelmark
  check_eq "the button before the run" "Comenzar Limpieza | enabled | visible" \
    "$(head -n 1 "$E2E_OUT/driver.out")"
  driver marks Quelmark
  check_eq "no mark before the run" "services none,processes none,registry none,files none" \
    "$(paste -sd, "$E2E_OUT/driver.out")"

  start=$(date +%s)
  check "click Comenzar Limpieza" driver click Quelmark "Comenzar Limpieza"
  check "the run ends (the button opens the log)" \
    driver wait-enabled Quelmark "Mostrar Fichero log" 180
  echo "  the run took about $(($(date +%s) - start))s"
  # The last mark reaches the screen when the window next paints: give it a few seconds.
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    driver marks Quelmark
    [ "$(paste -sd, "$E2E_OUT/driver.out")" = "$marks" ] && break
    sleep 0.5
  done
  check_eq "marks after the run" "$marks" "$(paste -sd, "$E2E_OUT/driver.out")"
  screenshot after

  check "click Mostrar Fichero log" driver click Quelmark "Mostrar Fichero log"
  if check "the log viewer shows" driver wait-window "Fichero Log" 30; then
    driver text "Fichero Log"
    # The box holds the lines separated by CR LF; the last one may or may not carry one.
    { cat "$E2E_OUT/driver.out"
      [ "$(tail -c 2 "$E2E_OUT/driver.out" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || printf '\r\n'
    } >"$E2E_OUT/viewer.txt"
    check "the viewer's text equals the log" compare_log "$expected" "$E2E_OUT/viewer.txt"
    keep_artifact "$E2E_OUT/viewer.txt"
  fi

  check "close the main window" driver close Quelmark
  if [ "$message" = yes ]; then
    if check "the end message shows" driver wait-window "Información" 30; then
      driver message "Información"
      check "the end message's text" cmp -s "$E2E_OUT/driver.out" <(end_message)
      check "answer Cancel" driver answer "Información" 2
    fi
  else
    sleep 2
    check "no end message" not driver wait-window "Información" 1
  fi
  E2E_STATUS=0
  qmw_wait_bg "$pid" 30 || E2E_STATUS=$?
  check_eq "exit status" 0 "$E2E_STATUS"
}

# The end message after a run that found the service: four lines joined by LF.
end_message() {
  printf '%s\n%s\n\n%s' \
    "El producto antivirus Tev32 12.1 ha sido desinstalado correctamente" \
    "Para que los cambios realizados tengan efecto debe reiniciar el sistema" \
    "Presione \"Aceptar\" para reiniciar ahora o \"Cancelar\" para reiniciar m"$'\xE1'"s tarde"
}

# check_left EXPECTED-LINES...: the product items still present after the run, exactly.
check_left() {
  stage_to "$E2E_OUT/inventory.after" inventory
  if cmp -s <(printf '%s\n' "$@" | sed '/^$/d') "$E2E_OUT/inventory.after"; then
    ok "what is left of the product: ${*:-nothing}"
  else
    not_ok "what is left of the product:"
    diff -a <(printf '%s\n' "$@" | sed '/^$/d') "$E2E_OUT/inventory.after" | sed 's/^/    /'
  fi
}

# ---- looking at the prefix with Wine's own commands ----

rm_by_wine() {  # deletes a file with cmd's del; fails when it is still there afterwards
  qmw_wine cmd /c del /f /q "$1" >/dev/null 2>&1
  stage inventory >/dev/null && ! grep -q -a -x -F "file $1" "$E2E_OUT/stage.out"
}

attrib_has() {  # attrib_has PATH FLAGS: attrib lists the file with these flags
  qmw_wine cmd /c attrib "$1" 2>/dev/null | grep -q -F "$2"
}
