// What the update server's replies reach: the version line read from a body
// that arrives in pieces, the application and package split, the package's
// file name piece and the installer's path (the application's name taken
// from the reply too, as if a host passed anything), the refusal marker.
// Nothing may crash, and no text may name a file outside the temporary folder.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "common/request_encoding.h"
#include "update/download_text.h"
#include "update/version_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = 1 + data[0] % 32;
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);

  size_t at = 0;
  std::string line;
  const qvx::ReplyLine got = qvx::FirstNonEmptyLine(
      [&](char* buffer, size_t room) -> std::ptrdiff_t {
        const size_t n = body.copy(buffer, std::min(room, piece), at);
        at += n;
        return static_cast<std::ptrdiff_t>(n);
      },
      line);
  if (got == qvx::ReplyLine::Found &&
      (line.empty() || line.find('\n') != std::string::npos || body.find(line) == std::string::npos))
    __builtin_trap();
  if (at > qvx::kReplyReadMax + 4096) __builtin_trap();  // a stream of blank lines cannot hold the caller

  const qvx::VersionReply reply = qvx::SplitVersionReply(line);
  const std::string tag = qvx::PackageFileTag(reply.package);
  for (const char c : tag)
    if (!std::isalnum(static_cast<unsigned char>(c))) __builtin_trap();
  const std::string temp = "C:\\Temp\\";
  for (const bool package : {false, true}) {
    const auto path = qvx::InstallerPath(temp, reply.application, tag, "", package);
    if (!path) continue;
    const std::string name = path->substr(temp.size());
    if (path->compare(0, temp.size(), temp) != 0 || name.find_first_of("\\/:*?\"<>|") != std::string::npos ||
        path->size() >= 260)
      __builtin_trap();
  }
  qvx::FormatVersionForDisplay(reply.application);

  if (qvx::RefusalReason(body.data(), body.size()) && body.compare(0, 7, "@ERROR@") != 0) __builtin_trap();
  return 0;
}
