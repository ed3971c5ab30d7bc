#include "control/ctrl_version.h"

#include <windows.h>

#include "common/file_version.h"
#include "common/registry_text.h"
#include "common/version_compare.h"
#include "control/intl_ids.h"
#include "framework/registration.h"

namespace qvx {

bool RegisteredModulePath(std::string& path) {
  const std::string server = "CLSID\\" + fw::GuidText(CLSID_QVXIntl) + "\\InprocServer32";
  // The class is registered in the view of the module's own bitness.
  return ReadRegistryText(HKEY_CLASSES_ROOT, server.c_str(), nullptr, 0, 520, path);
}

std::string VerifyCtrlVersion(const std::string& minimum, bool& atLeast) {
  atLeast = false;
  std::string module;
  std::string version;
  if (!RegisteredModulePath(module) || !ReadFileVersion(module, version)) return std::string();
  atLeast = CompareVersions(minimum, version) <= 0;
  return version;
}

}  // namespace qvx
