#include "common/version_compare.h"

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace qvx {
namespace {

// Every field NextVersionField hands out from position 0 until it returns
// an empty field with position -1, and the positions it left behind.
struct Walk {
  std::vector<std::string> fields;
  std::vector<int> positions;
};

Walk WalkFields(const std::string& text) {
  Walk walk;
  int position = 0;
  for (int guard = 0; guard < 100 && position >= 0; ++guard) {
    walk.fields.push_back(NextVersionField(text, position));
    walk.positions.push_back(position);
  }
  return walk;
}

TEST(NextVersionField, SplitsAtEveryNonDigit) {
  const struct {
    const char* text;
    std::vector<std::string> fields;
    std::vector<int> positions;
  } cases[] = {
      {"4.2.5.0", {"4", "2", "5", "0"}, {2, 4, 6, -1}},
      {"4, 2, 5, 0", {"4", " 2", " 5", " 0"}, {2, 5, 8, -1}},
      {"4.2b.1", {"4", "2", "", "1"}, {2, 4, 5, -1}},
      {"10.20", {"10", "20"}, {3, -1}},
      {"7", {"7"}, {-1}},
      {"1..2", {"1", "", "2"}, {2, 3, -1}},
      {"1.", {"1"}, {2}},  // the separator was the last character
      {"-1", {"", "1"}, {1, -1}},
      {"1\t2", {"1", "2"}, {2, -1}},  // only the blank stays a blank
      {"3\xE9" "4", {"3", "4"}, {2, -1}},  // a character with the high bit set separates
      {"v 1", {"", " 1"}, {1, -1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Walk walk = WalkFields(c.text);
    // A walk that stops at a position inside the text has one more field to
    // give; the table lists the fields up to that point.
    EXPECT_EQ(c.fields, std::vector<std::string>(walk.fields.begin(), walk.fields.begin() + c.fields.size()));
    EXPECT_EQ(c.positions, std::vector<int>(walk.positions.begin(), walk.positions.begin() + c.positions.size()));
  }
}

TEST(NextVersionField, PositionOutsideTheTextGivesAnEmptyField) {
  const struct {
    const char* text;
    int position;
  } cases[] = {{"4.2.5.0", -1}, {"4.2.5.0", -7}, {"4.2.5.0", 7}, {"4.2.5.0", 100}, {"", 0}, {"1.", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " at " + std::to_string(c.position));
    int position = c.position;
    EXPECT_EQ("", NextVersionField(c.text, position));
    EXPECT_EQ(c.position, position) << "the position stays";
  }
}

TEST(NextVersionField, AfterTheLastFieldOnlyEmptyFields) {
  int position = 0;
  for (const char* expected : {"4", "2", "5", "0", "", "", ""}) EXPECT_EQ(expected, NextVersionField("4.2.5.0", position));
  EXPECT_EQ(-1, position);
}

TEST(NextVersionField, LeavesTheCallersTextAlone) {
  const std::string text = "4,2 b.1";
  int position = 0;
  NextVersionField(text, position);
  EXPECT_EQ("4,2 b.1", text);
}

TEST(VersionFieldValue, ReadsLikeAtoiWithoutOverflow) {
  const struct {
    const char* field;
    int value;
  } cases[] = {
      {"", 0},          {"0", 0},        {"12", 12},         {"  7", 7},          {"007", 7},
      {"1 2", 1},       {" ", 0},        {"2147483647", INT_MAX}, {"2147483648", INT_MAX},
      {"99999999999999999999", INT_MAX}, {"214748364", 214748364}, {"2147483646", 2147483646},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value, VersionFieldValue(c.field)) << '"' << c.field << '"';
}

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(CompareVersions, ComparesFourFields) {
  const struct {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"4.2.5.0", "4.2.10.0", -1},
      {"4.2.5", "4.2.5.0", 0},
      {"5", "4.9.9.9", 1},
      {"4, 2, 5, 0", "4.2.5.0", 0},
      {"4.2b.1", "4.2.0.1", 0},
      {"4.2.5.0.7", "4.2.5.0", 0},  // the fifth field is not compared
      {"4.2.5.0.7", "4.2.5.0.1", 0},
      {"4.2.5.1", "4.2.5.0", 1},
      {"4.2.5.0", "4.2.5.1", -1},
      {"1.2", "1.2.3.4", -1},
      {"", "", 0},
      {"", "0.0.0.0", 0},
      {"", "0.0.0.1", -1},
      {"abc", "0", 0},
      {"10.0", "9.99", 1},
      {"4.2.5.0", "4.2.5.0", 0},
      {"99999999999.5", "2147483647.5", 0},  // both saturate at the largest int
      {"2147483647", "0", 1},
      {"0", "2147483647", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(c.sign, Sign(CompareVersions(c.a, c.b)));
    EXPECT_EQ(-c.sign, Sign(CompareVersions(c.b, c.a))) << "the other way round";
  }
}

TEST(CompareVersions, ResultIsTheFirstDifferingFieldsDifference) {
  EXPECT_EQ(-5, CompareVersions("4.2.5.0", "4.2.10.0"));
  EXPECT_EQ(1, CompareVersions("5", "4.9.9.9"));
  EXPECT_EQ(3, CompareVersions("1.1.1.4", "1.1.1.1"));
  EXPECT_EQ(INT_MAX, CompareVersions("2147483647", "0"));
  EXPECT_EQ(-INT_MAX, CompareVersions("0", "2147483647"));
}

}  // namespace
}  // namespace qvx
