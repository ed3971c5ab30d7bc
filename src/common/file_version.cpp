#include "common/file_version.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace qvx {

namespace {

// A file's whole version information, loaded once; every field is queried
// from this one buffer, which goes with the object on every path.
class VersionInfo {
 public:
  explicit VersionInfo(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return;
    data_.resize(size);
    if (!::GetFileVersionInfoA(path.c_str(), 0, size, data_.data())) {
      data_.clear();
      return;
    }
    // The first entry of the translation table: language, then code page.
    void* entry = nullptr;
    UINT length = 0;
    if (::VerQueryValueA(data_.data(), "\\VarFileInfo\\Translation", &entry, &length) && entry != nullptr &&
        length >= 2 * sizeof(WORD)) {
      const WORD* translation = static_cast<const WORD*>(entry);
      char key[9];
      std::snprintf(key, sizeof(key), "%08lx",
                    static_cast<unsigned long>(translation[0]) * 65536ul + translation[1]);
      prefix_ = std::string("\\StringFileInfo\\") + key + "\\";
    }
  }

  // TRUE when the field exists under the translation; value then holds it.
  bool Field(const char* name, std::string& value) {
    if (prefix_.empty()) return false;
    void* text = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(data_.data(), (prefix_ + name).c_str(), &text, &length) || text == nullptr) return false;
    // The length may or may not count the terminating NUL.
    const char* chars = static_cast<const char*>(text);
    value.assign(chars, ::strnlen(chars, length));
    return true;
  }

 private:
  std::vector<char> data_;
  std::string prefix_;  // empty without a translation table
};

}  // namespace

bool ReadFileVersion(const std::string& path, std::string& version) {
  VersionInfo info(path);
  return info.Field("FileVersion", version);
}

bool ReadVersionRecord(const std::string& path, VersionRecord& record) {
  VersionInfo info(path);
  info.Field("ProductName", record.productName);
  info.Field("FileDescription", record.fileDescription);
  info.Field("InternalName", record.internalName);
  const bool haveName = info.Field("OriginalFilename", record.originalFilename);
  const bool haveVersion = info.Field("FileVersion", record.fileVersion);
  return haveName && haveVersion;
}

}  // namespace qvx
