#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qvxtest {

const NumberFormatSettings kSpanish = {",", ".", "-", "3;0", "2", "1"};

const std::vector<std::wstring>& NotYetServedMethods() {
  static const std::vector<std::wstring> names = {
      L"GetLastAppVersionFromVandrel", L"SendActRequest", L"AutoUpdate", L"AutoUpdateExt", L"AutoUpdateExt2",
  };
  return names;
}

std::wstring ModulePath() {
  const wchar_t* path = _wgetenv(L"QVX_MODULE");
  return path ? path : L"";
}

ComScope::ComScope() { ::CoInitialize(nullptr); }
ComScope::~ComScope() { ::CoUninitialize(); }

com_ptr<IDispatch> CreateControl() {
  com_ptr<IDispatch> object;
  CLSID clsid;
  HRESULT hr = ::CLSIDFromProgID(kProgId, &clsid);
  EXPECT_EQ(S_OK, hr) << "the control is not registered";
  if (FAILED(hr)) return object;
  hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.put_void());
  EXPECT_EQ(S_OK, hr);
  return object;
}

HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args, VARIANT* result,
                   UINT* argErr) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(**it);
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  UINT err = 0;
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr, &err);
  if (argErr) *argErr = err;
  return hr;
}

std::wstring CallText(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args) {
  Variant result;
  HRESULT hr = CallByName(object, name, std::move(args), result.get());
  EXPECT_EQ(S_OK, hr) << "calling " << name;
  if (FAILED(hr)) return L"<failed>";
  EXPECT_EQ(VT_BSTR, V_VT(result.get()));
  if (V_VT(result.get()) != VT_BSTR) return L"<not a text>";
  BSTR b = V_BSTR(result.get());
  return std::wstring(b ? b : L"", b ? ::SysStringLen(b) : 0);
}

std::string ReadLocale(LCTYPE item) {
  char buffer[100] = {};
  ::GetLocaleInfoA(LOCALE_USER_DEFAULT, item, buffer, sizeof(buffer));
  return buffer;
}

ScopedNumberSettings::ScopedNumberSettings(const NumberFormatSettings& s) {
  const std::pair<LCTYPE, const char*> items[] = {
      {LOCALE_SDECIMAL, s.decimal}, {LOCALE_STHOUSAND, s.thousand}, {LOCALE_SNEGATIVESIGN, s.negative},
      {LOCALE_SGROUPING, s.grouping}, {LOCALE_IDIGITS, s.digits},  {LOCALE_ILZERO, s.leadingZero},
  };
  for (const auto& [item, value] : items) {
    if (value == nullptr) continue;
    saved_.emplace_back(item, ReadLocale(item));
    EXPECT_TRUE(::SetLocaleInfoA(LOCALE_USER_DEFAULT, item, value)) << "SetLocaleInfoA item " << item;
  }
}

ScopedNumberSettings::~ScopedNumberSettings() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
    ::SetLocaleInfoA(LOCALE_USER_DEFAULT, it->first, it->second.c_str());
}

}  // namespace qvxtest
