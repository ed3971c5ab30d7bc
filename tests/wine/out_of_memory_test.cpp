// Each allocation of a call into the linked module code fails in turn (operator new armed): the
// call ends in E_OUTOFMEMORY with result and outs untouched, or answers as with memory to spare.
#include <atomic>
#include <cstdlib>
#include <new>

#include "common/deployment_settings.h"
#include "control/intl_ids.h"
#include "framework/com_server.h"
#include "framework/module_state.h"
#include "module/app.h"
#include "qvx_test.h"

static std::atomic<long> g_left{-1};  // allocations that succeed before one fails; -1: never

void* operator new(std::size_t size) {
  if (g_left >= 0 && g_left.fetch_sub(1) == 0) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return g_left >= 0 && g_left.fetch_sub(1) == 0 ? nullptr : std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace qvxtest {
namespace {

// Runs call(n), arming g_left = n around the module's code, for n = -1 (plenty), 0, 1, ... until it
// makes fewer allocations; returns the wrong outcomes ("" when all are right).
template <typename Call>
std::string FailEachAllocation(Call call) {
  long left = -1, n = 0;
  const std::string plentiful = call(left);
  std::string wrong;
  for (; n < 10000; ++n) {
    const std::string got = call(left = n);
    if (got != plentiful && got != "E_OUTOFMEMORY untouched") wrong += std::to_string(n) + ":" + got + " ";
    if (left >= 0) break;  // the call did not reach this allocation
  }
  return n == 0 ? "no allocation to fail" : wrong;
}

TEST(OutOfMemory, EveryAllocationOfEveryCallFails) {
  ComScope com;
  qvx::fw::AttachModule(::GetModuleHandleW(nullptr));
  ASSERT_TRUE(qvx::TheApp().InitInstance());  // publishes the class factory
  ScratchKey user{HKEY_CURRENT_USER, qvx::kDeploymentKey};
  user.SetText("UpdateServer", "127.0.0.1:1");  // refused at once
  com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, qvx::fw::GetServerClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  com_ptr<IDispatch> control;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, control.put_void()));
  // A method and its arguments: "#n" a long, "$x" a double, "&" a text out, else a text.
  const std::vector<std::vector<const wchar_t*>> rows = {
      {L"ConvertStrToIntlStr", L"1234567.891", L"#1"},
      {L"ConvertFltToIntlStr", L"$-1234.5", L"#2", L"#1"},
      {L"ConvertIntlStrToStr", L"-1.234.567,89"},
      {L"ConvertIntlStrToFlt", L"-1.234,5"},
      {L"ValidateIntlStr", L"1.234,5"},
      {L"GetLastAppVersionFromVandrel", L"QvxTestApp", L"&", L"&"},
  };
  for (const auto& row : rows) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(row[0]);
    ASSERT_EQ(S_OK, control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id));
    auto call = [&](long& left) {
      // The arguments are made before memory runs out: their allocations are the test's.
      std::vector<VARIANT> args(row.size() - 1);  // last first
      BSTR outs[2] = {}, *out = outs;
      for (size_t i = 1; i < row.size(); ++i) {
        VARIANT& v = args[row.size() - 1 - i];
        const wchar_t* t = row[i];
        if (*t == L'#') V_VT(&v) = VT_I4, V_I4(&v) = _wtol(t + 1);
        else if (*t == L'$') V_VT(&v) = VT_R8, V_R8(&v) = _wtof(t + 1);
        else if (*t == L'&') *out = ::SysAllocString(L"old"), V_VT(&v) = VT_BYREF | VT_BSTR, V_BSTRREF(&v) = out++;
        else V_VT(&v) = VT_BSTR, V_BSTR(&v) = ::SysAllocString(t);
      }
      DISPPARAMS params = {args.data(), nullptr, static_cast<UINT>(args.size()), 0};
      Var result;
      g_left = left;
      const HRESULT hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.v, nullptr, nullptr);
      left = g_left.exchange(-1);  // the test's own allocations from here
      bool untouched = V_VT(&result.v) == VT_EMPTY;
      std::string seen = std::to_string(hr) + " " + std::to_string(V_VT(&result.v)) + " " + NarrowText(result.Text());
      for (BSTR o : outs) {
        untouched = untouched && (!o || !wcscmp(o, L"old"));
        seen += " " + NarrowText(o ? o : L"-");
        ::SysFreeString(o);
      }
      for (VARIANT& v : args) ::VariantClear(&v);  // a reference's target stays
      return hr == E_OUTOFMEMORY && untouched ? "E_OUTOFMEMORY untouched" : seen;
    };
    EXPECT_EQ("", FailEachAllocation(call)) << NarrowText(row[0]);
  }
  EXPECT_EQ("", FailEachAllocation([&](long& left) {
    IDispatch* made = nullptr;
    g_left = left;
    const HRESULT hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&made));
    left = g_left.exchange(-1);
    if (made) made->Release();
    return hr == E_OUTOFMEMORY ? std::string(made ? "E_OUTOFMEMORY touched" : "E_OUTOFMEMORY untouched") : std::to_string(hr);
  }));
  control.reset(), factory.reset();
  qvx::TheApp().ExitInstance();
}

}  // namespace
}  // namespace qvxtest
