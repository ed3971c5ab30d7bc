// The framework layer on its own: the table-driven IDispatch fed the VARIANTs
// real clients pass (VBScript literals by value, variables as
// VT_BYREF|VT_VARIANT, C++ typed references), the dialog base with its data
// exchange, and the module state's profile integers.
#include <deque>
#include <functional>
#include <new>
#include <stdexcept>

#include "framework/ansi.h"
#include "framework/dialog.h"
#include "framework/dispatch.h"
#include "framework/module_state.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

using namespace qvx::fw;

// Probe(t, n, d, b, out text, out flag) records what arrived and answers
// "out:"+t and b through the outs, t through the result.
struct Seen {
  int calls = 0;
  std::string args[4];
};

void Probe(void* self, DispatchCall& call) {
  Seen& seen = *static_cast<Seen*>(self);
  seen.calls++;
  char number[64];
  seen.args[0] = call.Text(0);
  seen.args[1] = std::to_string(call.Long(1));
  std::snprintf(number, sizeof number, "%g", call.Double(2));
  seen.args[2] = number;
  seen.args[3] = std::to_string(call.BoolValue(3));
  call.SetOutText(4, "out:" + call.Text(0));
  call.SetOutBool(5, call.Bool(3));
  call.ReturnText(call.Text(0));
}

// Fail(kind, out text): writes the out and the result, then throws.
void Fail(void* self, DispatchCall& call) {
  static_cast<Seen*>(self)->calls++;
  call.SetOutText(1, "lost");
  call.ReturnText("lost");
  if (call.Long(0) == 1) throw std::bad_alloc();
  if (call.Long(0) == 2) throw std::runtime_error("handler failed");
  throw 42;
}

void Spanish(void*, DispatchCall& call) { call.ReturnText("ñandú €"); }

const DispatchEntry kEntries[] = {
    {L"Probe", 1,
     {{L"t", ParamType::Text}, {L"n", ParamType::Long}, {L"d", ParamType::Double}, {L"b", ParamType::Bool},
      {L"o", ParamType::OutText}, {L"f", ParamType::OutBool}},
     ResultType::Text, Probe},
    {L"Fail", 2, {{L"kind", ParamType::Long}, {L"o", ParamType::OutText}}, ResultType::Text, Fail},
    {L"Spanish", 0x1000, {}, ResultType::Text, Spanish},
};
const DispatchTable kTable = {kEntries, 3};

VARIANT Of(VARTYPE vt) { VARIANT v; ::VariantInit(&v); V_VT(&v) = vt; return v; }
VARIANT I2(short n) { VARIANT v = Of(VT_I2); V_I2(&v) = n; return v; }
VARIANT I4(long n) { VARIANT v = Of(VT_I4); V_I4(&v) = n; return v; }
VARIANT R8(double x) { VARIANT v = Of(VT_R8); V_R8(&v) = x; return v; }
VARIANT Bool(bool b) { VARIANT v = Of(VT_BOOL); V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE; return v; }
VARIANT NullRef(VARTYPE vt) { VARIANT v = Of(VT_BYREF | vt); V_BYREF(&v) = nullptr; return v; }

// Owns what one call's VARIANTs point to; addresses stay put.
struct Store {
  std::deque<VARIANT> vars;
  std::deque<BSTR> bstrs;
  std::deque<long> longs;
  std::deque<VARIANT_BOOL> bools;
  ~Store() {
    for (VARIANT& v : vars) ::VariantClear(&v);
    for (BSTR b : bstrs) ::SysFreeString(b);
  }
  VARIANT Str(const wchar_t* s) { VARIANT v = Of(VT_BSTR); V_BSTR(&v) = s ? ::SysAllocString(s) : nullptr; return vars.push_back(v), v; }
  VARIANT RefBstr(const wchar_t* s) {
    bstrs.push_back(s ? ::SysAllocString(s) : nullptr);
    VARIANT v = Of(VT_BYREF | VT_BSTR);
    V_BSTRREF(&v) = &bstrs.back();
    return v;
  }
  VARIANT RefVar(VARIANT inner) { vars.push_back(inner); VARIANT v = Of(VT_BYREF | VT_VARIANT); V_VARIANTREF(&v) = &vars.back(); return v; }
  VARIANT RefI4(long n) { longs.push_back(n); VARIANT v = Of(VT_BYREF | VT_I4); V_I4REF(&v) = &longs.back(); return v; }
  VARIANT RefBool(VARIANT_BOOL b) { bools.push_back(b); VARIANT v = Of(VT_BYREF | VT_BOOL); V_BOOLREF(&v) = &bools.back(); return v; }
};

// What an argument holds afterwards, following references.
std::string Held(const VARIANT& arg) {
  const VARIANT* v = &arg;
  while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
  switch (V_VT(v)) {
    case VT_BSTR: return "T:" + AnsiFromBstr(V_BSTR(v));
    case VT_BYREF | VT_BSTR: return "T:" + AnsiFromBstr(*V_BSTRREF(v));
    case VT_BOOL: return "B:" + std::to_string(V_BOOL(v));
    case VT_BYREF | VT_BOOL: return "B:" + std::to_string(*V_BOOLREF(v));
    case VT_I4: return "I:" + std::to_string(V_I4(v));
    default: return "vt " + std::to_string(V_VT(v));
  }
}

struct Row {
  const char* label;
  size_t slot;  // the argument of Probe this row replaces
  std::function<VARIANT(Store&)> make;
  HRESULT hr;
  const char* seen;  // S_OK: the value the handler saw (in) or the slot's content after (out)
};

TEST(DispatchTest, ProbeArgumentsAsClientsPassThem) {
  // Numbers become text the same way whatever the user's regional settings.
  ScopedNumberSettings spanish(kSpanish);
  const Row rows[] = {
      {"BSTR", 0, [](Store& s) { return s.Str(L"ñandú"); }, S_OK, "ñandú"},
      {"NULL BSTR", 0, [](Store& s) { return s.Str(nullptr); }, S_OK, ""},
      {"BSTR by reference", 0, [](Store& s) { return s.RefBstr(L"xyz"); }, S_OK, "xyz"},
      {"variable of a variable", 0, [](Store& s) { return s.RefVar(s.RefVar(s.Str(L"n"))); }, S_OK, "n"},
      {"unset script variable as text", 0, [](Store& s) { return s.RefVar(Of(VT_EMPTY)); }, S_OK, ""},
      {"double as text, with a point", 0, [](Store&) { return R8(-1234.5); }, S_OK, "-1234.5"},
      {"text from VT_NULL", 0, [](Store&) { return Of(VT_NULL); }, DISP_E_TYPEMISMATCH, nullptr},
      {"text through a NULL pointer", 0, [](Store&) { return NullRef(VT_BSTR); }, E_POINTER, nullptr},
      {"script literal 5 (VT_I2) as long", 1, [](Store&) { return I2(5); }, S_OK, "5"},
      {"long by reference", 1, [](Store& s) { return s.RefI4(9); }, S_OK, "9"},
      {"text as long", 1, [](Store& s) { return s.Str(L"12"); }, S_OK, "12"},
      {"true as long", 1, [](Store&) { return Bool(true); }, S_OK, "-1"},
      {"word as long", 1, [](Store& s) { return s.Str(L"abc"); }, DISP_E_TYPEMISMATCH, nullptr},
      {"1e20 as long", 1, [](Store&) { return R8(1e20); }, DISP_E_OVERFLOW, nullptr},
      {"long as double", 2, [](Store&) { return I4(-3); }, S_OK, "-3"},
      {"text with a point as double", 2, [](Store& s) { return s.Str(L"-0.001"); }, S_OK, "-0.001"},
      {"variable with text as double", 2, [](Store& s) { return s.RefVar(s.Str(L"7.5")); }, S_OK, "7.5"},
      {"word as double", 2, [](Store& s) { return s.Str(L"x"); }, DISP_E_TYPEMISMATCH, nullptr},
      {"script literal 5 as boolean", 3, [](Store&) { return I2(5); }, S_OK, "-1"},
      {"false by reference", 3, [](Store& s) { return s.RefBool(VARIANT_FALSE); }, S_OK, "0"},
      {"text False as boolean", 3, [](Store& s) { return s.Str(L"False"); }, S_OK, "0"},
      {"out text into a BSTR reference", 4, [](Store& s) { return s.RefBstr(L"old"); }, S_OK, "T:out:t"},
      {"out text into an unset variable", 4, [](Store& s) { return s.RefVar(Of(VT_EMPTY)); }, S_OK, "T:out:t"},
      {"out text into a variable holding a number", 4, [](Store& s) { return s.RefVar(I4(5)); }, S_OK, "T:out:t"},
      {"out text through a variable's BSTR reference", 4, [](Store& s) { return s.RefVar(s.RefBstr(L"o")); }, S_OK,
       "T:out:t"},
      {"out flag into a boolean reference", 5, [](Store& s) { return s.RefBool(VARIANT_FALSE); }, S_OK, "B:-1"},
      {"out flag into a variable", 5, [](Store& s) { return s.RefVar(s.Str(L"x")); }, S_OK, "B:-1"},
      {"out text by value", 4, [](Store& s) { return s.Str(L"v"); }, DISP_E_TYPEMISMATCH, nullptr},
      {"out text into a long reference", 4, [](Store& s) { return s.RefI4(1); }, DISP_E_TYPEMISMATCH, nullptr},
      {"out text through NULL", 4, [](Store&) { return NullRef(VT_BSTR); }, E_POINTER, nullptr},
      {"out text through a variable's NULL", 4, [](Store& s) { return s.RefVar(NullRef(VT_BSTR)); }, E_POINTER,
       nullptr},
      {"out flag by value", 5, [](Store&) { return Bool(true); }, DISP_E_TYPEMISMATCH, nullptr},
      {"out flag into a BSTR reference", 5, [](Store& s) { return s.RefBstr(L"t"); }, DISP_E_TYPEMISMATCH, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Store s;
    std::vector<VARIANT> args = {s.Str(L"t"), I4(1), R8(2.5), Bool(true), s.RefBstr(L"before"), s.RefVar(I4(7))};
    args[row.slot] = row.make(s);
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, 6, 0};
    Seen seen;
    Var result;
    UINT argErr = 99;
    ASSERT_EQ(row.hr, InvokeFromTable(kTable, &seen, 1, DISPATCH_METHOD, &params, &result.v, nullptr, &argErr));
    if (row.hr == S_OK) {
      EXPECT_EQ(row.seen, row.slot < 4 ? seen.args[row.slot] : Held(args[row.slot]));
      EXPECT_EQ("T:" + seen.args[0], Held(result.v));
      continue;
    }
    EXPECT_EQ(0, seen.calls);
    if (row.hr != E_POINTER) {
      EXPECT_EQ(5 - row.slot, argErr) << "Invoke's index, last argument first";
    }
    EXPECT_EQ(VT_EMPTY, V_VT(&result.v));
    // The other out-parameter stays as it was.
    EXPECT_EQ(row.slot == 4 ? "I:7" : "T:before", Held(args[row.slot == 4 ? 5 : 4]));
  }
}

TEST(DispatchTest, CallsRefusedBeforeTheHandler) {
  Seen seen;
  Store s;
  VARIANT arg = s.Str(L"x");
  DISPID named = 0;
  const struct {
    const char* label;
    DISPID id;
    WORD flags;
    DISPPARAMS params;
    HRESULT hr;
  } rows[] = {
      {"no arguments for one", 2, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, DISP_E_BADPARAMCOUNT},
      {"one for none", 0x1000, DISPATCH_METHOD, {&arg, nullptr, 1, 0}, DISP_E_BADPARAMCOUNT},
      {"named arguments", 0x1000, DISPATCH_METHOD, {&arg, &named, 1, 1}, DISP_E_NONAMEDARGS},
      {"property put", 0x1000, DISPATCH_PROPERTYPUT, {nullptr, nullptr, 0, 0}, DISP_E_MEMBERNOTFOUND},
      {"unknown DISPID", 3, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, DISP_E_MEMBERNOTFOUND},
      {"DISPID_VALUE", DISPID_VALUE, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, DISP_E_MEMBERNOTFOUND},
      {"property get answers as a call", 0x1000, DISPATCH_PROPERTYGET, {nullptr, nullptr, 0, 0}, S_OK},
  };
  for (auto row : rows) {
    EXPECT_EQ(row.hr, InvokeFromTable(kTable, &seen, row.id, row.flags, &row.params, nullptr, nullptr, nullptr))
        << row.label;
  }
  EXPECT_EQ(0, seen.calls);
  Var result;
  ASSERT_EQ(S_OK, InvokeFromTable(kTable, &seen, 0x1000, DISPATCH_METHOD, nullptr, &result.v, nullptr, nullptr));
  EXPECT_EQ(L"ñandú €", result.Text()) << "text comes back through the ANSI code page";
}

TEST(DispatchTest, HandlerFailuresBecomeResults) {
  for (long kind : {1L, 2L, 3L}) {
    SCOPED_TRACE(kind);
    Seen seen;
    Store s;
    VARIANT args[2] = {s.RefBstr(L"before"), I4(kind)};  // reversed
    DISPPARAMS params = {args, nullptr, 2, 0};
    Var result(77L);
    EXCEPINFO excep = {};
    EXPECT_EQ(kind == 1 ? E_OUTOFMEMORY : DISP_E_EXCEPTION,
              InvokeFromTable(kTable, &seen, 2, DISPATCH_METHOD, &params, &result.v, &excep, nullptr));
    EXPECT_EQ(1, seen.calls);
    EXPECT_EQ("T:before", Held(args[0]));
    EXPECT_EQ("I:77", Held(result.v));
    if (kind != 1) {
      EXPECT_TRUE(FAILED(excep.scode) || excep.wCode) << "EXCEPINFO must say what failed";
    }
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrHelpFile);
  }
}

// Sees which blocks the task allocator frees, to tell whether a BSTR was released.
struct FreeSpy final : IMallocSpy {
  std::vector<char*> freed;
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override { return *ppv = this, S_OK; }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
  STDMETHODIMP_(void*) PostAlloc(void* p) override { return p; }
  STDMETHODIMP_(void*) PreFree(void* p, BOOL) override { return freed.push_back(static_cast<char*>(p)), p; }
  STDMETHODIMP_(void) PostFree(BOOL) override {}
  STDMETHODIMP_(SIZE_T) PreRealloc(void* p, SIZE_T size, void** out, BOOL) override { return *out = p, size; }
  STDMETHODIMP_(void*) PostRealloc(void* p, BOOL) override { return p; }
  STDMETHODIMP_(void*) PreGetSize(void* p, BOOL) override { return p; }
  STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
  STDMETHODIMP_(void*) PreDidAlloc(void* p, BOOL) override { return p; }
  STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  STDMETHODIMP_(void) PreHeapMinimize() override {}
  STDMETHODIMP_(void) PostHeapMinimize() override {}
  bool Freed(BSTR text) const {  // the length prefix sits just before the characters
    for (char* block : freed)
      if (block < reinterpret_cast<char*>(text) && reinterpret_cast<char*>(text) - block <= 16) return true;
    return false;
  }
} g_spy;  // static: the allocator may keep it after revocation

TEST(DispatchTest, TheOldTextOfAnOutParameterIsFreed) {
  auto noCache = reinterpret_cast<void(WINAPI*)()>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache")));
  if (!noCache) GTEST_SKIP() << "oleaut32 cannot switch its BSTR cache off";
  noCache();
  ASSERT_EQ(S_OK, ::CoRegisterMallocSpy(&g_spy));
  bool freedByRef = false, freedInVariable = false;
  {
    Store s;
    std::vector<VARIANT> args = {s.Str(L"t"), I4(1), R8(2.5), Bool(true), s.RefBstr(L"old"), s.RefVar(s.Str(L"o"))};
    const BSTR oldByRef = *V_BSTRREF(&args[4]);
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, 6, 0};
    // The flag goes into the variable that held text: that text must go.
    const BSTR oldInVariable = V_BSTR(V_VARIANTREF(&args[5]));
    Seen seen;
    EXPECT_EQ(S_OK, InvokeFromTable(kTable, &seen, 1, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
    freedByRef = g_spy.Freed(oldByRef);
    freedInVariable = g_spy.Freed(oldInVariable);
  }
  EXPECT_EQ(S_OK, ::CoRevokeMallocSpy());
  EXPECT_TRUE(freedByRef) << "the BSTR that the out-parameter held leaks";
  EXPECT_TRUE(freedInVariable) << "the text that the variable held leaks";
}

TEST(DispatchTest, NamesResolveCaseInsensitivelyAndOnlyMethodNames) {
  const struct {
    std::vector<const wchar_t*> names;
    HRESULT hr;
    std::vector<DISPID> ids;
  } rows[] = {
      {{L"pRoBe"}, S_OK, {1}},
      {{L"SPANISH"}, S_OK, {0x1000}},
      {{L"Prob"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{L"Probe", L"t"}, DISP_E_UNKNOWNNAME, {1, DISPID_UNKNOWN}},
  };
  for (const auto& row : rows) {
    std::vector<DISPID> ids(row.names.size(), 12345);
    EXPECT_EQ(row.hr, GetIDsFromTable(kTable, const_cast<LPOLESTR*>(row.names.data()),
                                      static_cast<UINT>(ids.size()), ids.data()));
    EXPECT_EQ(row.ids, ids) << ::testing::PrintToString(std::wstring(row.names[0]));
  }
  DISPID id = 5;
  EXPECT_EQ(E_POINTER, GetIDsFromTable(kTable, nullptr, 1, &id));
}

// A dialog of the test's own template: a text, a check box, a radio group of
// three and a radio of another group.
constexpr int kText = 10, kCheck = 11, kRadio = 12, kOtherGroup = 15;

class ExchangeDialog : public CDialog {
 public:
  ExchangeDialog() : CDialog(100) {}
  std::string text;
  int check = BST_UNCHECKED, radio = -1;
  std::function<void(ExchangeDialog&)> user;  // acts once the fields are shown
  HFONT font = nullptr;
  HICON icon = nullptr;
  bool windowHeldTheObject = false;
  using CDialog::Item;

 protected:
  BOOL OnInitDialog() override {
    const BOOL result = CDialog::OnInitDialog();
    windowHeldTheObject = ::GetWindowLongPtrA(Hwnd(), DWLP_USER) == reinterpret_cast<LONG_PTR>(this);
    font = AdoptFont(::CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Arial"));
    icon = AdoptIcon(::CopyIcon(::LoadIconA(nullptr, IDI_APPLICATION)));
    if (user) user(*this);
    return result;
  }
  void DoDataExchange(DataExchange& dx) override {
    dx.Text(kText, text);
    dx.Check(kCheck, check);
    dx.Radio(kRadio, radio);
  }
};

bool Checked(HWND button) { return ::SendMessageA(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

TEST(DialogTest, FieldsGoToTheControlsAndBackOnOK) {
  SetResourceHandle(::GetModuleHandleA(nullptr));
  ExchangeDialog dialog;
  dialog.text = "número 1,5";
  dialog.check = BST_CHECKED;
  dialog.radio = 1;
  std::string shown;
  dialog.user = [&](ExchangeDialog& d) {
    char text[64] = {};
    ::GetWindowTextA(d.Item(kText), text, sizeof text);
    shown = std::string(text) + (Checked(d.Item(kCheck)) ? " check" : "") + " radio";
    for (int i = 0; i < 3; ++i) shown += Checked(d.Item(kRadio + i)) ? "1" : "0";
    ::SetWindowTextA(d.Item(kText), "dos líneas");
    ::SendMessageA(d.Item(kCheck), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SendMessageA(d.Item(kRadio + 1), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SendMessageA(d.Item(kRadio + 2), BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageA(d.Item(kOtherGroup), BM_SETCHECK, BST_CHECKED, 0);  // not ours
    ::PostMessageA(d.Hwnd(), WM_COMMAND, IDOK, 0);
  };
  EXPECT_EQ(IDOK, dialog.DoModal());
  EXPECT_EQ("número 1,5 check radio010", shown);
  EXPECT_EQ("dos líneas", dialog.text);
  EXPECT_EQ(BST_UNCHECKED, dialog.check);
  EXPECT_EQ(2, dialog.radio) << "the radio exchange stops at the next group";
  EXPECT_TRUE(dialog.windowHeldTheObject);
  EXPECT_EQ(0u, ::GetObjectType(dialog.font)) << "the font outlived the dialog";
  ICONINFO info;
  EXPECT_FALSE(::GetIconInfo(dialog.icon, &info)) << "the icon outlived the dialog";
}

TEST(DialogTest, CancelFailureAndMissingTemplate) {
  SetResourceHandle(::GetModuleHandleA(nullptr));
  ExchangeDialog cancelled;
  cancelled.text = "sin cambios";
  cancelled.radio = 7;  // out of range: nothing checked, and Cancel saves nothing
  cancelled.user = [](ExchangeDialog& d) {
    ::SetWindowTextA(d.Item(kText), "otro");
    ::PostMessageA(d.Hwnd(), WM_COMMAND, IDCANCEL, 0);
  };
  EXPECT_EQ(IDCANCEL, cancelled.DoModal());
  EXPECT_EQ("sin cambios", cancelled.text);
  EXPECT_EQ(nullptr, cancelled.Hwnd());
  ExchangeDialog none;
  none.user = [](ExchangeDialog& d) { ::PostMessageA(d.Hwnd(), WM_COMMAND, IDOK, 0); };
  EXPECT_EQ(IDOK, none.DoModal());
  EXPECT_EQ(-1, none.radio) << "no radio checked";
  ExchangeDialog throwing;
  throwing.user = [](ExchangeDialog&) { throw std::runtime_error("fallo"); };
  EXPECT_EQ(-1, throwing.DoModal());
  struct Missing : CDialog {
    Missing() : CDialog(999) {}
  } missing;
  EXPECT_EQ(-1, missing.DoModal());
}

TEST(ModuleStateTest, ProfileIntegersAndStrings) {
  ScratchKey base(HKEY_CURRENT_USER, "Software\\QuorvexTest");
  AttachModule(::GetModuleHandleW(nullptr));
  SetRegistryKey("QuorvexTest");
  EXPECT_EQ(7u, qvx::fw::GetProfileInt("Sec", "Missing", 7));
  EXPECT_TRUE(WriteProfileInt("Sec", "Value", -3));
  EXPECT_EQ(static_cast<UINT>(-3), qvx::fw::GetProfileInt("Sec", "Value", 7));
  ScratchKey section(HKEY_CURRENT_USER, "Software\\QuorvexTest\\" + Module().profileName + "\\Sec");
  section.SetText("Text", "12");
  EXPECT_EQ(7u, qvx::fw::GetProfileInt("Sec", "Text", 7)) << "a value that is not a DWORD";
  EXPECT_EQ("", LoadResString(4242));
}

}  // namespace
}  // namespace qvxtest
