#include "update/version_request.h"

#include <cinttypes>
#include <cstdio>

#include "common/hex_digits.h"

namespace qvx {

std::string PercentEncode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      AppendHexByte(out, static_cast<unsigned char>(c));
    }
  }
  return out;
}

std::string VersionCredentials(const std::string& number, const std::string& machine, const std::string& key) {
  return number + '\x07' + machine + '\x07' + key;
}

std::string VersionObjectPath(bool withRuntime, int32_t seconds, const std::string& application,
                              const std::string& token) {
  char time[16];
  std::snprintf(time, sizeof(time), "%" PRId32, seconds);
  return std::string("/Updates/") + (withRuntime ? "Versioncc" : "Version") + "?d=" + time +
         "&p=" + PercentEncode(application) + "&code=" + token;
}

std::string ProgramBaseName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

std::string BuildTag(const std::string& internalName) {
  const size_t hash = internalName.rfind('#');
  if (hash == std::string::npos) return std::string();
  const std::string tag = internalName.substr(hash + 1);
  return tag.substr(0, tag.find(' '));
}

ReplyLine FirstNonEmptyLine(const ReplyReader& read, std::string& line) {
  line.clear();
  char buffer[1024];
  size_t total = 0;
  while (total < kReplyReadMax) {
    const std::ptrdiff_t n = read(buffer, sizeof(buffer));
    if (n < 0) {
      line.clear();
      return ReplyLine::Failed;
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
    for (std::ptrdiff_t i = 0; i < n; ++i) {
      if (buffer[i] != '\n') {
        line += buffer[i];
        continue;
      }
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty()) return ReplyLine::Found;
    }
  }
  // The last line may come without a line end.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (total < kReplyReadMax && !line.empty()) return ReplyLine::Found;
  line.clear();
  return ReplyLine::Ended;
}

}  // namespace qvx
