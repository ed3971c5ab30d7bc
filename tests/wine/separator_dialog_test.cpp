// The warning shown when the user's decimal and thousands separators are the
// same, driven from another thread through its windows as a user would: find
// it, read it, click, press keys. The host's thread sits in the modal loop
// inside SetIntlKeyDec meanwhile.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

#include "host_window.h"
#include "test_support.h"

namespace {

using qvx::fw::com_ptr;
using qvxtest::CallByName;
using qvxtest::ClickWindow;
using qvxtest::HostWindow;
using qvxtest::PressKey;
using qvxtest::PumpMessages;
using qvxtest::ScopedNumberSettings;
using qvxtest::Variant;

constexpr wchar_t kTitle[] = L"Advertencia configuración regional de sistema";
constexpr wchar_t kCommaChoice[] = L"  \",\" Separador decimal  y  \".\" Separador miles";
constexpr wchar_t kPointChoice[] = L"  \".\" Separador decimal  y  \",\" Separador miles";
constexpr int kCommaRadio = 341, kPointRadio = 342;

std::wstring TextOf(HWND window) {
  wchar_t buffer[512] = {};
  ::GetWindowTextW(window, buffer, 512);
  return buffer;
}

bool Checked(HWND dialog, int id) {
  return ::SendMessageW(::GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// What the user does once the warning is up.
enum class Answer { Accept, PickCommaThenAccept, PickPointThenEnter, Escape };

// What the driving thread saw.
struct Observed {
  bool dialogShown = false;
  int proposed = -1;  // the radio checked when the dialog came up
  bool errorShown = false;
  std::wstring errorText;
  bool errorIcon = false;
};

void Answering(HWND dialog, Answer answer) {
  switch (answer) {
    case Answer::Accept:
      ClickWindow(::GetDlgItem(dialog, IDOK));
      break;
    case Answer::PickCommaThenAccept:
      ClickWindow(::GetDlgItem(dialog, kCommaRadio));
      ::Sleep(100);
      ClickWindow(::GetDlgItem(dialog, IDOK));
      break;
    case Answer::PickPointThenEnter:
      ClickWindow(::GetDlgItem(dialog, kPointRadio));
      ::Sleep(100);
      PressKey(VK_RETURN);
      break;
    case Answer::Escape:
      PressKey(VK_ESCAPE);
      break;
  }
}

BOOL CALLBACK FindErrorParts(HWND child, LPARAM param) {
  auto* seen = reinterpret_cast<Observed*>(param);
  wchar_t cls[32] = {};
  ::GetClassNameW(child, cls, 32);
  if (std::wstring(cls) != L"Static") return TRUE;
  if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    seen->errorIcon = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0)) ==
                      ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_ERROR));
  } else if (!TextOf(child).empty()) {
    seen->errorText = TextOf(child);
  }
  return TRUE;
}

// Runs SetIntlKeyDec(TRUE) on this thread while another thread answers the
// warning and, after an Escape, reads and dismisses the error message. The
// warning is waited for up to wait milliseconds.
Observed SwitchOnAndAnswer(IDispatch* control, Answer answer, DWORD wait = 3000) {
  Observed seen;
  std::thread user([&] {
    HWND dialog = qvxtest::WaitForWindow(L"#32770", kTitle, wait);
    if (dialog == nullptr) return;
    seen.dialogShown = true;
    ::Sleep(100);
    seen.proposed = Checked(dialog, kCommaRadio) ? kCommaRadio : Checked(dialog, kPointRadio) ? kPointRadio : 0;
    Answering(dialog, answer);
    if (answer != Answer::Escape) return;
    HWND error = qvxtest::WaitForWindow(L"#32770", L"Quorvex Ingenieros", 3000);
    if (error == nullptr) return;
    seen.errorShown = true;
    ::EnumChildWindows(error, FindErrorParts, reinterpret_cast<LPARAM>(&seen));
    PressKey(VK_RETURN);
  });
  Variant on = Variant::Bool(true);
  EXPECT_EQ(S_OK, CallByName(control, L"SetIntlKeyDec", {on.get()}, nullptr));
  user.join();
  return seen;
}

class SeparatorDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { host_ = new HostWindow; }
  static void TearDownTestSuite() { delete host_; }
  void SetUp() override {
    control_ = qvxtest::CreateControl();
    ASSERT_TRUE(control_);
    host_->FocusEdit();
  }
  void TearDown() override {
    Variant off = Variant::Bool(false);
    CallByName(control_.get(), L"SetIntlKeyDec", {off.get()}, nullptr);
  }

  // What the keypad decimal key types into the host's edit box now.
  std::wstring KeypadTypes() {
    host_->FocusEdit();
    host_->ClearEdit();
    PressKey(VK_DECIMAL);
    PumpMessages(150);
    return host_->EditText();
  }

  qvxtest::ComScope com_;
  ScopedNumberSettings spanish_{qvxtest::kSpanish};
  com_ptr<IDispatch> control_;
  static HostWindow* host_;
};

HostWindow* SeparatorDialogTest::host_ = nullptr;

TEST_F(SeparatorDialogTest, AcceptingWritesTheChosenPairAndInstallsTheHook) {
  const struct {
    const char* shared;
    Answer answer;
    int proposed;
    const char* decimal;
    const char* thousand;
  } cases[] = {
      {".", Answer::PickCommaThenAccept, kPointRadio, ",", "."},
      {".", Answer::Accept, kPointRadio, ".", ","},
      {",", Answer::Accept, kCommaRadio, ",", "."},
      {" ", Answer::PickPointThenEnter, kCommaRadio, ".", ","},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "shared \"" << c.shared << "\", answer " << static_cast<int>(c.answer));
    ScopedNumberSettings equal({c.shared, c.shared, nullptr, nullptr, nullptr, nullptr});
    const Observed seen = SwitchOnAndAnswer(control_.get(), c.answer);
    ASSERT_TRUE(seen.dialogShown);
    EXPECT_EQ(c.proposed, seen.proposed);
    EXPECT_FALSE(seen.errorShown);
    EXPECT_EQ(c.decimal, qvxtest::ReadLocale(LOCALE_SDECIMAL));
    EXPECT_EQ(c.thousand, qvxtest::ReadLocale(LOCALE_STHOUSAND));
    // The keypad now types the accepted decimal separator.
    const std::string decimal = c.decimal;  // ASCII
    EXPECT_EQ(std::wstring(decimal.begin(), decimal.end()), KeypadTypes());
    EXPECT_EQ(0, host_->CloseRequests());
    TearDown();  // the next case must find no hook
  }
}

TEST_F(SeparatorDialogTest, EscapeShowsTheErrorAndAsksTheHostToClose) {
  ScopedNumberSettings equal({",", ",", nullptr, nullptr, nullptr, nullptr});
  const int closesBefore = host_->CloseRequests();
  const Observed seen = SwitchOnAndAnswer(control_.get(), Answer::Escape);
  ASSERT_TRUE(seen.dialogShown);
  ASSERT_TRUE(seen.errorShown);
  EXPECT_EQ(L"El separador decimal y el de miles están establecidos con el mismo símbolo. Asegúrese de cambiarlos "
            L"antes de ejecutar esta aplicación",
            seen.errorText);
  EXPECT_TRUE(seen.errorIcon);
  PumpMessages(100);
  EXPECT_EQ(closesBefore + 1, host_->CloseRequests());
  EXPECT_EQ(",", qvxtest::ReadLocale(LOCALE_SDECIMAL));
  EXPECT_EQ(",", qvxtest::ReadLocale(LOCALE_STHOUSAND));
  EXPECT_EQ(L".", KeypadTypes()) << "no hook: the keypad's own point";
}

TEST_F(SeparatorDialogTest, DifferentSeparatorsShowNothing) {
  const Observed seen = SwitchOnAndAnswer(control_.get(), Answer::Accept, 1000);
  EXPECT_FALSE(seen.dialogShown);
  EXPECT_EQ(L",", KeypadTypes());
}

// Texts, kinds and places of the controls as the template lays them out.
TEST_F(SeparatorDialogTest, LayoutAndTexts) {
  ScopedNumberSettings equal({".", ".", nullptr, nullptr, nullptr, nullptr});
  struct Control {
    int x, y, cx, cy;
    const wchar_t* cls;
    const wchar_t* text;
    LONG kind;  // the style bits that make the kind of control
  };
  const Control expected[] = {
      {7, 7, 20, 20, L"Static", L"", SS_ICON},
      {35, 7, 274, 27, L"Static",
       L"En la configuración regional de su sistema el separador decimal y el de miles están establecidos con el "
       L"mismo símbolo, esto puede provocar que el actual programa no funcione correctamente. ",
       SS_LEFT | WS_GROUP},
      {7, 33, 302, 16, L"Static",
       L"Escoja una de las siguientes configuraciones o modifique adecuadamente los valores en la configuración "
       L"regional del panel de control :",
       SS_LEFT | WS_GROUP},
      {75, 59, 165, 10, L"Button", kCommaChoice, BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
      {75, 75, 165, 10, L"Button", kPointChoice, BS_AUTORADIOBUTTON},  // in the group of 341
      {132, 98, 50, 14, L"Button", L"Aceptar", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP},
  };
  std::wstring caption;
  std::vector<std::wstring> problems;
  std::thread user([&] {
    HWND dialog = qvxtest::WaitForWindow(L"#32770", kTitle, 3000);
    if (dialog == nullptr) return;
    caption = TextOf(dialog);
    // For the documentation: QVX_SCREENSHOT names a .bmp file to save the dialog in.
    if (const char* shot = std::getenv("QVX_SCREENSHOT")) {
      ::Sleep(300);
      qvxtest::SaveWindowImage(dialog, shot);
    }
    RECT client;
    ::GetClientRect(dialog, &client);
    RECT size = {0, 0, 316, 119};
    ::MapDialogRect(dialog, &size);
    if (client.right != size.right || client.bottom != size.bottom) problems.push_back(L"dialog size");
    HWND child = ::GetWindow(dialog, GW_CHILD);
    for (const Control& c : expected) {
      if (child == nullptr) {
        problems.push_back(std::wstring(L"missing ") + c.text);
        break;
      }
      // The dialog manager converts place and size apart.
      RECT want = {c.x, c.y, c.cx, c.cy};
      ::MapDialogRect(dialog, &want);
      want.right += want.left;
      want.bottom += want.top;
      RECT got;
      ::GetWindowRect(child, &got);
      ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
      wchar_t cls[32] = {};
      ::GetClassNameW(child, cls, 32);
      const LONG style = ::GetWindowLongW(child, GWL_STYLE);
      // A radio button takes the tab stop when it is checked.
      const bool radio = (c.kind & BS_TYPEMASK) == BS_AUTORADIOBUTTON && std::wstring(cls) == L"Button";
      const LONG kindMask =
          (std::wstring(cls) == L"Static" ? SS_TYPEMASK : BS_TYPEMASK) | WS_GROUP | (radio ? 0 : WS_TABSTOP);
      const bool iconOnly = c.kind == SS_ICON;  // an icon control sizes itself to its icon
      if (got.left != want.left || got.top != want.top ||
          (!iconOnly && (got.right != want.right || got.bottom != want.bottom)))
        problems.push_back(std::wstring(L"place of ") + c.text);
      if (std::wstring(cls) != c.cls || (style & kindMask) != (c.kind & kindMask))
        problems.push_back(std::wstring(L"kind of ") + c.text);
      if (!iconOnly && TextOf(child) != c.text) problems.push_back(L"text " + TextOf(child));
      if (iconOnly && ::SendMessageW(child, STM_GETICON, 0, 0) == 0) problems.push_back(L"no icon");
      child = ::GetWindow(child, GW_HWNDNEXT);
    }
    if (child != nullptr) problems.push_back(L"more controls than the template has");
    PressKey(VK_RETURN);
  });
  Variant on = Variant::Bool(true);
  EXPECT_EQ(S_OK, CallByName(control_.get(), L"SetIntlKeyDec", {on.get()}, nullptr));
  user.join();
  EXPECT_EQ(kTitle, caption);
  for (const std::wstring& p : problems) ADD_FAILURE() << ::testing::PrintToString(p);
}

}  // namespace
