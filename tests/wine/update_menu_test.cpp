// The update item on the host's menu, with controls embedded by Wine's ATL
// host window: appended once to the last popup of the top-level window's bar,
// its command reaching a live control's window.
#include "qvx_test.h"

namespace qvxtest {
namespace {

int g_reports = 0;
WNDPROC g_controlProc = nullptr;

// Counted and kept from the control, whose properties dialog would wait for a user.
LRESULT CALLBACK CountReports(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 80) return ++g_reports, 0;  // WM_SHOW_UPDATE_PROPERTIES
  return ::CallWindowProcW(g_controlProc, window, message, wParam, lParam);
}

// Two popups and a plain command on the bar; a frame two levels below its owner.
struct Host {
  HMENU bar = ::CreateMenu(), file = ::CreatePopupMenu(), view = ::CreatePopupMenu();
  qvx::fw::unique_hwnd main, frame;
  Host() {
    EXPECT_TRUE(AtlReady());
    ::AppendMenuW(view, MF_STRING, 200, L"Zoom");
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"Archivo");
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), L"Ver");
    ::AppendMenuW(bar, MF_STRING, 300, L"Salir");
    main.reset(::CreateWindowW(L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, nullptr, bar,
                               nullptr, nullptr));
    frame.reset(::CreateWindowW(L"STATIC", L"frame", WS_CHILD | WS_VISIBLE, 0, 0, 300, 200, main.get(), nullptr,
                                nullptr, nullptr));
  }
  HWND Embed() {  // once the control's start-up message has been handled
    HWND ax = ::CreateWindowW(L"AtlAxWin", kProgId, WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, frame.get(), nullptr,
                              nullptr, nullptr);
    PumpMessages(100);
    if (HWND control = ::GetWindow(ax, GW_CHILD)) {
      if (!g_controlProc) g_controlProc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(control, GWLP_WNDPROC));
      ::SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountReports));
    }
    return ax;
  }
  std::wstring ViewItems() const {  // "-" for a separator
    std::wstring items;
    for (int i = 0; i < ::GetMenuItemCount(view); ++i) {
      wchar_t text[64] = {};
      ::GetMenuStringW(view, i, text, 64, MF_BYPOSITION);
      items += (*text ? std::wstring(text) : L"-") + L"|";
    }
    return items;
  }
  int Choose() {  // the reports that one choice of the item brings
    g_reports = 0;
    ::PostMessageW(main.get(), WM_COMMAND, 65534, 0);
    PumpMessages(100);
    return g_reports;
  }
};

TEST(UpdateMenuTest, AppendedOnceUnlessSwitchedOffAndReachingALiveControl) {
  ComScope com;
  {
    com_ptr<IDispatch> holder = CreateControl();  // keeps the switch's process alive between embeds
    Host off;
    Var no = Var::Bool(false), yes = Var::Bool(true);
    ASSERT_EQ(S_OK, CallByName(holder.get(), L"SetAutoUpdateOption", {no.v}, nullptr));
    off.Embed();
    EXPECT_EQ(L"Zoom|", off.ViewItems()) << "switched off";
    EXPECT_EQ(S_OK, CallByName(holder.get(), L"SetAutoUpdateOption", {yes.v}, nullptr));
  }
  Host host;
  HWND first = host.Embed(), second = host.Embed();
  EXPECT_EQ(L"Zoom|-|Actuali&zaciones...|", host.ViewItems()) << "once, on the last popup";
  EXPECT_EQ(1, host.Choose());
  ::DestroyWindow(first);
  EXPECT_EQ(1, host.Choose()) << "the other control takes the first one's place";
  ::DestroyWindow(second);
  EXPECT_EQ(0, host.Choose()) << "with no control left the item does nothing";
  host.Embed();
  EXPECT_EQ(L"Zoom|-|Actuali&zaciones...|", host.ViewItems()) << "a later integration appends nothing";
  EXPECT_EQ(1, host.Choose());
}

}  // namespace
}  // namespace qvxtest
