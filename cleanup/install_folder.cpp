#include "cleanup/install_folder.h"

#include <algorithm>
#include <vector>

#include "cleanup/plan.h"

namespace cleanup {
namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string WithoutTrailingBackslash(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

// The components after "X:\", split at backslashes; one trailing backslash is allowed.
std::vector<std::string> Components(const std::string& folder) {
  std::string rest = folder.substr(3);
  if (!rest.empty() && rest.back() == '\\') rest.pop_back();
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    const auto end = rest.find('\\', start);
    parts.push_back(rest.substr(start, end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool IsPlainName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.back() == '.' || name.back() == ' ') return false;  // Windows strips them
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) return false;
    if (std::string("*?/:<>\"|~").find(c) != std::string::npos) return false;
  }
  return true;
}

bool IsWellKnownRootFolder(const std::string& name) {
  // A Spanish-language system names Program Files "Archivos de programa".
  static const char* const names[] = {"PROGRAM FILES",
                                      "PROGRAM FILES (X86)",
                                      "ARCHIVOS DE PROGRAMA",
                                      "ARCHIVOS DE PROGRAMA (X86)",
                                      "DOCUMENTS AND SETTINGS",
                                      "USERS",
                                      "PROGRAMDATA",
                                      "WINDOWS",
                                      "WINNT"};
  const std::string upper = Upper(name);
  return std::any_of(std::begin(names), std::end(names), [&](const char* n) { return upper == n; });
}

// `inner` equals `outer` or lies below it; both without trailing backslash, upper case.
bool IsSameOrBelow(const std::string& inner, const std::string& outer) {
  if (inner.size() < outer.size() || inner.compare(0, outer.size(), outer) != 0) return false;
  return inner.size() == outer.size() || inner[outer.size()] == '\\';
}

bool TouchesWindowsDir(const std::string& folder, const std::string& windowsDir) {
  const std::string candidate = Upper(WithoutTrailingBackslash(folder));
  const std::string windows = Upper(WithoutTrailingBackslash(windowsDir));
  if (windows.empty()) return false;
  return IsSameOrBelow(candidate, windows) || IsSameOrBelow(windows, candidate);
}

}  // namespace

bool IsSafeInstallDir(const std::string& folder, const std::string& windowsDir) {
  if (folder.size() < 4 || !IsLetter(folder[0]) || folder[1] != ':' || folder[2] != '\\')
    return false;
  const std::vector<std::string> parts = Components(folder);
  if (!std::all_of(parts.begin(), parts.end(), IsPlainName)) return false;
  if (parts.size() == 1 && IsWellKnownRootFolder(parts[0])) return false;
  return !TouchesWindowsDir(folder, windowsDir);
}

std::string CheckedInstallDir(const std::string& read, const std::string& windowsDir) {
  if (!IsSafeInstallDir(read, windowsDir)) return DefaultInstallDir;
  return read.back() == '\\' ? read : read + '\\';
}

}  // namespace cleanup
