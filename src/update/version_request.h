// The texts of the version query: the request's object path and credentials,
// the parts of the host program that name it in the user agent, and the one
// line taken from the reply. Pure functions; update/version_query.cpp sends
// and reads them through WinInet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace qvx {

// Every byte outside A-Z a-z 0-9 - . _ ~ as "%" and two upper-case
// hexadecimal digits, so that any name reaches the server as given.
std::string PercentEncode(const std::string& text);

// "number BEL machine BEL key", the fields of the request token.
std::string VersionCredentials(const std::string& number, const std::string& machine, const std::string& key);

// "/Updates/Version?d=<seconds>&p=<application>&code=<token>", or
// "/Updates/Versioncc?..." with withRuntime; the application percent-encoded.
std::string VersionObjectPath(bool withRuntime, int32_t seconds, const std::string& application,
                              const std::string& token);

// The file name of a Windows path without its folder and its extension.
std::string ProgramBaseName(const std::string& path);

// The build tag of an InternalName: what follows its last "#" up to the
// first blank; "" when the name holds no "#".
std::string BuildTag(const std::string& internalName);

// Fills buffer with up to size bytes of the reply body and returns how many
// it gave: 0 at the end of the body, -1 when reading failed.
using ReplyReader = std::function<std::ptrdiff_t(char* buffer, size_t size)>;

enum class ReplyLine { Found, Ended, Failed };

// The first non-empty line of the body, without its line end (LF or CR LF;
// a last line needs none). Ended when the body has none within its first
// kReplyReadMax bytes (a reply that streams blank lines cannot hold the
// caller); Failed as soon as a read fails.
inline constexpr size_t kReplyReadMax = 64 * 1024;
ReplyLine FirstNonEmptyLine(const ReplyReader& read, std::string& line);

}  // namespace qvx
