#include "framework/com_server.h"

#include <new>

#include "framework/com_guard.h"

namespace qvx::fw {

namespace {

LONG g_objects = 0;
LONG g_locks = 0;
const ClassEntry* g_classes = nullptr;
size_t g_classCount = 0;

// One factory object per request; it counts as a live object while held.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(CreateInstanceFn create) : create_(create) { ServerObjectCreated(); }
  ~ClassFactory() { ServerObjectDestroyed(); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = ::InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return Guarded([&] { return create_(riid, ppv); });
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    ServerLock(lock != FALSE);
    return S_OK;
  }

 private:
  LONG refs_ = 1;
  CreateInstanceFn create_;
};

}  // namespace

void ServerObjectCreated() noexcept { ::InterlockedIncrement(&g_objects); }
void ServerObjectDestroyed() noexcept { ::InterlockedDecrement(&g_objects); }

void ServerLock(bool lock) noexcept {
  if (lock) {
    ::InterlockedIncrement(&g_locks);
  } else if (::InterlockedDecrement(&g_locks) < 0) {
    ::InterlockedIncrement(&g_locks);  // an unbalanced unlock must not hide a real one
  }
}

bool ServerCanUnload() noexcept {
  return ::InterlockedCompareExchange(&g_objects, 0, 0) == 0 && ::InterlockedCompareExchange(&g_locks, 0, 0) == 0;
}

void SetServerClasses(const ClassEntry* entries, size_t count) noexcept {
  g_classes = entries;
  g_classCount = count;
}

HRESULT GetServerClassObject(REFCLSID rclsid, REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  for (size_t i = 0; i < g_classCount; ++i) {
    if (!IsEqualCLSID(rclsid, *g_classes[i].clsid)) continue;
    auto* factory = new (std::nothrow) ClassFactory(g_classes[i].create);
    if (factory == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

BOOL UpdateServerRegistry(BOOL bRegister) noexcept {
  for (size_t i = 0; i < g_classCount; ++i)
    if (!g_classes[i].updateRegistry(bRegister)) return FALSE;
  return TRUE;
}

}  // namespace qvx::fw
