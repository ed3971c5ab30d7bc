// The control as hosts use it: created through COM from its registration and
// called by name under regional settings set as a user sets them; its
// registered type library as object browsers read it; the process-wide state
// on the linked copy of the module's code.
#include <ocidl.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <functional>
#include <thread>

#include "control/ctrl_version.h"
#include "control/intl_ctrl.h"
#include "control/intl_ids.h"
#include "control/process_state.h"
#include "framework/ansi.h"
#include "framework/module_state.h"
#include "framework/registration.h"
#include "intl/key_dec_hook.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

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

// A type as an object browser writes it.
std::wstring TypeName(ITypeInfo* info, const TYPEDESC& t) {
  switch (t.vt) {
    case VT_PTR: return TypeName(info, *t.lptdesc) + L"*";
    case VT_USERDEFINED: {
      com_ptr<ITypeInfo> named;
      BSTR name = nullptr;
      if (SUCCEEDED(info->GetRefTypeInfo(t.hreftype, named.put()))) named->GetDocumentation(-1, &name, 0, 0, 0);
      std::wstring text = name ? name : L"?";
      ::SysFreeString(name);
      return text;
    }
    case VT_BSTR: return L"BSTR";
    case VT_I4: return L"long";
    case VT_R8: return L"double";
    case VT_BOOL: return L"VARIANT_BOOL";
    case VT_VOID: return L"void";
    default: return L"vt" + std::to_wstring(t.vt);
  }
}

// Each type of the registered library and each of its members, one line each,
// as an object browser shows them (restricted members hidden).
std::vector<std::wstring> BrowseRegisteredLibrary() {
  std::vector<std::wstring> lines;
  com_ptr<ITypeLib> lib;
  if (::LoadRegTypeLib(qvx::LIBID_QVXINTLLib, 1, 0, 0x409, lib.put()) != S_OK) return {L"not registered"};
  auto text = [](BSTR b) {
    std::wstring t = b ? b : L"";
    ::SysFreeString(b);
    return t;
  };
  const wchar_t* kinds[] = {L"enum", L"struct", L"module", L"interface", L"dispinterface", L"coclass"};
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    com_ptr<ITypeInfo> info;
    TYPEATTR* attr = nullptr;
    BSTR name = nullptr, help = nullptr;
    lib->GetTypeInfo(i, info.put());
    info->GetTypeAttr(&attr);
    info->GetDocumentation(MEMBERID_NIL, &name, &help, nullptr, nullptr);
    lines.push_back((attr->typekind < 6 ? kinds[attr->typekind] : L"?") + std::wstring(L" ") + text(name) + L" \"" +
                    text(help) + L"\" flags " + std::to_wstring(attr->wTypeFlags));
    for (UINT v = 0; v < attr->cVars; ++v) {
      VARDESC* var = nullptr;
      info->GetVarDesc(v, &var);
      info->GetDocumentation(var->memid, &name, &help, nullptr, nullptr);
      lines.push_back(L"  " + text(name) + L" = " + std::to_wstring(V_I4(var->lpvarValue)) + L" \"" + text(help) + L"\"");
      info->ReleaseVarDesc(var);
    }
    for (UINT f = 0; f < attr->cFuncs; ++f) {
      FUNCDESC* func = nullptr;
      info->GetFuncDesc(f, &func);
      BSTR names[8] = {};
      UINT count = 0;
      info->GetNames(func->memid, names, 8, &count);
      std::wstring line = L"  " + std::to_wstring(func->memid) + L" " + TypeName(info.get(), func->elemdescFunc.tdesc) +
                          L" " + text(names[0]) + L"(";
      for (UINT p = 1; p < count; ++p)
        line += (p > 1 ? L", " : L"") + TypeName(info.get(), func->lprgelemdescParam[p - 1].tdesc) + L" " + text(names[p]);
      if (!(func->wFuncFlags & FUNCFLAG_FRESTRICTED)) lines.push_back(line + L")");
      info->ReleaseFuncDesc(func);
    }
    for (UINT k = 0; k < attr->cImplTypes; ++k) {
      HREFTYPE ref = 0;
      INT flags = 0;
      com_ptr<ITypeInfo> implemented;
      info->GetRefTypeOfImplType(k, &ref);
      info->GetImplTypeFlags(k, &flags);
      info->GetRefTypeInfo(ref, implemented.put());
      implemented->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
      lines.push_back(L"  implements " + text(name) + L" flags " + std::to_wstring(flags));
    }
    info->ReleaseTypeAttr(attr);
  }
  return lines;
}

TEST(ControlTest, TypeLibraryAsObjectBrowsersReadIt) {
  ComScope com;
  // The three download methods are reached by name only: not listed.
  const std::vector<std::wstring> expected = {
      L"enum IntlConvertFlags \"\" flags 0",
      L"  DEC_MINIMO = 0 \"Mínimo\"",
      L"  DEC_MINIMO_MILES = 1 \"Mínimo/Miles\"",
      L"  DEC_FIJO = 2 \"Fijo\"",
      L"  DEC_FIJO_MILES = 3 \"Fijo/Miles\"",
      L"dispinterface _DQVXIntl \"Dispatch interface for Quorvex Internationalization Control\" flags 4096",
      L"  3 BSTR ConvertStrToIntlStr(BSTR lpctstrVal, IntlConvertFlags nFlags)",
      L"  4 BSTR ConvertFltToIntlStr(double fVal, long nDecs, IntlConvertFlags nFlags)",
      L"  5 BSTR ConvertIntlStrToStr(BSTR lpctstrVal)",
      L"  6 double ConvertIntlStrToFlt(BSTR lpctstrVal)",
      L"  7 VARIANT_BOOL ValidateIntlStr(BSTR lpctstrVal)",
      L"  8 void SetIntlKeyDec(VARIANT_BOOL bActivate)",
      L"  10 BSTR VerifyCtrlVersion(BSTR strVerMin, VARIANT_BOOL* pbCmpVer)",
      L"  14 void SetAutoUpdateOption(VARIANT_BOOL bActivate)",
      L"  15 VARIANT_BOOL GetLastAppVersionFromVandrel(BSTR csAppName, BSTR* csVersion, BSTR* csError)",
      L"  19 void SendActRequest(BSTR csPathApp, BSTR csAppName, BSTR csLongName, BSTR csVer, BSTR csUpdateVer)",
      L"  implements IDispatch flags 0",
      L"dispinterface _DQVXIntlEvents \"Event interface for Quorvex Internationalization Control\" flags 4096",
      L"  implements IDispatch flags 0",
      L"coclass Internationalization \"Quorvex Internationalization Control\" flags 34",  // can create, control
      L"  implements _DQVXIntl flags 1",                                                 // default
      L"  implements _DQVXIntlEvents flags 3",                                           // default source
  };
  const std::vector<std::wstring> got = BrowseRegisteredLibrary();
  for (size_t i = 0; i < std::max(expected.size(), got.size()); ++i)
    EXPECT_EQ(i < expected.size() ? expected[i] : L"(none)", i < got.size() ? got[i] : L"(none)") << "line " << i;

  // Containers find the dispatch and event interfaces and the class.
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  com_ptr<ITypeInfo> info;
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, control->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
  ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(qvx::DIID_DQVXIntl, attr->guid));
  info->ReleaseTypeAttr(attr);
  // Parameter names resolve as the type information resolves them, in any
  // case; a name that is not the method's fails the whole answer. The
  // download methods resolve by name only.
  for (std::vector<const wchar_t*> names : {std::vector<const wchar_t*>{L"ConvertFltToIntlStr", L"fVal", L"NDECS", L"nFlags"},
                                            {L"GetLastAppVersionFromVandrel", L"csError", L"csAppName"},
                                            {L"ConvertStrToIntlStr", L"lpctstrVal", L"nFlag"}}) {
    auto* n = const_cast<LPOLESTR*>(names.data());
    const UINT count = static_cast<UINT>(names.size());
    std::vector<DISPID> ours(count), typeInfo(count);
    EXPECT_EQ(info->GetIDsOfNames(n, count, typeInfo.data()),
              control->GetIDsOfNames(IID_NULL, n, count, LOCALE_USER_DEFAULT, ours.data())) << qvx::fw::AnsiFromBstr(n[0]);
    EXPECT_EQ(typeInfo, ours) << qvx::fw::AnsiFromBstr(n[0]);
  }
  LPOLESTR byNameOnly[] = {const_cast<LPOLESTR>(L"AutoUpdateExt2")};
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, info->GetIDsOfNames(byNameOnly, 1, &id));
  EXPECT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, byNameOnly, 1, LOCALE_USER_DEFAULT, &id));
  EXPECT_EQ(0x1C, id);
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

// The update switch belongs to the process; controls are counted over every
// apartment thread, and each thread's keypad hook is its own and goes with
// the thread's last control.
TEST(ControlTest, ApartmentsShareTheSwitchAndKeepTheirOwnHooks) {
  qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
  const LONG before = qvx::Process().liveControls;
  auto create = [] {
    com_ptr<IDispatch> control;
    EXPECT_EQ(S_OK, qvx::CQVXIntlCtrl::CreateInstance(IID_IDispatch, control.put_void()));
    return control;
  };
  auto keyDec = [](IDispatch* control, bool on) {
    Var flag = Var::Bool(on);
    EXPECT_EQ(S_OK, CallByName(control, L"SetIntlKeyDec", {flag.v}, nullptr));
  };
  // Each step waits for the other thread's step before it: "held" as each thread sees its own hook.
  HANDLE steps[4];
  for (HANDLE& step : steps) step = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  auto after = [&](int step) { ::WaitForSingleObject(steps[step], 10000); };
  std::string a, b;
  std::thread first([&] {
    ComScope com;
    for (int i = 0; i < 300; ++i) create();
    com_ptr<IDispatch> control = create();
    keyDec(control.get(), true);
    a += qvx::intl::IntlKeyDecHookHeld() ? "held " : "none ";
    ::SetEvent(steps[0]), after(1);
    control.reset();
    a += qvx::intl::IntlKeyDecHookHeld() ? "held" : "none";
    ::SetEvent(steps[2]);
  });
  std::thread second([&] {
    ComScope com;
    for (int i = 0; i < 300; ++i) create();
    after(0);
    com_ptr<IDispatch> control = create();
    b += qvx::intl::IntlKeyDecHookHeld() ? "held " : "none ";
    keyDec(control.get(), true);
    ::SetEvent(steps[1]), after(2);
    b += qvx::intl::IntlKeyDecHookHeld() ? "held " : "none ";
    ASSERT_EQ(S_OK, CallByName(control.get(), L"SetAutoUpdateOption", {Var::Bool(false).v}, nullptr));
    EXPECT_EQ(0, qvx::Process().autoUpdateSwitch);
    ASSERT_EQ(S_OK, CallByName(control.get(), L"SetAutoUpdateOption", {Var(short(-1)).v}, nullptr));
    EXPECT_EQ(-1, qvx::Process().autoUpdateSwitch) << "an Automation true is stored as it came";
    keyDec(control.get(), false);
    b += qvx::intl::IntlKeyDecHookHeld() ? "held" : "none";
  });
  first.join(), second.join();
  for (HANDLE step : steps) ::CloseHandle(step);
  EXPECT_EQ("held none", a) << "the first thread's hook, gone with its control";
  EXPECT_EQ("none held none", b) << "the second thread's own hook";
  EXPECT_EQ(before, qvx::Process().liveControls);
}

}  // namespace
}  // namespace qvxtest
