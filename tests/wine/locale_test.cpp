// The regional-settings readers against the real user settings, and the C
// runtime locale switch under a host whose numeric locale has a comma point.
#include <clocale>
#include <cstdlib>
#include <stdexcept>

#include "intl/number_format.h"
#include "intl/regional_settings.h"
#include "intl/set_locale_user.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

std::string Read(const qvx::intl::NumberSettings& s) {
  return s.decimalSep + "|" + s.thousandSep + "|" + s.negativeSign + "|" + std::to_string(s.grouping) + "|" +
         std::to_string(s.numDigits) + "|" + std::to_string(s.leadingZero);
}

TEST(RegionalSettingsTest, ReadersTakeEachSettingAfresh) {
  const struct {
    NumberSettings set;
    const char* read;
  } rows[] = {
      {kSpanish, ",|.|-|3|2|1"},
      {{"/", " ", "~", "2;3;0", "5", "0"}, "/| |~|2|5|0"},  // only the first group size counts
      {{"::", "'", "-", "0;0", "0", "1"}, "::|'|-|0|0|1"},
      // The readers' 10-byte buffers: 9 characters fit, 10 read as nothing.
      {{"dec123456", "tho1234567", "neg1234567", "4;3;2;1;1;0", "2", "1"}, "dec123456|||0|2|1"},
  };
  for (const auto& row : rows) {
    ScopedNumberSettings settings(row.set);
    EXPECT_EQ(row.read, Read(qvx::intl::ReadNumberSettings()));
  }
}

// Sets the host's numeric locale to a comma locale msvcrt knows, and the
// whole runtime back to "C" afterwards.
class HostCommaLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"Spanish_Spain.1252", "Spanish", "German_Germany.1252", "French_France.1252"}) {
      const char* set = std::setlocale(LC_NUMERIC, name);
      if (set && *std::localeconv()->decimal_point == ',') {
        host_ = set;
        break;
      }
    }
    ASSERT_FALSE(host_.empty()) << "no comma locale under this C runtime";
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
  std::string Numeric() { return std::setlocale(LC_NUMERIC, nullptr); }
  std::string host_;
};

TEST_F(HostCommaLocaleTest, ScopesReadAPointAndRestoreWhatTheySaw) {
  ASSERT_NE(nullptr, std::setlocale(LC_MONETARY, host_.c_str()));
  try {
    qvx::intl::CSetLocaleUser outer(LC_NUMERIC);
    EXPECT_EQ(1.5, std::atof("1.5"));
    EXPECT_EQ(host_, std::setlocale(LC_MONETARY, nullptr)) << "only its own category";
    // Code inside the scope (a host callback, say) sets a third locale.
    const char* english = std::setlocale(LC_NUMERIC, "English_United States.1252");
    ASSERT_NE(nullptr, english);
    const std::string third = english;
    {
      qvx::intl::CSetLocaleUser inner(LC_NUMERIC);
      EXPECT_EQ("C", Numeric());
    }
    EXPECT_EQ(third, Numeric()) << "the inner scope restores what it saw";
    throw std::runtime_error("leave");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(host_, Numeric()) << "the outer scope restores the host's locale";
}

// The registered module shares msvcrt with its host, so the host's locale reaches it.
TEST_F(HostCommaLocaleTest, FormattingPrintsWithAPointAndLeavesTheHostLocale) {
  ScopedNumberSettings english({".", ",", "-", "3;0", "2", "1"});
  const qvx::intl::NumberSettings settings = qvx::intl::ReadNumberSettings();
  EXPECT_EQ("1,234.50", qvx::intl::ConvertFltToIntlStr(1234.5, 2, 1, settings));
  EXPECT_EQ("-0.75", qvx::intl::ConvertFltToIntlStr(-0.75, 2, 3, settings));
  ComScope com;
  ScopedNumberSettings spanish(kSpanish);
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  Var value(1234.5), decimals(2L), flags(1L);
  EXPECT_EQ(L"1.234,50", CallText(control.get(), L"ConvertFltToIntlStr", {value.v, decimals.v, flags.v}));
  EXPECT_EQ(host_, Numeric());
}

}  // namespace
}  // namespace qvxtest
