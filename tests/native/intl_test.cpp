#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "intl/number_format.h"
#include "intl/number_parse.h"
#include "intl/set_locale_user.h"

using namespace qvx::intl;

// Made-up regional settings; the defaults are a Spanish user: 1.234,5 with two decimals and a leading zero.
static NumberSettings Settings(std::string decimal = ",", std::string thousand = ".", std::string negative = "-",
                               long grouping = 3, long digits = 2, long leadingZero = 1) {
  return {decimal, thousand, negative, grouping, digits, leadingZero};
}

TEST(ConvertToIntlStr, TextsAndNumbers) {
  const NumberSettings es = Settings(), noZero = Settings(",", ".", "-", 3, 2, 0);
  const NumberSettings swiss = Settings(".", "'", "- ", 3, 3, 0);
  struct { const char* name; NumberSettings settings; std::string input; long flags; std::string expected; } cases[] = {
      {"fixed, grouped", es, "-1234.5", DEC_FIJO_MILES, "-1.234,5"}, {"point alone", es, ".", DEC_MINIMO_MILES, "."},
      {"empty fraction, no separator", es, "5.", DEC_MINIMO, "5"}, {"no zero", noZero, "0.25", DEC_MINIMO, ",25"},
      {"NUL is a character", es, std::string("12\0" "45.6", 7), DEC_MINIMO_MILES, std::string("12.\0" "45,6", 8)},
      {"only the first point splits", es, "1.2.3", DEC_MINIMO, "1,2.3"},
      {"zeros go before grouping", noZero, "-0001234", DEC_MINIMO_MILES, "-1.234"},
      {"only setting 0 drops zeros", Settings(",", ".", "-", 3, 2, 2), "0.25", DEC_MINIMO, "0,25"},
      {"negative setting keeps zeros", Settings(",", ".", "-", 3, 2, -1), "007", DEC_MINIMO, "007"},
      {"multi-byte symbols", Settings("<>", "::", "- "), "-1234567.25", DEC_FIJO_MILES, "- 1::234::567<>25"},
      {"empty symbols", Settings("", "", ""), "-1234.5", DEC_MINIMO_MILES, "12345"},
      {"grouping 0", Settings(",", ".", "-", 0), "1234567", DEC_MINIMO_MILES, "1234567"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ConvertStrToIntlStr(c.input, c.flags, c.settings)) << c.name;
  char dblMax[400];  // printed plainly: rounding it up would overflow
  std::snprintf(dblMax, sizeof dblMax, "-%.0f", DBL_MAX);
  struct { const char* name; NumberSettings settings; double value; long decimals, flags; std::string expected; }
  numbers[] = {
      {"minimum is the user's digits", es, 1234.5, 0, DEC_MINIMO_MILES, "1.234,50"},
      {"flags 7: fixed", es, 1234.5, 1, 7, "1234,5"}, {"hundreds, half up", es, -1250.0, -2, DEC_FIJO_MILES, "-1.300"},
      {"past 2^53 nothing is rounded", es, 92220937273973.97, 2, DEC_FIJO_MILES, "92.220.937.273.973,97"},
      {"on the zero band's edge", es, -1e-07, 7, DEC_FIJO, "0,0000001"},
      {"inside the zero band, no minus", es, -1e-10, 26, DEC_FIJO, "0,0000000001" + std::string(16, '0')},
      {"decimals clamped to 400", es, 1.5, INT_MAX, DEC_FIJO, "1,5" + std::string(399, '0')},
      {"10^LONG_MIN is 0", es, -1e308, LONG_MIN, DEC_FIJO_MILES, "0"}, {"NaN", es, std::nan(""), 2, DEC_MINIMO, "NaN"},
      {"DBL_MAX", es, -DBL_MAX, -300, DEC_FIJO, dblMax}, {"minus infinity", swiss, -HUGE_VAL, 2, DEC_FIJO, "- Inf"},
      {"swiss", swiss, -1234567.5, 0, DEC_MINIMO_MILES, "- 1'234'567.500"},
  };
  for (const auto& c : numbers)
    EXPECT_EQ(c.expected, ConvertFltToIntlStr(c.value, c.decimals, c.flags, c.settings)) << c.name;
}

// Against plain rounding and "%.*f": halves away from zero within the tolerance, no minus inside the zero band.
TEST(ConvertFltToIntlStr, AgreesWithPlainRoundingAndPrinting) {
  ASSERT_STREQ("C", std::setlocale(LC_NUMERIC, nullptr));
  std::mt19937_64 random(20261206);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-12, 16), decimals(0, 22);
  char text[512];
  for (int i = 0; i < 200000; ++i) {
    const int d = decimals(random);
    double value = mantissa(random) * std::pow(10.0, exponent(random)), integral = 0.0;
    if (i % 4 == 0) value = std::round(value * 1000.0) / 1000.0;  // decimal-looking inputs: 1.005, 0.125
    if (i % 8 == 1) value = std::trunc(value) + 0.5;                // exact halves
    const double p = std::pow(10.0, d), a = std::fabs(value * p), f = a - std::floor(a);
    if (a >= 9007199254740992.0) continue;  // from 2^53 nothing is rounded
    std::modf(value, &integral);
    const int t = std::max(14 - std::snprintf(nullptr, 0, "%.f", integral), 1);
    const double y = ((0.5 - f) < std::pow(10.0, -t) ? std::ceil(a) : std::floor(a)) / p;
    std::snprintf(text, sizeof text, "%.*f", d, y > 1e-07 && value < 0.0 ? -y : y);
    ASSERT_EQ(text, ConvertFltToIntlStr(value, d, DEC_FIJO, Settings(".", ","))) << value << ", " << d;
  }
}

// Against the repeated search-and-cut it replaces; small alphabets make overlapping occurrences common.
TEST(CutOutAll, AgreesWithRepeatedSearch) {
  std::mt19937 random(20261206);
  auto draw = [&](size_t length, int alphabet) {
    std::string s;
    while (s.size() < length) s += "a\xA0" "b"[random() % alphabet];
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    const std::string pattern = draw(random() % 5, 2 + round % 2);
    std::string text = draw(random() % 40, 2 + round % 2), expected = text;
    for (size_t at; !pattern.empty() && (at = expected.find(pattern)) != std::string::npos;)
      expected.erase(at, pattern.size());
    CutOutAll(text, pattern);
    ASSERT_EQ(expected, text) << "pattern " << pattern;
  }
}

// Reading is normalising to plain text ("-1234.5") then strtod in the C locale; validating is on the plain text.
TEST(ConvertIntlStr, ReadAndValidate) {
  const NumberSettings es = Settings(), neg = Settings(",", ".", "neg");
  struct Case { NumberSettings settings; std::string input, plain; double number; } cases[] = {
      // A multi-byte sign; the first decimal separator only; a sign only at the start; equal separators; no hex.
      {es, "-1.234.567,89", "-1234567.89", -1234567.89}, {neg, "neg1.234,5", "-1234.5", -1234.5},
      {es, "1,2,3", "1.2,3", 1.2}, {neg, "1neg", "1neg", 1.0}, {Settings(",", ","), "1,5", "15", 15.0},
      {es, " \t\r2E-1", " \t\r2E-1", 0.2}, {es, "0x10", "0x10", 0.0}, {es, "1e999", "1e999", HUGE_VAL},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.plain, ConvertIntlStrToStr(c.input, c.settings)) << c.input;
    EXPECT_EQ(c.number, ConvertIntlStrToFlt(c.input, c.settings)) << c.input;
  }
  struct { const char* name; NumberSettings settings; std::string input; bool expected; } valid[] = {
      {"empty", es, "", true}, {"grouped", es, "1.234,5", true}, {"zero", es, "0", true},
      {"decimal zero", es, ",0", true}, {"negative zero", es, "-0", false}, {"exponent", es, "1e+5", true},
      {"thousands separator alone", es, ".", false}, {"second decimal separator", es, "1,2,3", false},
      {"multi-byte sign", neg, "neg5", true}, {"minus with a multi-byte sign", neg, "-5", false},
      {"an empty decimal separator: a point", Settings("", ","), "1,234.5", true},  // an empty symbol marks nothing
      {"an empty sign: a minus", Settings(",", ".", ""), "-5", true},
  };
  for (const auto& c : valid) EXPECT_EQ(ValidateIntlStr(c.input, c.settings), c.expected) << c.name;
}

// Each scope switches only LC_NUMERIC and restores what it saw; the conversions read and print a point anyway.
TEST(HostLocale, SetLocaleUserSwitchesOneCategoryAndRestoresWhatItSaw) {
  auto Current = [](int category) { return std::string(std::setlocale(category, nullptr)); };
  const std::string saved = Current(LC_ALL);
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr) << "C.UTF-8 is part of every glibc";
  const std::string host = Current(LC_ALL);
  {
    CSetLocaleUser outer(LC_NUMERIC);
    EXPECT_EQ(std::make_pair(std::string("C"), host), std::make_pair(Current(LC_NUMERIC), Current(LC_CTYPE)));
    for (const char* name : {"es_ES.UTF-8", "es_ES.utf8", "de_DE.UTF-8", "de_DE.utf8"})  // a comma where installed
      if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') break;
    const std::string comma = Current(LC_NUMERIC);
    { CSetLocaleUser inner(LC_NUMERIC), unknown(-12345); }  // an unknown category changes nothing
    EXPECT_EQ(comma, Current(LC_NUMERIC));
    EXPECT_EQ(1.5, ConvertIntlStrToFlt("1,5", Settings()));
    EXPECT_EQ("0#10000000000000000555", ConvertFltToIntlStr(0.1, 20, DEC_FIJO, Settings("#")));  // by the runtime
  }
  EXPECT_EQ(host, Current(LC_ALL));
  std::setlocale(LC_ALL, saved.c_str());
}
