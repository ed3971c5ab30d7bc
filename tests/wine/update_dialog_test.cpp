// The update information and properties dialogs as a user meets them: the
// control embedded in a host window by Wine's AtlAxWin, its start-up check
// and its menu item, against the reference update server on 127.0.0.1
// (QVX_UPDATE_SERVERS names its list of ports). A second thread reads and
// answers each dialog while the host's thread runs it modally.
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include "common/deployment_settings.h"
#include "common/maker_registry.h"
#include "framework/module_state.h"
#include "mail/customer_data.h"
#include "qvx_test.h"
#include "update/dlg_info_update.h"

namespace {

using namespace qvxtest;

#ifdef QVX_HOST_CURRENT
constexpr bool kHostCurrent = true;  // update_dialog_test.rc: 4.2.5.0, else "4, 1, 0, 0"
#else
constexpr bool kHostCurrent = false;
#endif
const wchar_t kInfo[] = L"Información de actualización", kProperties[] = L"Propiedades de actualización";

int ServerPort(const std::string& mode) { return qvxtest::ServerPort("QVX_UPDATE_SERVERS", mode); }
HWND Shown(const wchar_t* title) { return ShownDialog(title); }

void Snap(HWND window, const std::string& name) { SaveScreenshot(window, name.c_str()); }

struct InfoSeen {
  std::wstring group, state, installed, latest, error;
  bool errorVisible = false;
};

InfoSeen ReadInfo(HWND dialog) {
  auto text = [&](int id) { return WindowText(::GetDlgItem(dialog, id)); };
  return {text(319), text(314), text(315), text(316), text(318), ::IsWindowVisible(::GetDlgItem(dialog, 318)) != 0};
}

// Runs act() on this thread while another waits for a dialog titled title,
// hands it to answer() and then closes it with close; nullopt if none came.
template <typename Act, typename Answer>
std::optional<InfoSeen> WhileShown(const wchar_t* title, Act act, Answer answer, WORD close = IDOK) {
  std::atomic<bool> done{false};
  std::optional<InfoSeen> seen;
  std::thread user([&] {
    for (HWND dialog = nullptr; !done; ::Sleep(20)) {
      if ((dialog = Shown(title)) == nullptr) continue;
      seen = answer(dialog);
      ::PostMessageW(dialog, WM_COMMAND, close, 0);
      while (::IsWindow(dialog)) ::Sleep(20);
    }
  });
  act();
  done = true;
  user.join();
  return seen;
}

// The fixture's host, with the update item chosen as a user chooses it.
struct Host : AtlHost {
  void ChooseUpdateItem() {
    ::PostMessageW(main.get(), WM_COMMAND, 65534, 0);
    PumpMessages(300);
  }
};

// A host's own timer calling the control while the start-up check's dialog
// runs its modal loop: the call is answered there.
std::wstring g_nestedAnswer;
std::atomic<bool> g_answered{false};
void CALLBACK CallDuringStartup(HWND, UINT, UINT_PTR timer, DWORD) {
  com_ptr<IDispatch> control =
      AtlControl(::FindWindowExW(::FindWindowW(L"STATIC", L"host"), nullptr, L"AtlAxWin", nullptr));
  if (!control || !ShownDialog(kInfo)) return;  // not yet in the dialog's loop
  ::KillTimer(nullptr, timer);
  Var value(1234.5), decimals(2L), flags(0L), result;
  if (CallByName(control.get(), L"ConvertFltToIntlStr", {value.v, decimals.v, flags.v}, &result.v) == S_OK)
    g_nestedAnswer = result.Text();
  g_answered = true;
}

class UpdateDialogs : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(0, ServerPort("normal")) << "QVX_UPDATE_SERVERS must name the servers' list"; }
  void Prefer(DWORD autoUpdate, DWORD showUpdateErr, const std::string& mode) {
    prefs_.Set("AutoUpdate", REG_DWORD, &autoUpdate, sizeof autoUpdate);
    prefs_.Set("ShowUpdateErr", REG_DWORD, &showUpdateErr, sizeof showUpdateErr);
    deployment_.SetText("UpdateServer", "127.0.0.1:" + std::to_string(ServerPort(mode)));
  }

  ComScope com_;
  ScratchKey deployment_{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey prefs_{HKEY_CURRENT_USER, std::string(qvx::kDeploymentKey) + "\\QVXTESTAPP"};
};

TEST_F(UpdateDialogs, StartupCheck) {
  const struct Row {
    const char* mode;
    DWORD showUpdateErr;
    const wchar_t* state;  // nullptr: no dialog
  } rows[] = {
      {"normal", 1, kHostCurrent ? nullptr : L"Desactualizado"},
      {"refused", 0, nullptr},
      {"refused", 1, L"Sin comprobar"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.mode) + " ShowUpdateErr " + std::to_string(row.showUpdateErr));
    Prefer(1, row.showUpdateErr, row.mode);
    g_nestedAnswer.clear(), g_answered = false;
    const ScopedNumberSettings spanish(kSpanish);
    const auto seen = WhileShown(kInfo, [] {
      const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CallDuringStartup);
      Host host;
      ::KillTimer(nullptr, timer);
    }, [&](HWND dialog) {
      WaitUntil([] { return g_answered.load(); }, 5000);
      Snap(dialog, std::string("info-") + row.mode + std::to_string(row.showUpdateErr));
      return ReadInfo(dialog);
    });
    ASSERT_EQ(row.state != nullptr, seen.has_value());
    if (!seen) continue;
    EXPECT_EQ(row.state, seen->state);
    EXPECT_EQ(L"1234,50", g_nestedAnswer) << "a call inside the dialog's loop";
    EXPECT_EQ(L"QvxTestApp - Quorvex Prueba", seen->group);
    EXPECT_EQ(kHostCurrent ? L"4.2.5.0" : L"4,1,0,0", seen->installed) << "without the blanks";
    const bool failed = std::string(row.mode) == "refused";
    EXPECT_EQ(failed ? L"" : L"4.2.5.0", seen->latest);
    EXPECT_EQ(failed, seen->errorVisible);
    EXPECT_EQ(failed, !seen->error.empty()) << "the query's reason";
  }
}

// Unchecking 310 disables 312 and keeps its mark; "Aceptar" stores both.
TEST_F(UpdateDialogs, PropertiesKeepTheShowErrorsMark) {
  Prefer(0, 0, "refused");
  Host host;
  std::wstring steps;
  WhileShown(kProperties, [&] { host.ChooseUpdateItem(); }, [&](HWND dialog) {
    HWND autoUpdate = ::GetDlgItem(dialog, 310), showErr = ::GetDlgItem(dialog, 312);
    auto step = [&] {
      steps += std::to_wstring(::SendMessageW(autoUpdate, BM_GETCHECK, 0, 0)) +
               (::IsWindowEnabled(showErr) ? L"+" : L"-") +
               std::to_wstring(::SendMessageW(showErr, BM_GETCHECK, 0, 0)) + L" ";
    };
    step();
    Snap(dialog, "properties");
    for (HWND click : {autoUpdate, showErr, autoUpdate}) ::SendMessageW(click, BM_CLICK, 0, 0), step();
    return InfoSeen{};
  });
  EXPECT_EQ(L"0-0 1+0 1+1 0-1 ", steps) << "310 checked, enabled (+) or not, 312 checked";
  EXPECT_EQ(std::string("\0\0\0\0", 4), prefs_.Get("AutoUpdate"));
  EXPECT_EQ(std::string("\1\0\0\0", 4), prefs_.Get("ShowUpdateErr"));
}

// "..." asks the server at once and shows the outcome, up to date too.
TEST_F(UpdateDialogs, CheckNowFromProperties) {
  Prefer(0, 0, "normal");
  Host host;
  std::optional<InfoSeen> info;
  WhileShown(kProperties, [&] { host.ChooseUpdateItem(); }, [&](HWND dialog) {
    info = WhileShown(kInfo, [&] { ::SendMessageW(::GetDlgItem(dialog, 311), BM_CLICK, 0, 0); }, ReadInfo);
    return InfoSeen{};
  });
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(kHostCurrent ? L"Actualizado" : L"Desactualizado", info->state);
}

// A latest version with blanks is shown without them; "Solicitar
// Actualización" opens the request form with the dialog's texts and its
// icon, and a form cancelled leaves the dialog open.
TEST(UpdateInfoDialog, BlanksAndTheRequestForm) {
  ScratchKey first{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, qvx::MakerRegistryView()};
  ScratchKey second{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, qvx::MakerRegistryView()};
  qvx::fw::unique_hmodule module{::LoadLibraryW(ModulePath().c_str())};
  qvx::fw::SetResourceHandle(module.get());
  qvx::update::CDlgInfoUpdate dialog;
  dialog.m_csAppName = "QvxTestApp";
  dialog.m_csUpdateVersion = "4 . 2 . 5 . 0";
  std::wstring form;
  bool stayed = false, iconDrawn = false;
  const auto seen = WhileShown(kInfo, [&] { dialog.DoModal(); }, [&](HWND info) {
    WhileShown(L"Solicitud de actualización", [&] { ::SendMessageW(::GetDlgItem(info, 317), BM_CLICK, 0, 0); },
               [&](HWND request) {
                 form = WindowText(::GetDlgItem(request, 1041)) + L" " + WindowText(::GetDlgItem(request, 316));
                 HWND icon = ::GetDlgItem(request, 320);
                 iconDrawn = WaitUntil([&] { return PixelsUnlike(icon, BackgroundOf(request)) > 0; }, 5000);
                 return InfoSeen{};
               }, IDCANCEL);
    stayed = ::IsWindowVisible(info) != 0;
    return ReadInfo(info);
  });
  qvx::fw::SetResourceHandle(nullptr);
  EXPECT_EQ(L"4.2.5.0", seen.value_or(InfoSeen{}).latest);
  EXPECT_EQ(L"QvxTestApp 4.2.5.0", form);
  EXPECT_TRUE(stayed);
  EXPECT_TRUE(iconDrawn) << "the form's icon";
}

}  // namespace
