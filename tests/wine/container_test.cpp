// The control as containers meet it: hosted by Wine's ATL window, verbs run, persisted and advised.
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

TEST(ContainerTest, WineAtlHostsRunsVerbsAndDestroysTheControl) {
  ComScope com;
  const AtlHost host(20);
  com_ptr<IDispatch> control = AtlControl(host.ax);
  ASSERT_TRUE(control);
  auto inPlace = Query<IOleInPlaceObject>(control.get());
  HWND window = nullptr;
  ASSERT_EQ(S_OK, inPlace->GetWindow(&window));
  EXPECT_EQ(host.ax, ::GetParent(window));
  for (const IID* iid : {&IID_IViewObject, &IID_IViewObject2, &IID_IOleControl, &IID_IPersistPropertyBag}) {
    com_ptr<IUnknown> p;
    EXPECT_EQ(S_OK, control->QueryInterface(*iid, p.put_void())) << iid->Data1;
  }
  auto object = Query<IOleObject>(control.get());
  // The one verb a container lists (from the registration), and the frame it shows titled by the user type.
  com_ptr<IEnumOLEVERB> verbs;
  ASSERT_EQ(S_OK, object->EnumVerbs(verbs.put()));
  std::wstring listed;
  OLEVERB verb = {};
  for (ULONG n = 0; verbs->Next(1, &verb, &n) == S_OK && n == 1; ::CoTaskMemFree(verb.lpszVerbName))
    listed += std::to_wstring(verb.lVerb) + L" " + verb.lpszVerbName + L" " + std::to_wstring(verb.grfAttribs) + L";";
  EXPECT_EQ(L"-7 Properties 2;", listed);
  std::wstring shown;  // "named owned modal" as a property frame should be
  WithDialog(nullptr, [&] { EXPECT_EQ(S_OK, object->DoVerb(OLEIVERB_PROPERTIES, nullptr, nullptr, 0, host.ax, nullptr)); },
             [&](HWND frame) {
               const std::wstring caption = WindowText(frame);
               shown = caption.find(L"Quorvex Internationalization Control") != std::wstring::npos ? L"named" : caption;
               if (::GetWindow(frame, GW_OWNER) == host.main.get()) shown += L" owned";
               if (!::IsWindowEnabled(host.main.get())) shown += L" modal";
               ::PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
             });
  EXPECT_EQ(L"named owned modal", shown);
  EXPECT_TRUE(::IsWindowEnabled(host.main.get())) << "the container takes input again";
  EXPECT_EQ(OLEOBJ_S_INVALIDVERB, object->DoVerb(7, nullptr, nullptr, 0, host.ax, nullptr));
  // Closing deactivates the control: its window goes while the host stays.
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
  for (IDispatch* c : {byStream.get(), byStorage.get()}) {
    SIZEL s = {-1, -1};
    Query<IOleObject>(c)->GetExtent(DVASPECT_CONTENT, &s);
    EXPECT_EQ("1234x567", std::to_string(s.cx) + "x" + std::to_string(s.cy));
  }
}

// Sinks as script engines offer them: another control (IDispatch only), and a stream offering no dispatch.
TEST(ContainerTest, OneConnectionPointForTheEventInterface) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl(), sink = CreateControl();
  com_ptr<IStream> mute;
  ASSERT_TRUE(control && sink);
  ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, mute.put()));
  auto container = Query<IConnectionPointContainer>(control.get());
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
  DWORD cookie = 0, refused = 7;
  ASSERT_EQ(S_OK, point->Advise(sink.get(), &cookie));
  EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(mute.get(), &refused));
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie)) << "a cookie is good once";
}

}  // namespace
}  // namespace qvxtest
