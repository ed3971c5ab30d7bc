// The deployment values as a maker (or anyone with write access to the
// registry) may leave them: an address that parses must name a host and a
// port that reach a connection unchanged, and a mailbox that passes must be
// safe in a mail header.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>

#include "common/deployment_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (const auto address = qvx::ParseServerAddress(text, 80)) {
    if (address->host.empty() || address->host.size() > 253 || address->port < 1 || address->port > 65535)
      __builtin_trap();
    for (const char c : address->host)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') __builtin_trap();
    const auto again = qvx::ParseServerAddress(address->host + ":" + std::to_string(address->port), 1);
    if (!again || again->host != address->host || again->port != address->port) __builtin_trap();
  }
  if (qvx::IsMailboxAddress(text)) {
    if (text.size() > 254 || text.find_first_of(" \t\r\n<>\"") != std::string::npos) __builtin_trap();
    for (const char c : text)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
  }
  return 0;
}
