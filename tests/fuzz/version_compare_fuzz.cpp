// Version comparison over arbitrary texts: nothing may crash or trip a
// sanitizer (no field may overflow), the field walk must stay inside the
// text, and the comparison must be an order: a text equals itself, swapping
// the texts swaps the sign, and it is transitive.
#include <cstdint>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "common/version_compare.h"

namespace {

using qvx::CompareVersions;
using qvx::NextVersionField;

int Sign(int v) { return (v > 0) - (v < 0); }

void CheckWalk(const std::string& text) {
  int position = 0;
  for (int i = 0; i < 8; ++i) {
    const int before = position;
    const std::string field = NextVersionField(text, position);
    if (field.find_first_not_of(" 0123456789") != std::string::npos) __builtin_trap();
    if (before < 0 || static_cast<size_t>(before) >= text.size()) {
      if (!field.empty() || position != before) __builtin_trap();
      return;
    }
    if (position != -1 && (position <= before || static_cast<size_t>(position) > text.size())) __builtin_trap();
    if (text.compare(before, field.size(), field) != 0) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string a = in.ConsumeRandomLengthString(64);
  const std::string b = in.ConsumeRandomLengthString(64);
  const std::string c = in.ConsumeRemainingBytesAsString();

  CheckWalk(a);
  CheckWalk(c);
  if (CompareVersions(a, a) != 0) __builtin_trap();
  const int ab = Sign(CompareVersions(a, b));
  const int bc = Sign(CompareVersions(b, c));
  const int ac = Sign(CompareVersions(a, c));
  if (ab != -Sign(CompareVersions(b, a))) __builtin_trap();
  if (ab <= 0 && bc <= 0 && ac > 0) __builtin_trap();
  if (ab >= 0 && bc >= 0 && ac < 0) __builtin_trap();
  return 0;
}
