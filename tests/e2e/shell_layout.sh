#!/usr/bin/env bash
# The program's three windows under Wine: Quelmark.exe starts, its main window, the about box
# and the log viewer show the layouts' captions, texts, positions and sizes, as uiprobe reads
# them from outside with the ordinary window calls. Screenshots of the three windows are kept
# in $QM_E2E_ARTIFACTS/shell_layout/.
#
# Labels size themselves to their text, and Wine's substitute fonts are not the layouts'
# fonts: for labels only the text and the top-left corner are compared.
set -u
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"

QUELMARK=$(e2e_exe app Quelmark.exe)
PROBE=$(e2e_exe tools/uiprobe uiprobe.exe)
if [ -z "$QUELMARK" ] || [ -z "$PROBE" ]; then
  echo "not built in $QM_BUILD_DIR: Quelmark.exe and uiprobe.exe are needed"
  echo "0 passed, 1 failed"
  exit 1
fi
SHOTS="$QM_E2E_ARTIFACTS/shell_layout"
mkdir -p "$SHOTS"
trap 'qmw_end' EXIT

# Menu commands of the main window, numbered from 1000 in menu order.
CMD_CERRAR=1000
CMD_ACERCA=1002

# Runs uiprobe; its output (CR LF lines, as a Windows console program writes them) is left
# in $QMW_WORK/probe.out with unix line ends.
probe() {
  local rc
  qmw_run --x --timeout 60 --out "$QMW_WORK/probe.out" "$C/uiprobe.exe" "$@"
  rc=$?
  sed -i 's/\r$//' "$QMW_WORK/probe.out"
  return $rc
}

# The dump with label sizes masked (see the header).
dump() {
  probe dump "$1" || return 1
  LC_ALL=C sed -E 's/^(control [0-9]+ QuelmarkControl "[^"]+" -?[0-9]+ -?[0-9]+) [0-9]+ [0-9]+/\1 * */' \
    "$QMW_WORK/probe.out"
}

check_layout() {  # check_layout CAPTION EXPECTED-TEXT
  local actual
  actual=$(dump "$1")
  if [ "$actual" = "$2" ]; then
    ok "layout of \"$1\""
  else
    not_ok "layout of \"$1\""
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$actual") | sed 's/^/    /'
  fi
}

screenshot() {  # screenshot CAPTION FILE
  local x y w h
  probe rect "$1" || { not_ok "screenshot of \"$1\""; return 1; }
  read -r x y w h <"$QMW_WORK/probe.out"
  if import -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage "$SHOTS/$2"; then
    ok "screenshot $SHOTS/$2"
  else
    not_ok "screenshot of \"$1\""
  fi
}

wait_for_button() {  # wait_for_button TEXT SECONDS: the main window's button is enabled with TEXT
  local i
  for ((i = 0; i < $2 * 2; i++)); do
    probe dump Quelmark && grep -q "^control 115 Button \"$1\" .* enabled$" "$QMW_WORK/probe.out" &&
      return 0
    sleep 0.5
  done
  return 1
}

E=$'\xF3'  # o with acute accent, Windows-1252
MAIN_LAYOUT="window \"Quelmark\" client 372 171
control 100 QuelmarkControl \"Desinstalaci${E}n de Tev32 12.1\" 144 1 * * visible enabled
control 101 QuelmarkControl \"\" 144 24 225 113 visible enabled
control 102 QuelmarkControl \"\" 4 0 133 166 visible enabled
control 103 QuelmarkControl \"Deteniendo / Eliminando Servicios\" 149 34 * * visible enabled
control 104 QuelmarkControl \"Deteniendo Procesos\" 150 59 * * visible enabled
control 105 QuelmarkControl \"Limpiando el Registro\" 151 85 * * visible enabled
control 106 QuelmarkControl \"Eliminando Ficheros\" 150 112 * * visible enabled
control 107 QuelmarkControl \"\" 340 33 17 17 hidden enabled
control 108 QuelmarkControl \"\" 341 33 17 17 hidden enabled
control 109 QuelmarkControl \"\" 340 59 17 17 hidden enabled
control 110 QuelmarkControl \"\" 341 59 17 17 hidden enabled
control 111 QuelmarkControl \"\" 341 85 17 17 hidden enabled
control 112 QuelmarkControl \"\" 341 85 17 17 hidden enabled
control 113 QuelmarkControl \"\" 341 111 17 17 hidden enabled
control 114 QuelmarkControl \"\" 341 111 17 17 hidden enabled
control 115 Button \"Comenzar Limpieza\" 144 142 104 25 visible enabled"

ABOUT_LAYOUT="window \"Acerca de...\" client 298 180
control 100 QuelmarkControl \"\" 8 8 281 137 visible enabled
control 101 QuelmarkControl \"\" 8 8 73 81 visible enabled
control 102 QuelmarkControl \"Quelmark\" 100 16 * * visible enabled
control 103 QuelmarkControl \"Version: 1.0\" 100 40 * * visible enabled
control 104 QuelmarkControl \"Copyright "$'\xA9'" 2004 Quelmark\" 8 95 * * visible enabled
control 105 QuelmarkControl \"Desisntalaci${E}n de Tev32 12.1\" 100 64 * * visible enabled
control 106 QuelmarkControl \"E-mail:\" 68 113 * * visible enabled
control 107 QuelmarkControl \"soporte@quelmark.test\" 101 112 * * visible enabled
control 108 Button \"OK\" 111 152 75 25 visible enabled"

# The viewer's frame is resizable, so its client area follows from the 575 x 320 outer size
# and the frame's metrics; the probe's client line is not compared.
VIEWER_CONTROLS="control 100 Button \"&Cerrar\" 244 264 75 25 visible enabled
control 101 Edit \"\" 2 4 564 253 visible enabled"

e2e_case "the three windows of an interactive run"
qmw_create || exit 1
qmw_copy_in "$QUELMARK" "$PROBE" 'C:\qm'
C="$(qmw_drive_c)/qm"
qmw_xvfb_start || exit 1
probe wait nothing 0  # the prefix's first program starts Wine's services; not timed

started=$(date +%s%N)
qmw_start_bg --x --timeout 300 "$C/Quelmark.exe"
QUELMARK_PID=$QMW_LAST_PID
if probe wait Quelmark 30; then
  ok "main window \"Quelmark\" shown after $((($(date +%s%N) - started) / 1000000)) ms"
else
  not_ok "main window \"Quelmark\" shown"
  e2e_finish
  exit
fi
check_layout Quelmark "$MAIN_LAYOUT"
screenshot Quelmark main_window.png

probe command Quelmark "$CMD_ACERCA"
check "about box opens from the menu" probe wait "Acerca de..." 10
check_layout "Acerca de..." "$ABOUT_LAYOUT"
screenshot "Acerca de..." about_box.png
probe click "Acerca de..." OK
check "OK hides the about box" probe gone "Acerca de..." 10

probe click Quelmark "Comenzar Limpieza"
check "the run ends with the button enabled as \"Mostrar Fichero log\"" \
  wait_for_button "Mostrar Fichero log" 120
screenshot Quelmark main_window_after_run.png
probe dump Quelmark
marks=$(grep -c '^control 1[01][0-9] QuelmarkControl "" 34[01] [0-9]* 17 17 visible' "$QMW_WORK/probe.out")
check_eq "one mark per stage line after the run" 4 "$marks"

probe click Quelmark "Mostrar Fichero log"
check "log viewer opens from the button" probe wait "Fichero Log" 10
probe dump "Fichero Log"
check_eq "log viewer controls" "$VIEWER_CONTROLS" "$(grep '^control' "$QMW_WORK/probe.out")"
probe rect "Fichero Log"
check_eq "log viewer outer size" "575 320" "$(cut -d' ' -f3,4 "$QMW_WORK/probe.out")"
screenshot "Fichero Log" log_viewer.png

probe command Quelmark "$CMD_CERRAR"
qmw_wait_bg "$QUELMARK_PID" 30
check_eq "\"Cerrar\" ends the program with status 0" 0 "$?"

e2e_case "an unattended run ends by itself"
# C:\windows\Temp is "temp" on the unix side of a Wine prefix.
find "$(qmw_drive_c)/windows" -maxdepth 2 -iname Quelmark.log -delete
qmw_run --x --timeout 120 "$C/Quelmark.exe" /CREATELOG
check_eq "/CREATELOG runs, closes the window and exits with status 0" 0 "$?"
LOG=$(find "$(qmw_drive_c)/windows" -maxdepth 2 -iname Quelmark.log | head -n 1)
check "the log file is written" test -s "${LOG:-/nonexistent}"
check "the log file starts with the services header" \
  grep -q "^Sobre los Servicios \.\.\." "$LOG"

e2e_finish
