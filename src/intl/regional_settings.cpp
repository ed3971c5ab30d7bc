#include "intl/regional_settings.h"

#include <windows.h>

#include <cstdlib>

#include "framework/ansi.h"

namespace qvx::intl {

namespace {

// Read as UTF-16 and converted with the ANSI code page, the one in which the
// module hands its texts back: GetLocaleInfoA would use the locale's own code
// page, and is several times slower under Wine. As with a 10-byte ANSI
// buffer, an item longer than 9 characters reads as empty.
std::string ReadItem(LCTYPE item) {
  wchar_t wide[10] = {};
  const int n = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, wide, 10);
  if (n <= 1) return {};
  std::string ansi = fw::AnsiFromWide(wide, static_cast<size_t>(n - 1));
  return ansi.size() <= 9 ? ansi : std::string();
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
