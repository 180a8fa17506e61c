// Looking at another process's windows, shared by the test drivers (qmdriver, uiprobe).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace tools {

inline std::string ClassOf(HWND window) {
  char name[256] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

// The window's stored text. For another process's edit boxes use WM_GETTEXT instead:
// GetWindowTextA does not ask them.
inline std::string TextOf(HWND window) {
  int length = ::GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  length = ::GetWindowTextA(window, &text[0], length + 1);
  text.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return text;
}

namespace detail {
struct Search {
  const std::function<bool(HWND)>& matches;
  HWND found;
};
inline BOOL CALLBACK FirstMatch(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  if (!s->matches(window)) return TRUE;
  s->found = window;
  return FALSE;
}
inline BOOL CALLBACK Collect(HWND window, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}
}  // namespace detail

// The first top-level window, in the system's order, that `matches`; null when none does.
inline HWND FindTopLevel(const std::function<bool(HWND)>& matches) {
  detail::Search search{matches, nullptr};
  ::EnumWindows(detail::FirstMatch, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Every descendant window, in the system's order.
inline std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> all;
  ::EnumChildWindows(parent, detail::Collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

}  // namespace tools
