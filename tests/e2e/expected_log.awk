# The log a cleanup run writes, derived from what was installed before it.
# Input: the output of "qmstage inventory" taken before the run. Environment: E2E_SVC
# (absent | stopped | removed | pending), E2E_WINDIR, E2E_INSTDIR, E2E_UNDELETABLE (paths of
# files that resist deletion, one a line). Output: the lines, each ending with CR LF.
function line(s) { printf "%s\r\n", s }
function dots(n,   s) { s = ""; while (n-- > 0) s = s "."; return s }
function starts(s, p) { return substr(s, 1, length(p)) == p }

$1 == "key"     { keys[substr($0, 5)] = 1 }
$1 == "value"   { values[substr($0, 7)] = 1 }
$1 == "process" { procs[$2] = 1 }
$1 == "dir"     { dirs[substr($0, 5)] = 1 }
$1 == "file"    { files[++nfiles] = substr($0, 6) }

END {
  svc = ENVIRON["E2E_SVC"]; win = ENVIRON["E2E_WINDIR"]; inst = ENVIRON["E2E_INSTDIR"]
  n = split(ENVIRON["E2E_UNDELETABLE"], u, "\n")
  for (i = 1; i <= n; i++) if (u[i] != "") stuck[u[i]] = 1

  line("Sobre los Servicios " dots(60))
  line(" ")
  if (svc == "absent")  line("  El Servicio TEVSvc no existe en el sistema")
  if (svc == "stopped") line("  El Servicio TEVSvc ya estaba detenido")
  if (svc == "removed") line("  El Servicio TEVSvc se detuvo correctamente")
  if (svc == "pending") line("  El Servicio TEVSvc se est\341 poniendo en pausa")

  line(" "); line("Sobre los Procesos " dots(61)); line(" ")
  np = split("TevTray.exe Tev32.exe TevPT.exe", p, " ")
  for (i = 1; i <= np; i++)
    line(p[i] in procs ? "  El proceso " p[i] " se finaliz\363 correctamente" \
                       : "  El proceso " p[i] " no estaba corriendo")

  line(" "); line("Sobre las llaves del registro " dots(47)); line(" ")
  cr = "HKEY_CLASSES_ROOT\\"; lm = "HKEY_LOCAL_MACHINE\\"; cu = "HKEY_CURRENT_USER\\"
  comp = lm "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Components\\"
  nk = split(cr ".tev121|" cr "TEV.Ftptev|" cr "TEVSvc.TEVDriver|" cr "TEVSvc.TEVDriver.1|" \
             cr "TEVSvc.TEVService|" cr "TEVSvc.TEVService.1|" cr "AppID\\TEVSvc.EXE|" \
             cr "AppID\\{DE2BA9C8-CF2E-41DF-8B64-441C516B64AE}|" \
             cr "CLSID\\{BC322BD5-6359-47D4-9926-363FE6A11024}|" \
             cr "CLSID\\{A222643E-744A-46F8-85FE-02883EC5C2E3}|" \
             cr "Installer\\Features\\8F210CDD687A485458D640B41C4F4941|" \
             cr "Installer\\Products\\8F210CDD687A485458D640B41C4F4941|" \
             cr "TypeLib\\{775D096D-0F0F-45FA-8EE1-4C1FD194910B}|" \
             lm "SYSTEM\\CurrentControlSet\\Services\\TEVF|" \
             lm "SYSTEM\\CurrentControlSet\\Services\\TEVSvc|" \
             lm "SOFTWARE\\Brantivo\\TEV32|" \
             comp "FA4C9C665284CB0F07586926F223D39F|" comp "CEC500401863FAE3B3141340EE74D7CA|" \
             comp "F35F7B606ECDD74316C01C0EECB0ABA9|" comp "ABFEF34D1FD6322B239745856A143AF6|" \
             comp "FE397E005F15B89428AB33A3339762A9|" comp "AC12A43128679B7706AB6151137259AD|" \
             comp "F6342C785996483B5C617F4EC9CAF811|" comp "BFE271322CA029B73D87E92C3331B820|" \
             lm "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData\\S-1-5-18\\Products\\8F210CDD687A485458D640B41C4F4941|" \
             lm "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{DDC012F8-A786-4584-856D-044BC1F49414}|" \
             cu "Software\\Brantivo\\TEV32", k, "|")
  for (i = 1; i <= nk; i++) {
    # The service key goes with the service when the service stage removed it.
    present = (k[i] in keys) && !(svc == "removed" && k[i] ~ /Services\\TEVSvc$/)
    if (present) line("  La llave '" k[i] "' Fue elimidada correctamente...OK")
    else if (i != 14 && i != 15) line("  Error abriendo la llave '" k[i] "'. Llave no encontrada")
  }
  run = lm "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
  dll = lm "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
  nv = split(run " TEV32PP|" run " TEV32PT|" dll " " inst "Tev32.exe|" dll " " inst "TevPT.exe|" \
             dll " " inst "TEVSvc.exe|" dll " " inst "TevTray.exe|" dll " " inst "TevUpdate.exe", v, "|")
  for (i = 1; i <= nv; i++)
    line(v[i] in values ? "  El valor '" v[i] "' Fue elimidado correctamente...OK" \
                        : "  Error eliminando el valor '" v[i] "'. Valor no encontrado")

  line(" "); line("Ficheros Eliminados " dots(57)); line(" ")
  nd = split(inst "|" substr(win, 1, 1) ":\\Documents and Settings\\All Users\\Men\372 Inicio\\Programas\\TEV32 para Windows\\|" \
             win "\\Downloaded Installations\\{FE4F5263-11D5-4724-95BA-A978983B6369}\\|" \
             win "\\Installer\\{DDC012F8-A786-4584-856D-044BC1F49414}\\", d, "|")
  counter = 0
  for (i = 1; i <= nd; i++) {
    if (!(d[i] in dirs)) {
      line("  Error borrando el directorio '" d[i] "'.  Directorio no encontrado...FALLO")
      continue
    }
    held = 0
    for (j = 1; j <= nfiles; j++)
      if (starts(files[j], d[i])) { counter++; if (files[j] in stuck) held = 1 }
    if (counter == 0) line("  No se encontr\363 nungun fichero. El directorio estaba vac\355o.")
    if (held) line("  Error borrando el directorio '" d[i] "'. El directorio no estaba vac\355o...FALLO")
    else line("  El directorio '" d[i] "' fue eliminado correctamente...OK")
  }
  driver = win "\\system32\\drivers\\TEVF.sys"
  have_driver = 0
  for (j = 1; j <= nfiles; j++) if (files[j] == driver) have_driver = 1
  line("  " driver "'..." (have_driver && !(driver in stuck) ? "OK" : "FALLO"))
  for (i = 1; i <= nd; i++)
    for (j = 1; j <= nfiles; j++)
      if (starts(files[j], d[i])) line("  " files[j] " ..." (files[j] in stuck ? "FALLO" : "OK"))
}
