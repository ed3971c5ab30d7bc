// Text fields of a file's version resource, read under the first language
// and code page of its "\VarFileInfo\Translation" table. A file without that
// table gives no field, even when it has a string table.
#pragma once

#include <string>

namespace qvx {

struct VersionRecord {
  std::string fileVersion;
  std::string productName;
  std::string fileDescription;
  std::string internalName;
  std::string originalFilename;
};

// TRUE when the FileVersion field was found; version is then that field's
// text. FALSE for a missing file, a file without version resource or
// translation table, or without the field; version is then left as it was.
bool ReadFileVersion(const std::string& path, std::string& version);

// TRUE only when both OriginalFilename and FileVersion were found. Every
// field found is filled, also when the result is FALSE; the others are left
// as the caller passed them.
bool ReadVersionRecord(const std::string& path, VersionRecord& record);

}  // namespace qvx
