// The user-agent text and the machine identifier, read from the Wine
// prefix's registry and system as the module reads them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/maker_registry.h"
#include "common/request_encoding.h"
#include "common/system_identity.h"
#include "common/system_info.h"
#include "registry_snapshot.h"

namespace {

using qvx::MakerRegistryView;

const char kQuorvexKey[] = "Software\\Quorvex";

std::string WindowsVersion() {
  char text[16];
  std::snprintf(text, sizeof(text), "%lX", static_cast<unsigned long>(::GetVersion()));
  return text;
}

std::string ScrambledComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  EXPECT_TRUE(::GetComputerNameA(name, &size));
  EXPECT_GT(size, 0u);
  return qvx::ScrambleText(std::string(name, size));
}

class SystemInfo : public ::testing::Test {
 protected:
  qvxtest::ScopedKeySnapshot quorvex_{HKEY_LOCAL_MACHINE, kQuorvexKey, MakerRegistryView()};
};

TEST_F(SystemInfo, TextFollowsTheInstallationValue) {
  const std::string red = "Red";
  const std::string empty;
  const std::string tooLong(260, 'L');  // 261 bytes with its NUL
  const struct {
    const char* label;
    const std::string* value;  // nullptr: no default value
    const char* suffix;
  } cases[] = {
      {"installation value", &red, "XRed"},
      {"no value", nullptr, ""},
      {"empty value", &empty, ""},
      {"longer than 260 bytes", &tooLong, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    qvxtest::SetRegistryValue(HKEY_LOCAL_MACHINE, kQuorvexKey, MakerRegistryView(), nullptr, REG_SZ,
                              c.value ? c.value->c_str() : nullptr,
                              c.value ? static_cast<DWORD>(c.value->size() + 1) : 0);
    EXPECT_EQ("Tramitex-WinVer:" + WindowsVersion() + " -ProgVer:4.2.5.0" + c.suffix + " -ExtInfo:B17 -IdNM:" +
                  ScrambledComputerName(),
              qvx::SystemInfoText("Tramitex", "4.2.5.0", "B17"));
  }
}

TEST_F(SystemInfo, NoMakersKeyAtAll) {
  qvxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, kQuorvexKey, MakerRegistryView());
  EXPECT_EQ("-WinVer:" + WindowsVersion() + " -ProgVer: -ExtInfo: -IdNM:" + ScrambledComputerName(),
            qvx::SystemInfoText("", "", ""));
}

#ifdef _WIN64
TEST_F(SystemInfo, InstallationValueComesFromThe32BitView) {
  qvxtest::ScopedKeySnapshot native(HKEY_LOCAL_MACHINE, kQuorvexKey, KEY_WOW64_64KEY);
  qvxtest::SetRegistryValue(HKEY_LOCAL_MACHINE, kQuorvexKey, MakerRegistryView(), nullptr, REG_SZ, nullptr, 0);
  qvxtest::SetRegistryValue(HKEY_LOCAL_MACHINE, kQuorvexKey, KEY_WOW64_64KEY, nullptr, REG_SZ, "N64", 4);
  EXPECT_EQ(std::string::npos, qvx::SystemInfoText("P", "1", "").find("XN64"));
}
#endif

TEST(MachineIdentifier, StableOpaqueAndFromTheMachineGuid) {
  const std::string& id = qvx::MachineIdentifier();
  EXPECT_EQ(32u, id.size());
  EXPECT_EQ(std::string::npos, id.find_first_not_of("0123456789ABCDEF")) << id;
  EXPECT_EQ(&id, &qvx::MachineIdentifier()) << "computed once per process";
  EXPECT_EQ(id, qvx::MachineIdentifier());

  // Wine makes a MachineGuid for every prefix, as Windows does at set-up.
  const std::string source = qvx::MachineIdentifierSource();
  EXPECT_EQ(0u, source.find("guid:")) << source;
  EXPECT_EQ(41u, source.size()) << "a GUID of 36 characters";
  EXPECT_EQ(qvx::DeriveMachineIdentifier(source), id);

  // Nothing of the computer can be read from it.
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof(name);
  ASSERT_TRUE(::GetComputerNameA(name, &size));
  EXPECT_EQ(std::string::npos, id.find(name));
  EXPECT_EQ(std::string::npos, id.find(qvx::ScrambleText(name)));
  EXPECT_EQ(std::string::npos, source.find(id));
}

}  // namespace
