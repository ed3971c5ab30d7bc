// The keypad's decimal key and the separator warning: real key presses into a host's edit box under Xvfb.
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

HRESULT SetIntlKeyDec(IDispatch* control, bool on) { return CallByName(control, L"SetIntlKeyDec", {Var::Bool(on).v}, nullptr); }

// Whether a dialog came up during SetIntlKeyDec(true) (it is answered, so the call returns).
bool Warned(IDispatch* control) {
  return WithDialog(nullptr, [&] { SetIntlKeyDec(control, true); }, [](HWND) {}, IDOK, 1000) != "[no dialog]";
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
  ASSERT_EQ(S_OK, SetIntlKeyDec(control.get(), true));
  const struct { const char* decimal; int downs; const wchar_t* typed; } rows[] = {
      {",", 1, L","}, {"::", 1, L"::"},  // every byte of the separator
      {"\xB7", 1, L"\u00B7"},           // a byte above 127 is a character
      {",", 3, L",,,"},                  // one per auto-repeat, none for the release
  };
  for (const auto& row : rows) {
    const ScopedNumberSettings decimal({row.decimal, "'"});
    EXPECT_EQ(row.typed, Keypad(row.downs)) << row.decimal;
    EXPECT_EQ(0, g_downs) << "the key press went on";
    EXPECT_EQ(1, g_ups) << "the release was not passed on";
  }
  PressKey(VK_OEM_PERIOD);
  PumpMessages(150);
  EXPECT_EQ(L".", host_->TakeEditText()) << "the main keyboard's point is untouched";
  ::SetFocus(nullptr);
  PressKey(VK_DECIMAL);
  EXPECT_EQ(0, PumpMessages(150)) << "without focus the key is swallowed";
  ASSERT_EQ(S_OK, SetIntlKeyDec(control.get(), false));
  host_->FocusEdit();
  EXPECT_EQ(L".", Keypad()) << "switched off: the keypad's own point";
}

constexpr wchar_t kTitle[] = L"Advertencia configuración regional de sistema";
constexpr int kCommaRadio = 341, kPointRadio = 342;

class SeparatorDialogTest : public KeyDecHookTest {};

// Equal separators: the proposed pair is written, or refusing it shows an error and asks the host to close.
// The first warning belongs to the thread's active window (a palette, not the main window) and draws its icon.
TEST_F(SeparatorDialogTest, TheAnswerIsWrittenOrTheHostAskedToClose) {
  com_ptr<IDispatch> control = CreateControl();
  qvx::fw::unique_hwnd palette(::CreateWindowW(L"STATIC", L"palette", WS_POPUP | WS_VISIBLE, 500, 40, 80, 40,
                                               host_->main, nullptr, nullptr, nullptr));
  ::SetActiveWindow(palette.get());
  // A radio clicked first (or 0), then "Aceptar" clicked (key 0), Enter or Escape.
  const struct { const char* shared; int click; WORD key; const wchar_t *seen; const char* pair; const wchar_t* keypad; } rows[] = {
      {".", kCommaRadio, 0, L"palette's icon proposed 342", ",.", L","},
      {".", 0, 0, L"proposed 342", ".,", L"."},
      {",", 0, 0, L"proposed 341", ",.", L","},
      {" ", kPointRadio, VK_RETURN, L"proposed 341", ".,", L"."},
      {",", 0, VK_ESCAPE,
       L"proposed 341 [x]El separador decimal y el de miles están establecidos con el "
       L"mismo símbolo. Asegúrese de cambiarlos antes de ejecutar esta aplicación",
       ",,", L"."},  // no hook then: the keypad's own point
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.seen);
    const ScopedNumberSettings equal({row.shared, row.shared});
    const int closes = HostWindow::closeRequests;
    std::wstring seen;
    WithDialog(kTitle, [&] { EXPECT_EQ(S_OK, SetIntlKeyDec(control.get(), true)); }, [&](HWND dialog) {
      ::Sleep(100);
      if (&row == rows) {
        ::Sleep(200);  // painted
        SaveScreenshot(dialog, "config-reg-warning");
        seen = ::GetWindow(dialog, GW_OWNER) == palette.get() ? L"palette's " : L"not the palette's ";
        seen += ShowsIcon(::GetWindow(dialog, GW_CHILD)) ? L"icon " : L"no icon ";
        RECT comma, point, both;
        ::GetWindowRect(::GetDlgItem(dialog, kCommaRadio), &comma), ::GetWindowRect(::GetDlgItem(dialog, kPointRadio), &point);
        if (::IntersectRect(&both, &comma, &point)) seen += L"radios overlap ";
      }
      const bool comma = ::SendDlgItemMessageW(dialog, kCommaRadio, BM_GETCHECK, 0, 0) == BST_CHECKED;
      const bool point = ::SendDlgItemMessageW(dialog, kPointRadio, BM_GETCHECK, 0, 0) == BST_CHECKED;
      seen += L"proposed " + std::to_wstring(comma ? kCommaRadio : point ? kPointRadio : 0);
      if (row.click) ::SendMessageW(::GetDlgItem(dialog, row.click), BM_CLICK, 0, 0);
      if (!row.key) return (void)::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
      ::SetForegroundWindow(dialog);
      PressKey(row.key);
      if (HWND error = row.key == VK_ESCAPE ? WaitForWindow(L"#32770", L"Quorvex Ingenieros", 3000) : nullptr) {
        seen += L" " + MessageBoxText(error);
        PressKey(VK_RETURN);
      }
    }, IDOK, 3000);
    PumpMessages(100);
    EXPECT_EQ(row.seen, seen);
    EXPECT_EQ(row.pair, ReadLocale(LOCALE_SDECIMAL) + ReadLocale(LOCALE_STHOUSAND));
    EXPECT_EQ(row.key == VK_ESCAPE ? closes + 1 : closes, HostWindow::closeRequests) << "WM_CLOSE to the host";
    host_->FocusEdit();
    EXPECT_EQ(row.keypad, Keypad());
    SetIntlKeyDec(control.get(), false);
  }
  EXPECT_FALSE(Warned(control.get())) << "different separators show nothing";
  SetIntlKeyDec(control.get(), false);
}

}  // namespace
}  // namespace qvxtest
