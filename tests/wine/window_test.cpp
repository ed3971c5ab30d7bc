// The keypad's decimal key and the separator warning, under Xvfb with real
// key presses and clicks (SendInput) into a host window with an edit box; the
// warning is answered from another thread through its windows, as a user would.
#include <cstdlib>
#include <thread>

#include "qvx_test.h"

namespace qvxtest {
namespace {

// A visible main window with an edit box; WM_CLOSE is counted, not obeyed.
struct HostWindow {
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) return ++closeRequests, 0;
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  static inline int closeRequests = 0;
  HWND main = nullptr, edit = nullptr;
  HostWindow() {
    WNDCLASSW wc = {0, Proc, 0, 0, nullptr, nullptr, nullptr, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr,
                    L"QvxTestHost"};
    ::RegisterClassW(&wc);
    main = ::CreateWindowW(wc.lpszClassName, L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 400, 160, nullptr,
                           nullptr, nullptr, nullptr);
    edit = ::CreateWindowW(L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 300, 24, main, nullptr, nullptr,
                           nullptr);
    PumpMessages(50);
  }
  ~HostWindow() { ::DestroyWindow(main); }
  void FocusEdit() { ::SetForegroundWindow(main), ::SetFocus(edit), PumpMessages(50); }
  std::wstring TakeEditText() {
    const std::wstring text = WindowText(edit);
    return ::SetWindowTextW(edit, L""), text;
  }
};

int g_downs = 0, g_ups = 0;  // VK_DECIMAL as an observer hook installed before the module's sees it
HHOOK g_observer = nullptr;

LRESULT CALLBACK Observer(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == VK_DECIMAL) ++((lParam >> 31) & 1 ? g_ups : g_downs);
  return ::CallNextHookEx(g_observer, code, wParam, lParam);
}

HRESULT SetIntlKeyDec(IDispatch* control, bool on) {
  Var activate = Var::Bool(on);
  return CallByName(control, L"SetIntlKeyDec", {activate.v}, nullptr);
}

// Whether a dialog came up during the call (it is answered, so the call returns).
template <typename F>
bool Warned(F call) {
  bool seen = false;
  std::thread watch([&] {
    if (HWND dialog = WaitForWindow(L"#32770", nullptr, 1000)) seen = true, ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  call();
  watch.join();
  return seen;
}

class KeyDecHookTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { host_ = new HostWindow; }
  static void TearDownTestSuite() { delete host_; }
  void SetUp() override {
    g_observer = ::SetWindowsHookExW(WH_KEYBOARD, Observer, nullptr, ::GetCurrentThreadId());
    host_->FocusEdit();
  }
  void TearDown() override { ::UnhookWindowsHookEx(g_observer); }
  // What the keypad's decimal key types: downs presses (auto-repeat), one release.
  static std::wstring Keypad(int downs = 1) {
    g_downs = g_ups = 0;
    for (int i = 0; i < downs; ++i) SendKey(VK_DECIMAL, false);
    SendKey(VK_DECIMAL, true);
    PumpMessages(150);
    return host_->TakeEditText();
  }
  ComScope com_;
  ScopedNumberSettings spanish_{kSpanish};
  static inline HostWindow* host_ = nullptr;
};

TEST_F(KeyDecHookTest, KeypadTypesTheRegionalSeparator) {
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  ASSERT_EQ(S_OK, SetIntlKeyDec(control.get(), true));
  const struct {
    const char* decimal;
    int downs;
    const wchar_t* typed;
  } rows[] = {
      {",", 1, L","}, {".", 1, L"."}, {"::", 1, L"::"},  // every byte of the separator
      {"\xB7", 1, L"\u00B7"},                           // a byte above 127 is a character
      {",", 3, L",,,"},                                  // one per auto-repeat, none for the release
  };
  for (const auto& row : rows) {
    ScopedNumberSettings decimal({row.decimal, "'", nullptr, nullptr, nullptr, nullptr});
    EXPECT_EQ(row.typed, Keypad(row.downs)) << row.decimal;
    EXPECT_EQ(0, g_downs) << "the key press went on";
    EXPECT_EQ(1, g_ups) << "the release was not passed on";
  }
  PressKey(VK_OEM_PERIOD);
  PumpMessages(150);
  EXPECT_EQ(L".", host_->TakeEditText()) << "the main keyboard's point is untouched";
  ::SetFocus(nullptr);
  g_downs = 0;
  PressKey(VK_DECIMAL);
  EXPECT_EQ(0, PumpMessages(150)) << "without focus the key is swallowed";
  EXPECT_EQ(0, g_downs);
  ASSERT_EQ(S_OK, SetIntlKeyDec(control.get(), false));
}

TEST_F(KeyDecHookTest, TheHookLivesAsLongAsTheControls) {
  com_ptr<IDispatch> first = CreateControl(), second = CreateControl();
  ASSERT_EQ(S_OK, SetIntlKeyDec(first.get(), false));
  EXPECT_EQ(L".", Keypad()) << "off without a hook: the keypad's own point";
  EXPECT_EQ(1, g_downs);
  ASSERT_EQ(S_OK, SetIntlKeyDec(first.get(), true));
  first.reset();
  EXPECT_EQ(L",", Keypad()) << "one control still lives";
  // On again while held: equal separators are not checked again.
  {
    ScopedNumberSettings equal({".", ".", nullptr, nullptr, nullptr, nullptr});
    EXPECT_FALSE(Warned([&] { SetIntlKeyDec(second.get(), true); }));
  }
  second.reset();
  EXPECT_EQ(L".", Keypad()) << "the last control removed the hook";
  com_ptr<IDispatch> third = CreateControl();
  ASSERT_EQ(S_OK, SetIntlKeyDec(third.get(), true));
  EXPECT_EQ(L",", Keypad()) << "a new control installs it again";
  ASSERT_EQ(S_OK, SetIntlKeyDec(third.get(), false));
  EXPECT_EQ(L".", Keypad()) << "switched off";
}

constexpr wchar_t kTitle[] = L"Advertencia configuración regional de sistema";

// A dialog not found by its caption may still be up: end it, so that the test
// fails instead of waiting in its modal loop.
void Dismiss() {
  if (HWND any = WaitForWindow(L"#32770", nullptr, 1000)) ::PostMessageW(any, WM_COMMAND, IDOK, 0);
}
constexpr int kCommaRadio = 341, kPointRadio = 342;

bool Checked(HWND dialog, int id) { return ::SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

class SeparatorDialogTest : public KeyDecHookTest {};

// Equal separators: the warning proposes a pair; the user's answer is written.
TEST_F(SeparatorDialogTest, TheAnswerIsWrittenOrTheHostAskedToClose) {
  com_ptr<IDispatch> control = CreateControl();
  const struct {
    const char* shared;
    int click;  // a radio clicked first, or 0
    WORD key;   // then IDOK clicked (0), Enter or Escape
    const wchar_t* seen;
    const char* pair;
    const wchar_t* keypad;
  } rows[] = {
      {".", kCommaRadio, 0, L"proposed 342", ",.", L","},
      {".", 0, 0, L"proposed 342", ".,", L"."},
      {",", 0, 0, L"proposed 341", ",.", L","},
      {" ", kPointRadio, VK_RETURN, L"proposed 341", ".,", L"."},
      {",", 0, VK_ESCAPE,
       L"proposed 341 Quorvex Ingenieros[x]El separador decimal y el de miles están establecidos con el "
       L"mismo símbolo. Asegúrese de cambiarlos antes de ejecutar esta aplicación",
       ",,", L"."},  // no hook then: the keypad's own point
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.seen);
    ScopedNumberSettings equal({row.shared, row.shared, nullptr, nullptr, nullptr, nullptr});
    const int closes = HostWindow::closeRequests;
    std::wstring seen;
    std::thread user([&] {
      HWND dialog = WaitForWindow(L"#32770", kTitle, 3000);
      if (!dialog) return Dismiss();
      ::Sleep(100);
      seen = L"proposed " + std::to_wstring(Checked(dialog, kCommaRadio) ? kCommaRadio : Checked(dialog, kPointRadio) ? kPointRadio : 0);
      if (row.click) ClickWindow(::GetDlgItem(dialog, row.click)), ::Sleep(100);
      if (row.key) PressKey(row.key);
      else ClickWindow(::GetDlgItem(dialog, IDOK));
      if (row.key != VK_ESCAPE) return;
      HWND error = WaitForWindow(L"#32770", L"Quorvex Ingenieros", 3000);
      if (!error) return;
      seen += L" Quorvex Ingenieros" + MessageBoxText(error);
      PressKey(VK_RETURN);
    });
    EXPECT_EQ(S_OK, SetIntlKeyDec(control.get(), true));
    user.join();
    PumpMessages(100);
    EXPECT_EQ(row.seen, seen);
    EXPECT_EQ(row.pair, ReadLocale(LOCALE_SDECIMAL) + ReadLocale(LOCALE_STHOUSAND));
    EXPECT_EQ(row.key == VK_ESCAPE ? closes + 1 : closes, HostWindow::closeRequests) << "WM_CLOSE to the host";
    host_->FocusEdit();
    EXPECT_EQ(row.keypad, Keypad());
    SetIntlKeyDec(control.get(), false);
  }
  EXPECT_FALSE(Warned([&] { SetIntlKeyDec(control.get(), true); })) << "different separators show nothing";
  SetIntlKeyDec(control.get(), false);
}

TEST_F(SeparatorDialogTest, LayoutAndTexts) {
  com_ptr<IDispatch> control = CreateControl();
  ScopedNumberSettings equal({".", ".", nullptr, nullptr, nullptr, nullptr});
  struct Control {
    int x, y, cx, cy;
    const wchar_t *cls, *text;
    LONG kind;  // the style bits that make the kind of control
  };
  const Control expected[] = {
      {7, 7, 20, 20, L"Static", L"", SS_ICON},
      {35, 7, 274, 27, L"Static", nullptr, SS_LEFT | WS_GROUP},  // the texts are the .rc's own
      {7, 33, 302, 16, L"Static", nullptr, SS_LEFT | WS_GROUP},
      {75, 59, 165, 10, L"Button", L"  \",\" Separador decimal  y  \".\" Separador miles",
       BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP},
      {75, 75, 165, 10, L"Button", L"  \".\" Separador decimal  y  \",\" Separador miles", BS_AUTORADIOBUTTON},
      {132, 98, 50, 14, L"Button", L"Aceptar", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP},
  };
  // The warning belongs to the thread's active window: here a palette of the host, not its main window.
  qvx::fw::unique_hwnd palette(::CreateWindowW(L"STATIC", L"palette", WS_POPUP | WS_VISIBLE, 500, 40, 80, 40,
                                               host_->main, nullptr, nullptr, nullptr));
  ::SetActiveWindow(palette.get());
  std::wstring caption, problems;
  HWND owner = nullptr;
  std::thread user([&] {
    HWND dialog = WaitForWindow(L"#32770", kTitle, 3000);
    if (!dialog) return Dismiss();
    caption = WindowText(dialog);
    owner = ::GetWindow(dialog, GW_OWNER);
    ::Sleep(200);  // painted
    SaveScreenshot(dialog, "config-reg-warning");
    RECT client, size = {0, 0, 316, 119};
    ::GetClientRect(dialog, &client);
    ::MapDialogRect(dialog, &size);
    if (client.right != size.right || client.bottom != size.bottom) problems += L"[dialog size]";
    HWND child = ::GetWindow(dialog, GW_CHILD);
    for (const Control& c : expected) {
      if (!child) break;
      RECT want = {c.x, c.y, c.cx, c.cy}, got;
      ::MapDialogRect(dialog, &want);
      want.right += want.left, want.bottom += want.top;
      ::GetWindowRect(child, &got);
      ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
      wchar_t cls[32] = {};
      ::GetClassNameW(child, cls, 32);
      const bool isStatic = std::wstring(cls) == L"Static", icon = c.kind == SS_ICON;
      const LONG mask = (isStatic ? SS_TYPEMASK : BS_TYPEMASK) | WS_GROUP | (c.kind & BS_AUTORADIOBUTTON && !isStatic ? 0 : WS_TABSTOP);
      if (got.left != want.left || got.top != want.top || (!icon && (got.right != want.right || got.bottom != want.bottom)))
        problems += L"[place of " + WindowText(child) + L"]";
      if (cls != std::wstring(c.cls) || (::GetWindowLongW(child, GWL_STYLE) & mask) != (c.kind & mask))
        problems += L"[kind of " + WindowText(child) + L"]";
      if (icon ? !::SendMessageW(child, STM_GETICON, 0, 0) : c.text && WindowText(child) != c.text)
        problems += L"[text " + WindowText(child) + L"]";
      if (icon && PixelsUnlike(child, BackgroundOf(dialog)) < 100) problems += L"[the icon draws nothing]";
      child = ::GetWindow(child, GW_HWNDNEXT);
    }
    if (child) problems += L"[more controls than the template has]";
    PressKey(VK_RETURN);
  });
  EXPECT_EQ(S_OK, SetIntlKeyDec(control.get(), true));
  user.join();
  EXPECT_EQ(kTitle, caption);
  EXPECT_EQ(palette.get(), owner);
  EXPECT_EQ(L"", problems);
  SetIntlKeyDec(control.get(), false);
}

}  // namespace
}  // namespace qvxtest
