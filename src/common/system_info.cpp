#include "common/system_info.h"

#include <windows.h>

#include <cstdio>

#include "common/maker_registry.h"
#include "common/registry_text.h"
#include "common/system_identity.h"

namespace qvx {

namespace {

// A text of at most 260 bytes; "" when the key or the value is missing.
std::string ReadMachineText(const char* path, const char* name, REGSAM view) {
  std::string text;
  ReadRegistryText(HKEY_LOCAL_MACHINE, path, name, view, 260, text);
  return text;
}

std::string ComputerName() {
  char name[260] = {};
  DWORD size = sizeof(name);
  return ::GetComputerNameA(name, &size) ? std::string(name, size < sizeof(name) ? size : 0) : std::string();
}

}  // namespace

std::string SystemInfoText(const std::string& programName, const std::string& programVersion,
                           const std::string& extraInformation) {
  SystemInfoFields fields;
  fields.programName = programName;
  fields.windowsVersion = ::GetVersion();
  fields.programVersion = programVersion;
  // The maker's installers write the 32-bit view.
  fields.installation = ReadMachineText("Software\\Quorvex", nullptr, MakerRegistryView());
  fields.extraInformation = extraInformation;
  fields.computerName = ComputerName();
  return FormatSystemInfoText(fields);
}

std::string MachineIdentifierSource() {
  // Windows' own installation GUID lives in the 64-bit view on 64-bit
  // Windows; reading that view gives both builds the same identifier.
  std::string guid = ReadMachineText("SOFTWARE\\Microsoft\\Cryptography", "MachineGuid", KEY_WOW64_64KEY);
  if (!guid.empty()) return "guid:" + guid;
  DWORD serial = 0;
  char system[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemDirectoryA(system, MAX_PATH);
  if (length >= 3 && length < MAX_PATH) {
    system[3] = '\0';  // "C:\"
    ::GetVolumeInformationA(system, nullptr, 0, &serial, nullptr, nullptr, nullptr, 0);
  }
  char serialText[16];
  std::snprintf(serialText, sizeof(serialText), "%08lX", static_cast<unsigned long>(serial));
  return std::string("host:") + serialText + ":" + ComputerName();
}

const std::string& MachineIdentifier() {
  static const std::string id = DeriveMachineIdentifier(MachineIdentifierSource());
  return id;
}

}  // namespace qvx
