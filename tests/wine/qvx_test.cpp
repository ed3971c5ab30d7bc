#include "qvx_test.h"

#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace qvxtest {

using qvx::fw::unique_hkey;

std::wstring ModulePath() { return _wgetenv(L"QVX_MODULE") ? _wgetenv(L"QVX_MODULE") : L""; }

std::string TestFile(const char* name) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, std::strrchr(path, '\\') + 1) + name;
}

com_ptr<IDispatch> CreateControl() {
  com_ptr<IDispatch> object;
  CLSID clsid;
  EXPECT_EQ(S_OK, ::CLSIDFromProgID(kProgId, &clsid)) << "the control is not registered";
  EXPECT_EQ(S_OK, ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void()));
  return object;
}

HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
                   UINT* argErr) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  UINT err = 0;
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, &err);
  if (argErr) *argErr = err;
  return hr;
}

std::wstring CallText(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args) {
  Var result;
  EXPECT_EQ(S_OK, CallByName(object, name, std::move(args), &result.v)) << "calling " << name;
  return result.Text();
}

AllocSpy* StartAllocSpy() {
  static AllocSpy spy;  // the allocator may keep it after revocation
  auto noCache = reinterpret_cast<void(WINAPI*)()>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache")));
  if (!noCache) return nullptr;
  noCache();
  spy.live = 0;
  return ::CoRegisterMallocSpy(&spy) == S_OK ? &spy : nullptr;
}

std::string ReadLocale(LCTYPE item) {
  char buffer[100] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof(buffer));
  return buffer;
}

ScopedNumberSettings::ScopedNumberSettings(const NumberSettings& s) {
  const std::pair<LCTYPE, const char*> items[] = {
      {LOCALE_SDECIMAL, s.decimal},   {LOCALE_STHOUSAND, s.thousand}, {LOCALE_SNEGATIVESIGN, s.negative},
      {LOCALE_SGROUPING, s.grouping}, {LOCALE_IDIGITS, s.digits},     {LOCALE_ILZERO, s.leadingZero},
  };
  for (const auto& [item, value] : items) {
    if (value == nullptr) continue;
    saved_.emplace_back(item, ReadLocale(item));
    EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, item, value)) << "SetLocaleInfoA " << item << " " << value;
  }
}

ScopedNumberSettings::~ScopedNumberSettings() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, it->first, it->second.c_str());
}

void DeleteKeyTree(HKEY root, const std::string& path, REGSAM view) {
  unique_hkey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS) return;
  ::RegDeleteTreeA(key.get(), nullptr);
  key.reset();
  ::RegDeleteKeyExA(root, path.c_str(), view, 0);
}

ScratchKey::ScratchKey(HKEY root, std::string path, REGSAM view) : root_(root), path_(std::move(path)), view_(view) {
  DeleteKeyTree(root_, path_, view_);
}

ScratchKey::~ScratchKey() { DeleteKeyTree(root_, path_, view_); }

void ScratchKey::Set(const char* name, DWORD type, const void* data, size_t size) const {
  unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr,
                                             key.put(), nullptr));
  if (data) ::RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
  else ::RegDeleteValueA(key.get(), name);
}

void ScratchKey::Deny(DWORD access) const {
  unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, WRITE_DAC | view_, nullptr,
                                             key.put(), nullptr));
  char denied[32] = "";  // everyone: denied that access, then allowed all
  if (access) std::snprintf(denied, sizeof denied, "(D;;0x%lx;;;WD)", access);
  const std::string dacl = std::string("D:") + denied + "(A;;KA;;;WD)";
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl.c_str(), SDDL_REVISION_1, &sd, nullptr));
  EXPECT_EQ(ERROR_SUCCESS, ::RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd));
  ::LocalFree(sd);
}

std::string ScratchKey::Get(const char* name, REGSAM view) const {
  unique_hkey key;
  DWORD size = 0;
  if (::RegOpenKeyExA(root_, path_.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) ||
      ::RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, &size))
    return "<none>";
  std::string bytes(size, '\0');
  ::RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()), &size);
  return bytes;
}

int PumpMessages(DWORD ms) {
  int chars = 0;
  for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < ms;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      chars += msg.message == WM_CHAR;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return chars;
}

void SendKey(WORD vk, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  ::SendInput(1, &input, sizeof input);
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD ms) {
  HWND found = nullptr;
  return WaitUntil([&] { return (found = ::FindWindowW(className, title)) && ::IsWindowVisible(found); }, ms) ? found : nullptr;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[512] = {};
  ::GetWindowTextW(window, buffer, 512);
  return buffer;
}

std::wstring MessageBoxText(HWND box) {
  std::wstring text;
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const LRESULT icon = ::SendMessageW(child, STM_GETICON, 0, 0);
    auto is = [&](LPSTR id) { return icon == reinterpret_cast<LRESULT>(::LoadIconA(nullptr, id)); };
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
      text += is(IDI_ERROR) ? L"[x]" : is(IDI_INFORMATION) ? L"[i]" : is(IDI_EXCLAMATION) ? L"[!]" : L"[?]";
    else if (::GetDlgCtrlID(child) == 0xFFFF) text += WindowText(child);
  }
  return text;
}

bool AtlReady() {
  static const auto init = reinterpret_cast<BOOL(WINAPI*)()>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::LoadLibraryW(L"atl.dll"), "AtlAxWinInit")));
  static const bool ready = init && init();  // once: it fails when the class exists
  return ready;
}

com_ptr<IDispatch> AtlControl(HWND ax) {
  static const auto get = reinterpret_cast<HRESULT(WINAPI*)(HWND, IUnknown**)>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::LoadLibraryW(L"atl.dll"), "AtlAxGetControl")));
  com_ptr<IUnknown> unknown;
  com_ptr<IDispatch> control;
  if (get && ax && get(ax, unknown.put()) == S_OK) unknown->QueryInterface(IID_IDispatch, control.put_void());
  return control;
}

AtlHost::AtlHost(DWORD settle) {
  EXPECT_TRUE(AtlReady());
  HMENU bar = ::CreateMenu(), file = ::CreatePopupMenu(), view = ::CreatePopupMenu();
  ::AppendMenuW(file, MF_STRING, 100, L"Abrir");
  ::AppendMenuW(view, MF_STRING, 200, L"Zoom");
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"Archivo");
  ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"Ver");
  ::AppendMenuW(bar, MF_STRING, 300, L"Salir");
  main.reset(::CreateWindowW(L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr, bar,
                             nullptr, nullptr));
  frame.reset(::CreateWindowW(L"STATIC", L"frame", WS_CHILD | WS_VISIBLE, 0, 0, 300, 200, main.get(), nullptr,
                              nullptr, nullptr));
  Embed(settle);
}

HWND AtlHost::Embed(DWORD settle) {
  ax = ::CreateWindowW(L"AtlAxWin", kProgId, WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, frame.get(), nullptr, nullptr,
                       nullptr);
  PumpMessages(settle);
  return ax;
}

AtlHost::~AtlHost() {
  ::DestroyWindow(ax);
  PumpMessages(20);
}

HWND ShownDialog(const wchar_t* title) {
  for (HWND w = nullptr; (w = ::FindWindowExW(nullptr, w, L"#32770", title)) != nullptr;)
    if (::IsWindowVisible(w)) return w;
  return nullptr;
}

std::string ServersFolder(const char* listVariable) {
  const std::string list = std::getenv(listVariable) ? std::getenv(listVariable) : "";
  return list.substr(0, list.find_last_of('\\') + 1);
}

int ServerPort(const char* listVariable, const std::string& mode) {
  std::ifstream in(ServersFolder(listVariable) + "servers.txt");
  std::string name;
  for (int port = 0; in >> name >> port;)
    if (name == mode) return port;
  return 0;
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return in ? out.str() : "<none>";
}

bool ShowsIcon(HWND control) {
  RECT r = {};
  return ::SendMessageW(control, STM_GETICON, 0, 0) && ::GetClientRect(control, &r) && r.right >= 16 && r.bottom >= 16;
}

// A 24-bit BMP, as tools/bmp2png reads it: top-down bits of the screen through a bitmap of the screen's
// format (a DIB section can be served from Wine's copy of a window instead of the display).
void SaveScreenshot(HWND window, const char* name) {
  const char* folder = std::getenv("QVX_SCREENSHOTS");
  RECT r;
  if (folder == nullptr || !::GetWindowRect(window, &r)) return;
  ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  ::Sleep(200);
  const int w = r.right - r.left, h = r.bottom - r.top;
  std::string bits(static_cast<size_t>((w * 3 + 3) & ~3) * h, '\0');
  BITMAPINFOHEADER header = {sizeof(header), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = ::GetDC(nullptr), memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(memory, old);
  ::GetDIBits(memory, bitmap, 0, h, bits.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  ::DeleteObject(bitmap), ::DeleteDC(memory), ::ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof(file) + sizeof(header) + bits.size()), 0, 0,
                           sizeof(file) + sizeof(header)};
  std::ofstream(std::string(folder) + "\\" + name + ".bmp", std::ios::binary)
      .write(reinterpret_cast<const char*>(&file), sizeof(file))
      .write(reinterpret_cast<const char*>(&header), sizeof(header))
      .write(bits.data(), bits.size());
}

std::string NarrowText(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::string WithDialog(const wchar_t* title, const std::function<void()>& call,
                       const std::function<void(HWND)>& user, WPARAM close, DWORD ms) {
  std::atomic<bool> returned{false};
  std::string notes;
  std::thread thread([&] {
    HWND dialog = nullptr;
    WaitUntil([&] { return returned || (dialog = ShownDialog(title)) != nullptr; }, ms);
    if (!dialog) {
      notes = "[no dialog]";
      if (!returned) dialog = ShownDialog(nullptr);  // whatever came instead, so that call() ends
    } else {
      user(dialog);
      if (!WaitUntil([&] { return !::IsWindow(dialog); }, 1500)) notes = "[still open]";
    }
    // A click under an open question would stack a second one: the question first.
    for (int i = 0; i < 50 && dialog && ::IsWindow(dialog); ++i, ::Sleep(200)) {
      if (HWND question = ShownDialog(L"Quorvex Ingenieros")) ::PostMessageW(question, WM_COMMAND, IDYES, 0);
      else ::PostMessageW(dialog, WM_COMMAND, close, 0);
    }
  });
  call();
  returned = true;
  thread.join();
  return notes;
}

}  // namespace qvxtest
