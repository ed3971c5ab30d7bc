// The update item on the host's menu, with controls embedded by Wine's ATL host
// window: appended once to the last popup of the top-level window's bar.
#include "qvx_test.h"

namespace qvxtest {
namespace {

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
    HWND ax = ::CreateWindowW(L"AtlAxWin", kProgId, WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, frame.get(), nullptr, nullptr,
                              nullptr);
    PumpMessages(100);
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
};

TEST(UpdateMenuTest, AppendedOnceUnlessSwitchedOff) {
  ComScope com;
  {
    com_ptr<IDispatch> holder = CreateControl();  // keeps the switch's process alive between embeds
    Host off;
    ASSERT_EQ(S_OK, CallByName(holder.get(), L"SetAutoUpdateOption", {Var::Bool(false).v}, nullptr));
    off.Embed();
    EXPECT_EQ(L"Zoom|", off.ViewItems()) << "switched off";
    EXPECT_EQ(S_OK, CallByName(holder.get(), L"SetAutoUpdateOption", {Var::Bool(true).v}, nullptr));
  }
  Host host;
  ::DestroyWindow(host.Embed());  // the last control takes the menu hook with it
  EXPECT_EQ(L"Zoom|-|Actuali&zaciones...|", host.ViewItems()) << "on the last popup";
  host.Embed();
  EXPECT_EQ(L"Zoom|-|Actuali&zaciones...|", host.ViewItems()) << "a later integration appends nothing";
}

}  // namespace
}  // namespace qvxtest
