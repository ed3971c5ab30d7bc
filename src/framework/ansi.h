// Texts are ANSI inside the module; the COM boundary converts with the
// system's ANSI code page (CP_ACP), and only there.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace qvx::fw {

// A NULL BSTR is an empty text. Embedded NULs are kept.
std::string AnsiFromBstr(BSTR text);
std::string AnsiFromWide(const wchar_t* text, size_t length);
std::wstring WideFromAnsi(const std::string& text);

// The longest start of text of at most max bytes that does not split a
// double-byte character of the ANSI code page.
std::string CutAnsi(std::string text, size_t max);
// A new BSTR owned by the caller; nullptr only when memory runs out.
BSTR BstrFromAnsi(const std::string& text);

}  // namespace qvx::fw
