// How the module names the computer and the calling program to the update
// server: the user-agent text of its HTTP sessions and the machine
// identifier of its requests. Pure functions of what the Windows side reads.
#pragma once

#include <cstdint>
#include <string>

namespace qvx {

struct SystemInfoFields {
  std::string programName;
  uint32_t windowsVersion = 0;  // GetVersion()
  std::string programVersion;
  std::string installation;  // the maker's installation value; "" when missing
  std::string extraInformation;
  std::string computerName;  // "" when it cannot be read
};

// "P-WinVer:W -ProgVer:VS -ExtInfo:E -IdNM:N": W is the Windows version in
// upper-case hexadecimal, S "X" and the installation value (nothing when that
// is empty), N the scrambled computer name. Control characters in the texts
// become blanks, so the result is always one header-safe line.
std::string FormatSystemInfoText(const SystemInfoFields& fields);

// 32 upper-case hexadecimal digits derived one way from a text that tells
// computers apart: the same source always gives the same identifier, and the
// identifier gives nothing of the source away.
std::string DeriveMachineIdentifier(const std::string& source);

}  // namespace qvx
