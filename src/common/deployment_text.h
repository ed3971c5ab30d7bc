// What makes a deployment value usable: the addresses of the maker's servers
// and the support mail box, as a maker writes them in the registry. A value
// that fails these checks counts as missing, so a typing slip falls back to
// the next source instead of reaching a connection or a mail header.
#pragma once

#include <optional>
#include <string>

namespace qvx {

struct ServerAddress {
  std::string host;
  unsigned port = 0;
};

// "host" (port defaultPort) or "host:port". The host is a name or an IPv4
// address: letters, digits, '-', '_' and points, at most 253 characters, no
// empty label; the port is decimal, 1 to 65535. Anything else gives nothing:
// an empty text, a blank, a scheme, a user, a path, a query, an empty or
// out-of-range port.
std::optional<ServerAddress> ParseServerAddress(const std::string& text, unsigned defaultPort);

// "local@domain" with one "@": the local part made of points between runs of
// letters, digits and !#$%&'*+-/=?^_`{|}~, the domain a host as above; at
// most 254 characters. Blanks, quotes, angle brackets and control characters
// (which could bend a mail header) are refused.
bool IsMailboxAddress(const std::string& text);

}  // namespace qvx
