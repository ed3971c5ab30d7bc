// Readers of the current user's regional number settings. Each asks Windows
// afresh (LOCALE_USER_DEFAULT), so a change is seen by the very next call.
// A failed read gives an empty text or 0.
#pragma once

#include <string>

#include "intl/number_settings.h"

namespace qvx::intl {

std::string GetIntlDecimalSep();
std::string GetIntlThousandSep();
std::string GetIntlNegativeSign();
long GetIntlGrouping();     // first group size only: "3;2;0" gives 3
long GetIntlNumDigits();
long GetIntlLeadingZero();  // 1: 0.7, 0: .7

// All six, for one conversion.
NumberSettings ReadNumberSettings();

}  // namespace qvx::intl
