// A registry key of the Wine prefix as a test found it, put back when the
// scope ends, so that tests may use the real registry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvxtest {

class ScopedKeySnapshot {
 public:
  // Remembers the key's values (not its subkeys) in the given view
  // (KEY_WOW64_32KEY, KEY_WOW64_64KEY or 0).
  ScopedKeySnapshot(HKEY root, std::string path, REGSAM view);
  // A key that did not exist is deleted with whatever was put under it; a
  // key that existed gets exactly its old values back (subkeys stay).
  ~ScopedKeySnapshot();
  ScopedKeySnapshot(const ScopedKeySnapshot&) = delete;
  ScopedKeySnapshot& operator=(const ScopedKeySnapshot&) = delete;

 private:
  struct Value {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
  };
  HKEY root_;
  std::string path_;
  REGSAM view_;
  bool existed_ = false;
  std::vector<Value> values_;
};

// Deletes a key with its subkeys in the given view; a missing key is fine.
void DeleteKeyTree(HKEY root, const std::string& path, REGSAM view);

// Sets (creating the key) or, with data nullptr, deletes one value.
void SetRegistryValue(HKEY root, const std::string& path, REGSAM view, const char* name, DWORD type,
                      const void* data, DWORD size);

}  // namespace qvxtest
