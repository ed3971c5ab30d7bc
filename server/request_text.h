// Reading what a client sent: the request head (for the front end without
// HTTP library), the target's path and query, and the query's values as the
// module sends them (hexadecimal tokens and decimal numbers as they are, the
// application name percent-encoded byte by byte).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qvx::server {

// %XX (either case) becomes the byte XX; anything else, "+" and a "%" not
// followed by two hexadecimal digits included, stays as it is. The query is
// not a form, so "+" is not a blank.
std::string PercentDecode(const std::string& text);

// The query's "key=value" pairs in their order, both sides percent-decoded;
// an item without "=" has an empty value, empty items are skipped.
using QueryValues = std::vector<std::pair<std::string, std::string>>;
QueryValues ParseQuery(const std::string& query);

// The value of the first item named key, or nullptr when there is none.
const std::string* FindValue(const QueryValues& values, const std::string& key);

// A request target cut at its first "?": {path, query}.
std::pair<std::string, std::string> SplitTarget(const std::string& target);

struct RequestHead {
  std::string method, target, userAgent;
};

// The request line and User-Agent header of a head (up to the empty line, or
// all that arrived); nothing when the first line is not "METHOD TARGET
// HTTP/x". Header names are read in any case, the value without the blanks
// around it.
std::optional<RequestHead> ParseRequestHead(const std::string& head);

}  // namespace qvx::server
