// Regional text back to numbers: the platform-neutral core behind the
// control's ConvertIntlStrToStr, ConvertIntlStrToFlt and ValidateIntlStr.
// No Windows calls here; the caller reads the user's settings and passes
// them in.
#pragma once

#include <string>

#include "intl/number_settings.h"

namespace qvx::intl {

// Removes pattern from text as often as it occurs, each time cutting out the
// first occurrence, so that occurrences formed by a cut go too ("aabb" loses
// "ab" twice). One pass, linear in text plus pattern. An empty pattern
// removes nothing.
void CutOutAll(std::string& text, const std::string& pattern);

// Rewrites regional text in place into plain form: every thousands
// separator cut out, the first decimal separator made ".", a leading
// negative sign made "-". An empty separator or sign replaces nothing.
void NormalizeIntlStr(std::string& text, const std::string& negativeSign, const std::string& thousandSep,
                      const std::string& decimalSep);

// The three conversions read an empty decimal separator or negative sign in
// the settings as the plain "." or "-": an empty symbol cannot mark
// anything, and the user can still type plain numbers.

// The normalised text; no other check is made ("12abc" stays "12abc").
std::string ConvertIntlStrToStr(const std::string& text, const NumberSettings& settings);

// The value of the normalised text's longest leading decimal number, as atof
// reads it in the "C" locale; 0.0 when none. Overflow gives an infinity.
double ConvertIntlStrToFlt(const std::string& text, const NumberSettings& settings);

// True when text is empty or consists only of the regional number symbols
// and digits, "e" and "+", normalises to "-0123456789.e+" characters only,
// and either reads as a non-zero value or begins with "0" or "." once
// normalised. A check of characters and value, not a grammar: "5-" passes.
bool ValidateIntlStr(const std::string& text, const NumberSettings& settings);

}  // namespace qvx::intl
