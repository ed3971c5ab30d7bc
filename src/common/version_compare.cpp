#include "common/version_compare.h"

#include <climits>

namespace qvx {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

constexpr int kComparedFields = 4;

}  // namespace

std::string NextVersionField(std::string text, int& position) {
  if (position < 0 || static_cast<size_t>(position) >= text.size()) return std::string();
  for (char& c : text)
    if (c != ' ' && !IsDigit(c)) c = '.';
  const size_t start = static_cast<size_t>(position);
  const size_t point = text.find('.', start);
  if (point == std::string::npos) {
    position = -1;
    return text.substr(start);
  }
  // A text longer than an int can count has no further field to offer.
  position = point + 1 <= static_cast<size_t>(INT_MAX) ? static_cast<int>(point + 1) : -1;
  return text.substr(start, point - start);
}

int VersionFieldValue(const std::string& field) {
  size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  int value = 0;
  for (; i < field.size() && IsDigit(field[i]); ++i) {
    const int digit = field[i] - '0';
    if (value > (INT_MAX - digit) / 10) return INT_MAX;
    value = value * 10 + digit;
  }
  return value;
}

int CompareVersions(const std::string& a, const std::string& b) {
  int positionA = 0;
  int positionB = 0;
  for (int field = 0; field < kComparedFields; ++field) {
    // Both values lie in 0..INT_MAX, so their difference cannot overflow.
    const int difference =
        VersionFieldValue(NextVersionField(a, positionA)) - VersionFieldValue(NextVersionField(b, positionB));
    if (difference != 0) return difference;
  }
  return 0;
}

}  // namespace qvx
