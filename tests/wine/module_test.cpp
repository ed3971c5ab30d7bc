// Module start-up, the folder table and the framework's module state, on the
// module's own code linked into this program.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/folder_lookup.h"
#include "common/maker_registry.h"
#include "framework/module_state.h"
#include "module/app.h"

namespace {

using qvx::fw::Module;

// Sets (or, with nullptr, removes) one value of the maker's folder table in
// the 32-bit view, and puts the table back as it was afterwards.
class ScopedFolderValue {
 public:
  ScopedFolderValue(const char* name, const std::string* value, DWORD type = REG_SZ) : name_(name) {
    HKEY key = nullptr;
    existed_ = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, 0, KEY_READ | qvx::MakerRegistryView(),
                               &key) == ERROR_SUCCESS;
    if (existed_) {
      char buffer[2048];
      DWORD size = sizeof(buffer);
      hadValue_ = ::RegQueryValueExA(key, name, nullptr, &oldType_, reinterpret_cast<BYTE*>(buffer), &size) ==
                  ERROR_SUCCESS;
      if (hadValue_) old_.assign(buffer, size);
      ::RegCloseKey(key);
    }
    Write(value ? value->data() : nullptr, value ? static_cast<DWORD>(value->size() + 1) : 0, type);
  }
  ~ScopedFolderValue() {
    if (!existed_) {
      ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, qvx::MakerRegistryView(), 0);
      return;
    }
    Write(hadValue_ ? old_.data() : nullptr, static_cast<DWORD>(old_.size()), oldType_);
  }
  ScopedFolderValue(const ScopedFolderValue&) = delete;
  ScopedFolderValue& operator=(const ScopedFolderValue&) = delete;

 private:
  void Write(const char* data, DWORD size, DWORD type) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, 0, nullptr, 0,
                                               KEY_WRITE | qvx::MakerRegistryView(), nullptr, &key, nullptr));
    if (data)
      ::RegSetValueExA(key, name_, 0, type, reinterpret_cast<const BYTE*>(data), size);
    else
      ::RegDeleteValueA(key, name_);
    ::RegCloseKey(key);
  }

  const char* name_;
  bool existed_ = false;
  bool hadValue_ = false;
  DWORD oldType_ = REG_SZ;
  std::string old_;
};

TEST(FolderTable, ReadsTheMakersFolders) {
  struct Case {
    const char* label;
    const std::string* stored;  // nullptr: no such value
    bool found;
    const char* folder;
  };
  const std::string plain = "C:\\Programas\\Comun";
  const std::string slashed = "C:\\Programas\\Comun\\";
  const std::string empty;
  const std::string fits(259, 'a');    // 260 bytes with its NUL
  const std::string tooLong(260, 'a');  // 261 bytes
  const Case cases[] = {
      {"backslash added", &plain, true, "C:\\Programas\\Comun\\"},
      {"backslash kept", &slashed, true, "C:\\Programas\\Comun\\"},
      {"empty value", &empty, true, ""},
      {"missing value", nullptr, false, ""},
      {"259 characters fit", &fits, true, nullptr},
      {"longer than 260 bytes", &tooLong, false, ""},
  };
  for (const Case& c : cases) {
    ScopedFolderValue value(qvx::kFolderComponentesComunes, c.stored);
    std::string folder = "left over";
    EXPECT_EQ(c.found, qvx::GetFolderPath(qvx::kFolderComponentesComunes, folder)) << c.label;
    EXPECT_EQ(c.folder ? std::string(c.folder) : fits + "\\", folder) << c.label;
  }
}

TEST(FolderTable, MissingTableGivesNothing) {
  ScopedFolderValue value("another folder", nullptr);  // leaves the key, without our value
  ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, qvx::MakerRegistryView(), 0);
  std::string folder = "left over";
  EXPECT_FALSE(qvx::GetFolderPath(qvx::kFolderComponentesComunes, folder));
  EXPECT_EQ("", folder);
}

#ifdef _WIN64
// The maker's installers are 32-bit: a value only in the 64-bit view is not theirs.
TEST(FolderTable, ReadsThe32BitViewOnly) {
  ScopedFolderValue absent(qvx::kFolderComponentesComunes, nullptr);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, 0, nullptr, 0,
                                             KEY_WRITE | KEY_WOW64_64KEY, nullptr, &key, nullptr));
  const char native[] = "C:\\Native64";
  ::RegSetValueExA(key, qvx::kFolderComponentesComunes, 0, REG_SZ, reinterpret_cast<const BYTE*>(native),
                   sizeof(native));
  ::RegCloseKey(key);
  std::string folder;
  EXPECT_FALSE(qvx::GetFolderPath(qvx::kFolderComponentesComunes, folder)) << folder;
  ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, KEY_WOW64_64KEY, 0);
}
#endif

TEST(ModuleStartUp, SetsStateInOrder) {
  struct Case {
    const std::string* folder;
    const char* helpPath;
  };
  const std::string comun = "C:\\Comun";
  const Case cases[] = {{&comun, "C:\\Comun\\Ayuda\\Brumo.chm"}, {nullptr, "Ayuda\\Brumo.chm"}};
  for (const Case& c : cases) {
    ScopedFolderValue value(qvx::kFolderComponentesComunes, c.folder);
    qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
    const std::string firstName = Module().appName;
    ASSERT_FALSE(firstName.empty());
    qvx::CQVXIntlApp app;
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(qvx::fw::HelpType::HtmlHelp, Module().helpType);
    EXPECT_EQ("Quorvex", Module().registryKey);
    // The profile keeps the name the module had when the key was set.
    EXPECT_EQ(firstName, Module().profileName);
    EXPECT_EQ("Quorvex Ingenieros", Module().appName);
    EXPECT_EQ(c.helpPath, Module().helpFilePath);
    EXPECT_NE(nullptr, ::GetModuleHandleA("riched20.dll"));
    EXPECT_EQ(0, app.ExitInstance());
  }
}

TEST(ModuleState, ProfileIntegersLiveUnderTheRegistryKey) {
  qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
  qvx::fw::SetRegistryKey("QuorvexTest");
  const std::string base = "Software\\QuorvexTest";
  EXPECT_EQ(7u, qvx::fw::GetProfileInt("Sec", "Missing", 7));
  EXPECT_TRUE(qvx::fw::WriteProfileInt("Sec", "Value", -3));
  EXPECT_EQ(static_cast<UINT>(-3), qvx::fw::GetProfileInt("Sec", "Value", 7));

  const std::string path = base + "\\" + Module().profileName + "\\Sec";
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_WRITE, &key));
  const char text[] = "12";
  ::RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
  ::RegCloseKey(key);
  EXPECT_EQ(7u, qvx::fw::GetProfileInt("Sec", "Text", 7)) << "a value that is not a DWORD";
  ::RegDeleteTreeA(HKEY_CURRENT_USER, base.c_str());
  ::RegDeleteKeyA(HKEY_CURRENT_USER, base.c_str());
}

TEST(ModuleState, MissingStringIsEmpty) {
  qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
  EXPECT_EQ("", qvx::fw::LoadResString(4242));
}

}  // namespace
