#include "host_window.h"

#include <vector>

namespace qvxtest {

namespace {

constexpr wchar_t kHostClass[] = L"QuorvexTestHost";

void RegisterHostClass(WNDPROC proc) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kHostClass;
  ::RegisterClassW(&wc);  // fails harmlessly when already registered
}

}  // namespace

HostWindow::HostWindow() {
  RegisterHostClass(MainProc);
  main_ = ::CreateWindowExW(0, kHostClass, L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 160, nullptr,
                            nullptr, ::GetModuleHandleW(nullptr), this);
  edit_ = ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, 10, 10, 300, 24,
                            main_, reinterpret_cast<HMENU>(100), ::GetModuleHandleW(nullptr), nullptr);
  PumpMessages(50);
}

HostWindow::~HostWindow() {
  ::DestroyWindow(main_);
  PumpMessages(20);
}

LRESULT CALLBACK HostWindow::MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* host = reinterpret_cast<HostWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_CLOSE && host != nullptr) {
    host->closeRequests_++;
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void HostWindow::FocusEdit() {
  ::SetForegroundWindow(main_);
  ::SetActiveWindow(main_);
  ::SetFocus(edit_);
  PumpMessages(50);
}

std::wstring HostWindow::EditText() const {
  wchar_t buffer[256] = {};
  ::GetWindowTextW(edit_, buffer, 256);
  return buffer;
}

void HostWindow::ClearEdit() {
  ::SetWindowTextW(edit_, L"");
  PumpMessages(10);
}

int PumpMessages(DWORD ms) {
  int chars = 0;
  const DWORD start = ::GetTickCount();
  do {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_CHAR) chars++;
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

void PressKey(WORD vk) {
  SendKey(vk, false);
  SendKey(vk, true);
}

void ClickWindow(HWND window) {
  RECT r;
  ::GetWindowRect(window, &r);
  const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
  const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
  INPUT inputs[3] = {};
  for (INPUT& in : inputs) {
    in.type = INPUT_MOUSE;
    in.mi.dx = x * 65535 / (w - 1);
    in.mi.dy = y * 65535 / (h - 1);
  }
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  ::SendInput(3, inputs, sizeof(INPUT));
}

bool SaveWindowImage(HWND window, const char* path) {
  RECT r;
  ::GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  HBITMAP bitmap = ::CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  ::SelectObject(memory, old);
  BITMAPINFOHEADER info = {sizeof info, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  std::vector<char> pixels(stride * static_cast<DWORD>(h));
  const bool got = ::GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                               DIB_RGB_COLORS) == h;
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  if (!got) return false;
  BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()), 0, 0,
                           sizeof file + sizeof info};
  HANDLE out = ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = ::WriteFile(out, &file, sizeof file, &written, nullptr) &&
            ::WriteFile(out, &info, sizeof info, &written, nullptr) &&
            ::WriteFile(out, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
  ::CloseHandle(out);
  return ok;
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD ms) {
  const DWORD start = ::GetTickCount();
  do {
    if (HWND found = ::FindWindowW(className, title)) {
      if (::IsWindowVisible(found)) return found;
    }
    ::Sleep(20);
  } while (::GetTickCount() - start < ms);
  return nullptr;
}

}  // namespace qvxtest
