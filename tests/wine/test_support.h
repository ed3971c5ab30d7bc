// Helpers shared by the Windows tests: the module under test, COM set-up,
// late-bound calls by name, and scoped regional settings.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "framework/handles.h"

namespace qvxtest {

using qvx::fw::com_ptr;

inline constexpr wchar_t kProgId[] = L"Quorvex.QuorvexIntl.Internationalization.1";

// The module file under test (Windows path), from the QVX_MODULE variable.
std::wstring ModulePath();

// CoInitialize for the test's lifetime (single-threaded apartment).
class ComScope {
 public:
  ComScope();
  ~ComScope();
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

// A new control through CoCreateInstance by ProgID, as a host creates it.
com_ptr<IDispatch> CreateControl();

// A VARIANT that clears itself.
class Variant {
 public:
  Variant() { ::VariantInit(&v_); }
  explicit Variant(const wchar_t* text) : Variant() { V_VT(&v_) = VT_BSTR; V_BSTR(&v_) = ::SysAllocString(text); }
  explicit Variant(long value) : Variant() { V_VT(&v_) = VT_I4; V_I4(&v_) = value; }
  explicit Variant(double value) : Variant() { V_VT(&v_) = VT_R8; V_R8(&v_) = value; }
  static Variant Bool(bool value) {
    Variant v;
    V_VT(&v.v_) = VT_BOOL;
    V_BOOL(&v.v_) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  Variant(Variant&& o) noexcept : v_(o.v_) { ::VariantInit(&o.v_); }
  Variant& operator=(Variant&& o) noexcept {
    if (this != &o) {
      ::VariantClear(&v_);
      v_ = o.v_;
      ::VariantInit(&o.v_);
    }
    return *this;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&v_); }
  VARIANT* get() { return &v_; }
  const VARIANT* get() const { return &v_; }

 private:
  VARIANT v_;
};

// GetIDsOfNames + Invoke(DISPATCH_METHOD) with args in declaration order
// (reversed for Invoke). argErr receives Invoke's argument index on failure.
HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args, VARIANT* result,
                   UINT* argErr = nullptr);

// Calls a method that returns text and gives it back as a UTF-16 string;
// fails the current test when the call fails.
std::wstring CallText(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args);

// One of the user's regional settings as GetLocaleInfoA gives it; empty on failure.
std::string ReadLocale(LCTYPE item);

// The user's number settings, set as a user would (SetLocaleInfoA) and put
// back when the scope ends.
struct NumberFormatSettings {
  const char* decimal;
  const char* thousand;
  const char* negative;
  const char* grouping;     // e.g. "3;0"
  const char* digits;       // e.g. "2"
  const char* leadingZero;  // "1" or "0"
};

class ScopedNumberSettings {
 public:
  explicit ScopedNumberSettings(const NumberFormatSettings& s);
  ~ScopedNumberSettings();
  ScopedNumberSettings(const ScopedNumberSettings&) = delete;
  ScopedNumberSettings& operator=(const ScopedNumberSettings&) = delete;

 private:
  std::vector<std::pair<LCTYPE, std::string>> saved_;
};

// Spanish ("," "." 3;0, two decimals, leading zero).
extern const NumberFormatSettings kSpanish;

// Methods of _DQVXIntl (and the three reached by name only) that the control
// does not serve yet: GetIDsOfNames answers DISP_E_UNKNOWNNAME for them. A
// method leaves this list in the change that adds it to the dispatch table.
const std::vector<std::wstring>& NotYetServedMethods();

}  // namespace qvxtest
