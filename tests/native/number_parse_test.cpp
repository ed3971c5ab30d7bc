#include "intl/number_parse.h"

#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>

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
  struct Case { std::string text, pattern, expected; } cases[] = {
      {"1.234.567", ".", "1234567"},
      {"aabb", "ab", ""},                      // the first cut forms a new occurrence
      {"ababa", "aba", "ba"},                  // the first occurrence goes, not the last
      {"x''y''z", "''", "xyz"},                // two-byte separator
      {"1234", "", "1234"},                    // empty pattern removes nothing
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
  auto draw = [&](size_t length, int alphabet) {
    std::string s;
    while (s.size() < length) s += static_cast<char>('a' + random() % alphabet);
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string pattern = draw(1 + random() % 4, 2 + round % 2);
    std::string text = draw(random() % 40, 2 + round % 2);
    const std::string expected = CutOutSlowly(text, pattern);
    CutOutAll(text, pattern);
    ASSERT_EQ(expected, text) << "pattern " << pattern;
  }
}

TEST(ConvertIntlStrToStr, Cases) {
  struct Case { const char* name; NumberSettings settings; std::string input, expected; } cases[] = {
      {"grouped negative", Settings(), "-1.234.567,89", "-1234567.89"},
      {"only the first decimal separator", Settings(), "1,2,3", "1.2,3"},
      {"multi-byte sign", Settings(",", ".", "neg"), "neg1.234,5", "-1234.5"},
      {"sign only at the start", Settings(",", ".", "neg"), "1neg", "1neg"},
      {"equal separators lose the decimals", Settings(",", ","), "1,5", "15"},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertIntlStrToStr(c.input, c.settings), c.expected) << c.name;
}

TEST(ConvertIntlStrToFlt, Cases) {
  struct Case { const char* name; NumberSettings settings; std::string input; double expected; } cases[] = {
      {"grouped negative", Settings(), "-1.234,5", -1234.5},
      {"stops at the first misfit", Settings(), "12,5xyz", 12.5},
      {"exponent with a sign", Settings(), "1,5e+3", 1500.0},
      {"upper-case exponent, negative", Settings(), "2E-1", 0.2},
      {"leading blanks", Settings(), " \t\r7", 7.0},
      {"plus sign", Settings(), "+3", 3.0},
      {"no hexadecimal", Settings(), "0x10", 0.0},
      {"overflow", Settings(), "1e999", HUGE_VAL},
      {"multi-byte sign", Settings(",", ".", "neg"), "neg2,5", -2.5},
  };
  for (const Case& c : cases) EXPECT_EQ(ConvertIntlStrToFlt(c.input, c.settings), c.expected) << c.name;
}

TEST(ValidateIntlStr, Cases) {
  struct Case { const char* name; NumberSettings settings; std::string input; bool expected; } cases[] = {
      {"empty", Settings(), "", true},
      {"grouped", Settings(), "1.234,5", true},
      {"zero", Settings(), "0", true},
      {"decimal zero", Settings(), ",0", true},
      {"negative zero", Settings(), "-0", false},
      {"thousands separator alone", Settings(), ".", false},
      {"exponent", Settings(), "1e+5", true},
      {"second decimal separator", Settings(), "1,2,3", false},
      {"multi-byte sign", Settings(",", ".", "neg"), "neg5", true},
      {"minus with a multi-byte sign", Settings(",", ".", "neg"), "-5", false},
      // An empty symbol cannot mark anything: the plain one is allowed instead.
      {"empty decimal separator reads as a point", Settings("", ","), "1,234.5", true},
      {"empty sign reads as a minus", Settings(",", ".", ""), "-5", true},
  };
  for (const Case& c : cases) EXPECT_EQ(ValidateIntlStr(c.input, c.settings), c.expected) << c.name;
}

}  // namespace
}  // namespace qvx::intl
