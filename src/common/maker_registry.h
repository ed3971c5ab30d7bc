// The maker's installers are 32-bit and write HKEY_LOCAL_MACHINE in the
// 32-bit registry view; the 64-bit module reads (and writes) that view too.
#pragma once

#include <windows.h>

namespace qvx {

// Access flags to add for keys of the maker's HKEY_LOCAL_MACHINE data.
REGSAM MakerRegistryView();

}  // namespace qvx
