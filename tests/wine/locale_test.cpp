// The regional-settings readers against the real Windows user settings, and
// the C runtime locale switch under the MinGW runtime (msvcrt), with a host
// that has set a numeric locale whose decimal point is a comma.
#include <gtest/gtest.h>

#include <windows.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

#include "intl/number_format.h"
#include "intl/regional_settings.h"
#include "intl/set_locale_user.h"
#include "test_support.h"

namespace qvxtest {
namespace {

using qvx::intl::CSetLocaleUser;

// One user setting changed as a user would, put back when the scope ends.
// accepted() tells whether Windows took the new value.
class ScopedLocaleItem {
 public:
  ScopedLocaleItem(LCTYPE item, const char* value) : item_(item), saved_(ReadLocale(item)) {
    accepted_ = ::SetLocaleInfoA(LOCALE_USER_DEFAULT, item, value) != FALSE;
  }
  ~ScopedLocaleItem() { ::SetLocaleInfoA(LOCALE_USER_DEFAULT, item_, saved_.c_str()); }
  ScopedLocaleItem(const ScopedLocaleItem&) = delete;
  ScopedLocaleItem& operator=(const ScopedLocaleItem&) = delete;
  bool accepted() const { return accepted_; }

 private:
  LCTYPE item_;
  std::string saved_;
  bool accepted_ = false;
};

// ---------------------------------------------------------------------------
// The six readers.

// Every reader's result as text, so one table covers text and number readers.
struct ReaderCase {
  const char* name;
  LCTYPE item;
  std::function<std::string()> read;
  const char* first;  // value set first, then what the reader must return
  const char* firstRead;
  const char* second;
  const char* secondRead;
};

std::string Number(long n) { return std::to_string(n); }

const ReaderCase kReaders[] = {
    {"GetIntlDecimalSep", LOCALE_SDECIMAL, [] { return qvx::intl::GetIntlDecimalSep(); }, ",", ",", ".", "."},
    {"GetIntlThousandSep", LOCALE_STHOUSAND, [] { return qvx::intl::GetIntlThousandSep(); }, ".", ".", "'", "'"},
    {"GetIntlNegativeSign", LOCALE_SNEGATIVESIGN, [] { return qvx::intl::GetIntlNegativeSign(); }, "-", "-", "~",
     "~"},
    {"GetIntlGrouping", LOCALE_SGROUPING, [] { return Number(qvx::intl::GetIntlGrouping()); }, "3;0", "3", "4;0",
     "4"},
    {"GetIntlNumDigits", LOCALE_IDIGITS, [] { return Number(qvx::intl::GetIntlNumDigits()); }, "2", "2", "5", "5"},
    {"GetIntlLeadingZero", LOCALE_ILZERO, [] { return Number(qvx::intl::GetIntlLeadingZero()); }, "1", "1", "0",
     "0"},
};

TEST(RegionalSettingsTest, EachReaderSeesAChangeOnTheNextCall) {
  for (const auto& c : kReaders) {
    SCOPED_TRACE(c.name);
    ScopedLocaleItem first(c.item, c.first);
    ASSERT_TRUE(first.accepted()) << c.first;
    EXPECT_EQ(c.firstRead, c.read());
    {
      ScopedLocaleItem second(c.item, c.second);
      ASSERT_TRUE(second.accepted()) << c.second;
      EXPECT_EQ(c.secondRead, c.read()) << "no cached copy";
    }
    EXPECT_EQ(c.firstRead, c.read()) << "and back";
  }
}

TEST(RegionalSettingsTest, ReadNumberSettingsTakesAllSixAfresh) {
  ScopedNumberSettings spanish(kSpanish);
  qvx::intl::NumberSettings s = qvx::intl::ReadNumberSettings();
  EXPECT_EQ(",", s.decimalSep);
  EXPECT_EQ(".", s.thousandSep);
  EXPECT_EQ("-", s.negativeSign);
  EXPECT_EQ(3, s.grouping);
  EXPECT_EQ(2, s.numDigits);
  EXPECT_EQ(1, s.leadingZero);

  ScopedNumberSettings other({"/", " ", "~", "2;0", "4", "0"});
  s = qvx::intl::ReadNumberSettings();
  EXPECT_EQ("/", s.decimalSep);
  EXPECT_EQ(" ", s.thousandSep);
  EXPECT_EQ("~", s.negativeSign);
  EXPECT_EQ(2, s.grouping);
  EXPECT_EQ(4, s.numDigits);
  EXPECT_EQ(0, s.leadingZero);
}

TEST(RegionalSettingsTest, GroupingReadsOnlyTheFirstSize) {
  const struct {
    const char* grouping;
    long expected;
  } cases[] = {{"3;0", 3}, {"3;2;0", 3}, {"3", 3}, {"0;0", 0}, {"2;3;0", 2}};
  for (const auto& c : cases) {
    ScopedLocaleItem grouping(LOCALE_SGROUPING, c.grouping);
    ASSERT_TRUE(grouping.accepted()) << c.grouping;
    EXPECT_EQ(c.expected, qvx::intl::GetIntlGrouping()) << c.grouping;
  }
}

// The readers use a 10-byte buffer: 9 characters fit, a longer item reads as
// empty (text) or 0 (number). Windows may refuse such values; only those it
// takes are checked, and at least one of them must be taken.
TEST(RegionalSettingsTest, ItemsLongerThanTheBufferReadAsEmpty) {
  struct LongCase {
    const char* name;
    LCTYPE item;
    std::function<std::string()> read;
    const char* value;
    const char* expected;
  };
  const LongCase cases[] = {
      {"negative sign of 9", LOCALE_SNEGATIVESIGN, [] { return qvx::intl::GetIntlNegativeSign(); }, "neg123456",
       "neg123456"},
      {"negative sign of 10", LOCALE_SNEGATIVESIGN, [] { return qvx::intl::GetIntlNegativeSign(); }, "neg1234567",
       ""},
      {"decimal separator of 10", LOCALE_SDECIMAL, [] { return qvx::intl::GetIntlDecimalSep(); }, "dec1234567", ""},
      {"thousands separator of 10", LOCALE_STHOUSAND, [] { return qvx::intl::GetIntlThousandSep(); }, "tho1234567",
       ""},
      {"grouping of 9", LOCALE_SGROUPING, [] { return Number(qvx::intl::GetIntlGrouping()); }, "4;3;2;1;0", "4"},
      {"grouping of 11", LOCALE_SGROUPING, [] { return Number(qvx::intl::GetIntlGrouping()); }, "4;3;2;1;1;0", "0"},
  };
  int checked = 0;
  for (const auto& c : cases) {
    ScopedLocaleItem item(c.item, c.value);
    if (!item.accepted()) {
      std::printf("note: SetLocaleInfoA refused the %s (%s)\n", c.name, c.value);
      continue;
    }
    ASSERT_EQ(c.value, ReadLocale(c.item)) << c.name << ": Windows keeps the whole value";
    EXPECT_EQ(c.expected, c.read()) << c.name;
    ++checked;
  }
  EXPECT_GT(checked, 0) << "SetLocaleInfoA refused every long value";
}

// ---------------------------------------------------------------------------
// CSetLocaleUser under the MinGW runtime.

// Names under which msvcrt may know a locale with a comma decimal point.
const char* const kCommaLocales[] = {
    "Spanish_Spain.1252", "Spanish", "es-ES", "es_ES", "esp", "German_Germany.1252", "German",
    "de-DE", "de_DE",  "deu", "French_France.1252", "French", "fr-FR",
};

std::string NumericLocale() {
  const char* name = std::setlocale(LC_NUMERIC, nullptr);
  return name ? name : "<null>";
}

std::string DecimalPoint() {
  const char* point = std::localeconv()->decimal_point;
  return point ? point : "<null>";
}

// Sets the host's numeric locale to the first comma locale that msvcrt knows,
// and the whole runtime back to "C" afterwards.
class HostCommaLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tried;
    for (const char* name : kCommaLocales) {
      const char* set = std::setlocale(LC_NUMERIC, name);
      tried += std::string(" \"") + name + "\"" + (set ? " (point \"" + DecimalPoint() + "\")" : " (refused)");
      if (set && DecimalPoint() == ",") {
        host_ = set;
        break;
      }
    }
    ASSERT_FALSE(host_.empty()) << "no comma locale under this C runtime; tried" << tried;
    static bool told = false;
    if (!std::exchange(told, true)) std::printf("host numeric locale: %s\n", host_.c_str());
    ASSERT_EQ(1.0, std::atof("1.5")) << "the host's locale stops atof at the point";
  }

  void TearDown() override { std::setlocale(LC_ALL, "C"); }

  std::string host_;  // the host's LC_NUMERIC name as the runtime reports it
};

TEST_F(HostCommaLocaleTest, ScopeReadsAPointAndRestoresTheHostLocale) {
  {
    CSetLocaleUser numericC(LC_NUMERIC);
    EXPECT_EQ(1.5, std::atof("1.5"));
    EXPECT_EQ(".", DecimalPoint());
    EXPECT_EQ("C", NumericLocale());
  }
  EXPECT_EQ(host_, NumericLocale());
  EXPECT_EQ(",", DecimalPoint());
  EXPECT_EQ(1.5, std::atof("1,5"));
}

TEST_F(HostCommaLocaleTest, ScopeSwitchesOnlyItsCategory) {
  ASSERT_NE(nullptr, std::setlocale(LC_MONETARY, host_.c_str()));
  const std::string monetary = std::setlocale(LC_MONETARY, nullptr);
  {
    CSetLocaleUser numericC(LC_NUMERIC);
    EXPECT_EQ(monetary, std::setlocale(LC_MONETARY, nullptr));
  }
  EXPECT_EQ(monetary, std::setlocale(LC_MONETARY, nullptr));
  EXPECT_EQ(host_, NumericLocale());
}

TEST_F(HostCommaLocaleTest, NestedScopesRestoreInReverseOrder) {
  {
    CSetLocaleUser outer(LC_NUMERIC);
    // Code inside the outer scope (a host callback, say) sets a third locale.
    const char* english = std::setlocale(LC_NUMERIC, "English_United States.1252");
    if (!english) english = std::setlocale(LC_NUMERIC, "English");
    ASSERT_NE(nullptr, english) << "no English locale under this C runtime";
    const std::string inner_saw = english;
    ASSERT_NE(host_, inner_saw);
    {
      CSetLocaleUser inner(LC_NUMERIC);
      EXPECT_EQ("C", NumericLocale());
      EXPECT_EQ(1.5, std::atof("1.5"));
      {
        CSetLocaleUser innermost(LC_NUMERIC);
        EXPECT_EQ("C", NumericLocale());
      }
      EXPECT_EQ("C", NumericLocale()) << "the innermost scope restores what it saw: C";
    }
    EXPECT_EQ(inner_saw, NumericLocale()) << "the inner scope restores what it saw";
  }
  EXPECT_EQ(host_, NumericLocale()) << "the outer scope restores the host's locale";
}

TEST_F(HostCommaLocaleTest, ScopeLeftByAnExceptionRestores) {
  try {
    CSetLocaleUser numericC(LC_NUMERIC);
    throw std::runtime_error("leave");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(host_, NumericLocale());
}

struct FormatCase {
  double value;
  long decimals;
  long flags;
  const char* expected;
};

TEST_F(HostCommaLocaleTest, FormattingPrintsWithAPointAndLeavesTheHostLocale) {
  const FormatCase cases[] = {
      {1234.5, 2, 1, "1.234,50"},     {1234.5, 0, 1, "1.234,50"},           {1234.5, 0, 3, "1.235"},
      {-0.001, 2, 2, "0,00"},         {1.005, 2, 2, "1,01"},                {0.125, 2, 2, "0,13"},
      {1234567.891, 2, 3, "1.234.567,89"}, {-1234567.891, 3, 0, "-1234567,891"},
  };
  ScopedNumberSettings spanish(kSpanish);
  const qvx::intl::NumberSettings settings = qvx::intl::ReadNumberSettings();
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, qvx::intl::ConvertFltToIntlStr(c.value, c.decimals, c.flags, settings))
        << c.value << " " << c.decimals << " " << c.flags;
    EXPECT_EQ(host_, NumericLocale());
  }
}

// With a point as the user's decimal separator a comma printed by the runtime
// would show up as a grouping character in the result.
TEST_F(HostCommaLocaleTest, FormattingWithEnglishSettingsUnderACommaHost) {
  ScopedNumberSettings english({".", ",", "-", "3;0", "2", "1"});
  const qvx::intl::NumberSettings settings = qvx::intl::ReadNumberSettings();
  EXPECT_EQ("1,234.50", qvx::intl::ConvertFltToIntlStr(1234.5, 2, 1, settings));
  EXPECT_EQ("-0.75", qvx::intl::ConvertFltToIntlStr(-0.75, 2, 3, settings));
  EXPECT_EQ(host_, NumericLocale());
}

// The registered module shares the process's msvcrt with its host, so the
// host's locale reaches it too.
TEST_F(HostCommaLocaleTest, RegisteredControlFormatsUnderACommaHost) {
  ComScope com;
  ScopedNumberSettings spanish(kSpanish);
  auto control = CreateControl();
  ASSERT_TRUE(control);
  Variant value(1234.5);
  Variant decimals(2L);
  Variant flags(1L);
  EXPECT_EQ(L"1.234,50", CallText(control.get(), L"ConvertFltToIntlStr", {value.get(), decimals.get(), flags.get()}));
  EXPECT_EQ(host_, NumericLocale());
}

}  // namespace
}  // namespace qvxtest
