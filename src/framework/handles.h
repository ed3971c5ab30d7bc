// Move-only owners, one per kind of Windows handle. Each closes its handle on
// destruction and leaves GetLastError() as it found it, so an owner going out
// of scope on an error path does not hide the error being reported.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wininet.h>

#include <utility>

namespace qvx::fw {

template <typename T, T Invalid, void (*Close)(T)>
class unique_handle {
 public:
  unique_handle() noexcept = default;
  explicit unique_handle(T h) noexcept : h_(h) {}
  unique_handle(unique_handle&& o) noexcept : h_(o.release()) {}
  unique_handle& operator=(unique_handle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  ~unique_handle() { reset(); }

  T get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != Invalid; }
  T release() noexcept { return std::exchange(h_, Invalid); }
  void reset(T h = Invalid) noexcept {
    T old = std::exchange(h_, h);
    if (old != Invalid) {
      DWORD err = ::GetLastError();
      Close(old);
      ::SetLastError(err);
    }
  }
  // For out-parameters: frees the current handle and hands out its slot.
  T* put() noexcept {
    reset();
    return &h_;
  }

 private:
  T h_ = Invalid;
};

namespace detail {
inline void close_hkey(HKEY h) { ::RegCloseKey(h); }
inline void free_library(HMODULE h) { ::FreeLibrary(h); }
inline void unhook(HHOOK h) { ::UnhookWindowsHookEx(h); }
inline void free_bstr(BSTR b) { ::SysFreeString(b); }
inline void delete_gdi(HGDIOBJ h) { ::DeleteObject(h); }
inline void destroy_icon(HICON h) { ::DestroyIcon(h); }
inline void destroy_window(HWND h) { ::DestroyWindow(h); }
inline void close_handle(HANDLE h) { ::CloseHandle(h); }
inline void close_internet(HINTERNET h) { ::InternetCloseHandle(h); }
}  // namespace detail

using unique_hkey = unique_handle<HKEY, nullptr, detail::close_hkey>;
using unique_hmodule = unique_handle<HMODULE, nullptr, detail::free_library>;
using unique_hhook = unique_handle<HHOOK, nullptr, detail::unhook>;
using unique_bstr = unique_handle<BSTR, nullptr, detail::free_bstr>;
using unique_hgdiobj = unique_handle<HGDIOBJ, nullptr, detail::delete_gdi>;
using unique_hicon = unique_handle<HICON, nullptr, detail::destroy_icon>;
using unique_hwnd = unique_handle<HWND, nullptr, detail::destroy_window>;
using unique_handle_kernel = unique_handle<HANDLE, nullptr, detail::close_handle>;
using unique_hinternet = unique_handle<HINTERNET, nullptr, detail::close_internet>;

// Owner of a COM interface pointer; releases it on destruction.
template <typename I>
class com_ptr {
 public:
  com_ptr() noexcept = default;
  explicit com_ptr(I* p) noexcept : p_(p) {}  // takes ownership of one reference
  com_ptr(com_ptr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  com_ptr& operator=(com_ptr&& o) noexcept {
    if (this != &o) reset(std::exchange(o.p_, nullptr));
    return *this;
  }
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  ~com_ptr() { reset(); }

  I* get() const noexcept { return p_; }
  I* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset(I* p = nullptr) noexcept {
    if (I* old = std::exchange(p_, p)) old->Release();
  }
  I** put() noexcept {
    reset();
    return &p_;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

 private:
  I* p_ = nullptr;
};

}  // namespace qvx::fw
