// The download dialog end to end against the reference update server, a user thread driving its windows.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <sstream>

#include "common/deployment_settings.h"
#include "common/folder_lookup.h"
#include "common/maker_registry.h"
#include "common/request_encoding.h"
#include "mail/customer_data.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

constexpr int kOk = 337, kCancel = 339, kCheck = 340, kHelp = 323, kResult = 336, kProgress = 330;

// Steps split by "|": "=text" waits for the result text, ok/cancel/check/help click, esc/f1 press, "link:ID" takes
// a link by keyboard, yes/no answer the question, "shot:", "~ms", "key:"/"number:" type, "pos:N" waits for the
// progress, "top:N"/"box:N" expect its range and the check box shown. What went wrong is noted.
void Follow(HWND dialog, const std::string& script, std::string& notes) {
  std::istringstream steps(script);
  for (std::string step; std::getline(steps, step, '|');) {
    const std::string arg = step.substr(step.find(':') + 1);
    const auto result = [&] { return NarrowText(WindowText(::GetDlgItem(dialog, kResult))); };
    const auto position = [&] { return ::SendDlgItemMessageW(dialog, kProgress, PBM_GETPOS, 0, 0); };
    if (step[0] == '=') {
      if (!WaitUntil([&] { return result().find(step.substr(1)) != std::string::npos; }, 8000))
        notes += "[" + step.substr(1) + "? " + result() + "]";
    } else if (step == "ok" || step == "cancel" || step == "check") {
      // The button's own click: real pointer clicks were lost now and then under Xvfb.
      ::Sleep(300);
      ::PostMessageW(::GetDlgItem(dialog, step == "ok" ? kOk : step == "cancel" ? kCancel : kCheck), BM_CLICK, 0, 0);
    } else if (step == "help") {
      ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(kHelp, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(dialog, kHelp)));
      ::Sleep(300);
    } else if (step == "esc" || step == "f1" || step.rfind("link:", 0) == 0) {
      if (step[0] == 'l')  // the dialog's own focus move, as the Tab key makes it
        ::PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, std::stoi(arg))), TRUE);
      ::Sleep(200);
      ::SetForegroundWindow(dialog);
      PressKey(step == "esc" ? VK_ESCAPE : step == "f1" ? VK_F1 : VK_RETURN);
      ::Sleep(300);
    } else if (step.rfind("top:", 0) == 0 || step.rfind("box:", 0) == 0) {
      const LRESULT seen = step[0] == 't' ? ::SendDlgItemMessageW(dialog, kProgress, PBM_GETRANGE, FALSE, 0)
                                          : ::IsWindowVisible(::GetDlgItem(dialog, kCheck));
      if (seen != std::stoi(arg)) notes += "[" + step.substr(0, 3) + " " + std::to_string(seen) + "]";
    } else if (step == "yes" || step == "no") {
      HWND question = WaitForWindow(L"#32770", L"Quorvex Ingenieros", 3000);
      if (!question) notes += "[no question]";
      else ::PostMessageW(question, WM_COMMAND, step == "yes" ? IDYES : IDNO, 0);
      ::Sleep(300);
    } else if (step[0] == '~') {
      ::Sleep(std::stoul(step.substr(1)));
    } else if (step.rfind("key:", 0) == 0 || step.rfind("number:", 0) == 0) {
      ::SetDlgItemTextA(dialog, step[0] == 'k' ? 3002 : 1040, arg.c_str());
    } else if (step.rfind("shot:", 0) == 0) {
      ::Sleep(300);
      SaveScreenshot(dialog, arg.c_str());
    } else if (step.rfind("pos:", 0) == 0 && !WaitUntil([&] { return position() >= std::stoi(arg); }, 8000)) {
      notes += "[pos " + std::to_string(position()) + "]";
    }
  }
}

class AutoUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(0, Port("normal")) << "QVX_UPDATE_SERVERS must name the servers' list";
    ::CreateDirectoryA(temp_.c_str(), nullptr);
    ::SetEnvironmentVariableA("TMP", temp_.c_str());
    folders_.SetText(qvx::kFolderComponentesComunes, TestFile("common"));
  }
  static int Port(const std::string& mode) { return ServerPort("QVX_UPDATE_SERVERS", mode); }
  // A customer record (number 1234, key ClaveSecreta).
  void Record(const ScratchKey& key) {
    key.SetText("Numero", "1234");
    key.SetText("Nombre", "Ana");
    key.Set("Flags", REG_DWORD, "\4\0\0\0", 4);
    const std::string stored = qvx::ScrambleText("ClaveSecreta");
    key.Set("DataBin", REG_BINARY, stored.c_str(), stored.size() + 1);
  }
  // The result, the auto-check flag and the texts (set to "-" before), then what went wrong.
  std::string Run(const std::string& method, const std::string& mode, const std::string& program,
                  const std::string& script, const wchar_t* extension = L"", bool check = true) {
    settings_.SetText("UpdateServer", "127.0.0.1:" + std::to_string(Port(mode)));
    com_ptr<IDispatch> control = CreateControl();
    if (!control) return "<no control>";
    VARIANT_BOOL flag = check ? VARIANT_TRUE : VARIANT_FALSE;
    BSTR outs[4] = {};
    const size_t texts = method == "AutoUpdate" ? 3 : 4;
    const std::string full = TestFile(program.c_str());
    Var app(std::wstring(full.begin(), full.end()).c_str()), ext(extension);
    std::vector<VARIANT> args = {app.v};
    if (method == "AutoUpdateExt2") args.push_back(ext.v);
    if (texts == 4) args.emplace_back(), V_VT(&args.back()) = VT_BYREF | VT_BOOL, V_BOOLREF(&args.back()) = &flag;
    for (size_t i = 0; i < texts; ++i) {
      outs[i] = ::SysAllocString(L"-");
      args.emplace_back(), V_VT(&args.back()) = VT_BYREF | VT_BSTR, V_BSTRREF(&args.back()) = &outs[i];
    }
    std::string notes;
    Var result;
    HRESULT hr = E_FAIL;
    const std::wstring name(method.begin(), method.end());
    const std::string driver =
        WithDialog(L"Descargar actualización", [&] { hr = CallByName(control.get(), name.c_str(), args, &result.v); },
                   [&](HWND dialog) { Follow(dialog, script, notes); }, MAKEWPARAM(kCancel, BN_CLICKED), 40000);
    std::string out = hr != S_OK ? "hr" : V_BOOL(&result.v) ? "TRUE" : "FALSE";
    if (texts == 4) out += std::string(" check=") + (flag ? "1" : "0");
    for (size_t i = 0; i < texts; ++i) {
      std::string text = outs[i] ? NarrowText(outs[i]) : "<null>";
      if (text.rfind(temp_, 0) == 0) text = "TEMP\\" + text.substr(temp_.size());
      out += " [" + text + "]";
      ::SysFreeString(outs[i]);
    }
    return out + notes + driver;
  }
  std::string Temp(const char* name) const { return FileBytes(temp_ + name); }

  ComScope com_;
  const std::string temp_ = TestFile("temp\\");
  ScratchKey settings_{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey customer_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, qvx::MakerRegistryView()};
  ScratchKey fallback_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, qvx::MakerRegistryView()};
  ScratchKey folders_{HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, qvx::MakerRegistryView()};
};

const std::string kApp = "QvxTestApp.exe", kAvailable = "=Haga clic en [Descargar]", kDone = "=se descarg";
const std::string kVersions = " [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]", kKept = " [] []" + kVersions, kNothing = " [] [] [-] [-]";

// Each row's outcome, then what the test's browser and HTML Help stand-in were asked to open.
TEST_F(AutoUpdateTest, Outcomes) {
  const std::string renamed = "Qvx Prueba#1.exe", chm = "help " + TestFile("common\\Ayuda\\Brumo.chm") + " 15 131339\n";
  ::SetEnvironmentVariableA("QVX_OPENED", (temp_ + "opened.txt").c_str());
  const HMODULE help = ::LoadLibraryA(TestFile("help\\hhctrl.ocx").c_str());  // before the module asks by name
  ASSERT_NE(nullptr, help);
  // Wine's shell takes the http handler from the machine's classes only: the test's browser for a while.
  const char kBrowser[] = "Software\\Classes\\http\\shell\\open\\command";
  char wine[MAX_PATH * 2] = {};
  DWORD size = sizeof wine;
  ::RegGetValueA(HKEY_LOCAL_MACHINE, kBrowser, nullptr, RRF_RT_REG_SZ, nullptr, wine, &size);
  auto browse = [&](const std::string& command) {
    ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, kBrowser, nullptr, REG_SZ, command.c_str(), DWORD(command.size() + 1));
  };
  browse("\"" + TestFile("noversion.exe") + "\" \"%1\"");
  ::CopyFileA(TestFile(kApp.c_str()).c_str(), TestFile(renamed.c_str()).c_str(), FALSE);
  settings_.SetText("WebHost", "127.0.0.1:9");
  const struct {
    std::string method, mode, program, script, expected;
    const wchar_t* extension = L"";
    bool check = true;
  } rows[] = {
      // Package first (2.1.0.2 installed, 2.1.0.3 offered), then the application; Install ends with IDOK.
      {"AutoUpdateExt", "normal", kApp, kAvailable + "|shot:update-available|box:1|check|ok|" + kDone +
       "|pos:200|shot:downloaded|top:200|ok", "TRUE check=1 [TEMP\\QvxTestApp.msi] [TEMP\\Brumo2103.exe]" + kVersions, L"", false},
      {"AutoUpdateExt2", "normal", kApp, kAvailable + "|ok|" + kDone + "|ok",
       "TRUE check=0 [TEMP\\QvxTestApp.bin] [TEMP\\Brumo2103.bin]" + kVersions, L"bin", false},
      // No check box, no package (a range of 100); any end but IDOK (Cancel's 8) keeps nothing.
      {"AutoUpdate", "normal", kApp, kAvailable + "|box:0|ok|" + kDone + "|top:100|ok",
       "TRUE [TEMP\\QvxTestApp.msi]" + kVersions},
      {"AutoUpdate", "normal", kApp, kAvailable + "|cancel", "FALSE [] [-] [-]"},
      // AutoUpdateExt: the Cancel button keeps the box and the versions; Escape keeps nothing.
      {"AutoUpdateExt", "normal", kApp, kAvailable + "|check|cancel", "TRUE check=0" + kKept},
      {"AutoUpdateExt", "normal", kApp, kAvailable + "|check|esc", "FALSE check=1" + kNothing},
      {"AutoUpdateExt2", "normal", "noversion.exe", "=No se pudo obtener informaci|ok", "FALSE check=1" + kNothing},
      {"AutoUpdateExt2", "status404", kApp, "=(error:404)|shot:query-failed|esc", "FALSE check=1" + kNothing},
      // A server that never answers: Checking, until the query gives up.
      {"AutoUpdateExt2", "silent", kApp, "shot:checking|~9000|=No es posible obtener|esc", "FALSE check=1" + kNothing},
      // A wrong key is refused with the server's text (its <BR> a line end); the fourth ends the dialog.
      {"AutoUpdateExt2", "normal", kApp, "=Descargar]|key:Mala|ok|=son correctos.\r\nRev|ok|~800|=son correctos|ok|~800|"
       "=son correctos|ok|=Numero de intentos|ok", "FALSE check=1" + kNothing},
      // Stopped while slow; Escape is ignored while downloading; Cancel in Downloaded asks, No keeps, Yes ends with 8.
      {"AutoUpdateExt2", "slow", kApp, "=Descargar]|ok|=Descargando Brumo|shot:downloading|esc|ok|=Proceso detenido|ok|"
       "=se descarg|cancel|no|cancel|yes", "TRUE check=1" + kKept},
      // Half the package's announced bytes, then a close: no file is left under its name (checked below).
      {"AutoUpdateExt2", "shortdownload", kApp, "=Descargar]|ok|=Error al guardar la actualizaci|shot:download-failed|cancel",
       "TRUE check=1" + kKept},
      // The links open the release notes with the shell (the address carries its scheme), from the keyboard.
      {"AutoUpdateExt2", "normal", kApp, kAvailable + "|link:345|esc",
       "FALSE check=1" + kNothing + "open http://127.0.0.1:9/download/updatepdf/QvxTestApp.pdf\n"},
      {"AutoUpdateExt2", "normal", renamed, "=(error:404)|link:343|esc",
       "FALSE check=1" + kNothing + "open http://127.0.0.1:9/download/updatepdf/Qvx%20Prueba%231.pdf\n"},
      // F1 and the hidden Help button ask HTML Help for the dialog's context.
      {"AutoUpdateExt2", "normal", kApp, kAvailable + "|f1|help|esc", "FALSE check=1" + kNothing + chm + chm},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.method + " " + row.mode + " " + row.script);
    ::DeleteFileA((temp_ + "opened.txt").c_str());
    Record(customer_);
    const std::string ended = Run(row.method, row.mode, row.program, row.script, row.extension, row.check);
    auto seen = [&] { return ended + (Temp("opened.txt") == "<none>" ? "" : Temp("opened.txt")); };
    WaitUntil([&] { return seen() == row.expected; }, 5000);  // the browser is a process of its own
    EXPECT_EQ(row.expected, seen());
  }
  EXPECT_EQ(FileBytes(TestFile("..\\..\\update-servers\\release\\apps\\QvxTestApp\\setup.msi")), Temp("QvxTestApp.msi"));
  EXPECT_EQ("<none>", Temp("Brumo2103.exe"));
  browse(wine);
  ::DeleteFileA(TestFile(renamed.c_str()).c_str());
  ::FreeLibrary(help);
}

// The record is rewritten only from the fallback key or for another number; the key typed is always stored.
// A temporary folder whose installer path does not fit in 260 characters is refused before anything is written.
TEST_F(AutoUpdateTest, CustomerRecordAndTemporaryFolder) {
  // The record only in the fallback key, what the user types, the first key after: Numero Nombre Flags, key.
  const struct { bool fallback; const char *typing, *expected; } rows[] = {
      {false, "", "1234 Ana 4 ClaveSecreta"},
      {false, "|number:5678|key:Otra!Clave", "5678 Ana 5 Otra!Clave"},
      {true, "", "1234 Ana 5 ClaveSecreta"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    Record(row.fallback ? fallback_ : customer_);
    Run("AutoUpdateExt2", "normal", kApp, kAvailable + row.typing + "|ok|" + kDone + "|ok");
    const std::string key = customer_.Get("DataBin");
    EXPECT_EQ(row.expected, customer_.Get("Numero").c_str() + std::string(" ") + customer_.Get("Nombre").c_str() +
                                " " + std::to_string(customer_.Get("Flags")[0]) + " " + qvx::DecodeServerText(key.c_str()));
    DeleteKeyTree(HKEY_LOCAL_MACHINE, customer_.path(), qvx::MakerRegistryView());
    DeleteKeyTree(HKEY_LOCAL_MACHINE, fallback_.path(), qvx::MakerRegistryView());
  }
  Record(customer_);
  const std::string deep = temp_ + std::string(250 - temp_.size(), 'd');  // itself fits, the installer not
  ::CreateDirectoryA(deep.c_str(), nullptr);
  ::SetEnvironmentVariableA("TMP", (deep + "\\").c_str());
  EXPECT_EQ("TRUE check=1" + kKept,
            Run("AutoUpdateExt2", "normal", kApp, kAvailable + "|ok|=La ruta de la carpeta temporal es demasiado larga|cancel"));
}

// Temporary folders on disks that refuse the installer (tools/scratch-disks):
// one fills up part way through, one is read-only. The platform's reason
// shows and no file is left behind.
TEST_F(AutoUpdateTest, DisksThatRefuseTheInstaller) {
  const char* disks = std::getenv("QVX_SCRATCH_DISKS");
  ASSERT_TRUE(disks) << "QVX_SCRATCH_DISKS must name the folder of tools/scratch-disks";
  Record(customer_);
  const std::string readonly = std::string(disks) + "\\readonly\\";
  const HANDLE made = ::CreateFileA((readonly + "x").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  const DWORD refused = made == INVALID_HANDLE_VALUE ? ::GetLastError() : (::CloseHandle(made), 0);
  for (const auto& [folder, reason] : {std::pair(std::string(disks) + "\\full\\", DWORD(ERROR_DISK_FULL)),
                                       std::pair(readonly, refused)}) {
    char text[256] = {};
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, reason, 0, text, sizeof text, nullptr);
    const std::string shown = std::string(text).substr(0, std::string(text).find_first_of("\r\n"));
    ASSERT_FALSE(shown.empty()) << reason;
    ::SetEnvironmentVariableA("TMP", folder.c_str());
    EXPECT_EQ("FALSE [] [-] [-]", Run("AutoUpdate", "normal", kApp, kAvailable + "|ok|=" + shown + "|cancel")) << folder;
    EXPECT_EQ("<none>", FileBytes(folder + "QvxTestApp.msi"));
  }
}

}  // namespace
}  // namespace qvxtest
