// The decoders over arbitrary input, as the update server's replies and the
// registry may hand it to them: nothing may crash or read past the input
// (odd lengths, bad digits, scrambled NULs, wrong check codes), and whatever
// decodes must be exactly what the encoder makes of the result.
#include <cstdint>
#include <string>

#include "common/request_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that AddressSanitizer sees any read past the end.
  const std::string input(reinterpret_cast<const char*>(data), size);

  const std::string plain = qvx::DecodeServerText(input);
  if (const auto unscrambled = qvx::UnscrambleText(input)) {
    if (plain != *unscrambled || qvx::ScrambleText(plain) != input) __builtin_trap();
  } else if (plain != qvx::kDecodeErrorText) {
    __builtin_trap();
  }

  if (const auto fields = qvx::DecodeRequestText(input)) {
    if (qvx::EncodeRequestText(*fields) != input) __builtin_trap();
  }

  // Every text without a NUL survives the round trip.
  if (input.find('\0') == std::string::npos) {
    const auto back = qvx::UnscrambleText(qvx::ScrambleText(input));
    if (!back || *back != input) __builtin_trap();
    const auto token = qvx::DecodeRequestText(qvx::EncodeRequestText(input));
    if (!token || *token != input) __builtin_trap();
  }
  return 0;
}
