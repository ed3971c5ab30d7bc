#include "intl/number_parse.h"

#include <clocale>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_locale.h"
#include "test_settings.h"

namespace qvx::intl {
namespace {

// The repeated search-and-cut that CutOutAll replaces, kept as the reference.
std::string CutOutSlowly(std::string text, const std::string& pattern) {
  if (pattern.empty()) return text;
  for (size_t at; (at = text.find(pattern)) != std::string::npos;) text.erase(at, pattern.size());
  return text;
}

TEST(CutOutAll, Cases) {
  struct Case {
    std::string text, pattern, expected;
  } cases[] = {
      {"1.234.567", ".", "1234567"},
      {"", ".", ""},
      {"...", ".", ""},
      {"1 234 567", " ", "1234567"},
      {"aabb", "ab", ""},            // the first cut forms a new occurrence
      {"ababa", "aba", "ba"},        // the first occurrence goes, not the last
      {"aabab", "aba", "ab"},
      {"x''y''z", "''", "xyz"},      // two-byte separator
      {"12", "123", "12"},           // pattern longer than text
      {"1234", "", "1234"},          // empty pattern removes nothing
      {"\xA0" "1\xA0" "234", "\xA0", "1234"},  // non-breaking space, high byte
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    CutOutAll(text, c.pattern);
    EXPECT_EQ(text, c.expected) << '"' << c.text << "\" without \"" << c.pattern << '"';
  }
}

// Small alphabets make overlapping and self-forming occurrences common.
TEST(CutOutAll, AgreesWithRepeatedSearch) {
  std::mt19937 random(20261206);
  for (int round = 0; round < 20000; ++round) {
    const int alphabet = 2 + static_cast<int>(random() % 2);
    auto draw = [&](size_t length) {
      std::string s;
      for (size_t i = 0; i < length; ++i) s += static_cast<char>('a' + random() % alphabet);
      return s;
    };
    const std::string pattern = draw(1 + random() % 4);
    std::string text = draw(random() % 40);
    const std::string expected = CutOutSlowly(text, pattern);
    CutOutAll(text, pattern);
    ASSERT_EQ(text, expected) << "pattern " << pattern;
  }
}

NumberSettings With(std::string decimal, std::string thousand, std::string negative) {
  NumberSettings s = Spanish();
  s.decimalSep = std::move(decimal);
  s.thousandSep = std::move(thousand);
  s.negativeSign = std::move(negative);
  return s;
}

TEST(ConvertIntlStrToStr, Cases) {
  struct Case {
    const char* name;
    NumberSettings settings;
    std::string input, expected;
  } cases[] = {
      {"grouped negative", Spanish(), "-1.234.567,89", "-1234567.89"},
      {"only the first decimal separator", Spanish(), "1,2,3", "1.2,3"},
      {"empty", Spanish(), "", ""},
      {"no other check", Spanish(), "12abc", "12abc"},
      {"separators anywhere", Spanish(), ".1.,.5", "1.5"},
      {"sign only at the start", Spanish(), "5-", "5-"},
      {"space grouping", With(",", " ", "-"), "1 234 567", "1234567"},
      {"multi-byte sign", With(",", ".", "neg"), "neg1.234,5", "-1234.5"},
      {"sign elsewhere stays", With(",", ".", "neg"), "1neg", "1neg"},
      {"English", With(".", ",", "-"), "-1,234.5", "-1234.5"},
      {"equal separators lose the decimals", With(",", ",", "-"), "1,5", "15"},
      {"empty decimal separator reads as a point", With("", ".", "-"), "1234", "1234"},
      {"empty decimal separator, plain point", With("", ",", "-"), "1,234.5", "1234.5"},
      {"empty sign reads as a minus", With(",", ".", ""), "-1,5", "-1.5"},
      {"empty sign adds nothing", With(",", ".", ""), "1,5", "1.5"},
      {"empty thousands separator", With(",", "", "-"), "1.234,5", "1.234.5"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertIntlStrToStr(c.input, c.settings), c.expected) << c.name;
}

class ConvertIntlStrToFltTest : public test::LocaleTest {};

TEST_F(ConvertIntlStrToFltTest, Cases) {
  struct Case {
    const char* name;
    NumberSettings settings;
    std::string input;
    double expected;
  } cases[] = {
      {"grouped negative", Spanish(), "-1.234,5", -1234.5},
      {"empty", Spanish(), "", 0.0},
      {"stops at the first misfit", Spanish(), "12,5xyz", 12.5},
      {"not a number", Spanish(), "abc", 0.0},
      {"exponent", Spanish(), "1,5e3", 1500.0},
      {"exponent without digits is left", Spanish(), "2e+", 2.0},
      {"upper-case exponent", Spanish(), "2E2", 200.0},
      {"leading blanks", Spanish(), " \t7", 7.0},
      {"plus sign", Spanish(), "+3", 3.0},
      {"point alone", Spanish(), ",", 0.0},
      {"no hexadecimal", Spanish(), "0x10", 0.0},
      {"no infinity text", Spanish(), "inf", 0.0},
      {"multi-byte sign", With(",", ".", "neg"), "neg2,5", -2.5},
      {"empty settings read as plain", With("", "", ""), "-2.5", -2.5},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertIntlStrToFlt(c.input, c.settings), c.expected) << c.name;
  EXPECT_EQ(ConvertIntlStrToFlt("1e999", Spanish()), HUGE_VAL) << "overflow";
}

// The host's own numeric locale (a comma one) must not change the reading.
TEST_F(ConvertIntlStrToFltTest, HostCommaLocale) {
  const std::string comma = test::FindCommaLocale();
  if (comma.empty()) GTEST_SKIP() << "no locale with a decimal comma";
  std::setlocale(LC_NUMERIC, comma.c_str());
  EXPECT_EQ(ConvertIntlStrToFlt("1,5", Spanish()), 1.5);
  EXPECT_EQ(test::CurrentLocale(LC_NUMERIC), comma);
}

TEST(ValidateIntlStr, Cases) {
  struct Case {
    const char* name;
    NumberSettings settings;
    std::string input;
    bool expected;
  } cases[] = {
      {"empty", Spanish(), "", true},
      {"grouped", Spanish(), "1.234,5", true},
      {"decimals only", Spanish(), ",5", true},
      {"zero", Spanish(), "0", true},
      {"zero with decimals", Spanish(), "0,0", true},
      {"decimal zero", Spanish(), ",0", true},
      {"negative zero", Spanish(), "-0", false},
      {"sign alone", Spanish(), "-", false},
      {"upper-case exponent", Spanish(), "1E5", false},
      {"exponent", Spanish(), "1e+5", true},
      {"letter", Spanish(), "12a", false},
      {"second decimal separator", Spanish(), "1,2,3", false},
      {"trailing sign", Spanish(), "5-", true},
      {"blank", Spanish(), " 5", false},
      {"exponent alone", Spanish(), "e5", false},
      {"thousands separator alone", Spanish(), ".", false},
      {"space grouping", With(",", " ", "-"), "1 234,5", true},
      {"plain point with comma settings", With(".", ",", "-"), "1,234.5", true},
      {"multi-byte sign", With(",", ".", "neg"), "neg5", true},
      {"minus with a multi-byte sign", With(",", ".", "neg"), "-5", false},
      {"empty decimal separator reads as a point", With("", ",", "-"), "1,234.5", true},
      {"empty sign reads as a minus", With(",", ".", ""), "-5", true},
  };
  for (const Case& c : cases) EXPECT_EQ(ValidateIntlStr(c.input, c.settings), c.expected) << c.name;
}

}  // namespace
}  // namespace qvx::intl
