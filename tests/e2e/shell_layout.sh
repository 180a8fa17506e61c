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

e2e_begin PROBE=tools/uiprobe/uiprobe.exe
SHOTS="$QM_E2E_ARTIFACTS/shell_layout"
mkdir -p "$SHOTS"

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

# check_owned CAPTION: the secondary window is owned by the main window, and the program
# still shows one task-bar entry, the main window's.
check_owned() {
  probe owner "$1"
  check_eq "\"$1\" is owned by the main window" '"Quelmark"' "$(cat "$QMW_WORK/probe.out")"
  probe taskbar "$1"
  check_eq "one task-bar entry while \"$1\" shows" '"Quelmark"' "$(cat "$QMW_WORK/probe.out")"
}

# Specified widths of the labels, which size themselves to their text: "WINDOW ID WIDTH FONT"
# (FONT is the probe's column: 1 = 11 px, 2 = 11 px bold, 3 = 13 px bold).
LABEL_WIDTHS="Quelmark 100 205 3
Quelmark 103 163 1
Quelmark 104 102 1
Quelmark 105 101 1
Quelmark 106 94 1
Acerca de... 102 46 1
Acerca de... 103 56 1
Acerca de... 104 209 1
Acerca de... 105 171 2
Acerca de... 106 31 1
Acerca de... 107 117 1"

# check_captions_fit CAPTION: Wine draws "MS Sans Serif" with its own font of that name, and
# every caption's text fits its control: a button's inside its face, a label's in the width
# the layout gives it. Measured widths are printed either way.
check_captions_fit() {
  local id text face w1 w2 w3 cw ch width font have bad=""
  probe fit "$1" || { not_ok "captions of \"$1\" measured"; return 1; }
  while IFS=$'\t' read -r id text face w1 w2 w3 cw ch; do
    echo "    $1 control $id \"$text\": $w1 / $w2 / $w3 px in \"$face\", control $cw x $ch"
    [ "$face" = "MS Sans Serif" ] || bad="$bad $id:face=$face"
    read -r width font < <(awk -v w="$1" -v i="$id" '{ n = NF; if ($(n - 2) == i) {
      name = $1; for (k = 2; k <= n - 3; k++) name = name " " $k; if (name == w) print $(n - 1), $n } }' \
      <<<"$LABEL_WIDTHS")
    if [ -n "${width:-}" ]; then
      have=$(eval echo "\$w$font")
      [ "$have" -le "$width" ] || bad="$bad $id:$have>$width"
    else  # a button: the text within the face, inside the 3-pixel edges
      [ "$w1" -le $((cw - 6)) ] || bad="$bad $id:$w1>$((cw - 6))"
    fi
  done < <(LC_ALL=C sed -nE 's/^fit ([0-9]+) "(.*)" "(.*)" ([0-9]+) ([0-9]+) ([0-9]+) ([0-9]+) ([0-9]+)$/\1\t\2\t\3\t\4\t\5\t\6\t\7\t\8/p' "$QMW_WORK/probe.out")
  if [ -z "$bad" ]; then ok "captions of \"$1\" fit in Wine's MS Sans Serif"; else
    not_ok "captions of \"$1\" fit in Wine's MS Sans Serif:$bad"; fi
}

e2e_case "the three windows of an interactive run"
qmw_create || exit 1
qmw_copy_in "$E2E_QUELMARK" "$PROBE" 'C:\qm'
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
check_captions_fit Quelmark
screenshot Quelmark main_window.png

probe command Quelmark "$CMD_ACERCA"
check "about box opens from the menu" probe wait "Acerca de..." 10
check_layout "Acerca de..." "$ABOUT_LAYOUT"
check_owned "Acerca de..."
check_captions_fit "Acerca de..."
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
check_owned "Fichero Log"
check_captions_fit "Fichero Log"
# A log line wider than the box wraps at its width; the box has no horizontal scrolling.
probe wrap "Fichero Log" 300
read -r _ lines _ hscroll <"$QMW_WORK/probe.out"
check "a 300-character line wraps onto several lines of the box (${lines:-?})" test "${lines:-0}" -gt 1
check_eq "the log viewer has no horizontal scrolling" no "${hscroll:-}"
screenshot "Fichero Log" log_viewer_long_line.png

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
