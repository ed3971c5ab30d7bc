// The control as containers meet it: embedded by Wine's own ATL host window,
// its verbs listed and run, persisted and advised.
#include <ole2.h>
#include <olectl.h>

#include "control/intl_ids.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

template <typename I>
com_ptr<I> Query(IUnknown* object) {
  com_ptr<I> p;
  EXPECT_EQ(S_OK, object->QueryInterface(__uuidof(I), p.put_void()));
  return p;
}

HWND g_container = nullptr;
std::wstring g_shown;  // what a verb showed: "named owned modal" as a property frame should

// Run by the modal loop of the dialog a verb shows, which it closes.
void CALLBACK CloseDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = ::GetActiveWindow();
  if (!dialog || dialog == g_container) return;
  ::KillTimer(nullptr, timer);
  const std::wstring caption = WindowText(dialog);
  g_shown = caption.find(L"Quorvex Internationalization Control") != std::wstring::npos ? L"named" : caption;
  if (::GetWindow(dialog, GW_OWNER) == g_container) g_shown += L" owned";
  if (!::IsWindowEnabled(g_container)) g_shown += L" modal";
  ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

TEST(ContainerTest, WineAtlHostsRunsVerbsAndDestroysTheControl) {
  ComScope com;
  ASSERT_TRUE(AtlReady());
  qvx::fw::unique_hwnd frame(::CreateWindowW(L"STATIC", L"container", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                             nullptr, nullptr, nullptr));
  const int left = 20, top = 30, w = 160, h = 120;
  qvx::fw::unique_hwnd host(::CreateWindowW(L"AtlAxWin", kProgId, WS_CHILD | WS_VISIBLE, left, top, w, h, frame.get(),
                                            nullptr, nullptr, nullptr));
  PumpMessages(20);
  com_ptr<IDispatch> control = AtlControl(host.get());
  ASSERT_TRUE(control);
  HWND window = nullptr;
  ASSERT_EQ(S_OK, Query<IOleInPlaceObject>(control.get())->GetWindow(&window));
  RECT client = {};
  ::GetClientRect(window, &client);
  EXPECT_EQ(host.get(), ::GetParent(window));
  EXPECT_EQ(w, client.right);
  EXPECT_EQ(h, client.bottom);
  for (const IID* iid : {&IID_IViewObject, &IID_IViewObject2, &IID_IOleControl, &IID_IPersistPropertyBag}) {
    com_ptr<IUnknown> p;
    EXPECT_EQ(S_OK, control->QueryInterface(*iid, p.put_void())) << iid->Data1;
  }
  auto object = Query<IOleObject>(control.get());
  LPOLESTR name = nullptr;
  ASSERT_EQ(S_OK, object->GetUserType(USERCLASSTYPE_SHORT, &name));
  EXPECT_STREQ(L"Quorvex Internationalization Control", name);
  ::CoTaskMemFree(name);

  // The one verb a container lists (from the registration), and what verbs do.
  com_ptr<IEnumOLEVERB> verbs;
  ASSERT_EQ(S_OK, object->EnumVerbs(verbs.put()));
  std::wstring listed;
  OLEVERB verb = {};
  for (ULONG n = 0; verbs->Next(1, &verb, &n) == S_OK && n == 1; ::CoTaskMemFree(verb.lpszVerbName))
    listed += std::to_wstring(verb.lVerb) + L" " + verb.lpszVerbName + L" " + std::to_wstring(verb.grfAttribs) + L";";
  EXPECT_EQ(L"-7 Properties 2;", listed);
  com_ptr<IOleClientSite> site;
  object->GetClientSite(site.put());
  const struct {
    LONG verb;
    HRESULT hr;
    const wchar_t* shown;
  } rows[] = {{OLEIVERB_PROPERTIES, S_OK, L"named owned modal"}, {-8, E_NOTIMPL, L""}, {7, OLEOBJ_S_INVALIDVERB, L""}};
  g_container = frame.get();
  for (const auto& row : rows) {
    g_shown.clear();
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 50, CloseDialog);
    RECT where = {left, top, left + w, top + h};
    EXPECT_EQ(row.hr, object->DoVerb(row.verb, nullptr, site.get(), 0, host.get(), &where)) << row.verb;
    ::KillTimer(nullptr, timer);
    EXPECT_EQ(row.shown, g_shown) << row.verb;
  }
  EXPECT_TRUE(::IsWindowEnabled(frame.get())) << "the container takes input again";

  // Closing deactivates the control: its window goes while the host stays.
  auto inPlace = Query<IOleInPlaceObject>(control.get());
  EXPECT_EQ(S_OK, object->Close(OLECLOSE_NOSAVE));
  PumpMessages(20);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(E_FAIL, inPlace->GetWindow(&window));
}

// An extent saved through a stream and through a storage reaches a new control.
TEST(ContainerTest, PersistenceCarriesVersionAndExtent) {
  ComScope com;
  SIZEL odd = {1234, 567};
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
  for (IDispatch* c : {byStream.get(), byStorage.get()}) {
    SIZEL s = {-1, -1};
    Query<IOleObject>(c)->GetExtent(DVASPECT_CONTENT, &s);
    EXPECT_EQ("1234x567", std::to_string(s.cx) + "x" + std::to_string(s.cy));
  }
}

ULONG Refs(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// Sinks as script engines offer them: another control (IDispatch, not the
// event interface), and a stream that offers no dispatch at all.
TEST(ContainerTest, OneConnectionPointForTheEventInterface) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl(), sink = CreateControl(), second = CreateControl();
  com_ptr<IStream> mute;
  ASSERT_TRUE(control && sink && second);
  ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, mute.put()));
  const ULONG sinkRefs = Refs(sink.get()), secondRefs = Refs(second.get()), muteRefs = Refs(mute.get());
  auto container = Query<IConnectionPointContainer>(control.get());
  IConnectionPoint* none = reinterpret_cast<IConnectionPoint*>(1);
  EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IPropertyNotifySink, &none));
  EXPECT_EQ(nullptr, none);
  com_ptr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, container->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, point.put()));
  com_ptr<IEnumConnectionPoints> points;
  ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.put()));
  IConnectionPoint* got[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, points->Next(2, got, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_EQ(point.get(), got[0]) << "the enumerator hands out the point FindConnectionPoint finds";
  got[0]->Release();
  DWORD cookie = 0, secondCookie = 0, refused = 7;
  ASSERT_EQ(S_OK, point->Advise(sink.get(), &cookie));
  ASSERT_EQ(S_OK, point->Advise(second.get(), &secondCookie));
  EXPECT_NE(cookie, secondCookie);
  EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(mute.get(), &refused));
  EXPECT_EQ(muteRefs, Refs(mute.get()));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie ^ secondCookie ^ 0x5A5A));
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  EXPECT_EQ(sinkRefs, Refs(sink.get())) << "Unadvise releases the sink";
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie)) << "a cookie is good once";
  points.reset(), point.reset(), container.reset(), control.reset();
  EXPECT_EQ(secondRefs, Refs(second.get())) << "releasing the control releases its sinks";
}

}  // namespace
}  // namespace qvxtest
