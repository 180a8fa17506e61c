#!/usr/bin/env bash
# The staging tool itself: what it installs is what the scenarios rely on, and its digest
# notices a bystander that changed (a blind digest would let every scenario pass).
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

e2e_case "staged installation and its inventory"
e2e_prefix
install_full --service running --hold || exit 1
stage_to "$E2E_OUT/inventory" inventory
check_staged "$E2E_OUT/inventory" RUNNING
for p in TevTray.exe Tev32.exe TevPT.exe; do
  check "the process list shows $p" grep -q -a -x "process $p 1" "$E2E_OUT/inventory"
done
drive=$(qmw_drive_c)
check "the product file is held open (deleting it fails)" \
  not rm_by_wine 'C:\Program Files\Brantivo\Tev32\Datos\firmas.dat'
check "read-only, hidden and system files are staged" \
  attrib_has 'C:\Program Files\Brantivo\Tev32\Datos\Cuarentena\indice.idx' 'S  HR'
check "the start menu folder carries 0xFA in Windows-1252" \
  grep -q -a -F "$(printf 'Men\xFA Inicio')" "$E2E_OUT/inventory"
check "the driver file is staged" test -f "$drive/windows/system32/drivers/TEVF.sys"

e2e_case "the digest notices changed bystanders"
stage_to "$E2E_OUT/digest.before" digest
check "every bystander is there" not grep -q -a -E ' missing$| 0$' "$E2E_OUT/digest.before"
qmw_wine reg add 'HKLM\SOFTWARE\Brantivo\TEV32Old\Detalle' /v Nuevo /d x /f >/dev/null 2>&1
qmw_wine reg delete 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v OtroPrograma /f \
  >/dev/null 2>&1
qmw_wine cmd /c attrib -h 'C:\Program Files\Brantivo\Tev32Old\Datos\Cuarentena\muestra.q' \
  >/dev/null 2>&1
stage_to "$E2E_OUT/digest.after" digest
changed=$(diff "$E2E_OUT/digest.before" "$E2E_OUT/digest.after" | grep -c '^>')
check_eq "three digest lines changed" 3 "$changed"
check "the changed key tree is named" grep -q -a 'Brantivo\\TEV32Old [0-9a-f]' <(
  diff "$E2E_OUT/digest.before" "$E2E_OUT/digest.after" | grep '^>')
check "the deleted value shows as missing" grep -q -a 'Run OtroPrograma missing' "$E2E_OUT/digest.after"

e2e_finish
