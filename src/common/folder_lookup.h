// The maker's folder table: HKLM\SOFTWARE\Quorvex\Carpetas, one named value
// per shared folder, written by the maker's installers.
#pragma once

#include <string>

namespace qvx {

extern const char kFolderComponentesComunes[];  // "Componentes Comunes"
extern const char kFolderTableKey[];            // "SOFTWARE\Quorvex\Carpetas"

// TRUE when the value was read; folder then ends with a backslash unless the
// stored text is empty. FALSE (and an empty folder) when the key or value is
// missing or the value does not fit in 260 bytes.
bool GetFolderPath(const std::string& name, std::string& folder);

}  // namespace qvx
