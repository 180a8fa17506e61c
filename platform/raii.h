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
struct Sid {  // AllocateAndInitializeSid
  using type = PSID;
  static type invalid() { return nullptr; }
  static void close(type h) { ::FreeSid(h); }
};
struct LocalMemory {  // a block the system allocated for the caller (GetSecurityInfo)
  using type = PSECURITY_DESCRIPTOR;
  static type invalid() { return nullptr; }
  static void close(type h) { ::LocalFree(static_cast<HLOCAL>(h)); }
};
struct Library {
  using type = HMODULE;
  static type invalid() { return nullptr; }
  static void close(type h) { ::FreeLibrary(h); }
};
#ifdef _WIN32  // windows and GDI: the toolkit's win32 backend (the sim has no GDI)
struct Window {
  using type = HWND;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DestroyWindow(h); }
};
struct GdiObject {  // font, brush, bitmap
  using type = HGDIOBJ;
  static type invalid() { return nullptr; }
  static void close(type h) { ::DeleteObject(h); }
};
// A device context is released with the window it came from, so the held value is a pair;
// it is valid when it holds a context (the window is null for the screen's).
struct DcOf {
  HWND window;
  HDC dc;
  bool operator==(const DcOf& o) const { return dc == o.dc; }
  bool operator!=(const DcOf& o) const { return !(*this == o); }
};
struct WindowDc {  // GetDC
  using type = DcOf;
  static type invalid() { return {nullptr, nullptr}; }
  static void close(type h) { ::ReleaseDC(h.window, h.dc); }
};
struct PaintDc {  // BeginPaint: EndPaint needs the same PAINTSTRUCT
  struct type : DcOf {
    PAINTSTRUCT ps;
  };
  static type invalid() { return {}; }
  static void close(const type& h) { ::EndPaint(h.window, &h.ps); }
};
#endif
}  // namespace traits

using unique_hkey = unique_handle<traits::RegKey>;
using unique_find = unique_handle<traits::FindHandle>;
using unique_kernel = unique_handle<traits::KernelHandle>;
using unique_file = unique_handle<traits::FileHandle>;
using unique_snapshot = unique_handle<traits::FileHandle>;
using unique_library = unique_handle<traits::Library>;
using unique_service = unique_handle<traits::ServiceHandle>;
using unique_sid = unique_handle<traits::Sid>;
using unique_local = unique_handle<traits::LocalMemory>;
#ifdef _WIN32
using unique_window = unique_handle<traits::Window>;
using unique_gdi = unique_handle<traits::GdiObject>;
using unique_window_dc = unique_handle<traits::WindowDc>;
using unique_paint_dc = unique_handle<traits::PaintDc>;

// GetDC(window) as an owned context (its dc is null when the call failed).
inline unique_window_dc GetWindowDc(HWND window) {
  return unique_window_dc(traits::DcOf{window, ::GetDC(window)});
}
// BeginPaint(window) as an owned context; EndPaint runs when it goes.
inline unique_paint_dc BeginPaintDc(HWND window) {
  traits::PaintDc::type p{};
  p.window = window;
  p.dc = ::BeginPaint(window, &p.ps);
  return unique_paint_dc(p);
}

// Selects an object into a context and selects the previous one back when it goes, before
// the object itself may be deleted. Declared after the object's owner, it goes first.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (old_ != nullptr) ::SelectObject(dc_, old_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};
#endif

}  // namespace qm
