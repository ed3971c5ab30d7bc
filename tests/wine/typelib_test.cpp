// The registered type library against the dispatch table, which is the one
// place where names, DISPIDs and signatures are written: what a client learns
// from the library must be what Invoke serves.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "control/intl_ctrl.h"
#include "control/intl_ids.h"
#include "test_support.h"

namespace {

using qvx::fw::com_ptr;
using qvx::fw::DispatchEntry;
using qvx::fw::ParamType;
using qvx::fw::ResultType;

std::wstring Take(BSTR b) {
  std::wstring text(b ? b : L"", b ? ::SysStringLen(b) : 0);
  ::SysFreeString(b);
  return text;
}

struct Documentation {
  std::wstring name, doc, helpFile;
};

Documentation DocOf(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
  BSTR name = nullptr, doc = nullptr;
  Documentation d;
  if (SUCCEEDED(info->GetDocumentation(id, &name, &doc, nullptr, nullptr))) {
    d.name = Take(name);
    d.doc = Take(doc);
  }
  return d;
}

// The library is registered under its own locale, English.
constexpr LCID kLibraryLocale = 0x409;

bool IsNotYetServed(const std::wstring& name) {
  const auto& names = qvxtest::NotYetServedMethods();
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Owns a FUNCDESC of its type info.
class FuncDesc {
 public:
  FuncDesc(ITypeInfo* info, UINT index) : info_(info) { hr_ = info->GetFuncDesc(index, &desc_); }
  ~FuncDesc() {
    if (desc_) info_->ReleaseFuncDesc(desc_);
  }
  FuncDesc(const FuncDesc&) = delete;
  FuncDesc& operator=(const FuncDesc&) = delete;
  HRESULT hr() const { return hr_; }
  const FUNCDESC* operator->() const { return desc_; }

 private:
  ITypeInfo* info_;
  FUNCDESC* desc_ = nullptr;
  HRESULT hr_;
};

class TypeLibTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, ::LoadRegTypeLib(qvx::LIBID_QVXINTLLib, 1, 0, kLibraryLocale, lib_.put()))
        << "the type library is not registered";
    ASSERT_EQ(S_OK, lib_->GetTypeInfoOfGuid(qvx::DIID_DQVXIntl, dispatch_.put()));
  }

  // The dispinterface's own methods (not those of IUnknown and IDispatch,
  // should the library list them), by index.
  std::vector<UINT> OwnFunctions(ITypeInfo* info) {
    std::vector<UINT> result;
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return result;
    const UINT count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
      FuncDesc f(info, i);
      if (FAILED(f.hr())) continue;
      if (f->wFuncFlags & FUNCFLAG_FRESTRICTED) continue;
      result.push_back(i);
    }
    return result;
  }

  // The parameter type as the table names it, or a description of what it is not.
  std::string Classify(ITypeInfo* info, const TYPEDESC& t) {
    switch (t.vt) {
      case VT_BSTR: return "Text";
      case VT_I4: return "Long";
      case VT_R8: return "Double";
      case VT_BOOL: return "Bool";
      case VT_PTR:
        if (t.lptdesc->vt == VT_BSTR) return "OutText";
        if (t.lptdesc->vt == VT_BOOL) return "OutBool";
        return "pointer to vt " + std::to_string(t.lptdesc->vt);
      case VT_USERDEFINED: {
        // An enumeration travels as a long; an alias is followed to what it names.
        com_ptr<ITypeInfo> ref;
        if (FAILED(info->GetRefTypeInfo(t.hreftype, ref.put()))) return "unresolved user type";
        TYPEATTR* attr = nullptr;
        if (FAILED(ref->GetTypeAttr(&attr))) return "unresolved user type";
        std::string kind;
        if (attr->typekind == TKIND_ENUM) kind = "Long";
        else if (attr->typekind == TKIND_ALIAS) kind = Classify(ref.get(), attr->tdescAlias);
        else kind = "user type of kind " + std::to_string(attr->typekind);
        ref->ReleaseTypeAttr(attr);
        return kind;
      }
      default: return "vt " + std::to_string(t.vt);
    }
  }

  com_ptr<ITypeLib> lib_;
  com_ptr<ITypeInfo> dispatch_;
};

const char* Name(ParamType t) {
  switch (t) {
    case ParamType::Text: return "Text";
    case ParamType::Long: return "Long";
    case ParamType::Double: return "Double";
    case ParamType::Bool: return "Bool";
    case ParamType::OutText: return "OutText";
    case ParamType::OutBool: return "OutBool";
  }
  return "?";
}

VARTYPE ResultVt(ResultType t) {
  switch (t) {
    case ResultType::None: return VT_VOID;
    case ResultType::Text: return VT_BSTR;
    case ResultType::Double: return VT_R8;
    case ResultType::Bool: return VT_BOOL;
  }
  return VT_ILLEGAL;
}

TEST_F(TypeLibTest, EveryServedMethodIsDescribedAsTheTableServesIt) {
  const qvx::fw::DispatchTable& table = qvx::CQVXIntlCtrl::DispatchMap();
  ASSERT_GT(table.count, 0u);
  for (size_t e = 0; e < table.count; ++e) {
    const DispatchEntry& entry = table.entries[e];
    SCOPED_TRACE(::testing::PrintToString(std::wstring(entry.name)));

    bool found = false;
    for (UINT i : OwnFunctions(dispatch_.get())) {
      FuncDesc f(dispatch_.get(), i);
      if (f->memid != entry.id) continue;
      found = true;
      EXPECT_EQ(INVOKE_FUNC, f->invkind);
      ASSERT_EQ(static_cast<SHORT>(entry.params.size()), f->cParams);
      EXPECT_EQ(0, f->cParamsOpt);

      std::vector<BSTR> names(entry.params.size() + 1, nullptr);
      UINT got = 0;
      ASSERT_EQ(S_OK, dispatch_->GetNames(f->memid, names.data(), static_cast<UINT>(names.size()), &got));
      ASSERT_EQ(names.size(), got);
      EXPECT_EQ(std::wstring(entry.name), Take(names[0]));
      size_t p = 0;
      for (const qvx::fw::DispatchParam& param : entry.params) {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(param.name)));
        EXPECT_EQ(std::wstring(param.name), Take(names[p + 1]));
        EXPECT_EQ(Name(param.type), Classify(dispatch_.get(), f->lprgelemdescParam[p].tdesc));
        ++p;
      }
      EXPECT_EQ(ResultVt(entry.result), f->elemdescFunc.tdesc.vt);
    }
    EXPECT_TRUE(found) << "DISPID " << entry.id << " is not in _DQVXIntl";

    // The name leads to the same DISPID through the library as through the control.
    LPOLESTR names[] = {const_cast<LPOLESTR>(entry.name)};
    MEMBERID id = MEMBERID_NIL;
    EXPECT_EQ(S_OK, dispatch_->GetIDsOfNames(names, 1, &id));
    EXPECT_EQ(entry.id, id);
  }
}

TEST_F(TypeLibTest, EveryOtherMethodIsListedAsNotServedYet) {
  const qvx::fw::DispatchTable& table = qvx::CQVXIntlCtrl::DispatchMap();
  const std::vector<UINT> functions = OwnFunctions(dispatch_.get());
  EXPECT_EQ(10u, functions.size()) << "_DQVXIntl describes ten methods";
  for (UINT i : functions) {
    FuncDesc f(dispatch_.get(), i);
    const std::wstring name = DocOf(dispatch_.get(), f->memid).name;
    SCOPED_TRACE(::testing::PrintToString(name));
    const DispatchEntry* entry = table.FindByName(name.c_str());
    if (entry != nullptr) {
      EXPECT_EQ(entry->id, f->memid);
      EXPECT_FALSE(IsNotYetServed(name)) << "served, yet still listed as not served";
    } else {
      EXPECT_TRUE(IsNotYetServed(name)) << "neither served nor listed as not served yet";
      EXPECT_EQ(nullptr, table.FindById(f->memid)) << "its DISPID serves another method";
    }
  }
}

TEST_F(TypeLibTest, MethodsReachedByNameOnlyAreNotDescribed) {
  for (const wchar_t* name : {L"AutoUpdate", L"AutoUpdateExt", L"AutoUpdateExt2"}) {
    SCOPED_TRACE(::testing::PrintToString(std::wstring(name)));
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    MEMBERID id = 12345;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch_->GetIDsOfNames(names, 1, &id));
    for (UINT i : OwnFunctions(dispatch_.get())) {
      FuncDesc f(dispatch_.get(), i);
      EXPECT_NE(std::wstring(name), DocOf(dispatch_.get(), f->memid).name);
    }
  }
  for (UINT i : OwnFunctions(dispatch_.get())) {
    FuncDesc f(dispatch_.get(), i);
    EXPECT_FALSE(f->memid >= 26 && f->memid <= 28) << "DISPID " << f->memid << " is reached by name only";
  }
}

TEST_F(TypeLibTest, CoclassInternationalization) {
  com_ptr<ITypeInfo> coclass;
  ASSERT_EQ(S_OK, lib_->GetTypeInfoOfGuid(qvx::CLSID_QVXIntl, coclass.put()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
  const TYPEKIND kind = attr->typekind;
  const WORD flags = attr->wTypeFlags;
  const WORD implTypes = attr->cImplTypes;
  coclass->ReleaseTypeAttr(attr);
  EXPECT_EQ(TKIND_COCLASS, kind);
  EXPECT_EQ(TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL, flags & (TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL));
  const Documentation doc = DocOf(coclass.get());
  EXPECT_EQ(L"Internationalization", doc.name);
  EXPECT_EQ(L"Quorvex Internationalization Control", doc.doc);

  ASSERT_EQ(2, implTypes);
  GUID defaultInterface = GUID_NULL, defaultSource = GUID_NULL;
  for (UINT i = 0; i < implTypes; ++i) {
    INT implFlags = 0;
    ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(i, &implFlags));
    HREFTYPE ref = 0;
    ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(i, &ref));
    com_ptr<ITypeInfo> implemented;
    ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, implemented.put()));
    TYPEATTR* implAttr = nullptr;
    ASSERT_EQ(S_OK, implemented->GetTypeAttr(&implAttr));
    if (implFlags == IMPLTYPEFLAG_FDEFAULT) defaultInterface = implAttr->guid;
    if (implFlags == (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) defaultSource = implAttr->guid;
    implemented->ReleaseTypeAttr(implAttr);
  }
  EXPECT_TRUE(IsEqualGUID(qvx::DIID_DQVXIntl, defaultInterface));
  EXPECT_TRUE(IsEqualGUID(qvx::DIID_DQVXIntlEvents, defaultSource));
}

TEST_F(TypeLibTest, EventInterfaceDeclaresNoEvents) {
  com_ptr<ITypeInfo> events;
  ASSERT_EQ(S_OK, lib_->GetTypeInfoOfGuid(qvx::DIID_DQVXIntlEvents, events.put()));
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, events->GetTypeAttr(&attr));
  EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
  events->ReleaseTypeAttr(attr);
  EXPECT_TRUE(OwnFunctions(events.get()).empty());
  const Documentation doc = DocOf(events.get());
  EXPECT_EQ(L"_DQVXIntlEvents", doc.name);
  EXPECT_EQ(L"Event interface for Quorvex Internationalization Control", doc.doc);
}

TEST_F(TypeLibTest, DispatchInterfaceDocumentation) {
  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, dispatch_->GetTypeAttr(&attr));
  EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
  dispatch_->ReleaseTypeAttr(attr);
  const Documentation doc = DocOf(dispatch_.get());
  EXPECT_EQ(L"_DQVXIntl", doc.name);
  EXPECT_EQ(L"Dispatch interface for Quorvex Internationalization Control", doc.doc);
}

TEST_F(TypeLibTest, LibraryAttributesAndDocumentation) {
  TLIBATTR* attr = nullptr;
  ASSERT_EQ(S_OK, lib_->GetLibAttr(&attr));
  EXPECT_TRUE(IsEqualGUID(qvx::LIBID_QVXINTLLib, attr->guid));
  EXPECT_EQ(0x409u, attr->lcid);
  EXPECT_EQ(1, attr->wMajorVerNum);
  EXPECT_EQ(0, attr->wMinorVerNum);
  EXPECT_TRUE(attr->wLibFlags & LIBFLAG_FCONTROL);
  lib_->ReleaseTLibAttr(attr);

  BSTR name = nullptr, doc = nullptr, helpFile = nullptr;
  ASSERT_EQ(S_OK, lib_->GetDocumentation(-1, &name, &doc, nullptr, &helpFile));
  EXPECT_EQ(L"QVXINTLLib", Take(name));
  EXPECT_EQ(L"Quorvex Internationalization ActiveX Control module", Take(doc));
  const std::wstring file = Take(helpFile);
  EXPECT_EQ(L"QuorvexIntl.hlp", file.substr(file.find_last_of(L'\\') + 1));
}

TEST_F(TypeLibTest, EnumerationIntlConvertFlags) {
  // The name may belong to the enumeration itself or to an alias of it.
  com_ptr<ITypeInfo> named;
  const UINT count = lib_->GetTypeInfoCount();
  for (UINT i = 0; i < count && !named; ++i) {
    com_ptr<ITypeInfo> candidate;
    ASSERT_EQ(S_OK, lib_->GetTypeInfo(i, candidate.put()));
    if (DocOf(candidate.get()).name == L"IntlConvertFlags") named = std::move(candidate);
  }
  ASSERT_TRUE(named) << "no type IntlConvertFlags";
  com_ptr<ITypeInfo> enumeration;
  for (int depth = 0; depth < 4 && !enumeration; ++depth) {
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, named->GetTypeAttr(&attr));
    const TYPEKIND kind = attr->typekind;
    const TYPEDESC alias = attr->tdescAlias;
    named->ReleaseTypeAttr(attr);
    if (kind == TKIND_ENUM) {
      enumeration = std::move(named);
      break;
    }
    ASSERT_EQ(TKIND_ALIAS, kind) << "IntlConvertFlags is neither an enumeration nor an alias of one";
    ASSERT_EQ(VT_USERDEFINED, alias.vt);
    com_ptr<ITypeInfo> target;
    ASSERT_EQ(S_OK, named->GetRefTypeInfo(alias.hreftype, target.put()));
    named = std::move(target);
  }
  ASSERT_TRUE(enumeration);

  TYPEATTR* attr = nullptr;
  ASSERT_EQ(S_OK, enumeration->GetTypeAttr(&attr));
  const WORD vars = attr->cVars;
  enumeration->ReleaseTypeAttr(attr);
  const struct {
    const wchar_t* name;
    long value;
  } expected[] = {{L"DEC_MINIMO", 0}, {L"DEC_MINIMO_MILES", 1}, {L"DEC_FIJO", 2}, {L"DEC_FIJO_MILES", 3}};
  ASSERT_EQ(4, vars);
  for (UINT i = 0; i < vars; ++i) {
    VARDESC* var = nullptr;
    ASSERT_EQ(S_OK, enumeration->GetVarDesc(i, &var));
    const std::wstring name = DocOf(enumeration.get(), var->memid).name;
    VARIANT value;
    ::VariantInit(&value);
    const HRESULT hr = var->varkind == VAR_CONST ? ::VariantChangeType(&value, var->lpvarValue, 0, VT_I4) : E_FAIL;
    enumeration->ReleaseVarDesc(var);
    SCOPED_TRACE(::testing::PrintToString(name));
    ASSERT_EQ(S_OK, hr) << "not a constant of integer value";
    EXPECT_EQ(expected[i].name, name);
    EXPECT_EQ(expected[i].value, V_I4(&value));
  }
}

}  // namespace
