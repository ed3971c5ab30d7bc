#include "qvx_test.h"

#include <cstdlib>

namespace qvxtest {

using qvx::fw::unique_hkey;

std::wstring ModulePath() {
  const wchar_t* path = _wgetenv(L"QVX_MODULE");
  return path ? path : L"";
}

std::string TestFile(const char* name) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string self = path;
  return self.substr(0, self.find_last_of('\\') + 1) + name;
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
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
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
  {
    unique_hkey key;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.put()) != ERROR_SUCCESS) return;
    ::RegDeleteTreeA(key.get(), nullptr);
  }
  ::RegDeleteKeyExA(root, path.c_str(), view, 0);
}

ScratchKey::ScratchKey(HKEY root, std::string path, REGSAM view) : root_(root), path_(std::move(path)), view_(view) {
  DeleteKeyTree(root_, path_, view_);
}

ScratchKey::~ScratchKey() { DeleteKeyTree(root_, path_, view_); }

void ScratchKey::Set(const char* name, DWORD type, const void* data, DWORD size) const {
  unique_hkey key;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view_, nullptr,
                                             key.put(), nullptr));
  if (data) ::RegSetValueExA(key.get(), name, 0, type, static_cast<const BYTE*>(data), size);
  else ::RegDeleteValueA(key.get(), name);
}

std::string ScratchKey::Get(const char* name, REGSAM view) const {
  unique_hkey key;
  DWORD size = 0;
  if (::RegOpenKeyExA(root_, path_.c_str(), 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS ||
      ::RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return "<none>";
  std::string bytes(size, '\0');
  ::RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()), &size);
  return bytes;
}

namespace {
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE)
    ::SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
  auto* host = reinterpret_cast<HostWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_CLOSE && host) return ++host->closeRequests, 0;
  return ::DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

HostWindow::HostWindow() {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"QvxTestHost";
  ::RegisterClassW(&wc);  // fails harmlessly when already registered
  main_ = ::CreateWindowExW(0, wc.lpszClassName, L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 160, nullptr,
                            nullptr, wc.hInstance, this);
  edit_ = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 300, 24, main_, nullptr,
                            wc.hInstance, nullptr);
  PumpMessages(50);
}

void HostWindow::FocusEdit() {
  ::SetForegroundWindow(main_);
  ::SetFocus(edit_);
  PumpMessages(50);
}

std::wstring HostWindow::TakeEditText() {
  const std::wstring text = WindowText(edit_);
  ::SetWindowTextW(edit_, L"");
  return text;
}

int PumpMessages(DWORD ms) {
  int chars = 0;
  const DWORD start = ::GetTickCount();
  do {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      chars += msg.message == WM_CHAR;
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  } while (::GetTickCount() - start < ms);
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

void ClickWindow(HWND window) {
  RECT r;
  ::GetWindowRect(window, &r);
  INPUT in[3] = {};
  const DWORD flags[3] = {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 3; ++i) {
    in[i].type = INPUT_MOUSE;
    in[i].mi.dx = (r.left + r.right) / 2 * 65535 / (::GetSystemMetrics(SM_CXSCREEN) - 1);
    in[i].mi.dy = (r.top + r.bottom) / 2 * 65535 / (::GetSystemMetrics(SM_CYSCREEN) - 1);
    in[i].mi.dwFlags = flags[i] | MOUSEEVENTF_ABSOLUTE;
  }
  ::SendInput(3, in, sizeof(INPUT));
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD ms) {
  for (const DWORD start = ::GetTickCount(); ::GetTickCount() - start < ms; ::Sleep(20)) {
    HWND found = ::FindWindowW(className, title);
    if (found && ::IsWindowVisible(found)) return found;
  }
  return nullptr;
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[512] = {};
  ::GetWindowTextW(window, buffer, 512);
  return buffer;
}

bool SaveWindowImage(HWND window, const char* path) {
  RECT r;
  ::GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr), memory = ::CreateCompatibleDC(screen);
  qvx::fw::unique_hgdiobj bitmap(::CreateCompatibleBitmap(screen, w, h));
  HGDIOBJ old = ::SelectObject(memory, bitmap.get());
  ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER info = {sizeof info, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  std::string pixels(((w * 3 + 3) & ~3) * h, '\0');
  const bool got = ::GetDIBits(memory, static_cast<HBITMAP>(bitmap.get()), 0, h, pixels.data(),
                               reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS) == h;
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()), 0, 0,
                           sizeof file + sizeof info};
  FILE* out = got ? std::fopen(path, "wb") : nullptr;
  if (!out) return false;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info, sizeof info, 1, out);
  std::fwrite(pixels.data(), pixels.size(), 1, out);
  return std::fclose(out) == 0;
}

}  // namespace qvxtest
