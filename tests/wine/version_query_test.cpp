// GetLastAppVersionFromVandrel end to end: the registered control, called by
// name as a host calls it, against the reference update server on 127.0.0.1
// (tools/update-servers as a CTest fixture: QVX_UPDATE_SERVERS names its
// list of "<mode> <port>" lines, and each mode's requests are logged beside
// it). Also the deployment values that point the module at its servers.
// The registry keys used are absent before and after each test.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "common/deployment_settings.h"
#include "common/maker_registry.h"
#include "common/registry_text.h"
#include "common/request_encoding.h"
#include "common/system_info.h"
#include "framework/module_state.h"
#include "mail/customer_data.h"
#include "qvx_test.h"

namespace {

using qvx::MakerRegistryView;
using qvxtest::ScratchKey;

std::string Ansi(BSTR text) {
  char out[512] = {};
  ::WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof(out) - 1, nullptr, nullptr);
  return out;
}

std::string ServersFolder() { return qvxtest::ServersFolder("QVX_UPDATE_SERVERS"); }
int Port(const std::string& mode) { return qvxtest::ServerPort("QVX_UPDATE_SERVERS", mode); }

// One field of the last request that a mode's server logged: "key=value"
// (the log escapes blanks), or the quoted agent.
std::string Logged(const std::string& mode, const std::string& key) {
  std::ifstream in(ServersFolder() + mode + ".log");
  std::string line, last;
  while (std::getline(in, line)) last = line.empty() ? last : line;
  const std::string start = key == "agent" ? " agent=\"" : " " + key + "=";
  const size_t from = last.find(start);
  if (from == std::string::npos) return "<none>";
  const size_t begin = from + start.size();
  return last.substr(begin, (key == "agent" ? last.rfind("\" status=") : last.find(' ', begin)) - begin);
}

// How the log writes a text: printable ASCII as it is (blanks too inside
// quotes), "\" and '"' behind a backslash, other bytes as \xHH.
std::string LogForm(const std::string& text, bool quoted = false) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    char hex[5];
    std::snprintf(hex, sizeof(hex), "\\x%02X", b);
    const bool plain = (b > 0x20 || (b == 0x20 && quoted)) && b < 0x7F;
    out += c == '\\' || c == '"' ? std::string("\\") + c : plain ? std::string(1, c) : hex;
  }
  return out;
}

struct Outcome {
  bool result = false;
  std::string version, error;
  DWORD milliseconds = 0;
};

class VersionQuery : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(0, Port("normal")) << "QVX_UPDATE_SERVERS must name the servers' list"; }

  // A call as a host makes it, with out-parameters that already hold texts:
  // both must come back replaced.
  Outcome Query(const std::string& mode, const std::string& application = "QvxTestApp") {
    user_.SetText("UpdateServer", "127.0.0.1:" + std::to_string(Port(mode)));
    BSTR texts[2] = {::SysAllocString(L"old"), ::SysAllocString(L"old")};
    wchar_t name[64] = {};
    ::MultiByteToWideChar(CP_ACP, 0, application.c_str(), -1, name, 64);
    qvxtest::Var arg(name), result;
    VARIANT refs[2];
    for (int i = 0; i < 2; ++i) V_VT(&refs[i]) = VT_BYREF | VT_BSTR, V_BSTRREF(&refs[i]) = &texts[i];
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(S_OK, qvxtest::CallByName(control_.get(), L"GetLastAppVersionFromVandrel", {arg.v, refs[0], refs[1]},
                                        &result.v));
    Outcome out{V_VT(&result.v) == VT_BOOL && V_BOOL(&result.v) == VARIANT_TRUE, Ansi(texts[0]), Ansi(texts[1]),
                ::GetTickCount() - start};
    for (BSTR text : texts) ::SysFreeString(text);
    return out;
  }

  qvxtest::ComScope com_;
  ScratchKey user_{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey customer_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, MakerRegistryView()};
  ScratchKey customerSecond_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, MakerRegistryView()};
  qvx::fw::com_ptr<IDispatch> control_ = qvxtest::CreateControl();
};

TEST_F(VersionQuery, ServerBehaviours) {
  const struct Row {
    const char* mode;
    const char* version;  // "" when the query fails
    const char* before;   // the error text around the object path; both "" for a system message
    const char* after;
  } rows[] = {
      {"normal", "4.2.5.0", "", ""},
      {"blank", "4.2.5.0", "", ""},  // empty lines before the version
      {"slow", "4.2.5.0", "", ""},   // the body in pieces with pauses
      {"empty", "", "Fallo lectura de ", ""},
      {"short", "", "Fallo lectura de ", ""},  // half a body, then a close: no piece of a version
      {"status404", "", "Petición fallida de ", " (error:404)"},
      {"refused", "", "", ""},
      {"close", "", "", ""},   // closed without a reply
      {"silent", "", "", ""},  // reads the request, never answers
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    const Outcome out = Query(row.mode);
    EXPECT_EQ(*row.version != '\0', out.result);
    EXPECT_EQ(row.version, out.version);
    const std::string before = row.before, after = row.after;
    if (out.result) {
      EXPECT_EQ("", out.error);
    } else if (before.empty()) {
      EXPECT_FALSE(out.error.empty()) << "a failure has a reason";
      EXPECT_LE(out.error.size(), 255u);
      EXPECT_EQ(std::string::npos, out.error.find("/Updates/")) << out.error;
      EXPECT_LT(out.milliseconds, 30000u) << "the host is held no longer than this";  // a requirement, not a speed goal
    } else {
      // The object path as sent: the logged clock, the name, a token over BEL, machine, BEL.
      ASSERT_GT(out.error.size(), before.size() + after.size()) << out.error;
      EXPECT_EQ(after, out.error.substr(out.error.size() - after.size()));
      const std::string head = before + "/Updates/Version?d=" + Logged(row.mode, "d") + "&p=QvxTestApp&code=";
      ASSERT_EQ(head, out.error.substr(0, head.size()));
      const std::string token = out.error.substr(head.size(), out.error.size() - head.size() - after.size());
      EXPECT_EQ("\x07" + qvx::MachineIdentifier() + "\x07", qvx::DecodeRequestText(token).value_or("<bad token>"));
    }
  }
}

TEST_F(VersionQuery, CredentialsAsTheServerDecodesThem) {
  const struct Row {
    const char* number;  // nullptr: no customer data
    std::string storedKey, sentKey;
    bool accepted;
  } rows[] = {
      {nullptr, "", "", true},
      {"1234", qvx::ScrambleText("ClaveSecreta"), "ClaveSecreta", true},
      {"1234", "XYZ", "Error Descodificación", false},  // a damaged stored key; the server refuses it
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sentKey);
    if (row.number) {
      customer_.SetText("Numero", row.number);
      customer_.Set("DataBin", REG_BINARY, row.storedKey.c_str(), static_cast<DWORD>(row.storedKey.size() + 1));
    }
    EXPECT_EQ(row.accepted, Query("normal").result);
    EXPECT_EQ(row.number ? row.number : "", Logged("normal", "number"));
    EXPECT_EQ(qvx::MachineIdentifier(), Logged("normal", "machine"));
    EXPECT_EQ(LogForm(row.sentKey), Logged("normal", "key"));
  }
}

// version_query_test.rc gives this program version 7.1.3.0 and build tag B17.
TEST_F(VersionQuery, UserAgentNamesTheHostProgram) {
  ASSERT_TRUE(Query("normal").result);
  std::string installation;
  qvx::ReadRegistryText(HKEY_LOCAL_MACHINE, "Software\\Quorvex", nullptr, MakerRegistryView(), 260, installation);
  char computer[260] = {}, windows[16];
  DWORD size = sizeof(computer);
  ASSERT_TRUE(::GetComputerNameA(computer, &size));
  std::snprintf(windows, sizeof(windows), "%lX", ::GetVersion());
  EXPECT_EQ(LogForm(std::string("qvx_version_query_tests-WinVer:") + windows + " -ProgVer:7.1.3.0" +
                        (installation.empty() ? "" : "X" + installation) +
                        " -ExtInfo:B17 -IdNM:" + qvx::ScrambleText(computer),
                    true),
            Logged("normal", "agent"));
}

TEST_F(VersionQuery, NamesReachTheServerAsGiven) {
  for (const std::string name : {"QvxTestApp", "Mi App&code=0#1%", "Espa\xF1" "a"}) {
    SCOPED_TRACE(name);
    const Outcome out = Query("normal", name);
    EXPECT_EQ(LogForm(name), Logged("normal", "p"));
    EXPECT_EQ(name == "QvxTestApp", out.result) << "the server knows no other application";
  }
}

// The values read directly, the defaults from the module's string table.
class Deployment : public ::testing::Test {
 protected:
  Deployment() { qvx::fw::SetResourceHandle(resources_.get()); }
  ~Deployment() override { qvx::fw::SetResourceHandle(nullptr); }

  qvx::fw::unique_hmodule resources_{
      ::LoadLibraryExW(qvxtest::ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)};
  ScratchKey user_{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey machine_{HKEY_LOCAL_MACHINE, qvx::kDeploymentKey, MakerRegistryView()};
};

std::string Value(const std::string& name) {
  auto text = [](const qvx::ServerAddress& a) { return a.host + ":" + std::to_string(a.port); };
  return name == "UpdateServer" ? text(qvx::UpdateServer())
         : name == "MailServer" ? text(qvx::MailServer())
         : name == "WebHost"    ? qvx::WebHost()
                                : qvx::SupportMailbox();
}

TEST_F(Deployment, UserThenMachineThenDefault) {
  ASSERT_TRUE(resources_);
  const struct Row {
    const char *name, *user, *machine, *expected;  // nullptr: no such value; "\t" before a text: REG_EXPAND_SZ
  } rows[] = {
      {"UpdateServer", "u:8080", "m", "u:8080"},
      {"UpdateServer", nullptr, "m", "m:80"},
      {"UpdateServer", "", "m:81", "m:81"},  // empty, malformed or not REG_SZ: missing
      {"UpdateServer", "http://u", "m", "m:80"},
      {"UpdateServer", "\tu", "m", "m:80"},
      {"UpdateServer", "u/x", " m", "actualizaciones.quorvex.es:80"},
      {"MailServer", nullptr, "smtp", "smtp:25"},
      {"MailServer", nullptr, nullptr, "correo.quorvex.es:25"},
      {"WebHost", "web/x", nullptr, "www.quorvex.es"},
      {"SupportMailbox", nullptr, "ayuda@h", "ayuda@h"},
      {"SupportMailbox", "ayuda", nullptr, "soporte@quorvex.es"},
  };
  for (const Row& row : rows) {
    for (const auto& [key, text] : {std::pair{&user_, row.user}, std::pair{&machine_, row.machine}}) {
      const bool expand = text && *text == '\t';
      key->Set(row.name, expand ? REG_EXPAND_SZ : REG_SZ, text ? text + expand : nullptr,
               text ? static_cast<DWORD>(std::strlen(text + expand) + 1) : 0);
    }
    EXPECT_EQ(row.expected, Value(row.name)) << row.name << " " << (row.user ? row.user : "-") << " "
                                             << (row.machine ? row.machine : "-");
  }
}

}  // namespace
