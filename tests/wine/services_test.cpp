// The module's shared services on its linked code, against the real registry
// of the test prefix: the customer data store, file versions, the folder
// table and module start-up, the user agent and the machine identifier.
#include "qvx_test.h"

#include <cstdio>
#include <functional>

#include "common/deployment_settings.h"
#include "common/file_version.h"
#include "common/folder_lookup.h"
#include "common/maker_registry.h"
#include "common/request_encoding.h"
#include "common/system_identity.h"
#include "common/system_info.h"
#include "framework/module_state.h"
#include "mail/customer_data.h"
#include "module/app.h"

namespace qvxtest {
namespace {

using qvx::MakerRegistryView;
using qvx::mail::CustomerData;

std::string Bytes(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }
std::string Dword(DWORD n) { return std::string(reinterpret_cast<const char*>(&n), 4); }

class CustomerStore : public ::testing::Test {
 protected:
  // number|name|NIF|Tfno|Email|flags, then "fallback" when read from the second key.
  static std::string Read() {
    CustomerData d = {"old", "old", "old", "old", "old", 0xABCD};
    bool fallback = false;
    const bool ok = qvx::mail::ReadCustomerData(d, fallback);
    char flags[16];
    std::snprintf(flags, sizeof flags, "%X", static_cast<unsigned>(d.flags));
    return (ok ? "" : "FALSE ") + d.number + "|" + d.name + "|" + d.taxNumber + "|" + d.telephone + "|" + d.email +
           "|" + flags + (fallback ? " fallback" : "");
  }
  void Put(const ScratchKey& key, const CustomerData& d) {
    key.SetText("Numero", d.number);
    key.SetText("Nombre", d.name);
    key.SetText("NIF", d.taxNumber);
    key.SetText("Tfno", d.telephone);
    key.SetText("Email", d.email);
    key.Set("Flags", REG_DWORD, &d.flags, 4);
  }
  // Values as stored under a key, raw.
  static std::string Stored(const ScratchKey& key) {
    std::string all;
    for (const char* name : {"Numero", "Nombre", "NIF", "Tfno", "Email", "Flags", "DataBin"}) all += key.Get(name) + "|";
    return all;
  }
  ScratchKey first_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, MakerRegistryView()};
  ScratchKey second_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, MakerRegistryView()};
  const CustomerData sample_ = {"1234", "Pe\xF1" "a S.L.", "B12345678", "976 123 456", "a@b.es", 0x5};
};

TEST_F(CustomerStore, ReadsTheFirstKeyElseTheSecondWhole) {
  EXPECT_EQ("FALSE |||||ABCD", Read()) << "nothing stored: empty texts, the caller's flags";
  EXPECT_EQ("", qvx::mail::ReadCustomerKey());
  Put(second_, {"2", "Segunda", "X2", "222", "s@b.es", 9});
  second_.Set("DataBin", REG_BINARY, "SECOND", 7);
  EXPECT_EQ("2|Segunda|X2|222|s@b.es|9 fallback", Read());
  EXPECT_EQ("SECOND", qvx::mail::ReadCustomerKey());
  first_.SetText("Numero", "1");
  first_.SetText("Nombre", std::string(255, 'n'));
  first_.Set("Tfno", REG_SZ, "ab\0cd", 6);
  EXPECT_EQ("1|" + std::string(255, 'n') + "||ab||ABCD", Read()) << "no fallback per value";
  CustomerData data;
  bool fallback = true;
  EXPECT_TRUE(qvx::mail::ReadCustomerData(data, fallback) && fallback) << "the first key leaves the caller's flag";
  EXPECT_EQ("", qvx::mail::ReadCustomerKey()) << "no DataBin under the first key";
  const struct {
    const char* value;
    DWORD type;
    std::string bytes;
    std::string read;
  } rows[] = {
      {"Flags", REG_DWORD, Dword(0x80000001u), "80000001"},
      {"Flags", REG_SZ, "1", "ABCD"},
      {"Flags", REG_BINARY, std::string(8, '\x01'), "ABCD"},
      {"Nombre", REG_SZ, Bytes(std::string(256, 'n')), ""},
      {"Nombre", REG_SZ, std::string(255, 'n'), std::string(255, 'n')},  // without its NUL
      {"DataBin", REG_BINARY, "KEY", "KEY"},
      {"DataBin", REG_BINARY, std::string("AB\0CD", 6), "AB"},
      {"DataBin", REG_SZ, "KEY", ""},
  };
  for (const auto& row : rows) {
    first_.Set(row.value, row.type, row.bytes.data(), row.bytes.size());
    const std::string read = std::string(row.value) == "DataBin" ? qvx::mail::ReadCustomerKey()
                             : std::string(row.value) == "Flags" ? Read().substr(Read().rfind('|') + 1)
                                                                 : Read().substr(2, Read().find('|', 2) - 2);
    EXPECT_EQ(row.read, read) << row.value << " of type " << row.type << " and " << row.bytes.size() << " bytes";
  }
}

TEST_F(CustomerStore, WritesBothKeysAlikeAndCutsLongTexts) {
  EXPECT_TRUE(qvx::mail::WriteCustomerData(sample_));
  qvx::mail::WriteCustomerKey(std::string(600, 'F'));
  const std::string stored = Bytes("1234") + "|" + Bytes(sample_.name) + "|" + Bytes("B12345678") + "|" +
                             Bytes("976 123 456") + "|" + Bytes("a@b.es") + "|" + Dword(5) + "|" +
                             Bytes(std::string(600, 'F')) + "|";
  EXPECT_EQ(stored, Stored(first_));
  EXPECT_EQ(stored, Stored(second_));
  EXPECT_EQ("1234|" + sample_.name + "|B12345678|976 123 456|a@b.es|5", Read());
  EXPECT_EQ(std::string(600, 'F'), qvx::mail::ReadCustomerKey()) << "the key is never cut";
  CustomerData longer = sample_;
  longer.name = std::string(255, 'a') + "b";
  longer.email = std::string("ab\0cd", 5);
  EXPECT_TRUE(qvx::mail::WriteCustomerData(longer));
  EXPECT_EQ("1234|" + std::string(255, 'a') + "|B12345678|976 123 456|ab|5", Read());
  EXPECT_EQ(Bytes("ab"), second_.Get("Email"));
  DeleteKeyTree(HKEY_LOCAL_MACHINE, first_.path(), MakerRegistryView());
  EXPECT_TRUE(qvx::mail::WriteCustomerData(sample_, true));
  EXPECT_EQ("<none>", first_.Get("Numero")) << "the second key on its own pass only";
#ifdef _WIN64
  EXPECT_EQ("<none>", second_.Get("Numero", KEY_WOW64_64KEY)) << "the store lives in the 32-bit view";
#endif
}

// The registry refusing access: a refused write is reported and writes
// nothing, not even the second key; a refused read falls back as a missing
// value does.
TEST_F(CustomerStore, RefusedAccess) {
  ScratchKey user{HKEY_CURRENT_USER, qvx::kDeploymentKey}, machine{HKEY_LOCAL_MACHINE, qvx::kDeploymentKey, MakerRegistryView()};
  user.SetText("WebHost", "usuario.es");
  machine.SetText("WebHost", "maquina.es");
  CustomerData other = sample_;
  other.number = "99";
  auto write = [&] {
    const bool written = qvx::mail::WriteCustomerData(other);
    return std::to_string(written) + " " + Read();
  };
  const struct Row {
    const ScratchKey* key;
    DWORD denied;
    std::function<std::string()> act;
    std::string seen;
  } rows[] = {
      {&first_, KEY_SET_VALUE, write,
       "0 1234|" + sample_.name + "|B12345678|976 123 456|a@b.es|5"},
      {&second_, KEY_SET_VALUE, write,
       "1 99|" + sample_.name + "|B12345678|976 123 456|a@b.es|5"},  // the first key is the record; the second its copy
      {&first_, KEY_QUERY_VALUE, [&] { return Read(); }, "1234|" + sample_.name + "|B12345678|976 123 456|a@b.es|5 fallback"},
      {&user, KEY_QUERY_VALUE, [] { return qvx::WebHost(); }, "maquina.es"},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(qvx::mail::WriteCustomerData(sample_));
    row.key->Deny(row.denied);
    const std::string seen = row.act();
    row.key->Deny(0);
    EXPECT_EQ(row.seen, seen) << row.key->path() << " denying " << row.denied;
  }
}

// Small DLLs of the test build that differ only in their version resources.
TEST(FileVersionTest, ReadsTheFieldsOfTheFirstTranslation) {
  const std::wstring module = ModulePath();
  const std::string self(module.begin(), module.end());
  const struct {
    std::string path;
    const char* record;  // ReadVersionRecord's result and fields
    const char* version;  // ReadFileVersion's
  } rows[] = {
      {TestFile("version_normal.dll"), "1|1.2.3.4|Se\xF1" "al Gesti\xF3n|Normal test file|Normal#B17 extra|normal.dll",
       "1.2.3.4"},
      {TestFile("version_no_original_name.dll"), "0|2.0.0.1|Sin nombre original|Without OriginalFilename|NoOriginalName|-",
       "2.0.0.1"},
      {TestFile("version_commas.dll"), "1|4, 2, 5, 0|-|-|-|commas.dll", "4, 2, 5, 0"},
      {self, "1|4.2.5.0|Quorvex Common Tools|Quorvex  Internationalization Control|QuorvexIntl|QuorvexIntl.ocx",
       "4.2.5.0"},
      {TestFile("version_no_translation.dll"), "0|-|-|-|-|-", "-"},
      {TestFile("version_second_translation.dll"), "0|-|-|-|-|-", "-"},
      {TestFile("version_none.dll"), "0|-|-|-|-|-", "-"},
      {TestFile("version_missing.dll"), "0|-|-|-|-|-", "-"},
      {TestFile(""), "0|-|-|-|-|-", "-"},
  };
  for (const auto& row : rows) {
    qvx::VersionRecord r = {"-", "-", "-", "-", "-"};
    const bool ok = qvx::ReadVersionRecord(row.path, r);
    EXPECT_EQ(row.record, std::to_string(ok) + "|" + r.fileVersion + "|" + r.productName + "|" + r.fileDescription +
                              "|" + r.internalName + "|" + r.originalFilename);
    std::string version = "-";
    EXPECT_EQ(row.version != std::string("-"), qvx::ReadFileVersion(row.path, version)) << row.path;
    EXPECT_EQ(row.version, version);
  }
}

TEST(StartUpTest, FolderTableAndModuleState) {
  ScratchKey table(HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, MakerRegistryView());
  const char* name = qvx::kFolderComponentesComunes;
  const struct {
    const char* stored;  // nullptr: no value
    bool found;
    std::string folder, help;
  } rows[] = {
      {"C:\\Comun", true, "C:\\Comun\\", "C:\\Comun\\Ayuda\\Brumo.chm"},
      {"C:\\Comun\\", true, "C:\\Comun\\", "C:\\Comun\\Ayuda\\Brumo.chm"},
      {"", true, "", "Ayuda\\Brumo.chm"},
      {nullptr, false, "", "Ayuda\\Brumo.chm"},
      {"\x01", false, "", ""},  // stands for 260 characters: longer than the buffer
  };
  for (const auto& row : rows) {
    const std::string value = row.stored && *row.stored == 1 ? std::string(260, 'a') : row.stored ? row.stored : "";
    if (row.stored) table.SetText(name, value);
    else table.Set(name, REG_SZ, nullptr, 0);
    std::string folder = "left over";
    EXPECT_EQ(row.found, qvx::GetFolderPath(name, folder)) << value;
    EXPECT_EQ(row.folder, folder) << value;
    if (row.help.empty()) continue;
    qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
    const std::string firstName = qvx::fw::Module().appName;
    EXPECT_EQ("qvx_control_tests", firstName) << "the module's file name without its extension";
    qvx::CQVXIntlApp app;
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(row.help, qvx::fw::Module().helpFilePath);
    EXPECT_EQ(qvx::fw::HelpType::HtmlHelp, qvx::fw::Module().helpType);
    EXPECT_EQ("Quorvex", qvx::fw::Module().registryKey);
    EXPECT_EQ(firstName, qvx::fw::Module().profileName) << "the profile keeps the module's first name";
    EXPECT_EQ("Quorvex Ingenieros", qvx::fw::Module().appName);
    EXPECT_NE(nullptr, ::GetModuleHandleA("riched20.dll"));
    EXPECT_EQ(0, app.ExitInstance());
  }
  table.SetText(name, std::string(259, 'a'));
  std::string folder;
  EXPECT_TRUE(qvx::GetFolderPath(name, folder));
  EXPECT_EQ(std::string(259, 'a') + "\\", folder);
}

TEST(SystemInfoTest, UserAgentAndMachineIdentifier) {
  ScratchKey quorvex(HKEY_LOCAL_MACHINE, "Software\\Quorvex", MakerRegistryView());
  char version[16], name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  std::snprintf(version, sizeof version, "%lX", static_cast<unsigned long>(::GetVersion()));
  DWORD size = sizeof name;
  ASSERT_TRUE(::GetComputerNameA(name, &size));
  const std::string tail = std::string(" -ExtInfo:B17 -IdNM:") + qvx::ScrambleText(name);
  const struct {
    const char* installation;  // nullptr: no value
    std::string suffix;
  } rows[] = {{"Red", "XRed"}, {nullptr, ""}, {"", ""}, {"\x01", ""}};  // \x01: 260 characters
  for (const auto& row : rows) {
    if (row.installation)
      quorvex.SetText(nullptr, *row.installation == 1 ? std::string(260, 'L') : row.installation);
    else quorvex.Set(nullptr, REG_SZ, nullptr, 0);
    EXPECT_EQ("Tramitex-WinVer:" + std::string(version) + " -ProgVer:4.2.5.0" + row.suffix + tail,
              qvx::SystemInfoText("Tramitex", "4.2.5.0", "B17"));
  }
#ifdef _WIN64
  ScratchKey native(HKEY_LOCAL_MACHINE, "Software\\Quorvex", KEY_WOW64_64KEY);
  native.SetText(nullptr, "N64");
  EXPECT_EQ(std::string::npos, qvx::SystemInfoText("P", "1", "").find("XN64")) << "the 32-bit view only";
#endif
  const std::string source = qvx::MachineIdentifierSource();
  EXPECT_EQ(41u, source.find("guid:") + source.size()) << "the machine's GUID of 36 characters: " << source;
  EXPECT_EQ(qvx::DeriveMachineIdentifier(source), qvx::MachineIdentifier());
}

}  // namespace
}  // namespace qvxtest
