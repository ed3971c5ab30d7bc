#include "intl/number_format.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "test_settings.h"

namespace qvx::intl {
namespace {

TEST(ConvertStrToIntlStr, Cases) {
  const NumberSettings es = Settings(), noZero = Settings(",", ".", "-", 3, 2, 0);
  struct Case { const char* name; NumberSettings settings; std::string input; long flags; std::string expected; };
  const Case cases[] = {
      {"fixed, grouped", es, "-1234.5", DEC_FIJO_MILES, "-1.234,5"},
      {"empty fraction drops the separator", es, "5.", DEC_MINIMO, "5"},
      {"point alone", es, ".", DEC_MINIMO_MILES, "."},
      {"only the first point splits", es, "1.2.3", DEC_MINIMO, "1,2.3"},
      {"only the first minus is the sign", es, "--5", DEC_MINIMO, "--5"},
      {"every character is grouped", es, "-12-4", DEC_FIJO_MILES, "-1.2-4"},
      {"NUL is a character", es, std::string("12\0" "45.6", 7), DEC_MINIMO_MILES, std::string("12.\0" "45,6", 8)},
      {"leading zeros kept", es, "007.50", DEC_MINIMO, "007,50"},
      {"no leading zero", noZero, "0.25", DEC_MINIMO, ",25"},
      {"minus in the run is kept", noZero, "0-05", DEC_MINIMO, "-5"},
      {"zeros go before grouping", noZero, "-0001234", DEC_MINIMO_MILES, "-1.234"},
      {"only setting 0 drops zeros", Settings(",", ".", "-", 3, 2, 2), "0.25", DEC_MINIMO, "0,25"},
      {"negative setting keeps zeros", Settings(",", ".", "-", 3, 2, -1), "007", DEC_MINIMO, "007"},
      {"multi-byte symbols", Settings("<>", "::", "- "), "-1234567.25", DEC_FIJO_MILES, "- 1::234::567<>25"},
      {"empty symbols", Settings("", "", ""), "-1234.5", DEC_MINIMO_MILES, "12345"},
      {"grouping 4", Settings(",", ".", "-", 4), "123456", DEC_MINIMO_MILES, "12.3456"},
      {"grouping 0", Settings(",", ".", "-", 0), "1234567", DEC_MINIMO_MILES, "1234567"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, ConvertStrToIntlStr(c.input, c.flags, c.settings)) << c.name;
}

TEST(ConvertFltToIntlStr, Cases) {
  const NumberSettings es = Settings(), swiss = Settings(".", "'", "- ", 3, 3, 0);
  char dblMax[400];  // printed plainly: rounding it up would overflow
  std::snprintf(dblMax, sizeof dblMax, "-%.0f", DBL_MAX);
  struct Case { const char* name; NumberSettings settings; double value; long decimals, flags; std::string expected; };
  const Case cases[] = {
      {"minimum is the user's digits", es, 1234.5, 0, DEC_MINIMO_MILES, "1.234,50"},
      {"minimum above the user's digits, ungrouped", es, 1234.5, 3, DEC_MINIMO, "1234,500"},
      {"flags 7 is DEC_FIJO", es, 1234.5, 1, 7, "1234,5"},
      // The tolerance is 10^-t, t = 14 minus the printed length of the
      // integer part (its minus included), at least 1.
      {"11 digits and the minus: t 2, 0.005 short rounds up", es, -10000000000.495, 0, DEC_FIJO, "-10000000001"},
      {"\"-0\" counts 2, t 12", es, -0.4999999999995, 0, DEC_FIJO, "-1"},
      {"hundreds, half up", es, -1250.0, -2, DEC_FIJO_MILES, "-1.300"},
      // Scaled past 2^53 there is nothing to round; scaling back would print ,95.
      {"past 2^53", es, 92220937273973.97, 2, DEC_FIJO_MILES, "92.220.937.273.973,97"},
      {"on the zero band's edge", es, -1e-07, 7, DEC_FIJO, "0,0000001"},
      {"inside the band, still shown", es, -1e-10, 26, DEC_FIJO, "0,0000000001" + std::string(16, '0')},
      {"decimals clamped to 400", es, 1.5, INT_MAX, DEC_FIJO, "1,5" + std::string(399, '0')},
      {"10^LONG_MIN underflows", es, -1e308, LONG_MIN, DEC_FIJO_MILES, "0"},
      {"DBL_MAX", es, -DBL_MAX, -300, DEC_FIJO, dblMax},
      {"NaN", es, std::nan(""), 2, DEC_MINIMO, "NaN"},
      {"infinity", es, HUGE_VAL, 2, DEC_FIJO_MILES, "Inf"},
      {"minus infinity", swiss, -HUGE_VAL, 2, DEC_FIJO, "- Inf"},
      {"swiss", swiss, -1234567.5, 0, DEC_MINIMO_MILES, "- 1'234'567.500"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, ConvertFltToIntlStr(c.value, c.decimals, c.flags, c.settings)) << c.name;
}

// Most rounded values are printed without the runtime. The reference rounds
// and prints plainly: scale, round halves away from zero within the
// tolerance, unscale, "%.*f".
std::string Reference(double value, int d) {
  double integral = 0.0;
  std::modf(value, &integral);
  const int t = std::max(14 - std::snprintf(nullptr, 0, "%.f", integral), 1);
  const double p = std::pow(10.0, d), a = std::fabs(value * p), f = a - std::floor(a);
  double y = ((0.5 - f) < std::pow(10.0, -t) ? std::ceil(a) : std::floor(a)) / p;
  if (y > 1e-07 && value < 0.0) y = -y;
  char text[512];
  std::snprintf(text, sizeof text, "%.*f", d, y);
  return text;
}

TEST(ConvertFltToIntlStr, AgreesWithPlainRoundingAndPrinting) {
  ASSERT_STREQ("C", std::setlocale(LC_NUMERIC, nullptr));
  std::mt19937_64 random(20261206);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-12, 16), decimals(0, 22);
  for (int i = 0; i < 200000; ++i) {
    const int d = decimals(random);
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 4 == 0) value = std::round(value * 1000.0) / 1000.0;  // decimal-looking inputs: 1.005, 0.125
    if (i % 8 == 1) value = std::trunc(value) + 0.5;                // exact halves
    if (std::fabs(value * std::pow(10.0, d)) >= 9007199254740992.0) continue;  // from 2^53 nothing is rounded
    ASSERT_EQ(Reference(value, d), ConvertFltToIntlStr(value, d, DEC_FIJO, Settings(".", ","))) << value << ", " << d;
  }
}

}  // namespace
}  // namespace qvx::intl
