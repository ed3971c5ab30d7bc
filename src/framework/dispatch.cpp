#include "framework/dispatch.h"

#include <new>
#include <utility>

#include "framework/ansi.h"
#include "framework/com_guard.h"
#include "framework/handles.h"

namespace qvx::fw {

namespace {

// Automation names are case-insensitive.
bool SameName(const wchar_t* a, const wchar_t* b) {
  return b != nullptr && ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

}  // namespace

const DispatchMethod* DispatchTable::FindByName(const wchar_t* name) const {
  for (size_t i = 0; i < count; ++i)
    if (SameName(methods[i].name, name)) return &methods[i];
  return nullptr;
}

const DispatchMethod* DispatchTable::FindById(DISPID id) const {
  for (size_t i = 0; i < count; ++i)
    if (methods[i].id == id) return &methods[i];
  return nullptr;
}

DispatchHandler DispatchTable::HandlerOf(DISPID id) const {
  for (size_t i = 0; i < bindingCount; ++i)
    if (bindings[i].id == id) return bindings[i].handler;
  return nullptr;
}

std::string DispatchCall::Text(size_t i) const { return args_.at(i).text; }
long DispatchCall::Long(size_t i) const { return args_.at(i).number; }
double DispatchCall::Double(size_t i) const { return args_.at(i).real; }
int DispatchCall::BoolValue(size_t i) const { return static_cast<int>(args_.at(i).number); }

bool DispatchCall::InOutBool(size_t i) const {
  const VARIANT* t = args_.at(i).target;
  if (t == nullptr) return false;
  if (V_VT(t) == (VT_BYREF | VT_BOOL)) return *V_BOOLREF(t) != VARIANT_FALSE;
  VARIANT converted;
  ::VariantInit(&converted);
  const bool ok = ::VariantChangeType(&converted, V_VARIANTREF(t), 0, VT_BOOL) == S_OK;
  return ok && V_BOOL(&converted) != VARIANT_FALSE;
}

void DispatchCall::SetOutText(size_t i, std::string ansi) {
  Arg& a = args_.at(i);
  a.text = std::move(ansi);
  a.outSet = true;
}

void DispatchCall::SetOutBool(size_t i, bool value) {
  Arg& a = args_.at(i);
  a.number = value ? VARIANT_TRUE : VARIANT_FALSE;
  a.outSet = true;
}

void DispatchCall::ReturnText(std::string ansi) { resultText_ = std::move(ansi); }
void DispatchCall::ReturnDouble(double value) { resultReal_ = value; }
void DispatchCall::ReturnBool(bool value) { resultBool_ = value; }

HRESULT GetIDsFromTable(const DispatchTable& table, LPOLESTR* names, UINT count, DISPID* ids) {
  if (names == nullptr || ids == nullptr) return E_POINTER;
  if (count == 0) return S_OK;
  const DispatchMethod* entry = table.FindByName(names[0]);
  ids[0] = entry ? entry->id : DISPID_UNKNOWN;
  HRESULT hr = entry ? S_OK : DISP_E_UNKNOWNNAME;
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    DISPID position = 0;
    if (entry)
      for (const DispatchParam& p : entry->params) {
        if (SameName(p.name, names[i])) ids[i] = position;
        ++position;
      }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

namespace {

VARTYPE TargetType(ParamType type) {
  switch (type) {
    case ParamType::Text: return VT_BSTR;
    case ParamType::Long: return VT_I4;
    case ParamType::Double: return VT_R8;
    default: return VT_BOOL;
  }
}

class VariantHolder {
 public:
  VariantHolder() { ::VariantInit(&v_); }
  ~VariantHolder() { ::VariantClear(&v_); }
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
  VARIANT* get() { return &v_; }

 private:
  VARIANT v_;
};

// Coerces an in-argument. Conversions between numbers and text use the
// invariant locale: the methods' own texts are plain numbers with a point.
// A reference that leads nowhere is refused as Automation's own coercion
// refuses it: a type mismatch, and a variant referring to another variant
// reference is not a valid argument.
HRESULT CoerceIn(VARIANT* v, ParamType type, DispatchCall::Arg& out) {
  if (V_VT(v) == (VT_BYREF | VT_VARIANT)) {  // a script variable
    v = V_VARIANTREF(v);
    if (v == nullptr) return DISP_E_TYPEMISMATCH;
    if (V_VT(v) == (VT_BYREF | VT_VARIANT)) return E_INVALIDARG;
  }
  if ((V_VT(v) & VT_BYREF) && V_BYREF(v) == nullptr) return DISP_E_TYPEMISMATCH;
  // Already of the declared type: no conversion needed.
  switch (V_VT(v)) {
    case VT_BSTR:
      if (type != ParamType::Text) break;
      out.text = AnsiFromBstr(V_BSTR(v));
      return S_OK;
    case VT_I4:
      if (type != ParamType::Long) break;
      out.number = V_I4(v);
      return S_OK;
    case VT_R8:
      if (type != ParamType::Double) break;
      out.real = V_R8(v);
      return S_OK;
    case VT_BOOL:
      if (type != ParamType::Bool) break;
      out.number = V_BOOL(v);
      return S_OK;
    default:
      break;
  }
  VariantHolder converted;
  HRESULT hr = ::VariantChangeTypeEx(converted.get(), v, LOCALE_INVARIANT, 0, TargetType(type));
  if (FAILED(hr)) return hr;
  VARIANT* c = converted.get();
  switch (type) {
    case ParamType::Text: out.text = AnsiFromBstr(V_BSTR(c)); break;
    case ParamType::Long: out.number = V_I4(c); break;
    case ParamType::Double: out.real = V_R8(c); break;
    default: out.number = V_BOOL(c); break;
  }
  return S_OK;
}

// Checks that an out-argument is a reference we can write through. Here the
// handlers' outs reach the caller or the call is refused: no temporary for a
// value, no null pointer passed on (Automation's own dispatch may do either).
// A script variable (VT_BYREF|VT_VARIANT), which Automation's own dispatch
// refuses for a BSTR*, is written through, so that VBScript gets the results.
HRESULT CheckOut(VARIANT* source, ParamType type, DispatchCall::Arg& out) {
  VARTYPE wanted = type == ParamType::OutText ? (VT_BYREF | VT_BSTR) : (VT_BYREF | VT_BOOL);
  if (V_VT(source) == (VT_BYREF | VT_VARIANT)) {
    if (V_VARIANTREF(source) == nullptr) return E_POINTER;
    VARIANT* inner = V_VARIANTREF(source);
    // A variant that itself holds a typed reference is written through.
    if (V_VT(inner) == wanted) source = inner;
  }
  if (V_VT(source) != wanted && V_VT(source) != (VT_BYREF | VT_VARIANT)) return DISP_E_TYPEMISMATCH;
  if (V_BYREF(source) == nullptr) return E_POINTER;
  out.target = source;
  return S_OK;
}

void WriteOut(DispatchCall::Arg& a, BSTR text) {
  VARIANT* t = a.target;
  if (V_VT(t) == (VT_BYREF | VT_VARIANT)) {
    VARIANT* inner = V_VARIANTREF(t);
    ::VariantClear(inner);
    if (a.type == ParamType::OutText) {
      V_VT(inner) = VT_BSTR;
      V_BSTR(inner) = text;
    } else {
      V_VT(inner) = VT_BOOL;
      V_BOOL(inner) = static_cast<VARIANT_BOOL>(a.number);
    }
  } else if (a.type == ParamType::OutText) {
    ::SysFreeString(*V_BSTRREF(t));
    *V_BSTRREF(t) = text;
  } else {
    *V_BOOLREF(t) = static_cast<VARIANT_BOOL>(a.number);
  }
}

}  // namespace

class DispatchInvoker {
 public:
  static HRESULT Run(const DispatchTable& table, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);
};

HRESULT DispatchInvoker::Run(const DispatchTable& table, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  // Checked in the order that Automation's own dispatch checks them.
  if (params == nullptr || params->cNamedArgs > params->cArgs) return E_INVALIDARG;
  const DispatchMethod* entry = table.FindById(id);
  const DispatchHandler handler = table.HandlerOf(id);
  // Methods only; VB adds DISPATCH_PROPERTYGET to a call inside an expression.
  if (entry == nullptr || handler == nullptr || (flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
  if ((params->cArgs != 0 && params->rgvarg == nullptr) ||
      (params->cNamedArgs != 0 && params->rgdispidNamedArgs == nullptr))
    return E_INVALIDARG;
  const UINT count = static_cast<UINT>(entry->params.size());
  // Where each parameter's argument is in rgvarg. Named arguments come first
  // there, each naming a parameter by its position; the others fill the
  // remaining parameters in order, from the end of rgvarg.
  constexpr UINT kNone = ~0u;
  std::vector<UINT> where(count, kNone);
  for (UINT j = 0; j < params->cNamedArgs; ++j) {
    const DISPID named = params->rgdispidNamedArgs[j];
    if (named < 0 || static_cast<UINT>(named) >= count || where[named] != kNone) {
      if (argErr) *argErr = j;
      return DISP_E_PARAMNOTFOUND;
    }
    where[named] = j;
  }
  if (params->cArgs != count) return DISP_E_BADPARAMCOUNT;
  for (UINT p = 0, next = count; p < count; ++p)
    if (where[p] == kNone) where[p] = --next;

  DispatchCall call;
  std::vector<DispatchCall::Arg>& args = call.args_;
  args.resize(count);
  UINT i = 0;
  for (const DispatchParam& p : entry->params) {
    const UINT position = where[i];
    DispatchCall::Arg& a = args[i];
    a.type = p.type;
    VARIANT* v = &params->rgvarg[position];
    HRESULT hr = (p.type == ParamType::OutText || p.type == ParamType::OutBool) ? CheckOut(v, p.type, a)
                                                                               : CoerceIn(v, p.type, a);
    if (FAILED(hr)) {
      if (argErr) *argErr = position;
      return hr;
    }
    ++i;
  }

  call.resultType_ = entry->result;
  try {
    handler(self, call);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    if (excepInfo) {
      *excepInfo = EXCEPINFO{};
      excepInfo->scode = E_UNEXPECTED;
    }
    return DISP_E_EXCEPTION;
  }

  // Allocate everything before touching the caller's variants, so that an
  // allocation failure leaves them as they were.
  std::vector<unique_bstr> outTexts;
  for (UINT k = 0; k < count; ++k) {
    if (args[k].outSet && args[k].type == ParamType::OutText) {
      outTexts.resize(count);
      outTexts[k].reset(BstrFromAnsi(args[k].text));
      if (!outTexts[k]) return E_OUTOFMEMORY;
    }
  }
  unique_bstr resultBstr;
  if (result && call.resultType_ == ResultType::Text) {
    resultBstr.reset(BstrFromAnsi(call.resultText_));
    if (!resultBstr) return E_OUTOFMEMORY;
  }

  for (UINT k = 0; k < count; ++k)
    if (args[k].outSet) WriteOut(args[k], outTexts.empty() ? nullptr : outTexts[k].release());
  if (result) {
    ::VariantInit(result);
    switch (call.resultType_) {
      case ResultType::Text: V_VT(result) = VT_BSTR; V_BSTR(result) = resultBstr.release(); break;
      case ResultType::Double: V_VT(result) = VT_R8; V_R8(result) = call.resultReal_; break;
      case ResultType::Bool:
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = call.resultBool_ ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      case ResultType::None: break;
    }
  }
  return S_OK;
}

HRESULT InvokeFromTable(const DispatchTable& table, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
  return Guarded([&] { return DispatchInvoker::Run(table, self, id, flags, params, result, excepInfo, argErr); });
}

}  // namespace qvx::fw
