// Reparse data of the simulated file system's links: what FSCTL_GET_REPARSE_POINT hands out
// on a handle opened on a link itself, in the REPARSE_DATA_BUFFER layout of Windows.
//
// Contracts kept from Windows:
// - a handle on anything but a reparse point (a plain file or folder, or a link followed to
//   its target because the open lacked FILE_FLAG_OPEN_REPARSE_POINT) answers 4390;
// - an output buffer smaller than the 8-byte header answers 122; one smaller than the data
//   receives what fits and answers 234;
// - the control code asks for no access right (FILE_ANY_ACCESS): any handle may read.
#include <algorithm>
#include <cstring>

#include "platform/sim/state.h"

namespace sim {
namespace {

constexpr size_t kHeaderBytes = 8;
constexpr DWORD kSymlinkRelative = 1;  // SYMLINK_FLAG_RELATIVE

void PutUnits(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void PutName(std::string& out, const std::u16string& name) {
  for (const char16_t c : name) PutUnits(out, c, 2);
  PutUnits(out, 0, 2);
}

// The data a link reports: what a test set, else a junction's to where it leads.
std::string DataOf(const FsNode& node) {
  if (!node.reparseData.empty()) return node.reparseData;
  return ReparseBytes(IO_REPARSE_TAG_MOUNT_POINT, u"\\??\\" + node.linkTarget, node.linkTarget);
}

std::shared_ptr<FsNode> LinkAt(Machine& m, const std::u16string& path) {
  auto node = FileAt(m.state(), path, false);
  return node && node->IsLink() ? node : nullptr;
}

// The folder part of `path` (without its last name and the backslash before it).
std::u16string FolderOf(const std::u16string& path) {
  const size_t slash = path.find_last_of(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

}  // namespace

std::string ReparseBytes(DWORD tag, const std::u16string& substituteName,
                         const std::u16string& printName, DWORD flags) {
  const bool symlink = tag == IO_REPARSE_TAG_SYMLINK;
  const uint32_t substituteBytes = static_cast<uint32_t>(substituteName.size() * 2);
  const uint32_t printBytes = static_cast<uint32_t>(printName.size() * 2);
  const uint32_t substituteAt = symlink ? printBytes + 2 : 0;
  const uint32_t printAt = symlink ? 0 : substituteBytes + 2;
  std::string names;
  if (symlink) PutName(names, printName);
  PutName(names, substituteName);
  if (!symlink) PutName(names, printName);
  std::string fields;
  PutUnits(fields, substituteAt, 2);
  PutUnits(fields, substituteBytes, 2);
  PutUnits(fields, printAt, 2);
  PutUnits(fields, printBytes, 2);
  if (symlink) PutUnits(fields, flags, 4);
  std::string out;
  PutUnits(out, tag, 4);
  PutUnits(out, static_cast<uint32_t>(fields.size() + names.size()), 2);
  PutUnits(out, 0, 2);  // Reserved
  return out + fields + names;
}

void Machine::MakeSymbolicLinkW(const std::u16string& path, const std::u16string& target,
                                bool relative, bool directory) {
  std::u16string leadsTo = target;
  if (relative)
    leadsTo = !target.empty() && target[0] == u'\\' ? path.substr(0, 2) + target
                                                    : FolderOf(path) + u"\\" + target;
  MakeLinkW(path, leadsTo, directory);
  auto link = LinkAt(*this, path);
  if (!link) return;
  link->reparseData = relative
                          ? ReparseBytes(IO_REPARSE_TAG_SYMLINK, target, target, kSymlinkRelative)
                          : ReparseBytes(IO_REPARSE_TAG_SYMLINK, u"\\??\\" + target, target);
}

void Machine::SetReparseData(const std::u16string& path, const std::string& bytes) {
  if (auto link = LinkAt(*this, path)) link->reparseData = bytes;
}

void Machine::FailReparseRead(const std::u16string& path, DWORD error) {
  if (auto link = LinkAt(*this, path)) link->reparseReadError = error;
}

}  // namespace sim

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID, DWORD,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED) {
  if (lpBytesReturned != nullptr) *lpBytesReturned = 0;
  auto& kernel = sim::Machine::current().state().kernel;
  const auto it = kernel.find(reinterpret_cast<uintptr_t>(hDevice));
  if (it == kernel.end() || it->second.kind != sim::KernelKind::File)
    return sim::Fail(ERROR_INVALID_HANDLE, FALSE);
  if (dwIoControlCode != FSCTL_GET_REPARSE_POINT) return sim::Fail(ERROR_INVALID_FUNCTION, FALSE);
  const sim::FsNode& node = *it->second.file;
  if (!node.IsLink()) return sim::Fail(ERROR_NOT_A_REPARSE_POINT, FALSE);
  if (node.reparseReadError != 0) return sim::Fail(node.reparseReadError, FALSE);
  if (lpOutBuffer == nullptr || nOutBufferSize < sim::kHeaderBytes)
    return sim::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  const std::string data = sim::DataOf(node);
  const size_t copied = std::min<size_t>(data.size(), nOutBufferSize);
  std::memcpy(lpOutBuffer, data.data(), copied);
  if (lpBytesReturned != nullptr) *lpBytesReturned = static_cast<DWORD>(copied);
  if (copied < data.size()) return sim::Fail(ERROR_MORE_DATA, FALSE);
  SetLastError(0);
  return TRUE;
}
