// The control called by name, its type library and process state; then the module's shared services.
#include <cstdio>
#include <map>
#include <thread>

#include "common/file_version.h"
#include "common/folder_lookup.h"
#include "common/maker_registry.h"
#include "common/system_identity.h"
#include "common/system_info.h"
#include "control/intl_ctrl.h"
#include "control/intl_ids.h"
#include "control/process_state.h"
#include "framework/ansi.h"
#include "framework/module_state.h"
#include "intl/key_dec_hook.h"
#include "mail/customer_data.h"
#include "module/app.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

// Arguments "#n" long, "$x" double, "&flag" a flag out as C++ passes it, "&variable" as scripts do,
// else a text; the answer "T:text", "R:number", "B:flag" or "hr ... arg ...", then the flag written.
std::string Call(IDispatch* control, const wchar_t* method, const std::vector<std::wstring>& specs) {
  std::vector<VARIANT> args(specs.size());
  VARIANT_BOOL flag = 7;
  Var variable, result;
  for (size_t i = 0; i < specs.size(); ++i) {
    const std::wstring& s = specs[i];
    VARIANT& v = args[i];
    if (s[0] == L'#') V_VT(&v) = VT_I4, V_I4(&v) = std::stol(s.substr(1));
    else if (s[0] == L'$') V_VT(&v) = VT_R8, V_R8(&v) = std::stod(s.substr(1));
    else if (s == L"&flag") V_VT(&v) = VT_BYREF | VT_BOOL, V_BOOLREF(&v) = &flag;
    else if (s == L"&variable") V_VT(&v) = VT_BYREF | VT_VARIANT, V_VARIANTREF(&v) = &variable.v;
    else V_VT(&v) = VT_BSTR, V_BSTR(&v) = ::SysAllocStringLen(s.data(), UINT(s.size()));
  }
  UINT argErr = 0;
  const HRESULT hr = CallByName(control, method, args, &result.v, &argErr);
  for (VARIANT& v : args) ::VariantClear(&v);
  char text[64];
  std::string answer = "vt " + std::to_string(V_VT(&result.v));
  if (hr != S_OK) std::snprintf(text, sizeof text, "hr 0x%08lx arg %u", static_cast<unsigned long>(hr), argErr), answer = text;
  else if (V_VT(&result.v) == VT_BSTR) answer = "T:" + qvx::fw::AnsiFromBstr(V_BSTR(&result.v));
  else if (V_VT(&result.v) == VT_R8) std::snprintf(text, sizeof text, "R:%.17g", V_R8(&result.v)), answer = text;
  else if (V_VT(&result.v) == VT_BOOL) answer = "B:" + std::to_string(V_BOOL(&result.v));
  if (flag != 7) answer += " " + std::to_string(flag);
  if (V_VT(&variable.v) == VT_BOOL) answer += " " + std::to_string(V_BOOL(&variable.v));
  return answer;
}

TEST(ControlTest, CallsByNameUnderTheUsersSettings) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  const NumberSettings es = kSpanish, fours = {".", "'", "~-", "4;0", "3", "1"};
  struct Row { const NumberSettings* settings; const wchar_t* method; std::vector<std::wstring> args; std::string result; };
  const Row calls[] = {
      {&es, L"ConvertStrToIntlStr", {L"ñ1234567.891", L"#1"}, "T:ñ1.234.567,891"},
      {&es, L"ConvertStrToIntlStr", {L"$1234.5", L"#1"}, "T:1.234,5"},  // a double: plain, with a point
      {&es, L"ConvertFltToIntlStr", {L"$-1234.5", L"#0", L"#1"}, "T:-1.234,50"},
      {&es, L"convertfltTOintlstr", {L"0.5", L"#0", L"#0"}, "T:0,50"},
      {&fours, L"ConvertFltToIntlStr", {L"$-12345.6", L"#0", L"#1"}, "T:~-1'2345.600"},
      {&es, L"ConvertIntlStrToStr", {L"-1.234.567,89"}, "T:-1234567.89"},
      {&es, L"ConvertIntlStrToStr", {std::wstring(L"1\0" L"2", 3)}, std::string("T:1\0" "2", 5)},
      {&fours, L"ConvertIntlStrToFlt", {L"~-1'234.5x"}, "R:-1234.5"},
      {&es, L"ValidateIntlStr", {L"1.234,5"}, "B:-1"},
      {&es, L"ConvertIntlStrToStr", {L"1", L"2"}, "hr 0x8002000e arg 0"},
      {&es, L"VerifyCtrlVersion", {L"4.2.5.0", L"&flag"}, "T:4.2.5.0 -1"},
      {&es, L"VerifyCtrlVersion", {L"4.2.5.1", L"&variable"}, "T:4.2.5.0 0"},
  };
  for (const auto& c : calls) {
    ScopedNumberSettings settings(*c.settings);
    EXPECT_EQ(c.result, Call(control.get(), c.method, c.args)) << qvx::fw::AnsiFromWide(c.method, wcslen(c.method));
  }
}

std::wstring Doc(ITypeInfo* info, MEMBERID id, bool withHelp) {
  BSTR name = nullptr, help = nullptr;
  info->GetDocumentation(id, &name, withHelp ? &help : nullptr, nullptr, nullptr);
  std::wstring text = (name ? name : L"") + (withHelp ? L" \"" + std::wstring(help ? help : L"") + L"\"" : L"");
  ::SysFreeString(name), ::SysFreeString(help);
  return text;
}

// A type as an object browser writes it.
std::wstring TypeName(ITypeInfo* info, const TYPEDESC& t) {
  static const std::map<VARTYPE, std::wstring> names = {
      {VT_BSTR, L"BSTR"}, {VT_I4, L"long"}, {VT_R8, L"double"}, {VT_BOOL, L"VARIANT_BOOL"}, {VT_VOID, L"void"}};
  com_ptr<ITypeInfo> named;
  if (t.vt == VT_PTR) return TypeName(info, *t.lptdesc) + L"*";
  if (t.vt == VT_USERDEFINED && SUCCEEDED(info->GetRefTypeInfo(t.hreftype, named.put())))
    return Doc(named.get(), MEMBERID_NIL, false);
  return names.count(t.vt) ? names.at(t.vt) : L"vt" + std::to_wstring(t.vt);
}

// One line per type and member, as an object browser shows them (restricted members hidden).
std::vector<std::wstring> BrowseRegisteredLibrary() {
  com_ptr<ITypeLib> lib;
  if (::LoadRegTypeLib(qvx::LIBID_QVXINTLLib, 1, 0, 0x409, lib.put()) != S_OK) return {L"not registered"};
  const wchar_t* kinds[] = {L"enum", L"struct", L"module", L"interface", L"dispinterface", L"coclass", L"?", L"?"};
  std::vector<std::wstring> lines;
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    com_ptr<ITypeInfo> info;
    TYPEATTR* attr = nullptr;
    lib->GetTypeInfo(i, info.put());
    info->GetTypeAttr(&attr);
    lines.push_back(kinds[attr->typekind] + (L" " + Doc(info.get(), MEMBERID_NIL, true)) + L" flags " +
                    std::to_wstring(attr->wTypeFlags));
    for (UINT v = 0; v < attr->cVars; ++v) {
      VARDESC* var = nullptr;
      info->GetVarDesc(v, &var);
      lines.push_back(L"  " + Doc(info.get(), var->memid, true) + L" = " + std::to_wstring(V_I4(var->lpvarValue)));
      info->ReleaseVarDesc(var);
    }
    for (UINT f = 0; f < attr->cFuncs; ++f) {
      FUNCDESC* func = nullptr;
      info->GetFuncDesc(f, &func);
      BSTR names[8] = {};
      UINT count = 0;
      info->GetNames(func->memid, names, 8, &count);
      std::wstring line = L"  " + std::to_wstring(func->memid) + L" " + TypeName(info.get(), func->elemdescFunc.tdesc) +
                          L" " + names[0] + L"(";
      for (UINT p = 1; p < count; ++p)
        line += (p > 1 ? L", " : L"") + TypeName(info.get(), func->lprgelemdescParam[p - 1].tdesc) + L" " + names[p];
      if (!(func->wFuncFlags & FUNCFLAG_FRESTRICTED)) lines.push_back(line + L")");
      for (BSTR name : names) ::SysFreeString(name);
      info->ReleaseFuncDesc(func);
    }
    for (UINT k = 0; k < attr->cImplTypes; ++k) {
      HREFTYPE ref = 0;
      INT flags = 0;
      com_ptr<ITypeInfo> implemented;
      info->GetRefTypeOfImplType(k, &ref);
      info->GetImplTypeFlags(k, &flags);
      info->GetRefTypeInfo(ref, implemented.put());
      lines.push_back(L"  implements " + Doc(implemented.get(), MEMBERID_NIL, false) + L" flags " + std::to_wstring(flags));
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
      L"  DEC_MINIMO \"Mínimo\" = 0",
      L"  DEC_MINIMO_MILES \"Mínimo/Miles\" = 1",
      L"  DEC_FIJO \"Fijo\" = 2",
      L"  DEC_FIJO_MILES \"Fijo/Miles\" = 3",
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
  EXPECT_EQ(expected, BrowseRegisteredLibrary());

  // Names resolve as the control's own type information resolves them; download methods by name only.
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  com_ptr<ITypeInfo> info;
  ASSERT_EQ(S_OK, control->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put()));
  for (std::vector<const wchar_t*> names : {std::vector<const wchar_t*>{L"ConvertFltToIntlStr", L"fVal", L"NDECS", L"nFlags"},
                                            {L"GetLastAppVersionFromVandrel", L"csError", L"csAppName"},
                                            {L"ConvertStrToIntlStr", L"lpctstrVal", L"nFlag"}}) {
    auto* n = const_cast<LPOLESTR*>(names.data());
    std::vector<DISPID> ours(names.size()), typeInfo(names.size());
    EXPECT_EQ(info->GetIDsOfNames(n, UINT(names.size()), typeInfo.data()),
              control->GetIDsOfNames(IID_NULL, n, UINT(names.size()), LOCALE_USER_DEFAULT, ours.data())) << n[0];
    EXPECT_EQ(typeInfo, ours) << n[0];
  }
  LPOLESTR byNameOnly[] = {const_cast<LPOLESTR>(L"AutoUpdateExt2")};
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, info->GetIDsOfNames(byNameOnly, 1, &id));
  EXPECT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, byNameOnly, 1, LOCALE_USER_DEFAULT, &id));
  EXPECT_EQ(0x1C, id);
}

// One update switch and control count per process; a keypad hook per thread, gone with its last control.
TEST(ControlTest, ApartmentsShareTheSwitchAndKeepTheirOwnHooks) {
  qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
  const LONG before = qvx::Process().liveControls;
  auto create = [] {
    com_ptr<IDispatch> control;
    EXPECT_EQ(S_OK, qvx::CQVXIntlCtrl::CreateInstance(IID_IDispatch, control.put_void()));
    return control;
  };
  auto call = [](IDispatch* control, const wchar_t* method, Var value) {
    EXPECT_EQ(S_OK, CallByName(control, method, {value.v}, nullptr));
  };
  auto held = [] { return qvx::intl::IntlKeyDecHookHeld() ? "held " : "none "; };
  // Each step waits for the other thread's step before it.
  HANDLE steps[3];
  for (HANDLE& step : steps) step = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  auto after = [&](int step) { ::WaitForSingleObject(steps[step], 10000); };
  std::string a, b;
  std::thread first([&] {
    ComScope com;
    for (int i = 0; i < 300; ++i) create();
    com_ptr<IDispatch> control = create();
    call(control.get(), L"SetIntlKeyDec", Var::Bool(true));
    a += held();
    ::SetEvent(steps[0]), after(1);
    control.reset();
    a += held();
    ::SetEvent(steps[2]);
  });
  std::thread second([&] {
    ComScope com;
    for (int i = 0; i < 300; ++i) create();
    after(0);
    com_ptr<IDispatch> control = create();
    b += held();
    call(control.get(), L"SetIntlKeyDec", Var::Bool(true));
    ::SetEvent(steps[1]), after(2);
    b += held();
    call(control.get(), L"SetAutoUpdateOption", Var::Bool(false));
    EXPECT_EQ(0, qvx::Process().autoUpdateSwitch);
    call(control.get(), L"SetAutoUpdateOption", Var(short(-1)));
    EXPECT_EQ(-1, qvx::Process().autoUpdateSwitch) << "an Automation true is stored as it came";
    call(control.get(), L"SetIntlKeyDec", Var::Bool(false));
    b += held();
  });
  first.join(), second.join();
  for (HANDLE step : steps) ::CloseHandle(step);
  EXPECT_EQ("held none ", a) << "the first thread's hook, gone with its control";
  EXPECT_EQ("none held none ", b) << "the second thread's own hook";
  EXPECT_EQ(before, qvx::Process().liveControls);
}

// The module's shared services on its linked code, against the test prefix's registry.
using qvx::MakerRegistryView;
using qvx::mail::CustomerData;

class CustomerStore : public ::testing::Test {
 protected:
  // number|name|NIF|Tfno|Email|flags, then "fallback" when read from the second key.
  static std::string Read() {
    CustomerData d = {"old", "old", "old", "old", "old", 7};
    bool fallback = false;
    const bool ok = qvx::mail::ReadCustomerData(d, fallback);
    return (ok ? "" : "FALSE ") + d.number + "|" + d.name + "|" + d.taxNumber + "|" + d.telephone + "|" + d.email +
           "|" + std::to_string(d.flags) + (fallback ? " fallback" : "");
  }
  ScratchKey first_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeyFirst, MakerRegistryView()};
  ScratchKey second_{HKEY_LOCAL_MACHINE, qvx::mail::kCustomerKeySecond, MakerRegistryView()};
  const CustomerData sample_ = {"1234", "Pe\xF1" "a S.L.", "B12345678", "976 123 456", "a@b.es", 0x5};
  const std::string sampleRead_ = "1234|" + sample_.name + "|B12345678|976 123 456|a@b.es|5";
};

TEST_F(CustomerStore, ReadsTheFirstKeyElseTheSecondWhole) {
  EXPECT_EQ("FALSE |||||7", Read()) << "nothing stored: empty texts, the caller's flags";
  second_.SetText("Numero", "2");
  second_.Set("DataBin", REG_BINARY, "SECOND", 7);
  EXPECT_EQ("2|||||7 fallback SECOND", Read() + " " + qvx::mail::ReadCustomerKey());
  first_.SetText("Numero", "1");
  CustomerData data;
  bool fallback = true;
  EXPECT_TRUE(qvx::mail::ReadCustomerData(data, fallback) && fallback) << "the first key leaves the caller's flag";
  const std::string n255(255, 'n');
  // read: Read() and ReadCustomerKey(); no value comes from the second key.
  const struct { const char* value; DWORD type; std::string bytes, read; } rows[] = {
      {"Nombre", REG_SZ, std::string(n255.c_str(), 256), "1|" + n255 + "||||7 "},
      {"Nombre", REG_SZ, n255, "1|" + n255 + "||||7 "},  // without its NUL
      {"Nombre", REG_SZ, std::string((n255 + "n").c_str(), 257), "1|||||7 "},
      {"Tfno", REG_SZ, std::string("ab\0cd", 6), "1|||ab||7 "},
      {"Flags", REG_DWORD, std::string("\x01\0\0\x80", 4), "1|||||2147483649 "},
      {"Flags", REG_SZ, "1", "1|||||7 "},
      {"DataBin", REG_BINARY, std::string("AB\0CD", 6), "1|||||7 AB"},
      {"DataBin", REG_SZ, "KEY", "1|||||7 "},
  };
  for (const auto& row : rows) {
    first_.Set(row.value, row.type, row.bytes.data(), row.bytes.size());
    EXPECT_EQ(row.read, Read() + " " + qvx::mail::ReadCustomerKey()) << row.value << " " << row.bytes.size();
    first_.Set(row.value, REG_NONE, nullptr, 0);
  }
}

TEST_F(CustomerStore, WritesBothKeysAlikeCutsLongTextsAndReportsRefusals) {
  const std::string key(600, 'F');
  EXPECT_TRUE(qvx::mail::WriteCustomerData(sample_));
  qvx::mail::WriteCustomerKey(key);
  EXPECT_EQ(sampleRead_ + " " + key, Read() + " " + qvx::mail::ReadCustomerKey()) << "the key is never cut";
#ifdef _WIN64
  EXPECT_EQ("<none>", second_.Get("Numero", KEY_WOW64_64KEY)) << "the store lives in the 32-bit view";
#endif
  DeleteKeyTree(HKEY_LOCAL_MACHINE, first_.path(), MakerRegistryView());
  EXPECT_EQ(sampleRead_ + " fallback " + key, Read() + " " + qvx::mail::ReadCustomerKey()) << "the second key alike";
  EXPECT_TRUE(qvx::mail::WriteCustomerData(sample_, true));
  EXPECT_EQ("<none>", first_.Get("Numero")) << "the second key on its own pass only";
  CustomerData other = sample_;
  other.name = std::string(255, 'a') + "b";
  other.email = std::string("ab\0cd", 5);
  EXPECT_TRUE(qvx::mail::WriteCustomerData(other));
  EXPECT_EQ("1234|" + std::string(255, 'a') + "|B12345678|976 123 456|ab|5", Read()) << "long texts stored cut";

  // A refused write is reported and writes nothing, not even the second key; a refused read falls back.
  other = sample_;
  other.number = "99";
  const struct Row { const ScratchKey* key; DWORD denied; std::string seen; } rows[] = {
      {&first_, KEY_SET_VALUE, "0 " + sampleRead_},
      {&second_, KEY_SET_VALUE, "1 99|" + sample_.name + "|B12345678|976 123 456|a@b.es|5"},  // the second is a copy
      {&first_, KEY_QUERY_VALUE, "1 " + sampleRead_ + " fallback"},
  };
  for (const Row& row : rows) {
    ASSERT_TRUE(qvx::mail::WriteCustomerData(sample_));
    row.key->Deny(row.denied);
    const bool written = row.denied == KEY_SET_VALUE ? qvx::mail::WriteCustomerData(other) : true;
    const std::string seen = std::to_string(written) + " " + Read();
    row.key->Deny(0);
    EXPECT_EQ(row.seen, seen) << row.key->path() << " denying " << row.denied;
  }
}

TEST(FileVersionTest, ReadsTheFieldsOfTheFirstTranslation) {
  const std::wstring module = ModulePath();
  // record: ReadVersionRecord's result and fields; ReadFileVersion's as the second field.
  const struct { std::string path; const char* record; } rows[] = {
      {TestFile("QvxTestApp.exe"),
       "1|4.2.0.0|Quorvex Prueba|Programa de gesti\xF3n|QvxTestApp#B42 prueba|QvxTestApp.exe"},
      {std::string(module.begin(), module.end()),
       "1|4.2.5.0|Quorvex Common Tools|Quorvex  Internationalization Control|QuorvexIntl|QuorvexIntl.ocx"},
      {TestFile("noversion.exe"), "0|-|-|-|-|-"},
      {TestFile("missing.exe"), "0|-|-|-|-|-"},
  };
  for (const auto& row : rows) {
    qvx::VersionRecord r = {"-", "-", "-", "-", "-"};
    const bool ok = qvx::ReadVersionRecord(row.path, r);
    EXPECT_EQ(row.record, std::to_string(ok) + "|" + r.fileVersion + "|" + r.productName + "|" + r.fileDescription +
                              "|" + r.internalName + "|" + r.originalFilename);
    std::string version = "-";
    EXPECT_EQ(ok, qvx::ReadFileVersion(row.path, version)) << row.path;
    EXPECT_EQ(r.fileVersion, version);
  }
}

TEST(StartUpTest, FolderTableAndModuleState) {
  ScratchKey table(HKEY_LOCAL_MACHINE, qvx::kFolderTableKey, MakerRegistryView());
  const char* name = qvx::kFolderComponentesComunes;
  // stored "": no value; help "": the module not started.
  const struct { std::string stored; bool found; std::string folder, help; } rows[] = {
      {"C:\\Comun", true, "C:\\Comun\\", "C:\\Comun\\Ayuda\\Brumo.chm"},
      {"C:\\Comun\\", true, "C:\\Comun\\", "C:\\Comun\\Ayuda\\Brumo.chm"},
      {"", false, "", "Ayuda\\Brumo.chm"},
      {std::string(260, 'a'), false, "", ""},  // longer than the buffer
  };
  for (const auto& row : rows) {
    table.Set(name, REG_SZ, row.stored.empty() ? nullptr : row.stored.c_str(), row.stored.size() + 1);
    std::string folder = "left over";
    EXPECT_EQ(row.found, qvx::GetFolderPath(name, folder)) << row.stored;
    EXPECT_EQ(row.folder, folder) << row.stored;
    if (row.help.empty()) continue;
    qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
    EXPECT_EQ("qvx_control_tests", qvx::fw::Module().appName) << "the module's file name without its extension";
    qvx::CQVXIntlApp app;
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(row.help, qvx::fw::Module().helpFilePath);
    EXPECT_EQ("qvx_control_tests", qvx::fw::Module().profileName) << "the profile keeps the module's first name";
    EXPECT_EQ("Quorvex Ingenieros", qvx::fw::Module().appName);
    EXPECT_NE(nullptr, ::GetModuleHandleA("riched20.dll"));
    EXPECT_EQ(0, app.ExitInstance());
  }
}

TEST(SystemInfoTest, MachineIdentifierFromTheMachineGuid) {
  const std::string source = qvx::MachineIdentifierSource();
  EXPECT_EQ(41u, source.find("guid:") + source.size()) << "the machine's GUID of 36 characters: " << source;
  EXPECT_EQ(qvx::DeriveMachineIdentifier(source), qvx::MachineIdentifier());
}

}  // namespace
}  // namespace qvxtest
