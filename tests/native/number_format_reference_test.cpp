// The formatter prints most rounded values without the C runtime. This test
// compares it, over many values, with the rounding and printing written out
// plainly: scale, round halves away from zero with the tolerance, unscale,
// print with "%.*f".
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "intl/number_format.h"

namespace {

using qvx::intl::ConvertFltToIntlStr;
using qvx::intl::NumberSettings;

std::string Reference(double value, int d) {
  const double p = std::pow(10.0, d);
  double integral = 0.0;
  std::modf(value, &integral);
  const int length = std::snprintf(nullptr, 0, "%.f", integral);
  const int t = 14 - length > 1 ? 14 - length : 1;
  const double v = value * p;
  const double sign = v < 0.0 ? -1.0 : 1.0;
  const double a = std::fabs(v);
  const double f = a - std::floor(a);
  const double r = (0.5 - f) < std::pow(10.0, -t) ? std::ceil(a) : std::floor(a);
  double y = r / p;
  if (!(y >= -1e-07 && y <= 1e-07)) y *= sign;
  char text[512];
  std::snprintf(text, sizeof(text), "%.*f", d, y);
  return text;
}

TEST(ConvertFltToIntlStr, AgreesWithPlainRoundingAndPrinting) {
  ASSERT_STREQ("C", std::setlocale(LC_NUMERIC, nullptr));
  // Plain form in, plain form out: no grouping, "." and "-" as the runtime writes them.
  const NumberSettings plain = {".", ",", "-", 3, 0, 1};
  std::mt19937_64 random(20261206);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-12, 16);
  std::uniform_int_distribution<int> decimals(0, 22);
  int checked = 0;
  for (int i = 0; i < 200000; ++i) {
    const int d = decimals(random);
    double value = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 4 == 0) value = std::round(value * 1000.0) / 1000.0;  // decimal-looking inputs: 1.005, 0.125
    if (i % 8 == 1) value = std::trunc(value) + 0.5;                // exact halves
    const double scaled = std::fabs(value * std::pow(10.0, d));
    if (scaled >= 9007199254740992.0) continue;  // beyond 2^53 nothing is rounded
    ASSERT_EQ(Reference(value, d), ConvertFltToIntlStr(value, d, qvx::intl::DEC_FIJO, plain))
        << "value " << value << " with " << d << " decimals";
    ++checked;
  }
  EXPECT_GT(checked, 100000);
}

}  // namespace
