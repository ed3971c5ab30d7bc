// One text value of the registry, read with query access only.
#pragma once

#include <windows.h>

#include <string>

namespace qvx {

// TRUE when root\path holds the value name (nullptr: the default value) in
// at most maxBytes bytes; text is then its text up to the first NUL (a value
// stored without its NUL counts whole). FALSE, with text untouched, when the
// key or the value is missing or longer. view adds KEY_WOW64_* flags.
bool ReadRegistryText(HKEY root, const char* path, const char* name, REGSAM view, DWORD maxBytes,
                      std::string& text);

}  // namespace qvx
