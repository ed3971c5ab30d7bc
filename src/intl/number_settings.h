// The user's regional number settings as one value, read at the edge (from
// Windows on every call) and passed to the platform-neutral conversions.
#pragma once

#include <string>

namespace qvx::intl {

struct NumberSettings {
  std::string decimalSep;    // LOCALE_SDECIMAL
  std::string thousandSep;   // LOCALE_STHOUSAND
  std::string negativeSign;  // LOCALE_SNEGATIVESIGN
  long grouping = 0;         // first group size of LOCALE_SGROUPING ("3;2;0" gives 3)
  long numDigits = 0;        // LOCALE_IDIGITS
  long leadingZero = 0;      // LOCALE_ILZERO: 1 shows 0.7, 0 shows .7
};

// How many decimals ConvertFltToIntlStr keeps and whether the integer part is
// grouped. Any other value behaves like DEC_FIJO.
enum IntlConvertFlags : long {
  DEC_MINIMO = 0,        // at least the user's number of decimals, no grouping
  DEC_MINIMO_MILES = 1,  // at least the user's number of decimals, grouped
  DEC_FIJO = 2,          // exactly the decimals asked for, no grouping
  DEC_FIJO_MILES = 3,    // exactly the decimals asked for, grouped
};

}  // namespace qvx::intl
