// The table-driven IDispatch on a table of the test's own, fed the VARIANTs
// real clients pass: VBScript literals by value, variables as
// VT_BYREF|VT_VARIANT, C++ typed references.
#include <algorithm>
#include <cstring>
#include <deque>
#include <functional>
#include <new>
#include <stdexcept>

#include "framework/ansi.h"
#include "framework/dispatch.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

using namespace qvx::fw;

// Probe(t, n, d, b, out text, out flag) keeps what arrived, answers "out:"+t
// and b through the outs and t as its result.
struct Seen {
  int calls = 0;
  std::string args[4];
};

void Probe(void* self, DispatchCall& call) {
  Seen& seen = *static_cast<Seen*>(self);
  char real[32];
  std::snprintf(real, sizeof real, "%g", call.Double(2));
  seen = {seen.calls + 1, {call.Text(0), std::to_string(call.Long(1)), real, std::to_string(call.BoolValue(3))}};
  call.SetOutText(4, "out:" + call.Text(0));
  call.SetOutBool(5, call.Bool(3));
  call.ReturnText(call.Text(0));
}

// Fail(kind, out text): fills the out and the result, then throws.
void Fail(void* self, DispatchCall& call) {
  static_cast<Seen*>(self)->calls++;
  call.SetOutText(1, "lost");
  call.ReturnText("lost");
  if (call.Long(0) == 1) throw std::bad_alloc();
  if (call.Long(0) == 2) throw std::runtime_error("handler failed");
  throw 42;
}

const DispatchEntry kEntries[] = {
    {L"Probe", 1,
     {{L"t", ParamType::Text}, {L"n", ParamType::Long}, {L"d", ParamType::Double}, {L"b", ParamType::Bool},
      {L"o", ParamType::OutText}, {L"f", ParamType::OutBool}},
     ResultType::Text, Probe},
    {L"Fail", 2, {{L"kind", ParamType::Long}, {L"o", ParamType::OutText}}, ResultType::Text, Fail},
};
const DispatchTable kTable = {kEntries, 2};

VARIANT Of(VARTYPE vt, LONGLONG bits = 0) {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = vt;
  V_I8(&v) = bits;
  return v;
}
VARIANT R8(double x) { VARIANT v = Of(VT_R8); V_R8(&v) = x; return v; }

// Owns what one call's VARIANTs point to; addresses stay put.
struct Store {
  std::deque<VARIANT> vars;
  std::deque<BSTR> bstrs;
  std::deque<LONGLONG> cells;  // targets of typed references
  ~Store() {
    for (VARIANT& v : vars) ::VariantClear(&v);
    for (BSTR b : bstrs) ::SysFreeString(b);
  }
  VARIANT Str(const wchar_t* s) { return vars.push_back(Of(VT_BSTR)), V_BSTR(&vars.back()) = s ? ::SysAllocString(s) : nullptr, vars.back(); }
  VARIANT Cell(VARTYPE vt, LONGLONG value) { return cells.push_back(value), Ref(vt, &cells.back()); }
  VARIANT Ref(VARTYPE vt, void* target) { VARIANT v = Of(VT_BYREF | vt); V_BYREF(&v) = target; return v; }
  VARIANT RefBstr(const wchar_t* s) { return bstrs.push_back(::SysAllocString(s)), Ref(VT_BSTR, &bstrs.back()); }
  VARIANT RefVar(VARIANT inner) {  // takes inner over, unless it is already kept
    if (vars.empty() || std::memcmp(&vars.back(), &inner, sizeof inner)) vars.push_back(inner);
    return Ref(VT_VARIANT, &vars.back());
  }
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

TEST(DispatchTest, ProbeArgumentsAsClientsPassThem) {
  ScopedNumberSettings spanish(kSpanish);  // numbers become text the same way for every user
  const struct {
    const char* label;
    size_t slot;  // the argument of Probe the row replaces
    std::function<VARIANT(Store&)> make;
    HRESULT hr;
    std::string seen;  // what the handler saw (in) or what the slot holds after (out)
  } rows[] = {
      {"NULL BSTR", 0, [](Store& s) { return s.Str(nullptr); }, S_OK, ""},
      {"embedded NUL", 0, [](Store& s) { return s.vars.push_back(Of(VT_BSTR)), V_BSTR(&s.vars.back()) = ::SysAllocStringLen(L"a\0b", 3), s.vars.back(); }, S_OK, std::string("a\0b", 3)},
      {"variable of a BSTR reference", 0, [](Store& s) { return s.RefVar(s.RefBstr(L"ñandú")); }, S_OK, "ñandú"},
      {"double as text, with a point", 0, [](Store&) { return R8(-1234.5); }, S_OK, "-1234.5"},
      {"VT_NULL as text", 0, [](Store&) { return Of(VT_NULL); }, DISP_E_TYPEMISMATCH, ""},
      {"text through NULL", 0, [](Store& s) { return s.Ref(VT_BSTR, nullptr); }, E_POINTER, ""},
      {"script literal 5 (VT_I2)", 1, [](Store&) { return Of(VT_I2, 5); }, S_OK, "5"},
      {"long by reference", 1, [](Store& s) { return s.Cell(VT_I4, 9); }, S_OK, "9"},
      {"word as long", 1, [](Store& s) { return s.Str(L"abc"); }, DISP_E_TYPEMISMATCH, ""},
      {"1e20 as long", 1, [](Store&) { return R8(1e20); }, DISP_E_OVERFLOW, ""},
      {"text with a point as double", 2, [](Store& s) { return s.RefVar(s.Str(L"-0.001")); }, S_OK, "-0.001"},
      {"script literal 5 as boolean", 3, [](Store&) { return Of(VT_I2, 5); }, S_OK, "-1"},
      {"out text into a variable holding a number", 4, [](Store& s) { return s.RefVar(Of(VT_I4, 5)); }, S_OK, "T:out:t"},
      {"out flag into a boolean reference", 5, [](Store& s) { return s.Cell(VT_BOOL, 0); }, S_OK, "B:-1"},
      {"out text by value", 4, [](Store& s) { return s.Str(L"v"); }, DISP_E_TYPEMISMATCH, ""},
      {"out text into a long reference", 4, [](Store& s) { return s.Cell(VT_I4, 1); }, DISP_E_TYPEMISMATCH, ""},
      {"out text through a variable's NULL", 4, [](Store& s) { return s.RefVar(s.Ref(VT_BSTR, nullptr)); }, E_POINTER, ""},
      {"out flag into a BSTR reference", 5, [](Store& s) { return s.RefBstr(L"t"); }, DISP_E_TYPEMISMATCH, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    Store s;
    std::vector<VARIANT> args = {s.Str(L"t"), Of(VT_I4, 1), R8(2.5), Of(VT_BOOL, VARIANT_TRUE), s.RefBstr(L"before"),
                                 s.RefVar(Of(VT_I4, 7))};
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
    EXPECT_EQ(5 - row.slot, argErr) << "Invoke's index, last argument first";
    EXPECT_EQ(VT_EMPTY, V_VT(&result.v));
    EXPECT_EQ(row.slot == 4 ? "I:7" : "T:before", Held(args[row.slot == 4 ? 5 : 4])) << "an out changed on failure";
  }
}

TEST(DispatchTest, RefusedCallsAndFailingHandlers) {
  Seen seen;
  VARIANT arg = Of(VT_I4, 1);
  DISPID named = 0;
  const struct {
    DISPID id;
    WORD flags;
    DISPPARAMS params;
    HRESULT hr;
  } rows[] = {
      {1, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, DISP_E_BADPARAMCOUNT},
      {2, DISPATCH_METHOD, {&arg, &named, 1, 1}, DISP_E_NONAMEDARGS},
      {2, DISPATCH_PROPERTYPUT, {&arg, nullptr, 1, 0}, DISP_E_MEMBERNOTFOUND},
      {3, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, DISP_E_MEMBERNOTFOUND},
      {DISPID_VALUE, DISPATCH_METHOD, {nullptr, nullptr, 0, 0}, DISP_E_MEMBERNOTFOUND},
  };
  for (auto row : rows)
    EXPECT_EQ(row.hr, InvokeFromTable(kTable, &seen, row.id, row.flags, &row.params, nullptr, nullptr, nullptr)) << row.id;
  EXPECT_EQ(0, seen.calls);
  for (long kind : {1L, 2L, 3L}) {
    Store s;
    VARIANT args[2] = {s.RefBstr(L"before"), Of(VT_I4, kind)};  // last first
    DISPPARAMS params = {args, nullptr, 2, 0};
    Var result(77L);
    EXCEPINFO excep = {};
    EXPECT_EQ(kind == 1 ? E_OUTOFMEMORY : DISP_E_EXCEPTION,
              InvokeFromTable(kTable, &seen, 2, DISPATCH_PROPERTYGET, &params, &result.v, &excep, nullptr));
    EXPECT_EQ("T:before I:77", Held(args[0]) + " " + Held(result.v)) << "outs untouched when the handler fails";
    EXPECT_TRUE(kind == 1 || FAILED(excep.scode) || excep.wCode) << "EXCEPINFO must say what failed";
    ::SysFreeString(excep.bstrSource), ::SysFreeString(excep.bstrDescription), ::SysFreeString(excep.bstrHelpFile);
  }
  EXPECT_EQ(3, seen.calls);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"pRoBe"), const_cast<LPOLESTR>(L"t")};
  DISPID ids[2] = {5, 5};
  EXPECT_EQ(DISP_E_UNKNOWNNAME, GetIDsFromTable(kTable, names, 2, ids)) << "parameter names are not resolved";
  EXPECT_EQ(1, ids[0]) << "names are case-insensitive";
  EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
}

// Sees which blocks the task allocator frees.
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
} g_spy;  // static: the allocator may keep it after revocation

TEST(DispatchTest, TheOldTextOfAnOutParameterIsFreed) {
  auto noCache = reinterpret_cast<void(WINAPI*)()>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache")));
  ASSERT_TRUE(noCache) << "oleaut32 cannot switch its BSTR cache off";
  noCache();
  ASSERT_EQ(S_OK, ::CoRegisterMallocSpy(&g_spy));
  std::vector<BSTR> old;
  {
    Store s;
    // Both outs hold text: the BSTR reference, and a variable the flag goes into.
    std::vector<VARIANT> args = {s.Str(L"t"), Of(VT_I4, 1), R8(2.5), Of(VT_BOOL), s.RefBstr(L"old"), s.RefVar(s.Str(L"o"))};
    old = {*V_BSTRREF(&args[4]), V_BSTR(V_VARIANTREF(&args[5]))};
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.data(), nullptr, 6, 0};
    Seen seen;
    EXPECT_EQ(S_OK, InvokeFromTable(kTable, &seen, 1, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
  }
  EXPECT_EQ(S_OK, ::CoRevokeMallocSpy());
  for (BSTR text : old) {  // the length prefix sits just before the characters
    auto* chars = reinterpret_cast<char*>(text);
    EXPECT_TRUE(std::any_of(g_spy.freed.begin(), g_spy.freed.end(),
                            [&](char* block) { return block < chars && chars - block <= 16; }))
        << "the text an out-parameter held leaks";
  }
}

}  // namespace
}  // namespace qvxtest
