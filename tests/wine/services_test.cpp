// The module's shared services on its linked code, against the test prefix's registry.
#include "qvx_test.h"

#include "common/file_version.h"
#include "common/folder_lookup.h"
#include "common/maker_registry.h"
#include "common/system_identity.h"
#include "common/system_info.h"
#include "framework/module_state.h"
#include "mail/customer_data.h"
#include "module/app.h"

namespace qvxtest {
namespace {

using qvx::MakerRegistryView;
using qvx::mail::CustomerData;

class CustomerStore : public ::testing::Test {
 protected:
  // number|name|NIF|Tfno|Email|flags, then "fallback" when read from the second key.
  static std::string Read() {
    CustomerData d = {"old", "old", "old", "old", "old", 7};
    bool fallback = false;
    const bool ok = qvx::mail::ReadCustomerData(d, fallback);
    return (ok ? "" : "FALSE ") + d.number + "|" + d.name + "|" + d.taxNumber + "|" + d.telephone + "|" + d.email +
           "|" + std::to_string(d.flags) + (fallback ? " fallback" : "");
  }
  ScratchKey first_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, MakerRegistryView()};
  ScratchKey second_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, MakerRegistryView()};
  const CustomerData sample_ = {"1234", "Pe\xF1" "a S.L.", "B12345678", "976 123 456", "a@b.es", 0x5};
  const std::string sampleRead_ = "1234|" + sample_.name + "|B12345678|976 123 456|a@b.es|5";
};

TEST_F(CustomerStore, ReadsTheFirstKeyElseTheSecondWhole) {
  EXPECT_EQ("FALSE |||||7", Read()) << "nothing stored: empty texts, the caller's flags";
  second_.SetText("Numero", "2");
  second_.Set("DataBin", REG_BINARY, "SECOND", 7);
  EXPECT_EQ("2|||||7 fallback SECOND", Read() + " " + qvx::mail::ReadCustomerKey());
  first_.SetText("Numero", "1");
  CustomerData data;
  bool fallback = true;
  EXPECT_TRUE(qvx::mail::ReadCustomerData(data, fallback) && fallback) << "the first key leaves the caller's flag";
  const std::string n255(255, 'n');
  // read: Read() and ReadCustomerKey(); no value comes from the second key.
  const struct { const char* value; DWORD type; std::string bytes, read; } rows[] = {
      {"Nombre", REG_SZ, std::string(n255.c_str(), 256), "1|" + n255 + "||||7 "},
      {"Nombre", REG_SZ, n255, "1|" + n255 + "||||7 "},  // without its NUL
      {"Nombre", REG_SZ, std::string((n255 + "n").c_str(), 257), "1|||||7 "},
      {"Tfno", REG_SZ, std::string("ab\0cd", 6), "1|||ab||7 "},
      {"Flags", REG_DWORD, std::string("\x01\0\0\x80", 4), "1|||||2147483649 "},
      {"Flags", REG_SZ, "1", "1|||||7 "},
      {"DataBin", REG_BINARY, "KEY", "1|||||7 KEY"},
      {"DataBin", REG_BINARY, std::string("AB\0CD", 6), "1|||||7 AB"},
      {"DataBin", REG_SZ, "KEY", "1|||||7 "},
  };
  for (const auto& row : rows) {
    first_.Set(row.value, row.type, row.bytes.data(), row.bytes.size());
    EXPECT_EQ(row.read, Read() + " " + qvx::mail::ReadCustomerKey()) << row.value << " " << row.bytes.size();
    first_.Set(row.value, REG_NONE, nullptr, 0);
  }
}

TEST_F(CustomerStore, WritesBothKeysAlikeCutsLongTextsAndReportsRefusals) {
  const std::string key(600, 'F');
  EXPECT_TRUE(qvx::mail::WriteCustomerData(sample_));
  qvx::mail::WriteCustomerKey(key);
  EXPECT_EQ(sampleRead_ + " " + key, Read() + " " + qvx::mail::ReadCustomerKey()) << "the key is never cut";
#ifdef _WIN64
  EXPECT_EQ("<none>", second_.Get("Numero", KEY_WOW64_64KEY)) << "the store lives in the 32-bit view";
#endif
  DeleteKeyTree(HKEY_LOCAL_MACHINE, first_.path(), MakerRegistryView());
  EXPECT_EQ(sampleRead_ + " fallback " + key, Read() + " " + qvx::mail::ReadCustomerKey()) << "the second key alike";
  EXPECT_TRUE(qvx::mail::WriteCustomerData(sample_, true));
  EXPECT_EQ("<none>", first_.Get("Numero")) << "the second key on its own pass only";
  CustomerData other = sample_;
  other.name = std::string(255, 'a') + "b";
  other.email = std::string("ab\0cd", 5);
  EXPECT_TRUE(qvx::mail::WriteCustomerData(other));
  EXPECT_EQ("1234|" + std::string(255, 'a') + "|B12345678|976 123 456|ab|5", Read()) << "long texts stored cut";

  // A refused write is reported and writes nothing, not even the second key; a refused read falls back.
  other = sample_;
  other.number = "99";
  const struct Row { const ScratchKey* key; DWORD denied; std::string seen; } rows[] = {
      {&first_, KEY_SET_VALUE, "0 " + sampleRead_},
      {&second_, KEY_SET_VALUE, "1 99|" + sample_.name + "|B12345678|976 123 456|a@b.es|5"},  // the second is a copy
      {&first_, KEY_QUERY_VALUE, "1 " + sampleRead_ + " fallback"},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(qvx::mail::WriteCustomerData(sample_));
    row.key->Deny(row.denied);
    const bool written = row.denied == KEY_SET_VALUE ? qvx::mail::WriteCustomerData(other) : true;
    const std::string seen = std::to_string(written) + " " + Read();
    row.key->Deny(0);
    EXPECT_EQ(row.seen, seen) << row.key->path() << " denying " << row.denied;
  }
}

TEST(FileVersionTest, ReadsTheFieldsOfTheFirstTranslation) {
  const std::wstring module = ModulePath();
  // record: ReadVersionRecord's result and fields; ReadFileVersion's as the second field.
  const struct { std::string path; const char* record; } rows[] = {
      {TestFile("version_normal.dll"), "1|1.2.3.4|Se\xF1" "al Gesti\xF3n|Normal test file|Normal#B17 extra|normal.dll"},
      {std::string(module.begin(), module.end()),
       "1|4.2.5.0|Quorvex Common Tools|Quorvex  Internationalization Control|QuorvexIntl|QuorvexIntl.ocx"},
      {TestFile("version_none.dll"), "0|-|-|-|-|-"},
      {TestFile("version_missing.dll"), "0|-|-|-|-|-"},
  };
  for (const auto& row : rows) {
    qvx::VersionRecord r = {"-", "-", "-", "-", "-"};
    const bool ok = qvx::ReadVersionRecord(row.path, r);
    EXPECT_EQ(row.record, std::to_string(ok) + "|" + r.fileVersion + "|" + r.productName + "|" + r.fileDescription +
                              "|" + r.internalName + "|" + r.originalFilename);
    std::string version = "-";
    EXPECT_EQ(ok, qvx::ReadFileVersion(row.path, version)) << row.path;
    EXPECT_EQ(r.fileVersion, version);
  }
}

TEST(StartUpTest, FolderTableAndModuleState) {
  ScratchKey table(HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, MakerRegistryView());
  const char* name = qvx::kFolderComponentesComunes;
  // stored "": no value; help "": the module not started.
  const struct { std::string stored; bool found; std::string folder, help; } rows[] = {
      {"C:\\Comun", true, "C:\\Comun\\", "C:\\Comun\\Ayuda\\Brumo.chm"},
      {"C:\\Comun\\", true, "C:\\Comun\\", "C:\\Comun\\Ayuda\\Brumo.chm"},
      {"", false, "", "Ayuda\\Brumo.chm"},
      {std::string(260, 'a'), false, "", ""},  // longer than the buffer
  };
  for (const auto& row : rows) {
    table.Set(name, REG_SZ, row.stored.empty() ? nullptr : row.stored.c_str(), row.stored.size() + 1);
    std::string folder = "left over";
    EXPECT_EQ(row.found, qvx::GetFolderPath(name, folder)) << row.stored;
    EXPECT_EQ(row.folder, folder) << row.stored;
    if (row.help.empty()) continue;
    qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
    EXPECT_EQ("qvx_control_tests", qvx::fw::Module().appName) << "the module's file name without its extension";
    qvx::CQVXIntlApp app;
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(row.help, qvx::fw::Module().helpFilePath);
    EXPECT_EQ("qvx_control_tests", qvx::fw::Module().profileName) << "the profile keeps the module's first name";
    EXPECT_EQ("Quorvex Ingenieros", qvx::fw::Module().appName);
    EXPECT_NE(nullptr, ::GetModuleHandleA("riched20.dll"));
    EXPECT_EQ(0, app.ExitInstance());
  }
}

TEST(SystemInfoTest, MachineIdentifierFromTheMachineGuid) {
  const std::string source = qvx::MachineIdentifierSource();
  EXPECT_EQ(41u, source.find("guid:") + source.size()) << "the machine's GUID of 36 characters: " << source;
  EXPECT_EQ(qvx::DeriveMachineIdentifier(source), qvx::MachineIdentifier());
}

}  // namespace
}  // namespace qvxtest
