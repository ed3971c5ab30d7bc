// The control as containers meet it: embedded by Wine's own ATL host window
// (a real container), drawn through IViewObject, its verbs as a container
// lists and runs them, persisted through its three persistence interfaces and
// advised through its one connection point.
#include <ole2.h>
#include <olectl.h>

#include <atomic>
#include <thread>

#include "control/intl_ids.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = 0, kGrey = RGB(128, 128, 128);

template <typename I>
com_ptr<I> Query(IUnknown* object) {
  com_ptr<I> p;
  EXPECT_EQ(S_OK, object->QueryInterface(__uuidof(I), p.put_void()));
  return p;
}

template <typename F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t name[16] = {};
  ::GetClassNameW(window, name, 16);
  if (std::wstring(name) != L"#32770" || !::IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// What a verb shows while DoVerb runs: the first dialog of this thread that
// appears before DoVerb returns, closed with the given command; "" when none
// does. A dialog that ignores its command is ended with WM_QUIT, so no run hangs.
std::wstring CloseDialogOf(DWORD thread, HWND container, WORD command, const std::atomic<bool>& returned) {
  HWND dialog = nullptr;
  WaitUntil([&] {
    ::EnumThreadWindows(thread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
    return dialog != nullptr || returned;
  }, 5000);
  if (!dialog) return L"";
  const std::wstring caption = WindowText(dialog);
  std::wstring seen = caption.find(L"Quorvex Internationalization Control") != std::wstring::npos ? L"named" : caption;
  if (::GetWindow(dialog, GW_OWNER) == container) seen += L" owned";
  if (!::IsWindowEnabled(container)) seen += L" modal";
  ::PostMessageW(dialog, WM_COMMAND, command, 0);
  if (!WaitUntil([&] { return !::IsWindow(dialog); }, 5000)) {
    ::PostThreadMessageW(thread, WM_QUIT, 0, 0);
    seen += L" stuck";
  }
  return seen;
}

TEST(ContainerTest, WineAtlHostsDrawsAndDestroysTheControl) {
  ComScope com;
  HMODULE atl = ::LoadLibraryW(L"atl.dll");
  auto init = Export<BOOL(WINAPI*)()>(atl, "AtlAxWinInit");
  auto getControl = Export<HRESULT(WINAPI*)(HWND, IUnknown**)>(atl, "AtlAxGetControl");
  ASSERT_TRUE(init && getControl && init());
  WNDCLASSW wc = {};
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));  // so the control's white stands out
  wc.lpszClassName = L"QvxContainerFrame";
  ::RegisterClassW(&wc);
  qvx::fw::unique_hwnd frame(::CreateWindowW(wc.lpszClassName, L"container", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300,
                                             nullptr, nullptr, nullptr, nullptr));
  const int left = 20, top = 30, w = 160, h = 120;
  qvx::fw::unique_hwnd host(::CreateWindowW(L"AtlAxWin", kProgId, WS_CHILD | WS_VISIBLE, left, top, w, h, frame.get(),
                                            nullptr, nullptr, nullptr));
  ASSERT_TRUE(host) << "AtlAxWin, error " << ::GetLastError();
  PumpMessages(20);
  com_ptr<IUnknown> control;
  ASSERT_EQ(S_OK, getControl(host.get(), control.put()));
  HWND window = nullptr;
  ASSERT_EQ(S_OK, Query<IOleInPlaceObject>(control.get())->GetWindow(&window));
  EXPECT_EQ(host.get(), ::GetParent(window));
  RECT client = {};
  ::GetClientRect(window, &client);
  EXPECT_EQ(w, client.right);
  EXPECT_EQ(h, client.bottom);
  for (const IID* iid : {&IID_IViewObject, &IID_IViewObject2, &IID_IOleControl, &IID_IPersistStreamInit,
                         &IID_IPersistStorage, &IID_IPersistPropertyBag, &IID_IConnectionPointContainer}) {
    com_ptr<IUnknown> p;
    EXPECT_EQ(S_OK, control->QueryInterface(*iid, p.put_void())) << iid->Data1;
  }
  DWORD status = 0;
  EXPECT_EQ(S_OK, Query<IOleObject>(control.get())->GetMiscStatus(DVASPECT_CONTENT, &status));
  EXPECT_EQ(qvx::kQVXIntlMiscStatus, status);
  LPOLESTR name = nullptr;
  ASSERT_EQ(S_OK, Query<IOleObject>(control.get())->GetUserType(USERCLASSTYPE_SHORT, &name));
  EXPECT_STREQ(L"Quorvex Internationalization Control", name);
  ::CoTaskMemFree(name);
  com_ptr<IOleClientSite> site;
  EXPECT_EQ(S_OK, Query<IOleObject>(control.get())->GetClientSite(site.put()));
  EXPECT_TRUE(site) << "the host must have set its client site";
  ScopedNumberSettings spanish(kSpanish);
  Var text(L"1234567.891"), flags(1L);
  EXPECT_EQ(L"1.234.567,891",
            CallText(Query<IDispatch>(control.get()).get(), L"ConvertStrToIntlStr", {text.v, flags.v}));

  // What the screen shows: white with an inscribed ellipse, the frame around it.
  ::RedrawWindow(frame.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpMessages(20);
  HDC dc = ::GetDC(frame.get());
  const struct {
    int x, y;
    COLORREF color;
  } pixels[] = {{w / 2, 0, kBlack}, {w / 2, h - 1, kBlack}, {0, h / 2, kBlack}, {w - 1, h / 2, kBlack},
                {w / 2, h / 2, kWhite}, {2, 2, kWhite}, {w - 3, h - 3, kWhite}, {-5, h / 2, kGrey}};
  for (const auto& p : pixels) EXPECT_EQ(p.color, ::GetPixel(dc, left + p.x, top + p.y)) << p.x << "," << p.y;
  ::ReleaseDC(frame.get(), dc);

  // The one verb a container lists, and what the verbs do.
  com_ptr<IEnumOLEVERB> verbs;
  ASSERT_EQ(S_OK, Query<IOleObject>(control.get())->EnumVerbs(verbs.put()));
  std::wstring listed;
  OLEVERB verb = {};
  for (ULONG n = 0; verbs->Next(1, &verb, &n) == S_OK && n == 1; ::CoTaskMemFree(verb.lpszVerbName))
    listed += std::to_wstring(verb.lVerb) + L" " + verb.lpszVerbName + L" " + std::to_wstring(verb.fuFlags) + L" " +
              std::to_wstring(verb.grfAttribs) + L";";
  EXPECT_EQ(L"-7 Properties 0 2;", listed);
  const struct {
    LONG verb;
    WORD close;
    HRESULT hr;
    const wchar_t* shown;
  } rows[] = {
      {OLEIVERB_PROPERTIES, IDCANCEL, S_OK, L"named owned modal"},
      {OLEIVERB_PROPERTIES, IDOK, S_OK, L"named owned modal"},
      {-8, IDCANCEL, E_NOTIMPL, L""},  // a verb of the future
      {7, IDCANCEL, OLEOBJ_S_INVALIDVERB, L""},
  };
  for (const auto& row : rows) {
    std::wstring shown;
    std::atomic<bool> returned{false};
    std::thread user([&, thread = ::GetCurrentThreadId()] {
      shown = CloseDialogOf(thread, frame.get(), row.close, returned);
    });
    RECT where = {left, top, left + w, top + h};
    EXPECT_EQ(row.hr, Query<IOleObject>(control.get())->DoVerb(row.verb, nullptr, site.get(), 0, host.get(), &where))
        << row.verb;
    returned = true;
    user.join();
    EXPECT_EQ(row.shown, shown) << row.verb << " closed with " << row.close;
    MSG quit;
    ::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  }
  EXPECT_TRUE(::IsWindowEnabled(frame.get())) << "the container takes input again";

  // Closing deactivates the control: its window goes while the host stays.
  com_ptr<IOleInPlaceObject> inPlace = Query<IOleInPlaceObject>(control.get());
  EXPECT_EQ(S_OK, Query<IOleObject>(control.get())->Close(OLECLOSE_NOSAVE));
  PumpMessages(20);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(E_FAIL, inPlace->GetWindow(&window)) << "a control without a window says so";
}

// An extent saved through each persistence interface reaches a new control.
TEST(ContainerTest, PersistenceCarriesVersionAndExtent) {
  ComScope com;
  SIZEL odd = {1234, 567};
  auto extentOf = [](IUnknown* c) {
    SIZEL s = {-1, -1};
    Query<IOleObject>(c)->GetExtent(DVASPECT_CONTENT, &s);
    return std::to_string(s.cx) + "x" + std::to_string(s.cy);
  };
  com_ptr<IDispatch> saved = CreateControl(), byStream = CreateControl(), byStorage = CreateControl();
  auto stream = Query<IPersistStreamInit>(saved.get());
  ASSERT_EQ(S_OK, stream->InitNew());
  EXPECT_EQ(S_FALSE, stream->IsDirty());
  Query<IOleObject>(saved.get())->SetExtent(DVASPECT_CONTENT, &odd);
  EXPECT_EQ(S_OK, stream->IsDirty());

  com_ptr<ILockBytes> bytes;
  com_ptr<IStorage> storage;
  ::CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put());
  ::StgCreateDocfileOnILockBytes(bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.put());
  ASSERT_EQ(S_OK, Query<IPersistStorage>(saved.get())->Save(storage.get(), FALSE));
  EXPECT_EQ(S_OK, stream->IsDirty()) << "a copy saved elsewhere leaves the control dirty";
  ASSERT_EQ(S_OK, storage->Commit(STGC_DEFAULT));
  ASSERT_EQ(S_OK, Query<IPersistStorage>(byStorage.get())->Load(storage.get()));

  com_ptr<IStream> data;
  ::CreateStreamOnHGlobal(nullptr, TRUE, data.put());
  ASSERT_EQ(S_OK, stream->Save(data.get(), TRUE));
  EXPECT_EQ(S_FALSE, stream->IsDirty());
  LARGE_INTEGER zero = {};
  DWORD version = 0;
  data->Seek(zero, STREAM_SEEK_SET, nullptr);
  data->Read(&version, 4, nullptr);
  EXPECT_EQ(qvx::kQVXIntlExchangeVersion, version);
  data->Seek(zero, STREAM_SEEK_SET, nullptr);
  ASSERT_EQ(S_OK, Query<IPersistStreamInit>(byStream.get())->Load(data.get()));
  EXPECT_EQ(E_POINTER, stream->Load(nullptr));

  for (IDispatch* c : {byStream.get(), byStorage.get()}) EXPECT_EQ("1234x567", extentOf(c));
}

// An event sink that offers IDispatch but not the event interface itself,
// as script engines do; without dispatch it offers only IUnknown.
struct Sink final : IDispatch {
  bool dispatch = true;
  ULONG refs = 1;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || (dispatch && riid == IID_IDispatch)) return *ppv = this, AddRef(), S_OK;
    return *ppv = nullptr, E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_FAIL; }
};

TEST(ContainerTest, OneConnectionPointForTheEventInterface) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  auto container = Query<IConnectionPointContainer>(control.get());
  IConnectionPoint* none = reinterpret_cast<IConnectionPoint*>(1);
  EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IPropertyNotifySink, &none));
  EXPECT_EQ(nullptr, none);
  com_ptr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, container->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, point.put()));
  {
    com_ptr<IEnumConnectionPoints> points;
    ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.put()));
    IConnectionPoint* got[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, points->Next(2, got, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(point.get(), got[0]) << "the enumerator hands out the point FindConnectionPoint finds";
    got[0]->Release();
  }
  Sink sink, second, mute;
  mute.dispatch = false;
  DWORD cookie = 0, secondCookie = 0, refused = 7;
  ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
  ASSERT_EQ(S_OK, point->Advise(&second, &secondCookie));
  EXPECT_NE(cookie, secondCookie);
  EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(&mute, &refused));
  EXPECT_EQ(1u, mute.refs);
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie ^ secondCookie ^ 0x5A5A));
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  EXPECT_EQ(1u, sink.refs) << "Unadvise releases the sink";
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie)) << "a cookie is good once";
  point.reset(), container.reset(), control.reset();
  EXPECT_EQ(1u, second.refs) << "releasing the control releases its sinks";
}

}  // namespace
}  // namespace qvxtest
