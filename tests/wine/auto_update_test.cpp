// The download dialog end to end: AutoUpdateExt2 called by name on the
// registered control while a user thread drives the dialog through its
// windows (clicks, keys, texts read back) against the reference update
// server (QVX_UPDATE_SERVERS, as the version query tests). The customer
// store, the folder table and the temporary folder are the test's own.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "common/maker_registry.h"
#include "common/request_encoding.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

constexpr wchar_t kCaption[] = L"Descargar actualización";

std::string Here() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

int Port(const std::string& mode) { return ServerPort("QVX_UPDATE_SERVERS", mode); }

class AutoUpdateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(0, Port("normal")) << "QVX_UPDATE_SERVERS must name the servers' list";
    ::CreateDirectoryA(temp_.c_str(), nullptr);
    ::SetEnvironmentVariableA("TMP", temp_.c_str());
    folders_.SetText("Componentes Comunes", Here() + "common");
  }
  void Customer(const std::string& number, const std::string& key) {
    customer_.SetText("Numero", number);
    const std::string stored = qvx::ScrambleText(key);
    customer_.Set("DataBin", REG_BINARY, stored.c_str(), stored.size() + 1);
  }
  // AutoUpdateExt2 on program against mode's server, the user following script.
  // The auto-check flag goes in set; it comes back set only through the box.
  std::string Run(const std::string& mode, const std::string& program, const std::string& script) {
    settings_.SetText("UpdateServer", "127.0.0.1:" + std::to_string(Port(mode)));
    com_ptr<IDispatch> control = CreateControl();
    if (!control) return "<no control>";
    VARIANT_BOOL check = VARIANT_TRUE;
    BSTR outs[4] = {::SysAllocString(L"-"), ::SysAllocString(L"-"), ::SysAllocString(L"-"), ::SysAllocString(L"-")};
    const std::string full = Here() + program;
    Var app(std::wstring(full.begin(), full.end()).c_str());
    Var ext(L"");
    std::vector<VARIANT> args(7);
    args[0] = app.v, args[1] = ext.v;
    V_VT(&args[2]) = VT_BYREF | VT_BOOL, V_BOOLREF(&args[2]) = &check;
    for (int i = 0; i < 4; ++i) V_VT(&args[3 + i]) = VT_BYREF | VT_BSTR, V_BSTRREF(&args[3 + i]) = &outs[i];
    std::string seen;
    std::thread user([&] { seen = DriveDialog(kCaption, script); });
    Var result;
    const HRESULT hr = CallByName(control.get(), L"AutoUpdateExt2", args, &result.v);
    user.join();
    std::string out = hr != S_OK ? "hr" : V_BOOL(&result.v) ? "TRUE" : "FALSE";
    out += std::string(" check=") + (check ? "1" : "0");
    for (BSTR b : outs) {
      std::wstring text = b ? b : L"<null>";
      const size_t cut = text.find(std::wstring(temp_.begin(), temp_.end()));
      if (cut != std::wstring::npos) text = L"TEMP\\" + text.substr(cut + temp_.size());
      out += " [" + NarrowText(text) + "]";
      ::SysFreeString(b);
    }
    return out + seen;
  }
  std::string Temp(const char* name) const { return FileBytes(temp_ + name); }
  // tests/scripts/auto_update.vbs with arguments, run by cscript as a child
  // process against the normal server while this thread is the user: the
  // line it printed (temporary folder as TEMP\) and what went wrong.
  std::string RunScript(const std::string& arguments, const std::string& script) {
    settings_.SetText("UpdateServer", "127.0.0.1:" + std::to_string(Port("normal")));
    const std::string printed = temp_ + "printed.txt";
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    qvx::fw::unique_handle_kernel out(::CreateFileA(printed.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                                    CREATE_ALWAYS, 0, nullptr));
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = start.hStdError = out.get();
    const char* scripts = std::getenv("QVX_SCRIPTS");
    if (scripts == nullptr) return "<QVX_SCRIPTS not set>";
    std::string command = "cscript //nologo \"" + std::string(scripts) + "\\auto_update.vbs\" " + arguments;
    PROCESS_INFORMATION child = {};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &child))
      return "<no cscript>";
    out.reset();
    qvx::fw::unique_handle_kernel process(child.hProcess), thread(child.hThread);
    std::string notes = DriveDialog(kCaption, script);
    if (::WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0) {
      ::TerminateProcess(process.get(), 1);
      notes += "[script still running]";
    }
    std::string line = FileBytes(printed);
    line.erase(line.find_last_not_of("\r\n") + 1);
    for (size_t at; (at = line.find(temp_)) != std::string::npos;) line.replace(at, temp_.size(), "TEMP\\");
    return line + notes;
  }

  ComScope com_;
  const std::string temp_ = Here() + "temp\\";
  ScratchKey settings_{HKEY_CURRENT_USER, "Software\\Quorvex\\QuorvexIntl"};
  ScratchKey customer_{HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvex\\DatosCliente", qvx::MakerRegistryView()};
  ScratchKey fallback_{HKEY_LOCAL_MACHINE, "SOFTWARE\\Ostrafell\\DatosCliente", qvx::MakerRegistryView()};
  ScratchKey folders_{HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvex\\Carpetas", qvx::MakerRegistryView()};
};

const char kApp[] = "QvxTestApp.exe";
const std::string kAvailable = "=Haga clic en [Descargar]", kDone = "=se descarg";

TEST_F(AutoUpdateTest, Outcomes) {
  const struct {
    const char *mode, *program, *key, *script, *expected;
  } rows[] = {
      // Package first (2.1.0.2 installed, 2.1.0.3 offered), then the application; Install ends with IDOK.
      {"normal", kApp, "ClaveSecreta", "=Haga clic en [Descargar]|shot:update-available|ok|=se descarg|pos:200|shot:downloaded|ok",
       "TRUE check=1 [TEMP\\QvxTestApp.msi] [TEMP\\Brumo2103.exe] [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]"},
      {"normal", "noversion.exe", "", "=No se pudo obtener informaci|ok", "FALSE check=1 [] [] [-] [-]"},
      {"status404", kApp, "", "=(error:404)|shot:query-failed|esc", "FALSE check=1 [] [] [-] [-]"},
      // Decided: a reply without a Content-Length cannot prove it is whole and is refused.
      {"nolength", kApp, "ClaveSecreta", "=Descargar]|ok|=Error al guardar la actualizaci|shot:download-failed|cancel",
       "TRUE check=1 [] [] [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]"},
      {"normal", kApp, "ClaveSecreta", "=Descargar]|key:Mala|ok|=son correctos.\r\nRev|ok|~800|=son correctos|ok|~800|=son correctos|ok|=Numero de intentos|ok",
       "FALSE check=1 [] [] [-] [-]"},
      // Stopped while slow; Escape is ignored while downloading; Cancel in Downloaded asks, No keeps, Yes ends with 8.
      {"slow", kApp, "ClaveSecreta", "=Descargar]|ok|=Descargando Brumo|shot:downloading|esc|ok|=Proceso detenido|ok|=se descarg|cancel|no|cancel|yes",
       "TRUE check=1 [] [] [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]"},
      // Half the package's announced bytes, then a close: no file is left under its name (checked below).
      {"shortdownload", kApp, "ClaveSecreta", "=Descargar]|ok|=Error al guardar la actualizaci|cancel",
       "TRUE check=1 [] [] [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.mode) + " " + row.script);
    Customer("1234", row.key);
    EXPECT_EQ(row.expected, Run(row.mode, row.program, row.script));
  }
  EXPECT_EQ(FileBytes(Here() + "..\\..\\update-servers\\release\\apps\\QvxTestApp\\setup.msi"), Temp("QvxTestApp.msi"));
  EXPECT_EQ("<none>", Temp("Brumo2103.exe"));
}

}  // namespace
}  // namespace qvxtest

namespace qvxtest {
namespace {

// A server that takes the request and never answers: the dialog shows
// Checking, then the query gives up and the dialog answers again.
TEST_F(AutoUpdateTest, SilentServer) {
  Customer("1234", "ClaveSecreta");
  EXPECT_EQ("FALSE check=1 [] [] [-] [-]", Run("silent", kApp, "shot:checking|~9000|=No es posible obtener|esc"));
}

}  // namespace
}  // namespace qvxtest

namespace qvxtest {
namespace {

std::string Dword(const std::string& bytes) {
  return bytes.size() == 4 ? std::to_string(*reinterpret_cast<const DWORD*>(bytes.data())) : bytes;
}

// After a download: the record is rewritten (entered number, flags bit 0)
// only when it came from the fallback key or held another number; the key
// typed is always stored, scrambled.
TEST_F(AutoUpdateTest, CustomerRecordAfterDownload) {
  const struct {
    bool first;         // the record is in the first key (else only in the fallback key)
    const char* typed;  // the number the user types ("" keeps the one shown)
    const char* expected;  // first key afterwards: Numero Nombre Flags, and the stored key
  } rows[] = {
      {true, "", "1234 Ana 4 ClaveSecreta"},        // unchanged record, flags untouched
      {true, "5678", "5678 Ana 5 Otra!Clave"},       // another customer: rewritten, bit 0 set
      {false, "", "1234 Ana 5 ClaveSecreta"},       // from the fallback key: written to the first
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.expected);
    const ScratchKey& source = row.first ? customer_ : fallback_;
    const std::string key = *row.typed ? "Otra!Clave" : "ClaveSecreta";
    if (!row.first) DeleteKeyTree(HKEY_LOCAL_MACHINE, customer_.path(), qvx::MakerRegistryView());
    source.SetText("Numero", "1234");
    source.SetText("Nombre", "Ana");
    const DWORD flags = 4;
    source.Set("Flags", REG_DWORD, &flags, sizeof flags);
    const std::string stored = qvx::ScrambleText("ClaveSecreta");
    source.Set("DataBin", REG_BINARY, stored.c_str(), stored.size() + 1);
    const std::string typing = *row.typed ? std::string("|number:") + row.typed + "|key:" + key : "";
    Run("normal", kApp, kAvailable + typing + "|ok|" + kDone + "|ok");
    const std::string dataBin = customer_.Get("DataBin");
    EXPECT_EQ(row.expected, customer_.Get("Numero").c_str() + std::string(" ") + customer_.Get("Nombre").c_str() +
                                " " + Dword(customer_.Get("Flags")) + " " +
                                qvx::DecodeServerText(dataBin.c_str()));
    DeleteKeyTree(HKEY_LOCAL_MACHINE, customer_.path(), qvx::MakerRegistryView());
    DeleteKeyTree(HKEY_LOCAL_MACHINE, fallback_.path(), qvx::MakerRegistryView());
  }
}

// A temporary folder whose installer path does not fit in 260 characters
// is refused before anything is written.
TEST_F(AutoUpdateTest, TemporaryFolderTooLong) {
  Customer("1234", "ClaveSecreta");
  const std::string deep = temp_ + std::string(240, 'd');
  ::CreateDirectoryA(deep.c_str(), nullptr);
  ::SetEnvironmentVariableA("TMP", (deep + "\\").c_str());
  EXPECT_EQ("TRUE check=1 [] [] [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]",
            Run("normal", kApp, kAvailable + "|ok|=La ruta de la carpeta temporal es demasiado larga|cancel"));
}

}  // namespace
}  // namespace qvxtest

namespace qvxtest {
namespace {

// The three methods as a host script calls them, every out-parameter a
// variable of the script, in the order of the call. Texts start as "-":
// one left so was not written. Starting flag, user, and what comes back.
TEST_F(AutoUpdateTest, FromVBScript) {
  const struct {
    std::string method, arguments, script, expected;
  } rows[] = {
      // No check box, no package (a range of 100, not 200); Install ends with IDOK.
      {"AutoUpdate", "\"\" 1", kAvailable + "|box:0|ok|" + kDone + "|top:100|ok",
       " True [TEMP\\QvxTestApp.msi] [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]"},
      // Any end but IDOK (here the Cancel button's 8): an empty installer, versions untouched.
      {"AutoUpdate", "\"\" 1", kAvailable + "|cancel", " False [] [-] [-]"},
      {"AutoUpdateExt", "\"\" 0", kAvailable + "|box:1|check|ok|" + kDone + "|top:200|ok",
       " True True [TEMP\\QvxTestApp.msi] [TEMP\\Brumo2103.exe] [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]"},
      // The Cancel button keeps the box and the versions; Escape keeps nothing.
      {"AutoUpdateExt", "\"\" 1", kAvailable + "|check|cancel", " True False [] [] [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]"},
      {"AutoUpdateExt", "\"\" 1", kAvailable + "|check|esc", " False True [] [] [-] [-]"},
      {"AutoUpdateExt2", "bin 0", kAvailable + "|ok|" + kDone + "|ok",
       " True False [TEMP\\QvxTestApp.bin] [TEMP\\Brumo2103.bin] [4 . 2 . 0 . 0] [4 . 2 . 5 . 0]"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.method + " " + row.arguments + " " + row.script);
    Customer("1234", "ClaveSecreta");
    EXPECT_EQ(row.method + row.expected,
              RunScript(row.method + " \"" + Here() + kApp + "\" " + row.arguments, row.script));
  }
}

// Wine's shell takes the http handler from the machine's classes only (a
// per-user class is not seen there): the test's own is put there for a
// while, and Wine's put back.
class ScopedBrowser {
 public:
  explicit ScopedBrowser(const std::string& command) : saved_(Read()) { Write(command); }
  ~ScopedBrowser() { Write(saved_); }

 private:
  static constexpr char kKey[] = "Software\\Classes\\http\\shell\\open\\command";
  static std::string Read() {
    char text[MAX_PATH * 2] = {};
    DWORD size = sizeof(text);
    return ::RegGetValueA(HKEY_LOCAL_MACHINE, kKey, nullptr, RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS ? text : "";
  }
  static void Write(const std::string& text) {
    ::RegSetKeyValueA(HKEY_LOCAL_MACHINE, kKey, nullptr, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }
  const std::string saved_;
};

// The links open the release notes with the shell's "open" verb, seen
// through a browser registered for http in the test's prefix (a test
// program that notes its arguments); the address carries its own scheme,
// as a host without "www." opens nothing without one. F1 and the hidden
// Help button ask HTML Help for the module's help at the dialog's context,
// seen through a stand-in loaded before the module asks for it by name.
TEST_F(AutoUpdateTest, LinksAndHelp) {
  const std::string opened = temp_ + "opened.txt", renamed = "Qvx Prueba#1.exe";
  ::SetEnvironmentVariableA("QVX_OPENED", opened.c_str());
  const ScopedBrowser browser("\"" + Here() + "noversion.exe\" \"%1\"");
  const HMODULE help = ::LoadLibraryA((Here() + "help\\hhctrl.ocx").c_str());
  ASSERT_NE(nullptr, help);
  ::CopyFileA((Here() + kApp).c_str(), (Here() + renamed).c_str(), FALSE);
  settings_.SetText("WebHost", "127.0.0.1:9");
  const std::string chm = "help " + Here() + "common\\Ayuda\\Brumo.chm 15 131339\n";
  const std::string escaped = "FALSE check=1 [] [] [-] [-]";
  const struct {
    std::string program, script, expected;
  } rows[] = {
      {kApp, kAvailable + "|link:345|esc", "open http://127.0.0.1:9/download/updatepdf/QvxTestApp.pdf\n"},
      {renamed, "=(error:404)|link:343|esc", "open http://127.0.0.1:9/download/updatepdf/Qvx%20Prueba%231.pdf\n"},
      {kApp, kAvailable + "|f1|help|esc", chm + chm},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.program + " " + row.script);
    ::DeleteFileA(opened.c_str());
    Customer("1234", "ClaveSecreta");
    const std::string ended = Run("normal", row.program, row.script);
    // The browser is a process of its own: its line may come a little later.
    WaitUntil([&] { return Temp("opened.txt").size() >= row.expected.size(); }, 5000);
    EXPECT_EQ(row.expected + escaped, Temp("opened.txt") + ended);
  }
  ::DeleteFileA((Here() + renamed).c_str());
  ::FreeLibrary(help);
}

}  // namespace
}  // namespace qvxtest
