#include "common/deployment_text.h"

#include <cstring>

namespace qvx {

namespace {

constexpr size_t kHostMax = 253;
constexpr size_t kMailboxMax = 254;
constexpr unsigned kPortMax = 65535;

bool IsAlnum(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// Runs of allowed characters separated by single points, none empty.
template <typename Allowed>
bool IsDottedRuns(const std::string& text, Allowed allowed) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  char previous = '\0';
  for (const char c : text) {
    if (c == '.' ? previous == '.' : !allowed(c)) return false;
    previous = c;
  }
  return true;
}

bool IsHostName(const std::string& host) {
  return host.size() <= kHostMax && IsDottedRuns(host, [](char c) { return IsAlnum(c) || c == '-' || c == '_'; });
}

}  // namespace

std::optional<ServerAddress> ParseServerAddress(const std::string& text, unsigned defaultPort) {
  const size_t colon = text.find(':');
  ServerAddress address{text.substr(0, colon), defaultPort};
  if (!IsHostName(address.host)) return std::nullopt;
  if (colon == std::string::npos) return address;
  const std::string port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char c : port) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > kPortMax) return std::nullopt;
  address.port = value;
  return address;
}

bool IsMailboxAddress(const std::string& text) {
  const size_t at = text.find('@');
  if (text.size() > kMailboxMax || at == std::string::npos) return false;
  const std::string local = text.substr(0, at);
  const std::string domain = text.substr(at + 1);
  const auto atomCharacter = [](char c) { return IsAlnum(c) || (c != '\0' && std::strchr("!#$%&'*+-/=?^_`{|}~", c)); };
  return IsDottedRuns(local, atomCharacter) && IsHostName(domain);
}

}  // namespace qvx
