// The file-system view of a 32-bit program on 64-bit Windows.
//
// There, a path a 32-bit program names below "%windir%\System32" (drivers included) leads to
// %windir%\SysWOW64, the 32-bit system files, unless the calling thread has turned this
// redirection off. A kernel driver's file lives in the real System32\drivers whatever the
// bitness of the program that installed it, so an operation on it is made with the
// redirection off, and only that operation: the setting belongs to the thread and also
// decides which system libraries the thread would load meanwhile.
//
// Wow64DisableWow64FsRedirection and Wow64RevertWow64FsRedirection are bound at run time from
// kernel32, which is mapped into every process: GetModuleHandleW loads nothing and searches no
// folder. Where they are missing (32-bit Windows 2000 and XP) or refuse (32-bit Windows, a
// 64-bit program) nothing changes, as there is then no redirection to turn off.
#pragma once

#include "platform/bind.h"
#include "platform/win32/win32.h"

namespace qm {

// Turns the calling thread's file-system redirection off for the object's lifetime and
// restores the thread's previous setting when it goes.
class FsRedirectionOff {
 public:
  FsRedirectionOff() noexcept {
    const HMODULE kernel32 = ::GetModuleHandleW(Kernel32Name());
    if (kernel32 == nullptr) return;
    const auto disable = BindExport<DisableFn>(kernel32, "Wow64DisableWow64FsRedirection");
    const auto revert = BindExport<RevertFn>(kernel32, "Wow64RevertWow64FsRedirection");
    if (disable == nullptr || revert == nullptr) return;
    const DWORD error = ::GetLastError();  // the caller's, kept across a refusal
    if (disable(&previous_)) {
      revert_ = revert;
    } else {
      ::SetLastError(error);
    }
  }
  ~FsRedirectionOff() {
    if (revert_ == nullptr) return;
    const DWORD error = ::GetLastError();  // the guarded operation's outcome stays readable
    revert_(previous_);
    ::SetLastError(error);
  }
  FsRedirectionOff(const FsRedirectionOff&) = delete;
  FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;

 private:
  using DisableFn = BOOL(WINAPI*)(PVOID*);
  using RevertFn = BOOL(WINAPI*)(PVOID);

  static const WCHAR* Kernel32Name() {
    static const WCHAR name[] = {'k', 'e', 'r', 'n', 'e', 'l', '3', '2', '.', 'd', 'l', 'l', 0};
    return name;
  }

  PVOID previous_ = nullptr;
  RevertFn revert_ = nullptr;  // set only while the redirection is off
};

// `operation()` made with the file-system redirection off; its result, with the thread's
// setting restored and the operation's last error kept.
template <typename Operation>
auto WithoutFsRedirection(Operation operation) -> decltype(operation()) {
  const FsRedirectionOff off;
  return operation();
}

}  // namespace qm
