// Bad calls through the control's IDispatch::Invoke, answered as Automation's
// own dispatch answers them: each call goes also to DispInvoke, over a vtable
// interface built here from the registered type library (and from the dispatch
// table for the methods served by name only), on a stub object of that layout.
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "control/intl_ctrl.h"
#include "framework/ansi.h"
#include "qvx_test.h"

#include <psapi.h>

namespace qvxtest {
namespace {

using qvx::fw::DispatchMethod;
using qvx::fw::ParamType;

// The stub's methods return zeros; their signatures are exact because a
// 32-bit stdcall method pops its own arguments.
template <typename Signature>
struct Stub;
template <typename R, typename... A>
struct Stub<R(A...)> {
  static R STDMETHODCALLTYPE Call(void*, A...) { return R(); }
};
template <typename Signature>
void* Slot() {
  return reinterpret_cast<void*>(&Stub<Signature>::Call);
}
using VB = VARIANT_BOOL;
const std::map<DISPID, void*> kStubs = {
    {3, Slot<BSTR(BSTR, long)>()},
    {4, Slot<BSTR(double, long, long)>()},
    {5, Slot<BSTR(BSTR)>()},
    {6, Slot<double(BSTR)>()},
    {7, Slot<VB(BSTR)>()},
    {8, Slot<void(VB)>()},
    {10, Slot<BSTR(BSTR, VB*)>()},
    {14, Slot<void(VB)>()},
    {15, Slot<VB(BSTR, BSTR*, BSTR*)>()},
    {19, Slot<void(BSTR, BSTR, BSTR, BSTR, BSTR)>()},
    {26, Slot<VB(BSTR, BSTR*, BSTR*, BSTR*)>()},
    {27, Slot<VB(BSTR, VB*, BSTR*, BSTR*, BSTR*, BSTR*)>()},
    {28, Slot<VB(BSTR, BSTR, VB*, BSTR*, BSTR*, BSTR*, BSTR*)>()},
};
HRESULT STDMETHODCALLTYPE StubQueryInterface(void*, REFIID, void** out) { return *out = nullptr, E_NOINTERFACE; }
ULONG STDMETHODCALLTYPE StubAddRef(void*) { return 1; }

// Ends MirrorInterface, naming the step that failed.
#define QVX_TRY(call)                                                                \
  if (const HRESULT hr_ = (call); FAILED(hr_)) {                                     \
    ADD_FAILURE() << #call << " failed: " << std::hex << static_cast<unsigned>(hr_); \
    return {};                                                                       \
  }

// The control's methods as a vtable interface (IUnknown first): the described
// ones copied from its dispinterface, the others typed as the dispatch table
// types them. slots receives the stub object's vtable.
com_ptr<ITypeInfo> MirrorInterface(IDispatch* control, std::vector<void*>& slots) {
  com_ptr<ITypeLib> stdole;
  com_ptr<ITypeInfo> described, unknown;
  QVX_TRY(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, described.put()));
  QVX_TRY(::LoadTypeLib(L"stdole2.tlb", stdole.put()));
  QVX_TRY(stdole->GetTypeInfoOfGuid(IID_IUnknown, unknown.put()));
  wchar_t path[MAX_PATH + 20] = {};
  ::GetTempPathW(MAX_PATH, path);
  wcscat(path, L"qvx_mirror.tlb");  // never saved
  com_ptr<ICreateTypeLib2> lib;
  com_ptr<ICreateTypeInfo> make;
  HREFTYPE base = 0;
  QVX_TRY(::CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, path, lib.put()));
  QVX_TRY(lib->CreateTypeInfo(const_cast<LPOLESTR>(L"IQVXIntlMirror"), TKIND_INTERFACE, make.put()));
  QVX_TRY(make->AddRefTypeInfo(unknown.get(), &base));
  QVX_TRY(make->AddImplType(0, base));
  TYPEATTR* attr = nullptr;
  QVX_TRY(described->GetTypeAttr(&attr));
  std::map<DISPID, FUNCDESC*> descriptions;
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* f = nullptr;
    if (SUCCEEDED(described->GetFuncDesc(i, &f))) descriptions[f->memid] = f;
  }
  described->ReleaseTypeAttr(attr);
  const qvx::fw::DispatchTable& table = qvx::CQVXIntlCtrl::DispatchMap();
  static const TYPEDESC outText = {{nullptr}, VT_BSTR}, outBool = {{nullptr}, VT_BOOL};
  HRESULT hr = S_OK;
  for (UINT index = 0; index < table.count && SUCCEEDED(hr); ++index) {
    const DispatchMethod& entry = table.methods[index];
    std::vector<ELEMDESC> params;
    FUNCDESC copy = {};
    if (const FUNCDESC* f = descriptions[entry.id]) {
      copy = *f;
      params.assign(f->lprgelemdescParam, f->lprgelemdescParam + f->cParams);
      for (ELEMDESC& p : params) {  // the enumeration, in the registered library
        com_ptr<ITypeInfo> ref;
        if (p.tdesc.vt == VT_USERDEFINED && SUCCEEDED(hr = described->GetRefTypeInfo(p.tdesc.hreftype, ref.put())))
          hr = make->AddRefTypeInfo(ref.get(), &p.tdesc.hreftype);
      }
    } else {
      const VARTYPE types[] = {VT_BSTR, VT_I4, VT_R8, VT_BOOL, VT_PTR, VT_PTR};
      for (const qvx::fw::DispatchParam& p : entry.params) {
        ELEMDESC d = {};
        d.tdesc.vt = types[int(p.type)];
        d.tdesc.lptdesc = const_cast<TYPEDESC*>(p.type == ParamType::OutText ? &outText : &outBool);
        params.push_back(d);
      }
      const VARTYPE results[] = {VT_VOID, VT_BSTR, VT_R8, VT_BOOL};
      copy.memid = entry.id;
      copy.elemdescFunc.tdesc.vt = results[int(entry.result)];
      copy.cParams = static_cast<SHORT>(params.size());
    }
    copy.funckind = FUNC_PUREVIRTUAL, copy.invkind = INVOKE_FUNC, copy.callconv = CC_STDCALL;
    copy.lprgelemdescParam = params.data(), copy.cScodes = 0, copy.lprgscode = nullptr;
    if (SUCCEEDED(hr)) hr = make->AddFuncDesc(index, &copy);
  }
  for (auto& [id, f] : descriptions)
    if (f) described->ReleaseFuncDesc(f);
  QVX_TRY(hr);
  com_ptr<ITypeInfo> mirror;
  QVX_TRY(make->LayOut());
  QVX_TRY(make->QueryInterface(IID_ITypeInfo, mirror.put_void()));
  slots.assign(3 + table.count, nullptr);
  slots[0] = reinterpret_cast<void*>(&StubQueryInterface);
  slots[1] = slots[2] = reinterpret_cast<void*>(&StubAddRef);
  for (UINT i = 0; i < table.count; ++i) {
    FUNCDESC* f = nullptr;
    QVX_TRY(mirror->GetFuncDesc(i, &f));
    slots.at(f->oVft / sizeof(void*)) = kStubs.at(f->memid);
    mirror->ReleaseFuncDesc(f);
  }
  return mirror;
}

VARIANT Take(Var value) {
  VARIANT v = value.v;
  ::VariantInit(&value.v);
  return v;
}

VARIANT Ref(VARTYPE vt, void* target) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | vt, V_BYREF(&v) = target;
  return v;
}

IDispatch* g_control = nullptr;  // the control itself, passed as an argument

// One call: the arguments in declaration order (each out-parameter points to
// a text "keep" or a flag 7 of its own), the DISPID and the flags.
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
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  void Set(size_t i, Var value) { ::VariantClear(&v[i]), v[i] = Take(std::move(value)); }
  void Set(size_t i, VARTYPE vt) { ::VariantClear(&v[i]), V_VT(&v[i]) = vt, V_ERROR(&v[i]) = DISP_E_PARAMNOTFOUND; }
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

Var Text(const wchar_t* text, UINT length) {
  Var v;
  V_VT(&v.v) = VT_BSTR, V_BSTR(&v.v) = text ? ::SysAllocStringLen(text, length) : nullptr;
  return v;
}

enum class Target { Call, In, Text, Long, Double, Bool, Out };
constexpr HRESULT kSame = S_FALSE;  // the control answers as the standard dispatch

struct Row {
  const char* what;
  Target target;  // the call, or the first parameter of that kind
  void (*make)(Call& c, size_t i);
  // Where the control answers otherwise on purpose, with the reason beside
  // the row: S_OK when it accepts the argument, else the error it returns.
  HRESULT ours = kSame;
};

const Row kRows[] = {
    {"as declared", Target::Call, [](Call&, size_t) {}},
    {"as VB calls in an expression", Target::Call, [](Call& c, size_t) { c.kind |= DISPATCH_PROPERTYGET; }},
    {"a property get", Target::Call, [](Call& c, size_t) { c.kind = DISPATCH_PROPERTYGET; }},
    {"a property put", Target::Call, [](Call& c, size_t) {
       c.kind = DISPATCH_PROPERTYPUT, c.named[0] = DISPID_PROPERTYPUT, c.namedCount = 1; }},
    {"the last argument named", Target::Call, [](Call& c, size_t) { c.named[0] = DISPID(c.n - 1), c.namedCount = 1; }},
    // The documented answer, naming the argument; Wine's counts one argument short.
    {"a name that is no parameter", Target::Call, [](Call& c, size_t) { c.named[0] = 99, c.namedCount = 1; },
     DISP_E_PARAMNOTFOUND},
    {"more names than arguments", Target::Call, [](Call& c, size_t) { c.namedCount = UINT(c.n + 1); }},
    {"no DISPPARAMS", Target::Call, [](Call& c, size_t) { c.noParams = true; }},
    {"one argument too few", Target::Call, [](Call& c, size_t) { c.n--; }},
    // The documented answer; Wine's DispInvoke drops the extra argument unseen.
    {"one argument too many", Target::Call, [](Call& c, size_t) { c.Set(c.n++, Var(0L)); }, DISP_E_BADPARAMCOUNT},
    {"no arguments", Target::Call, [](Call& c, size_t) { c.n = 0; }},
    {"DISPID 9, no method", Target::Call, [](Call& c, size_t) { c.id = 9; }},
    {"DISPID_VALUE", Target::Call, [](Call& c, size_t) { c.id = DISPID_VALUE; }},
    {"omitted (VT_ERROR)", Target::In, [](Call& c, size_t i) { c.Set(i, VT_ERROR); }},
    {"VT_NULL", Target::In, [](Call& c, size_t i) { c.Set(i, VT_NULL); }},
    {"VT_EMPTY", Target::In, [](Call& c, size_t i) { c.Set(i, VT_EMPTY); }},
    {"no VARTYPE (15)", Target::In, [](Call& c, size_t i) { c.Set(i, VARTYPE(15)); }},
    {"an IDispatch without a value", Target::In, [](Call& c, size_t i) {
       c.Set(i, VT_DISPATCH), V_DISPATCH(&c.v[i]) = g_control, g_control->AddRef(); }},
    {"a NULL IDispatch", Target::In, [](Call& c, size_t i) { c.Set(i, VT_DISPATCH), V_DISPATCH(&c.v[i]) = nullptr; }},
    {"an array", Target::In, [](Call& c, size_t i) { c.SetArray(i); }},
    {"a typed reference", Target::In, [](Call& c, size_t i) { c.Refer(i, true); }},
    {"a NULL typed reference", Target::In, [](Call& c, size_t i) { c.Refer(i, true), V_BYREF(&c.v[i]) = nullptr; }},
    {"a script variable", Target::In, [](Call& c, size_t i) { c.Refer(i, false); }},
    {"a reference to a reference", Target::In, [](Call& c, size_t i) {
       c.Refer(i, false), c.link[i] = c.v[i], c.v[i] = Ref(VT_VARIANT, &c.link[i]); }},
    {"a NULL script variable", Target::In, [](Call& c, size_t i) { c.Refer(i, false), V_BYREF(&c.v[i]) = nullptr; }},
    {"a long", Target::Text, [](Call& c, size_t i) { c.Set(i, Var(12L)); }},
    {"a double", Target::Text, [](Call& c, size_t i) { c.Set(i, Var(1.5)); }},
    {"a NULL BSTR", Target::Text, [](Call& c, size_t i) { c.Set(i, Text(nullptr, 0)); }},
    {"an empty text", Target::Text, [](Call& c, size_t i) { c.Set(i, Text(L"", 0)); }},
    {"1 MB of digits", Target::Text, [](Call& c, size_t i) { c.Set(i, Text(std::wstring(1 << 20, L'7').c_str(), 1 << 20)); }},
    {"an embedded NUL", Target::Text, [](Call& c, size_t i) { c.Set(i, Text(L"1\0" L"2", 3)); }},
    {"characters 1252 lacks", Target::Text, [](Call& c, size_t i) { c.Set(i, Text(L"\x4E2D\x0663", 2)); }},
    {"a short", Target::Long, [](Call& c, size_t i) { c.Set(i, Var(short(2))); }},
    {"the text 12", Target::Long, [](Call& c, size_t i) { c.Set(i, Var(L"12")); }},
    {"a double", Target::Long, [](Call& c, size_t i) { c.Set(i, Var(2.5)); }},
    {"a text that is no number", Target::Long, [](Call& c, size_t i) { c.Set(i, Var(L"x")); }},
    {"a script variable holding a long", Target::Long, [](Call& c, size_t i) { c.Refer(i, false); }},
    {"a number past a long", Target::Long, [](Call& c, size_t i) { c.Set(i, Var(L"99999999999")); }},
    {"a long", Target::Double, [](Call& c, size_t i) { c.Set(i, Var(12L)); }},
    {"the text 12", Target::Double, [](Call& c, size_t i) { c.Set(i, Var(L"12")); }},
    {"a text that is no number", Target::Double, [](Call& c, size_t i) { c.Set(i, Var(L"1x")); }},
    {"a number past a double", Target::Double, [](Call& c, size_t i) { c.Set(i, Var(L"1e999")); }},
    {"a short", Target::Bool, [](Call& c, size_t i) { c.Set(i, Var(short(0))); }},
    {"the text False", Target::Bool, [](Call& c, size_t i) { c.Set(i, Var(L"False")); }},
    {"a text that is no boolean", Target::Bool, [](Call& c, size_t i) { c.Set(i, Var(L"x")); }},
    // A value cannot carry the result back: refused, where Wine's DispInvoke
    // hands the method a temporary.
    {"by value", Target::Out, [](Call& c, size_t i) {
       c.Set(i, V_VT(&c.v[i]) == (VT_BYREF | VT_BSTR) ? Var(L"keep") : Var::Bool(true)); }, DISP_E_TYPEMISMATCH},
    // The standard dispatch hands the method a pointer it will write through.
    {"a NULL typed reference", Target::Out, [](Call& c, size_t i) { V_BYREF(&c.v[i]) = nullptr; }, E_POINTER},
    // VBScript passes its variables so; the standard dispatch refuses them for
    // a BSTR* or VARIANT_BOOL* and scripts would never get the results.
    {"a script variable", Target::Out, [](Call& c, size_t i) { c.v[i] = Ref(VT_VARIANT, &c.inner[i]); }, S_OK},
    {"a script variable holding a text", Target::Out, [](Call& c, size_t i) {
       c.inner[i] = Take(Var(L"keep")), c.v[i] = Ref(VT_VARIANT, &c.inner[i]); }, S_OK},
    {"a NULL script variable", Target::Out, [](Call& c, size_t i) { c.v[i] = Ref(VT_VARIANT, nullptr); }, E_POINTER},
    {"a reference to a long", Target::Out, [](Call& c, size_t i) { c.v[i] = Ref(VT_I4, &V_I4(&c.inner[i])); }},
};

bool Is(ParamType type, Target target) {
  const bool out = type == ParamType::OutText || type == ParamType::OutBool;
  switch (target) {
    case Target::In: return !out;
    case Target::Out: return out;
    case Target::Text: return type == ParamType::Text;
    case Target::Long: return type == ParamType::Long;
    case Target::Double: return type == ParamType::Double;
    case Target::Bool: return type == ParamType::Bool;
    default: return false;
  }
}

// These open dialogs or ask a server: here the control must never run them,
// so their last argument is one that both sides refuse.
bool Poisoned(DISPID id) { return id == 15 || id == 19 || id >= 26; }

using Invoker = std::function<HRESULT(Call&, DISPPARAMS*, VARIANT*, UINT*)>;

struct Outcome {
  HRESULT hr = S_OK;
  int argErr = -1;
  VARTYPE vt = VT_EMPTY;
  bool outsKept = true;
  size_t refusedAt = 0;  // the row's argument in rgvarg (the poison and a named one are at 0)
  std::string Text() const {
    char text[80];
    std::snprintf(text, sizeof text, "hr %08lx arg %d vt %d%s", static_cast<unsigned long>(hr), argErr, vt,
                  outsKept ? "" : " outs written");
    return text;
  }
};

// A row's call of a method on one side; false when the row does not apply.
bool CallRow(const Row& row, const DispatchMethod& e, bool poison, bool apply, const Invoker& invoke, Outcome& o) {
  Call c;
  c.n = e.params.size();
  c.id = e.id;
  size_t probe = c.n;
  for (size_t i = 0; i < c.n; ++i) {
    c.Good(i, e.params.begin()[i].type);
    if (probe == c.n && Is(e.params.begin()[i].type, row.target)) probe = i;
  }
  if (row.target != Target::Call && probe == c.n) return false;
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
  o.hr = invoke(c, c.noParams ? nullptr : &params, &result.v, &argErr);
  o.argErr = argErr == 99 ? -1 : int(argErr);
  o.vt = V_VT(&result.v);
  o.outsKept = SUCCEEDED(o.hr) || c.Outs() == before;
  o.refusedAt = row.target == Target::Call ? 0 : c.n - 1 - probe;
  return true;
}

// Wine's DispInvoke leaves puArgErr alone, so the index that the standard
// answer implies is worked out here: the row's argument when the unpoisoned
// call already fails, else the poison.
Outcome Standard(const Row& row, const DispatchMethod& e, const Invoker& invoke) {
  Outcome unpoisoned, o;
  const HRESULT deliberate = row.ours;
  CallRow(row, e, false, deliberate != S_OK, invoke, unpoisoned);
  if (deliberate == kSame || deliberate == S_OK) CallRow(row, e, true, deliberate == kSame, invoke, o);
  else CallRow(row, e, true, true, invoke, o), o.hr = deliberate, o.vt = VT_I4;
  const bool callLevel = o.hr == DISP_E_MEMBERNOTFOUND || o.hr == DISP_E_BADPARAMCOUNT ||
                         (row.target == Target::Call && o.hr == E_INVALIDARG);
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
  com_ptr<ITypeInfo> mirror = MirrorInterface(control.get(), slots);
  ASSERT_TRUE(mirror) << "no vtable interface from the registered type library";
  void* stub = slots.data();
  const Invoker ours = [&](Call& c, DISPPARAMS* p, VARIANT* r, UINT* err) {
    return control->Invoke(c.id, IID_NULL, LOCALE_USER_DEFAULT, c.kind, p, r, nullptr, err);
  };
  const Invoker standard = [&](Call& c, DISPPARAMS* p, VARIANT* r, UINT* err) {
    return ::DispInvoke(&stub, mirror.get(), c.id, c.kind, p, r, nullptr, err);
  };
  const qvx::fw::DispatchTable& table = qvx::CQVXIntlCtrl::DispatchMap();
  auto eachCall = [&](const std::function<void(const Row&, const DispatchMethod&, Outcome&)>& check) {
    for (size_t m = 0; m < table.count; ++m)
      for (const Row& row : kRows)
        if (Outcome got; CallRow(row, table.methods[m], true, true, ours, got)) check(row, table.methods[m], got);
  };
  std::map<std::string, int> rows;
  eachCall([&](const Row& row, const DispatchMethod& e, Outcome& got) {
    const std::string name = qvx::fw::AnsiFromWide(e.name, wcslen(e.name));
    rows[name]++;
    EXPECT_EQ(Standard(row, e, standard).Text(), got.Text()) << name << ": " << row.what;
  });
  for (auto& [name, count] : rows) std::printf("%s: %d rows\n", name.c_str(), count);

  // Leaks: one more pass (the first warmed every cache) leaves no block of
  // the task allocator alive (BSTRs) and does not grow the working set. Wine
  // reports neither private bytes nor a handle count (both read 0).
  auto workingSet = [] {
    PROCESS_MEMORY_COUNTERS m = {};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &m, sizeof m);
    return static_cast<long long>(m.WorkingSetSize);
  };
  AllocSpy* spy = StartAllocSpy();
  ASSERT_TRUE(spy);
  const long long before = workingSet();
  eachCall([](const Row&, const DispatchMethod&, Outcome&) {});
  const long live = spy->live;
  EXPECT_EQ(S_OK, ::CoRevokeMallocSpy());
  EXPECT_EQ(0, live) << "task memory (BSTRs) leaks at the boundary";
  EXPECT_LT(workingSet() - before, 2 << 20) << "the process grows with every pass";
}

}  // namespace
}  // namespace qvxtest
