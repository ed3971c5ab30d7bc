#include "intl/number_parse.h"

#include <clocale>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "intl/set_locale_user.h"

namespace qvx::intl {
namespace {

// Settings with an empty decimal separator or negative sign read as plain.
struct ParseSymbols {
  std::string negativeSign;
  std::string thousandSep;
  std::string decimalSep;
};

ParseSymbols SymbolsOf(const NumberSettings& settings) {
  return {settings.negativeSign.empty() ? "-" : settings.negativeSign, settings.thousandSep,
          settings.decimalSep.empty() ? "." : settings.decimalSep};
}

std::string Normalized(const std::string& text, const ParseSymbols& symbols) {
  std::string s = text;
  NormalizeIntlStr(s, symbols.negativeSign, symbols.thousandSep, symbols.decimalSep);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the longest prefix of s that atof reads as a decimal number:
// blanks, a sign, digits with at most one point (at least one digit), then
// an exponent only when it has digits. 0 when there is no number. Hex,
// "inf" and "nan" are left out, as the plain form never holds them.
size_t DecimalPrefixLength(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    if (j < s.size() && IsDigit(s[j])) {
      while (j < s.size() && IsDigit(s[j])) ++j;
      i = j;
    }
  }
  return i;
}

// Plain text to double as atof reads it, in the "C" numeric locale.
double PlainToDouble(const std::string& plain) {
  const size_t length = DecimalPrefixLength(plain);
  if (length == 0) return 0.0;
  CSetLocaleUser numericC(LC_NUMERIC);
  return std::strtod(plain.substr(0, length).c_str(), nullptr);
}

bool OnlyCharsOf(const std::string& text, std::string_view allowed) {
  return text.find_first_not_of(allowed.data(), 0, allowed.size()) == std::string::npos;
}

}  // namespace

// A stack of kept characters with, for each, the state of a Knuth-Morris-
// Pratt matcher after it: when the top of the stack completes the pattern,
// the pattern is popped and matching resumes from the state below it. This
// cuts out the first occurrence each time, as the plain repeated search
// would, without rescanning.
void CutOutAll(std::string& text, const std::string& pattern) {
  const size_t m = pattern.size();
  if (m == 0 || text.size() < m) return;
  std::vector<size_t> failure(m, 0);
  for (size_t i = 1, k = 0; i < m; ++i) {
    while (k > 0 && pattern[i] != pattern[k]) k = failure[k - 1];
    if (pattern[i] == pattern[k]) ++k;
    failure[i] = k;
  }
  std::vector<size_t> state(text.size() + 1, 0);  // state[n]: matched length after n kept chars
  size_t kept = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    size_t k = state[kept];
    while (k > 0 && c != pattern[k]) k = failure[k - 1];
    if (c == pattern[k]) ++k;
    text[kept++] = c;
    state[kept] = k;
    if (k == m) kept -= m;
  }
  text.resize(kept);
}

void NormalizeIntlStr(std::string& text, const std::string& negativeSign, const std::string& thousandSep,
                      const std::string& decimalSep) {
  if (text.empty()) return;
  CutOutAll(text, thousandSep);
  if (!decimalSep.empty()) {
    const size_t at = text.find(decimalSep);
    if (at != std::string::npos) text.replace(at, decimalSep.size(), ".");
  }
  if (!negativeSign.empty() && text.compare(0, negativeSign.size(), negativeSign) == 0) {
    text.replace(0, negativeSign.size(), "-");
  }
}

std::string ConvertIntlStrToStr(const std::string& text, const NumberSettings& settings) {
  return Normalized(text, SymbolsOf(settings));
}

double ConvertIntlStrToFlt(const std::string& text, const NumberSettings& settings) {
  return PlainToDouble(Normalized(text, SymbolsOf(settings)));
}

bool ValidateIntlStr(const std::string& text, const NumberSettings& settings) {
  if (text.empty()) return true;
  const ParseSymbols symbols = SymbolsOf(settings);
  const std::string allowed = symbols.negativeSign + "0123456789e+" + symbols.thousandSep + symbols.decimalSep;
  if (!OnlyCharsOf(text, allowed)) return false;
  const std::string plain = Normalized(text, symbols);
  if (!OnlyCharsOf(plain, "-0123456789.e+")) return false;
  if (PlainToDouble(plain) != 0.0) return true;
  return !plain.empty() && (plain[0] == '0' || plain[0] == '.');
}

}  // namespace qvx::intl
