// What the update service tells the update server about this computer: the
// user-agent text of its HTTP sessions and the machine identifier of its
// requests. Windows glue around common/system_identity.h.
#pragma once

#include <string>

namespace qvx {

// "P-WinVer:W -ProgVer:VS -ExtInfo:E -IdNM:N" (see FormatSystemInfoText).
// Never fails: a source that cannot be read leaves its field empty.
std::string SystemInfoText(const std::string& programName, const std::string& programVersion,
                           const std::string& extraInformation);

// 32 upper-case hexadecimal digits that identify this computer and reveal
// nothing readable about it. Derived from the machine's installation GUID
// (the computer name and the system volume's serial number when there is
// none), once per process.
const std::string& MachineIdentifier();

// The text the identifier is derived from (exposed for tests).
std::string MachineIdentifierSource();

}  // namespace qvx
