// Owners of Win32 handles: each closes its handle once, with the function
// that handle needs, when it goes out of scope. Move-only.
#pragma once

#ifdef _WIN32
#include <windows.h>

#include <utility>

namespace quillane {

// `Traits` says which value owns nothing and how an owned value is closed.
template <typename Handle, typename Traits>
class UniqueResource {
 public:
  UniqueResource() = default;
  explicit UniqueResource(Handle handle) : handle_(handle) {}
  ~UniqueResource() { reset(); }
  UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return Traits::Owns(handle_); }
  // Gives the handle up without closing it.
  Handle release() { return std::exchange(handle_, Traits::None()); }
  void reset(Handle handle = Traits::None()) {
    if (Traits::Owns(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::None();
};

// Kernel objects (files, processes, threads, events, snapshots, mutexes):
// both null and INVALID_HANDLE_VALUE own nothing.
struct KernelHandleTraits {
  static HANDLE None() { return nullptr; }
  static bool Owns(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
using UniqueHandle = UniqueResource<HANDLE, KernelHandleTraits>;

// Searches of FindFirstFileW.
struct FindHandleTraits {
  static HANDLE None() { return INVALID_HANDLE_VALUE; }
  static bool Owns(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
using UniqueFind = UniqueResource<HANDLE, FindHandleTraits>;

// Handles for which null owns nothing, closed with `Closer`.
template <typename Handle, auto Closer>
struct NullMeansNoneTraits {
  static Handle None() { return nullptr; }
  static bool Owns(Handle h) { return h != nullptr; }
  static void Close(Handle h) { Closer(h); }
};
template <typename Handle, auto Closer>
using UniqueNullable = UniqueResource<Handle, NullMeansNoneTraits<Handle, Closer>>;

// GDI objects: fonts, bitmaps, brushes; memory device contexts.
using UniqueFont = UniqueNullable<HFONT, &DeleteObject>;
using UniqueBitmap = UniqueNullable<HBITMAP, &DeleteObject>;
using UniqueBrush = UniqueNullable<HBRUSH, &DeleteObject>;
using UniqueMemoryDc = UniqueNullable<HDC, &DeleteDC>;

// A window's device context of GetDC, given back to its window.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  ~WindowDc() {
    if (dc_) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// Argument lists of CommandLineToArgvW (LocalAlloc memory).
using UniqueArgv = UniqueNullable<wchar_t**, &LocalFree>;

}  // namespace quillane

#endif
