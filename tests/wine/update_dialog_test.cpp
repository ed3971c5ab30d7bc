// The update dialogs as a user meets them in a host (Wine's AtlAxWin), against the reference update server.
#include <atomic>
#include "common/deployment_settings.h"
#include "common/maker_registry.h"
#include "framework/module_state.h"
#include "mail/customer_data.h"
#include "qvx_test.h"
#include "update/dlg_info_update.h"

namespace {

using namespace qvxtest;

#ifdef QVX_HOST_CURRENT
constexpr bool kCurrent = true;  // programs.rc: 4.2.5.0, else "4, 1, 0, 0"
#else
constexpr bool kCurrent = false;
#endif
const wchar_t kInfo[] = L"Información de actualización", kProperties[] = L"Propiedades de actualización";
const std::wstring kGroup = L"QvxTestApp - Quorvex Prueba|", kInstalled = kCurrent ? L"4.2.5.0|" : L"4,1,0,0|";

// The information dialog as "group|state|installed|latest|error" ("reason" when shown), then closed.
void ReadInfo(HWND dialog, std::wstring& seen) {
  for (int id : {319, 314, 315, 316}) seen += WindowText(::GetDlgItem(dialog, id)) + L"|";
  HWND error = ::GetDlgItem(dialog, 318);
  seen += WindowText(error).empty() ? L"" : ::IsWindowVisible(error) ? L"reason" : L"hidden reason";
  ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

// A host's timer calls the control while the start-up dialog runs its modal loop.
std::atomic<bool> g_answered{false};
std::wstring g_nested;
void CALLBACK CallDuringStartup(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND frame = ::FindWindowExW(::FindWindowW(L"STATIC", L"host"), nullptr, L"STATIC", L"frame");
  com_ptr<IDispatch> control = AtlControl(::FindWindowExW(frame, nullptr, L"AtlAxWin", nullptr));
  if (!control || !ShownDialog(kInfo)) return;
  ::KillTimer(nullptr, timer);
  g_nested = CallText(control.get(), L"ConvertFltToIntlStr", {Var(1234.5).v, Var(2L).v, Var(0L).v});
  g_answered = true;
}

class UpdateDialogs : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(0, Port("normal")) << "QVX_UPDATE_SERVERS must name the servers' list"; }
  static int Port(const char* mode) { return ServerPort("QVX_UPDATE_SERVERS", mode); }
  void Prefer(DWORD autoUpdate, DWORD showUpdateErr, const char* mode) {
    prefs_.Set("AutoUpdate", REG_DWORD, &autoUpdate, sizeof autoUpdate);
    prefs_.Set("ShowUpdateErr", REG_DWORD, &showUpdateErr, sizeof showUpdateErr);
    deployment_.SetText("UpdateServer", "127.0.0.1:" + std::to_string(Port(mode)));
  }
  // The properties, opened from the host's menu item, answered by user().
  void ChooseUpdateItem(const std::function<void(HWND)>& user) {
    AtlHost host;
    WithDialog(kProperties, [&] {
      ::PostMessageW(host.main.get(), WM_COMMAND, 65534, 0);
      PumpMessages(300);
    }, user);
  }
  ComScope com_;
  ScratchKey deployment_{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey prefs_{HKEY_CURRENT_USER, std::string(qvx::kDeploymentKey) + "\\QVXTESTAPP"};
};

// At start-up, and from the properties at once.
TEST_F(UpdateDialogs, ServerChecks) {
  const struct { const char* mode; DWORD showUpdateErr; std::wstring seen; } rows[] = {  // seen "": no dialog
      {"normal", 1, kCurrent ? L"" : kGroup + L"Desactualizado|" + kInstalled + L"4.2.5.0|"},
      {"refused", 0, L""},
      {"refused", 1, kGroup + L"Sin comprobar|" + kInstalled + L"|reason"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.mode) + " ShowUpdateErr " + std::to_string(row.showUpdateErr));
    Prefer(1, row.showUpdateErr, row.mode);
    g_nested.clear(), g_answered = false;
    const ScopedNumberSettings spanish(kSpanish);
    std::wstring seen;
    WithDialog(kInfo, [] {
      const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CallDuringStartup);
      AtlHost host;
      ::KillTimer(nullptr, timer);
    }, [&](HWND dialog) {
      WaitUntil([] { return g_answered.load(); }, 5000);
      SaveScreenshot(dialog, ("info-" + std::string(row.mode) + std::to_string(row.showUpdateErr)).c_str());
      ReadInfo(dialog, seen);
    }, IDOK);
    EXPECT_EQ(row.seen, seen);
    EXPECT_EQ(row.seen.empty() ? L"" : L"1234,50", g_nested) << "a call inside the dialog's loop";
  }
  // "..." in the properties asks the server at once and shows the outcome, up to date too.
  Prefer(0, 0, "normal");
  std::wstring info;
  ChooseUpdateItem([&](HWND dialog) {
    WithDialog(kInfo, [&] { ::SendMessageW(::GetDlgItem(dialog, 311), BM_CLICK, 0, 0); },
               [&](HWND shown) { ReadInfo(shown, info); }, IDOK);
    ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(kGroup + (kCurrent ? L"Actualizado|" : L"Desactualizado|") + kInstalled + L"4.2.5.0|", info);
}

// Unchecking 310 disables 312 and keeps its mark; "Aceptar" stores both.
TEST_F(UpdateDialogs, Properties) {
  Prefer(0, 0, "refused");
  std::wstring steps;
  ChooseUpdateItem([&](HWND dialog) {
    SaveScreenshot(dialog, "properties");
    HWND autoUpdate = ::GetDlgItem(dialog, 310), showErr = ::GetDlgItem(dialog, 312);
    for (HWND click : {dialog, autoUpdate, showErr, autoUpdate}) {
      if (click != dialog) ::SendMessageW(click, BM_CLICK, 0, 0);
      steps += std::to_wstring(::SendMessageW(autoUpdate, BM_GETCHECK, 0, 0)) +
               (::IsWindowEnabled(showErr) ? L"+" : L"-") + std::to_wstring(::SendMessageW(showErr, BM_GETCHECK, 0, 0)) + L" ";
    }
    ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(L"0-0 1+0 1+1 0-1 ", steps) << "310 checked, enabled (+) or not, 312 checked";
  EXPECT_EQ(std::string("\0\0\0\0", 4), prefs_.Get("AutoUpdate"));
  EXPECT_EQ(std::string("\1\0\0\0", 4), prefs_.Get("ShowUpdateErr"));
}

// Blanks in the latest version go; the request form gets the texts and shows its icon; cancelled, the dialog stays.
TEST(UpdateInfoDialog, BlanksAndTheRequestForm) {
  ScratchKey first{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, qvx::MakerRegistryView()};
  ScratchKey second{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, qvx::MakerRegistryView()};
  qvx::fw::unique_hmodule module{::LoadLibraryW(ModulePath().c_str())};
  qvx::fw::SetResourceHandle(module.get());
  qvx::update::CDlgInfoUpdate dialog;
  dialog.m_csAppName = "QvxTestApp";
  dialog.m_csUpdateVersion = "4 . 2 . 5 . 0";
  std::wstring form, latest;
  WithDialog(kInfo, [&] { dialog.DoModal(); }, [&](HWND info) {
    WithDialog(L"Solicitud de actualización", [&] { ::SendMessageW(::GetDlgItem(info, 317), BM_CLICK, 0, 0); },
               [&](HWND request) {
                 form = WindowText(::GetDlgItem(request, 1041)) + L" " + WindowText(::GetDlgItem(request, 316));
                 if (!ShowsIcon(::GetDlgItem(request, 320))) form += L" without its icon";
                 ::PostMessageW(request, WM_COMMAND, IDCANCEL, 0);
               });
    latest = (::IsWindowVisible(info) ? L"open " : L"closed ") + WindowText(::GetDlgItem(info, 316));
    ::PostMessageW(info, WM_COMMAND, IDOK, 0);
  });
  qvx::fw::SetResourceHandle(nullptr);
  EXPECT_EQ(L"open 4.2.5.0", latest);
  EXPECT_EQ(L"QvxTestApp 4.2.5.0", form);
}

}  // namespace
