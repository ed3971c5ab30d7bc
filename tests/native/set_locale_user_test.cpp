#include "intl/set_locale_user.h"

#include <clocale>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "test_locale.h"

namespace qvx::intl {
namespace {

using test::CurrentLocale;

class SetLocaleUserTest : public test::LocaleTest {};

TEST_F(SetLocaleUserTest, SwitchesOneCategoryAndRestoresIt) {
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr) << "C.UTF-8 is part of every glibc";
  const std::string host = CurrentLocale(LC_NUMERIC);
  ASSERT_NE(host, "C");

  for (const int category : {LC_NUMERIC, LC_CTYPE, LC_TIME}) {
    {
      CSetLocaleUser scope(category);
      EXPECT_EQ(CurrentLocale(category), "C") << category;
      const int other = category == LC_NUMERIC ? LC_CTYPE : LC_NUMERIC;
      EXPECT_EQ(CurrentLocale(other), host) << "only category " << category << " switches";
    }
    EXPECT_EQ(CurrentLocale(category), host) << category;
  }
}

TEST_F(SetLocaleUserTest, NestedScopesRestoreWhatEachSaw) {
  ASSERT_NE(std::setlocale(LC_NUMERIC, "C.UTF-8"), nullptr);
  const std::string host = CurrentLocale(LC_NUMERIC);
  // With a comma locale the host switches again inside the outer scope, so
  // the middle scope sees a third name; without one it sees "C".
  const std::string comma = test::FindCommaLocale();
  {
    CSetLocaleUser outer(LC_NUMERIC);
    if (!comma.empty()) {
      ASSERT_NE(std::setlocale(LC_NUMERIC, comma.c_str()), nullptr);
    }
    const std::string middleSaw = CurrentLocale(LC_NUMERIC);
    {
      CSetLocaleUser middle(LC_NUMERIC);
      {
        CSetLocaleUser inner(LC_NUMERIC);
        EXPECT_EQ(CurrentLocale(LC_NUMERIC), "C");
      }
      EXPECT_EQ(CurrentLocale(LC_NUMERIC), "C") << "inner restores the C that middle set";
    }
    EXPECT_EQ(CurrentLocale(LC_NUMERIC), middleSaw);
  }
  EXPECT_EQ(CurrentLocale(LC_NUMERIC), host);
}

TEST_F(SetLocaleUserTest, UnknownCategoryChangesNothing) {
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
  const std::string before = CurrentLocale(LC_ALL);
  {
    CSetLocaleUser scope(-12345);
    EXPECT_EQ(CurrentLocale(LC_ALL), before);
  }
  EXPECT_EQ(CurrentLocale(LC_ALL), before);
}

TEST_F(SetLocaleUserTest, AtofReadsAPointUnderADecimalCommaHost) {
  const std::string comma = test::FindCommaLocale();
  if (comma.empty()) GTEST_SKIP() << test::kNoCommaLocale;
  ASSERT_NE(std::setlocale(LC_NUMERIC, comma.c_str()), nullptr);
  ASSERT_EQ(std::atof("1.5"), 1.0) << "the host locale stops atof at the point";
  {
    CSetLocaleUser scope(LC_NUMERIC);
    EXPECT_EQ(std::atof("1.5"), 1.5);
  }
  EXPECT_EQ(CurrentLocale(LC_NUMERIC), comma);
  EXPECT_EQ(std::atof("1.5"), 1.0);
}

}  // namespace
}  // namespace qvx::intl
