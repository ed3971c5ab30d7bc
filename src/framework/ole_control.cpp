// The control base: identity, IDispatch, embedding, in-place window and
// drawing. Persistence lives in ole_control_persist.cpp, the connection point
// in connection_point.cpp.
#include "framework/ole_control.h"

#include <new>
#include <string>
#include <utility>

#include "framework/com_guard.h"
#include "framework/com_server.h"
#include "framework/module_state.h"

// The module that holds this code, also when it is linked into a test program.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace qvx::fw {
namespace {

constexpr wchar_t kWindowClass[] = L"QuorvexIntlControlWindow";

HINSTANCE ModuleInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

HRESULT LastErrorHresult() noexcept {
  DWORD err = ::GetLastError();
  return err ? HRESULT_FROM_WIN32(err) : E_FAIL;
}

// Registered once per process; a second registration by another control of
// the module finds it already there, which is fine.
bool RegisterWindowClass(WNDPROC proc) noexcept {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = proc;
  wc.hInstance = ModuleInstance();
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = kWindowClass;
  return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

void UnregisterControlWindowClass() noexcept { ::UnregisterClassW(kWindowClass, ModuleInstance()); }

COleControl::COleControl(const ControlClassInfo& info) : info_(info) { ServerObjectCreated(); }

COleControl::~COleControl() {
  DestroyControlWindow();
  FreeEvents();
  // Release before the object count drops, so the module stays loaded while
  // its code still runs.
  inPlaceSite_.reset();
  site_.reset();
  adviseHolder_.reset();
  viewSink_.reset();
  dispatchInfo_.reset();
  ServerObjectDestroyed();
}

// IUnknown

STDMETHODIMP COleControl::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  IUnknown* p = nullptr;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == *info_.dispatchIid)
    p = static_cast<IDispatch*>(this);
  else if (riid == IID_IOleObject)
    p = static_cast<IOleObject*>(this);
  else if (riid == IID_IOleControl)
    p = static_cast<IOleControl*>(this);
  else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceObject)
    p = static_cast<IOleInPlaceObject*>(this);
  else if (riid == IID_IViewObject || riid == IID_IViewObject2)
    p = static_cast<IViewObject2*>(this);
  else if (riid == IID_IPersist || riid == IID_IPersistStreamInit)
    p = static_cast<IPersistStreamInit*>(this);
  else if (riid == IID_IPersistPropertyBag)
    p = static_cast<IPersistPropertyBag*>(this);
  else if (riid == IID_IPersistStorage)
    p = static_cast<IPersistStorage*>(this);
  else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2)
    p = static_cast<IProvideClassInfo2*>(this);
  else if (riid == IID_IConnectionPointContainer)
    p = static_cast<IConnectionPointContainer*>(this);
  *ppv = p;
  if (!p) return E_NOINTERFACE;
  p->AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) COleControl::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }

STDMETHODIMP_(ULONG) COleControl::Release() {
  ULONG n = static_cast<ULONG>(::InterlockedDecrement(&refs_));
  if (n == 0) delete this;
  return n;
}

// IDispatch

HRESULT COleControl::LoadTypeLib(LCID lcid, ITypeLib** lib) {
  HRESULT hr = ::LoadRegTypeLib(*info_.typeLib, info_.typeLibMajor, info_.typeLibMinor, lcid, lib);
  if (SUCCEEDED(hr)) return hr;
  // Not registered (yet): the library is a resource of this module.
  const std::wstring path = ModuleFilePath(ModuleInstance());
  if (path.empty()) return LastErrorHresult();
  return ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib);
}

STDMETHODIMP COleControl::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

STDMETHODIMP COleControl::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return Guarded([&]() -> HRESULT {
    if (!dispatchInfo_) {
      com_ptr<ITypeLib> lib;
      HRESULT hr = LoadTypeLib(lcid, lib.put());
      if (FAILED(hr)) return hr;
      hr = lib->GetTypeInfoOfGuid(*info_.dispatchIid, dispatchInfo_.put());
      if (FAILED(hr)) return hr;
    }
    *info = dispatchInfo_.get();
    (*info)->AddRef();
    return S_OK;
  });
}

STDMETHODIMP COleControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids) return E_POINTER;
  return GetIDsFromTable(info_.methods, names, count, ids);
}

STDMETHODIMP COleControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                 EXCEPINFO* excepInfo, UINT* argErr) {
  if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  return InvokeFromTable(info_.methods, this, id, flags, params, result, excepInfo, argErr);
}

// IProvideClassInfo2

STDMETHODIMP COleControl::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  return Guarded([&]() -> HRESULT {
    com_ptr<ITypeLib> lib;
    HRESULT hr = LoadTypeLib(LOCALE_USER_DEFAULT, lib.put());
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(*info_.clsid, info);
  });
}

STDMETHODIMP COleControl::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *guid = *info_.eventsIid;
  return S_OK;
}

// IOleObject

STDMETHODIMP COleControl::SetClientSite(IOleClientSite* site) {
  if (site) site->AddRef();
  site_.reset(site);
  // A control sited in a window gets its own window at once, hidden until it
  // is activated in place, so that it can receive messages at run time too.
  com_ptr<IOleWindow> siteWindow;
  HWND container = nullptr;
  if (site && !window_ && SUCCEEDED(site->QueryInterface(IID_IOleWindow, siteWindow.put_void())) &&
      SUCCEEDED(siteWindow->GetWindow(&container)) && container)
    CreateControlWindow(container, RECT{0, 0, 0, 0});
  return S_OK;
}

STDMETHODIMP COleControl::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_.get();
  if (*site) (*site)->AddRef();
  return S_OK;
}

STDMETHODIMP COleControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP COleControl::Close(DWORD saveOption) {
  InPlaceDeactivate();
  if (saveOption == OLECLOSE_SAVEIFDIRTY && dirty_ && site_) site_->SaveObject();
  if (adviseHolder_) adviseHolder_->SendOnClose();
  return S_OK;
}

STDMETHODIMP COleControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP COleControl::GetMoniker(DWORD, DWORD, IMoniker** mk) {
  if (mk) *mk = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP COleControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP COleControl::GetClipboardData(DWORD, IDataObject** data) {
  if (data) *data = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP COleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent, LPCRECT posRect) {
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
      // Nothing to UI-activate: no menus, toolbars or focus of its own.
      return ActivateInPlace(site ? site : site_.get(), parent, posRect);
    case OLEIVERB_HIDE:
      if (window_) ::ShowWindow(window_, SW_HIDE);
      return S_OK;
    case OLEIVERB_DISCARDUNDOSTATE:
      return S_OK;
    case OLEIVERB_PROPERTIES:
      return OnProperties(parent);
    default:
      return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
  }
}

HRESULT COleControl::ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT posRect) {
  if (window_ && inPlaceSite_) {
    ::ShowWindow(window_, SW_SHOW);
    return S_OK;
  }
  if (!site) return E_UNEXPECTED;
  com_ptr<IOleInPlaceSite> inPlace;
  HRESULT hr = site->QueryInterface(IID_IOleInPlaceSite, inPlace.put_void());
  if (FAILED(hr)) return hr;
  if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
  hr = inPlace->OnInPlaceActivate();
  if (FAILED(hr)) return hr;

  HWND host = nullptr;
  if (FAILED(inPlace->GetWindow(&host)) || !host) host = parent;
  RECT pos = posRect ? *posRect : RECT{0, 0, 0, 0};
  {
    // The frame and document are not needed; the accelerator table stays the container's.
    com_ptr<IOleInPlaceFrame> frame;
    com_ptr<IOleInPlaceUIWindow> doc;
    RECT sitePos = {}, siteClip = {};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof(frameInfo);
    if (SUCCEEDED(inPlace->GetWindowContext(frame.put(), doc.put(), &sitePos, &siteClip, &frameInfo))) pos = sitePos;
  }
  if (window_ && host && ::GetParent(window_) != host) ::SetParent(window_, host);
  hr = host ? CreateControlWindow(host, pos) : E_UNEXPECTED;
  if (FAILED(hr)) {
    inPlace->OnInPlaceDeactivate();
    return hr;
  }
  ::SetWindowPos(window_, nullptr, pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  inPlaceSite_ = std::move(inPlace);
  return S_OK;
}

HRESULT COleControl::CreateControlWindow(HWND parent, const RECT& pos) {
  if (window_) return S_OK;
  if (!RegisterWindowClass(&COleControl::WindowProc)) return LastErrorHresult();
  HWND w = ::CreateWindowExW(0, kWindowClass, nullptr, WS_CHILD | WS_CLIPSIBLINGS, pos.left, pos.top,
                             pos.right - pos.left, pos.bottom - pos.top, parent, nullptr, ModuleInstance(), this);
  if (!w) return LastErrorHresult();
  window_ = w;
  OnWindowCreated();
  return S_OK;
}

void COleControl::DestroyControlWindow() noexcept {
  if (HWND w = std::exchange(window_, nullptr)) {
    OnWindowDestroyed(w);
    // Detach first: no message may reach a control that is being torn down.
    ::SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    ::DestroyWindow(w);
  }
}

LRESULT CALLBACK COleControl::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<COleControl*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_PAINT:
      if (self) {
        PAINTSTRUCT ps;
        if (HDC dc = ::BeginPaint(hwnd, &ps)) {
          RECT client;
          ::GetClientRect(hwnd, &client);
          // Nothing may leave a window procedure; a failed paint just leaves the area blank.
          try {
            self->OnDraw(dc, client, ps.rcPaint);
          } catch (...) {
          }
          ::EndPaint(hwnd, &ps);
        }
        return 0;
      }
      break;
    case WM_NCDESTROY:
      // The container may destroy its window, and ours with it, before Close.
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      if (self && self->window_ == hwnd) self->window_ = nullptr, self->OnWindowDestroyed(hwnd);
      break;
    default:
      if (LRESULT result = 0; self && self->OnWindowMessage(msg, wp, lp, result)) return result;
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

// The verbs that registration writes for the class.
STDMETHODIMP COleControl::EnumVerbs(IEnumOLEVERB** verbs) {
  if (!verbs) return E_POINTER;
  return ::OleRegEnumVerbs(*info_.clsid, verbs);
}

STDMETHODIMP COleControl::Update() { return S_OK; }

STDMETHODIMP COleControl::IsUpToDate() { return S_OK; }

STDMETHODIMP COleControl::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = *info_.clsid;
  return S_OK;
}

STDMETHODIMP COleControl::GetUserType(DWORD form, LPOLESTR* userType) {
  if (!userType) return E_POINTER;
  wchar_t text[256];
  int n = ::LoadStringW(ModuleInstance(), info_.userTypeNameId, text, 256);
  if (n <= 0) return ::OleRegGetUserType(*info_.clsid, form, userType);
  auto* copy = static_cast<wchar_t*>(::CoTaskMemAlloc((n + 1) * sizeof(wchar_t)));
  if (!copy) return E_OUTOFMEMORY;
  ::CopyMemory(copy, text, n * sizeof(wchar_t));
  copy[n] = L'\0';
  *userType = copy;
  return S_OK;
}

STDMETHODIMP COleControl::SetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  if (size->cx != extent_.cx || size->cy != extent_.cy) {
    extent_ = *size;
    dirty_ = true;
  }
  return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, SIZEL* size) {
  if (!size) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return E_FAIL;
  *size = extent_;
  return S_OK;
}

STDMETHODIMP COleControl::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (!cookie) return E_POINTER;
  if (!sink) return E_INVALIDARG;
  if (!adviseHolder_) {
    HRESULT hr = ::CreateOleAdviseHolder(adviseHolder_.put());
    if (FAILED(hr)) return hr;
  }
  return adviseHolder_->Advise(sink, cookie);
}

STDMETHODIMP COleControl::Unadvise(DWORD cookie) {
  return adviseHolder_ ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

STDMETHODIMP COleControl::EnumAdvise(IEnumSTATDATA** advise) {
  if (!advise) return E_POINTER;
  *advise = nullptr;
  if (!adviseHolder_) {
    HRESULT hr = ::CreateOleAdviseHolder(adviseHolder_.put());
    if (FAILED(hr)) return hr;
  }
  return adviseHolder_->EnumAdvise(advise);
}

STDMETHODIMP COleControl::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (!status) return E_POINTER;
  *status = aspect == DVASPECT_CONTENT ? info_.miscStatus : 0;
  return S_OK;
}

STDMETHODIMP COleControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// IOleControl

STDMETHODIMP COleControl::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  if (info->cb < sizeof(CONTROLINFO)) return E_INVALIDARG;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

STDMETHODIMP COleControl::OnMnemonic(MSG*) { return E_NOTIMPL; }

STDMETHODIMP COleControl::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP COleControl::FreezeEvents(BOOL) { return S_OK; }

// IOleWindow / IOleInPlaceObject

STDMETHODIMP COleControl::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  if (!window_) return E_FAIL;
  *hwnd = window_;
  return S_OK;
}

STDMETHODIMP COleControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP COleControl::InPlaceDeactivate() {
  DestroyControlWindow();
  // Moved out first: the site may call back into us while it is notified.
  if (com_ptr<IOleInPlaceSite> site = std::move(inPlaceSite_)) site->OnInPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP COleControl::UIDeactivate() { return S_OK; }

STDMETHODIMP COleControl::SetObjectRects(LPCRECT pos, LPCRECT) {
  if (!pos) return E_POINTER;
  if (window_)
    ::SetWindowPos(window_, nullptr, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  return S_OK;
}

STDMETHODIMP COleControl::ReactivateAndUndo() { return E_NOTIMPL; }

// IViewObject / IViewObject2

STDMETHODIMP COleControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC draw, LPCRECTL bounds,
                               LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!bounds || !draw) return E_INVALIDARG;
  // The container's DC must come back as it was handed over, also on failure.
  struct SavedDc {
    HDC dc;
    int id;
    ~SavedDc() {
      if (id) ::RestoreDC(dc, id);
    }
  } saved{draw, ::SaveDC(draw)};
  return Guarded([&]() -> HRESULT {
    RECT r = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    OnDraw(draw, r, r);
    return S_OK;
  });
}

STDMETHODIMP COleControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** colors) {
  if (!colors) return E_POINTER;
  *colors = nullptr;
  return S_FALSE;
}

STDMETHODIMP COleControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }

STDMETHODIMP COleControl::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP COleControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  if (sink) sink->AddRef();
  viewSink_.reset(sink);
  viewAspects_ = aspects;
  viewAdviseFlags_ = flags;
  if (sink && (flags & ADVF_PRIMEFIRST)) sink->OnViewChange(DVASPECT_CONTENT, -1);
  return S_OK;
}

STDMETHODIMP COleControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  // Each out-parameter is optional.
  if (aspects) *aspects = viewAspects_;
  if (flags) *flags = viewAdviseFlags_;
  if (sink) {
    *sink = viewSink_.get();
    if (*sink) (*sink)->AddRef();
  }
  return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

}  // namespace qvx::fw
