#include "common/request_encoding.h"

#include <string>

#include <gtest/gtest.h>

#include "common/hex_digits.h"
#include "common/sha256.h"
#include "common/system_identity.h"

namespace qvx {
namespace {

// Request fields longer than the 16-byte key, and their scrambled form: like
// every vector here, computed apart from this code (a few lines of Python
// following docs/update-protocol.md), so a change of format cannot go unnoticed.
const std::string kFields = "1234\x07" "ABCDEF0123\x07" "clave";
const std::string kScrambled = "60277B3D4C6852587243691A471451330118161201";

TEST(ScrambleText, KnownVectorsBothWays) {
  // Equal characters give different digits; "Sí" in Windows-1252 has a high byte.
  const struct { std::string text, scrambled; } cases[] = {
      {"", ""}, {"AA", "1024"}, {"S\xED", "029A"}, {kFields, kScrambled}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.scrambled, ScrambleText(c.text)) << c.scrambled;
    EXPECT_EQ(c.text, DecodeServerText(c.scrambled)) << c.scrambled;
  }
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(all, DecodeServerText(ScrambleText(all))) << "every byte but NUL comes back";
}

TEST(DecodeServerText, MalformedInputIsAnError) {
  // Odd length, lower case, past F, unscrambling to NUL ('Q' ^ 0x51), later on (0x65 ^ 'u' ^ 0x10).
  for (const char* text : {"190", "1a", "1G", "51", "1065"})
    EXPECT_EQ("Error Descodificaci\xF3n", DecodeServerText(text)) << text;
}

TEST(RequestToken, CheckCodeAndRoundTrip) {
  EXPECT_EQ(0xCBF43926u, RequestCheckCode("123456789"));  // the standard CRC-32 check value
  EXPECT_EQ(0x0EF482ADu, RequestCheckCode("S\xED"));       // zlib.crc32 of a high byte
  const std::string token = kScrambled + "78E6CDC5";
  EXPECT_EQ(token, EncodeRequestText(kFields));
  for (const std::string& fields : {std::string(), kFields})
    EXPECT_EQ(fields, DecodeRequestText(EncodeRequestText(fields)).value_or("(refused)"));
  // Empty, a scrambled digit changed, a lower-case check code.
  const std::string changed = token.substr(0, 3) + "6" + token.substr(4);
  for (const std::string& damaged : {std::string(), changed, kScrambled + "78e6cdc5"})
    EXPECT_FALSE(DecodeRequestText(damaged).has_value()) << damaged;
}

// FIPS 180-4 examples and the lengths on both sides of the padding boundary.
TEST(Sha256, KnownDigests) {
  const struct { std::string message; const char* digest; } cases[] = {
      {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
      {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
      {std::string(55, 'a'), "9F4390F8D30C2DD92EC9F095B65E2B9AE9B0A925A5258E241C9F1E910F734318"},
      {std::string(56, 'a'), "B35439A4AC6F0948B6D6F9E3C6AF0F5F590CE20F1BDE7090EF7970686EC6738A"},
  };
  for (const auto& c : cases) {
    std::string hex;
    for (const uint8_t byte : Sha256(c.message)) AppendHexByte(hex, byte);
    EXPECT_EQ(c.digest, hex) << c.message.size() << " bytes";
  }
  // The example of docs/update-protocol.md's reference code.
  EXPECT_EQ("8FAF15C8DDA2A7CC8FD34ACD87B95B48", DeriveMachineIdentifier("guid:2eef4ccb-ed95-40d9-8388-64e9eac578b0"));
}

TEST(FormatSystemInfoText, Cases) {
  const struct { const char* label; SystemInfoFields fields; const char* text; } cases[] = {
      {"no installation value, short Windows version", {"Tramitex", 0xA, "4.2.5.0", "", "B17", "Hola"},
       "Tramitex-WinVer:A -ProgVer:4.2.5.0 -ExtInfo:B17 -IdNM:19030013"},
      {"largest Windows version", {"Tramitex", 0xFFFFFFFF, "4.2.5.0", "Red", "B17", "Hola"},
       "Tramitex-WinVer:FFFFFFFF -ProgVer:4.2.5.0XRed -ExtInfo:B17 -IdNM:19030013"},
      {"control characters become blanks, high bytes stay",
       {"Gesti\xF3n\r\nX: 1", 1, "4\n2", "R\ned", "\t\x7F", "Hola"},
       "Gesti\xF3n  X: 1-WinVer:1 -ProgVer:4 2XR ed -ExtInfo:   -IdNM:19030013"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, FormatSystemInfoText(c.fields)) << c.label;
}

}  // namespace
}  // namespace qvx
