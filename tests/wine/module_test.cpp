// The module as a COM server: loaded and unloaded by COM in a host, nothing of it outliving it;
// then its exports called as regsvr32 and CoGetClassObject call them.
#include <winsock2.h>
#include <windows.h>
#include <ole2.h>
#include <tlhelp32.h>
#include <olectl.h>

#include "control/intl_ids.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

constexpr wchar_t kModuleName[] = L"QuorvexIntl.ocx";
// A cycle takes about two seconds under the 32-bit suite's emulator.
constexpr int kCycles = sizeof(void*) == 8 ? 100 : 25;

// One host's life: the control in an AtlAxWin, the keypad hook on and off, and with dialog the
// update properties opened from the menu item and closed by a user. Returns the module's handle.
HMODULE UseOnce(bool dialog) {
  const AtlHost host(30);
  com_ptr<IDispatch> control = AtlControl(host.ax);
  EXPECT_TRUE(control);
  EXPECT_EQ(S_OK, CallByName(control.get(), L"SetIntlKeyDec", {Var::Bool(true).v}, nullptr));
  if (dialog) {
    const auto choose = [&] { ::PostMessageW(host.main.get(), WM_COMMAND, 65534, 0), PumpMessages(200); };
    const auto cancel = [](HWND shown) { ::PostMessageW(shown, WM_COMMAND, IDCANCEL, 0); };
    EXPECT_EQ("", WithDialog(L"Propiedades de actualización", choose, cancel, IDCANCEL, 10000))
        << "the menu item opened no properties dialog";
  }
  EXPECT_EQ(S_OK, CallByName(control.get(), L"SetIntlKeyDec", {Var::Bool(false).v}, nullptr));
  return ::GetModuleHandleW(kModuleName);
}

// The process's threads: none may outlive the module.
int ThreadCount() {
  qvx::fw::unique_handle_kernel snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  THREADENTRY32 entry = {sizeof entry};
  int count = 0;
  for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry))
    count += entry.th32OwnerProcessID == ::GetCurrentProcessId();
  return count;
}

TEST(ModuleLife, UnloadedAndLoadedAgainManyTimes) {
  ComScope com;
  ASSERT_TRUE(AtlReady());
  ASSERT_EQ(nullptr, ::GetModuleHandleW(kModuleName)) << "the test must load the module through COM only";
  const bool richEdit = ::GetModuleHandleW(L"riched20.dll") != nullptr;
  int threads = 0;
  for (int cycle = 0; cycle < kCycles; ++cycle) {
    SCOPED_TRACE(cycle);
    const HMODULE module = UseOnce(cycle % 25 == 0 || cycle == kCycles - 1);
    ASSERT_NE(nullptr, module);
    ::CoFreeUnusedLibrariesEx(0, 0);
    ASSERT_EQ(nullptr, ::GetModuleHandleW(kModuleName)) << "COM did not unload the module";
    WNDCLASSW wc;
    EXPECT_FALSE(::GetClassInfoW(module, L"QuorvexIntlControlWindow", &wc)) << "its window class outlived it";
    PumpMessages(20);  // a hook left behind would run unloaded code here
    if (cycle == 0) threads = ThreadCount();
  }
  EXPECT_EQ(threads, ThreadCount()) << "threads that outlive the module";
  EXPECT_EQ(richEdit, ::GetModuleHandleW(L"riched20.dll") != nullptr) << "the rich-edit library it loaded";
  EXPECT_EQ(SOCKET_ERROR, ::WSACleanup()) << "its Windows Sockets start-up was not undone";
  EXPECT_EQ(WSANOTINITIALISED, ::WSAGetLastError());
}

HMODULE TheModule() {
  static const HMODULE module = ::LoadLibraryW(ModulePath().c_str());
  return module;
}
template <typename F = HRESULT(STDAPICALLTYPE*)()>
F Export(const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(TheModule(), name)));
}
const auto GetClassObject = [](REFCLSID clsid, REFIID iid, void** out) {
  return Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(clsid, iid, out);
};

// What hosts, containers and designers find after registration.
std::string Registration() {
  CLSID clsid = {};
  DWORD misc = 0;
  wchar_t model[32] = {}, dir[MAX_PATH] = {};
  DWORD size = sizeof model, bytes = sizeof dir;
  qvx::fw::unique_hkey insertable;
  com_ptr<ITypeLib> lib;
  BSTR help = nullptr;
  const std::wstring key = L"CLSID\\{9A400FFA-04D6-431A-86A3-5B9E9F7A1A8A}";
  std::string found = ::CLSIDFromProgID(kProgId, &clsid) == S_OK && IsEqualCLSID(clsid, qvx::CLSID_QVXIntl) ? "progid " : "";
  if (::OleRegGetMiscStatus(qvx::CLSID_QVXIntl, DVASPECT_CONTENT, &misc) == S_OK) found += std::to_string(misc) + " ";
  if (!::RegGetValueW(HKEY_CLASSES_ROOT, (key + L"\\InprocServer32").c_str(), L"ThreadingModel", RRF_RT_REG_SZ,
                      nullptr, model, &size))
    found += std::string(model, model + wcslen(model)) + " ";
  if (!::RegOpenKeyExW(HKEY_CLASSES_ROOT, (key + L"\\Insertable").c_str(), 0, KEY_READ, insertable.put()))
    found += "insertable ";
  // Object browsers find the help file in the folder HELPDIR names: the module's.
  if (::LoadRegTypeLib(qvx::LIBID_QVXINTLLib, 1, 0, 0x409, lib.put()) == S_OK &&
      lib->GetDocumentation(-1, nullptr, nullptr, nullptr, &help) == S_OK && help) {
    ::RegGetValueW(HKEY_CLASSES_ROOT, L"TypeLib\\{D0D40567-294F-4C6F-8952-CEFA97343C0A}\\1.0\\HELPDIR", nullptr,
                   RRF_RT_REG_SZ, nullptr, dir, &bytes);
    wchar_t path[MAX_PATH] = {};
    const std::wstring module(path, ::GetModuleFileNameW(TheModule(), path, MAX_PATH)), file = help;
    found += std::string(file.begin(), file.end()) + (module.substr(0, module.find_last_of(L'\\') + 1) == dir ? " in HELPDIR" : "");
  }
  ::SysFreeString(help);
  return found;
}

TEST(ModuleTest, RegistrationIsWhatHostsFindAndUnregistrationRemovesIt) {
  ComScope com;
  ASSERT_TRUE(TheModule());
  ASSERT_EQ(S_OK, Export("DllRegisterServer")());
  EXPECT_EQ("progid 132241 Apartment QuorvexIntl.hlp in HELPDIR", Registration());
  ASSERT_EQ(S_OK, Export("DllUnregisterServer")());
  const std::string unregistered = Registration();
  ASSERT_EQ(S_OK, Export("DllRegisterServer")());
  EXPECT_EQ("", unregistered);
}

TEST(ModuleTest, FactoryControlsAndTheUnloadAnswer) {
  ComScope com;
  const auto canUnloadNow = Export("DllCanUnloadNow");
  ASSERT_EQ(S_OK, canUnloadNow()) << "something of an earlier test is still alive";
  const GUID foreign = {0x9A400FFA, 0x04D6, 0x431A, {0x86, 0xA3, 0x5B, 0x9E, 0x9F, 0x7A, 0x1A, 0x8B}};
  const struct { const GUID* clsid; const IID* iid; HRESULT hr; } objects[] = {
      {&qvx::CLSID_QVXIntl, &IID_IClassFactory, S_OK}, {&qvx::CLSID_QVXIntl, &IID_IUnknown, S_OK},
      {&qvx::CLSID_QVXIntl, &IID_IDispatch, E_NOINTERFACE}, {&qvx::CLSID_QVXIntl, &IID_IClassFactory2, E_NOINTERFACE},
      {&foreign, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE}, {&qvx::LIBID_QVXINTLLib, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const auto& o : objects) {
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(o.hr, GetClassObject(*o.clsid, *o.iid, reinterpret_cast<void**>(&object)));
    if (o.hr == S_OK) object->Release();
    else EXPECT_EQ(nullptr, object);
  }
  EXPECT_EQ(S_OK, canUnloadNow()) << "a released factory keeps nothing";

  com_ptr<IClassFactory> factory;
  ASSERT_EQ(S_OK, GetClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  com_ptr<IDispatch> outer;
  ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, qvx::DIID_DQVXIntl, outer.put_void()));
  IUnknown* object = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, reinterpret_cast<void**>(&object)));
  EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.get(), IID_IUnknown, reinterpret_cast<void**>(&object)));
  EXPECT_EQ(nullptr, object);
  Var value(1234.4), decimals(0L), flags(2L);
  EXPECT_EQ(L"1234", CallText(outer.get(), L"ConvertFltToIntlStr", {value.v, decimals.v, flags.v}));

  // Each of these keeps the module: a factory, a control, a connection point, a lock.
  com_ptr<IConnectionPoint> point;
  com_ptr<IConnectionPointContainer> container;
  ASSERT_EQ(S_OK, outer->QueryInterface(IID_IConnectionPointContainer, container.put_void()));
  ASSERT_EQ(S_OK, container->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, point.put()));
  container.reset(), outer.reset(), factory.reset();
  EXPECT_EQ(S_FALSE, canUnloadNow()) << "the connection point keeps its control";
  ASSERT_EQ(S_OK, GetClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE)) << "an unbalanced unlock";
  ASSERT_EQ(S_OK, factory->LockServer(TRUE));
  factory.reset(), point.reset();
  EXPECT_EQ(S_FALSE, canUnloadNow()) << "the lock alone";
  ASSERT_EQ(S_OK, GetClassObject(qvx::CLSID_QVXIntl, IID_IClassFactory, factory.put_void()));
  ASSERT_EQ(S_OK, factory->LockServer(FALSE));
  factory.reset();
  EXPECT_EQ(S_OK, canUnloadNow());
}

}  // namespace
}  // namespace qvxtest
