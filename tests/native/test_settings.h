// Made-up regional settings shared by the native tests.
#pragma once

#include <string>

#include "intl/number_settings.h"

namespace qvx::intl {
// The defaults are a Spanish user: 1.234,5 with two decimals and a leading zero.
inline NumberSettings Settings(std::string decimal = ",", std::string thousand = ".", std::string negative = "-",
                               long grouping = 3, long digits = 2, long leadingZero = 1) {
  return {decimal, thousand, negative, grouping, digits, leadingZero};
}
}  // namespace qvx::intl
