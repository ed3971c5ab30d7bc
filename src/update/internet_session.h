// What the update service's WinInet exchanges share: the time-outs that keep
// a silent server from holding the host, and the text of a WinInet error.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

namespace qvx {

// Per stage (connect, send, each receive).
inline constexpr DWORD kInternetTimeoutMs = 10000;
void SetInternetTimeouts(HINTERNET handle);

// The system's message for a WinInet (or system) error without its line end,
// at most 255 characters; "Error de comunicación (error:N)" when there is none.
std::string InternetErrorText(DWORD code);

}  // namespace qvx
