// The dialog base of the framework on a template of this program's own: data
// exchange both ways, routing of OK and Cancel, the object attached to its
// window only while the window lives, adopted fonts and icons destroyed with
// it, and a failure inside a handler ending the dialog instead of crossing
// the window manager.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "framework/dialog.h"
#include "framework/module_state.h"

namespace {

using qvx::fw::CDialog;
using qvx::fw::DataExchange;

constexpr UINT kTemplate = 100;
constexpr int kText = 10, kCheck = 11, kFirstRadio = 12, kOtherGroup = 15;

class ExchangeDialog : public CDialog {
 public:
  ExchangeDialog() : CDialog(kTemplate) {}

  std::string text;
  int check = BST_UNCHECKED;
  int radio = -1;
  std::function<void(ExchangeDialog&)> onInit;  // acts as the user, once the fields are shown
  HFONT font = nullptr;
  HICON icon = nullptr;
  bool windowHeldTheObject = false;

  using CDialog::Item;

 protected:
  BOOL OnInitDialog() override {
    const BOOL result = CDialog::OnInitDialog();
    windowHeldTheObject = ::GetWindowLongPtrA(Hwnd(), DWLP_USER) == reinterpret_cast<LONG_PTR>(this);
    font = AdoptFont(::CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial"));
    icon = AdoptIcon(::CopyIcon(::LoadIconA(nullptr, IDI_APPLICATION)));
    if (onInit) onInit(*this);
    return result;
  }
  void DoDataExchange(DataExchange& exchange) override {
    exchange.Text(kText, text);
    exchange.Check(kCheck, check);
    exchange.Radio(kFirstRadio, radio);
  }
};

std::string TextOf(HWND window) {
  char buffer[256] = {};
  ::GetWindowTextA(window, buffer, sizeof buffer);
  return buffer;
}

bool Checked(HWND button) { return ::SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override { qvx::fw::SetResourceHandle(::GetModuleHandleA(nullptr)); }
};

TEST_F(DialogTest, FieldsAreShownThenSavedOnOK) {
  ExchangeDialog dialog;
  dialog.text = "número 1,5";
  dialog.check = BST_CHECKED;
  dialog.radio = 1;
  std::string shownText;
  bool shownCheck = false, shownRadio[3] = {};
  dialog.onInit = [&](ExchangeDialog& d) {
    shownText = TextOf(d.Item(kText));
    shownCheck = Checked(d.Item(kCheck));
    for (int i = 0; i < 3; ++i) shownRadio[i] = Checked(d.Item(kFirstRadio + i));
    // The user types, unticks and picks the third choice, then presses OK.
    ::SetWindowTextA(d.Item(kText), "dos líneas");
    ::SendMessageA(d.Item(kCheck), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SendMessageA(d.Item(kFirstRadio + 1), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SendMessageA(d.Item(kFirstRadio + 2), BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageA(d.Item(kOtherGroup), BM_SETCHECK, BST_CHECKED, 0);  // another group: not ours
    ::PostMessageA(d.Hwnd(), WM_COMMAND, IDOK, 0);
  };
  EXPECT_EQ(IDOK, dialog.DoModal());
  EXPECT_EQ("número 1,5", shownText);
  EXPECT_TRUE(shownCheck);
  EXPECT_FALSE(shownRadio[0]);
  EXPECT_TRUE(shownRadio[1]);
  EXPECT_FALSE(shownRadio[2]);
  EXPECT_EQ("dos líneas", dialog.text);
  EXPECT_EQ(BST_UNCHECKED, dialog.check);
  EXPECT_EQ(2, dialog.radio) << "the radio exchange must stop at the next group";
}

TEST_F(DialogTest, NoRadioCheckedSavesMinusOne) {
  ExchangeDialog dialog;
  dialog.onInit = [](ExchangeDialog& d) { ::PostMessageA(d.Hwnd(), WM_COMMAND, IDOK, 0); };
  dialog.radio = 7;  // out of range: nothing is checked
  EXPECT_EQ(IDOK, dialog.DoModal());
  EXPECT_EQ(-1, dialog.radio);
}

TEST_F(DialogTest, CancelKeepsTheFields) {
  ExchangeDialog dialog;
  dialog.text = "sin cambios";
  dialog.onInit = [](ExchangeDialog& d) {
    ::SetWindowTextA(d.Item(kText), "otro");
    ::PostMessageA(d.Hwnd(), WM_COMMAND, IDCANCEL, 0);
  };
  EXPECT_EQ(IDCANCEL, dialog.DoModal());
  EXPECT_EQ("sin cambios", dialog.text);
}

TEST_F(DialogTest, ObjectAndResourcesLiveExactlyAsLongAsTheWindow) {
  ExchangeDialog dialog;
  dialog.onInit = [](ExchangeDialog& d) { ::PostMessageA(d.Hwnd(), WM_COMMAND, IDCANCEL, 0); };
  ASSERT_EQ(IDCANCEL, dialog.DoModal());
  EXPECT_TRUE(dialog.windowHeldTheObject);
  EXPECT_EQ(nullptr, dialog.Hwnd());
  ASSERT_NE(nullptr, dialog.font);
  EXPECT_EQ(0u, ::GetObjectType(dialog.font)) << "the font outlived the dialog";
  ICONINFO info;
  EXPECT_FALSE(::GetIconInfo(dialog.icon, &info)) << "the icon outlived the dialog";
}

TEST_F(DialogTest, FailureInAHandlerEndsTheDialog) {
  ExchangeDialog dialog;
  dialog.onInit = [](ExchangeDialog&) { throw std::runtime_error("fallo"); };
  EXPECT_EQ(-1, dialog.DoModal());
}

TEST_F(DialogTest, MissingTemplateFails) {
  class Missing : public CDialog {
   public:
    Missing() : CDialog(999) {}
  } dialog;
  EXPECT_EQ(-1, dialog.DoModal());
}

}  // namespace
