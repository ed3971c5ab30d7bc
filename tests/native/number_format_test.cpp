#include "intl/number_format.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_locale.h"
#include "test_settings.h"

namespace qvx::intl {
namespace {

using namespace std::string_literals;

struct StrCase {
  const char* name;
  std::string input;
  long flags;
  std::string expected;
};

void ExpectStrCases(const NumberSettings& settings, const std::vector<StrCase>& cases) {
  for (const StrCase& c : cases) {
    EXPECT_EQ(ConvertStrToIntlStr(c.input, c.flags, settings), c.expected) << c.name;
  }
}

TEST(ConvertStrToIntlStr, SpanishUser) {
  ExpectStrCases(Spanish(), {
      {"grouped", "1234567.891", DEC_MINIMO_MILES, "1.234.567,891"},
      {"ungrouped", "1234567.891", DEC_MINIMO, "1234567,891"},
      {"negative grouped", "-1234.5", DEC_FIJO_MILES, "-1.234,5"},
      {"fixed ungrouped", "-1234.5", DEC_FIJO, "-1234,5"},
      {"one group exactly", "123", DEC_MINIMO_MILES, "123"},
      {"one past a group", "1234", DEC_MINIMO_MILES, "1.234"},
      {"two full groups", "123456", DEC_FIJO_MILES, "123.456"},
      {"empty", "", DEC_MINIMO_MILES, ""},
      {"minus alone", "-", DEC_MINIMO_MILES, "-"},
      {"no integer digits", ".5", DEC_MINIMO, ",5"},
      {"empty fraction drops the separator", "5.", DEC_MINIMO, "5"},
      {"point alone", ".", DEC_MINIMO_MILES, "."},
      {"minus and point", "-.", DEC_MINIMO, "-."},
      {"leading zeros kept", "007.50", DEC_MINIMO, "007,50"},
      {"zero kept", "0", DEC_MINIMO, "0"},
      {"only the first point splits", "1.2.3", DEC_MINIMO, "1,2.3"},
      {"only the first minus is the sign", "--5", DEC_MINIMO, "--5"},
      {"every character is grouped", "12a4567", DEC_MINIMO_MILES, "1.2a4.567"},
      {"inner minus is grouped", "-12-4", DEC_FIJO_MILES, "-1.2-4"},
      {"fraction never grouped", "1.234567", DEC_FIJO_MILES, "1,234567"},
      {"embedded NUL is a character", "12\0"s "45.6", DEC_MINIMO_MILES, "12.\0"s "45,6"},
      {"flags 4 is DEC_FIJO", "1234.5", 4, "1234,5"},
      {"flags -1 is DEC_FIJO", "1234.5", -1, "1234,5"},
      {"flags LONG_MAX is DEC_FIJO", "1234.5", LONG_MAX, "1234,5"},
      {"flags LONG_MIN is DEC_FIJO", "1234.5", LONG_MIN, "1234,5"},
  });
}

TEST(ConvertStrToIntlStr, WithoutLeadingZero) {
  ExpectStrCases(SpanishWith([](NumberSettings& s) { s.leadingZero = 0; }), {
      {"below one", "0.25", DEC_MINIMO, ",25"},
      {"zero vanishes", "0", DEC_MINIMO, ""},
      {"all zeros vanish", "000", DEC_MINIMO, ""},
      {"leading run only", "007.50", DEC_MINIMO, "7,50"},
      {"inner zeros kept", "100.05", DEC_MINIMO, "100,05"},
      {"negative below one", "-0.5", DEC_MINIMO, "-,5"},
      {"negative zero leaves the sign", "-0", DEC_MINIMO, "-"},
      {"minus in the run is kept", "0-05", DEC_MINIMO, "-5"},
      {"zero point leaves the point", "0.", DEC_MINIMO, "."},
      {"zero fraction", "0.00", DEC_FIJO, ",00"},
      {"zeros before a group", "0001234", DEC_MINIMO_MILES, "1.234"},
  });
  // Only 0 removes zeros; any other setting keeps them.
  ExpectStrCases(SpanishWith([](NumberSettings& s) { s.leadingZero = 2; }), {
      {"setting 2 keeps zeros", "0.25", DEC_MINIMO, "0,25"},
  });
  ExpectStrCases(SpanishWith([](NumberSettings& s) { s.leadingZero = -1; }), {
      {"setting -1 keeps zeros", "007", DEC_MINIMO, "007"},
  });
}

TEST(ConvertStrToIntlStr, SeparatorsAndGrouping) {
  struct Case {
    const char* name;
    NumberSettings settings;
    std::string input;
    long flags;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"apostrophe thousands", SpanishWith([](NumberSettings& s) { s.thousandSep = "'"; }), "1234567.5",
       DEC_MINIMO_MILES, "1'234'567,5"},
      {"two-byte negative sign", SpanishWith([](NumberSettings& s) { s.negativeSign = "- "; }), "-12.5",
       DEC_MINIMO, "- 12,5"},
      {"multi-byte separators", SpanishWith([](NumberSettings& s) {
         s.thousandSep = "::";
         s.decimalSep = "<>";
       }),
       "1234567.25", DEC_FIJO_MILES, "1::234::567<>25"},
      {"CP1252 no-break space", SpanishWith([](NumberSettings& s) { s.thousandSep = "\xA0"; }), "1234",
       DEC_MINIMO_MILES, "1\xA0" "234"},
      {"empty thousands", SpanishWith([](NumberSettings& s) { s.thousandSep.clear(); }), "1234567",
       DEC_MINIMO_MILES, "1234567"},
      {"empty decimal", SpanishWith([](NumberSettings& s) { s.decimalSep.clear(); }), "1.5", DEC_MINIMO, "15"},
      {"empty negative sign", SpanishWith([](NumberSettings& s) { s.negativeSign.clear(); }), "-5", DEC_MINIMO,
       "5"},
      {"grouping 1", SpanishWith([](NumberSettings& s) { s.grouping = 1; }), "1234", DEC_MINIMO_MILES,
       "1.2.3.4"},
      {"grouping 1, one digit", SpanishWith([](NumberSettings& s) { s.grouping = 1; }), "7", DEC_MINIMO_MILES,
       "7"},
      {"grouping 2", SpanishWith([](NumberSettings& s) { s.grouping = 2; }), "12345", DEC_MINIMO_MILES,
       "1.23.45"},
      {"grouping 4", SpanishWith([](NumberSettings& s) { s.grouping = 4; }), "12345", DEC_MINIMO_MILES,
       "1.2345"},
      {"grouping 0", SpanishWith([](NumberSettings& s) { s.grouping = 0; }), "1234567", DEC_MINIMO_MILES,
       "1234567"},
      {"grouping negative", SpanishWith([](NumberSettings& s) { s.grouping = -3; }), "1234567",
       DEC_MINIMO_MILES, "1234567"},
      {"grouping LONG_MAX", SpanishWith([](NumberSettings& s) { s.grouping = LONG_MAX; }), "1234567",
       DEC_MINIMO_MILES, "1234567"},
      {"grouping LONG_MIN", SpanishWith([](NumberSettings& s) { s.grouping = LONG_MIN; }), "1234567",
       DEC_FIJO_MILES, "1234567"},
      {"decimal equal to thousands", SpanishWith([](NumberSettings& s) { s.decimalSep = "."; }), "1234.5",
       DEC_MINIMO_MILES, "1.234.5"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConvertStrToIntlStr(c.input, c.flags, c.settings), c.expected) << c.name;
  }
}

TEST(ConvertStrToIntlStr, MegabyteInputs) {
  const std::size_t n = 1000000;

  const std::string ones(n, '1');
  const std::string grouped = ConvertStrToIntlStr(ones, DEC_MINIMO_MILES, Spanish());
  ASSERT_EQ(grouped.size(), n + (n - 1) / 3);
  EXPECT_EQ(grouped.substr(0, 6), "1.111.");
  EXPECT_EQ(grouped.substr(grouped.size() - 4), ".111");
  EXPECT_EQ(static_cast<std::size_t>(std::count(grouped.begin(), grouped.end(), '.')), (n - 1) / 3);

  NumberSettings noLeadingZero = Spanish();
  noLeadingZero.leadingZero = 0;
  EXPECT_EQ(ConvertStrToIntlStr(std::string(n, '0') + ".5", DEC_MINIMO, noLeadingZero), ",5");

  const std::string longFraction = "-1." + std::string(n, '9');
  EXPECT_EQ(ConvertStrToIntlStr(longFraction, DEC_FIJO_MILES, Spanish()), "-1," + std::string(n, '9'));
}

struct FltCase {
  const char* name;
  double value;
  long decimals;
  long flags;
  std::string expected;
};

void ExpectFltCases(const NumberSettings& settings, const std::vector<FltCase>& cases) {
  for (const FltCase& c : cases) {
    EXPECT_EQ(ConvertFltToIntlStr(c.value, c.decimals, c.flags, settings), c.expected) << c.name;
  }
}

TEST(ConvertFltToIntlStr, DecimalsAndRounding) {
  ExpectFltCases(Spanish(), {
      {"minimum is the user's digits", 1234.5, 0, DEC_MINIMO_MILES, "1.234,50"},
      {"minimum ungrouped", 1234.5, 0, DEC_MINIMO, "1234,50"},
      {"minimum above the user's digits", 1234.5, 3, DEC_MINIMO_MILES, "1.234,500"},
      {"fixed zero decimals rounds the half up", 1234.5, 0, DEC_FIJO_MILES, "1.235"},
      {"fixed one decimal", 1234.56, 1, DEC_FIJO, "1234,6"},
      {"binary error of 1.005 absorbed", 1.005, 2, DEC_FIJO, "1,01"},
      {"exact half", 0.125, 2, DEC_FIJO, "0,13"},
      {"negative half away from zero", -0.125, 2, DEC_FIJO, "-0,13"},
      {"2.5 up", 2.5, 0, DEC_FIJO, "3"},
      {"-2.5 down", -2.5, 0, DEC_FIJO, "-3"},
      {"below half", 0.49, 0, DEC_FIJO, "0"},
      {"rounds to zero without minus", -0.001, 2, DEC_FIJO, "0,00"},
      {"negative zero", -0.0, 2, DEC_FIJO, "0,00"},
      {"negative zero, minimum", -0.0, 0, DEC_MINIMO, "0,00"},
      {"flags 7 is DEC_FIJO", 1234.5, 1, 7, "1234,5"},
      {"flags -1 is DEC_FIJO", 1234.56, 0, -1, "1235"},
      {"flags LONG_MIN is DEC_FIJO", 1234.5, 1, LONG_MIN, "1234,5"},
      {"large value grouped", 1e17, 2, DEC_FIJO_MILES, "100.000.000.000.000.000,00"},
      // Scaled past 2^53 there is nothing to round; scaling back would print
      // 370993444073444.94.
      {"no scaling error past 2^53", 370993444073445.0, 2, DEC_FIJO_MILES, "370.993.444.073.445,00"},
      {"0.1 printed to 20 places", 0.1, 20, DEC_FIJO, "0,10000000000000000555"},
  });
}

TEST(ConvertFltToIntlStr, ToleranceFollowsIntegerLength) {
  // t = 14 - length of the integer part, minus included, at least 1: 10^-t is
  // how far short of one half a fraction may fall and still round up.
  ExpectFltCases(Spanish(), {
      {"11 digits, t 3: 0.005 short stays down", 10000000000.495, 0, DEC_FIJO, "10000000000"},
      {"minus makes 12, t 2: rounds up", -10000000000.495, 0, DEC_FIJO, "-10000000001"},
      {"12 digits, t 2: 0.005 short rounds up", 100000000000.495, 0, DEC_FIJO, "100000000001"},
      {"12 digits, t 2: 0.015 short stays down", 100000000000.485, 0, DEC_FIJO, "100000000000"},
      {"14 digits, t 1: 0.05 short rounds up", 10000000000000.45, 0, DEC_FIJO, "10000000000001"},
      {"14 digits, t 1: 0.15 short stays down", 10000000000000.35, 0, DEC_FIJO, "10000000000000"},
  });
}

TEST(ConvertFltToIntlStr, NegativeDecimals) {
  // Rounds to tens, hundreds...; prints no decimals.
  ExpectFltCases(Spanish(), {
      {"hundreds", 1234.5, -2, DEC_FIJO, "1200"},
      {"hundreds, half up", 1250.0, -2, DEC_FIJO_MILES, "1.300"},
      {"hundreds, below half", 1249.9, -2, DEC_FIJO, "1200"},
      {"negative hundreds", -1234.5, -2, DEC_FIJO, "-1200"},
      {"tens", 45.0, -1, DEC_FIJO, "50"},
      {"rounds to zero", 49.0, -2, DEC_FIJO, "0"},
      {"negative rounds to zero without minus", -49.0, -2, DEC_FIJO, "0"},
      {"minimum takes the user's digits", 1234.5, -2, DEC_MINIMO, "1234,50"},
      {"negative user digits, minimum", 1234.5, -5, DEC_MINIMO_MILES, "1.234,50"},
  });
  ExpectFltCases(SpanishWith([](NumberSettings& s) { s.numDigits = -1; }), {
      {"negative user digits win", 1234.5, -3, DEC_MINIMO_MILES, "1.230"},
  });
}

TEST(ConvertFltToIntlStr, ExtremeDecimalsAndValues) {
  const std::string digits1e308 =
      "1000000000000000010979063629440455417404923096773118463368106829031575854049114915371633289784946888990612"
      "4966972117251561159028374314008832830700919814604603127166450293302718569748969958855904333838446616500117"
      "8426897626212945177628091195786707458122783970171784415105291802893207873272974885715430223118336";
  const std::string digitsMax =
      "1797693134862315708145274237317043567980705675258449965989174768031572607800285387605895586327668781715404"
      "5895351438246423432132688946418276846754670353751698604991057655128207624549009038932894407586850845513394"
      "2304583236903222948165808559332123348274797826204144723168738177180919299881250404026184124858368";
  std::string grouped1e308 = digits1e308.substr(0, 309 % 3 == 0 ? 3 : 309 % 3);
  for (std::size_t i = grouped1e308.size(); i < digits1e308.size(); i += 3) grouped1e308 += "." + digits1e308.substr(i, 3);

  ExpectFltCases(Spanish(), {
      {"INT_MAX decimals", 1.5, INT_MAX, DEC_FIJO, "1,5" + std::string(399, '0')},
      {"LONG_MAX decimals", -1.5, LONG_MAX, DEC_FIJO, "-1,5" + std::string(399, '0')},
      {"LONG_MAX decimals, minimum", 2.0, LONG_MAX, DEC_MINIMO, "2," + std::string(400, '0')},
      {"INT_MIN decimals", 1.5, INT_MIN, DEC_FIJO, "0"},
      {"LONG_MIN decimals", -1e308, LONG_MIN, DEC_FIJO_MILES, "0"},
      {"zero at 400 decimals", -0.0, 400, DEC_FIJO, "0," + std::string(400, '0')},
      {"1e308", 1e308, 0, DEC_FIJO, digits1e308},
      {"1e308 grouped with decimals", 1e308, 2, DEC_FIJO_MILES, grouped1e308 + ",00"},
      {"-1e308 at 400 decimals", -1e308, 400, DEC_FIJO, "-" + digits1e308 + "," + std::string(400, '0')},
      {"DBL_MAX to 10^300 would overflow", DBL_MAX, -300, DEC_FIJO, digitsMax},
      {"-DBL_MAX to 10^300 would overflow", -DBL_MAX, -300, DEC_FIJO, "-" + digitsMax},
      {"DBL_MAX scaled beyond range", DBL_MAX, 5, DEC_FIJO, digitsMax + ",00000"},
      {"smallest denormal", std::numeric_limits<double>::denorm_min(), 2, DEC_FIJO, "0,00"},
      {"negative denormal", -std::numeric_limits<double>::denorm_min(), 2, DEC_FIJO, "0,00"},
      {"denormal below 10^-308", std::numeric_limits<double>::denorm_min(), 308, DEC_FIJO,
       "0," + std::string(308, '0')},
      {"negative denormal printed in full", -std::numeric_limits<double>::denorm_min(), 330, DEC_FIJO,
       "0," + std::string(323, '0') + "4940656"},
  });
}

TEST(ConvertFltToIntlStr, MinusOnlyOutsideTheZeroBand) {
  // The rounded value keeps its minus only when it lies beyond 1e-07, even
  // when more decimals than that are shown.
  ExpectFltCases(Spanish(), {
      {"on the band edge", -1e-07, 7, DEC_FIJO, "0,0000001"},
      {"just outside", -2e-07, 7, DEC_FIJO, "-0,0000002"},
      {"inside, many decimals", -1e-10, 20, DEC_FIJO, "0,00000000010000000000"},
  });
}

TEST(ConvertFltToIntlStr, NotFinite) {
  NumberSettings wideSign = Spanish();
  wideSign.negativeSign = "- ";
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const long flags : {0L, 1L, 2L, 3L, 9L}) {
    EXPECT_EQ(ConvertFltToIntlStr(nan, 2, flags, Spanish()), "NaN") << flags;
    EXPECT_EQ(ConvertFltToIntlStr(-nan, 2, flags, Spanish()), "NaN") << flags;
    EXPECT_EQ(ConvertFltToIntlStr(inf, 2, flags, Spanish()), "Inf") << flags;
    EXPECT_EQ(ConvertFltToIntlStr(-inf, 2, flags, Spanish()), "-Inf") << flags;
    EXPECT_EQ(ConvertFltToIntlStr(-inf, INT_MIN, flags, wideSign), "- Inf") << flags;
  }
}

TEST(ConvertFltToIntlStr, SettingsApplied) {
  NumberSettings swiss = Spanish();
  swiss.thousandSep = "'";
  swiss.decimalSep = ".";
  swiss.negativeSign = "- ";
  swiss.numDigits = 3;
  swiss.leadingZero = 0;
  ExpectFltCases(swiss, {
      {"swiss grouped", -1234567.5, 0, DEC_MINIMO_MILES, "- 1'234'567.500"},
      {"no leading zero", 0.5, 2, DEC_FIJO, ".50"},
      {"negative, no leading zero", -0.5, 2, DEC_FIJO, "- .50"},
      {"zero fraction only", 0.0, 2, DEC_FIJO, ".00"},
      {"zero without decimals vanishes", 0.0, 0, DEC_FIJO, ""},
  });
}

class ConvertFltToIntlStrHostLocale : public test::LocaleTest {};

TEST_F(ConvertFltToIntlStrHostLocale, PrintsWithAPointWhateverTheHostSet) {
  const std::string comma = test::FindCommaLocale();
  if (comma.empty()) GTEST_SKIP() << test::kNoCommaLocale;
  ASSERT_NE(std::setlocale(LC_NUMERIC, comma.c_str()), nullptr);

  NumberSettings hash = Spanish();
  hash.decimalSep = "#";
  EXPECT_EQ(ConvertFltToIntlStr(1234.5, 2, DEC_FIJO_MILES, hash), "1.234#50");
  EXPECT_EQ(test::CurrentLocale(LC_NUMERIC), comma);
}

}  // namespace
}  // namespace qvx::intl
