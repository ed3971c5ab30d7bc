// The control base: reference counting, IDispatch over a dispatch table, and
// the OLE control interfaces a container needs to site, persist and draw a
// control that is invisible at run time. No properties, no events.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include "framework/dispatch.h"
#include "framework/handles.h"

namespace qvx::fw {

struct ControlClassInfo {
  const CLSID* clsid;
  const IID* dispatchIid;  // the default dispinterface
  const IID* eventsIid;    // the default source dispinterface (declares no events)
  const GUID* typeLib;
  WORD typeLibMajor;
  WORD typeLibMinor;
  DWORD miscStatus;        // OLEMISC_* flags
  UINT userTypeNameId;     // string resource
  DWORD exchangeVersion;   // property-exchange version written by the persistence interfaces
  DispatchTable methods;
};

// A window class outlives the module that registered it: the module takes
// its own away before it is unloaded, when no control lives.
void UnregisterControlWindowClass() noexcept;

class COleControl : public IDispatch,
                    public IOleObject,
                    public IOleControl,
                    public IOleInPlaceObject,
                    public IViewObject2,
                    public IPersistStreamInit,
                    public IPersistPropertyBag,
                    public IPersistStorage,
                    public IProvideClassInfo2,
                    public IConnectionPointContainer {
 public:
  COleControl(const COleControl&) = delete;
  COleControl& operator=(const COleControl&) = delete;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* excepInfo, UINT* argErr) override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) override;
  STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
  STDMETHODIMP Close(DWORD saveOption) override;
  STDMETHODIMP SetMoniker(DWORD which, IMoniker* mk) override;
  STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** mk) override;
  STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
  STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
  STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                      LPCRECT posRect) override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
  STDMETHODIMP Update() override;
  STDMETHODIMP IsUpToDate() override;
  STDMETHODIMP GetUserClassID(CLSID* clsid) override;
  STDMETHODIMP GetUserType(DWORD form, LPOLESTR* userType) override;
  STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
  STDMETHODIMP Advise(IAdviseSink* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
  STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
  STDMETHODIMP SetColorScheme(LOGPALETTE* pal) override;

  // IOleControl
  STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
  STDMETHODIMP OnMnemonic(MSG* msg) override;
  STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
  STDMETHODIMP FreezeEvents(BOOL freeze) override;

  // IOleWindow / IOleInPlaceObject
  STDMETHODIMP GetWindow(HWND* hwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
  STDMETHODIMP InPlaceDeactivate() override;
  STDMETHODIMP UIDeactivate() override;
  STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
  STDMETHODIMP ReactivateAndUndo() override;

  // IViewObject / IViewObject2
  STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDev,
                    HDC draw, LPCRECTL bounds, LPCRECTL wBounds,
                    BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR), ULONG_PTR contArg) override;
  STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* target, HDC targetDev,
                           LOGPALETTE** colors) override;
  STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
  STDMETHODIMP Unfreeze(DWORD freeze) override;
  STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* target, LPSIZEL size) override;

  // IPersist (shared by the three persistence interfaces)
  STDMETHODIMP GetClassID(CLSID* clsid) override;

  // IPersistStreamInit
  STDMETHODIMP IsDirty() override;
  STDMETHODIMP Load(LPSTREAM stream) override;
  STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
  STDMETHODIMP InitNew() override;

  // IPersistPropertyBag
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;

  // IPersistStorage
  STDMETHODIMP InitNew(IStorage* storage) override;
  STDMETHODIMP Load(IStorage* storage) override;
  STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
  STDMETHODIMP SaveCompleted(IStorage* storage) override;
  STDMETHODIMP HandsOffStorage() override;

  // IProvideClassInfo / IProvideClassInfo2
  STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
  STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

 protected:
  explicit COleControl(const ControlClassInfo& info);
  virtual ~COleControl();

  // Draws the control into dc within bounds. Called for IViewObject::Draw
  // and for WM_PAINT of the in-place window.
  virtual void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) = 0;

  // The control's window is made when a container sites the control in a
  // window (hidden) or activates it in place, and goes with deactivation, the
  // container's window or the control. The derived control sees both ends and
  // the messages the base does not handle (true: handled, result set). None
  // of these may throw.
  virtual void OnWindowCreated() {}
  virtual void OnWindowDestroyed(HWND) {}
  virtual bool OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

  // The "Properties" verb: a modal property frame captioned with the user
  // type name, owned by the top-level window of parent, else of the
  // container's window. S_OK however the user closes it.
  virtual HRESULT OnProperties(HWND parent);

  const ControlClassInfo& ClassInfo() const { return info_; }
  HWND ControlWindow() const { return window_; }

 private:
  class ConnectionPoint;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // The registered library in the language asked for, else the module's own copy.
  HRESULT LoadTypeLib(LCID lcid, ITypeLib** lib);
  HRESULT ActivateInPlace(IOleClientSite* site, HWND parent, LPCRECT posRect);
  HRESULT CreateControlWindow(HWND parent, const RECT& pos);
  void DestroyControlWindow() noexcept;
  // The connection point is created on first request; these live beside its
  // definition. Events() throws std::bad_alloc.
  ConnectionPoint& Events();
  void FreeEvents() noexcept;

  static constexpr SIZEL kDefaultExtent = {2540, 2540};  // HIMETRIC, one inch square

  const ControlClassInfo& info_;
  LONG refs_ = 1;
  com_ptr<IOleClientSite> site_;
  com_ptr<IOleInPlaceSite> inPlaceSite_;
  com_ptr<IOleAdviseHolder> adviseHolder_;
  com_ptr<IAdviseSink> viewSink_;
  DWORD viewAspects_ = 0;
  DWORD viewAdviseFlags_ = 0;
  com_ptr<ITypeInfo> dispatchInfo_;
  ConnectionPoint* events_ = nullptr;  // owned; its references are the control's
  HWND window_ = nullptr;
  SIZEL extent_ = kDefaultExtent;
  bool dirty_ = false;
};

}  // namespace qvx::fw
