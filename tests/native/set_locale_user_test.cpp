#include "intl/set_locale_user.h"

#include <clocale>
#include <string>

#include <gtest/gtest.h>

#include "intl/number_format.h"
#include "intl/number_parse.h"
#include "test_settings.h"

namespace qvx::intl {
namespace {

std::string CurrentLocale(int category) {
  const char* name = std::setlocale(category, nullptr);
  return name ? name : "";
}

// Sets LC_NUMERIC to an installed locale whose decimal point is a comma and
// gives its name; empty, with nothing changed, when there is none.
std::string SwitchToCommaLocale() {
  for (const char* name : {"es_ES.UTF-8", "es_ES.utf8", "de_DE.UTF-8", "de_DE.utf8"})
    if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') return name;
  return "";
}

// The host may switch the runtime's locale; each test leaves it as it was.
class HostLocale : public ::testing::Test {
  void SetUp() override { saved_ = CurrentLocale(LC_ALL); }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }
  std::string saved_;
};

// Only the one category switches, and each scope restores the name it saw,
// though the host switched in between (to a comma locale, or else stayed "C").
TEST_F(HostLocale, SetLocaleUserSwitchesOneCategoryAndRestoresWhatItSaw) {
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr) << "C.UTF-8 is part of every glibc";
  const std::string host = CurrentLocale(LC_ALL);
  {
    CSetLocaleUser outer(LC_NUMERIC);
    EXPECT_EQ("C", CurrentLocale(LC_NUMERIC));
    EXPECT_EQ(host, CurrentLocale(LC_CTYPE)) << "only LC_NUMERIC switches";
    std::string comma = SwitchToCommaLocale();
    if (comma.empty()) comma = "C";
    {
      CSetLocaleUser middle(LC_NUMERIC);
      { CSetLocaleUser inner(LC_NUMERIC); }
      EXPECT_EQ("C", CurrentLocale(LC_NUMERIC)) << "inner restores the C that middle set";
      CSetLocaleUser unknown(-12345);  // changes nothing
    }
    EXPECT_EQ(comma, CurrentLocale(LC_NUMERIC));
  }
  EXPECT_EQ(host, CurrentLocale(LC_ALL));
}

// The conversions read and print a point whatever the host has set. 0.1 to
// 20 places is printed by the runtime, not digit by digit.
TEST_F(HostLocale, ConversionsUnderACommaLocale) {
  const std::string comma = SwitchToCommaLocale();
  if (comma.empty()) GTEST_SKIP() << "no locale with a decimal comma (locale-gen es_ES.UTF-8)";
  EXPECT_EQ(1.5, ConvertIntlStrToFlt("1,5", Settings()));
  EXPECT_EQ("0#10000000000000000555", ConvertFltToIntlStr(0.1, 20, DEC_FIJO, Settings("#")));
  EXPECT_EQ(comma, CurrentLocale(LC_NUMERIC));
}

}  // namespace
}  // namespace qvx::intl
