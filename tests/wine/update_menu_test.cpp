// The update item on the host's menu, with controls embedded by Wine's ATL host window in a frame below
// the top-level window: appended once to the last popup of its bar, a plain command after it.
#include "qvx_test.h"

namespace qvxtest {
namespace {

std::wstring ViewItems(const AtlHost& host) {  // the last popup's, "-" for a separator
  HMENU view = ::GetSubMenu(::GetMenu(host.main.get()), 1);
  std::wstring items;
  for (int i = 0; i < ::GetMenuItemCount(view); ++i) {
    wchar_t text[64] = {};
    ::GetMenuStringW(view, i, text, 64, MF_BYPOSITION);
    items += (*text ? std::wstring(text) : L"-") + L"|";
  }
  return items;
}

TEST(UpdateMenuTest, AppendedOnceUnlessSwitchedOff) {
  ComScope com;
  {
    com_ptr<IDispatch> holder = CreateControl();  // keeps the switch's process alive between embeds
    ASSERT_EQ(S_OK, CallByName(holder.get(), L"SetAutoUpdateOption", {Var::Bool(false).v}, nullptr));
    const AtlHost off(100);
    EXPECT_EQ(L"Zoom|", ViewItems(off)) << "switched off";
    EXPECT_EQ(S_OK, CallByName(holder.get(), L"SetAutoUpdateOption", {Var::Bool(true).v}, nullptr));
  }
  AtlHost host(100);
  ::DestroyWindow(host.ax);  // the last control takes the menu hook with it
  EXPECT_EQ(L"Zoom|-|Actuali&zaciones...|", ViewItems(host)) << "on the last popup";
  host.Embed(100);
  EXPECT_EQ(L"Zoom|-|Actuali&zaciones...|", ViewItems(host)) << "a later integration appends nothing";
}

}  // namespace
}  // namespace qvxtest
