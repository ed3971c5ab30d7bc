#include "request_text.h"

#include <strings.h>

namespace qvx::server {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string PercentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) << 4 | HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

QueryValues ParseQuery(const std::string& query) {
  QueryValues values;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    const std::string item = query.substr(start, end - start);
    if (!item.empty()) {
      const size_t equals = item.find('=');
      if (equals == std::string::npos)
        values.emplace_back(PercentDecode(item), std::string());
      else
        values.emplace_back(PercentDecode(item.substr(0, equals)), PercentDecode(item.substr(equals + 1)));
    }
    start = end + 1;
  }
  return values;
}

const std::string* FindValue(const QueryValues& values, const std::string& key) {
  for (const auto& [name, value] : values)
    if (name == key) return &value;
  return nullptr;
}

std::pair<std::string, std::string> SplitTarget(const std::string& target) {
  const size_t mark = target.find('?');
  if (mark == std::string::npos) return {target, std::string()};
  return {target.substr(0, mark), target.substr(mark + 1)};
}

std::optional<RequestHead> ParseRequestHead(const std::string& head) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < head.size();) {
    size_t end = head.find('\n', start);
    if (end == std::string::npos) end = head.size();
    std::string line = head.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) break;
    lines.push_back(std::move(line));
    start = end + 1;
  }
  if (lines.empty()) return std::nullopt;
  const std::string& first = lines[0];
  const size_t space1 = first.find(' ');
  const size_t space2 = space1 == std::string::npos ? space1 : first.find(' ', space1 + 1);
  if (space1 == 0 || space2 == std::string::npos || space2 == space1 + 1 ||
      first.compare(space2 + 1, 5, "HTTP/") != 0)
    return std::nullopt;
  RequestHead parsed{first.substr(0, space1), first.substr(space1 + 1, space2 - space1 - 1), std::string()};
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t colon = lines[i].find(':');
    if (colon != 10 || strncasecmp(lines[i].c_str(), "User-Agent", colon) != 0) continue;
    const size_t begin = lines[i].find_first_not_of(" \t", colon + 1);
    const size_t end = lines[i].find_last_not_of(" \t");
    parsed.userAgent = begin == std::string::npos ? std::string() : lines[i].substr(begin, end + 1 - begin);
    break;
  }
  return parsed;
}

}  // namespace qvx::server
