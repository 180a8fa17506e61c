#include "cleanup/preview.h"

#include "cleanup/install_folder.h"

namespace cleanup {

std::string InstallFolderLine(const qm::WString& read, const qm::WString& used) {
  const std::string line = "  Carpeta de instalaci\xF3n: " + qm::Narrow(used);
  if (read.empty()) return line + " (por omisi\xF3n: DirInstall no existe o est\xE1 vac\xEDo)";
  if (used != read && used != read + WCHAR('\\'))
    return line + " (por omisi\xF3n: la carpeta de DirInstall '" + qm::Narrow(read) +
           "' no es segura)";
  return line + " (le\xED" "da de DirInstall)";
}

namespace {

const char* PresenceText(Presence presence) {
  switch (presence) {
    case Presence::Absent:
      return "  Ausente: ";
    case Presence::GoesAtRestart:
      return "  Presente, se eliminar\xE1 al reiniciar: ";
    case Presence::Present:
      break;
  }
  return "  Presente: ";
}

}  // namespace

StringList PreviewLines(const std::string& installFolderLine, const std::vector<ItemLook>& items) {
  StringList lines{installFolderLine};
  for (const ItemLook& item : items) lines.push_back(PresenceText(item.presence) + item.name);
  return lines;
}

qm::WString PreviewLogPath(const qm::WString& windowsDir) {
  return windowsDir + qm::Widen("\\Temp\\Quelmark-preview.log");
}

}  // namespace cleanup
