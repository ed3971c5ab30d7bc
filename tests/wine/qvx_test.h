// What the Windows tests share: the registered control, calls by name, regional settings, scratch keys, real input.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/handles.h"

namespace qvxtest {

using qvx::fw::com_ptr;

inline constexpr wchar_t kProgId[] = L"Quorvex.QuorvexIntl.Internationalization.1";

std::wstring ModulePath();  // the module under test, from QVX_MODULE
std::string TestFile(const char* name);  // a file beside the test program

struct ComScope {
  ComScope() { ::CoInitialize(nullptr); }
  ~ComScope() { ::CoUninitialize(); }
};

// A new control through CoCreateInstance by ProgID.
com_ptr<IDispatch> CreateControl();

// A VARIANT that clears itself.
struct Var {
  VARIANT v;
  Var() { ::VariantInit(&v); }
  Var(const wchar_t* s) : Var() { V_VT(&v) = VT_BSTR, V_BSTR(&v) = ::SysAllocString(s); }
  Var(long n) : Var() { V_VT(&v) = VT_I4, V_I4(&v) = n; }
  Var(short n) : Var() { V_VT(&v) = VT_I2, V_I2(&v) = n; }
  Var(double x) : Var() { V_VT(&v) = VT_R8, V_R8(&v) = x; }
  static Var Bool(bool b) {
    Var r;
    V_VT(&r.v) = VT_BOOL, V_BOOL(&r.v) = b ? VARIANT_TRUE : VARIANT_FALSE;
    return r;
  }
  Var(Var&& o) noexcept : v(o.v) { ::VariantInit(&o.v); }
  ~Var() { ::VariantClear(&v); }
  std::wstring Text() const { return V_VT(&v) == VT_BSTR && V_BSTR(&v) ? V_BSTR(&v) : L"<not a text>"; }
};

// GetIDsOfNames + Invoke(DISPATCH_METHOD), args in declaration order; argErr receives Invoke's index.
HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
                   UINT* argErr = nullptr);
std::wstring CallText(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args);

// Watches the task allocator (BSTRs come from it): how many blocks allocated since are alive.
struct AllocSpy final : IMallocSpy {
  long live = 0;
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override { return *ppv = this, S_OK; }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
  STDMETHODIMP_(void*) PostAlloc(void* p) override { return live += p != nullptr, p; }
  STDMETHODIMP_(void*) PreFree(void* p, BOOL spied) override { return live -= p && spied, p; }
  STDMETHODIMP_(void) PostFree(BOOL) override {}
  STDMETHODIMP_(SIZE_T) PreRealloc(void* p, SIZE_T size, void** out, BOOL) override { return *out = p, size; }
  STDMETHODIMP_(void*) PostRealloc(void* p, BOOL) override { return p; }
  STDMETHODIMP_(void*) PreGetSize(void* p, BOOL) override { return p; }
  STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
  STDMETHODIMP_(void*) PreDidAlloc(void* p, BOOL) override { return p; }
  STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  STDMETHODIMP_(void) PreHeapMinimize() override {}
  STDMETHODIMP_(void) PostHeapMinimize() override {}
};
// Switches oleaut32's BSTR cache off and registers the one spy afresh; nullptr when either fails.
AllocSpy* StartAllocSpy();

std::string ReadLocale(LCTYPE item);

// The user's number settings, set with SetLocaleInfoA and put back at the end; nullptr leaves an item.
struct NumberSettings {
  const char *decimal = nullptr, *thousand = nullptr, *negative = nullptr, *grouping = nullptr, *digits = nullptr,
             *leadingZero = nullptr;
};
inline constexpr NumberSettings kSpanish = {",", ".", "-", "3;0", "2", "1"};

class ScopedNumberSettings {
 public:
  explicit ScopedNumberSettings(const NumberSettings& s);
  ~ScopedNumberSettings();

 private:
  std::vector<std::pair<LCTYPE, std::string>> saved_;
};

// A registry key of the test's own: deleted when the scope starts and ends.
class ScratchKey {
 public:
  ScratchKey(HKEY root, std::string path, REGSAM view = 0);
  ~ScratchKey();
  // Sets a value, creating the key; data nullptr deletes the value.
  void Set(const char* name, DWORD type, const void* data, size_t size) const;
  void SetText(const char* name, const std::string& text) const { Set(name, REG_SZ, text.c_str(), text.size() + 1); }
  // Denies everyone the given access to the key (Wine enforces access lists); 0 gives it back.
  void Deny(DWORD access) const;
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

// Wine's own ATL container: its window class registered (once), and the control of an AtlAxWin window.
bool AtlReady();
com_ptr<IDispatch> AtlControl(HWND ax);

// A host's main window, its bar two popups (Archivo, Ver) and a plain command, and a frame below it
// holding the control in an AtlAxWin, settled for settle ms.
struct AtlHost {
  explicit AtlHost(DWORD settle = 300);
  ~AtlHost();  // the control first: the last one takes the hooks with it
  HWND Embed(DWORD settle);  // another AtlAxWin in the frame
  qvx::fw::unique_hwnd main, frame;
  HWND ax = nullptr;
};

// Dispatches this thread's messages for ms milliseconds; returns the WM_CHARs seen.
int PumpMessages(DWORD ms);
void SendKey(WORD vk, bool up);
inline void PressKey(WORD vk) { SendKey(vk, false), SendKey(vk, true); }
// Polls (from another thread) for a visible top-level window; nullptr after ms.
HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD ms);
std::wstring WindowText(HWND window);
// A message box as "[icon]text": [x] error, [i] information, [!] warning.
std::wstring MessageBoxText(HWND box);
// A visible dialog of that title (FindWindow alone may find one going away).
HWND ShownDialog(const wchar_t* title);
// Polls test() every 20 ms until it holds or ms have passed.
template <typename Test>
bool WaitUntil(Test test, DWORD ms = 20000) {
  for (const DWORD start = ::GetTickCount(); !test(); ::Sleep(20))
    if (::GetTickCount() - start > ms) return false;
  return true;
}
// Runs call() while another thread hands the visible dialog titled title to user(); a dialog left open
// 1.5 s after (or whatever came instead) is ended with close. Returns "", "[no dialog]" or "[still open]".
std::string WithDialog(const wchar_t* title, const std::function<void()>& call,
                       const std::function<void(HWND)>& user, WPARAM close = IDCANCEL, DWORD ms = 30000);

// The servers tools/update-servers or tools/mail-servers started: listVariable names their servers.txt.
std::string ServersFolder(const char* listVariable);
int ServerPort(const char* listVariable, const std::string& mode);
// A file's bytes; "<none>" when it cannot be read.
std::string FileBytes(const std::string& path);
// Whether a static control holds an icon and is at least as big as an icon.
bool ShowsIcon(HWND control);
// With QVX_SCREENSHOTS set to a folder, the window as the screen shows it, in <folder>\<name>.bmp.
void SaveScreenshot(HWND window, const char* name);
std::string NarrowText(const std::wstring& text);  // non-ASCII as "?"

}  // namespace qvxtest
