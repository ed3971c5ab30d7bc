// The module as a COM server seen from outside: the .ocx loaded with
// LoadLibraryW and its exports called as regsvr32 and CoGetClassObject call
// them; what registration leaves for hosts; the factory, the unload answer
// and the resources that identify the module.
#include <ole2.h>
#include <olectl.h>

#include "control/intl_ids.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

using Fn = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// Loaded once: its object and lock counts live in it.
struct Module {
  HMODULE handle = ::LoadLibraryW(ModulePath().c_str());
  template <typename F>
  F Get(const char* name) const { return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(handle, name))); }
  Fn registerServer = Get<Fn>("DllRegisterServer"), unregisterServer = Get<Fn>("DllUnregisterServer");
  Fn canUnloadNow = Get<Fn>("DllCanUnloadNow");
  GetClassObjectFn getClassObject = Get<GetClassObjectFn>("DllGetClassObject");
  std::wstring Path() const {
    wchar_t path[MAX_PATH] = {};
    return std::wstring(path, ::GetModuleFileNameW(handle, path, MAX_PATH));
  }
};

const Module& TheModule() {
  static const Module module;
  return module;
}

// A value's text; "" for a key without that value, "<none>" without the key.
// What hosts, containers and designers find after registration.
std::string Registration() {
  CLSID clsid = {};
  DWORD misc = 0;
  com_ptr<ITypeLib> lib;
  BSTR help = nullptr;
  wchar_t model[32] = {};
  DWORD size = sizeof model;
  qvx::fw::unique_hkey insertable;
  const std::wstring key = L"CLSID\\{9A400FFA-04D6-431A-86A3-5B9E9F7A1A8A}";
  std::string found = ::CLSIDFromProgID(kProgId, &clsid) == S_OK && IsEqualCLSID(clsid, qvx::CLSID_QVXIntl) ? "progid " : "";
  if (::OleRegGetMiscStatus(qvx::CLSID_QVXIntl, DVASPECT_CONTENT, &misc) == S_OK) found += std::to_string(misc) + " ";
  if (!::RegGetValueW(HKEY_CLASSES_ROOT, (key + L"\\InprocServer32").c_str(), L"ThreadingModel", RRF_RT_REG_SZ,
                      nullptr, model, &size))
    found += std::string(model, model + wcslen(model)) + " ";
  if (!::RegOpenKeyExW(HKEY_CLASSES_ROOT, (key + L"\\Insertable").c_str(), 0, KEY_READ, insertable.put()))
    found += "insertable ";
  if (::LoadRegTypeLib(qvx::LIBID_QVXINTLLib, 1, 0, 0x409, lib.put()) == S_OK &&
      lib->GetDocumentation(-1, nullptr, nullptr, nullptr, &help) == S_OK) {
    // Object browsers find the help file in the folder HELPDIR names: the module's.
    const std::wstring module = TheModule().Path(), file = help ? help : L"";
    wchar_t dir[MAX_PATH] = {};
    DWORD bytes = sizeof dir;
    ::RegGetValueW(HKEY_CLASSES_ROOT, L"TypeLib\\{D0D40567-294F-4C6F-8952-CEFA97343C0A}\\1.0\\HELPDIR", nullptr,
                   RRF_RT_REG_SZ, nullptr, dir, &bytes);
    found += std::string(file.begin(), file.end()) + (module.substr(0, module.find_last_of(L'\\') + 1) == dir ? " in HELPDIR" : "");
  }
  ::SysFreeString(help);
  return found;
}

TEST(ModuleTest, RegistrationIsWhatHostsFindAndUnregistrationRemovesIt) {
  ComScope com;
  const Module& m = TheModule();
  ASSERT_TRUE(m.handle && m.registerServer && m.unregisterServer && m.canUnloadNow && m.getClassObject);
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_EQ(S_OK, m.registerServer());
    EXPECT_EQ("progid 132241 Apartment QuorvexIntl.hlp in HELPDIR", Registration()) << "pass " << pass;
  }
  ASSERT_EQ(S_OK, m.unregisterServer());
  const std::string unregistered = Registration();
  ASSERT_EQ(S_OK, m.registerServer());
  EXPECT_EQ("", unregistered);
}

TEST(ModuleTest, FactoryControlsAndTheUnloadAnswer) {
  ComScope com;
  const Module& m = TheModule();
  ASSERT_EQ(S_OK, m.canUnloadNow()) << "something of an earlier test is still alive";
  const GUID foreign = {0x9A400FFA, 0x04D6, 0x431A, {0x86, 0xA3, 0x5B, 0x9E, 0x9F, 0x7A, 0x1A, 0x8B}};
  const struct {
    const GUID* clsid;
    const IID* iid;
    HRESULT hr;
  } objects[] = {
      {&qvx::CLSID_QVXIntl, &IID_IClassFactory, S_OK}, {&qvx::CLSID_QVXIntl, &IID_IUnknown, S_OK},
      {&qvx::CLSID_QVXIntl, &IID_IDispatch, E_NOINTERFACE}, {&qvx::CLSID_QVXIntl, &IID_IClassFactory2, E_NOINTERFACE},
      {&foreign, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE}, {&qvx::LIBID_QVXINTLLib, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const auto& o : objects) {
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(o.hr, m.getClassObject(*o.clsid, *o.iid, reinterpret_cast<void**>(&object)));
    if (o.hr == S_OK) object->Release();
    else EXPECT_EQ(nullptr, object);
  }
  EXPECT_EQ(S_OK, m.canUnloadNow()) << "a released factory keeps nothing";

  com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, m.getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  for (const IID* iid : {&IID_IDispatch, &qvx::DIID_DQVXIntl, &IID_IOleObject, &IID_IClassFactory}) {
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    const HRESULT hr = factory->CreateInstance(nullptr, *iid, reinterpret_cast<void**>(&object));
    EXPECT_EQ(iid == &IID_IClassFactory ? E_NOINTERFACE : S_OK, hr);
    if (SUCCEEDED(hr)) object->Release();
  }
  com_ptr<IDispatch> outer;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, outer.put_void()));
  IUnknown* inner = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.get(), IID_IUnknown, reinterpret_cast<void**>(&inner)));
  EXPECT_EQ(nullptr, inner);
  Var value(1234.4), decimals(0L), flags(2L);
  EXPECT_EQ(L"1234", CallText(outer.get(), L"ConvertFltToIntlStr", {value.v, decimals.v, flags.v}));

  // Each of these keeps the module: a factory, a control, a connection point, a lock.
  com_ptr<IConnectionPoint> point;
  {
    com_ptr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, outer->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
    ASSERT_EQ(S_OK, container->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, point.put()));
  }
  outer.reset();
  factory.reset();
  EXPECT_EQ(S_FALSE, m.canUnloadNow()) << "the connection point keeps its control";
  ASSERT_EQ(S_OK, m.getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE)) << "an unbalanced unlock";
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  factory.reset();
  point.reset();
  EXPECT_EQ(S_FALSE, m.canUnloadNow()) << "the lock alone";
  ASSERT_EQ(S_OK, m.getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  factory.reset();
  EXPECT_EQ(S_OK, m.canUnloadNow());
}

TEST(ModuleTest, VersionAndToolboxResources) {
  const Module& m = TheModule();
  std::vector<BYTE> block(::GetFileVersionInfoSizeW(m.Path().c_str(), nullptr));
  ASSERT_TRUE(::GetFileVersionInfoW(m.Path().c_str(), 0, block.size(), block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(MAKELONG(2, 4), fixed->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(0, 5), fixed->dwFileVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
  ASSERT_TRUE(::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
  EXPECT_EQ(4u, length) << "exactly one translation";
  EXPECT_EQ(MAKELONG(0x0C0A, 1200), MAKELONG(translation[0], translation[1]));
  HANDLE image = ::LoadImageW(m.handle, MAKEINTRESOURCEW(1), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
  ASSERT_NE(nullptr, image);
  BITMAP bitmap = {};
  ::GetObjectW(image, sizeof bitmap, &bitmap);
  EXPECT_EQ("16x15x4", std::to_string(bitmap.bmWidth) + "x" + std::to_string(bitmap.bmHeight) + "x" +
                           std::to_string(bitmap.bmBitsPixel));
  ::DeleteObject(image);
}

}  // namespace
}  // namespace qvxtest
