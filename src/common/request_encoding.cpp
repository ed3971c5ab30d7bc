#include "common/request_encoding.h"

#include "common/hex_digits.h"

namespace qvx {

const char kDecodeErrorText[] = "Error Descodificación";

namespace {

// Each byte is combined with this key, repeated, and with the scrambled byte
// before it, so that equal characters do not give equal digits.
constexpr char kScrambleKey[] = "QuorvexIntlClave";
constexpr size_t kScrambleKeyLength = sizeof(kScrambleKey) - 1;
constexpr size_t kCheckDigits = 8;

unsigned char KeyByte(size_t i) { return static_cast<unsigned char>(kScrambleKey[i % kScrambleKeyLength]); }

}  // namespace

std::string ScrambleText(const std::string& text) {
  std::string out;
  out.reserve(text.size() * 2);
  unsigned char previous = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    previous = static_cast<unsigned char>(static_cast<unsigned char>(text[i]) ^ KeyByte(i) ^ previous);
    AppendHexByte(out, previous);
  }
  return out;
}

std::optional<std::string> UnscrambleText(const std::string& hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string text;
  text.reserve(hex.size() / 2);
  unsigned char previous = 0;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigitValue(hex[i]);
    const int low = HexDigitValue(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    const auto scrambled = static_cast<unsigned char>(high << 4 | low);
    const auto plain = static_cast<unsigned char>(scrambled ^ KeyByte(i / 2) ^ previous);
    if (plain == 0) return std::nullopt;
    text += static_cast<char>(plain);
    previous = scrambled;
  }
  return text;
}

uint32_t RequestCheckCode(const std::string& text) {
  uint32_t crc = 0xFFFFFFFFu;
  for (const char c : text) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string EncodeRequestText(const std::string& fields) {
  std::string token = ScrambleText(fields);
  const uint32_t check = RequestCheckCode(fields);
  for (int shift = 24; shift >= 0; shift -= 8) AppendHexByte(token, static_cast<unsigned char>(check >> shift));
  return token;
}

std::optional<std::string> DecodeRequestText(const std::string& token) {
  if (token.size() < kCheckDigits) return std::nullopt;
  const size_t split = token.size() - kCheckDigits;
  std::optional<std::string> fields = UnscrambleText(token.substr(0, split));
  if (!fields) return std::nullopt;
  uint32_t check = 0;
  for (size_t i = split; i < token.size(); ++i) {
    const int digit = HexDigitValue(token[i]);
    if (digit < 0) return std::nullopt;
    check = check << 4 | static_cast<uint32_t>(digit);
  }
  if (check != RequestCheckCode(*fields)) return std::nullopt;
  return fields;
}

std::string DecodeServerText(const std::string& text) {
  std::optional<std::string> plain = UnscrambleText(text);
  return plain ? *plain : std::string(kDecodeErrorText);
}

}  // namespace qvx
