// The demo: for several regional settings, set as a user sets them, prints
// how the registered control writes numbers, calling it by name through
// IDispatch the way a script host does. Restores the user's settings.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Settings {
  const char* label;
  const char* decimal;
  const char* thousand;
  const char* grouping;
  const char* leadingZero;
};

const Settings kSettings[] = {
    {"Spanish", ",", ".", "3;0", "1"},
    {"US English", ".", ",", "3;0", "1"},
    {"grouping 3;2;0", ".", ",", "3;2;0", "1"},
    {"no leading zero", ",", " ", "3;0", "0"},
};

const LCTYPE kItems[] = {LOCALE_SDECIMAL, LOCALE_STHOUSAND, LOCALE_SGROUPING, LOCALE_ILZERO, LOCALE_IDIGITS,
                         LOCALE_SNEGATIVESIGN};

struct Call {
  const wchar_t* method;
  const wchar_t* text;  // ConvertStrToIntlStr's text, or nullptr
  double value;         // ConvertFltToIntlStr's value
  long decimals;
  long flags;
};

const Call kCalls[] = {
    {L"ConvertStrToIntlStr", L"1234567.891", 0, 0, 1}, {L"ConvertStrToIntlStr", L"1234567.891", 0, 0, 0},
    {L"ConvertStrToIntlStr", L"-1234.5", 0, 0, 3},     {L"ConvertStrToIntlStr", L"0.25", 0, 0, 1},
    {L"ConvertFltToIntlStr", nullptr, 1234.5, 0, 1},   {L"ConvertFltToIntlStr", nullptr, 1234.5, 0, 3},
    {L"ConvertFltToIntlStr", nullptr, -0.001, 2, 2},   {L"ConvertFltToIntlStr", nullptr, 1.005, 2, 2},
    {L"ConvertFltToIntlStr", nullptr, 0.125, 2, 2},    {L"ConvertFltToIntlStr", nullptr, -9876543.21, 1, 1},
};

std::string ReadItem(LCTYPE item) {
  char buffer[100] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof(buffer));
  return buffer;
}

std::string Ansi(BSTR text) {
  int length = static_cast<int>(::SysStringLen(text));
  if (length == 0) return {};
  int n = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

// One call by name; the result text, or the HRESULT when the call fails.
std::string CallByName(IDispatch* control, const Call& call) {
  DISPID id = 0;
  LPOLESTR name = const_cast<LPOLESTR>(call.method);
  HRESULT hr = control->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
  VARIANT args[3];
  UINT count = 0;
  // Invoke takes the arguments last to first.
  V_VT(&args[count]) = VT_I4;
  V_I4(&args[count++]) = call.flags;
  if (call.text) {
    V_VT(&args[count]) = VT_BSTR;
    V_BSTR(&args[count++]) = ::SysAllocString(call.text);
  } else {
    V_VT(&args[count]) = VT_I4;
    V_I4(&args[count++]) = call.decimals;
    V_VT(&args[count]) = VT_R8;
    V_R8(&args[count++]) = call.value;
  }
  DISPPARAMS params = {args, nullptr, count, 0};
  VARIANT result;
  ::VariantInit(&result);
  if (SUCCEEDED(hr))
    hr = control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
  for (UINT i = 0; i < count; ++i) ::VariantClear(&args[i]);
  char failure[32];
  std::snprintf(failure, sizeof(failure), "error 0x%08lX", static_cast<unsigned long>(hr));
  std::string text = FAILED(hr) ? failure : "\"" + Ansi(V_BSTR(&result)) + "\"";
  ::VariantClear(&result);
  return text;
}

std::string Describe(const Call& call) {
  char text[96];
  if (call.text) {
    int n = std::snprintf(text, sizeof(text), "StrToIntl(\"");
    for (const wchar_t* p = call.text; *p && n < 80; ++p) text[n++] = static_cast<char>(*p);
    std::snprintf(text + n, sizeof(text) - n, "\", %ld)", call.flags);
  } else {
    std::snprintf(text, sizeof(text), "FltToIntl(%.10g, %ld, %ld)", call.value, call.decimals, call.flags);
  }
  return text;
}

}  // namespace

int main() {
  if (FAILED(::CoInitialize(nullptr))) return 2;
  CLSID clsid;
  IDispatch* control = nullptr;
  HRESULT hr = ::CLSIDFromProgID(L"Quorvex.QuorvexIntl.Internationalization.1", &clsid);
  if (SUCCEEDED(hr)) hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                             reinterpret_cast<void**>(&control));
  if (FAILED(hr)) {
    std::printf("The control could not be created (0x%08lX): is it registered?\n", static_cast<unsigned long>(hr));
    ::CoUninitialize();
    return 1;
  }

  std::vector<std::pair<LCTYPE, std::string>> saved;
  for (LCTYPE item : kItems) saved.emplace_back(item, ReadItem(item));

  std::vector<std::vector<std::string>> columns;
  for (const Settings& s : kSettings) {
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, s.decimal);
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, s.thousand);
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SGROUPING, s.grouping);
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_ILZERO, s.leadingZero);
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDIGITS, "2");
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SNEGATIVESIGN, "-");
    std::vector<std::string> column;
    for (const Call& call : kCalls) column.push_back(CallByName(control, call));
    columns.push_back(column);
  }
  for (const auto& [item, value] : saved) ::SetLocaleInfoA(LOCALE_USER_DEFAULT, item, value.c_str());

  std::printf("%-34s", "call (2 user decimals)");
  for (const Settings& s : kSettings) std::printf(" %-18s", s.label);
  std::printf("\n%-34s", "");
  for (const Settings& s : kSettings)
    std::printf(" %-18s", ("'" + std::string(s.decimal) + "' '" + s.thousand + "' " + s.grouping +
                           (s.leadingZero[0] == '0' ? " .7" : " 0.7")).c_str());
  std::printf("\n");
  for (size_t row = 0; row < sizeof(kCalls) / sizeof(kCalls[0]); ++row) {
    std::printf("%-34s", Describe(kCalls[row]).c_str());
    for (const auto& column : columns) std::printf(" %-18s", column[row].c_str());
    std::printf("\n");
  }
  control->Release();
  ::CoUninitialize();
  return 0;
}
