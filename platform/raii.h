// The one family of owning handle types. Each type pairs a Windows handle with the function
// that releases it, so no function body releases a handle by hand and every return path
// releases what it obtained.
//
// Contract: a default-constructed or moved-from object holds the type's invalid value and
// releases nothing; reset() releases the held handle (if valid) before taking a new one.
#pragma once

#include <utility>

#include "platform/win32/win32.h"

namespace qm {

template <typename Traits>
class unique_handle {
 public:
  using pointer = typename Traits::type;

  unique_handle() noexcept : h_(Traits::invalid()) {}
  explicit unique_handle(pointer h) noexcept : h_(h) {}
  unique_handle(unique_handle&& other) noexcept : h_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  ~unique_handle() { reset(); }

  pointer get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Traits::invalid(); }

  void reset(pointer h = Traits::invalid()) noexcept {
    pointer old = std::exchange(h_, h);
    if (old != Traits::invalid()) Traits::close(old);
  }
  pointer release() noexcept { return std::exchange(h_, Traits::invalid()); }
  // Releases what is held and hands out the slot for an out-parameter.
  pointer* put() noexcept {
    reset();
    return &h_;
  }

 private:
  pointer h_;
};

namespace traits {
struct RegKey {
  using type = HKEY;
  static type invalid() { return nullptr; }
  static void close(type h) { ::RegCloseKey(h); }
};
struct FindHandle {
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(type h) { ::FindClose(h); }
};
struct KernelHandle {  // process, token: null when absent
  using type = HANDLE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::CloseHandle(h); }
};
struct FileHandle {  // CreateFileA, CreateToolhelp32Snapshot: INVALID_HANDLE_VALUE when absent
  using type = HANDLE;
  static type invalid() { return INVALID_HANDLE_VALUE; }
  static void close(type h) { ::CloseHandle(h); }
};
struct ServiceHandle {  // manager or service handle, opened directly (not through the binding)
  using type = SC_HANDLE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::CloseServiceHandle(h); }
};
struct Library {
  using type = HMODULE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::FreeLibrary(h); }
};
}  // namespace traits

using unique_hkey = unique_handle<traits::RegKey>;
using unique_find = unique_handle<traits::FindHandle>;
using unique_kernel = unique_handle<traits::KernelHandle>;
using unique_file = unique_handle<traits::FileHandle>;
using unique_snapshot = unique_handle<traits::FileHandle>;
using unique_library = unique_handle<traits::Library>;
using unique_service = unique_handle<traits::ServiceHandle>;

}  // namespace qm
