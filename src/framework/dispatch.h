// IDispatch driven by one table: each method has a name, a fixed DISPID, typed
// parameters and a result type. The table is the only place where these are
// written down (the build writes the type library from it too); Invoke
// coerces the caller's VARIANTs to the declared types and hands the method's
// handler, found by DISPID, a typed view of them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace qvx::fw {

enum class ParamType : unsigned char {
  Text,     // BSTR in, handed to the handler as ANSI text
  Long,     // long (VT_I4)
  Double,   // double (VT_R8)
  Bool,     // Automation boolean (VT_BOOL)
  OutText,  // BSTR* out: VT_BYREF|VT_BSTR or VT_BYREF|VT_VARIANT
  OutBool,  // VARIANT_BOOL* out: VT_BYREF|VT_BOOL or VT_BYREF|VT_VARIANT
};

enum class ResultType : unsigned char { None, Text, Double, Bool };

struct DispatchParam {
  const wchar_t* name;  // as in the type library
  ParamType type;
  // A Long that the type library types as this enumeration; it still
  // travels as a long.
  const wchar_t* enumName = nullptr;
};

// What callers and the type library learn of one method.
struct DispatchMethod {
  const wchar_t* name;
  DISPID id;
  std::initializer_list<DispatchParam> params;
  ResultType result;
  bool byNameOnly = false;  // served, but left out of the type library
};

class DispatchCall;
using DispatchHandler = void (*)(void* self, DispatchCall& call);

// The code that serves the method with that DISPID.
struct DispatchBinding {
  DISPID id;
  DispatchHandler handler;
};

struct DispatchTable {
  const DispatchMethod* methods;
  size_t count;
  const DispatchBinding* bindings;
  size_t bindingCount;
  const DispatchMethod* FindByName(const wchar_t* name) const;  // case-insensitive; nullptr if absent
  const DispatchMethod* FindById(DISPID id) const;               // nullptr if absent
  DispatchHandler HandlerOf(DISPID id) const;                   // nullptr if none serves it
};

template <size_t M, size_t B>
constexpr DispatchTable MakeDispatchTable(const DispatchMethod (&methods)[M], const DispatchBinding (&bindings)[B]) {
  return {methods, M, bindings, B};
}

// The arguments of one call, in declaration order (Invoke receives them in
// reverse). Out-values and the result are staged here and reach the caller
// only after the handler has returned, so a failed call leaves them untouched.
class DispatchCall {
 public:
  std::string Text(size_t i) const;
  long Long(size_t i) const;
  double Double(size_t i) const;
  // The Automation boolean as passed: VARIANT_TRUE (-1) or VARIANT_FALSE (0).
  int BoolValue(size_t i) const;
  bool Bool(size_t i) const { return BoolValue(i) != 0; }
  // What an OutBool argument holds on entry (an in-out flag); false when it
  // holds nothing that converts to a boolean.
  bool InOutBool(size_t i) const;

  void SetOutText(size_t i, std::string ansi);
  void SetOutBool(size_t i, bool value);
  void ReturnText(std::string ansi);
  void ReturnDouble(double value);
  void ReturnBool(bool value);

  // One argument after coercion (Invoke's own bookkeeping).
  struct Arg {
    ParamType type = ParamType::Long;
    std::string text;
    long number = 0;
    double real = 0.0;
    VARIANT* target = nullptr;  // the caller's by-reference argument (out-parameters)
    bool outSet = false;
  };

 private:
  friend class DispatchInvoker;
  std::vector<Arg> args_;
  ResultType resultType_ = ResultType::None;
  std::string resultText_;
  double resultReal_ = 0.0;
  bool resultBool_ = false;
};

// GetIDsOfNames over the table: the method's DISPID, then each parameter's
// position; a name that is neither gets DISPID_UNKNOWN and the call answers
// DISP_E_UNKNOWNNAME.
HRESULT GetIDsFromTable(const DispatchTable& table, LPOLESTR* names, UINT count, DISPID* ids);

// Invoke over the table, answering bad calls as Automation's own dispatch
// does (named arguments included). Never throws: out of memory gives
// E_OUTOFMEMORY and any other failure inside a handler DISP_E_EXCEPTION.
HRESULT InvokeFromTable(const DispatchTable& table, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

}  // namespace qvx::fw
