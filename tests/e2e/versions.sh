#!/usr/bin/env bash
# The Windows versions the README names: Wine set to report Windows 2000, XP and Server 2003
# (HKCU\Software\Wine, value Version) in a 32-bit prefix, and the shipped program's full and
# absent product runs under each. What the program does by version runs here: the instance
# mutex in the Global\ name space (every NT 5 system), the shell folders from shell32's
# SHGetFolderPathW and the profiles folder from the ProfileList. Wine's shell32 always exports
# SHGetFolderPathW and its profiles folder is C:\users whatever the version, so the shfolder.dll
# fallback, "Documents and Settings" and NT 4's name without Global\ are the sim's to cover.
set -uo pipefail
# shellcheck source=tests/e2e/lib.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib.bash"
e2e_begin

# reported VERSION: what Wine tells the prefix's programs, as cmd's "ver" prints it.
reported() {
  qmw_wine cmd /c ver >"$E2E_OUT/ver.txt" 2>/dev/null
  tr -d '\r' <"$E2E_OUT/ver.txt" | grep -v '^$'
}

# One prefix per version: the second run finds the product the first one removed.
for entry in win2k:5.0.2195 winxp:5.1.2600 win2003:5.2.3790; do
  version=${entry%%:*} number=${entry#*:}
  e2e_case "Windows $version: full installation, /CREATELOG"
  e2e_prefix --version "$version"
  check_eq "Wine reports $version" "Microsoft Windows $number" "$(reported)"
  full_createlog_run || exit 1

  e2e_case "Windows $version: product absent (run again), /CREATELOG"
  absent_createlog_run --again
done

e2e_finish
