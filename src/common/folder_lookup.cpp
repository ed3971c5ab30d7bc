#include "common/folder_lookup.h"

#include <windows.h>

#include "common/maker_registry.h"
#include "framework/handles.h"

namespace qvx {

const char kFolderComponentesComunes[] = "Componentes Comunes";
const char kFolderTableKey[] = "SOFTWARE\\Quorvex\\Carpetas";

bool GetFolderPath(const std::string& name, std::string& folder) {
  folder.clear();
  fw::unique_hkey key;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kFolderTableKey, 0, KEY_QUERY_VALUE | MakerRegistryView(), key.put()) !=
      ERROR_SUCCESS)
    return false;
  // One byte more than the value may hold keeps the text terminated even
  // when the stored value lacks its NUL.
  char buffer[261] = {};
  DWORD size = 260;
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return false;
  folder = buffer;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return true;
}

}  // namespace qvx
