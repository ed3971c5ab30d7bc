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

// Small alphabets make overlapping and self-forming occurrences common; a
// high byte and the empty pattern come up too.
TEST(CutOutAll, AgreesWithRepeatedSearch) {
  std::mt19937 random(20261206);
  auto draw = [&](size_t length, int alphabet) {
    std::string s;
    while (s.size() < length) s += "a\xA0" "b"[random() % alphabet];
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string pattern = draw(random() % 5, 2 + round % 2);
    std::string text = draw(random() % 40, 2 + round % 2);
    const std::string expected = CutOutSlowly(text, pattern);
    CutOutAll(text, pattern);
    ASSERT_EQ(expected, text) << "pattern " << pattern;
  }
}

// Reading is normalising to plain text ("-1234.5") then strtod in the C locale.
TEST(ConvertIntlStr, ToPlainTextAndNumber) {
  const NumberSettings es = Settings(), neg = Settings(",", ".", "neg");
  struct Case { NumberSettings settings; std::string input, plain; double number; } cases[] = {
      {es, "-1.234.567,89", "-1234567.89", -1234567.89},
      {es, "1,2,3", "1.2,3", 1.2},                // only the first decimal separator
      {neg, "neg1.234,5", "-1234.5", -1234.5},    // multi-byte sign
      {neg, "1neg", "1neg", 1.0},                 // a sign only at the start; stops at the first misfit
      {Settings(",", ","), "1,5", "15", 15.0},   // equal separators lose the decimals
      {es, "1,5e+3", "1.5e+3", 1500.0},
      {es, " \t\r2E-1", " \t\r2E-1", 0.2},     // leading blanks, upper-case exponent
      {es, "+3", "+3", 3.0},
      {es, "0x10", "0x10", 0.0},                  // no hexadecimal
      {es, "1e999", "1e999", HUGE_VAL},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.plain, ConvertIntlStrToStr(c.input, c.settings)) << c.input;
    EXPECT_EQ(c.number, ConvertIntlStrToFlt(c.input, c.settings)) << c.input;
  }
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
