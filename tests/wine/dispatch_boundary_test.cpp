// Bad calls to the control's Invoke, each also made through DispInvoke on a stub of the same
// layout: the control answers as Automation's own dispatch. Then failing handlers and outs.
#include <stdexcept>
#include <utility>

#include "control/intl_ctrl.h"
#include "framework/ansi.h"
#include "framework/dispatch.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

using namespace qvx::fw;

// Returns zero and pops Words pointer-sized words, as a 32-bit stdcall callee must.
template <typename R, size_t Words>
struct Stub {
  struct Args { void* words[Words]; };
  static R STDMETHODCALLTYPE Call(void*, Args) { return R(); }
};
template <typename R, size_t... W>
std::vector<void*> Stubs(std::index_sequence<W...>) {
  return {reinterpret_cast<void*>(&Stub<R, W + 1>::Call)...};
}
HRESULT STDMETHODCALLTYPE StubQueryInterface(void*, REFIID, void** out) { return *out = nullptr, E_NOINTERFACE; }
ULONG STDMETHODCALLTYPE StubAddRef(void*) { return 1; }

// The control's methods typed as its dispatch table types them; slots receives the stub's vtable.
com_ptr<ITypeInfo> MirrorInterface(std::vector<void*>& slots) {
  const DispatchTable& table = qvx::CQVXIntlCtrl::DispatchMap();
  const VARTYPE params[] = {VT_BSTR, VT_I4, VT_R8, VT_BOOL, VT_BYREF | VT_BSTR, VT_BYREF | VT_BOOL};
  const VARTYPE results[] = {VT_VOID, VT_BSTR, VT_R8, VT_BOOL};
  const std::vector<void*> stubs = Stubs<long>(std::make_index_sequence<8>()),
                           doubles = Stubs<double>(std::make_index_sequence<8>());
  std::vector<std::vector<PARAMDATA>> data(table.count);
  std::vector<METHODDATA> methods;
  slots = {reinterpret_cast<void*>(&StubQueryInterface), reinterpret_cast<void*>(&StubAddRef),
           reinterpret_cast<void*>(&StubAddRef)};
  for (size_t i = 0; i < table.count; ++i) {
    const DispatchMethod& m = table.methods[i];
    size_t words = 0;
    for (const DispatchParam& p : m.params) {
      data[i].push_back({const_cast<OLECHAR*>(p.name), params[int(p.type)]});
      words += p.type == ParamType::Double ? 8 / sizeof(void*) : 1;
    }
    methods.push_back({const_cast<OLECHAR*>(m.name), data[i].data(), m.id, UINT(slots.size()), CC_STDCALL,
                       UINT(data[i].size()), DISPATCH_METHOD, results[int(m.result)]});
    slots.push_back((m.result == ResultType::Double ? doubles : stubs).at(words - 1));
  }
  INTERFACEDATA described = {methods.data(), UINT(methods.size())};
  com_ptr<ITypeInfo> made, mirror;
  HREFTYPE ref = 0;
  // Wine hands out a class whose one interface holds the methods.
  if (FAILED(::CreateDispTypeInfo(&described, LOCALE_USER_DEFAULT, made.put())) ||
      FAILED(made->GetRefTypeOfImplType(0, &ref)) || FAILED(made->GetRefTypeInfo(ref, mirror.put())))
    return {};
  return mirror;
}

VARIANT Ref(VARTYPE vt, void* target) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | vt, V_BYREF(&v) = target;
  return v;
}

IDispatch* g_control = nullptr;  // the control itself, also passed as an argument
ITypeInfo* g_mirror = nullptr;   // its methods for DispInvoke, on g_stub
void* g_stub = nullptr;

// One call, arguments in declaration order; each out points to a text "keep" or a flag 7 of its own.
struct Call {
  static constexpr size_t kMax = 9;
  VARIANT v[kMax], inner[kMax], link[kMax], reversed[kMax];
  BSTR texts[kMax] = {};
  VARIANT_BOOL flags[kMax] = {};
  DISPID named[kMax] = {};
  size_t n = 0;
  DISPID id = 0;
  WORD kind = DISPATCH_METHOD;
  UINT namedCount = 0;
  bool noParams = false;
  Call() {
    for (size_t i = 0; i < kMax; ++i) ::VariantInit(&v[i]), ::VariantInit(&inner[i]), flags[i] = 7;
  }
  ~Call() {
    for (size_t i = 0; i < kMax; ++i) ::VariantClear(&v[i]), ::VariantClear(&inner[i]), ::SysFreeString(texts[i]);
  }
  void Set(size_t i, Var value) { ::VariantClear(&v[i]), v[i] = value.v, ::VariantInit(&value.v); }
  void Set(size_t i, VARTYPE vt) { ::VariantClear(&v[i]), V_VT(&v[i]) = vt, V_ERROR(&v[i]) = DISP_E_PARAMNOTFOUND; }
  void SetText(size_t i, const wchar_t* t, UINT n) {
    Set(i, VT_BSTR), V_BSTR(&v[i]) = t ? ::SysAllocStringLen(t, n) : nullptr;
  }
  void SetArray(size_t i) { Set(i, VARTYPE(VT_ARRAY | VT_I4)), V_ARRAY(&v[i]) = ::SafeArrayCreateVector(VT_I4, 0, 2); }
  // Moves argument i into a variable that the argument then refers to.
  void Refer(size_t i, bool typed) {
    inner[i] = v[i], ::VariantInit(&v[i]);
    v[i] = typed ? Ref(V_VT(&inner[i]), &V_I4(&inner[i])) : Ref(VT_VARIANT, &inner[i]);
  }
  void Good(size_t i, ParamType type) {
    switch (type) {
      case ParamType::Text: Set(i, Var(L"1")); break;
      case ParamType::Long: Set(i, Var(0L)); break;
      case ParamType::Double: Set(i, Var(1.0)); break;
      case ParamType::Bool: Set(i, Var::Bool(false)); break;
      case ParamType::OutText: texts[i] = ::SysAllocString(L"keep"), v[i] = Ref(VT_BSTR, &texts[i]); break;
      case ParamType::OutBool: v[i] = Ref(VT_BOOL, &flags[i]); break;
    }
  }
  DISPPARAMS Params() {
    for (size_t k = 0; k < n; ++k) reversed[k] = v[n - 1 - k];
    return {reversed, named, static_cast<UINT>(n), namedCount};
  }
  // What the callee could have written: out texts and flags, variables.
  std::wstring Outs() const {
    std::wstring all;
    for (size_t i = 0; i < kMax; ++i) {
      all += (texts[i] ? texts[i] : L"-") + std::to_wstring(flags[i]) + std::to_wstring(V_VT(&inner[i]));
      if (V_VT(&inner[i]) == VT_BSTR && V_BSTR(&inner[i])) all += V_BSTR(&inner[i]);
    }
    return all;
  }
};

// What a row changes: the call, or the first parameter of these types (bits by ParamType).
enum : unsigned { kCall = 0, kText = 1, kLong = 2, kDouble = 4, kBool = 8, kIn = 15, kOut = 48 };
constexpr HRESULT kSame = S_FALSE;  // the control answers as the standard dispatch

// ours: where the control answers otherwise on purpose (why above the row), S_OK or its error.
struct Row { const char* what; unsigned target; void (*make)(Call& c, size_t i); HRESULT ours = kSame; };

const Row kRows[] = {
    {"as declared", kCall, [](Call&, size_t) {}},
    {"as VB calls in an expression", kCall, [](Call& c, size_t) { c.kind |= DISPATCH_PROPERTYGET; }},
    {"a property get", kCall, [](Call& c, size_t) { c.kind = DISPATCH_PROPERTYGET; }},
    {"a property put", kCall, [](Call& c, size_t) {
       c.kind = DISPATCH_PROPERTYPUT, c.named[0] = DISPID_PROPERTYPUT, c.namedCount = 1; }},
    {"the last argument named", kCall, [](Call& c, size_t) { c.named[0] = DISPID(c.n - 1), c.namedCount = 1; }},
    // The documented answer, naming the argument; Wine's counts one argument short.
    {"a name that is no parameter", kCall, [](Call& c, size_t) { c.named[0] = 99, c.namedCount = 1; },
     DISP_E_PARAMNOTFOUND},
    {"more names than arguments", kCall, [](Call& c, size_t) { c.namedCount = UINT(c.n + 1); }},
    {"no DISPPARAMS", kCall, [](Call& c, size_t) { c.noParams = true; }},
    {"one argument too few", kCall, [](Call& c, size_t) { c.n--; }},
    // The documented answer; Wine's DispInvoke drops the extra argument unseen.
    {"one argument too many", kCall, [](Call& c, size_t) { c.Set(c.n++, Var(0L)); }, DISP_E_BADPARAMCOUNT},
    {"DISPID 9, no method", kCall, [](Call& c, size_t) { c.id = 9; }},
    {"DISPID_VALUE", kCall, [](Call& c, size_t) { c.id = DISPID_VALUE; }},
    {"omitted (VT_ERROR)", kIn, [](Call& c, size_t i) { c.Set(i, VT_ERROR); }},
    {"an IDispatch without a value", kIn, [](Call& c, size_t i) {
       c.Set(i, VT_DISPATCH), V_DISPATCH(&c.v[i]) = g_control, g_control->AddRef(); }},
    {"a typed reference", kIn, [](Call& c, size_t i) { c.Refer(i, true); }},
    {"a NULL typed reference", kIn, [](Call& c, size_t i) { c.Refer(i, true), V_BYREF(&c.v[i]) = nullptr; }},
    {"a script variable", kIn, [](Call& c, size_t i) { c.Refer(i, false); }},
    {"a reference to a reference", kIn, [](Call& c, size_t i) {
       c.Refer(i, false), c.link[i] = c.v[i], c.v[i] = Ref(VT_VARIANT, &c.link[i]); }},
    {"a NULL script variable", kIn, [](Call& c, size_t i) { c.Refer(i, false), V_BYREF(&c.v[i]) = nullptr; }},
    {"a long", kText, [](Call& c, size_t i) { c.Set(i, Var(12L)); }},
    {"a NULL BSTR", kText, [](Call& c, size_t i) { c.SetText(i, nullptr, 0); }},
    {"an empty text", kText, [](Call& c, size_t i) { c.SetText(i, L"", 0); }},
    {"1 MB of digits", kText, [](Call& c, size_t i) { c.SetText(i, std::wstring(1 << 20, L'7').c_str(), 1 << 20); }},
    {"an embedded NUL", kText, [](Call& c, size_t i) { c.SetText(i, L"1\0" L"2", 3); }},
    {"characters 1252 lacks", kText, [](Call& c, size_t i) { c.SetText(i, L"\x4E2D\x0663", 2); }},
    {"the text 12", kLong, [](Call& c, size_t i) { c.Set(i, Var(L"12")); }},
    {"a text that is no number", kLong, [](Call& c, size_t i) { c.Set(i, Var(L"x")); }},
    {"a number past a long", kLong, [](Call& c, size_t i) { c.Set(i, Var(L"99999999999")); }},
    {"a long", kDouble, [](Call& c, size_t i) { c.Set(i, Var(12L)); }},
    {"the text False", kBool, [](Call& c, size_t i) { c.Set(i, Var(L"False")); }},
    // A value cannot carry the result back; Wine's DispInvoke hands the method a temporary.
    {"by value", kOut, [](Call& c, size_t i) {
       c.Set(i, V_VT(&c.v[i]) == (VT_BYREF | VT_BSTR) ? Var(L"keep") : Var::Bool(true)); }, DISP_E_TYPEMISMATCH},
    // The standard dispatch hands the method a pointer it will write through.
    {"a NULL typed reference", kOut, [](Call& c, size_t i) { V_BYREF(&c.v[i]) = nullptr; }, E_POINTER},
    // VBScript passes its variables so; the standard dispatch refuses them and scripts would get no results.
    {"a script variable", kOut, [](Call& c, size_t i) { c.v[i] = Ref(VT_VARIANT, &c.inner[i]); }, S_OK},
    {"a script variable holding a text", kOut, [](Call& c, size_t i) {
       c.Set(i, Var(L"keep")), c.Refer(i, false); }, S_OK},
    // As for a NULL typed reference.
    {"a NULL script variable", kOut, [](Call& c, size_t i) { c.v[i] = Ref(VT_VARIANT, nullptr); }, E_POINTER},
    {"a reference to a long", kOut, [](Call& c, size_t i) { c.v[i] = Ref(VT_I4, &V_I4(&c.inner[i])); }},
};

// These open dialogs or ask a server: their last argument is one both sides refuse.
bool Poisoned(DISPID id) { return id == 15 || id == 19 || id >= 26; }

struct Outcome {
  HRESULT hr = S_OK;
  int argErr = -1;
  VARTYPE vt = VT_EMPTY;
  bool outsKept = true;
  size_t refusedAt = 0;  // the row's argument in rgvarg (the poison and a named one are at 0)
  std::string Text() const {
    return "hr " + std::to_string(hr) + " arg " + std::to_string(argErr) + " vt " + std::to_string(vt) +
           (outsKept ? "" : " outs written");
  }
};

// A row's call of a method on one side; false when the row does not apply.
bool CallRow(const Row& row, const DispatchMethod& e, bool poison, bool apply, bool standard, Outcome& o) {
  Call c;
  c.n = e.params.size();
  c.id = e.id;
  size_t probe = c.n;
  for (size_t i = 0; i < c.n; ++i) {
    c.Good(i, e.params.begin()[i].type);
    if (probe == c.n && (row.target >> unsigned(e.params.begin()[i].type) & 1)) probe = i;
  }
  if (row.target != kCall && probe == c.n) return false;
  if (poison && Poisoned(e.id)) {
    const size_t last = c.n - 1;
    if (probe == last) return false;
    if (e.params.begin()[last].type == ParamType::Text) c.SetArray(last);
    else c.v[last] = Ref(VT_I4, &V_I4(&c.inner[last]));
  }
  if (apply) row.make(c, probe);
  DISPPARAMS params = c.Params();
  Var result(77L);
  UINT argErr = 99;
  const std::wstring before = c.Outs();
  DISPPARAMS* p = c.noParams ? nullptr : &params;
  o.hr = standard ? ::DispInvoke(&g_stub, g_mirror, c.id, c.kind, p, &result.v, nullptr, &argErr)
                  : g_control->Invoke(c.id, IID_NULL, LOCALE_USER_DEFAULT, c.kind, p, &result.v, nullptr, &argErr);
  o.argErr = argErr == 99 ? -1 : int(argErr);
  o.vt = V_VT(&result.v);
  o.outsKept = SUCCEEDED(o.hr) || c.Outs() == before;
  o.refusedAt = row.target == kCall ? 0 : c.n - 1 - probe;
  return true;
}

// Wine's DispInvoke leaves puArgErr alone: the row's argument if the unpoisoned call fails, else the poison.
Outcome Standard(const Row& row, const DispatchMethod& e) {
  Outcome unpoisoned, o;
  const HRESULT deliberate = row.ours;
  CallRow(row, e, false, deliberate != S_OK, true, unpoisoned);
  if (deliberate == kSame || deliberate == S_OK) CallRow(row, e, true, deliberate == kSame, true, o);
  else CallRow(row, e, true, true, true, o), o.hr = deliberate, o.vt = VT_I4;
  const bool callLevel = o.hr == DISP_E_MEMBERNOTFOUND || o.hr == DISP_E_BADPARAMCOUNT ||
                         (row.target == kCall && o.hr == E_INVALIDARG);
  if (FAILED(o.hr) && !callLevel)
    o.argErr = int(FAILED(unpoisoned.hr) || (deliberate != kSame && deliberate != S_OK) ? o.refusedAt : 0);
  return o;
}

TEST(DispatchBoundary, BadCallsAreAnsweredAsAutomationsOwnDispatchAnswersThem) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  g_control = control.get();
  std::vector<void*> slots;
  com_ptr<ITypeInfo> mirror = MirrorInterface(slots);
  ASSERT_TRUE(mirror) << "no type from the dispatch table";
  g_mirror = mirror.get(), g_stub = slots.data();
  const DispatchTable& table = qvx::CQVXIntlCtrl::DispatchMap();
  auto eachCall = [&](bool compare) {
    for (const DispatchMethod* e = table.methods; e != table.methods + table.count; ++e)
      for (const Row& row : kRows)
        if (Outcome got; CallRow(row, *e, true, true, false, got) && compare) {
          EXPECT_EQ(Standard(row, *e).Text(), got.Text()) << AnsiFromWide(e->name, wcslen(e->name)) << ": " << row.what;
        }
  };
  eachCall(true);
  // One more pass (the first warmed every cache) leaves no BSTR alive.
  AllocSpy* spy = StartAllocSpy();
  ASSERT_TRUE(spy);
  eachCall(false);
  const long live = spy->live;
  EXPECT_EQ(S_OK, ::CoRevokeMallocSpy());
  EXPECT_EQ(0, live) << "task memory (BSTRs) leaks at the boundary";
}

// Probe(kind, out text, out flag) answers "new" and true, then throws unless kind is 0.
void Probe(void*, DispatchCall& call) {
  call.SetOutText(1, "new");
  call.SetOutBool(2, true);
  call.ReturnText("new");
  if (call.Long(0) == 1) throw std::runtime_error("handler failed");
  if (call.Long(0) == 2) throw 42;
}
const DispatchMethod kMethods[] = {
    {L"Probe", 1, {{L"kind", ParamType::Long}, {L"o", ParamType::OutText}, {L"f", ParamType::OutBool}}, ResultType::Text}};
const DispatchBinding kHandlers[] = {{1, Probe}};
const DispatchTable kTable = MakeDispatchTable(kMethods, kHandlers);

// Outs take the answer and free the texts they held. A throwing handler fails the call saying so, nothing
// thrown across the boundary, the outs and result as they were.
TEST(DispatchTest, OutsTakeTheAnswerOrStayWhenTheHandlerThrows) {
  for (long kind : {0L, 1L, 2L}) {
    AllocSpy* spy = StartAllocSpy();
    ASSERT_TRUE(spy);
    BSTR text = ::SysAllocString(L"old");
    Var variable(L"o"), result(77L);  // the flag goes into a script variable that holds a text
    VARIANT args[3] = {Ref(VT_VARIANT, &variable.v), Ref(VT_BSTR, &text), Var(kind).v};  // last first
    DISPPARAMS params = {args, nullptr, 3, 0};
    EXCEPINFO excep = {};
    const HRESULT hr = InvokeFromTable(kTable, nullptr, 1, DISPATCH_METHOD, &params, &result.v, &excep, nullptr);
    const std::wstring flag = V_VT(&variable.v) == VT_BOOL ? std::to_wstring(V_BOOL(&variable.v)) : variable.Text();
    const std::wstring answer = V_VT(&result.v) == VT_I4 ? std::to_wstring(V_I4(&result.v)) : result.Text();
    EXPECT_EQ(kind ? DISP_E_EXCEPTION : S_OK, hr) << kind;
    EXPECT_EQ(kind ? L"old 77 o" : L"new new -1", std::wstring(text) + L" " + answer + L" " + flag) << kind;
    EXPECT_TRUE(!kind || FAILED(excep.scode) || excep.wCode) << "EXCEPINFO must say what failed";
    ::SysFreeString(excep.bstrSource), ::SysFreeString(excep.bstrDescription), ::SysFreeString(excep.bstrHelpFile);
    ::SysFreeString(text), ::VariantClear(&result.v), ::VariantClear(&variable.v);
    const long live = spy->live;
    EXPECT_EQ(S_OK, ::CoRevokeMallocSpy());
    EXPECT_EQ(0, live) << kind << ": a text an out-parameter held leaks";
  }
}

}  // namespace
}  // namespace qvxtest
