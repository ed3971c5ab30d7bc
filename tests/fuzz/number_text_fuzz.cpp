// Formatting, normalisation and validation with arbitrary settings, flags,
// decimals, values and text: nothing may crash or trip a sanitizer, and the
// one-pass separator removal must agree with the repeated search it replaces.
#include <cstdint>
#include <cstring>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "intl/number_format.h"
#include "intl/number_parse.h"

namespace {

using namespace qvx::intl;

void CheckCutOut(const std::string& text, const std::string& pattern) {
  std::string fast = text;
  CutOutAll(fast, pattern);
  if (!pattern.empty() && fast.find(pattern) != std::string::npos) __builtin_trap();
  if (text.size() > 512) return;  // the reference is quadratic
  std::string slow = text;
  for (size_t at; !pattern.empty() && (at = slow.find(pattern)) != std::string::npos;) slow.erase(at, pattern.size());
  if (fast != slow) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  NumberSettings settings;
  settings.decimalSep = in.ConsumeRandomLengthString(4);
  settings.thousandSep = in.ConsumeRandomLengthString(4);
  settings.negativeSign = in.ConsumeRandomLengthString(4);
  settings.grouping = in.ConsumeIntegral<long>();
  settings.numDigits = in.ConsumeIntegral<long>();
  settings.leadingZero = in.ConsumeIntegral<long>();
  const long flags = in.ConsumeIntegral<long>();
  const long decimals = in.ConsumeIntegral<long>();
  const uint64_t bits = in.ConsumeIntegral<uint64_t>();
  double value;
  std::memcpy(&value, &bits, sizeof value);
  const std::string text = in.ConsumeRemainingBytesAsString();

  ConvertStrToIntlStr(text, flags, settings);
  ConvertFltToIntlStr(value, decimals, flags, settings);
  ConvertIntlStrToStr(text, settings);
  ConvertIntlStrToFlt(text, settings);
  ValidateIntlStr(text, settings);
  CheckCutOut(text, settings.thousandSep);
  return 0;
}
