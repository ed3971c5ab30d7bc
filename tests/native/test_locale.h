// Locale helpers shared by the native tests: the host may switch the C runtime
// locale, and the tests must leave the process as they found it.
#pragma once

#include <clocale>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace qvx::test {

// Name of an installed locale whose decimal point is a comma, or empty.
inline std::string FindCommaLocale() {
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  std::string found;
  for (const char* name : {"de_DE.UTF-8", "es_ES.UTF-8", "de_DE.utf8", "es_ES.utf8", "de_DE", "es_ES",
                           "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name) && std::strcmp(std::localeconv()->decimal_point, ",") == 0) {
      found = std::setlocale(LC_NUMERIC, nullptr);
      break;
    }
  }
  std::setlocale(LC_NUMERIC, before.c_str());
  return found;
}

inline std::string CurrentLocale(int category) {
  const char* name = std::setlocale(category, nullptr);
  return name ? name : "";
}

// Restores every category as it was before the test.
class LocaleTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = CurrentLocale(LC_ALL); }
  void TearDown() override { std::setlocale(LC_ALL, saved_.c_str()); }

 private:
  std::string saved_;
};

constexpr const char* kNoCommaLocale =
    "no locale with a decimal comma is installed (generate de_DE.UTF-8 or es_ES.UTF-8 with locale-gen)";

}  // namespace qvx::test
