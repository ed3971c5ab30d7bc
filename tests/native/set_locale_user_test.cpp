#include "intl/set_locale_user.h"

#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include "intl/number_format.h"
#include "intl/number_parse.h"
#include "test_settings.h"

namespace qvx::intl {
namespace {

// The host may switch the runtime's locale, here to one with a decimal comma
// where installed (locale-gen es_ES.UTF-8), else it stays "C". Each scope
// switches only LC_NUMERIC and restores the name it saw, and the conversions
// read and print a point whatever the host set.
TEST(HostLocale, SetLocaleUserSwitchesOneCategoryAndRestoresWhatItSaw) {
  auto Current = [](int category) { return std::string(std::setlocale(category, nullptr)); };
  const std::string saved = Current(LC_ALL);
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr) << "C.UTF-8 is part of every glibc";
  const std::string host = Current(LC_ALL);
  {
    CSetLocaleUser outer(LC_NUMERIC);
    EXPECT_EQ("C", Current(LC_NUMERIC));
    EXPECT_EQ(host, Current(LC_CTYPE)) << "only LC_NUMERIC switches";
    for (const char* name : {"es_ES.UTF-8", "es_ES.utf8", "de_DE.UTF-8", "de_DE.utf8"})
      if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') break;
    const std::string comma = Current(LC_NUMERIC);
    {
      CSetLocaleUser middle(LC_NUMERIC);
      { CSetLocaleUser inner(LC_NUMERIC); }
      EXPECT_EQ("C", Current(LC_NUMERIC)) << "inner restores the C that middle set";
      CSetLocaleUser unknown(-12345);  // changes nothing
    }
    EXPECT_EQ(comma, Current(LC_NUMERIC));
    // 0.1 to 20 places is printed by the runtime, not digit by digit.
    EXPECT_EQ(1.5, ConvertIntlStrToFlt("1,5", Settings()));
    EXPECT_EQ("0#10000000000000000555", ConvertFltToIntlStr(0.1, 20, DEC_FIJO, Settings("#")));
    EXPECT_EQ(comma, Current(LC_NUMERIC));
  }
  EXPECT_EQ(host, Current(LC_ALL));
  std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace qvx::intl
