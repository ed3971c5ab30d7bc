// The control as hosts use it: created through COM from its registration and
// called through IDispatch by name, under regional settings set the way a
// user sets them. The shared update switch is checked on the linked copy of
// the module's code, whose process state this program can see.
#include <windows.h>
#include <ocidl.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "control/intl_ctrl.h"
#include "control/intl_ids.h"
#include "control/process_state.h"
#include "framework/module_state.h"
#include "test_support.h"

namespace {

using qvx::fw::com_ptr;
using qvxtest::CallByName;
using qvxtest::CallText;
using qvxtest::ComScope;
using qvxtest::NumberFormatSettings;
using qvxtest::ScopedNumberSettings;
using qvxtest::Variant;

// US English with a leading zero switched off and Indian-style grouping
// (only the first group size counts).
const NumberFormatSettings kEnglishNoLeadingZero = {".", ",", "-", "3;2;0", "2", "0"};
// Spanish digits with a group size below one: nothing is grouped.
const NumberFormatSettings kNoGrouping = {",", ".", "-", "0;0", "2", "1"};
// Groups of four, an apostrophe as separator and three decimals.
const NumberFormatSettings kFourDigitGroups = {".", "'", "-", "4;0", "3", "1"};

// One call: text to text (ConvertStrToIntlStr) or number to text (ConvertFltToIntlStr).
struct Conversion {
  const wchar_t* text;  // nullptr: a number conversion
  double value;
  long decimals;
  long flags;
  const wchar_t* expected;
};

Conversion Str(const wchar_t* text, long flags, const wchar_t* expected) { return {text, 0, 0, flags, expected}; }
Conversion Flt(double value, long decimals, long flags, const wchar_t* expected) {
  return {nullptr, value, decimals, flags, expected};
}

std::wstring Convert(IDispatch* control, const Conversion& c) {
  Variant flags(c.flags);
  if (c.text != nullptr) {
    Variant text(c.text);
    return CallText(control, L"ConvertStrToIntlStr", {text.get(), flags.get()});
  }
  Variant value(c.value), decimals(c.decimals);
  return CallText(control, L"ConvertFltToIntlStr", {value.get(), decimals.get(), flags.get()});
}

std::string Describe(const Conversion& c) {
  ::testing::Message m;
  if (c.text) m << "ConvertStrToIntlStr(" << ::testing::PrintToString(std::wstring(c.text)) << ", " << c.flags << ")";
  else m << "ConvertFltToIntlStr(" << c.value << ", " << c.decimals << ", " << c.flags << ")";
  return m.GetString();
}

struct RegionalCase {
  const char* label;
  const NumberFormatSettings* settings;
  std::vector<Conversion> conversions;
};

class ConversionTest : public ::testing::TestWithParam<RegionalCase> {
 protected:
  ComScope com_;
};

TEST_P(ConversionTest, ConvertsUnderTheUsersRegionalSettings) {
  const RegionalCase& rc = GetParam();
  ScopedNumberSettings settings(*rc.settings);
  com_ptr<IDispatch> control = qvxtest::CreateControl();
  ASSERT_TRUE(control);
  for (const Conversion& c : rc.conversions) {
    SCOPED_TRACE(Describe(c));
    EXPECT_EQ(std::wstring(c.expected), Convert(control.get(), c));
  }
}

const RegionalCase kRegionalCases[] = {
    {"Spanish",
     &qvxtest::kSpanish,
     {
         Str(L"1234567.891", 1, L"1.234.567,891"),
         Str(L"1234567.891", 0, L"1234567,891"),
         Str(L"-1234.5", 3, L"-1.234,5"),
         Str(L"123", 1, L"123"),
         Str(L"1234", 1, L"1.234"),
         Str(L"1234", 2, L"1234"),
         Str(L"1234", 7, L"1234"),  // an unknown flag groups nothing
         Str(L"", 1, L""),
         Str(L"-", 1, L"-"),
         Str(L".5", 1, L",5"),
         Str(L"5.", 1, L"5"),
         Str(L".", 1, L"."),
         Str(L"007.50", 1, L"007,50"),  // leading zero shown: nothing removed
         Str(L"1a2b3c4", 1, L"1.a2b.3c4"),  // every character counts toward a group
         Str(L"abc", 1, L"abc"),
         Flt(1234.5, 0, 1, L"1.234,50"),
         Flt(1234.5, 0, 3, L"1.235"),
         Flt(-1234.5, 0, 0, L"-1234,50"),
         Flt(-0.001, 2, 2, L"0,00"),
         Flt(1.005, 2, 2, L"1,01"),
         Flt(0.125, 2, 2, L"0,13"),
         Flt(2.5, 0, 2, L"3"),
         Flt(-2.5, 0, 2, L"-3"),
         Flt(1234567.891, 2, 1, L"1.234.567,89"),
         Flt(1234.5678, 3, 1, L"1.234,568"),
         Flt(0.5, 0, 0, L"0,50"),
     }},
    {"English without leading zero",
     &kEnglishNoLeadingZero,
     {
         Str(L"1234567.891", 1, L"1,234,567.891"),
         Str(L"0.25", 1, L".25"),
         Str(L"0", 1, L""),
         Str(L"007.50", 0, L"7.50"),
         Str(L"-0.5", 1, L"-.5"),
         Str(L"100.5", 1, L"100.5"),  // zeros after the first digit stay
         Flt(0.25, 2, 2, L".25"),
         Flt(0.0, 2, 2, L".00"),
         Flt(1234.5, 0, 1, L"1,234.50"),
         Flt(-0.001, 2, 2, L".00"),
     }},
    {"no grouping",
     &kNoGrouping,
     {
         Str(L"1234567.891", 1, L"1234567,891"),
         Flt(1234567.891, 2, 3, L"1234567,89"),
     }},
    {"groups of four",
     &kFourDigitGroups,
     {
         Str(L"12345678.9", 1, L"1234'5678.9"),
         Str(L"1234", 3, L"1234"),
         Flt(12345.6, 0, 1, L"1'2345.600"),
         Flt(12345.6, 1, 3, L"1'2345.6"),
     }},
};

INSTANTIATE_TEST_SUITE_P(Regional, ConversionTest, ::testing::ValuesIn(kRegionalCases),
                         [](const ::testing::TestParamInfo<RegionalCase>& info) {
                           std::string name;
                           for (const char* p = info.param.label; *p; ++p)
                             if (isalnum(static_cast<unsigned char>(*p))) name += *p;
                           return name;
                         });

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    control_ = qvxtest::CreateControl();
    ASSERT_TRUE(control_);
  }
  ComScope com_;
  com_ptr<IDispatch> control_;
};

TEST_F(ControlTest, MultiCharacterNegativeSign) {
  char saved[16] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SNEGATIVESIGN, saved, sizeof(saved));
  if (!::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SNEGATIVESIGN, "~-")) {
    GTEST_SKIP() << "the system does not accept a negative sign of two characters";
  }
  ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SNEGATIVESIGN, saved);

  const NumberFormatSettings twoCharSign = {",", ".", "~-", "3;0", "2", "1"};
  ScopedNumberSettings settings(twoCharSign);
  const Conversion cases[] = {
      Str(L"-1234.5", 3, L"~-1.234,5"),
      Str(L"-", 1, L"~-"),
      Str(L"--5", 1, L"~--5"),  // only the first character is a sign
      Flt(-2.5, 0, 2, L"~-3"),
      Flt(-0.001, 2, 2, L"0,00"),
  };
  for (const Conversion& c : cases) {
    SCOPED_TRACE(Describe(c));
    EXPECT_EQ(std::wstring(c.expected), Convert(control_.get(), c));
  }
}

Variant I2(short n) {
  Variant v;
  V_VT(v.get()) = VT_I2;
  V_I2(v.get()) = n;
  return v;
}

Variant NullBstr() {
  Variant v;
  V_VT(v.get()) = VT_BSTR;
  V_BSTR(v.get()) = nullptr;
  return v;
}

template <typename... T>
std::vector<Variant> Args(T&&... values) {
  std::vector<Variant> args;
  (args.push_back(std::forward<T>(values)), ...);
  return args;
}

TEST_F(ControlTest, ArgumentsAsClientsPassThem) {
  ScopedNumberSettings settings(qvxtest::kSpanish);
  const struct {
    const char* label;
    const wchar_t* method;
    std::function<std::vector<Variant>()> args;
    const wchar_t* expected;
  } cases[] = {
      {"NULL BSTR", L"ConvertStrToIntlStr", [] { return Args(NullBstr(), Variant(1L)); }, L""},
      {"VBScript literal flags (VT_I2)", L"ConvertStrToIntlStr", [] { return Args(Variant(L"1234.5"), I2(1)); },
       L"1.234,5"},
      {"a double where text is expected: plain form with a point", L"ConvertStrToIntlStr",
       [] { return Args(Variant(1234.5), Variant(1L)); }, L"1.234,5"},
      {"plain text where a double is expected", L"ConvertFltToIntlStr",
       [] { return Args(Variant(L"1234.5"), Variant(0L), Variant(1L)); }, L"1.234,50"},
      {"VBScript literals for every number", L"ConvertFltToIntlStr", [] { return Args(I2(5), I2(0), I2(2)); },
       L"5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<Variant> args = c.args();
    std::vector<VARIANT*> pointers;
    for (Variant& v : args) pointers.push_back(v.get());
    EXPECT_EQ(std::wstring(c.expected), CallText(control_.get(), c.method, pointers));
  }
}

TEST_F(ControlTest, WrongCallsFailWithTheirAutomationErrors) {
  Variant word(L"uno"), decimals(0L), flags(1L);
  Variant result;
  UINT argErr = 99;
  EXPECT_EQ(DISP_E_TYPEMISMATCH,
            CallByName(control_.get(), L"ConvertFltToIntlStr", {word.get(), decimals.get(), flags.get()},
                       result.get(), &argErr));
  EXPECT_EQ(2u, argErr) << "fVal is the last of three in Invoke's array";
  EXPECT_EQ(VT_EMPTY, V_VT(result.get()));

  Variant text(L"1");
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, CallByName(control_.get(), L"ConvertStrToIntlStr", {text.get()}, result.get()));
  EXPECT_EQ(VT_EMPTY, V_VT(result.get()));
}

TEST_F(ControlTest, RegionalChangeIsSeenByTheNextCall) {
  ScopedNumberSettings spanish(qvxtest::kSpanish);
  const Conversion grouped = Str(L"1234.5", 1, nullptr);
  EXPECT_EQ(L"1.234,5", Convert(control_.get(), grouped));
  {
    ScopedNumberSettings english(kEnglishNoLeadingZero);
    EXPECT_EQ(L"1,234.5", Convert(control_.get(), grouped));
  }
  EXPECT_EQ(L"1.234,5", Convert(control_.get(), grouped));
  const Conversion decimals = Flt(1.5, 0, 0, nullptr);
  EXPECT_EQ(L"1,50", Convert(control_.get(), decimals));
  {
    ScopedNumberSettings fourDigits(kFourDigitGroups);
    EXPECT_EQ(L"1.500", Convert(control_.get(), decimals));
  }
}

TEST_F(ControlTest, SpanishTextPassesThroughTheAnsiCodePage) {
  ScopedNumberSettings spanish(qvxtest::kSpanish);
  const Conversion cases[] = {
      Str(L"ñ5", 1, L"ñ5"),
      Str(L"ñ1234.5", 1, L"ñ1.234,5"),  // ñ is one character of the integer part
      Str(L"-áé.€", 0, L"-áé,€"),
  };
  for (const Conversion& c : cases) {
    SCOPED_TRACE(Describe(c));
    EXPECT_EQ(std::wstring(c.expected), Convert(control_.get(), c));
  }
}

TEST_F(ControlTest, MethodsNotServedYetAreUnknownNames) {
  for (const std::wstring& name : qvxtest::NotYetServedMethods()) {
    SCOPED_TRACE(::testing::PrintToString(name));
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = 12345;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, control_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);
  }
}

TEST_F(ControlTest, ServedMethodsHaveTheirFixedDispids) {
  const struct {
    const wchar_t* name;
    DISPID id;
  } cases[] = {
      {L"ConvertStrToIntlStr", 3},
      {L"convertfltTOintlstr", 4},
      {L"ConvertIntlStrToStr", 5},
      {L"ConvertIntlStrToFlt", 6},
      {L"ValidateIntlStr", 7},
      {L"SetIntlKeyDec", 8},
      {L"SETAUTOUPDATEOPTION", 14},
      {L"VerifyCtrlVersion", 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.name)));
    LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
    DISPID id = 12345;
    EXPECT_EQ(S_OK, control_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
    EXPECT_EQ(c.id, id);
  }
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"ConvertStrToIntlStr")};
  DISPID id = 12345;
  EXPECT_EQ(DISP_E_UNKNOWNINTERFACE, control_->GetIDsOfNames(qvx::DIID_DQVXIntl, names, 1, LOCALE_USER_DEFAULT, &id));
}

TEST_F(ControlTest, TypeInformationOfTheDispatchInterface) {
  UINT count = 0;
  ASSERT_EQ(S_OK, control_->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);

  com_ptr<ITypeInfo> info;
  ASSERT_EQ(S_OK, control_->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
  ASSERT_TRUE(info);
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(qvx::DIID_DQVXIntl, attr->guid));
  EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
  info->ReleaseTypeAttr(attr);

  ITypeInfo* none = reinterpret_cast<ITypeInfo*>(0x1234);
  EXPECT_EQ(DISP_E_BADINDEX, control_->GetTypeInfo(1, LOCALE_USER_DEFAULT, &none));
  EXPECT_EQ(nullptr, none);
  EXPECT_EQ(E_POINTER, control_->GetTypeInfo(0, LOCALE_USER_DEFAULT, nullptr));
  EXPECT_EQ(E_POINTER, control_->GetTypeInfoCount(nullptr));
}

TEST_F(ControlTest, ClassInformation) {
  com_ptr<IProvideClassInfo2> classInfo;
  ASSERT_EQ(S_OK, control_->QueryInterface(IID_IProvideClassInfo2, classInfo.put_void()));
  GUID source = {};
  ASSERT_EQ(S_OK, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
  EXPECT_TRUE(IsEqualGUID(qvx::DIID_DQVXIntlEvents, source));

  GUID untouched = qvx::LIBID_QVXINTLLib;
  EXPECT_EQ(E_INVALIDARG, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID + 1, &untouched));
  EXPECT_TRUE(IsEqualGUID(qvx::LIBID_QVXINTLLib, untouched));
  EXPECT_EQ(E_POINTER, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr));

  com_ptr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, classInfo->GetClassInfo(coclass.put()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(qvx::CLSID_QVXIntl, attr->guid));
  EXPECT_EQ(TKIND_COCLASS, attr->typekind);
  coclass->ReleaseTypeAttr(attr);
}

// The update switch and the live-control count belong to the process; they
// are read here from this program's linked copy of the module's code.
TEST(ProcessStateTest, ControlsShareTheUpdateSwitchAndAreCounted) {
  ComScope com;
  qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
  const int liveBefore = qvx::Process().liveControls;

  com_ptr<IDispatch> first, second;
  ASSERT_EQ(S_OK, qvx::CQVXIntlCtrl::CreateInstance(IID_IDispatch, first.put_void()));
  EXPECT_EQ(liveBefore + 1, qvx::Process().liveControls);
  ASSERT_EQ(S_OK, qvx::CQVXIntlCtrl::CreateInstance(IID_IDispatch, second.put_void()));
  EXPECT_EQ(liveBefore + 2, qvx::Process().liveControls);

  Variant off = Variant::Bool(false);
  Variant result;
  ASSERT_EQ(S_OK, CallByName(first.get(), L"SetAutoUpdateOption", {off.get()}, result.get()));
  EXPECT_EQ(0, qvx::Process().autoUpdateSwitch);
  EXPECT_EQ(VT_EMPTY, V_VT(result.get()));

  Variant on = Variant::Bool(true);
  ASSERT_EQ(S_OK, CallByName(second.get(), L"SetAutoUpdateOption", {on.get()}, nullptr));
  EXPECT_EQ(-1, qvx::Process().autoUpdateSwitch) << "an Automation true is stored as it came";

  // A script's literal 0 switches it off again, whichever control it goes to.
  Variant zero = I2(0);
  ASSERT_EQ(S_OK, CallByName(second.get(), L"SetAutoUpdateOption", {zero.get()}, nullptr));
  EXPECT_EQ(0, qvx::Process().autoUpdateSwitch);
  ASSERT_EQ(S_OK, CallByName(first.get(), L"SetAutoUpdateOption", {on.get()}, nullptr));
  EXPECT_EQ(-1, qvx::Process().autoUpdateSwitch);

  first.reset();
  EXPECT_EQ(liveBefore + 1, qvx::Process().liveControls);
  second.reset();
  EXPECT_EQ(liveBefore, qvx::Process().liveControls);
}

}  // namespace
