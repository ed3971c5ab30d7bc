#include "common/folder_lookup.h"

#include <windows.h>

#include "common/maker_registry.h"
#include "common/registry_text.h"

namespace qvx {

const char kFolderComponentesComunes[] = "Componentes Comunes";
const char kFolderTableKey[] = "SOFTWARE\\Quorvex\\Carpetas";

bool GetFolderPath(const std::string& name, std::string& folder) {
  folder.clear();
  if (!ReadRegistryText(HKEY_LOCAL_MACHINE, kFolderTableKey, name.c_str(), MakerRegistryView(), 260, folder))
    return false;
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return true;
}

}  // namespace qvx
