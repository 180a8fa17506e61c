#include "app/help_file.h"

#include "platform/paths.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace {

const char* const kHelpFileName = "Quelmark.hlp";

// The program's own file; empty when it cannot be read.
qm::WString ProgramPath() {
  qm::WString path(MAX_PATH, WCHAR{});
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {  // not cut: the whole path and its zero fitted
      path.resize(length);
      return path;
    }
    path.assign(path.size() * 2, WCHAR{});
  }
}

}  // namespace

std::string HelpFilePath() {
  const qm::WString program = ProgramPath();
  const auto slash = program.find_last_of(qm::kBackslash);
  if (slash == qm::WString::npos) return {};
  const qm::WString file = program.substr(0, slash + 1) + qm::Widen(kHelpFileName);
  return qm::AnsiExactly(file).value_or(std::string());
}
