// Regional text back to plain text, to a double and to a verdict, through the
// registered control by name, under settings set the way a user sets them.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

using qvx::fw::com_ptr;
using qvxtest::CallByName;
using qvxtest::NumberFormatSettings;
using qvxtest::ScopedNumberSettings;
using qvxtest::Variant;

// A blank as thousands separator and a sign of two characters.
const NumberFormatSettings kBlankGroups = {",", " ", "--", nullptr, nullptr, nullptr};

struct ParseCase {
  const NumberFormatSettings* settings;
  const wchar_t* method;
  const wchar_t* input;
  VARTYPE type;            // of the result
  const wchar_t* text;     // VT_BSTR
  double value;            // VT_R8
  bool valid;              // VT_BOOL
};

ParseCase Str(const NumberFormatSettings& s, const wchar_t* input, const wchar_t* expected) {
  return {&s, L"ConvertIntlStrToStr", input, VT_BSTR, expected, 0, false};
}
ParseCase Flt(const NumberFormatSettings& s, const wchar_t* input, double expected) {
  return {&s, L"ConvertIntlStrToFlt", input, VT_R8, nullptr, expected, false};
}
ParseCase Valid(const NumberFormatSettings& s, const wchar_t* input, bool expected) {
  return {&s, L"ValidateIntlStr", input, VT_BOOL, nullptr, 0, expected};
}

TEST(ParseTest, RegionalTextThroughTheControl) {
  qvxtest::ComScope com;
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  ASSERT_TRUE(control);
  const NumberFormatSettings& es = qvxtest::kSpanish;
  const ParseCase cases[] = {
      Str(es, L"-1.234.567,89", L"-1234567.89"),
      Str(es, L"1,2,3", L"1.2,3"),
      Str(es, L"12abc", L"12abc"),
      Str(es, L"", L""),
      Str(kBlankGroups, L"--1 234 567,5", L"-1234567.5"),
      Flt(es, L"-1.234,5", -1234.5),
      Flt(es, L"", 0.0),
      Flt(es, L"12,5xyz", 12.5),
      Flt(kBlankGroups, L"--2,5", -2.5),
      Valid(es, L"", true),
      Valid(es, L"1.234,5", true),
      Valid(es, L",5", true),
      Valid(es, L"-0", false),
      Valid(es, L"1E5", false),
      Valid(es, L"1e+5", true),
      Valid(es, L"1,2,3", false),
      Valid(es, L"5-", true),
      Valid(es, L"1.234,5\u00e9", false),  // a letter outside ASCII
      Valid(kBlankGroups, L"1 234,5", true),
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << ::testing::PrintToString(std::wstring(c.method)) << " of "
                                      << ::testing::PrintToString(std::wstring(c.input)));
    ScopedNumberSettings settings(*c.settings);
    Variant input(c.input), result;
    ASSERT_EQ(S_OK, CallByName(control.get(), c.method, {input.get()}, result.get()));
    ASSERT_EQ(c.type, V_VT(result.get()));
    switch (c.type) {
      case VT_BSTR:
        EXPECT_EQ(std::wstring(c.text), V_BSTR(result.get()));
        break;
      case VT_R8:
        EXPECT_EQ(c.value, V_R8(result.get()));
        break;
      default:
        EXPECT_EQ(c.valid ? VARIANT_TRUE : VARIANT_FALSE, V_BOOL(result.get()));
    }
  }
}

}  // namespace
