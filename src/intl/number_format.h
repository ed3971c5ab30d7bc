// Numbers to regional text: the platform-neutral core behind the control's
// ConvertStrToIntlStr and ConvertFltToIntlStr. No Windows calls here; the
// caller reads the user's settings and passes them in.
#pragma once

#include <string>

#include "intl/number_settings.h"

namespace qvx::intl {

// Rewrites plain number text (optional "-", digits, optional "." and digits)
// with the regional sign, leading-zero setting, grouping and separators.
// Never fails: odd input gives odd text. Linear in the length of text.
std::string ConvertStrToIntlStr(const std::string& text, long flags, const NumberSettings& settings);

// Rounds value (halves away from zero) to the decimals chosen by flags and
// the settings, prints it in plain form in the "C" numeric locale and passes
// it through ConvertStrToIntlStr.
std::string ConvertFltToIntlStr(double value, long decimals, long flags, const NumberSettings& settings);

}  // namespace qvx::intl
