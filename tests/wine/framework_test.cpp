// The table-driven IDispatch on a table of the test's own: what the control's
// methods cannot show (handlers that fail, texts freed in out-parameters).
#include <algorithm>
#include <new>
#include <stdexcept>

#include "framework/dispatch.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

using namespace qvx::fw;

int g_calls = 0;

// Probe(out text, out flag) answers "new" and true; Fail(kind, out text)
// fills its out and its result, then throws.
void Probe(void*, DispatchCall& call) {
  g_calls++;
  call.SetOutText(0, "new");
  call.SetOutBool(1, true);
}

void Fail(void*, DispatchCall& call) {
  g_calls++;
  call.SetOutText(1, "lost");
  call.ReturnText("lost");
  if (call.Long(0) == 1) throw std::bad_alloc();
  if (call.Long(0) == 2) throw std::runtime_error("handler failed");
  throw 42;
}

const DispatchMethod kMethods[] = {
    {L"Probe", 1, {{L"o", ParamType::OutText}, {L"f", ParamType::OutBool}}, ResultType::None},
    {L"Fail", 2, {{L"kind", ParamType::Long}, {L"o", ParamType::OutText}}, ResultType::Text},
    {L"Unserved", 3, {}, ResultType::None},
};
const DispatchBinding kHandlers[] = {{1, Probe}, {2, Fail}};
const DispatchTable kTable = MakeDispatchTable(kMethods, kHandlers);

VARIANT Ref(VARTYPE vt, void* target) {
  VARIANT v;
  V_VT(&v) = VT_BYREF | vt, V_BYREF(&v) = target;
  return v;
}

TEST(DispatchTest, FailingHandlers) {
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, InvokeFromTable(kTable, nullptr, 3, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr))
      << "described, but no handler serves it";
  for (long kind : {1L, 2L, 3L}) {
    BSTR text = ::SysAllocString(L"before");
    VARIANT args[2] = {Ref(VT_BSTR, &text), Var(kind).v};  // last first
    DISPPARAMS params = {args, nullptr, 2, 0};
    Var result(77L);
    EXCEPINFO excep = {};
    EXPECT_EQ(kind == 1 ? E_OUTOFMEMORY : DISP_E_EXCEPTION,
              InvokeFromTable(kTable, nullptr, 2, DISPATCH_METHOD, &params, &result.v, &excep, nullptr));
    EXPECT_EQ(L"before", std::wstring(text)) << "outs stay untouched when the handler fails";
    EXPECT_EQ(77, V_I4(&result.v));
    EXPECT_TRUE(kind == 1 || FAILED(excep.scode) || excep.wCode) << "EXCEPINFO must say what failed";
    ::SysFreeString(excep.bstrSource), ::SysFreeString(excep.bstrDescription), ::SysFreeString(excep.bstrHelpFile);
    ::SysFreeString(text);
  }
  EXPECT_EQ(3, g_calls);
}

TEST(DispatchTest, TheOldTextOfAnOutParameterIsFreed) {
  AllocSpy* spy = StartAllocSpy();
  ASSERT_TRUE(spy);
  // Both outs hold text: a BSTR reference, and a script variable the flag goes into.
  BSTR text = ::SysAllocString(L"old");
  Var variable(L"o");
  const BSTR old[] = {text, V_BSTR(&variable.v)};
  VARIANT args[2] = {Ref(VT_VARIANT, &variable.v), Ref(VT_BSTR, &text)};  // last first
  DISPPARAMS params = {args, nullptr, 2, 0};
  EXPECT_EQ(S_OK, InvokeFromTable(kTable, nullptr, 1, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr));
  EXPECT_EQ(L"new", std::wstring(text));
  EXPECT_EQ(VARIANT_TRUE, V_BOOL(&variable.v));
  ::SysFreeString(text);
  EXPECT_EQ(S_OK, ::CoRevokeMallocSpy());
  for (BSTR gone : old) {  // the length prefix sits just before the characters
    auto* chars = reinterpret_cast<char*>(gone);
    EXPECT_TRUE(std::any_of(spy->freed.begin(), spy->freed.end(),
                            [&](char* block) { return block < chars && chars - block <= 16; }))
        << "the text an out-parameter held leaks";
  }
}

}  // namespace
}  // namespace qvxtest
