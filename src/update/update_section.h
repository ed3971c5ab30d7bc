// The registry section of a host's update preferences: its executable's file
// name in upper case less the last four characters, whatever they are
// ("C:\Apps\Tramitex.exe" gives "TRAMITEX", "setup.exe" gives "SETUP").
#pragma once

#include <string>

namespace qvx {

// Upper case as the Windows-1252 code page has it (accented letters too), so
// the section matches the one CharUpperA would give.
std::string UpperCase1252(std::string text);

// "" when the file name has four characters or fewer: such a host keeps no
// preferences.
std::string UpdateSection(const std::string& hostPath);

}  // namespace qvx
