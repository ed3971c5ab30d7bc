#include <gtest/gtest.h>

#include "common/deployment_text.h"
#include "common/hex_digits.h"
#include "common/request_encoding.h"
#include "common/sha256.h"
#include "common/system_identity.h"
#include "common/version_compare.h"

using namespace qvx;

TEST(CompareVersions, ComparesFourFields) {
  const struct { const char* a; const char* b; int sign; } cases[] = {
      // Numbers, not texts; a missing field is 0; tabs and high bytes separate; the fourth field counts, the fifth not.
      {"4.2.5.0", "4.2.10.0", -1}, {"4.2.5", "4.2.5.0", 0}, {"4, 2, 5, 0", "4.2.5.0", 0}, {"4\t2\xE9" "5", "4.2.5", 0},
      {"4.2.5.1", "4.2.5.0", 1}, {"4.2.5.0.7", "4.2.5.0.1", 0}, {"4.1 2.5", "4.1.5", 0},  // a blank ends its number
      {"2147483646", "2147483647", -1}, {"2147483648.5", "2147483647.5", 0},  // both saturate at the largest int
  };
  auto sign = [](int value) { return (value > 0) - (value < 0); };
  for (const auto& c : cases) {
    EXPECT_EQ(c.sign, sign(CompareVersions(c.a, c.b))) << c.a << " vs " << c.b;
    EXPECT_EQ(-c.sign, sign(CompareVersions(c.b, c.a))) << c.b << " vs " << c.a;
  }
}

// Vectors computed apart from this code, following docs/update-protocol.md; the fields outgrow the 16-byte key.
TEST(RequestEncoding, KnownVectorsBothWays) {
  const std::string fields = "1234\x07" "ABCDEF0123\x07" "clave";
  const std::string scrambled = "60277B3D4C6852587243691A471451330118161201";
  // Equal characters give different digits; "Sí" in Windows-1252 has a high byte.
  const std::pair<std::string, std::string> cases[] = {{"", ""}, {"AA", "1024"}, {"S\xED", "029A"}, {fields, scrambled}};
  for (const auto& [text, hex] : cases) {
    EXPECT_EQ(hex, ScrambleText(text)) << hex;
    EXPECT_EQ(text, DecodeServerText(hex)) << hex;
    EXPECT_EQ(text, DecodeRequestText(EncodeRequestText(text)).value_or("(refused)")) << hex;
  }
  // Malformed: odd length, lower case, past F, unscrambling to NUL ('Q' ^ 0x51), later on (0x65 ^ 'u' ^ 0x10).
  for (const char* text : {"190", "1a", "1G", "51", "1065"})
    EXPECT_EQ("Error Descodificaci\xF3n", DecodeServerText(text)) << text;
  EXPECT_EQ(0xCBF43926u, RequestCheckCode("123456789"));  // the standard CRC-32 check value
  EXPECT_EQ(0x0EF482ADu, RequestCheckCode("S\xED"));       // zlib.crc32 of a high byte
  const std::string token = scrambled + "78E6CDC5";
  EXPECT_EQ(token, EncodeRequestText(fields));
  // Refused: empty, a scrambled digit changed, a lower-case check code.
  for (const std::string& damaged : {std::string(), token.substr(0, 3) + "6" + token.substr(4), scrambled + "78e6cdc5"})
    EXPECT_FALSE(DecodeRequestText(damaged).has_value()) << damaged;
}

// FIPS 180-4 examples and the lengths on both sides of the padding boundary; the agent text sent with requests.
TEST(SystemIdentity, DigestsAndAgentText) {
  const struct { std::string message; const char* digest; } cases[] = {
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
  const struct { const char* label; SystemInfoFields fields; const char* text; } agents[] = {
      {"no installation value", {"Tramitex", 0xA, "4.2.5.0", "", "B17", "Hola"},
       "Tramitex-WinVer:A -ProgVer:4.2.5.0 -ExtInfo:B17 -IdNM:19030013"},
      {"controls blank, high bytes stay", {"Gesti\xF3n\r\nX: 1", 0xFFFFFFFF, "4\n2", "R\ned", "\t\x7F", "Hola"},
       "Gesti\xF3n  X: 1-WinVer:FFFFFFFF -ProgVer:4 2XR ed -ExtInfo:   -IdNM:19030013"},
  };
  for (const auto& c : agents) EXPECT_EQ(c.text, FormatSystemInfoText(c.fields)) << c.label;
}

TEST(DeploymentText, ServerAddressesAndMailboxes) {
  const std::pair<std::string, std::string> addresses[] = {  // "host:port", or "" when malformed
      {"actualizaciones.quorvex.es", "actualizaciones.quorvex.es:80"}, {"127.0.0.1:8080", "127.0.0.1:8080"},
      {"h-2_x:1", "h-2_x:1"}, {"h:65535", "h:65535"}, {"h:0", ""}, {"h:65536", ""}, {"h:000080", ""}, {"h:", ""},
      {"h:+80", ""}, {"h:80:81", ""}, {":80", ""}, {"", ""}, {" h", ""}, {"http://h", ""}, {"h/Updates", ""},
      {"user@h", ""}, {"[::1]:80", ""}, {"a..b", ""}, {".h", ""}, {"\xFCmlaut.es", ""},
      {std::string(253, 'h'), std::string(253, 'h') + ":80"}, {std::string(254, 'h'), ""},
  };
  for (const auto& [text, expected] : addresses) {
    const auto got = ParseServerAddress(text, 80);
    EXPECT_EQ(expected, got ? got->host + ":" + std::to_string(got->port) : "") << '"' << text << '"';
  }
  const std::pair<std::string, bool> mailboxes[] = {
      {"soporte@quorvex.es", true}, {"a.b+c_d-e!#$%&'*/=?^`{|}~@h", true}, {"soporte.quorvex.es", false},
      {"a@b@quorvex.es", false}, {"@h", false}, {"s@", false}, {"s t@h", false}, {"<s@h>", false}, {"s..t@h", false},
      {"s@h\r\nBcc: x@y", false}, {"s@h:25", false}, {"se\xF1or@h", false}, {std::string(252, 's') + "@h", true},
      {std::string(253, 's') + "@h", false},
  };
  for (const auto& [text, expected] : mailboxes) EXPECT_EQ(expected, IsMailboxAddress(text)) << '"' << text << '"';
}
