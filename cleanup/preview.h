// /PREVIEW: what a removal would meet on this machine, written to its own file so that the
// last removal's log stays. Looking changes nothing.
#pragma once

#include <string>
#include <vector>

#include "cleanup/run.h"
#include "cleanup/verify.h"
#include "platform/text.h"

namespace cleanup {

// The line naming the install folder the removal would use and why: read from "DirInstall",
// or the default one because the value is absent or empty, or because the folder read was
// refused as unsafe to empty.
std::string InstallFolderLine(const qm::WString& read, const qm::WString& used);

// The install folder line, then one line per plan item ("  Presente: ", "  Ausente: " or
// "  Presente, se eliminar\xE1 al reiniciar: " and the item's name).
StringList PreviewLines(const std::string& installFolderLine, const std::vector<ItemLook>& items);

// WindowsDir + "\Temp\Quelmark-preview.log".
qm::WString PreviewLogPath(const qm::WString& windowsDir);

}  // namespace cleanup
