// Made-up regional settings shared by the native tests.
#pragma once

#include "intl/number_settings.h"

namespace qvx::intl {

// A Spanish user: 1.234,5 with a leading zero and two decimals.
inline NumberSettings Spanish() {
  NumberSettings s;
  s.decimalSep = ",";
  s.thousandSep = ".";
  s.negativeSign = "-";
  s.grouping = 3;
  s.numDigits = 2;
  s.leadingZero = 1;
  return s;
}

inline NumberSettings SpanishWith(void (*change)(NumberSettings&)) {
  NumberSettings s = Spanish();
  change(s);
  return s;
}

}  // namespace qvx::intl
