#include "intl/number_format.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "intl/set_locale_user.h"

namespace qvx::intl {
namespace {

// Beyond these bounds 10^d overflows or underflows a double and the results no
// longer change; clamping also keeps |d| clear of overflow for LONG_MIN.
constexpr long kDecimalsBound = 400;

// From 2^53 on every double is an integer: there is nothing left to round.
constexpr double kAllIntegral = 9007199254740992.0;

// A rounded value this close to zero is printed without the minus.
constexpr double kZeroBand = 1e-07;

// Flags other than the four known ones group nothing and keep exact decimals,
// as DEC_FIJO does.
bool IsGrouped(long flags) { return flags == DEC_MINIMO_MILES || flags == DEC_FIJO_MILES; }

// 10^d by repeated squaring of 10.0 over the bits of |d|, inverted for a
// negative d. Exact up to 10^22, which covers every usual number of decimals.
double PowerOfTen(long d) {
  unsigned long n = d < 0 ? 0UL - static_cast<unsigned long>(d) : static_cast<unsigned long>(d);
  double p = 1.0;
  double base = 10.0;
  while (n != 0) {
    if (n & 1UL) p *= base;
    n >>= 1;
    if (n != 0) base *= base;
  }
  return d < 0 ? 1.0 / p : p;
}

// Length of the integer part as "%.f" prints it, its minus included ("-0"
// for -0.5). Counted directly below 10^15, where doubles hold exact integers.
int IntegerTextLength(double integral) {
  const int sign = std::signbit(integral) ? 1 : 0;
  double magnitude = std::fabs(integral);
  if (magnitude >= 1e15) return std::snprintf(nullptr, 0, "%.f", integral);
  auto n = static_cast<unsigned long long>(magnitude);
  int digits = 1;
  while (n >= 10) {
    n /= 10;
    ++digits;
  }
  return sign + digits;
}

// The rounding tolerance is 10^-t, t = 14 minus the printed length of the
// integer part (its minus included), at least 1: the more integer digits, the
// fewer trustworthy fractional ones.
double Tolerance(double value) {
  double integral = 0.0;
  std::modf(value, &integral);
  const int length = IntegerTextLength(integral);
  const int t = 14 - length > 1 ? 14 - length : 1;  // 1 to 13
  static const double kNegativePowers[] = {1e-1, 1e-2, 1e-3, 1e-4,  1e-5,  1e-6, 1e-7,
                                           1e-8, 1e-9, 1e-10, 1e-11, 1e-12, 1e-13};
  return kNegativePowers[t - 1];
}

// A value rounded to d decimals.
struct Rounded {
  double y;          // the rounded value, signed unless it is within the zero band
  double units = -1; // |y| * 10^d as the whole number that rounding produced; -1 when rounding was skipped
};

// value rounded to d decimals, halves away from zero; a fraction short of one
// half by less than the tolerance also rounds up, absorbing the binary error
// of decimal inputs (1.005 * 100 is 100.49999999999999).
Rounded RoundToDecimals(double value, long d) {
  // The sign of value*p is that of value whenever the result can be non-zero.
  const double sign = value < 0.0 ? -1.0 : 1.0;
  const double p = PowerOfTen(d);
  const double scaled = value * p;
  const double a = std::fabs(scaled);

  Rounded out;
  double magnitude;
  if (p == 0.0) {
    // 10^d underflowed: every finite double is far below half of 10^-d.
    magnitude = 0.0;
  } else if (std::isinf(p) || !std::isfinite(scaled) || a >= kAllIntegral) {
    // Already exact at this precision; scaling back could only add error.
    magnitude = std::fabs(value);
  } else {
    const double f = a - std::floor(a);
    const double r = (0.5 - f) < Tolerance(value) ? std::ceil(a) : std::floor(a);
    magnitude = r / p;
    out.units = r;
    // Rounding up next to DBL_MAX can leave the range; keep the value itself.
    if (!std::isfinite(magnitude)) {
      magnitude = std::fabs(value);
      out.units = -1;
    }
  }
  // magnitude is never negative, so -0.0 and tiny negatives come out unsigned.
  out.y = magnitude <= kZeroBand ? magnitude : sign * magnitude;
  return out;
}

// Below 2^52 the rounded units are exactly the digits "%.*f" prints for
// units / 10^d (d at most 22, where 10^d is exact): the division is off by
// less than half a unit. Those are written directly, without the runtime.
constexpr double kExactUnits = 4503599627370496.0;  // 2^52

bool PrintUnits(const Rounded& r, long d, std::string& text) {
  if (r.units < 0 || r.units >= kExactUnits || d < 0 || d > 22) return false;
  char digits[24];
  int n = 0;
  for (auto u = static_cast<unsigned long long>(r.units); u != 0 || n <= d; u /= 10)
    digits[n++] = static_cast<char>('0' + u % 10);
  if (r.y < 0.0) text += '-';
  for (int i = n - 1; i >= 0; --i) {
    text += digits[i];
    if (i == d && d > 0) text += '.';
  }
  return true;
}

// y in plain form, "%.*f" with d decimals (none for a negative d, which has
// rounded to tens, hundreds...). The runtime prints in the "C" numeric locale
// so that it writes a point whatever locale the host has set.
std::string PrintPlain(const Rounded& r, long d) {
  std::string text;
  if (PrintUnits(r, d, text)) return text;
  const int precision = d > 0 ? static_cast<int>(d) : 0;
  CSetLocaleUser numericC(LC_NUMERIC);
  const int length = std::snprintf(nullptr, 0, "%.*f", precision, r.y);
  if (length <= 0) return {};
  text.assign(static_cast<std::size_t>(length) + 1, '\0');
  std::snprintf(&text[0], text.size(), "%.*f", precision, r.y);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace

std::string ConvertStrToIntlStr(const std::string& text, long flags, const NumberSettings& settings) {
  if (text.empty()) return {};

  std::string_view rest(text);
  const bool negative = rest.front() == '-';
  if (negative) rest.remove_prefix(1);

  // Only the leading run loses its zeros; a "-" inside that run is kept and
  // does not end it. Any setting other than 0 keeps every zero.
  std::string unpadded;
  if (settings.leadingZero == 0) {
    unpadded.reserve(rest.size());
    bool leading = true;
    for (const char c : rest) {
      if (leading && c == '0') continue;
      if (c != '-') leading = false;
      unpadded.push_back(c);
    }
    rest = unpadded;
  }

  // A lone "." has no digits on either side and stays as it is.
  std::string_view integer = rest;
  std::string_view fraction;
  const std::size_t point = rest.find('.');
  if (point != std::string_view::npos && rest.size() > 1) {
    integer = rest.substr(0, point);
    fraction = rest.substr(point + 1);
  }

  // Every character of the integer part counts toward a group, and all groups
  // have the first size (3;2;0 groups by 3 throughout).
  const std::size_t n = integer.size();
  const long g = settings.grouping;
  const bool group = IsGrouped(flags) && g >= 1 && n > static_cast<std::size_t>(g);
  const std::size_t separators = group ? (n - 1) / static_cast<std::size_t>(g) : 0;

  std::string result;
  result.reserve((negative ? settings.negativeSign.size() : 0) + n + separators * settings.thousandSep.size() +
                 (fraction.empty() ? 0 : settings.decimalSep.size() + fraction.size()));
  if (negative) result += settings.negativeSign;
  if (group) {
    const std::size_t size = static_cast<std::size_t>(g);
    for (std::size_t i = 0; i < n; ++i) {
      result += integer[i];
      if (i + 1 < n && (n - 1 - i) % size == 0) result += settings.thousandSep;
    }
  } else {
    result += integer;
  }
  // "5." has an empty fraction and so no decimal separator.
  if (!fraction.empty()) {
    result += settings.decimalSep;
    result += fraction;
  }
  return result;
}

std::string ConvertFltToIntlStr(double value, long decimals, long flags, const NumberSettings& settings) {
  // Not numbers: fixed words rather than whatever the runtime prints.
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0.0 ? std::string("Inf") : settings.negativeSign + "Inf";

  long d = (flags == DEC_MINIMO || flags == DEC_MINIMO_MILES) ? std::max(decimals, settings.numDigits) : decimals;
  d = std::clamp(d, -kDecimalsBound, kDecimalsBound);

  return ConvertStrToIntlStr(PrintPlain(RoundToDecimals(value, d), d), flags, settings);
}

}  // namespace qvx::intl
