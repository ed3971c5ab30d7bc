#include "common/registry_text.h"

#include <vector>

#include "framework/handles.h"

namespace qvx {

bool ReadRegistryText(HKEY root, const char* path, const char* name, REGSAM view, DWORD maxBytes,
                      std::string& text) {
  fw::unique_hkey key;
  if (::RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE | view, key.put()) != ERROR_SUCCESS) return false;
  // One byte more than the value may hold keeps the text terminated.
  std::vector<char> buffer(maxBytes + 1, '\0');
  DWORD size = maxBytes;
  if (::RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return false;
  text = buffer.data();
  return true;
}

}  // namespace qvx
