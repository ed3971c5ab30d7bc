// The control as containers meet it: embedded by Wine's own ATL host window
// (a real container), drawn through IViewObject, persisted through its three
// persistence interfaces and advised through its one connection point.
#include <ole2.h>
#include <olectl.h>

#include <map>

#include "control/intl_ids.h"
#include "qvx_test.h"

namespace qvxtest {
namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = 0, kRed = RGB(255, 0, 0), kBlue = RGB(0, 0, 255),
                   kGrey = RGB(128, 128, 128);

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

  com_ptr<IOleInPlaceObject> inPlace = Query<IOleInPlaceObject>(control.get());
  host.reset();
  PumpMessages(20);
  EXPECT_FALSE(::IsWindow(window)) << "the host takes the control's window with it";
  EXPECT_EQ(E_FAIL, inPlace->GetWindow(&window)) << "a control without a window says so";
}

// A 64x48 memory canvas, red before each draw so that untouched pixels stay red.
struct Canvas {
  static constexpr int w = 64, h = 48;
  HDC dc = ::CreateCompatibleDC(nullptr);
  qvx::fw::unique_hgdiobj bitmap{::CreateBitmap(w, h, 1, 32, nullptr)};
  HGDIOBJ old = ::SelectObject(dc, bitmap.get());
  Canvas() {
    RECT all = {0, 0, w, h};
    qvx::fw::unique_hgdiobj red(::CreateSolidBrush(kRed));
    ::FillRect(dc, &all, static_cast<HBRUSH>(red.get()));
  }
  ~Canvas() { ::SelectObject(dc, old), ::DeleteDC(dc); }
};

TEST(ContainerTest, ViewObjectDrawsInsideTheBoundsWithTheCallersPenAndBrush) {
  ComScope com;
  com_ptr<IDispatch> control = CreateControl();
  ASSERT_TRUE(control);
  auto view = Query<IViewObject2>(control.get());
  const RECTL bounds = {8, 8, 40, 32};
  struct Row {
    const char* label;
    DWORD aspect;
    const RECTL* bounds;
    bool dc;
    HRESULT hr;
    std::vector<std::pair<POINT, COLORREF>> pixels;
  };
  const Row rows[] = {
      {"content", DVASPECT_CONTENT, &bounds, true, S_OK,
       {{{7, 20}, kRed}, {{24, 7}, kRed}, {{40, 20}, kRed}, {{24, 32}, kRed}, {{8, 8}, kWhite}, {{39, 31}, kWhite},
        {{24, 8}, kBlue}, {{39, 20}, kBlue}, {{24, 20}, kGrey}}},
      {"icon aspect", DVASPECT_ICON, &bounds, true, DV_E_DVASPECT, {{{8, 8}, kRed}, {{24, 8}, kRed}}},
      {"docprint aspect", DVASPECT_DOCPRINT, &bounds, true, DV_E_DVASPECT, {{{8, 8}, kRed}}},
      {"no bounds", DVASPECT_CONTENT, nullptr, true, E_INVALIDARG, {{{8, 8}, kRed}}},
      {"no DC", DVASPECT_CONTENT, &bounds, false, E_INVALIDARG, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Canvas canvas;
    qvx::fw::unique_hgdiobj pen(::CreatePen(PS_SOLID, 1, kBlue)), brush(::CreateSolidBrush(kGrey));
    HGDIOBJ oldPen = ::SelectObject(canvas.dc, pen.get()), oldBrush = ::SelectObject(canvas.dc, brush.get());
    EXPECT_EQ(row.hr, view->Draw(row.aspect, -1, nullptr, nullptr, nullptr, row.dc ? canvas.dc : nullptr, row.bounds,
                                 nullptr, nullptr, 0));
    for (const auto& [p, color] : row.pixels) EXPECT_EQ(color, ::GetPixel(canvas.dc, p.x, p.y)) << p.x << "," << p.y;
    EXPECT_EQ(pen.get(), ::GetCurrentObject(canvas.dc, OBJ_PEN)) << "the DC comes back as it was given";
    EXPECT_EQ(brush.get(), ::GetCurrentObject(canvas.dc, OBJ_BRUSH));
    ::SelectObject(canvas.dc, oldPen);
    ::SelectObject(canvas.dc, oldBrush);
  }
  auto ole = Query<IOleObject>(control.get());
  DWORD status = 0;
  EXPECT_EQ(S_OK, ole->GetMiscStatus(DVASPECT_CONTENT, &status));
  EXPECT_EQ(qvx::kQVXIntlMiscStatus, status);
  CLSID clsid = {};
  EXPECT_EQ(S_OK, Query<IPersist>(control.get())->GetClassID(&clsid));
  EXPECT_TRUE(IsEqualCLSID(qvx::CLSID_QVXIntl, clsid));
  LPOLESTR name = nullptr;
  ASSERT_EQ(S_OK, ole->GetUserType(USERCLASSTYPE_SHORT, &name));
  EXPECT_STREQ(L"Quorvex Internationalization Control", name);
  ::CoTaskMemFree(name);
  EXPECT_EQ(E_POINTER, ole->GetUserType(USERCLASSTYPE_FULL, nullptr));
}

// A property bag in memory.
struct Bag final : IPropertyBag {
  std::map<std::wstring, long> values;
  ULONG refs = 1;
  STDMETHODIMP QueryInterface(REFIID, void** ppv) override { return *ppv = this, AddRef(), S_OK; }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP Read(LPCOLESTR name, VARIANT* v, IErrorLog*) override {
    auto it = values.find(name);
    if (it == values.end()) return E_INVALIDARG;
    V_VT(v) = VT_I4;
    V_I4(v) = it->second;
    return S_OK;
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* v) override {
    VARIANT n;
    ::VariantInit(&n);
    HRESULT hr = ::VariantChangeType(&n, v, 0, VT_I4);
    values[name] = V_I4(&n);
    return hr;
  }
};

// Saves an extent through one persistence interface and loads it into a new control.
TEST(ContainerTest, PersistenceCarriesVersionAndExtent) {
  ComScope com;
  const SIZEL odd = {1234, 567};
  auto extent = [](IUnknown* c) {
    SIZEL s = {-1, -1};
    Query<IOleObject>(c)->GetExtent(DVASPECT_CONTENT, &s);
    return std::to_string(s.cx) + "x" + std::to_string(s.cy);
  };
  for (int kind = 0; kind < 3; ++kind) {
    SCOPED_TRACE(kind == 0 ? "stream" : kind == 1 ? "property bag" : "storage");
    com_ptr<IDispatch> saved = CreateControl(), loaded = CreateControl();
    ASSERT_TRUE(saved && loaded);
    com_ptr<IStream> stream;
    ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    com_ptr<ILockBytes> bytes;
    com_ptr<IStorage> storage;
    ::CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put());
    ::StgCreateDocfileOnILockBytes(bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.put());
    Bag bag;
    if (kind == 0) {
      auto save = Query<IPersistStreamInit>(saved.get()), load = Query<IPersistStreamInit>(loaded.get());
      ASSERT_EQ(S_OK, save->InitNew());
      EXPECT_EQ(S_FALSE, save->IsDirty());
      Query<IOleObject>(saved.get())->SetExtent(DVASPECT_CONTENT, const_cast<SIZEL*>(&odd));
      EXPECT_EQ(S_OK, save->IsDirty());
      ASSERT_EQ(S_OK, save->Save(stream.get(), FALSE));
      EXPECT_EQ(S_OK, save->IsDirty()) << "a save that keeps the dirty flag";
      ASSERT_EQ(S_OK, save->Save(stream.get(), TRUE));
      EXPECT_EQ(S_FALSE, save->IsDirty());
      ULARGE_INTEGER max = {};
      STATSTG st = {};
      stream->Stat(&st, STATFLAG_NONAME);
      ASSERT_EQ(S_OK, save->GetSizeMax(&max));
      EXPECT_GE(max.QuadPart, st.cbSize.QuadPart / 2) << "GetSizeMax covers one save";
      LARGE_INTEGER zero = {};
      stream->Seek(zero, STREAM_SEEK_SET, nullptr);
      DWORD version = 0;
      stream->Read(&version, 4, nullptr);
      EXPECT_EQ(qvx::kQVXIntlExchangeVersion, version);
      stream->Seek(zero, STREAM_SEEK_SET, nullptr);
      ASSERT_EQ(S_OK, load->Load(stream.get()));
      com_ptr<IStream> empty;
      ::CreateStreamOnHGlobal(nullptr, TRUE, empty.put());
      EXPECT_EQ(E_FAIL, load->Load(empty.get()));
      EXPECT_EQ(E_POINTER, load->Load(nullptr));
    } else if (kind == 1) {
      auto save = Query<IPersistPropertyBag>(saved.get()), load = Query<IPersistPropertyBag>(loaded.get());
      ASSERT_EQ(S_OK, save->InitNew());
      Query<IOleObject>(saved.get())->SetExtent(DVASPECT_CONTENT, const_cast<SIZEL*>(&odd));
      ASSERT_EQ(S_OK, save->Save(&bag, TRUE, TRUE));
      EXPECT_EQ(static_cast<long>(qvx::kQVXIntlExchangeVersion), bag.values[L"_Version"]);
      Bag empty;
      const std::string before = extent(loaded.get());
      EXPECT_EQ(S_OK, load->Load(&empty, nullptr)) << "a bag without the control's properties";
      EXPECT_EQ(before, extent(loaded.get()));
      ASSERT_EQ(S_OK, load->Load(&bag, nullptr));
      EXPECT_EQ(1u, bag.refs) << "the control must not keep the bag";
    } else {
      auto save = Query<IPersistStorage>(saved.get()), load = Query<IPersistStorage>(loaded.get());
      ASSERT_EQ(S_OK, save->InitNew(storage.get()));
      Query<IOleObject>(saved.get())->SetExtent(DVASPECT_CONTENT, const_cast<SIZEL*>(&odd));
      ASSERT_EQ(S_OK, save->Save(storage.get(), TRUE));
      ASSERT_EQ(S_OK, save->SaveCompleted(nullptr));
      ASSERT_EQ(S_OK, storage->Commit(STGC_DEFAULT));
      ASSERT_EQ(S_OK, load->Load(storage.get()));
      EXPECT_EQ(S_OK, load->HandsOffStorage());
      EXPECT_EQ(E_POINTER, load->Load(nullptr));
    }
    EXPECT_EQ("1234x567", extent(loaded.get()));
  }
}

// An event sink; without dispatch it offers only IUnknown.
struct Sink final : IDispatch {
  bool dispatch = true;
  ULONG refs = 1;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || (dispatch && (riid == IID_IDispatch || riid == qvx::DIID_DQVXIntlEvents)))
      return *ppv = this, AddRef(), S_OK;
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
  IID iid = {};
  ASSERT_EQ(S_OK, point->GetConnectionInterface(&iid));
  EXPECT_TRUE(IsEqualIID(qvx::DIID_DQVXIntlEvents, iid));
  com_ptr<IConnectionPointContainer> back;
  ASSERT_EQ(S_OK, point->GetConnectionPointContainer(back.put()));
  EXPECT_EQ(container.get(), back.get());

  com_ptr<IEnumConnectionPoints> points;
  ASSERT_EQ(S_OK, container->EnumConnectionPoints(points.put()));
  IConnectionPoint* got[2] = {};
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, points->Next(2, got, &fetched));
  ASSERT_EQ(1u, fetched);
  EXPECT_EQ(point.get(), got[0]) << "the enumerator hands out the point FindConnectionPoint finds";
  got[0]->Release();
  EXPECT_EQ(S_FALSE, points->Next(1, got, &fetched));
  EXPECT_EQ(0u, fetched);
  ASSERT_EQ(S_OK, points->Reset());
  EXPECT_EQ(S_FALSE, points->Skip(2));

  Sink sink, second, mute;
  mute.dispatch = false;
  DWORD cookie = 0, secondCookie = 0, refused = 7;
  ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
  ASSERT_EQ(S_OK, point->Advise(&second, &secondCookie));
  EXPECT_NE(cookie, secondCookie);
  EXPECT_GT(sink.refs, 1u) << "an advised sink is held";
  EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(&mute, &refused));
  EXPECT_EQ(1u, mute.refs);
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie ^ secondCookie ^ 0x5A5A));
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  EXPECT_EQ(1u, sink.refs) << "Unadvise releases the sink";
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie)) << "a cookie is good once";
  point.reset();
  points.reset();
  back.reset();
  container.reset();
  control.reset();
  EXPECT_EQ(1u, second.refs) << "releasing the control releases its sinks";
}

}  // namespace
}  // namespace qvxtest
