// The table-driven IDispatch of the framework (InvokeFromTable and
// GetIDsFromTable) over a table of this test's own, with every parameter and
// result type, fed the VARIANTs that real automation clients pass: VBScript
// literals by value (5 is VT_I2), VBScript variables as VT_BYREF|VT_VARIANT,
// C++ clients' typed references for out-parameters.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/ansi.h"
#include "framework/dispatch.h"
#include "test_support.h"

namespace {

using qvx::fw::DispatchCall;
using qvx::fw::DispatchEntry;
using qvx::fw::DispatchTable;
using qvx::fw::ParamType;
using qvx::fw::ResultType;

// What the handlers saw; the handlers reach it through the self pointer.
struct Recorder {
  int calls = 0;
  std::string text;
  long number = 0;
  double real = 0.0;
  int boolValue = 0;
};

Recorder& Seen(void* self) { return *static_cast<Recorder*>(self); }

void TakeText(void* self, DispatchCall& call) {
  Seen(self).calls++;
  Seen(self).text = call.Text(0);
  call.ReturnText(call.Text(0));
}

void TakeLong(void* self, DispatchCall& call) {
  Seen(self).calls++;
  Seen(self).number = call.Long(0);
}

void TakeDouble(void* self, DispatchCall& call) {
  Seen(self).calls++;
  Seen(self).real = call.Double(0);
  call.ReturnDouble(call.Double(0));
}

void TakeBool(void* self, DispatchCall& call) {
  Seen(self).calls++;
  Seen(self).boolValue = call.BoolValue(0);
  call.ReturnBool(call.Bool(0));
}

// Fill(value, out text, out flag): the text comes back in the out text, and
// the flag is true when the text is "yes".
void Fill(void* self, DispatchCall& call) {
  Seen(self).calls++;
  call.SetOutText(1, call.Text(0));
  call.SetOutBool(2, call.Text(0) == "yes");
  call.ReturnBool(true);
}

void Mixed(void* self, DispatchCall& call) {
  Recorder& r = Seen(self);
  r.calls++;
  r.text = call.Text(0);
  r.number = call.Long(1);
  r.real = call.Double(2);
  r.boolValue = call.BoolValue(3);
  call.SetOutText(4, "mixed");
  call.SetOutBool(5, true);
  call.ReturnText("ok");
}

// Fail(kind, out text, out flag): fills both outs and the result, then throws.
void Fail(void* self, DispatchCall& call) {
  Seen(self).calls++;
  call.SetOutText(1, "should not arrive");
  call.SetOutBool(2, true);
  call.ReturnText("should not arrive");
  switch (call.Long(0)) {
    case 1: throw std::bad_alloc();
    case 2: throw std::runtime_error("handler failed");
    default: throw 42;
  }
}

void Nothing(void* self, DispatchCall&) { Seen(self).calls++; }

void SpanishText(void*, DispatchCall& call) { call.ReturnText("ñandú €"); }

enum : DISPID {
  kTakeText = 1,
  kTakeLong = 2,
  kTakeDouble = 3,
  kTakeBool = 4,
  kFill = 5,
  kMixed = 6,
  kFail = 7,
  kNothing = 8,
  kSpanish = 0x1000,
};

const DispatchEntry kEntries[] = {
    {L"TakeText", kTakeText, {{L"value", ParamType::Text}}, ResultType::Text, TakeText},
    {L"TakeLong", kTakeLong, {{L"value", ParamType::Long}}, ResultType::None, TakeLong},
    {L"TakeDouble", kTakeDouble, {{L"value", ParamType::Double}}, ResultType::Double, TakeDouble},
    {L"TakeBool", kTakeBool, {{L"value", ParamType::Bool}}, ResultType::Bool, TakeBool},
    {L"Fill", kFill,
     {{L"value", ParamType::Text}, {L"outText", ParamType::OutText}, {L"outFlag", ParamType::OutBool}},
     ResultType::Bool, Fill},
    {L"Mixed", kMixed,
     {{L"t", ParamType::Text},
      {L"n", ParamType::Long},
      {L"d", ParamType::Double},
      {L"b", ParamType::Bool},
      {L"outText", ParamType::OutText},
      {L"outFlag", ParamType::OutBool}},
     ResultType::Text, Mixed},
    {L"Fail", kFail,
     {{L"kind", ParamType::Long}, {L"outText", ParamType::OutText}, {L"outFlag", ParamType::OutBool}},
     ResultType::Text, Fail},
    {L"Nothing", kNothing, {}, ResultType::None, Nothing},
    {L"SpanishText", kSpanish, {}, ResultType::Text, SpanishText},
};

const DispatchTable kTable = {kEntries, sizeof(kEntries) / sizeof(kEntries[0])};

// Owns the values that the VARIANTs of one call point to. Slots keep their
// addresses, and whatever a call leaves in them is freed at the end.
class ArgStore {
 public:
  ArgStore() = default;
  ArgStore(const ArgStore&) = delete;
  ArgStore& operator=(const ArgStore&) = delete;
  ~ArgStore() {
    for (VARIANT& v : variants_) ::VariantClear(&v);
    for (BSTR b : bstrs_) ::SysFreeString(b);
  }

  static VARIANT Str(const wchar_t* text) {
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text ? ::SysAllocString(text) : nullptr;
    return v;
  }
  static VARIANT Of(VARTYPE vt) {
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = vt;
    return v;
  }
  static VARIANT I2(short n) { VARIANT v = Of(VT_I2); V_I2(&v) = n; return v; }
  static VARIANT I4(long n) { VARIANT v = Of(VT_I4); V_I4(&v) = n; return v; }
  static VARIANT R4(float x) { VARIANT v = Of(VT_R4); V_R4(&v) = x; return v; }
  static VARIANT R8(double x) { VARIANT v = Of(VT_R8); V_R8(&v) = x; return v; }
  static VARIANT Bool(bool b) { VARIANT v = Of(VT_BOOL); V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE; return v; }
  static VARIANT Empty() { return Of(VT_EMPTY); }
  static VARIANT Null() { return Of(VT_NULL); }
  static VARIANT NullRef(VARTYPE vt) { VARIANT v = Of(VT_BYREF | vt); V_BYREF(&v) = nullptr; return v; }

  // Values that the store keeps; the returned VARIANTs are not owned by the caller.
  VARIANT Keep(VARIANT v) {
    variants_.push_back(v);
    return v;
  }
  VARIANT RefBstr(const wchar_t* text) {
    BSTR& slot = BstrSlot(text);
    VARIANT v = Of(VT_BYREF | VT_BSTR);
    V_BSTRREF(&v) = &slot;
    return v;
  }
  VARIANT RefI4(long n) {
    longs_.push_back(n);
    VARIANT v = Of(VT_BYREF | VT_I4);
    V_I4REF(&v) = &longs_.back();
    return v;
  }
  VARIANT RefR8(double x) {
    reals_.push_back(x);
    VARIANT v = Of(VT_BYREF | VT_R8);
    V_R8REF(&v) = &reals_.back();
    return v;
  }
  VARIANT RefBool(VARIANT_BOOL b) {
    bools_.push_back(b);
    VARIANT v = Of(VT_BYREF | VT_BOOL);
    V_BOOLREF(&v) = &bools_.back();
    return v;
  }
  // A script variable: VT_BYREF|VT_VARIANT to a VARIANT that the store owns.
  VARIANT RefVar(VARIANT inner) {
    variants_.push_back(inner);
    VARIANT v = Of(VT_BYREF | VT_VARIANT);
    V_VARIANTREF(&v) = &variants_.back();
    return v;
  }

  BSTR& BstrSlot(const wchar_t* text) {
    bstrs_.push_back(text ? ::SysAllocString(text) : nullptr);
    return bstrs_.back();
  }

 private:
  std::deque<VARIANT> variants_;
  std::deque<BSTR> bstrs_;
  std::deque<long> longs_;
  std::deque<double> reals_;
  std::deque<VARIANT_BOOL> bools_;
};

class DispatchTest : public ::testing::Test {
 protected:
  // Invokes id with args in declaration order (reversed here, as Invoke takes them).
  HRESULT Call(DISPID id, std::vector<VARIANT> args, VARIANT* result = nullptr, UINT* argErr = nullptr,
               WORD flags = DISPATCH_METHOD, EXCEPINFO* excep = nullptr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()),
                         0};
    return qvx::fw::InvokeFromTable(kTable, &seen_, id, flags, &params, result, excep, argErr);
  }

  Recorder seen_;
};

std::wstring BstrText(BSTR b) { return std::wstring(b ? b : L"", b ? ::SysStringLen(b) : 0); }

// In-parameters: how each client's VARIANT arrives in the handler

struct TextCase {
  const char* label;
  std::function<VARIANT(ArgStore&)> make;
  const char* expected;  // ANSI, as the handler receives it
};

TEST_F(DispatchTest, TextParameterFromWhatClientsPass) {
  // Numbers become text the same way whatever the user's regional settings.
  qvxtest::ScopedNumberSettings spanish(qvxtest::kSpanish);
  const TextCase cases[] = {
      {"BSTR", [](ArgStore& s) { return s.Keep(ArgStore::Str(L"abc")); }, "abc"},
      {"NULL BSTR", [](ArgStore& s) { return s.Keep(ArgStore::Str(nullptr)); }, ""},
      {"empty BSTR", [](ArgStore& s) { return s.Keep(ArgStore::Str(L"")); }, ""},
      {"Spanish letters", [](ArgStore& s) { return s.Keep(ArgStore::Str(L"ñandú €")); }, "ñandú €"},
      {"C++ BSTR by reference", [](ArgStore& s) { return s.RefBstr(L"xyz"); }, "xyz"},
      {"NULL BSTR by reference", [](ArgStore& s) { return s.RefBstr(nullptr); }, ""},
      {"VBScript variable with text", [](ArgStore& s) { return s.RefVar(ArgStore::Str(L"v")); }, "v"},
      {"VBScript unset variable", [](ArgStore& s) { return s.RefVar(ArgStore::Empty()); }, ""},
      {"variable holding a BSTR reference", [](ArgStore& s) { return s.RefVar(s.RefBstr(L"w")); }, "w"},
      {"variable of a variable", [](ArgStore& s) { return s.RefVar(s.RefVar(ArgStore::Str(L"n"))); }, "n"},
      {"VBScript literal 5 (VT_I2)", [](ArgStore&) { return ArgStore::I2(5); }, "5"},
      {"long", [](ArgStore&) { return ArgStore::I4(-12); }, "-12"},
      {"double", [](ArgStore&) { return ArgStore::R8(1234.5); }, "1234.5"},
      {"double below one", [](ArgStore&) { return ArgStore::R8(0.1); }, "0.1"},
      {"VBScript variable with a double", [](ArgStore& s) { return s.RefVar(ArgStore::R8(-0.25)); }, "-0.25"},
      {"double by reference", [](ArgStore& s) { return s.RefR8(2.5); }, "2.5"},
      {"VT_EMPTY by value", [](ArgStore&) { return ArgStore::Empty(); }, ""},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    qvxtest::Variant result;
    seen_ = Recorder{};
    ASSERT_EQ(S_OK, Call(kTakeText, {c.make(store)}, result.get()));
    EXPECT_EQ(1, seen_.calls);
    EXPECT_EQ(std::string(c.expected), seen_.text);
    ASSERT_EQ(VT_BSTR, V_VT(result.get()));
    EXPECT_EQ(qvx::fw::WideFromAnsi(c.expected), BstrText(V_BSTR(result.get())));
  }
}

struct NumberCase {
  const char* label;
  std::function<VARIANT(ArgStore&)> make;
  double expected;
};

TEST_F(DispatchTest, LongParameterFromWhatClientsPass) {
  qvxtest::ScopedNumberSettings spanish(qvxtest::kSpanish);
  const NumberCase cases[] = {
      {"VBScript literal 5 (VT_I2)", [](ArgStore&) { return ArgStore::I2(5); }, 5},
      {"long", [](ArgStore&) { return ArgStore::I4(-7); }, -7},
      {"VBScript variable", [](ArgStore& s) { return s.RefVar(ArgStore::I2(3)); }, 3},
      {"long by reference", [](ArgStore& s) { return s.RefI4(9); }, 9},
      {"text", [](ArgStore& s) { return s.Keep(ArgStore::Str(L"12")); }, 12},
      {"whole double", [](ArgStore&) { return ArgStore::R8(3.0); }, 3},
      {"Automation true", [](ArgStore&) { return ArgStore::Bool(true); }, -1},
      {"VBScript unset variable", [](ArgStore& s) { return s.RefVar(ArgStore::Empty()); }, 0},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    qvxtest::Variant result;
    V_VT(result.get()) = VT_I4;  // a method without result leaves it empty
    seen_ = Recorder{};
    ASSERT_EQ(S_OK, Call(kTakeLong, {c.make(store)}, result.get()));
    EXPECT_EQ(1, seen_.calls);
    EXPECT_EQ(static_cast<long>(c.expected), seen_.number);
    EXPECT_EQ(VT_EMPTY, V_VT(result.get()));
  }
}

TEST_F(DispatchTest, DoubleParameterFromWhatClientsPass) {
  // Text is read with a point as decimal separator even for a Spanish user.
  qvxtest::ScopedNumberSettings spanish(qvxtest::kSpanish);
  const NumberCase cases[] = {
      {"double", [](ArgStore&) { return ArgStore::R8(1234.5); }, 1234.5},
      {"VBScript literal 5 (VT_I2)", [](ArgStore&) { return ArgStore::I2(5); }, 5.0},
      {"long", [](ArgStore&) { return ArgStore::I4(-3); }, -3.0},
      {"float", [](ArgStore&) { return ArgStore::R4(0.5f); }, 0.5},
      {"plain text", [](ArgStore& s) { return s.Keep(ArgStore::Str(L"1234.5")); }, 1234.5},
      {"negative plain text", [](ArgStore& s) { return s.Keep(ArgStore::Str(L"-0.001")); }, -0.001},
      {"double by reference", [](ArgStore& s) { return s.RefR8(2.25); }, 2.25},
      {"VBScript variable", [](ArgStore& s) { return s.RefVar(ArgStore::R8(1.005)); }, 1.005},
      {"VBScript variable with text", [](ArgStore& s) { return s.RefVar(ArgStore::Str(L"7.5")); }, 7.5},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    qvxtest::Variant result;
    seen_ = Recorder{};
    ASSERT_EQ(S_OK, Call(kTakeDouble, {c.make(store)}, result.get()));
    EXPECT_EQ(1, seen_.calls);
    EXPECT_DOUBLE_EQ(c.expected, seen_.real);
    ASSERT_EQ(VT_R8, V_VT(result.get()));
    EXPECT_DOUBLE_EQ(c.expected, V_R8(result.get()));
  }
}

TEST_F(DispatchTest, BoolParameterFromWhatClientsPass) {
  const NumberCase cases[] = {
      {"Automation true", [](ArgStore&) { return ArgStore::Bool(true); }, VARIANT_TRUE},
      {"Automation false", [](ArgStore&) { return ArgStore::Bool(false); }, VARIANT_FALSE},
      {"VBScript literal 5 (VT_I2)", [](ArgStore&) { return ArgStore::I2(5); }, VARIANT_TRUE},
      {"VBScript literal 0 (VT_I2)", [](ArgStore&) { return ArgStore::I2(0); }, VARIANT_FALSE},
      {"long 1", [](ArgStore&) { return ArgStore::I4(1); }, VARIANT_TRUE},
      {"VBScript variable", [](ArgStore& s) { return s.RefVar(ArgStore::Bool(true)); }, VARIANT_TRUE},
      {"boolean by reference", [](ArgStore& s) { return s.RefBool(VARIANT_FALSE); }, VARIANT_FALSE},
      {"text True", [](ArgStore& s) { return s.Keep(ArgStore::Str(L"True")); }, VARIANT_TRUE},
      {"text False", [](ArgStore& s) { return s.Keep(ArgStore::Str(L"False")); }, VARIANT_FALSE},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    qvxtest::Variant result;
    seen_ = Recorder{};
    ASSERT_EQ(S_OK, Call(kTakeBool, {c.make(store)}, result.get()));
    EXPECT_EQ(1, seen_.calls);
    EXPECT_EQ(static_cast<int>(c.expected), seen_.boolValue);
    ASSERT_EQ(VT_BOOL, V_VT(result.get()));
    EXPECT_EQ(static_cast<VARIANT_BOOL>(c.expected), V_BOOL(result.get()));
  }
}

struct FailureCase {
  const char* label;
  DISPID id;
  std::function<VARIANT(ArgStore&)> make;
  HRESULT expected;
};

TEST_F(DispatchTest, InParameterThatCannotBeConvertedFails) {
  const FailureCase cases[] = {
      {"text from VT_NULL", kTakeText, [](ArgStore&) { return ArgStore::Null(); }, DISP_E_TYPEMISMATCH},
      {"text through a NULL BSTR pointer", kTakeText, [](ArgStore&) { return ArgStore::NullRef(VT_BSTR); },
       E_POINTER},
      {"text through a NULL variant pointer", kTakeText, [](ArgStore&) { return ArgStore::NullRef(VT_VARIANT); },
       E_POINTER},
      {"long from a word", kTakeLong, [](ArgStore& s) { return s.Keep(ArgStore::Str(L"abc")); },
       DISP_E_TYPEMISMATCH},
      {"long from 1e20", kTakeLong, [](ArgStore&) { return ArgStore::R8(1e20); }, DISP_E_OVERFLOW},
      {"long from VT_NULL", kTakeLong, [](ArgStore&) { return ArgStore::Null(); }, DISP_E_TYPEMISMATCH},
      {"long through a NULL pointer", kTakeLong, [](ArgStore&) { return ArgStore::NullRef(VT_I4); }, E_POINTER},
      {"double from a word", kTakeDouble, [](ArgStore& s) { return s.Keep(ArgStore::Str(L"x")); },
       DISP_E_TYPEMISMATCH},
      {"double from a VBScript variable with a word", kTakeDouble,
       [](ArgStore& s) { return s.RefVar(ArgStore::Str(L"uno")); }, DISP_E_TYPEMISMATCH},
      {"boolean from a word", kTakeBool, [](ArgStore& s) { return s.Keep(ArgStore::Str(L"maybe")); },
       DISP_E_TYPEMISMATCH},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    qvxtest::Variant result;
    V_VT(result.get()) = VT_I4;
    V_I4(result.get()) = 77;
    seen_ = Recorder{};
    UINT argErr = 99;
    EXPECT_EQ(c.expected, Call(c.id, {c.make(store)}, result.get(), &argErr));
    EXPECT_EQ(0, seen_.calls) << "the handler must not run";
    if (c.expected == DISP_E_TYPEMISMATCH) {
      EXPECT_EQ(0u, argErr);
    }
    EXPECT_EQ(VT_I4, V_VT(result.get())) << "the result stays untouched";
    EXPECT_EQ(77, V_I4(result.get()));
  }
}

// Out-parameters

TEST_F(DispatchTest, OutParametersAsCppClientsPassThem) {
  for (const char* value : {"yes", "no"}) {
    SCOPED_TRACE(value);
    ArgStore store;
    BSTR& text = store.BstrSlot(nullptr);
    VARIANT_BOOL flag = std::string(value) == "yes" ? VARIANT_FALSE : VARIANT_TRUE;
    VARIANT outText = ArgStore::Of(VT_BYREF | VT_BSTR);
    V_BSTRREF(&outText) = &text;
    VARIANT outFlag = ArgStore::Of(VT_BYREF | VT_BOOL);
    V_BOOLREF(&outFlag) = &flag;
    qvxtest::Variant result;
    ASSERT_EQ(S_OK, Call(kFill, {store.Keep(ArgStore::Str(qvx::fw::WideFromAnsi(value).c_str())), outText, outFlag},
                         result.get()));
    EXPECT_EQ(qvx::fw::WideFromAnsi(value), BstrText(text));
    EXPECT_EQ(std::string(value) == "yes" ? VARIANT_TRUE : VARIANT_FALSE, flag);
    ASSERT_EQ(VT_BOOL, V_VT(result.get()));
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(result.get()));
  }
}

TEST_F(DispatchTest, OutParametersAsVBScriptPassesThem) {
  const struct {
    const char* label;
    std::function<VARIANT()> textBefore;
    std::function<VARIANT()> flagBefore;
  } cases[] = {
      {"unset variables", [] { return ArgStore::Empty(); }, [] { return ArgStore::Empty(); }},
      {"variables holding other values", [] { return ArgStore::Str(L"old"); }, [] { return ArgStore::I4(7); }},
      {"variables holding the other type", [] { return ArgStore::Bool(false); }, [] { return ArgStore::Str(L"x"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    VARIANT outText = store.RefVar(c.textBefore());
    VARIANT outFlag = store.RefVar(c.flagBefore());
    ASSERT_EQ(S_OK, Call(kFill, {store.Keep(ArgStore::Str(L"yes")), outText, outFlag}));
    VARIANT* text = V_VARIANTREF(&outText);
    VARIANT* flag = V_VARIANTREF(&outFlag);
    ASSERT_EQ(VT_BSTR, V_VT(text));
    EXPECT_EQ(L"yes", BstrText(V_BSTR(text)));
    ASSERT_EQ(VT_BOOL, V_VT(flag));
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(flag));
  }
}

TEST_F(DispatchTest, OutParametersThroughVariantsHoldingTypedReferences) {
  ArgStore store;
  BSTR& text = store.BstrSlot(nullptr);
  VARIANT_BOOL flag = VARIANT_TRUE;
  VARIANT textRef = ArgStore::Of(VT_BYREF | VT_BSTR);
  V_BSTRREF(&textRef) = &text;
  VARIANT flagRef = ArgStore::Of(VT_BYREF | VT_BOOL);
  V_BOOLREF(&flagRef) = &flag;
  VARIANT outText = store.RefVar(textRef);
  VARIANT outFlag = store.RefVar(flagRef);
  ASSERT_EQ(S_OK, Call(kFill, {store.Keep(ArgStore::Str(L"no")), outText, outFlag}));
  EXPECT_EQ(L"no", BstrText(text));
  EXPECT_EQ(VARIANT_FALSE, flag);
  EXPECT_EQ(VT_BYREF | VT_BSTR, V_VT(V_VARIANTREF(&outText))) << "the caller's variant keeps its reference";
  EXPECT_EQ(VT_BYREF | VT_BOOL, V_VT(V_VARIANTREF(&outFlag)));
}

TEST_F(DispatchTest, OutParametersAreWrittenWithoutAResultVariant) {
  ArgStore store;
  VARIANT outText = store.RefBstr(nullptr);
  VARIANT outFlag = store.RefVar(ArgStore::Empty());
  ASSERT_EQ(S_OK, Call(kFill, {store.Keep(ArgStore::Str(L"yes")), outText, outFlag}, nullptr));
  EXPECT_EQ(L"yes", BstrText(*V_BSTRREF(&outText)));
  EXPECT_EQ(VT_BOOL, V_VT(V_VARIANTREF(&outFlag)));
}

// Records the blocks that the task allocator frees, so that a test can tell
// whether a BSTR was released.
class FreeSpy final : public IMallocSpy {
 public:
  std::vector<void*> freed;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IMallocSpy) {
      *ppv = static_cast<IMallocSpy*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T size) override { return size; }
  STDMETHODIMP_(void*) PostAlloc(void* actual) override { return actual; }
  STDMETHODIMP_(void*) PreFree(void* request, BOOL) override {
    freed.push_back(request);
    return request;
  }
  STDMETHODIMP_(void) PostFree(BOOL) override {}
  STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override {
    *newRequest = request;
    return size;
  }
  STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override { return actual; }
  STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
  STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T size, BOOL) override { return size; }
  STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
  STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  STDMETHODIMP_(void) PreHeapMinimize() override {}
  STDMETHODIMP_(void) PostHeapMinimize() override {}

  // True when the block that holds text (its length prefix sits just before
  // the characters) went back to the allocator.
  bool SawFreeOf(BSTR text) const {
    auto* chars = reinterpret_cast<char*>(text);
    for (void* p : freed) {
      auto* block = static_cast<char*>(p);
      if (block < chars && chars - block <= 16) return true;
    }
    return false;
  }
};

FreeSpy g_spy;  // static: the allocator may keep it after revocation

TEST_F(DispatchTest, OldTextOfAnOutParameterIsFreedAndReplaced) {
  // Without the BSTR cache a freed string goes back to the task allocator, where the spy sees it.
  using NoCacheFn = void(WINAPI*)();
  auto noCache = reinterpret_cast<NoCacheFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"oleaut32.dll"), "SetOaNoCache")));
  if (noCache == nullptr) GTEST_SKIP() << "oleaut32 cannot switch its BSTR cache off";
  noCache();
  ASSERT_EQ(S_OK, ::CoRegisterMallocSpy(&g_spy));

  HRESULT hr = E_FAIL;
  bool freedByRef = false, freedInVariant = false, replaced = false;
  std::wstring newText;
  VARTYPE flagType = VT_EMPTY;
  {
    ArgStore store;
    BSTR& byRef = store.BstrSlot(L"old text by reference");
    const BSTR oldByRef = byRef;
    VARIANT outText = ArgStore::Of(VT_BYREF | VT_BSTR);
    V_BSTRREF(&outText) = &byRef;
    VARIANT outFlag = store.RefVar(ArgStore::Str(L"old text in a variable"));
    const BSTR oldInVariant = V_BSTR(V_VARIANTREF(&outFlag));
    g_spy.freed.clear();
    hr = Call(kFill, {store.Keep(ArgStore::Str(L"yes")), outText, outFlag});
    freedByRef = g_spy.SawFreeOf(oldByRef);
    freedInVariant = g_spy.SawFreeOf(oldInVariant);
    replaced = byRef != oldByRef;
    newText = BstrText(byRef);
    flagType = V_VT(V_VARIANTREF(&outFlag));
  }
  // Everything allocated under the spy is gone, so it can leave at once.
  EXPECT_EQ(S_OK, ::CoRevokeMallocSpy());

  ASSERT_EQ(S_OK, hr);
  EXPECT_TRUE(replaced);
  EXPECT_EQ(L"yes", newText);
  EXPECT_TRUE(freedByRef) << "the BSTR that the out-parameter held leaks";
  EXPECT_TRUE(freedInVariant) << "the text that the variable held leaks";
  EXPECT_EQ(VT_BOOL, flagType);
}

TEST_F(DispatchTest, OutParameterThatCannotBeWrittenFailsAndLeavesTheOthers) {
  const struct {
    const char* label;
    bool badText;  // else the flag is the bad one
    std::function<VARIANT(ArgStore&)> make;
    HRESULT expected;
  } cases[] = {
      {"text by value", true, [](ArgStore& s) { return s.Keep(ArgStore::Str(L"v")); }, DISP_E_TYPEMISMATCH},
      {"VT_EMPTY by value", true, [](ArgStore&) { return ArgStore::Empty(); }, DISP_E_TYPEMISMATCH},
      {"long by reference as text", true, [](ArgStore& s) { return s.RefI4(1); }, DISP_E_TYPEMISMATCH},
      {"boolean by reference as text", true, [](ArgStore& s) { return s.RefBool(VARIANT_FALSE); },
       DISP_E_TYPEMISMATCH},
      {"NULL BSTR pointer", true, [](ArgStore&) { return ArgStore::NullRef(VT_BSTR); }, E_POINTER},
      {"NULL variant pointer", true, [](ArgStore&) { return ArgStore::NullRef(VT_VARIANT); }, E_POINTER},
      {"variable holding a NULL BSTR pointer", true,
       [](ArgStore& s) { return s.RefVar(ArgStore::NullRef(VT_BSTR)); }, E_POINTER},
      {"boolean by value", false, [](ArgStore&) { return ArgStore::Bool(true); }, DISP_E_TYPEMISMATCH},
      {"text by reference as boolean", false, [](ArgStore& s) { return s.RefBstr(L"t"); }, DISP_E_TYPEMISMATCH},
      {"NULL boolean pointer", false, [](ArgStore&) { return ArgStore::NullRef(VT_BOOL); }, E_POINTER},
      {"NULL variant pointer as boolean", false, [](ArgStore&) { return ArgStore::NullRef(VT_VARIANT); },
       E_POINTER},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    BSTR& goodText = store.BstrSlot(L"before");
    const BSTR before = goodText;
    VARIANT textArg = ArgStore::Of(VT_BYREF | VT_BSTR);
    V_BSTRREF(&textArg) = &goodText;
    VARIANT flagArg = store.RefVar(ArgStore::I4(5));
    if (c.badText) {
      textArg = c.make(store);
    } else {
      flagArg = c.make(store);
    }
    seen_ = Recorder{};
    UINT argErr = 99;
    EXPECT_EQ(c.expected, Call(kFill, {store.Keep(ArgStore::Str(L"yes")), textArg, flagArg}, nullptr, &argErr));
    EXPECT_EQ(0, seen_.calls);
    // Fill has three parameters: the out text is Invoke's index 1, the out flag index 0.
    if (c.expected == DISP_E_TYPEMISMATCH) {
      EXPECT_EQ(c.badText ? 1u : 0u, argErr);
    }
    EXPECT_EQ(before, goodText);
    EXPECT_EQ(L"before", BstrText(goodText));
    if (c.badText) {
      EXPECT_EQ(VT_I4, V_VT(V_VARIANTREF(&flagArg)));
      EXPECT_EQ(5, V_I4(V_VARIANTREF(&flagArg)));
    }
  }
}

// Arguments arrive last to first: a failing argument is reported with its
// index in Invoke's array, not its position in the declaration.
TEST_F(DispatchTest, TypeMismatchReportsTheInvokeIndex) {
  for (size_t bad = 0; bad < 6; ++bad) {
    SCOPED_TRACE(::testing::Message() << "declared parameter " << bad);
    ArgStore store;
    BSTR& text = store.BstrSlot(L"before");
    VARIANT_BOOL flag = VARIANT_FALSE;
    std::vector<VARIANT> args = {store.Keep(ArgStore::Str(L"t")), ArgStore::I4(1), ArgStore::R8(2.5),
                                 ArgStore::Bool(true), ArgStore::Of(VT_BYREF | VT_BSTR),
                                 ArgStore::Of(VT_BYREF | VT_BOOL)};
    V_BSTRREF(&args[4]) = &text;
    V_BOOLREF(&args[5]) = &flag;
    if (bad == 0) args[0] = ArgStore::Null();
    else if (bad < 4) args[bad] = store.Keep(ArgStore::Str(L"nada"));
    else if (bad == 4) args[4] = store.Keep(ArgStore::Str(L"by value"));
    else args[5] = ArgStore::Bool(false);
    seen_ = Recorder{};
    UINT argErr = 99;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Call(kMixed, args, nullptr, &argErr));
    EXPECT_EQ(5u - bad, argErr);
    EXPECT_EQ(0, seen_.calls);
    EXPECT_EQ(L"before", BstrText(text));
    EXPECT_EQ(VARIANT_FALSE, flag);
  }
}

TEST_F(DispatchTest, EveryParameterTypeArrivesInItsPlace) {
  qvxtest::ScopedNumberSettings spanish(qvxtest::kSpanish);
  ArgStore store;
  VARIANT outText = store.RefVar(ArgStore::Empty());
  VARIANT_BOOL flag = VARIANT_FALSE;
  VARIANT outFlag = ArgStore::Of(VT_BYREF | VT_BOOL);
  V_BOOLREF(&outFlag) = &flag;
  qvxtest::Variant result;
  ASSERT_EQ(S_OK, Call(kMixed,
                       {store.RefVar(ArgStore::Str(L"texto")), ArgStore::I2(3), store.Keep(ArgStore::Str(L"0.125")),
                        ArgStore::I2(-1), outText, outFlag},
                       result.get()));
  EXPECT_EQ("texto", seen_.text);
  EXPECT_EQ(3, seen_.number);
  EXPECT_DOUBLE_EQ(0.125, seen_.real);
  EXPECT_EQ(VARIANT_TRUE, seen_.boolValue);
  EXPECT_EQ(L"mixed", BstrText(V_BSTR(V_VARIANTREF(&outText))));
  EXPECT_EQ(VARIANT_TRUE, flag);
  ASSERT_EQ(VT_BSTR, V_VT(result.get()));
  EXPECT_EQ(L"ok", BstrText(V_BSTR(result.get())));
}

// Results

TEST_F(DispatchTest, TextResultIsConvertedFromTheAnsiCodePage) {
  qvxtest::Variant result;
  ASSERT_EQ(S_OK, Call(kSpanish, {}, result.get()));
  ASSERT_EQ(VT_BSTR, V_VT(result.get()));
  EXPECT_EQ(L"ñandú €", BstrText(V_BSTR(result.get())));
}

TEST_F(DispatchTest, ResultVariantIsOptional) {
  const DISPID ids[] = {kSpanish, kNothing};
  for (DISPID id : ids) {
    SCOPED_TRACE(id);
    EXPECT_EQ(S_OK, Call(id, {}, nullptr));
  }
  EXPECT_EQ(S_OK, Call(kTakeDouble, {ArgStore::R8(1.5)}, nullptr));
  EXPECT_EQ(S_OK, Call(kTakeBool, {ArgStore::Bool(true)}, nullptr));
}

// Calls that Invoke refuses before the handler runs

TEST_F(DispatchTest, WrongArgumentCountIsRefused) {
  const struct {
    const char* label;
    DISPID id;
    size_t count;
  } cases[] = {
      {"none for one", kTakeText, 0}, {"two for one", kTakeText, 2}, {"two for three", kFill, 2},
      {"four for three", kFill, 4},   {"one for none", kNothing, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    std::vector<VARIANT> args;
    for (size_t i = 0; i < c.count; ++i) args.push_back(store.RefVar(ArgStore::Empty()));
    seen_ = Recorder{};
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, Call(c.id, args));
    EXPECT_EQ(0, seen_.calls);
  }
  // No DISPPARAMS at all counts as no arguments.
  EXPECT_EQ(DISP_E_BADPARAMCOUNT,
            qvx::fw::InvokeFromTable(kTable, &seen_, kTakeText, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(S_OK,
            qvx::fw::InvokeFromTable(kTable, &seen_, kNothing, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(DispatchTest, NamedArgumentsAreRefused) {
  ArgStore store;
  VARIANT arg = store.Keep(ArgStore::Str(L"a"));
  DISPID named = 0;
  DISPPARAMS params = {&arg, &named, 1, 1};
  EXPECT_EQ(DISP_E_NONAMEDARGS,
            qvx::fw::InvokeFromTable(kTable, &seen_, kTakeText, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
  EXPECT_EQ(0, seen_.calls);
}

TEST_F(DispatchTest, UnknownDispidIsNotFound) {
  for (DISPID id : {DISPID(0), DISPID(9), DISPID(-1), DISPID(DISPID_VALUE), DISPID(0x1001), DISPID(-5)}) {
    SCOPED_TRACE(id);
    qvxtest::Variant result;
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Call(id, {}, result.get()));
    EXPECT_EQ(VT_EMPTY, V_VT(result.get()));
  }
}

TEST_F(DispatchTest, MethodsAnswerCallsAndPropertyGetsButNotPuts) {
  const struct {
    const char* label;
    WORD flags;
    HRESULT expected;
  } cases[] = {
      {"method", DISPATCH_METHOD, S_OK},
      {"property get", DISPATCH_PROPERTYGET, S_OK},
      {"method or property get (as script expressions call)", DISPATCH_METHOD | DISPATCH_PROPERTYGET, S_OK},
      {"property put", DISPATCH_PROPERTYPUT, DISP_E_MEMBERNOTFOUND},
      {"property put by reference", DISPATCH_PROPERTYPUTREF, DISP_E_MEMBERNOTFOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    qvxtest::Variant result;
    seen_ = Recorder{};
    EXPECT_EQ(c.expected, Call(kTakeText, {store.Keep(ArgStore::Str(L"x"))}, result.get(), nullptr, c.flags));
    EXPECT_EQ(c.expected == S_OK ? 1 : 0, seen_.calls);
  }
}

// Failures inside a handler

TEST_F(DispatchTest, HandlerFailuresBecomeResultsAndLeaveOutParametersUntouched) {
  const struct {
    const char* label;
    long kind;
    HRESULT expected;
  } cases[] = {
      {"out of memory", 1, E_OUTOFMEMORY},
      {"standard exception", 2, DISP_E_EXCEPTION},
      {"anything else thrown", 3, DISP_E_EXCEPTION},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ArgStore store;
    BSTR& text = store.BstrSlot(L"before");
    const BSTR before = text;
    VARIANT outText = ArgStore::Of(VT_BYREF | VT_BSTR);
    V_BSTRREF(&outText) = &text;
    VARIANT outFlag = store.RefVar(ArgStore::Empty());
    qvxtest::Variant result;
    V_VT(result.get()) = VT_I4;
    V_I4(result.get()) = 77;
    EXCEPINFO excep = {};
    seen_ = Recorder{};
    EXPECT_EQ(c.expected, Call(kFail, {ArgStore::I4(c.kind), outText, outFlag}, result.get(), nullptr,
                               DISPATCH_METHOD, &excep));
    EXPECT_EQ(1, seen_.calls);
    EXPECT_EQ(before, text);
    EXPECT_EQ(L"before", BstrText(text));
    EXPECT_EQ(VT_EMPTY, V_VT(V_VARIANTREF(&outFlag)));
    EXPECT_EQ(VT_I4, V_VT(result.get()));
    EXPECT_EQ(77, V_I4(result.get()));
    if (c.expected == DISP_E_EXCEPTION) {
      EXPECT_TRUE(FAILED(excep.scode) || excep.wCode != 0) << "EXCEPINFO must say what failed";
    }
    ::SysFreeString(excep.bstrSource);
    ::SysFreeString(excep.bstrDescription);
    ::SysFreeString(excep.bstrHelpFile);
  }
  // Without an EXCEPINFO the failure is still reported.
  ArgStore store;
  VARIANT outText = store.RefBstr(nullptr);
  VARIANT outFlag = store.RefVar(ArgStore::Empty());
  EXPECT_EQ(DISP_E_EXCEPTION, Call(kFail, {ArgStore::I4(2), outText, outFlag}));
}

// GetIDsOfNames

TEST(DispatchNamesTest, NamesResolveCaseInsensitively) {
  const struct {
    const wchar_t* name;
    DISPID expected;
  } cases[] = {
      {L"TakeText", kTakeText}, {L"taketext", kTakeText}, {L"TAKETEXT", kTakeText}, {L"fIlL", kFill},
      {L"SpanishText", kSpanish}, {L"nothing", kNothing},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(c.name)));
    LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
    DISPID id = 12345;
    EXPECT_EQ(S_OK, qvx::fw::GetIDsFromTable(kTable, names, 1, &id));
    EXPECT_EQ(c.expected, id);
  }
}

TEST(DispatchNamesTest, UnknownNamesAnswerUnknownName) {
  for (const wchar_t* name : {L"Take", L"TakeTextX", L"", L"Take Text", L"value", L"ConvertStrToIntlStr"}) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(name)));
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 12345;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, qvx::fw::GetIDsFromTable(kTable, names, 1, &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);
  }
}

TEST(DispatchNamesTest, ParameterNamesAreNotResolved) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Fill"), const_cast<LPOLESTR>(L"value"),
                      const_cast<LPOLESTR>(L"outText")};
  DISPID ids[3] = {1, 2, 3};
  EXPECT_EQ(DISP_E_UNKNOWNNAME, qvx::fw::GetIDsFromTable(kTable, names, 3, ids));
  EXPECT_EQ(kFill, ids[0]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[1]);
  EXPECT_EQ(DISPID_UNKNOWN, ids[2]);
}

TEST(DispatchNamesTest, NullArraysAreRefused) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Fill")};
  DISPID id = 12345;
  EXPECT_EQ(E_POINTER, qvx::fw::GetIDsFromTable(kTable, nullptr, 1, &id));
  EXPECT_EQ(12345, id);
  EXPECT_EQ(E_POINTER, qvx::fw::GetIDsFromTable(kTable, names, 1, nullptr));
}

}  // namespace
