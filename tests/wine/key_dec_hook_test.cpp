// The keypad decimal key under the control's keyboard hook, with real key
// presses (SendInput) into a host window's edit box under Xvfb. A keyboard
// hook of the test's own, installed before the control's, sees whatever the
// control's hook passes on.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "host_window.h"
#include "test_support.h"

namespace {

using qvx::fw::com_ptr;
using qvxtest::CallByName;
using qvxtest::HostWindow;
using qvxtest::NumberFormatSettings;
using qvxtest::PumpMessages;
using qvxtest::ScopedNumberSettings;
using qvxtest::SendKey;
using qvxtest::Variant;

// What reached the end of the hook chain.
struct Seen {
  int keypadDowns = 0;
  int keypadUps = 0;
};
Seen g_seen;
HHOOK g_observer = nullptr;

LRESULT CALLBACK Observer(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == VK_DECIMAL) ((lParam >> 31) & 1 ? g_seen.keypadUps : g_seen.keypadDowns)++;
  return ::CallNextHookEx(g_observer, code, wParam, lParam);
}

void SetIntlKeyDec(IDispatch* control, bool on) {
  Variant activate = Variant::Bool(on);
  ASSERT_EQ(S_OK, CallByName(control, L"SetIntlKeyDec", {activate.get()}, nullptr));
}

// One host window for the suite: destroying a top-level window without a
// window manager takes seconds.
class KeyDecHookTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { host_ = new HostWindow; }
  static void TearDownTestSuite() { delete host_; }

  void SetUp() override {
    g_seen = {};
    g_observer = ::SetWindowsHookExW(WH_KEYBOARD, Observer, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(nullptr, g_observer);
    host_->FocusEdit();
    ASSERT_EQ(host_->Edit(), ::GetFocus()) << "the edit box did not get the focus";
  }
  void TearDown() override { ::UnhookWindowsHookEx(g_observer); }

  // Key-downs (then one key-up) of the keypad decimal key; returns what the edit box shows.
  std::wstring TypeKeypadDecimal(int downs = 1) {
    host_->ClearEdit();
    for (int i = 0; i < downs; ++i) SendKey(VK_DECIMAL, false);
    SendKey(VK_DECIMAL, true);
    PumpMessages(150);
    return host_->EditText();
  }

  qvxtest::ComScope com_;
  ScopedNumberSettings spanish_{qvxtest::kSpanish};
  static HostWindow* host_;
};

HostWindow* KeyDecHookTest::host_ = nullptr;

TEST_F(KeyDecHookTest, KeypadTypesTheRegionalSeparator) {
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  ASSERT_TRUE(control);
  SetIntlKeyDec(control.get(), true);
  const struct {
    const char* decimal;
    const wchar_t* typed;
  } cases[] = {
      {",", L","},
      {".", L"."},
      {"::", L"::"},         // every byte of the separator
      {"\xB7", L"\u00B7"},   // a byte above 127 is a character, not a negative number
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.decimal);
    ScopedNumberSettings decimal({c.decimal, "'", nullptr, nullptr, nullptr, nullptr});
    g_seen = {};
    EXPECT_EQ(std::wstring(c.typed), TypeKeypadDecimal());
    EXPECT_EQ(0, g_seen.keypadDowns) << "the key press went on";
    EXPECT_EQ(1, g_seen.keypadUps) << "the key release was not passed on";
  }
  SetIntlKeyDec(control.get(), false);
}

TEST_F(KeyDecHookTest, AutoRepeatTypesOnePerRepeatAndTheReleaseNothing) {
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  SetIntlKeyDec(control.get(), true);
  EXPECT_EQ(L",,,", TypeKeypadDecimal(3));
  SetIntlKeyDec(control.get(), false);
}

TEST_F(KeyDecHookTest, MainKeyboardPointIsUntouched) {
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  SetIntlKeyDec(control.get(), true);
  host_->ClearEdit();
  qvxtest::PressKey(VK_OEM_PERIOD);
  PumpMessages(150);
  EXPECT_EQ(L".", host_->EditText());
  SetIntlKeyDec(control.get(), false);
}

TEST_F(KeyDecHookTest, WithoutFocusTheKeyIsSwallowed) {
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  SetIntlKeyDec(control.get(), true);
  host_->ClearEdit();
  ::SetFocus(nullptr);
  SendKey(VK_DECIMAL, false);
  SendKey(VK_DECIMAL, true);
  EXPECT_EQ(0, PumpMessages(150)) << "characters were posted";
  EXPECT_EQ(0, g_seen.keypadDowns);
  EXPECT_EQ(L"", host_->EditText());
  SetIntlKeyDec(control.get(), false);
}

TEST_F(KeyDecHookTest, OffWithoutAHookChangesNothing) {
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  SetIntlKeyDec(control.get(), false);
  EXPECT_EQ(L".", TypeKeypadDecimal()) << "the keypad's own point";
  EXPECT_EQ(1, g_seen.keypadDowns);
}

// The last control of the process takes the hook with it; a later control
// can put it back.
TEST_F(KeyDecHookTest, LastControlRemovesTheHook) {
  com_ptr<IDispatch> first = qvxtest::CreateControl();
  com_ptr<IDispatch> second = qvxtest::CreateControl();
  SetIntlKeyDec(first.get(), true);
  first.reset();
  EXPECT_EQ(L",", TypeKeypadDecimal()) << "one control still lives";
  second.reset();
  EXPECT_EQ(L".", TypeKeypadDecimal()) << "no control lives";
  com_ptr<IDispatch> third = qvxtest::CreateControl();
  SetIntlKeyDec(third.get(), true);
  EXPECT_EQ(L",", TypeKeypadDecimal()) << "a new control";
  SetIntlKeyDec(third.get(), false);
  EXPECT_EQ(L".", TypeKeypadDecimal()) << "switched off";
}

// While a hook is held, switching it on again does not check the separators
// again: equal separators then show no warning.
TEST_F(KeyDecHookTest, OnAgainWhileHeldChecksNothing) {
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  SetIntlKeyDec(control.get(), true);
  ScopedNumberSettings equal({".", ".", nullptr, nullptr, nullptr, nullptr});
  bool warned = false;
  std::thread watchdog([&] {
    if (HWND dialog = qvxtest::WaitForWindow(L"#32770", nullptr, 1500)) {
      warned = true;
      ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
  });
  SetIntlKeyDec(control.get(), true);
  watchdog.join();
  EXPECT_FALSE(warned);
  SetIntlKeyDec(control.get(), false);
}

}  // namespace
