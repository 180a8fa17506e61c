// psapi.dll as a user could plant it beside a program: the moment any process loads it, its
// entry point creates "planted-ran.txt" in the library's own folder. It exports nothing.
#include "platform/paths.h"
#include "platform/raii.h"
#include "platform/text.h"
#include "platform/win32/win32.h"

namespace {

// The marker's path: the library's folder and the marker's name; empty when unreadable.
qm::WString MarkerPath(HINSTANCE self) {
  qm::WString path(MAX_PATH, WCHAR{});
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(self, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.assign(path.size() * 2, WCHAR{});
  }
  const auto slash = path.find_last_of(qm::kBackslash);
  if (slash == qm::WString::npos) return {};
  return path.substr(0, slash + 1) + qm::Widen("planted-ran.txt");
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  const qm::WString marker = MarkerPath(self);
  if (marker.empty()) return TRUE;
  const qm::unique_file created(::CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return TRUE;
}
