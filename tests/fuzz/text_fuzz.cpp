// The parsers of outside text over arbitrary input, the first byte picking one: nothing may crash
// or trip a sanitizer, and each result must keep what its callers rely on.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "common/deployment_text.h"
#include "common/request_encoding.h"
#include "common/version_compare.h"
#include "intl/number_format.h"
#include "intl/number_parse.h"

namespace {

using namespace qvx;

// Any settings, flags, decimals, value and text.
void NumberText(FuzzedDataProvider& in) {
  const intl::NumberSettings s{in.ConsumeRandomLengthString(4), in.ConsumeRandomLengthString(4),
                               in.ConsumeRandomLengthString(4), in.ConsumeIntegral<long>(),
                               in.ConsumeIntegral<long>(),      in.ConsumeIntegral<long>()};
  const long flags = in.ConsumeIntegral<long>(), decimals = in.ConsumeIntegral<long>();
  const uint64_t bits = in.ConsumeIntegral<uint64_t>();
  double value;
  std::memcpy(&value, &bits, sizeof value);
  const std::string text = in.ConsumeRemainingBytesAsString();
  intl::ConvertStrToIntlStr(text, flags, s);
  intl::ConvertFltToIntlStr(value, decimals, flags, s);
  intl::ConvertIntlStrToFlt(text, s);
  intl::ValidateIntlStr(text, s);
}

// An order (reflexive, antisymmetric, transitive), and no field overflows.
void Versions(FuzzedDataProvider& in) {
  const std::string a = in.ConsumeRandomLengthString(64), b = in.ConsumeRandomLengthString(64),
                    c = in.ConsumeRemainingBytesAsString();
  auto sign = [](const std::string& x, const std::string& y) {
    const int v = CompareVersions(x, y);
    return (v > 0) - (v < 0);
  };
  const int ab = sign(a, b), bc = sign(b, c), ac = sign(a, c);
  if (sign(a, a) != 0 || ab != -sign(b, a) || (ab <= 0 && bc <= 0 && ac > 0) || (ab >= 0 && bc >= 0 && ac < 0))
    __builtin_trap();
}

// Whatever decodes is exactly what the encoder makes of the result; a text without NUL comes back.
void ServerText(const std::string& input) {
  const std::string plain = DecodeServerText(input);
  const auto unscrambled = UnscrambleText(input);
  if (unscrambled ? plain != *unscrambled || ScrambleText(plain) != input : plain != kDecodeErrorText) __builtin_trap();
  if (const auto fields = DecodeRequestText(input); fields && EncodeRequestText(*fields) != input) __builtin_trap();
  if (input.find('\0') == std::string::npos &&
      (UnscrambleText(ScrambleText(input)) != input || DecodeRequestText(EncodeRequestText(input)) != input))
    __builtin_trap();
}

// An address that parses reaches a connection unchanged; a mailbox that passes is safe in a mail header.
void Deployment(const std::string& text) {
  if (const auto address = ParseServerAddress(text, 80)) {
    const auto again = ParseServerAddress(address->host + ":" + std::to_string(address->port), 1);
    if (address->host.empty() || address->host.size() > 253 || address->port < 1 || address->port > 65535 ||
        !again || again->host != address->host || again->port != address->port)
      __builtin_trap();
    for (const char c : address->host)
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') __builtin_trap();
  }
  if (!IsMailboxAddress(text)) return;
  if (text.size() > 254 || text.find_first_of(" \t\r\n<>\"") != std::string::npos) __builtin_trap();
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzedDataProvider in(data + 1, size - 1);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);  // exact size: ASan sees overreads
  switch (data[0] % 4) {
    case 0: NumberText(in); break;
    case 1: Versions(in); break;
    case 2: ServerText(text); break;
    default: Deployment(text);
  }
  return 0;
}
