// Self-registration of a control class and of the module's type library, in
// the registry view of the process that registers (each build its own).
#pragma once

#include <windows.h>

#include <string>

namespace qvx::fw {

// Registry text form of a GUID: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::string GuidText(const GUID& guid);

enum : int { kRegApartmentThreading = 2, kRegInsertable = 1 };

struct ControlRegistration {
  HINSTANCE instance;
  const CLSID* clsid;
  const char* progId;
  UINT userTypeNameId;    // string resource
  UINT toolboxBitmapId;   // bitmap resource
  int flags;              // kRegApartmentThreading, kRegInsertable
  DWORD miscStatus;
  const GUID* typeLib;
  WORD typeLibMajor;
  WORD typeLibMinor;
};

// Writes the class, its program identifier and their subkeys; FALSE when any
// of them could not be written.
BOOL RegisterControlClass(const ControlRegistration& reg);

// Removes the class's and the program identifier's keys; keys that are
// already gone count as removed.
BOOL UnregisterControlClass(const CLSID& clsid, const char* progId);

// Registers the TYPELIB 1 resource of the module.
HRESULT RegisterModuleTypeLib(HINSTANCE instance);

// Unregisters the module's type library. The registration lives under the
// library's own locale and platform, so those are read from the embedded copy.
HRESULT UnregisterModuleTypeLib(HINSTANCE instance, const GUID& libid, WORD major, WORD minor);

}  // namespace qvx::fw
