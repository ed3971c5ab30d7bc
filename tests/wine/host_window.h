// A host program's user interface for the window tests: a visible top-level
// main window with an edit box on the calling thread, real keyboard and mouse
// input through SendInput, and a message pump that notes what it retrieves.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace qvxtest {

class HostWindow {
 public:
  HostWindow();
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND Main() const { return main_; }
  HWND Edit() const { return edit_; }
  // Brings the main window to the front and gives the edit box the focus.
  void FocusEdit();
  std::wstring EditText() const;
  void ClearEdit();
  // WM_CLOSE messages the main window received; it stays open regardless.
  int CloseRequests() const { return closeRequests_; }

 private:
  static LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND main_ = nullptr;
  HWND edit_ = nullptr;
  int closeRequests_ = 0;
};

// Retrieves and dispatches the thread's messages for about ms milliseconds.
// Returns the number of WM_CHAR messages retrieved, for any window.
int PumpMessages(DWORD ms);

// One key going down or up, as the keyboard sends it.
void SendKey(WORD vk, bool up);
// A key pressed and released.
void PressKey(WORD vk);
// A left click at the centre of a window, wherever it is on the screen.
void ClickWindow(HWND window);

// Saves what the screen shows of a window as a 24-bit BMP file.
bool SaveWindowImage(HWND window, const char* path);

// Polls from another thread for a top-level window of the class and title
// for up to ms milliseconds; nullptr when none appears.
HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD ms);

}  // namespace qvxtest
