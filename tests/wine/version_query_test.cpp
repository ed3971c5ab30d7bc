// GetLastAppVersionFromVandrel end to end: the registered control called by
// name against the reference update server on 127.0.0.1 (one per mode, each
// logging its requests beside QVX_UPDATE_SERVERS' list); and the deployment
// values that point the module at its servers.
#include <cstring>
#include <fstream>
#include <string>

#include "common/deployment_settings.h"
#include "common/maker_registry.h"
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

int Port(const std::string& mode) { return qvxtest::ServerPort("QVX_UPDATE_SERVERS", mode); }

// One field of the last request a mode's server logged: "key=value" (blanks
// and bytes outside printable ASCII as \xHH), or the quoted agent.
std::string Logged(const std::string& mode, const std::string& key) {
  std::ifstream in(qvxtest::ServersFolder("QVX_UPDATE_SERVERS") + mode + ".log");
  std::string line, last;
  while (std::getline(in, line)) last = line.empty() ? last : line;
  const std::string start = key == "agent" ? " agent=\"" : " " + key + "=";
  const size_t from = last.find(start);
  if (from == std::string::npos) return "<none>";
  const size_t begin = from + start.size();
  return last.substr(begin, (key == "agent" ? last.rfind("\" status=") : last.find(' ', begin)) - begin);
}

struct Outcome {
  bool result = false;
  std::string version, error;
  DWORD milliseconds = 0;
};

class VersionQuery : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(0, Port("normal")) << "QVX_UPDATE_SERVERS must name the servers' list"; }

  // As a host calls it, the out-parameters already holding texts to replace.
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
      {"slow", "4.2.5.0", "", ""},  // the body in pieces with pauses
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
    } else {  // the object path as sent, its clock as logged
      const std::string head = before + "/Updates/Version?d=" + Logged(row.mode, "d") + "&p=QvxTestApp&code=";
      EXPECT_EQ(0u, out.error.find(head)) << out.error;
      ASSERT_GT(out.error.size(), head.size() + after.size()) << out.error;
      EXPECT_EQ(after, out.error.substr(out.error.size() - after.size()));
    }
  }
}

// What the server logs of each request; the program names itself through
// version_query_test.rc (7.1.3.0, build tag B17), its installation from the 32-bit view.
TEST_F(VersionQuery, RequestsAsTheServerDecodesThem) {
  ScratchKey installation(HKEY_LOCAL_MACHINE, "Software\\Quorvex", MakerRegistryView());
  installation.SetText(nullptr, "Red");
#ifdef _WIN64
  ScratchKey native(HKEY_LOCAL_MACHINE, "Software\\Quorvex", KEY_WOW64_64KEY);
  native.SetText(nullptr, "N64");
#endif
  const struct Row {
    const char *application, *number;  // number nullptr: no customer data
    std::string storedKey;
    const char *sentKey, *loggedName;  // as logged
    bool accepted;
  } rows[] = {
      {"QvxTestApp", nullptr, "", "", "QvxTestApp", true},
      {"Mi App&code=0#1%", nullptr, "", "", "Mi\\x20App&code=0#1%", false},  // the server knows no other application
      {"Espa\xF1" "a", nullptr, "", "", "Espa\\xF1a", false},
      {"QvxTestApp", "1234", qvx::ScrambleText("ClaveSecreta"), "ClaveSecreta", "QvxTestApp", true},
      {"QvxTestApp", "1234", "XYZ", "Error\\x20Descodificaci\\xF3n", "QvxTestApp", false},  // a damaged stored key
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.loggedName + std::string(" ") + row.sentKey);
    if (row.number) {
      customer_.SetText("Numero", row.number);
      customer_.Set("DataBin", REG_BINARY, row.storedKey.c_str(), row.storedKey.size() + 1);
    }
    EXPECT_EQ(row.accepted, Query("normal", row.application).result);
    EXPECT_EQ(row.loggedName, Logged("normal", "p"));
    EXPECT_EQ(row.number ? row.number : "", Logged("normal", "number"));
    EXPECT_EQ(row.sentKey, Logged("normal", "key"));
    EXPECT_EQ(qvx::MachineIdentifier(), Logged("normal", "machine"));
  }
  const std::string agent = Logged("normal", "agent");
  EXPECT_EQ(0u, agent.find("qvx_version_query_tests-WinVer:")) << agent;
  EXPECT_NE(std::string::npos, agent.find(" -ProgVer:7.1.3.0XRed -ExtInfo:B17 -IdNM:")) << agent;
}

// The values read directly, the defaults from the module's string table.
TEST(Deployment, UserThenMachineThenDefault) {
  qvx::fw::unique_hmodule resources{::LoadLibraryExW(qvxtest::ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)};
  ASSERT_TRUE(resources);
  qvx::fw::SetResourceHandle(resources.get());
  ScratchKey user{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey machine{HKEY_LOCAL_MACHINE, qvx::kDeploymentKey, MakerRegistryView()};
  auto text = [](const qvx::ServerAddress& a) { return a.host + ":" + std::to_string(a.port); };
  const struct Row {
    const char *name, *user, *machine, *expected;  // nullptr: no such value; "\t" before a text: REG_EXPAND_SZ
  } rows[] = {
      {"UpdateServer", "u:8080", "m", "u:8080"},
      {"UpdateServer", nullptr, "m", "m:80"},
      {"UpdateServer", "\tu", "m:81", "m:81"},  // malformed or not REG_SZ: missing
      {"UpdateServer", "u/x", " m", "actualizaciones.quorvex.es:80"},
      {"MailServer", nullptr, nullptr, "correo.quorvex.es:25"},
      {"WebHost", "web/x", nullptr, "www.quorvex.es"},
      {"SupportMailbox", "ayuda", "ayuda@h", "ayuda@h"},
      {"SupportMailbox", nullptr, nullptr, "soporte@quorvex.es"},
  };
  for (const Row& row : rows) {
    for (const auto& [key, value] : {std::pair{&user, row.user}, std::pair{&machine, row.machine}}) {
      const bool expand = value && *value == '\t';
      key->Set(row.name, expand ? REG_EXPAND_SZ : REG_SZ, value ? value + expand : nullptr,
               value ? std::strlen(value + expand) + 1 : 0);
    }
    const std::string name = row.name;
    EXPECT_EQ(row.expected, name == "UpdateServer" ? text(qvx::UpdateServer())
                            : name == "MailServer" ? text(qvx::MailServer())
                            : name == "WebHost"    ? qvx::WebHost()
                                                   : qvx::SupportMailbox())
        << name << " " << (row.user ? row.user : "-") << " " << (row.machine ? row.machine : "-");
  }
  qvx::fw::SetResourceHandle(nullptr);
}

}  // namespace
