#!/usr/bin/env bash
# The same run on another ANSI code page: the product is staged as usual (Windows-1252), then
# " /CREATELOG" runs under the unix locale ru_RU.UTF-8, which gives Wine's processes code page
# 1251. The program's own texts are Windows-1252 whatever the code page: the start-menu folder
# "Menú Inicio" is found and emptied like every other, and the log holds, byte for byte, the
# lines a run under 1252 writes.
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

E2E_CYRILLIC=ru_RU.UTF-8

e2e_case "full installation, /CREATELOG under code page 1251"
# Without the generated unix locale Wine still reads 1251 but misreads accented file names.
if ! check "the unix locale $E2E_CYRILLIC is generated (scripts/setup.sh)" \
  sh -c 'locale -a | grep -qix "ru_RU\.utf-\?8"'; then
  e2e_finish
  exit
fi
e2e_prefix
install_full --service running || exit 1
before_run RUNNING
LC_ALL=$E2E_CYRILLIC stage codepage
check_eq "the program's code page under $E2E_CYRILLIC" 1251 "$(tr -d '\r\n' <"$E2E_OUT/stage.out")"
LC_ALL=$E2E_CYRILLIC quelmark /CREATELOG
check_removed

e2e_finish
