#include "intl/regional_settings.h"

#include <windows.h>

#include <cstdlib>

namespace qvx::intl {

namespace {

// Items longer than the 9 characters that fit read as empty.
std::string ReadItem(LCTYPE item) {
  char buffer[10] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof(buffer)) == 0) return {};
  buffer[sizeof(buffer) - 1] = '\0';
  return buffer;
}

long ReadNumber(LCTYPE item) { return std::atol(ReadItem(item).c_str()); }

}  // namespace

std::string GetIntlDecimalSep() { return ReadItem(LOCALE_SDECIMAL); }
std::string GetIntlThousandSep() { return ReadItem(LOCALE_STHOUSAND); }
std::string GetIntlNegativeSign() { return ReadItem(LOCALE_SNEGATIVESIGN); }
long GetIntlGrouping() { return ReadNumber(LOCALE_SGROUPING); }
long GetIntlNumDigits() { return ReadNumber(LOCALE_IDIGITS); }
long GetIntlLeadingZero() { return ReadNumber(LOCALE_ILZERO); }

NumberSettings ReadNumberSettings() {
  NumberSettings s;
  s.decimalSep = GetIntlDecimalSep();
  s.thousandSep = GetIntlThousandSep();
  s.negativeSign = GetIntlNegativeSign();
  s.grouping = GetIntlGrouping();
  s.numDigits = GetIntlNumDigits();
  s.leadingZero = GetIntlLeadingZero();
  return s;
}

}  // namespace qvx::intl
