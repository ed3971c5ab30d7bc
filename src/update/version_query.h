// QueryLatestVersion: asks the update server (common/deployment_settings.h)
// which version of an application is the latest, with one HTTP GET through
// WinInet. Blocks the calling thread; a server that stops answering ends the
// query with an error within about ten seconds per stage.
#pragma once

#include <string>

namespace qvx {

// TRUE with version set to the first non-empty line of the reply; FALSE with
// error set: string 120 (status outside 200 to 299), 121 (the request could
// not be opened), 122 (no non-empty line, or a body cut short of its
// Content-Length before a whole line), or the system's message for the
// WinInet error that stopped the exchange, at most 255 characters. The other
// output is emptied. withRuntime asks "Versioncc", which may also name the
// common runtime package, instead of "Version".
bool QueryLatestVersion(const std::string& application, bool withRuntime, std::string& version, std::string& error);

}  // namespace qvx
