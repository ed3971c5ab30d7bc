// The control as hosts use it: created through COM from its registration and
// called by name under regional settings set as a user sets them; its type
// information against what Invoke serves; the process-wide state on the
// linked copy of the module's code.
#include <ocidl.h>

#include <algorithm>
#include <clocale>
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

using qvx::fw::ParamType;

// In the type library, not served yet: a method leaves this list in the
// change that adds it to the dispatch table.
const std::vector<std::wstring> kNotServedYet = {};

std::string Describe(HRESULT hr, const VARIANT& v, UINT argErr) {
  char text[64];
  if (hr != S_OK) return std::snprintf(text, sizeof text, "hr 0x%08lx arg %u", static_cast<unsigned long>(hr), argErr), text;
  switch (V_VT(&v)) {
    case VT_BSTR: return "T:" + qvx::fw::AnsiFromBstr(V_BSTR(&v));
    case VT_R8: return std::snprintf(text, sizeof text, "R:%.17g", V_R8(&v)), text;
    case VT_BOOL: return "B:" + std::to_string(V_BOOL(&v));
    default: return "vt " + std::to_string(V_VT(&v));
  }
}

// A BSTR with an embedded NUL: the text goes on after it.
Var WithNul() {
  Var v;
  V_VT(&v.v) = VT_BSTR, V_BSTR(&v.v) = ::SysAllocStringLen(L"1\0\x32", 3);
  return v;
}

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
  const NumberSettings es = kSpanish, english = {".", ",", "-", "3;2;0", "2", "0"},
                       fours = {".", "'", "~-", "4;0", "3", "1"}, blanks = {",", " ", "--", "3;0", "2", "1"};
  const struct {
    const NumberSettings* settings;
    const wchar_t* method;
    std::function<std::vector<Var>()> args;
    std::string result;
  } calls[] = {
      {&es, L"ConvertStrToIntlStr", [] { return Args(L"1234567.891", 1L); }, "T:1.234.567,891"},
      {&es, L"ConvertStrToIntlStr", [] { return Args(L"ñ1234.5", short(1)); }, "T:ñ1.234,5"},
      {&es, L"ConvertStrToIntlStr", [] { return Args(1234.5, 1L); }, "T:1.234,5"},  // a double: plain, with a point
      {&es, L"ConvertFltToIntlStr", [] { return Args(-1234.5, 0L, 1L); }, "T:-1.234,50"},
      {&es, L"convertfltTOintlstr", [] { return Args(L"0.5", short(0), short(0)); }, "T:0,50"},
      {&english, L"ConvertFltToIntlStr", [] { return Args(1234567.5, 0L, 1L); }, "T:1,234,567.50"},
      {&fours, L"ConvertFltToIntlStr", [] { return Args(-12345.6, 0L, 1L); }, "T:~-1'2345.600"},
      {&es, L"ConvertIntlStrToStr", [] { return Args(L"-1.234.567,89"); }, "T:-1234567.89"},
      {&es, L"ConvertIntlStrToStr", [] { return Args(WithNul()); }, std::string("T:1\0" "2", 5)},
      {&blanks, L"ConvertIntlStrToStr", [] { return Args(L"--1 234 567,5"); }, "T:-1234567.5"},
      {&fours, L"ConvertIntlStrToFlt", [] { return Args(L"~-1'234.5x"); }, "R:-1234.5"},
      {&es, L"ValidateIntlStr", [] { return Args(L"1.234,5"); }, "B:-1"},
      {&es, L"ConvertFltToIntlStr", [] { return Args(L"uno", 0L, 1L); }, "hr 0x80020005 arg 2"},
      {&es, L"ConvertStrToIntlStr", [] { return Args(L"1"); }, "hr 0x8002000e arg 0"},
      {&es, L"ConvertIntlStrToStr", [] { return Args(L"1", L"2"); }, "hr 0x8002000e arg 0"},
  };
  for (const auto& c : calls) {
    ScopedNumberSettings settings(*c.settings);
    std::vector<Var> args = c.args();
    std::vector<VARIANT> raw;
    for (Var& a : args) raw.push_back(a.v);
    Var result;
    UINT argErr = 0;
    const HRESULT hr = CallByName(control.get(), c.method, raw, &result.v, &argErr);
    EXPECT_EQ(c.result, Describe(hr, result.v, argErr)) << qvx::fw::AnsiFromWide(c.method, wcslen(c.method));
  }
  // A host that set a numeric locale with a comma point: msvcrt is shared with the module.
  ScopedNumberSettings settings(es);
  const char* host = nullptr;
  for (const char* name : {"Spanish_Spain.1252", "Spanish", "German_Germany.1252"})
    if (!host) host = std::setlocale(LC_NUMERIC, name);
  ASSERT_TRUE(host && *std::localeconv()->decimal_point == ',');
  Var value(1234.5), decimals(2L), flags(1L);
  EXPECT_EQ(L"1.234,50", CallText(control.get(), L"ConvertFltToIntlStr", {value.v, decimals.v, flags.v}));
  EXPECT_EQ(',', *std::localeconv()->decimal_point) << "the host's locale is left as it was";
  std::setlocale(LC_ALL, "C");
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
    return Describe(hr, result.v, 0) + " " + std::to_string(asVariant ? V_BOOL(&inner.v) : flag);
  };
  const struct {
    const wchar_t* minimum;
    const char* answer;
  } rows[] = {{L"4.2.5.0", "T:4.2.5.0 -1"}, {L"4.2.5.1", "T:4.2.5.0 0"}, {L"4, 2, 4, 99", "T:4.2.5.0 -1"},
              {L"4.3", "T:4.2.5.0 0"}};
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
    const char *file, *minimum, *answer;
  } files[] = {{"version_commas.dll", "4.2.6", "4, 2, 5, 0 0"}, {"version_normal.dll", "1.2", "1.2.3.4 1"},
               {"version_none.dll", "", " 0"}};
  for (const auto& f : files) {
    point(TestFile(f.file));
    bool atLeast = false;
    const std::string version = qvx::VerifyCtrlVersion(f.minimum, atLeast);
    EXPECT_EQ(f.answer, version + " " + std::to_string(atLeast));
  }
  point(registered);
  // Unregistered (the module's own unregistration, undone at once): nothing.
  auto exported = [](const char* name) {
    return reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("QuorvexIntl.ocx"), name)))();
  };
  ASSERT_EQ(S_OK, exported("DllUnregisterServer"));
  const std::string unregistered = verify(L"1.0", true);
  std::string path = "untouched";
  const bool found = qvx::RegisteredModulePath(path);
  ASSERT_EQ(S_OK, exported("DllRegisterServer"));
  EXPECT_EQ("T: 0", unregistered);
  EXPECT_EQ("0 untouched", std::to_string(found) + " " + path);
}

// What a client learns from the type information must be what Invoke serves.
TEST(ControlTest, TypeInformationAgreesWithTheDispatchTable) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  com_ptr<ITypeInfo> info;
  ASSERT_EQ(S_OK, control->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(qvx::DIID_DQVXIntl, attr->guid));
  const UINT functions = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  const qvx::fw::DispatchTable& table = qvx::CQVXIntlCtrl::DispatchMap();
  const size_t servedByNameOnly = 3;  // AutoUpdate, AutoUpdateExt, AutoUpdateExt2 (the last checked below)
  EXPECT_EQ(table.count - servedByNameOnly + kNotServedYet.size(), functions) << "a served method is not described";
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* f = nullptr;
    ASSERT_EQ(S_OK, info->GetFuncDesc(i, &f));
    BSTR names[8] = {};
    UINT got = 0;
    info->GetNames(f->memid, names, 8, &got);
    SCOPED_TRACE(qvx::fw::AnsiFromBstr(names[0]));
    const qvx::fw::DispatchEntry* entry = table.FindByName(names[0]);
    DISPID id = 0;
    const HRESULT byName = control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (entry == nullptr) {
      EXPECT_NE(kNotServedYet.end(), std::find(kNotServedYet.begin(), kNotServedYet.end(), names[0]));
      EXPECT_EQ(DISP_E_UNKNOWNNAME, byName);
    } else {
      EXPECT_EQ(entry->id, f->memid);
      EXPECT_EQ(entry->id, id);
      ASSERT_EQ(entry->params.size() + 1, got);
      std::wstring expected, described;
      size_t p = 0;
      for (const qvx::fw::DispatchParam& param : entry->params) {
        const TYPEDESC& t = f->lprgelemdescParam[p].tdesc;
        const bool out = param.type == ParamType::OutText || param.type == ParamType::OutBool;
        const int kinds[] = {VT_BSTR, VT_I4, VT_R8, VT_BOOL, VT_BSTR, VT_BOOL};
        // The flags are the enumeration, which travels as a long.
        const int vt = out && t.vt == VT_PTR ? t.lptdesc->vt : t.vt == VT_USERDEFINED ? int(VT_I4) : t.vt;
        expected += std::wstring(param.name) + L":" + std::to_wstring(kinds[static_cast<int>(param.type)]) + L" ";
        described += std::wstring(names[++p]) + L":" + std::to_wstring(vt) + L" ";
      }
      EXPECT_EQ(expected, described);
      const VARTYPE results[] = {VT_VOID, VT_BSTR, VT_R8, VT_BOOL};
      EXPECT_EQ(results[static_cast<int>(entry->result)], f->elemdescFunc.tdesc.vt);
      // Parameter names resolve as the type information resolves them, in any
      // case; one name that is not the method's fails the whole answer.
      std::vector<LPOLESTR> all(names, names + got);
      ::CharUpperW(all.back());
      for (int pass = 0; pass < 2; ++pass, all.push_back(const_cast<LPOLESTR>(L"nFlag"))) {
        std::vector<DISPID> ours(all.size()), typeInfo(all.size());
        const UINT n = static_cast<UINT>(all.size());
        EXPECT_EQ(info->GetIDsOfNames(all.data(), n, typeInfo.data()),
                  control->GetIDsOfNames(IID_NULL, all.data(), n, LOCALE_USER_DEFAULT, ours.data()));
        EXPECT_EQ(typeInfo, ours);
      }
    }
    for (BSTR b : names) ::SysFreeString(b);
    info->ReleaseFuncDesc(f);
  }
  // Reached by name only: served, but not described.
  LPOLESTR byNameOnly[] = {const_cast<LPOLESTR>(L"AutoUpdateExt2")};
  MEMBERID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, info->GetIDsOfNames(byNameOnly, 1, &id));
  EXPECT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, byNameOnly, 1, LOCALE_USER_DEFAULT, &id));
  EXPECT_EQ(0x1C, id);
  // Containers find the event interface and the class.
  com_ptr<IProvideClassInfo2> classInfo;
  ASSERT_EQ(S_OK, control->QueryInterface(IID_IProvideClassInfo2, classInfo.put_void()));
  GUID source = {};
  ASSERT_EQ(S_OK, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
  EXPECT_TRUE(IsEqualGUID(qvx::DIID_DQVXIntlEvents, source));
  com_ptr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, classInfo->GetClassInfo(coclass.put()));
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(qvx::CLSID_QVXIntl, attr->guid));
  coclass->ReleaseTypeAttr(attr);
}

// The update switch and the live-control count belong to the process.
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
    ASSERT_EQ(S_OK, CallByName(row.control, L"SetAutoUpdateOption", {row.value.v}, nullptr));
    EXPECT_EQ(row.stored, qvx::Process().autoUpdateSwitch);
  }
  first.reset();
  EXPECT_EQ(before + 1, qvx::Process().liveControls);
  second.reset();
  EXPECT_EQ(before, qvx::Process().liveControls);
}

}  // namespace
}  // namespace qvxtest
