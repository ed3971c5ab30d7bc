#include "common/version_compare.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

namespace qvx {
namespace {

// "[field]position" for each call, until the position goes negative or stops.
std::string Walk(const std::string& text, int position) {
  std::string out;
  for (int calls = 0, before = INT_MIN; calls < 6 && position >= 0 && position != before; ++calls) {
    before = position;
    const std::string field = NextVersionField(text, position);
    out += "[" + field + "]" + std::to_string(position);
  }
  return out;
}

TEST(NextVersionField, SplitsAtEveryNonDigit) {
  const struct { const char* text; int start; const char* walk; } cases[] = {
      {"4, 2, 5, 0", 0, "[4]2[ 2]5[ 5]8[ 0]-1"},  // blanks stay in the field
      {"1\t2\xE9" "3", 0, "[1]2[2]4[3]-1"},        // tabs and high bytes separate
      {"1.", 0, "[1]2[]2"},                        // the separator was the last character
      {"4.2.5.0", 7, "[]7"},                       // at the end: an empty field, the position stays
  };
  for (const auto& c : cases) EXPECT_EQ(c.walk, Walk(c.text, c.start)) << c.text << " from " << c.start;
}

TEST(CompareVersions, ComparesFourFields) {
  const struct { const char* a; const char* b; int sign; } cases[] = {
      {"4.2.5.0", "4.2.10.0", -1},           // numbers, not texts
      {"4.2.5", "4.2.5.0", 0},               // a missing field counts as 0
      {"4, 2, 5, 0", "4.2.5.0", 0},
      {"4.2.5.1", "4.2.5.0", 1},             // the fourth field counts
      {"4.2.5.0.7", "4.2.5.0.1", 0},         // the fifth does not
      {"4.1 2.5", "4.1.5", 0},               // a blank stays in the field and ends its number
      {"2147483646", "2147483647", -1},
      {"2147483648.5", "2147483647.5", 0},   // both saturate at the largest int
      {"99999999999999999999", "2147483647", 0},
  };
  auto sign = [](int value) { return (value > 0) - (value < 0); };
  for (const auto& c : cases) {
    EXPECT_EQ(c.sign, sign(CompareVersions(c.a, c.b))) << c.a << " vs " << c.b;
    EXPECT_EQ(-c.sign, sign(CompareVersions(c.b, c.a))) << c.b << " vs " << c.a;
  }
}

}  // namespace
}  // namespace qvx
