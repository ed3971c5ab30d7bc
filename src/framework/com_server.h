// COM server plumbing: the count of live objects and factory locks that
// DllCanUnloadNow answers from, and the module's list of class factories.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace qvx::fw {

// Live COM objects of the module (controls, factories handed out, enumerators).
void ServerObjectCreated() noexcept;
void ServerObjectDestroyed() noexcept;
// IClassFactory::LockServer.
void ServerLock(bool lock) noexcept;
// True when no object is alive and no lock is held.
bool ServerCanUnload() noexcept;

// Creates one new object and queries it for riid; returns its HRESULT.
using CreateInstanceFn = HRESULT (*)(REFIID riid, void** ppv);
// Updates the class's registration; returns FALSE on failure.
using UpdateRegistryFn = BOOL (*)(BOOL bRegister);

struct ClassEntry {
  const CLSID* clsid;
  CreateInstanceFn create;
  UpdateRegistryFn updateRegistry;
};

// The module's classes, in the order they register.
void SetServerClasses(const ClassEntry* entries, size_t count) noexcept;

// DllGetClassObject: the factory of rclsid, or CLASS_E_CLASSNOTAVAILABLE.
HRESULT GetServerClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept;

// Runs every class's UpdateRegistry; FALSE as soon as one fails.
BOOL UpdateServerRegistry(BOOL bRegister) noexcept;

}  // namespace qvx::fw
