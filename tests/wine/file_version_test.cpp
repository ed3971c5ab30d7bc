// The version readers on real files: small DLLs of this test build that
// differ only in their version resources, the module itself, and files that
// have no version at all.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/file_version.h"
#include "framework/ansi.h"
#include "test_files.h"
#include "test_support.h"

namespace {

using qvx::VersionRecord;
using qvxtest::TestFile;

std::string ModuleFile() {
  const std::wstring path = qvxtest::ModulePath();
  return qvx::fw::AnsiFromWide(path.c_str(), path.size());
}

const char kUntouched[] = "untouched";

VersionRecord Untouched() { return {kUntouched, kUntouched, kUntouched, kUntouched, kUntouched}; }

TEST(ReadFileVersion, ReadsTheFileVersionField) {
  const struct {
    const char* label;
    std::string path;
    bool found;
    const char* version;
  } cases[] = {
      {"normal file", TestFile("version_normal.dll"), true, "1.2.3.4"},
      {"comma and blank", TestFile("version_commas.dll"), true, "4, 2, 5, 0"},
      {"no OriginalFilename", TestFile("version_no_original_name.dll"), true, "2.0.0.1"},
      {"the module itself", ModuleFile(), true, "4.2.5.0"},
      {"no translation table", TestFile("version_no_translation.dll"), false, kUntouched},
      {"strings only under the second translation", TestFile("version_second_translation.dll"), false, kUntouched},
      {"no version resource", TestFile("version_none.dll"), false, kUntouched},
      {"no such file", TestFile("version_missing.dll"), false, kUntouched},
      {"empty path", "", false, kUntouched},
      {"a folder", TestFile(""), false, kUntouched},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::string version = kUntouched;
    EXPECT_EQ(c.found, qvx::ReadFileVersion(c.path, version)) << c.path;
    EXPECT_EQ(c.version, version);
  }
}

TEST(ReadVersionRecord, NeedsOriginalFilenameAndFileVersion) {
  const struct {
    const char* label;
    std::string path;
    bool result;
    VersionRecord record;
  } cases[] = {
      {"normal file, texts in the ANSI code page", TestFile("version_normal.dll"), true,
       {"1.2.3.4", "Se\xF1" "al Gesti\xF3n", "Normal test file", "Normal#B17 extra", "normal.dll"}},
      {"no OriginalFilename: the other fields still come", TestFile("version_no_original_name.dll"), false,
       {"2.0.0.1", "Sin nombre original", "Without OriginalFilename", "NoOriginalName", kUntouched}},
      {"only two fields: the others stay as passed", TestFile("version_commas.dll"), true,
       {"4, 2, 5, 0", kUntouched, kUntouched, kUntouched, "commas.dll"}},
      {"the module itself", ModuleFile(), true,
       {"4.2.5.0", "Quorvex Common Tools", "Quorvex  Internationalization Control", "QuorvexIntl",
        "QuorvexIntl.ocx"}},
      {"no translation table", TestFile("version_no_translation.dll"), false, Untouched()},
      {"strings only under the second translation", TestFile("version_second_translation.dll"), false, Untouched()},
      {"no version resource", TestFile("version_none.dll"), false, Untouched()},
      {"no such file", TestFile("version_missing.dll"), false, Untouched()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    VersionRecord record = Untouched();
    EXPECT_EQ(c.result, qvx::ReadVersionRecord(c.path, record)) << c.path;
    EXPECT_EQ(c.record.fileVersion, record.fileVersion);
    EXPECT_EQ(c.record.productName, record.productName);
    EXPECT_EQ(c.record.fileDescription, record.fileDescription);
    EXPECT_EQ(c.record.internalName, record.internalName);
    EXPECT_EQ(c.record.originalFilename, record.originalFilename);
  }
}

}  // namespace
