#include "framework/typelib_writer.h"

#include <string>
#include <vector>

#include "framework/com_guard.h"
#include "framework/handles.h"

namespace qvx::fw {
namespace {

LPOLESTR Ole(const wchar_t* text) { return const_cast<LPOLESTR>(text); }

// The code page in which readers convert the library's 8-bit texts.
UINT LocaleCodePage(LCID lcid) {
  DWORD page = 0;
  const int got = ::GetLocaleInfoW(lcid, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                                   reinterpret_cast<LPWSTR>(&page), sizeof(page) / sizeof(wchar_t));
  return got ? page : 0;
}

class Writer {
 public:
  explicit Writer(ICreateTypeLib2* lib) : lib_(lib) {}

  HRESULT Enum(const TypeLibEnum& e) {
    com_ptr<ICreateTypeInfo> info;
    HRESULT hr = lib_->CreateTypeInfo(Ole(e.name), TKIND_ENUM, info.put());
    UINT index = 0;
    for (const TypeLibEnumMember& m : e.members) {
      VARIANT value;
      V_VT(&value) = VT_I4, V_I4(&value) = m.value;
      VARDESC var = {};
      var.memid = MEMBERID_NIL;
      var.varkind = VAR_CONST;
      var.lpvarValue = &value;
      var.elemdescVar.tdesc.vt = VT_I4;
      if (SUCCEEDED(hr)) hr = info->AddVarDesc(index, &var);
      if (SUCCEEDED(hr)) hr = info->SetVarName(index, Ole(m.name));
      if (SUCCEEDED(hr) && m.help) hr = info->SetVarDocString(index, Ole(m.help));
      ++index;
    }
    if (SUCCEEDED(hr)) hr = info->LayOut();
    if (SUCCEEDED(hr)) enums_.emplace_back(e.name, std::move(info));
    return hr;
  }

  HRESULT Interface(const TypeLibDispInterface& d, ITypeInfo* base, com_ptr<ICreateTypeInfo>& info) {
    HRESULT hr = lib_->CreateTypeInfo(Ole(d.name), TKIND_DISPATCH, info.put());
    if (SUCCEEDED(hr)) hr = info->SetGuid(*d.iid);
    if (SUCCEEDED(hr)) hr = info->SetDocString(Ole(d.help));
    HREFTYPE ref = 0;
    if (SUCCEEDED(hr)) hr = info->AddRefTypeInfo(base, &ref);
    if (SUCCEEDED(hr)) hr = info->AddImplType(0, ref);
    UINT index = 0;
    for (size_t i = 0; SUCCEEDED(hr) && i < d.count; ++i) {
      if (d.methods[i].byNameOnly) continue;
      hr = Method(info.get(), d.methods[i], index++);
    }
    return SUCCEEDED(hr) ? info->LayOut() : hr;
  }

 private:
  HRESULT Method(ICreateTypeInfo* info, const DispatchMethod& m, UINT index) {
    // By-reference parameters point at these.
    static TYPEDESC text = {{}, VT_BSTR}, flag = {{}, VT_BOOL};
    static const VARTYPE kIn[] = {VT_BSTR, VT_I4, VT_R8, VT_BOOL};
    static const VARTYPE kResult[] = {VT_VOID, VT_BSTR, VT_R8, VT_BOOL};
    std::vector<ELEMDESC> params(m.params.size());
    std::vector<LPOLESTR> names = {Ole(m.name)};
    size_t p = 0;
    for (const DispatchParam& param : m.params) {
      TYPEDESC& t = params[p++].tdesc;
      names.push_back(Ole(param.name));
      if (param.type == ParamType::OutText || param.type == ParamType::OutBool) {
        t.vt = VT_PTR;
        t.lptdesc = param.type == ParamType::OutText ? &text : &flag;
      } else if (param.enumName) {
        t.vt = VT_USERDEFINED;
        HRESULT hr = EnumRef(info, param.enumName, t.hreftype);
        if (FAILED(hr)) return hr;
      } else {
        t.vt = kIn[static_cast<int>(param.type)];
      }
    }
    FUNCDESC f = {};
    f.memid = m.id;
    f.funckind = FUNC_DISPATCH;
    f.invkind = INVOKE_FUNC;
    f.callconv = CC_STDCALL;
    f.cParams = static_cast<SHORT>(params.size());
    f.lprgelemdescParam = params.data();
    f.elemdescFunc.tdesc.vt = kResult[static_cast<int>(m.result)];
    HRESULT hr = info->AddFuncDesc(index, &f);
    return SUCCEEDED(hr) ? info->SetFuncAndParamNames(index, names.data(), static_cast<UINT>(names.size())) : hr;
  }

  HRESULT EnumRef(ICreateTypeInfo* from, const wchar_t* name, HREFTYPE& ref) {
    for (auto& e : enums_) {
      if (e.first != name) continue;
      com_ptr<ITypeInfo> target;
      HRESULT hr = e.second->QueryInterface(IID_ITypeInfo, target.put_void());
      return SUCCEEDED(hr) ? from->AddRefTypeInfo(target.get(), &ref) : hr;
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }

  ICreateTypeLib2* lib_;
  std::vector<std::pair<std::wstring, com_ptr<ICreateTypeInfo>>> enums_;
};

HRESULT ClassOf(ICreateTypeLib2* lib, const TypeLibDescription& d, ICreateTypeInfo* dispatch, ICreateTypeInfo* events) {
  com_ptr<ICreateTypeInfo> info;
  HRESULT hr = lib->CreateTypeInfo(Ole(d.className), TKIND_COCLASS, info.put());
  if (SUCCEEDED(hr)) hr = info->SetGuid(*d.clsid);
  if (SUCCEEDED(hr)) hr = info->SetDocString(Ole(d.classHelp));
  if (SUCCEEDED(hr)) hr = info->SetTypeFlags(TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL);
  const struct {
    ICreateTypeInfo* source;
    INT flags;
  } implemented[] = {{dispatch, IMPLTYPEFLAG_FDEFAULT}, {events, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE}};
  UINT index = 0;
  for (const auto& i : implemented) {
    com_ptr<ITypeInfo> target;
    HREFTYPE ref = 0;
    if (SUCCEEDED(hr)) hr = i.source->QueryInterface(IID_ITypeInfo, target.put_void());
    if (SUCCEEDED(hr)) hr = info->AddRefTypeInfo(target.get(), &ref);
    if (SUCCEEDED(hr)) hr = info->AddImplType(index, ref);
    if (SUCCEEDED(hr)) hr = info->SetImplTypeFlags(index, i.flags);
    ++index;
  }
  return SUCCEEDED(hr) ? info->LayOut() : hr;
}

}  // namespace

HRESULT WriteTypeLib(const TypeLibDescription& d, SYSKIND platform, const wchar_t* path) {
  if (::GetACP() != LocaleCodePage(d.lcid)) return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
  return Guarded([&] {
    com_ptr<ICreateTypeLib2> lib;
    HRESULT hr = ::CreateTypeLib2(platform, path, lib.put());
    if (SUCCEEDED(hr)) hr = lib->SetGuid(*d.libid);
    if (SUCCEEDED(hr)) hr = lib->SetVersion(d.major, d.minor);
    if (SUCCEEDED(hr)) hr = lib->SetLcid(d.lcid);
    if (SUCCEEDED(hr)) hr = lib->SetName(Ole(d.name));
    if (SUCCEEDED(hr)) hr = lib->SetDocString(Ole(d.help));
    if (SUCCEEDED(hr)) hr = lib->SetHelpFileName(Ole(d.helpFile));
    if (SUCCEEDED(hr)) hr = lib->SetLibFlags(LIBFLAG_FCONTROL);
    // Dispinterfaces derive from the standard library's IDispatch.
    com_ptr<ITypeLib> standard;
    com_ptr<ITypeInfo> idispatch;
    if (SUCCEEDED(hr)) hr = ::LoadTypeLib(L"stdole2.tlb", standard.put());
    if (SUCCEEDED(hr)) hr = standard->GetTypeInfoOfGuid(IID_IDispatch, idispatch.put());
    Writer writer(lib.get());
    for (const TypeLibEnum& e : d.enums)
      if (SUCCEEDED(hr)) hr = writer.Enum(e);
    com_ptr<ICreateTypeInfo> dispatch, events;
    if (SUCCEEDED(hr)) hr = writer.Interface(d.dispatch, idispatch.get(), dispatch);
    if (SUCCEEDED(hr)) hr = writer.Interface(d.events, idispatch.get(), events);
    if (SUCCEEDED(hr)) hr = ClassOf(lib.get(), d, dispatch.get(), events.get());
    return SUCCEEDED(hr) ? lib->SaveAllChanges() : hr;
  });
}

}  // namespace qvx::fw
