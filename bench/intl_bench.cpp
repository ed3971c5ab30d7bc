// Figures for the control's number calls, as a host pays for them: one
// late-bound ConvertFltToIntlStr against one GetNumberFormatA of the same
// value, and a 1 MB ConvertStrToIntlStr. Then the pieces that one call is made
// of, measured alone, to show where its time goes. Figures only: the goals are
// printed, not enforced; the exit code is 0 unless something could not run.
//
// Needs the module registered (tools/test runs it after the Wine tests, whose
// first step registers it).
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_clock.h"

namespace {

constexpr wchar_t kProgId[] = L"Quorvex.QuorvexIntl.Internationalization.1";
constexpr double kValue = 1234567.891;
constexpr char kValueText[] = "1234567.891";
constexpr double kRatioGoal = 1.5;
constexpr double kMegabyteGoalMs = 100.0;

// Each figure is the best of kRounds batches of about kBatchSeconds: the best
// batch is the one least disturbed by the rest of the machine.
constexpr int kRounds = 5;
constexpr double kBatchSeconds = 0.06;

template <typename Body>
double TimeBatch(Body& body, long n) {
  const double start = Seconds();
  for (long i = 0; i < n; ++i) body();
  return Seconds() - start;
}

// Seconds per call of body: sizes a batch to about kBatchSeconds, then keeps
// the fastest of kRounds batches.
template <typename Body>
double PerCall(Body body) {
  long n = 1;
  double t = TimeBatch(body, n);
  while (t < kBatchSeconds / 4 && n < (1L << 24)) {
    n *= 2;
    t = TimeBatch(body, n);
  }
  n = std::max(1L, static_cast<long>(n * (kBatchSeconds / std::max(t, 1e-9))));
  double best = 1e300;
  for (int r = 0; r < kRounds; ++r) best = std::min(best, TimeBatch(body, n) / n);
  return best;
}

std::string Narrow(const wchar_t* text, int length) {
  int n = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(std::max(n, 0)), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, text, length, &out[0], n, nullptr, nullptr);
  return out;
}

void Report(const char* what, double seconds, const char* note = "") {
  std::printf("  %-58s %10.3f us%s\n", what, seconds * 1e6, note);
}

// The control, its two methods' DISPIDs, and Invoke with the result cleared
// after each call as a host does.
class Control {
 public:
  ~Control() {
    if (dispatch_) dispatch_->Release();
  }
  bool Create() {
    CLSID clsid;
    HRESULT hr = ::CLSIDFromProgID(kProgId, &clsid);
    if (SUCCEEDED(hr))
      hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&dispatch_));
    if (FAILED(hr)) {
      std::printf("cannot create %ls (0x%08lX): is the module registered?\n", kProgId, static_cast<unsigned long>(hr));
      return false;
    }
    return Id(L"ConvertFltToIntlStr", flt_) && Id(L"ConvertStrToIntlStr", str_);
  }
  DISPID flt() const { return flt_; }
  bool Id(const wchar_t* name, DISPID& id) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    HRESULT hr = dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) std::printf("GetIDsOfNames(%ls) failed (0x%08lX)\n", name, static_cast<unsigned long>(hr));
    return SUCCEEDED(hr);
  }
  DISPID str() const { return str_; }

  // args in Invoke's order (last parameter first); result is cleared first.
  HRESULT Invoke(DISPID id, VARIANT* args, UINT count, VARIANT* result) {
    ::VariantClear(result);
    DISPPARAMS params = {args, nullptr, count, 0};
    return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, nullptr);
  }

 private:
  IDispatch* dispatch_ = nullptr;
  DISPID flt_ = DISPID_UNKNOWN;
  DISPID str_ = DISPID_UNKNOWN;
};

// 1 MB of text in the user's own format (grouped integer part, decimals)
// through the three parsing methods.
bool TimeRegionalMegabyte(Control& control) {
  wchar_t decimal[10] = {}, thousand[10] = {};
  ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal, 10);
  ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thousand, 10);
  std::wstring text = L"1";
  while (text.size() < (1u << 19)) text += std::wstring(thousand) + L"234";
  text += decimal;
  while (text.size() < (1u << 20)) text += L"5";
  VARIANT arg;
  V_VT(&arg) = VT_BSTR;
  V_BSTR(&arg) = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  VARIANT result;
  ::VariantInit(&result);
  std::printf("\n1 MB of regional text, grouped with \"%ls\" and \"%ls\" as decimal separator:\n", thousand,
              decimal);
  bool ok = true;
  for (const wchar_t* name : {L"ConvertIntlStrToStr", L"ConvertIntlStrToFlt", L"ValidateIntlStr"}) {
    DISPID id = DISPID_UNKNOWN;
    if (!control.Id(name, id)) {
      ok = false;
      continue;
    }
    double best = 1e300;
    for (int r = 0; r < kRounds; ++r) {
      const double start = Seconds();
      HRESULT hr = control.Invoke(id, &arg, 1, &result);
      best = std::min(best, Seconds() - start);
      if (FAILED(hr)) {
        std::printf("Invoke(%ls, 1 MB) failed (0x%08lX)\n", name, static_cast<unsigned long>(hr));
        ok = false;
        break;
      }
    }
    std::printf("  %-58ls %10.3f ms\n", (std::wstring(name) + L" by IDispatch::Invoke, best of 5").c_str(),
                best * 1e3);
  }
  ::VariantClear(&result);
  ::VariantClear(&arg);
  return ok;
}

int Run() {
  Control control;
  if (!control.Create()) return 1;

  std::printf("QuorvexIntl benchmark (figures only; goals are shown, not enforced)\n");

  // ConvertFltToIntlStr(1234567.891, 2, 1) against GetNumberFormatA.
  VARIANT fltArgs[3];
  for (VARIANT& v : fltArgs) ::VariantInit(&v);
  V_VT(&fltArgs[2]) = VT_R8;
  V_R8(&fltArgs[2]) = kValue;
  V_VT(&fltArgs[1]) = VT_I4;
  V_I4(&fltArgs[1]) = 2;
  V_VT(&fltArgs[0]) = VT_I4;
  V_I4(&fltArgs[0]) = 1;
  VARIANT result;
  ::VariantInit(&result);
  HRESULT hr = control.Invoke(control.flt(), fltArgs, 3, &result);
  if (FAILED(hr) || V_VT(&result) != VT_BSTR) {
    std::printf("Invoke(ConvertFltToIntlStr) failed (0x%08lX)\n", static_cast<unsigned long>(hr));
    return 1;
  }
  const std::string fltText = Narrow(V_BSTR(&result), static_cast<int>(::SysStringLen(V_BSTR(&result))));
  bool failed = false;
  const double invoke = PerCall([&] { failed |= FAILED(control.Invoke(control.flt(), fltArgs, 3, &result)); });

  char formatted[64] = {};
  if (::GetNumberFormatA(LOCALE_USER_DEFAULT, 0, kValueText, nullptr, formatted, sizeof(formatted)) == 0) {
    std::printf("GetNumberFormatA failed (%lu)\n", ::GetLastError());
    return 1;
  }
  const double nls = PerCall([&] {
    char buffer[64];
    ::GetNumberFormatA(LOCALE_USER_DEFAULT, 0, kValueText, nullptr, buffer, sizeof(buffer));
  });

  std::printf("\nOne number, %s with two decimals and grouping:\n", kValueText);
  Report(("ConvertFltToIntlStr by IDispatch::Invoke -> \"" + fltText + "\"").c_str(), invoke);
  Report(("GetNumberFormatA -> \"" + std::string(formatted) + "\"").c_str(), nls);
  std::printf("  %-58s %10.2f   (goal <= %.1f)\n", "ratio Invoke / GetNumberFormatA", invoke / nls, kRatioGoal);

  // 1 MB of plain number text through ConvertStrToIntlStr, grouped.
  constexpr size_t kMegabyte = 1u << 20;
  std::wstring big(kMegabyte, L'0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<wchar_t>(L'0' + (i * 7 + 3) % 10);
  big[0] = L'7';
  big[kMegabyte * 3 / 5] = L'.';
  VARIANT strArgs[2];
  for (VARIANT& v : strArgs) ::VariantInit(&v);
  V_VT(&strArgs[1]) = VT_BSTR;
  V_BSTR(&strArgs[1]) = ::SysAllocStringLen(big.data(), static_cast<UINT>(big.size()));
  V_VT(&strArgs[0]) = VT_I4;
  V_I4(&strArgs[0]) = 1;
  double bestBig = 1e300;
  UINT bigLength = 0;
  for (int r = 0; r < kRounds; ++r) {
    const double start = Seconds();
    hr = control.Invoke(control.str(), strArgs, 2, &result);
    bestBig = std::min(bestBig, Seconds() - start);
    if (FAILED(hr) || V_VT(&result) != VT_BSTR) {
      std::printf("Invoke(ConvertStrToIntlStr, 1 MB) failed (0x%08lX)\n", static_cast<unsigned long>(hr));
      failed = true;
      break;
    }
    bigLength = ::SysStringLen(V_BSTR(&result));
  }
  std::printf("\n1 MB of digits with a point, grouped (result %u characters):\n", bigLength);
  std::printf("  %-58s %10.3f ms (goal < %.0f ms)\n", "ConvertStrToIntlStr by IDispatch::Invoke, best of 5",
              bestBig * 1e3, kMegabyteGoalMs);

  failed |= !TimeRegionalMegabyte(control);

  // The pieces of one ConvertFltToIntlStr call, each alone.
  std::printf("\nWhere one ConvertFltToIntlStr call goes (each piece alone; the rounded digits are\n"
              "written without the C runtime, so setlocale and snprintf are shown only for comparison):\n");
  const LCTYPE items[] = {LOCALE_SDECIMAL, LOCALE_STHOUSAND, LOCALE_SNEGATIVESIGN,
                          LOCALE_SGROUPING, LOCALE_IDIGITS,  LOCALE_ILZERO};
  Report("six GetLocaleInfoW reads, texts to ANSI (the regional settings)", PerCall([&] {
           for (LCTYPE item : items) {
             wchar_t wide[10] = {};
             char narrow[10];
             int n = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, item, wide, 10);
             if (n > 1) ::WideCharToMultiByte(CP_ACP, 0, wide, n - 1, narrow, 9, nullptr, nullptr);
           }
         }));
  Report("for comparison: six GetLocaleInfoA reads", PerCall([&] {
           for (LCTYPE item : items) {
             char buffer[10] = {};
             ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof(buffer));
           }
         }));
  Report("for comparison: setlocale query, switch to \"C\", restore", PerCall([&] {
           std::string saved = std::setlocale(LC_NUMERIC, nullptr);
           std::setlocale(LC_NUMERIC, "C");
           std::setlocale(LC_NUMERIC, saved.c_str());
         }));
  Report("for comparison: snprintf \"%.2f\" (measure, then print)", PerCall([&] {
           char buffer[64];
           int n = std::snprintf(nullptr, 0, "%.2f", kValue);
           std::snprintf(buffer, sizeof(buffer), "%.2f", kValue + n * 0.0);
         }));
  Report("BSTR result: MultiByteToWideChar + SysAllocStringLen + free", PerCall([&] {
           const char text[] = "1.234.567,89";
           wchar_t wide[32];
           int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 32);
           ::SysFreeString(::SysAllocStringLen(wide, n > 0 ? n - 1 : 0));
         }));
  Report("BSTR argument to ANSI: WideCharToMultiByte", PerCall([&] {
           const wchar_t text[] = L"1234567.89";
           char narrow[32];
           ::WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
         }));
  ::VariantClear(&result);
  ::VariantClear(&strArgs[1]);
  if (failed) {
    std::printf("some calls failed while measuring\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (FAILED(::CoInitialize(nullptr))) {
    std::printf("CoInitialize failed\n");
    return 1;
  }
  int rc = Run();
  ::CoUninitialize();
  return rc;
}
