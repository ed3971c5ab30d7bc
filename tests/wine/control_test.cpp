// The control as hosts use it: created through COM from its registration and
// called through IDispatch by name under regional settings set the way a user
// sets them; what its type information tells a client against what Invoke
// serves; the process-wide state on the linked copy of the module's code.
#include <ocidl.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "control/ctrl_version.h"
#include "control/intl_ctrl.h"
#include "control/intl_ids.h"
#include "control/process_state.h"
#include "framework/ansi.h"
#include "framework/module_state.h"
#include "framework/registration.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

using qvx::fw::DispatchEntry;
using qvx::fw::ParamType;
using qvx::fw::ResultType;

// In the type library, not served yet: a method leaves this list in the
// change that adds it to the dispatch table.
const std::vector<std::wstring> kNotServedYet = {L"SendActRequest"};

std::string Describe(const VARIANT& v) {
  char text[64];
  switch (V_VT(&v)) {
    case VT_BSTR: return "T:" + qvx::fw::AnsiFromWide(V_BSTR(&v), ::SysStringLen(V_BSTR(&v)));
    case VT_R8: std::snprintf(text, sizeof text, "R:%.17g", V_R8(&v)); return text;
    case VT_BOOL: return "B:" + std::to_string(V_BOOL(&v));
    default: return "vt " + std::to_string(V_VT(&v));
  }
}

const NumberSettings kEnglishNoLeadingZero = {".", ",", "-", "3;2;0", "2", "0"};
const NumberSettings kFourDigitGroups = {".", "'", "~-", "4;0", "3", "1"};
const NumberSettings kBlankGroups = {",", " ", "--", "3;0", "2", "1"};

struct Call {
  const NumberSettings* settings;
  const wchar_t* method;
  std::function<std::vector<Var>()> args;
  const char* result;  // Describe() of the result, or the failure's HRESULT as "hr 0x..."
};

template <typename... T>
std::vector<Var> Args(T&&... values) {
  std::vector<Var> args;
  (args.emplace_back(std::forward<T>(values)), ...);
  return args;
}

TEST(ControlTest, CallsByNameUnderTheUsersSettings) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  const NumberSettings& es = kSpanish;
  const Call calls[] = {
      {&es, L"ConvertStrToIntlStr", [] { return Args(L"1234567.891", 1L); }, "T:1.234.567,891"},
      {&es, L"ConvertStrToIntlStr", [] { return Args(L"ñ1234.5", short(1)); }, "T:ñ1.234,5"},
      {&es, L"ConvertStrToIntlStr", [] { return Args(1234.5, 1L); }, "T:1.234,5"},  // a double: plain, with a point
      {&es, L"ConvertFltToIntlStr", [] { return Args(-1234.5, 0L, 1L); }, "T:-1.234,50"},
      {&es, L"ConvertFltToIntlStr", [] { return Args(L"0.5", short(0), short(0)); }, "T:0,50"},
      {&es, L"ConvertFltToIntlStr", [] { return Args(1.005, 2L, 2L); }, "T:1,01"},
      {&kEnglishNoLeadingZero, L"ConvertStrToIntlStr", [] { return Args(L"-0.25", 1L); }, "T:-.25"},
      {&kEnglishNoLeadingZero, L"ConvertFltToIntlStr", [] { return Args(1234567.5, 0L, 1L); }, "T:1,234,567.50"},
      {&kFourDigitGroups, L"ConvertFltToIntlStr", [] { return Args(-12345.6, 0L, 1L); }, "T:~-1'2345.600"},
      {&es, L"ConvertIntlStrToStr", [] { return Args(L"-1.234.567,89"); }, "T:-1234567.89"},
      {&kBlankGroups, L"ConvertIntlStrToStr", [] { return Args(L"--1 234 567,5"); }, "T:-1234567.5"},
      {&es, L"ConvertIntlStrToFlt", [] { return Args(L"-1.234,5"); }, "R:-1234.5"},
      {&kFourDigitGroups, L"ConvertIntlStrToFlt", [] { return Args(L"~-1'234.5x"); }, "R:-1234.5"},
      {&es, L"ValidateIntlStr", [] { return Args(L"1.234,5"); }, "B:-1"},
      {&es, L"ValidateIntlStr", [] { return Args(L"1,2,3"); }, "B:0"},
      {&es, L"ValidateIntlStr", [] { return Args(L"1.234,5\u00e9"); }, "B:0"},
      {&es, L"ConvertFltToIntlStr", [] { return Args(L"uno", 0L, 1L); }, "hr 0x80020005 arg 2"},
      {&es, L"ConvertStrToIntlStr", [] { return Args(L"1"); }, "hr 0x8002000e arg 0"},
  };
  for (const Call& c : calls) {
    ScopedNumberSettings settings(*c.settings);
    std::vector<Var> args = c.args();
    std::vector<VARIANT> raw;
    for (Var& a : args) raw.push_back(a.v);
    Var result;
    UINT argErr = 0;
    const HRESULT hr = CallByName(control.get(), c.method, raw, &result.v, &argErr);
    char failure[64];
    std::snprintf(failure, sizeof failure, "hr 0x%08lx arg %u", static_cast<unsigned long>(hr), argErr);
    EXPECT_EQ(c.result, hr == S_OK ? Describe(result.v) : std::string(failure))
        << ::testing::PrintToString(std::wstring(c.method)) << " " << Describe(raw[0]);
  }
}

TEST(ControlTest, VerifyCtrlVersionAnswersFromTheRegisteredFile) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  // The out flag as C++ passes it (VT_BOOL by reference) and as a script does.
  auto verify = [&](const wchar_t* minimum, bool asVariant) {
    Var text(minimum), inner = Var::Bool(true), result;
    VARIANT_BOOL flag = VARIANT_TRUE;
    VARIANT out;
    V_VT(&out) = asVariant ? VT_BYREF | VT_VARIANT : VT_BYREF | VT_BOOL;
    if (asVariant) V_VARIANTREF(&out) = &inner.v;
    else V_BOOLREF(&out) = &flag;
    const HRESULT hr = CallByName(control.get(), L"VerifyCtrlVersion", {text.v, out}, &result.v);
    const VARIANT_BOOL got = asVariant ? V_BOOL(&inner.v) : flag;
    return (hr == S_OK ? Describe(result.v) : "failed") + (got ? " at least" : " older");
  };
  const struct {
    const wchar_t* minimum;
    const char* answer;
  } rows[] = {
      {L"4.2.5.0", "T:4.2.5.0 at least"}, {L"4.2.5.1", "T:4.2.5.0 older"},  {L"4.2.4.99", "T:4.2.5.0 at least"},
      {L"4, 2, 5, 0", "T:4.2.5.0 at least"}, {L"4.3", "T:4.2.5.0 older"}, {L"", "T:4.2.5.0 at least"},
  };
  for (const auto& row : rows)
    for (bool asVariant : {false, true}) EXPECT_EQ(row.answer, verify(row.minimum, asVariant)) << asVariant;
  Var text(L"1.0"), result;
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, CallByName(control.get(), L"VerifyCtrlVersion", {text.v}, &result.v));

  // The file the registration names is the one read.
  std::string registered;
  ASSERT_TRUE(qvx::RegisteredModulePath(registered));
  const std::string server = "CLSID\\" + qvx::fw::GuidText(qvx::CLSID_QVXIntl) + "\\InprocServer32";
  auto point = [&](const std::string& path) {
    ::RegSetKeyValueA(HKEY_CLASSES_ROOT, server.c_str(), nullptr, REG_SZ, path.c_str(), path.size() + 1);
  };
  const struct {
    std::string path;
    const char *minimum, *version;
    bool atLeast;
  } files[] = {
      {TestFile("version_commas.dll"), "4.2.6", "4, 2, 5, 0", false},
      {TestFile("version_normal.dll"), "1.2", "1.2.3.4", true},
      {TestFile("version_none.dll"), "", "", false},
      {TestFile("version_missing.dll"), "", "", false},
  };
  for (const auto& f : files) {
    point(f.path);
    bool atLeast = !f.atLeast;
    EXPECT_EQ(f.version, qvx::VerifyCtrlVersion(f.minimum, atLeast)) << f.path;
    EXPECT_EQ(f.atLeast, atLeast) << f.path;
  }
  point(registered);
  // Unregistered (the module's own unregistration, undone at once): nothing.
  auto exported = [](const char* name) {
    auto f = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("QuorvexIntl.ocx"), name)));
    return f ? f() : E_NOTIMPL;
  };
  ASSERT_EQ(S_OK, exported("DllUnregisterServer"));
  const std::string unregistered = verify(L"1.0", true);
  std::string path = "untouched";
  const bool found = qvx::RegisteredModulePath(path);
  ASSERT_EQ(S_OK, exported("DllRegisterServer"));
  EXPECT_EQ("T: older", unregistered);
  EXPECT_FALSE(found);
  EXPECT_EQ("untouched", path);
}

// What a client learns from the type information must be what Invoke serves.
TEST(ControlTest, TypeInformationAgreesWithTheDispatchTable) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  UINT count = 0;
  ASSERT_EQ(S_OK, control->GetTypeInfoCount(&count));
  EXPECT_EQ(1u, count);
  com_ptr<ITypeInfo> info;
  ASSERT_EQ(S_OK, control->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
  ITypeInfo* none = nullptr;
  EXPECT_EQ(DISP_E_BADINDEX, control->GetTypeInfo(1, LOCALE_USER_DEFAULT, &none));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(qvx::DIID_DQVXIntl, attr->guid));
  const UINT functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);

  const qvx::fw::DispatchTable& table = qvx::CQVXIntlCtrl::DispatchMap();
  size_t described = 0;
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(S_OK, info->GetFuncDesc(i, &f));
    BSTR names[8] = {};
    UINT got = 0;
    info->GetNames(f->memid, names, 8, &got);
    const std::wstring name = names[0] ? names[0] : L"";
    SCOPED_TRACE(::testing::PrintToString(name));
    const DispatchEntry* entry = table.FindByName(name.c_str());
    const bool listed = std::find(kNotServedYet.begin(), kNotServedYet.end(), name) != kNotServedYet.end();
    LPOLESTR asked[] = {names[0]};
    DISPID id = 0;
    const HRESULT byName = control->GetIDsOfNames(IID_NULL, asked, 1, LOCALE_USER_DEFAULT, &id);
    if (entry == nullptr) {
      EXPECT_TRUE(listed) << "described but neither served nor listed as not served yet";
      EXPECT_EQ(DISP_E_UNKNOWNNAME, byName);
    } else {
      ++described;
      EXPECT_FALSE(listed) << "served, yet listed as not served";
      EXPECT_EQ(S_OK, byName);
      EXPECT_EQ(entry->id, f->memid);
      EXPECT_EQ(entry->id, id);
      ASSERT_EQ(entry->params.size(), static_cast<size_t>(f->cParams));
      ASSERT_EQ(entry->params.size() + 1, got);
      size_t p = 0;
      for (const qvx::fw::DispatchParam& param : entry->params) {
        EXPECT_EQ(std::wstring(param.name), names[p + 1]);
        const TYPEDESC& t = f->lprgelemdescParam[p++].tdesc;
        const bool out = param.type == ParamType::OutText || param.type == ParamType::OutBool;
        const VARTYPE vt = out ? (t.vt == VT_PTR ? t.lptdesc->vt : VARTYPE(VT_EMPTY)) : t.vt;
        const VARTYPE expected[] = {VT_BSTR, VT_I4, VT_R8, VT_BOOL, VT_BSTR, VT_BOOL};
        // The flags parameters are the enumeration, which travels as a long.
        EXPECT_TRUE(vt == expected[static_cast<int>(param.type)] || (vt == VT_USERDEFINED && param.type == ParamType::Long))
            << "parameter " << p << " is vt " << vt;
      }
      const VARTYPE results[] = {VT_VOID, VT_BSTR, VT_R8, VT_BOOL};
      EXPECT_EQ(results[static_cast<int>(entry->result)], f->elemdescFunc.tdesc.vt);
    }
    for (BSTR b : names) ::SysFreeString(b);
    info->ReleaseFuncDesc(f);
  }
  EXPECT_EQ(table.count, described) << "a served method is missing from the type library";
  EXPECT_EQ(table.count + kNotServedYet.size(), functions);
  // Reached by name only: served, but not described.
  for (const wchar_t* name : {L"AutoUpdate", L"AutoUpdateExt", L"AutoUpdateExt2"}) {
    LPOLESTR asked[] = {const_cast<LPOLESTR>(name)};
    MEMBERID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, info->GetIDsOfNames(asked, 1, &id));
  }

  // Containers find the control's class and its event interface.
  com_ptr<IProvideClassInfo2> classInfo;
  ASSERT_EQ(S_OK, control->QueryInterface(IID_IProvideClassInfo2, classInfo.put_void()));
  GUID source = {};
  ASSERT_EQ(S_OK, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
  EXPECT_TRUE(IsEqualGUID(qvx::DIID_DQVXIntlEvents, source));
  EXPECT_EQ(E_INVALIDARG, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID + 1, &source));
  com_ptr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, classInfo->GetClassInfo(coclass.put()));
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(qvx::CLSID_QVXIntl, attr->guid));
  EXPECT_EQ(2, attr->cImplTypes);
  coclass->ReleaseTypeAttr(attr);
  com_ptr<ITypeLib> lib;
  UINT index = 0;
  ASSERT_EQ(S_OK, coclass->GetContainingTypeLib(lib.put(), &index));
  // Hosts' constants: DEC_MINIMO 0 ... DEC_FIJO_MILES 3.
  const wchar_t* flags[] = {L"DEC_MINIMO", L"DEC_MINIMO_MILES", L"DEC_FIJO", L"DEC_FIJO_MILES"};
  for (long value = 0; value < 4; ++value) {
    ITypeInfo* found = nullptr;
    MEMBERID id = 0;
    USHORT n = 1;
    ASSERT_EQ(S_OK, lib->FindName(const_cast<LPOLESTR>(flags[value]), 0, &found, &id, &n));
    ASSERT_EQ(1, n) << ::testing::PrintToString(std::wstring(flags[value]));
    VARDESC* var = nullptr;
    UINT v = 0;
    for (; found->GetVarDesc(v, &var) == S_OK && var->memid != id; ++v) found->ReleaseVarDesc(var);
    ASSERT_NE(nullptr, var);
    EXPECT_EQ(value, V_I4(var->lpvarValue));
    found->ReleaseVarDesc(var);
    found->Release();
  }
}

// The update switch and the live-control count belong to the process; they
// are read from this program's linked copy of the module's code.
TEST(ControlTest, ControlsShareTheUpdateSwitchAndAreCounted) {
  ComScope com;
  qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
  const int before = qvx::Process().liveControls;
  com_ptr<IDispatch> first, second;
  ASSERT_EQ(S_OK, qvx::CQVXIntlCtrl::CreateInstance(IID_IDispatch, first.put_void()));
  ASSERT_EQ(S_OK, qvx::CQVXIntlCtrl::CreateInstance(IID_IDispatch, second.put_void()));
  EXPECT_EQ(before + 2, qvx::Process().liveControls);
  const struct {
    IDispatch* control;
    Var value;
    int stored;  // an Automation true is stored as it came
  } rows[] = {{first.get(), Var::Bool(false), 0}, {second.get(), Var::Bool(true), -1}, {second.get(), Var(short(0)), 0}};
  for (const auto& row : rows) {
    Var result;
    ASSERT_EQ(S_OK, CallByName(row.control, L"SetAutoUpdateOption", {row.value.v}, &result.v));
    EXPECT_EQ(row.stored, qvx::Process().autoUpdateSwitch);
    EXPECT_EQ(VT_EMPTY, V_VT(&result.v));
  }
  first.reset();
  EXPECT_EQ(before + 1, qvx::Process().liveControls);
  second.reset();
  EXPECT_EQ(before, qvx::Process().liveControls);
}

}  // namespace
}  // namespace qvxtest
