// The module as a COM server seen from outside: the .ocx is loaded with
// LoadLibraryW and its four exports are called directly, as regsvr32 and
// CoGetClassObject do. Checks what registration writes and removes, the class
// factory, the unload answer, and the resources that identify the module.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "control/intl_ids.h"
#include "test_support.h"

namespace {

using qvx::fw::com_ptr;
using qvxtest::ComScope;
using qvxtest::kProgId;
using qvxtest::Variant;

constexpr wchar_t kClassKey[] = L"CLSID\\{9A400FFA-04D6-431A-86A3-5B9E9F7A1A8A}";
constexpr wchar_t kClsidText[] = L"{9A400FFA-04D6-431A-86A3-5B9E9F7A1A8A}";
constexpr wchar_t kLibIdText[] = L"{D0D40567-294F-4C6F-8952-CEFA97343C0A}";
constexpr wchar_t kTypeLibKey[] = L"TypeLib\\{D0D40567-294F-4C6F-8952-CEFA97343C0A}\\1.0";
constexpr wchar_t kDispatchKey[] = L"Interface\\{1AB6CFFC-54F4-47BB-9E88-881DAE79543B}";
constexpr wchar_t kUserType[] = L"Quorvex Internationalization Control";
constexpr wchar_t kLibHelp[] = L"Quorvex Internationalization ActiveX Control module";
// The library is registered under its own locale, and a client asks for it in
// that language (the neutral locale finds only neutral registrations).
constexpr LCID kLibraryLocale = 0x409;

using RegisterFn = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

// The module under test, loaded once for the whole program: its object and
// lock counts live in it, so it must not be unloaded between tests.
struct Module {
  HMODULE handle = nullptr;
  RegisterFn registerServer = nullptr;
  RegisterFn unregisterServer = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  RegisterFn canUnloadNow = nullptr;
  std::wstring path;  // as the loader reports it
};

// An export or a system function by name, as the function type it has.
template <typename F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

const Module& TheModule() {
  static const Module module = [] {
    Module m;
    m.handle = ::LoadLibraryW(qvxtest::ModulePath().c_str());
    if (m.handle == nullptr) return m;
    m.registerServer = Export<RegisterFn>(m.handle, "DllRegisterServer");
    m.unregisterServer = Export<RegisterFn>(m.handle, "DllUnregisterServer");
    m.getClassObject = Export<GetClassObjectFn>(m.handle, "DllGetClassObject");
    m.canUnloadNow = Export<RegisterFn>(m.handle, "DllCanUnloadNow");
    wchar_t path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameW(m.handle, path, MAX_PATH);
    m.path.assign(path, n < MAX_PATH ? n : 0);
    return m;
  }();
  return module;
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const Module& m = TheModule();
    ASSERT_NE(nullptr, m.handle) << "cannot load the module; QVX_MODULE is set by the test runner";
    ASSERT_NE(nullptr, m.registerServer);
    ASSERT_NE(nullptr, m.unregisterServer);
    ASSERT_NE(nullptr, m.getClassObject);
    ASSERT_NE(nullptr, m.canUnloadNow);
  }
  const Module& module() const { return TheModule(); }
  ComScope com_;
};

// A REG_SZ value of HKCR\<key> (name nullptr: the default value); empty
// optional when the key or the value does not exist.
std::optional<std::wstring> ReadText(const wchar_t* key, const wchar_t* name = nullptr) {
  DWORD bytes = 0;
  if (::RegGetValueW(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegGetValueW(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ, nullptr, text.data(), &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  text.resize(::wcslen(text.c_str()));
  return text;
}

std::optional<std::wstring> ReadText(const std::wstring& key, const wchar_t* name = nullptr) {
  return ReadText(key.c_str(), name);
}

bool KeyExists(const std::wstring& key) {
  HKEY h = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  ::RegCloseKey(h);
  return true;
}

std::wstring Sub(const wchar_t* key, const wchar_t* sub) { return std::wstring(key) + L"\\" + sub; }

// Checks everything that a registration leaves in HKCR.
void ExpectRegistered(const Module& m) {
  SCOPED_TRACE("registered state");
  EXPECT_EQ(kUserType, ReadText(kClassKey).value_or(L"<missing>"));
  EXPECT_EQ(m.path, ReadText(Sub(kClassKey, L"InprocServer32")).value_or(L"<missing>"));
  EXPECT_EQ(L"Apartment", ReadText(Sub(kClassKey, L"InprocServer32"), L"ThreadingModel").value_or(L"<missing>"));
  EXPECT_EQ(kProgId, ReadText(Sub(kClassKey, L"ProgID")).value_or(L"<missing>"));
  EXPECT_TRUE(KeyExists(Sub(kClassKey, L"Control")));
  EXPECT_EQ(L"0", ReadText(Sub(kClassKey, L"MiscStatus")).value_or(L"<missing>"));
  EXPECT_EQ(L"132241", ReadText(Sub(kClassKey, L"MiscStatus\\1")).value_or(L"<missing>"));
  EXPECT_EQ(m.path + L", 1", ReadText(Sub(kClassKey, L"ToolboxBitmap32")).value_or(L"<missing>"));
  EXPECT_EQ(kLibIdText, ReadText(Sub(kClassKey, L"TypeLib")).value_or(L"<missing>"));
  EXPECT_EQ(L"1.0", ReadText(Sub(kClassKey, L"Version")).value_or(L"<missing>"));
  EXPECT_FALSE(KeyExists(Sub(kClassKey, L"Insertable")));
  EXPECT_FALSE(KeyExists(Sub(kProgId, L"Insertable")));
  // Neither safe for scripting nor safe for initialisation.
  EXPECT_FALSE(KeyExists(Sub(kClassKey, L"Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}")));
  EXPECT_FALSE(KeyExists(Sub(kClassKey, L"Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}")));

  EXPECT_EQ(kClsidText, ReadText(Sub(kProgId, L"CLSID")).value_or(L"<missing>"));
  CLSID fromProgId = {};
  EXPECT_EQ(S_OK, ::CLSIDFromProgID(kProgId, &fromProgId));
  EXPECT_TRUE(IsEqualCLSID(qvx::CLSID_QVXIntl, fromProgId));

  EXPECT_EQ(kLibHelp, ReadText(kTypeLibKey).value_or(L"<missing>"));
  const wchar_t* platform = sizeof(void*) == 8 ? L"409\\win64" : L"409\\win32";
  EXPECT_EQ(m.path, ReadText(Sub(kTypeLibKey, platform)).value_or(L"<missing>"));
  EXPECT_EQ(kLibIdText, ReadText(Sub(kDispatchKey, L"TypeLib")).value_or(L"<missing>"));

  // The library's own attributes are checked with the type library's tests.
  com_ptr<ITypeLib> lib;
  EXPECT_EQ(S_OK, ::LoadRegTypeLib(qvx::LIBID_QVXINTLLib, 1, 0, kLibraryLocale, lib.put()));
}

// Puts the registration back whatever happens in the test, so that the
// programs that run after this one find the control registered.
class RegisterOnExit {
 public:
  explicit RegisterOnExit(const Module& m) : m_(m) {}
  ~RegisterOnExit() { m_.registerServer(); }
  RegisterOnExit(const RegisterOnExit&) = delete;
  RegisterOnExit& operator=(const RegisterOnExit&) = delete;

 private:
  const Module& m_;
};

TEST_F(ModuleTest, RegisterServerWritesClassProgIdAndTypeLibrary) {
  ASSERT_EQ(S_OK, module().registerServer());
  ExpectRegistered(module());
  // Registering again changes nothing.
  ASSERT_EQ(S_OK, module().registerServer());
  ExpectRegistered(module());
}

TEST_F(ModuleTest, RegisterServerRemovesStaleInsertableMarks) {
  RegisterOnExit restore(module());
  for (const std::wstring& key : {Sub(kClassKey, L"Insertable"), Sub(kProgId, L"Insertable")}) {
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                               &h, nullptr));
    ::RegCloseKey(h);
  }
  const HRESULT hr = module().registerServer();
  const bool classMarked = KeyExists(Sub(kClassKey, L"Insertable"));
  const bool progIdMarked = KeyExists(Sub(kProgId, L"Insertable"));
  ::RegDeleteKeyW(HKEY_CLASSES_ROOT, Sub(kClassKey, L"Insertable").c_str());
  ::RegDeleteKeyW(HKEY_CLASSES_ROOT, Sub(kProgId, L"Insertable").c_str());
  EXPECT_EQ(S_OK, hr);
  EXPECT_FALSE(classMarked);
  EXPECT_FALSE(progIdMarked);
}

TEST_F(ModuleTest, UnregisterServerRemovesEverythingAndRegisterRestoresIt) {
  RegisterOnExit restore(module());
  ASSERT_EQ(S_OK, module().registerServer());

  ASSERT_EQ(S_OK, module().unregisterServer());
  EXPECT_FALSE(KeyExists(kClassKey));
  EXPECT_FALSE(KeyExists(kProgId));
  EXPECT_FALSE(KeyExists(kTypeLibKey));
  EXPECT_FALSE(KeyExists(kDispatchKey));
  com_ptr<ITypeLib> lib;
  EXPECT_EQ(TYPE_E_LIBNOTREGISTERED, ::LoadRegTypeLib(qvx::LIBID_QVXINTLLib, 1, 0, kLibraryLocale, lib.put()));
  EXPECT_FALSE(lib);
  CLSID clsid = qvx::CLSID_QVXIntl;
  EXPECT_EQ(CO_E_CLASSSTRING, ::CLSIDFromProgID(kProgId, &clsid));

  ASSERT_EQ(S_OK, module().registerServer());
  ExpectRegistered(module());
}

// DllGetClassObject

TEST_F(ModuleTest, GetClassObjectRefusesEveryOtherClass) {
  const GUID foreign = {0x9A400FFA, 0x04D6, 0x431A, {0x86, 0xA3, 0x5B, 0x9E, 0x9F, 0x7A, 0x1A, 0x8B}};
  const struct {
    const char* label;
    const GUID* clsid;
  } cases[] = {
      {"GUID_NULL", &GUID_NULL},
      {"the type library", &qvx::LIBID_QVXINTLLib},
      {"the dispatch interface", &qvx::DIID_DQVXIntl},
      {"the event interface", &qvx::DIID_DQVXIntlEvents},
      {"the class with its last byte changed", &foreign},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    void* object = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, module().getClassObject(*c.clsid, IID_IClassFactory, &object));
    EXPECT_EQ(nullptr, object);
  }
}

TEST_F(ModuleTest, GetClassObjectHandsOutTheFactory) {
  const struct {
    const char* label;
    const IID* iid;
    HRESULT expected;
  } cases[] = {
      {"IClassFactory", &IID_IClassFactory, S_OK},
      {"IUnknown", &IID_IUnknown, S_OK},
      {"IDispatch", &IID_IDispatch, E_NOINTERFACE},
      {"IClassFactory2", &IID_IClassFactory2, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1234);
    EXPECT_EQ(c.expected, module().getClassObject(qvx::CLSID_QVXIntl, *c.iid, reinterpret_cast<void**>(&object)));
    if (c.expected == S_OK) {
      ASSERT_NE(nullptr, object);
      object->Release();
    } else {
      EXPECT_EQ(nullptr, object);
    }
  }
  EXPECT_EQ(E_POINTER, module().getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, nullptr));
  EXPECT_EQ(S_OK, module().canUnloadNow());
}

TEST_F(ModuleTest, FactoryCreatesControls) {
  com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, module().getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));

  const struct {
    const char* label;
    const IID* iid;
    HRESULT expected;
  } cases[] = {
      {"IDispatch", &IID_IDispatch, S_OK},
      {"_DQVXIntl", &qvx::DIID_DQVXIntl, S_OK},
      {"IUnknown", &IID_IUnknown, S_OK},
      {"IOleObject", &IID_IOleObject, S_OK},
      {"IClassFactory", &IID_IClassFactory, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    IUnknown* object = reinterpret_cast<IUnknown*>(0x1234);
    EXPECT_EQ(c.expected, factory->CreateInstance(nullptr, *c.iid, reinterpret_cast<void**>(&object)));
    if (c.expected == S_OK) {
      ASSERT_NE(nullptr, object);
      object->Release();
    } else {
      EXPECT_EQ(nullptr, object);
    }
  }

  // Aggregation is not supported.
  com_ptr<IDispatch> outer;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, outer.put_void()));
  IUnknown* inner = reinterpret_cast<IUnknown*>(0x1234);
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.get(), IID_IUnknown,
                                                           reinterpret_cast<void**>(&inner)));
  EXPECT_EQ(nullptr, inner);
  EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IDispatch, nullptr));

  // What it creates is the control: its class identifier and its methods.
  com_ptr<IPersist> persist;
  ASSERT_EQ(S_OK, outer->QueryInterface(IID_IPersist, persist.put_void()));
  CLSID clsid = {};
  EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
  EXPECT_TRUE(IsEqualCLSID(qvx::CLSID_QVXIntl, clsid));
  // Without decimals and grouping the text is the same under any regional settings.
  Variant value(1234.4), decimals(0L), flags(2L);
  EXPECT_EQ(L"1234",
            qvxtest::CallText(outer.get(), L"ConvertFltToIntlStr", {value.get(), decimals.get(), flags.get()}));
}

// DllCanUnloadNow follows every object and lock the module hands out.

TEST_F(ModuleTest, CanUnloadNowFollowsFactoriesLocksAndControls) {
  ASSERT_EQ(S_OK, module().canUnloadNow()) << "something of an earlier test is still alive";

  com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, module().getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  EXPECT_EQ(S_FALSE, module().canUnloadNow()) << "while a factory is held";

  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  com_ptr<IDispatch> control;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IDispatch, control.put_void()));
  factory.reset();
  EXPECT_EQ(S_FALSE, module().canUnloadNow()) << "while a lock and a control are held";

  // The lock alone keeps the module.
  control.reset();
  EXPECT_EQ(S_FALSE, module().canUnloadNow()) << "while a lock is held";
  ASSERT_EQ(S_OK, module().getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  EXPECT_EQ(S_FALSE, module().canUnloadNow()) << "the factory is still held";

  // A control alone keeps the module, through any of its interfaces.
  com_ptr<IOleObject> object;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IOleObject, object.put_void()));
  factory.reset();
  EXPECT_EQ(S_FALSE, module().canUnloadNow()) << "while a control lives";
  object.reset();
  EXPECT_EQ(S_OK, module().canUnloadNow()) << "after everything was released";
}

TEST_F(ModuleTest, CanUnloadNowFollowsAnEventConnectionPointOfAReleasedControl) {
  ASSERT_EQ(S_OK, module().canUnloadNow()) << "something of an earlier test is still alive";
  com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, module().getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  com_ptr<IConnectionPointContainer> container;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IConnectionPointContainer, container.put_void()));
  factory.reset();
  com_ptr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, container->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, point.put()));
  container.reset();
  EXPECT_EQ(S_FALSE, module().canUnloadNow()) << "the connection point keeps its control";
  point.reset();
  EXPECT_EQ(S_OK, module().canUnloadNow());
}

TEST_F(ModuleTest, AnUnbalancedUnlockDoesNotHideALaterLock) {
  ASSERT_EQ(S_OK, module().canUnloadNow()) << "something of an earlier test is still alive";
  com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, module().getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  factory.reset();
  EXPECT_EQ(S_FALSE, module().canUnloadNow()) << "the lock must still count";
  ASSERT_EQ(S_OK, module().getClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  factory.reset();
  EXPECT_EQ(S_OK, module().canUnloadNow());
}

// Resources

struct VersionBlock {
  std::vector<BYTE> data;
  bool Load(const std::wstring& path) {
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0) return false;
    data.resize(size);
    return ::GetFileVersionInfoW(path.c_str(), 0, size, data.data()) != FALSE;
  }
  // The value at sub-block, and its length as VerQueryValueW reports it.
  const void* Query(const wchar_t* subBlock, UINT* length) {
    void* value = nullptr;
    *length = 0;
    if (!::VerQueryValueW(data.data(), subBlock, &value, length)) return nullptr;
    return value;
  }
};

TEST_F(ModuleTest, VersionResourceFixedPart) {
  VersionBlock block;
  ASSERT_TRUE(block.Load(module().path));
  UINT length = 0;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(block.Query(L"\\", &length));
  ASSERT_NE(nullptr, fixed);
  ASSERT_EQ(sizeof(VS_FIXEDFILEINFO), length);
  EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
  EXPECT_EQ(MAKELONG(2, 4), fixed->dwFileVersionMS);
  EXPECT_EQ(MAKELONG(0, 5), fixed->dwFileVersionLS);
  EXPECT_EQ(MAKELONG(2, 4), fixed->dwProductVersionMS);
  EXPECT_EQ(MAKELONG(0, 5), fixed->dwProductVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VS_FF_PRIVATEBUILD | VS_FF_SPECIALBUILD), fixed->dwFileFlags & fixed->dwFileFlagsMask);
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
  EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);

  const auto* translation = static_cast<const WORD*>(block.Query(L"\\VarFileInfo\\Translation", &length));
  ASSERT_NE(nullptr, translation);
  ASSERT_EQ(2 * sizeof(WORD), length) << "exactly one translation";
  EXPECT_EQ(0x0C0A, translation[0]);
  EXPECT_EQ(1200, translation[1]);
}

TEST_F(ModuleTest, VersionResourceTexts) {
  VersionBlock block;
  ASSERT_TRUE(block.Load(module().path));
  const struct {
    const wchar_t* name;
    const wchar_t* expected;
  } cases[] = {
      {L"Comments", L"Representación de números en formato internacionalizado."},
      {L"CompanyName", L"Quorvex Ingenieros"},
      {L"FileDescription", L"Quorvex  Internationalization Control"},
      {L"FileVersion", L"4.2.5.0"},
      {L"InternalName", L"QuorvexIntl"},
      {L"LegalTrademarks", L"Quorvex"},
      {L"OriginalFilename", L"QuorvexIntl.ocx"},
      {L"PrivateBuild", L"(No aplicable)"},
      {L"ProductName", L"Quorvex Common Tools"},
      {L"ProductVersion", L"4.2.5.0"},
      {L"SpecialBuild", L"(No aplicable)"},
  };
  for (const auto& c : cases) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\0c0a04b0\\") + c.name;
    SCOPED_TRACE(::testing::Message() << "version text " << ::testing::PrintToString(std::wstring(c.name)));
    UINT length = 0;
    const auto* text = static_cast<const wchar_t*>(block.Query(key.c_str(), &length));
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(std::wstring(c.expected), std::wstring(text));
  }
}

TEST_F(ModuleTest, StringTable) {
  const struct {
    UINT id;
    const wchar_t* expected;
  } cases[] = {
      {1, L"Quorvex Internationalization Control"},
      {119, L"Error al inicializar zócalos de Windows.\nNo se podrán enviar datos desde la aplicación."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "string " << c.id);
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out the resource itself and its exact length.
    const int length = ::LoadStringW(module().handle, c.id, reinterpret_cast<LPWSTR>(&text), 0);
    ASSERT_GT(length, 0);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ(std::wstring(c.expected), std::wstring(text, static_cast<size_t>(length)));
  }
}

TEST_F(ModuleTest, ToolboxBitmapIs16By15With16Colours) {
  HRSRC found = ::FindResourceW(module().handle, MAKEINTRESOURCEW(1), reinterpret_cast<LPCWSTR>(RT_BITMAP));
  ASSERT_NE(nullptr, found);
  HGLOBAL loaded = ::LoadResource(module().handle, found);
  ASSERT_NE(nullptr, loaded);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(::LockResource(loaded));
  ASSERT_NE(nullptr, header);
  ASSERT_GE(::SizeofResource(module().handle, found), sizeof(BITMAPINFOHEADER));
  EXPECT_EQ(16, header->biWidth);
  EXPECT_EQ(15, header->biHeight < 0 ? -header->biHeight : header->biHeight);
  EXPECT_EQ(1, header->biPlanes);
  EXPECT_EQ(4, header->biBitCount);
  EXPECT_TRUE(header->biClrUsed == 0 || header->biClrUsed == 16) << header->biClrUsed;

  HANDLE image = ::LoadImageW(module().handle, MAKEINTRESOURCEW(1), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
  ASSERT_NE(nullptr, image);
  BITMAP bitmap = {};
  EXPECT_EQ(static_cast<int>(sizeof(bitmap)), ::GetObjectW(image, sizeof(bitmap), &bitmap));
  EXPECT_EQ(16, bitmap.bmWidth);
  EXPECT_EQ(15, bitmap.bmHeight);
  EXPECT_EQ(4, bitmap.bmBitsPixel);
  ::DeleteObject(image);
}

}  // namespace
