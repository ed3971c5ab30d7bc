#include "common/request_encoding.h"

#include <string>

#include <gtest/gtest.h>

namespace qvx {
namespace {

// Vectors computed apart from this code (a few lines of Python following
// docs/update-protocol.md), so a change of format cannot go unnoticed.
TEST(ScrambleText, KnownVectors) {
  const struct {
    std::string text;
    const char* scrambled;
  } cases[] = {
      {"", ""},
      {"A", "10"},
      {"AA", "1024"},  // equal characters give different digits
      {"Hola", "19030013"},
      {"S\xED", "029A"},  // "Sí" in Windows-1252: a byte with the high bit set
      {std::string("1234\x07" "ABCDEF0123\x07" "clave"), "60277B3D4C6852587243691A471451330118161201"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.scrambled, ScrambleText(c.text));
  }
}

TEST(ScrambleText, TwoUpperCaseHexDigitsPerCharacter) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  for (const std::string& text : {std::string("x"), std::string(255, 'z'), all, std::string(1000, '\xFF')}) {
    const std::string scrambled = ScrambleText(text);
    ASSERT_EQ(2 * text.size(), scrambled.size());
    EXPECT_EQ(std::string::npos, scrambled.find_first_not_of("0123456789ABCDEF")) << scrambled;
  }
}

TEST(UnscrambleText, RoundTrips) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  for (const std::string& text : {std::string(), std::string("clave!secreta"), all, std::string(300, 'k')}) {
    const auto back = UnscrambleText(ScrambleText(text));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(text, *back);
  }
}

TEST(DecodeServerText, MalformedInputIsAnError) {
  const std::string error = "Error Descodificaci\xF3n";
  ASSERT_EQ(error, kDecodeErrorText);
  const std::string good = ScrambleText("Hola");  // 19030013
  const struct {
    const char* label;
    std::string text;
  } cases[] = {
      {"odd length", "190"},
      {"one digit", "1"},
      {"one digit cut off", good.substr(0, good.size() - 1)},
      {"lower case", "19030013" "0a"},
      {"letter past F", "1G"},
      {"blank", "19 3"},
      {"line end after the digits", good + "\r\n"},
      {"sign", "-1"},
      {"NUL inside the text", std::string("19\0" "3", 4)},
      {"digits that unscramble to NUL", "51"},  // 'Q' ^ 0x51 == 0
      {"digits that unscramble to NUL later on", "10" "65"},  // 0x65 ^ 'u' ^ 0x10 == 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(error, DecodeServerText(c.text));
  }
}

TEST(DecodeServerText, ScrambledTextComesBack) {
  const struct {
    const char* scrambled;
    std::string text;
  } cases[] = {
      {"", ""},
      {"19030013", "Hola"},
      {"029A", "S\xED"},
      {"60277B3D4C6852587243691A471451330118161201", std::string("1234\x07" "ABCDEF0123\x07" "clave")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scrambled);
    EXPECT_EQ(c.text, DecodeServerText(c.scrambled));
  }
}

TEST(RequestCheckCode, IsCrc32) {
  EXPECT_EQ(0x00000000u, RequestCheckCode(""));
  EXPECT_EQ(0xCBF43926u, RequestCheckCode("123456789"));  // the standard check value
  EXPECT_EQ(0x78E6CDC5u, RequestCheckCode(std::string("1234\x07" "ABCDEF0123\x07" "clave")));
}

TEST(EncodeRequestText, ScrambledFieldsThenCheckCode) {
  const std::string fields = std::string("1234\x07" "ABCDEF0123\x07" "clave");
  EXPECT_EQ("60277B3D4C6852587243691A471451330118161201" "78E6CDC5", EncodeRequestText(fields));
  EXPECT_EQ("00000000", EncodeRequestText(""));
  EXPECT_EQ("5624" "90FC119B", EncodeRequestText("\x07\x07"));  // two empty fields
}

TEST(DecodeRequestText, GivesBackTheFields) {
  for (const std::string& fields :
       {std::string(), std::string("\x07\x07"), std::string("1234\x07" "ID\x07" "key"), std::string("App!4!12!k\x07y"),
        std::string(500, '\xE9')}) {
    const auto back = DecodeRequestText(EncodeRequestText(fields));
    ASSERT_TRUE(back.has_value()) << fields;
    EXPECT_EQ(fields, *back);
  }
}

TEST(DecodeRequestText, RefusesDamagedTokens) {
  const std::string token = EncodeRequestText(std::string("1234\x07" "ID\x07" "key"));
  std::string flipped = token;
  flipped[3] = flipped[3] == '0' ? '1' : '0';
  std::string wrongCheck = token;
  wrongCheck.back() = wrongCheck.back() == '0' ? '1' : '0';
  const struct {
    const char* label;
    std::string token;
  } cases[] = {
      {"empty", ""},
      {"shorter than a check code", "0000000"},
      {"odd length", token.substr(1)},
      {"a scrambled digit changed", flipped},
      {"the check code changed", wrongCheck},
      {"check code missing", ScrambleText("1234")},
      {"lower-case check code", "1024" "abcdef01"},
      {"bad digit in the check code", token.substr(0, token.size() - 1) + "G"},
      {"fields cut short", token.substr(2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_FALSE(DecodeRequestText(c.token).has_value());
  }
}

}  // namespace
}  // namespace qvx
