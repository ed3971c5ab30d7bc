// The module's entry points. None lets an exception escape.
#include <windows.h>
#include <olectl.h>

#include "control/intl_ids.h"
#include "framework/com_guard.h"
#include "framework/com_server.h"
#include "framework/module_state.h"
#include "framework/registration.h"
#include "module/app.h"

using namespace qvx;

namespace {
bool g_started = false;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    ::DisableThreadLibraryCalls(instance);
    try {
      fw::AttachModule(instance);
    } catch (...) {
      return FALSE;  // out of memory while loading: refuse the load
    }
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr && g_started) {
    // Unloaded with FreeLibrary: release what start-up took. At process exit
    // the system reclaims it and other DLLs may already be gone.
    TheApp().ExitInstance();
  }
  return TRUE;
}

// Start-up runs on the first call here rather than in DllMain, outside the
// loader lock: it starts Windows Sockets and loads the rich-edit library.
static void Start() {
  EnsureModuleStarted();
  g_started = true;
}

STDAPI DllRegisterServer() {
  return fw::Guarded([] {
    Start();
    if (FAILED(fw::RegisterModuleTypeLib(fw::Module().instance))) return SELFREG_E_TYPELIB;
    if (!fw::UpdateServerRegistry(TRUE)) return SELFREG_E_CLASS;
    return S_OK;
  });
}

STDAPI DllUnregisterServer() {
  return fw::Guarded([] {
    Start();
    if (FAILED(fw::UnregisterModuleTypeLib(fw::Module().instance, LIBID_QVXINTLLib, kTypeLibMajor, kTypeLibMinor)))
      return SELFREG_E_TYPELIB;
    if (!fw::UpdateServerRegistry(FALSE)) return SELFREG_E_CLASS;
    return S_OK;
  });
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return fw::Guarded([&] {
    Start();
    return fw::GetServerClassObject(rclsid, riid, ppv);
  });
}

STDAPI DllCanUnloadNow() { return fw::ServerCanUnload() ? S_OK : S_FALSE; }
