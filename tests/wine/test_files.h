// Files that the test build puts beside the test programs (the version
// files of version_files/).
#pragma once

#include <windows.h>

#include <string>

namespace qvxtest {

// The full path of a file in the test program's own folder.
inline std::string TestFile(const char* name) {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string self = path;
  return self.substr(0, self.find_last_of('\\') + 1) + name;
}

}  // namespace qvxtest
