// GetLastAppVersionFromVandrel called by name against the reference update servers
// of QVX_UPDATE_SERVERS' list (one per mode); and the deployment values naming servers.
#include <cstring>
#include <fstream>

#include "common/deployment_settings.h"
#include "common/maker_registry.h"
#include "common/request_encoding.h"
#include "common/system_info.h"
#include "framework/module_state.h"
#include "mail/customer_data.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

using qvx::MakerRegistryView;

// The last request a mode's server logged, a blank after it (blanks and bytes outside printable ASCII as \xHH).
std::string LastLogged(const std::string& mode) {
  std::ifstream in(ServersFolder("QVX_UPDATE_SERVERS") + mode + ".log");
  std::string line, last;
  while (std::getline(in, line)) last = line.empty() ? last : line;
  return last + " ";
}

struct Outcome {
  bool result = false;
  std::string version, error;
};

class VersionQuery : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(0, ServerPort("QVX_UPDATE_SERVERS", "normal")) << "no servers' list"; }

  // As a host calls it, the out-parameters already holding texts to replace.
  Outcome Query(const std::string& mode) {
    user_.SetText("UpdateServer", "127.0.0.1:" + std::to_string(ServerPort("QVX_UPDATE_SERVERS", mode)));
    BSTR texts[2] = {::SysAllocString(L"old"), ::SysAllocString(L"old")};
    Var arg(L"QvxTestApp"), result;
    VARIANT refs[2];
    for (int i = 0; i < 2; ++i) V_VT(&refs[i]) = VT_BYREF | VT_BSTR, V_BSTRREF(&refs[i]) = &texts[i];
    EXPECT_EQ(S_OK, CallByName(control_.get(), L"GetLastAppVersionFromVandrel", {arg.v, refs[0], refs[1]}, &result.v));
    Outcome out{V_VT(&result.v) == VT_BOOL && V_BOOL(&result.v) == VARIANT_TRUE, NarrowText(texts[0]),
                NarrowText(texts[1])};
    for (BSTR text : texts) ::SysFreeString(text);
    return out;
  }

  ComScope com_;
  ScratchKey user_{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  ScratchKey customer_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, MakerRegistryView()};
  ScratchKey customerSecond_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, MakerRegistryView()};
  com_ptr<IDispatch> control_ = CreateControl();
};

// What each server's way of answering gives the host. The normal server logs the request as it decoded it:
// the customer's number and key, the machine, and the agent naming this program (programs.rc: 4.2.0.0, B42)
// and the installation of the maker's view.
TEST_F(VersionQuery, ServerBehaviours) {
  ScratchKey installation(HKEY_LOCAL_MACHINE, "Software\\Quorvex", MakerRegistryView());
  installation.SetText(nullptr, "Red");
#ifdef _WIN64
  ScratchKey native(HKEY_LOCAL_MACHINE, "Software\\Quorvex", KEY_WOW64_64KEY);
  native.SetText(nullptr, "N64");
#endif
  const std::string key = qvx::ScrambleText("ClaveSecreta");
  customer_.SetText("Numero", "1234");
  customer_.Set("DataBin", REG_BINARY, key.c_str(), key.size() + 1);
  const struct Row {
    const char* mode;
    const char* version;  // "" when the query fails
    const char* before;   // the error text around the object path as sent; both "" for a system message
    const char* after;
  } rows[] = {
      {"normal", "4.2.5.0", "", ""},
      {"short", "", "Fallo lectura de ", ""},  // half a body, then a close: no piece of a version
      {"status404", "", "Petici?n fallida de ", " (error:404)"},
      {"silent", "", "", ""},  // reads the request, never answers
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    const DWORD start = ::GetTickCount();
    const Outcome out = Query(row.mode);
    EXPECT_EQ(*row.version != '\0', out.result);
    EXPECT_EQ(row.version, out.version);
    const std::string before = row.before, after = row.after, logged = LastLogged(row.mode);
    if (out.result) {
      EXPECT_EQ("", out.error);
      for (const char* field : {" p=QvxTestApp ", " number=1234 ", " key=ClaveSecreta ",
                                " agent=\"qvx_version_query_tests-WinVer:", " -ProgVer:4.2.0.0XRed -ExtInfo:B42 -IdNM:"})
        EXPECT_NE(std::string::npos, logged.find(field)) << field << " in " << logged;
      EXPECT_NE(std::string::npos, logged.find(" machine=" + qvx::MachineIdentifier() + " ")) << logged;
    } else if (before.empty()) {
      EXPECT_FALSE(out.error.empty()) << "a failure has a reason";
      EXPECT_EQ(std::string::npos, out.error.find("/Updates/")) << out.error;
      EXPECT_LT(::GetTickCount() - start, 30000u) << "the host is held no longer";  // a requirement, not a speed goal
    } else {
      EXPECT_EQ(0u, out.error.find(before + "/Updates/Version?d=")) << out.error;
      EXPECT_NE(std::string::npos, out.error.find("&p=QvxTestApp&code=")) << out.error;
      EXPECT_EQ(out.error.size() - after.size(), out.error.rfind(after)) << out.error;
    }
  }
}

// The values read directly, the defaults from the module's string table.
TEST(Deployment, UserThenMachineThenDefault) {
  qvx::fw::unique_hmodule resources{::LoadLibraryExW(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)};
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
      {"MailServer", nullptr, nullptr, "correo.quorvex.es:25"},
      {"WebHost", "web/x", nullptr, "www.quorvex.es"},
      {"SupportMailbox", "ayuda", "ayuda@h", "ayuda@h"},
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
}  // namespace qvxtest
