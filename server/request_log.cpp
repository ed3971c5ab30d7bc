#include "request_log.h"

namespace qvx::server {

std::string EscapeLogText(const std::string& text, bool inQuotes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if ((byte > 0x20 && byte < 0x7F) || (byte == 0x20 && inQuotes)) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::string FormatLogTime(std::time_t time) {
  std::tm utc{};
  char text[32] = "";
  if (gmtime_r(&time, &utc) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0)
    return "?";
  return text;
}

RequestLog::~RequestLog() {
  if (owned_) std::fclose(file_);
}

bool RequestLog::Open(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (owned_) std::fclose(file_);
  owned_ = false;
  file_ = path.empty() ? stdout : std::fopen(path.c_str(), "a");
  if (file_ == nullptr) return false;
  owned_ = !path.empty();
  return true;
}

void RequestLog::Write(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) return;
  std::fputs(line.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

}  // namespace qvx::server
