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

// Start-up and exit run outside the loader lock, which forbids loading or
// freeing libraries and Winsock's clean-up: start-up on the first call into
// the module, exit when COM asks whether the module may be unloaded and
// nothing of it lives. The lock makes the answer and a class object handed
// out meanwhile exclusive. A module freed without that question (by
// regsvr32, or at process exit) leaves its Winsock and rich-edit references
// to the process. The lock is re-entrant: start-up may show a message box,
// whose message loop may bring the host back in (to a module marked started).
CRITICAL_SECTION g_startLock;
bool g_started = false;

class StartLock {
 public:
  StartLock() { ::EnterCriticalSection(&g_startLock); }
  ~StartLock() { ::LeaveCriticalSection(&g_startLock); }
  StartLock(const StartLock&) = delete;
  StartLock& operator=(const StartLock&) = delete;
};

// With the lock held. Marked started first, so that a call that comes back
// in during start-up does not start the module twice; a start-up that runs
// out of memory is tried again by the next call.
void Start() {
  if (g_started) return;
  g_started = true;
  try {
    TheApp().InitInstance();
  } catch (...) {
    g_started = false;
    throw;
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    ::DisableThreadLibraryCalls(instance);
    ::InitializeCriticalSection(&g_startLock);
    try {
      fw::AttachModule(instance);
    } catch (...) {
      return FALSE;  // out of memory while loading: refuse the load
    }
  }
  return TRUE;
}

STDAPI DllRegisterServer() {
  return fw::Guarded([] {
    const StartLock lock;
    Start();
    if (FAILED(fw::RegisterModuleTypeLib(fw::Module().instance))) return SELFREG_E_TYPELIB;
    if (!fw::UpdateServerRegistry(TRUE)) return SELFREG_E_CLASS;
    return S_OK;
  });
}

STDAPI DllUnregisterServer() {
  return fw::Guarded([] {
    const StartLock lock;
    Start();
    if (FAILED(fw::UnregisterModuleTypeLib(fw::Module().instance, LIBID_QVXINTLLib, kTypeLibMajor, kTypeLibMinor)))
      return SELFREG_E_TYPELIB;
    if (!fw::UpdateServerRegistry(FALSE)) return SELFREG_E_CLASS;
    return S_OK;
  });
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return fw::Guarded([&] {
    const StartLock lock;
    Start();
    return fw::GetServerClassObject(rclsid, riid, ppv);
  });
}

STDAPI DllCanUnloadNow() {
  return fw::Guarded([] {
    const StartLock lock;
    if (!fw::ServerCanUnload()) return S_FALSE;
    if (g_started) {
      TheApp().ExitInstance();
      g_started = false;
    }
    return S_OK;
  });
}
