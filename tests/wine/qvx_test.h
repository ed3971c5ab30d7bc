// What every Windows test shares: the registered control created as hosts
// create it, late-bound calls by name, the user's regional settings set the
// way a user sets them, scratch registry keys, and a host window driven with
// real input under Xvfb.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/handles.h"

namespace qvxtest {

using qvx::fw::com_ptr;

inline constexpr wchar_t kProgId[] = L"Quorvex.QuorvexIntl.Internationalization.1";

// The module file under test (Windows path), from the QVX_MODULE variable.
std::wstring ModulePath();
// A file beside the test program.
std::string TestFile(const char* name);

struct ComScope {
  ComScope() { ::CoInitialize(nullptr); }
  ~ComScope() { ::CoUninitialize(); }
};

// A new control through CoCreateInstance by ProgID, as a host creates it.
com_ptr<IDispatch> CreateControl();

// A VARIANT that clears itself.
struct Var {
  VARIANT v;
  Var() { ::VariantInit(&v); }
  Var(const wchar_t* s) : Var() { V_VT(&v) = VT_BSTR; V_BSTR(&v) = s ? ::SysAllocString(s) : nullptr; }
  Var(long n) : Var() { V_VT(&v) = VT_I4; V_I4(&v) = n; }
  Var(short n) : Var() { V_VT(&v) = VT_I2; V_I2(&v) = n; }
  Var(double x) : Var() { V_VT(&v) = VT_R8; V_R8(&v) = x; }
  static Var Bool(bool b) { Var r; V_VT(&r.v) = VT_BOOL; V_BOOL(&r.v) = b ? VARIANT_TRUE : VARIANT_FALSE; return r; }
  Var(Var&& o) noexcept : v(o.v) { ::VariantInit(&o.v); }
  Var(const Var&) = delete;
  ~Var() { ::VariantClear(&v); }
  std::wstring Text() const { return V_VT(&v) == VT_BSTR && V_BSTR(&v) ? V_BSTR(&v) : L"<not a text>"; }
};

// GetIDsOfNames + Invoke(DISPATCH_METHOD); args in declaration order, shallow
// copies of VARIANTs the caller owns. argErr receives Invoke's index.
HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
                   UINT* argErr = nullptr);
// A call expected to succeed, its result as text.
std::wstring CallText(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args);

// One of the user's regional settings as GetLocaleInfoA gives it.
std::string ReadLocale(LCTYPE item);

// The user's number settings, set with SetLocaleInfoA and put back at the end;
// nullptr leaves an item as it is.
struct NumberSettings {
  const char *decimal, *thousand, *negative, *grouping, *digits, *leadingZero;
};
inline constexpr NumberSettings kSpanish = {",", ".", "-", "3;0", "2", "1"};

class ScopedNumberSettings {
 public:
  explicit ScopedNumberSettings(const NumberSettings& s);
  ~ScopedNumberSettings();
  ScopedNumberSettings(const ScopedNumberSettings&) = delete;

 private:
  std::vector<std::pair<LCTYPE, std::string>> saved_;
};

// A registry key that belongs to the test: gone when the scope starts and
// when it ends (the test prefix holds nothing else there).
class ScratchKey {
 public:
  ScratchKey(HKEY root, std::string path, REGSAM view = 0);
  ~ScratchKey();
  ScratchKey(const ScratchKey&) = delete;
  // Sets a value (creating the key); data nullptr deletes the value.
  void Set(const char* name, DWORD type, const void* data, DWORD size) const;
  void SetText(const char* name, const std::string& text) const {
    Set(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }
  // The raw bytes of a value, or "<none>".
  std::string Get(const char* name, REGSAM view) const;
  std::string Get(const char* name) const { return Get(name, view_); }
  const char* path() const { return path_.c_str(); }

 private:
  HKEY root_;
  std::string path_;
  REGSAM view_;
};
void DeleteKeyTree(HKEY root, const std::string& path, REGSAM view);

// A visible main window with an edit box on this thread; WM_CLOSE is counted,
// not obeyed.
class HostWindow {
 public:
  HostWindow();
  ~HostWindow() { ::DestroyWindow(main_); }
  HWND main() const { return main_; }
  void FocusEdit();
  std::wstring TakeEditText();  // and clears it
  int closeRequests = 0;

 private:
  HWND main_ = nullptr, edit_ = nullptr;
};

// Dispatches this thread's messages for ms milliseconds; returns the WM_CHARs seen.
int PumpMessages(DWORD ms);
void SendKey(WORD vk, bool up);
inline void PressKey(WORD vk) { SendKey(vk, false); SendKey(vk, true); }
// A real left click at the centre of a window.
void ClickWindow(HWND window);
// Polls (from another thread) for a visible top-level window; nullptr after ms.
HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD ms);
std::wstring WindowText(HWND window);
// Saves what the screen shows of a window as a 24-bit BMP.
bool SaveWindowImage(HWND window, const char* path);

}  // namespace qvxtest
