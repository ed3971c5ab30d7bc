// The control as a container sees it: embedded in Wine's ATL host window,
// drawn through IViewObject, persisted through its three persistence
// interfaces, and advised through its one connection point.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>

#include <map>
#include <string>
#include <utility>

#include "control/intl_ids.h"
#include "test_support.h"

namespace qvxtest {
namespace {

constexpr DWORD kMiscStatus = 0x00020491;
constexpr DWORD kExchangeVersion = 0x00010000;

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);

template <typename I>
com_ptr<I> Query(IUnknown* object, REFIID iid) {
  com_ptr<I> p;
  if (object) {
    EXPECT_EQ(S_OK, object->QueryInterface(iid, p.put_void()));
  }
  return p;
}

// Pumps the thread's queue until it is empty.
void PumpMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// ---------------------------------------------------------------------------
// Embedding in Wine's ATL control host.

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxGetControlFn = HRESULT(WINAPI*)(HWND, IUnknown**);

// GetProcAddress as the function type it really has (void(*)() keeps the
// compiler's function-cast check quiet).
template <typename F>
F Export(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

constexpr wchar_t kFrameClass[] = L"QvxContainerTestFrame";

class AtlContainerTest : public ::testing::Test {
 protected:
  static constexpr int kLeft = 20, kTop = 30, kWidth = 160, kHeight = 120;

  // AtlAxWinInit registers the host's window class once per process: Wine's
  // answers FALSE when called again, so atl.dll is loaded and set up once.
  // The frame is shared too: destroying a visible top-level window costs
  // Wine two seconds under Xvfb (it waits for a window manager).
  static void SetUpTestSuite() {
    if (!getControl_) {
      if (HMODULE atl = ::LoadLibraryW(L"atl.dll")) {
        auto init = Export<AtlAxWinInitFn>(atl, "AtlAxWinInit");
        auto get = Export<AtlAxGetControlFn>(atl, "AtlAxGetControl");
        if (init && get && init()) getControl_ = get;
      }
    }
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    // Grey, so the control's white area stands out from the frame's.
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = kFrameClass;
    if (::RegisterClassExW(&wc) || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS)
      frame_ = ::CreateWindowExW(0, kFrameClass, L"container", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr,
                                 nullptr, wc.hInstance, nullptr);
  }

  static void TearDownTestSuite() {
    if (frame_) ::DestroyWindow(std::exchange(frame_, nullptr));
    PumpMessages();
  }

  void SetUp() override {
    ASSERT_TRUE(getControl_) << "atl.dll with AtlAxWinInit and AtlAxGetControl";
    ASSERT_TRUE(frame_) << "the container's frame window";
    host_.reset(::CreateWindowExW(0, L"AtlAxWin", kProgId, WS_CHILD | WS_VISIBLE, kLeft, kTop, kWidth, kHeight,
                                  frame_, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(host_) << "AtlAxWin, error " << ::GetLastError();
    PumpMessages();
    ASSERT_EQ(S_OK, getControl_(host_.get(), control_.put()));
    ASSERT_TRUE(control_);
  }

  void TearDown() override {
    control_.reset();
    host_.reset();  // takes the control with it
    PumpMessages();
  }

  // Repaints the frame and its children now and reads one pixel of the
  // control's area (client coordinates of the host) from the frame's DC.
  COLORREF ControlPixel(int x, int y) {
    ::RedrawWindow(frame_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpMessages();
    POINT p = {x, y};
    ::MapWindowPoints(host_.get(), frame_, &p, 1);
    HDC dc = ::GetDC(frame_);
    COLORREF c = ::GetPixel(dc, p.x, p.y);
    ::ReleaseDC(frame_, dc);
    return c;
  }

  static inline AtlAxGetControlFn getControl_ = nullptr;  // atl.dll stays loaded
  static inline HWND frame_ = nullptr;
  ComScope com_;
  qvx::fw::unique_hwnd host_;  // the ATL host, child of frame_
  com_ptr<IUnknown> control_;
};

TEST_F(AtlContainerTest, HostsTheControlInItsOwnChildWindow) {
  auto inPlace = Query<IOleInPlaceObject>(control_.get(), IID_IOleInPlaceObject);
  ASSERT_TRUE(inPlace);
  HWND window = nullptr;
  ASSERT_EQ(S_OK, inPlace->GetWindow(&window));
  EXPECT_EQ(host_.get(), ::GetParent(window));
  EXPECT_TRUE(::IsWindowVisible(window));
  RECT client = {};
  ASSERT_TRUE(::GetClientRect(window, &client));
  EXPECT_EQ(kWidth, client.right);
  EXPECT_EQ(kHeight, client.bottom);

  auto object = Query<IOleObject>(control_.get(), IID_IOleObject);
  ASSERT_TRUE(object);
  com_ptr<IOleClientSite> site;
  ASSERT_EQ(S_OK, object->GetClientSite(site.put()));
  EXPECT_TRUE(site) << "the host must have set its client site";
}

TEST_F(AtlContainerTest, DispatchWorksThroughTheHostedControl) {
  ScopedNumberSettings spanish(kSpanish);
  auto dispatch = Query<IDispatch>(control_.get(), IID_IDispatch);
  ASSERT_TRUE(dispatch);
  Variant text(L"1234567.891");
  Variant flags(1L);
  EXPECT_EQ(L"1.234.567,891", CallText(dispatch.get(), L"ConvertStrToIntlStr", {text.get(), flags.get()}));
}

TEST_F(AtlContainerTest, DrawsWhiteWithAnInscribedEllipse) {
  EXPECT_EQ(kBlack, ControlPixel(kWidth / 2, 0)) << "top of the ellipse";
  EXPECT_EQ(kBlack, ControlPixel(kWidth / 2, kHeight - 1)) << "bottom of the ellipse";
  EXPECT_EQ(kBlack, ControlPixel(0, kHeight / 2)) << "left of the ellipse";
  EXPECT_EQ(kBlack, ControlPixel(kWidth - 1, kHeight / 2)) << "right of the ellipse";
  EXPECT_EQ(kWhite, ControlPixel(kWidth / 2, kHeight / 2)) << "centre";
  EXPECT_EQ(kWhite, ControlPixel(2, 2)) << "near the top-left corner";
  EXPECT_EQ(kWhite, ControlPixel(kWidth - 3, kHeight - 3)) << "near the bottom-right corner";
  EXPECT_EQ(kGrey, ControlPixel(-5, kHeight / 2)) << "the frame beside the control";
}

TEST_F(AtlContainerTest, DestroyingTheHostDestroysTheControlWindow) {
  auto inPlace = Query<IOleInPlaceObject>(control_.get(), IID_IOleInPlaceObject);
  ASSERT_TRUE(inPlace);
  HWND window = nullptr;
  ASSERT_EQ(S_OK, inPlace->GetWindow(&window));
  host_.reset();
  PumpMessages();
  EXPECT_FALSE(::IsWindow(window));
  // The control outlives its window while we hold it, and says it has none.
  HWND after = reinterpret_cast<HWND>(1);
  EXPECT_EQ(E_FAIL, inPlace->GetWindow(&after));
}

// ---------------------------------------------------------------------------
// IViewObject::Draw into a memory DC.

// A 64x48 32-bit DIB selected into a memory DC, filled red before each draw so
// that every pixel the control leaves alone stays red.
class MemoryCanvas {
 public:
  static constexpr int kWidth = 64, kHeight = 48;

  MemoryCanvas() : dc_(::CreateCompatibleDC(nullptr)) {
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = kWidth;
    bi.bmiHeader.biHeight = -kHeight;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_.reset(::CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    old_ = ::SelectObject(dc_, bitmap_.get());
    RECT all = {0, 0, kWidth, kHeight};
    qvx::fw::unique_hgdiobj red(::CreateSolidBrush(kRed));
    ::FillRect(dc_, &all, static_cast<HBRUSH>(red.get()));
  }
  ~MemoryCanvas() {
    ::SelectObject(dc_, old_);
    bitmap_.reset();
    ::DeleteDC(dc_);
  }
  MemoryCanvas(const MemoryCanvas&) = delete;
  MemoryCanvas& operator=(const MemoryCanvas&) = delete;

  bool ok() const { return dc_ && bitmap_; }
  HDC dc() const { return dc_; }
  COLORREF at(int x, int y) const { return ::GetPixel(dc_, x, y); }

 private:
  HDC dc_;
  qvx::fw::unique_hgdiobj bitmap_;
  HGDIOBJ old_ = nullptr;
};

class ViewObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    object_ = CreateControl();
    ASSERT_TRUE(object_);
    view_ = Query<IViewObject2>(object_.get(), IID_IViewObject2);
    ASSERT_TRUE(view_);
    ASSERT_TRUE(canvas_.ok());
  }

  HRESULT Draw(DWORD aspect, const RECTL* bounds) {
    return view_->Draw(aspect, -1, nullptr, nullptr, nullptr, canvas_.dc(), bounds, nullptr, nullptr, 0);
  }

  ComScope com_;
  com_ptr<IDispatch> object_;
  com_ptr<IViewObject2> view_;
  MemoryCanvas canvas_;
};

struct PixelCase {
  const char* where;
  int x, y;
  COLORREF expected;
};

TEST_F(ViewObjectTest, DrawFillsTheBoundsWhiteAndOutlinesAnEllipse) {
  constexpr int w = MemoryCanvas::kWidth, h = MemoryCanvas::kHeight;
  const RECTL bounds = {0, 0, w, h};
  ASSERT_EQ(S_OK, Draw(DVASPECT_CONTENT, &bounds));
  const PixelCase cases[] = {
      {"top-left corner", 0, 0, kWhite},         {"top-right corner", w - 1, 0, kWhite},
      {"bottom-left corner", 0, h - 1, kWhite},  {"bottom-right corner", w - 1, h - 1, kWhite},
      {"centre", w / 2, h / 2, kWhite},          {"top edge middle", w / 2, 0, kBlack},
      {"bottom edge middle", w / 2, h - 1, kBlack}, {"left edge middle", 0, h / 2, kBlack},
      {"right edge middle", w - 1, h / 2, kBlack},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, canvas_.at(c.x, c.y)) << c.where;
}

TEST_F(ViewObjectTest, DrawStaysInsideTheBounds) {
  const RECTL bounds = {8, 8, 40, 32};
  ASSERT_EQ(S_OK, Draw(DVASPECT_CONTENT, &bounds));
  const PixelCase cases[] = {
      {"left of the bounds", 7, 20, kRed},   {"above the bounds", 24, 7, kRed},
      {"right of the bounds", 40, 20, kRed}, {"below the bounds", 24, 32, kRed},
      {"inner corner", 8, 8, kWhite},        {"top of the ellipse", 24, 8, kBlack},
      {"centre", 24, 20, kWhite},            {"right of the ellipse", 39, 20, kBlack},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, canvas_.at(c.x, c.y)) << c.where;
}

TEST_F(ViewObjectTest, DrawUsesTheCallersPenAndBrushAndHandsTheDcBackUnchanged) {
  qvx::fw::unique_hgdiobj pen(::CreatePen(PS_SOLID, 1, kBlue));
  qvx::fw::unique_hgdiobj brush(::CreateSolidBrush(kGrey));
  HGDIOBJ oldPen = ::SelectObject(canvas_.dc(), pen.get());
  HGDIOBJ oldBrush = ::SelectObject(canvas_.dc(), brush.get());
  ::SetMapMode(canvas_.dc(), MM_TEXT);

  const RECTL bounds = {0, 0, MemoryCanvas::kWidth, MemoryCanvas::kHeight};
  ASSERT_EQ(S_OK, Draw(DVASPECT_CONTENT, &bounds));
  EXPECT_EQ(kBlue, canvas_.at(MemoryCanvas::kWidth / 2, 0)) << "outline in the current pen";
  EXPECT_EQ(kGrey, canvas_.at(MemoryCanvas::kWidth / 2, MemoryCanvas::kHeight / 2)) << "inside in the current brush";
  EXPECT_EQ(kWhite, canvas_.at(0, 0)) << "the bounds are filled white whatever the brush";

  EXPECT_EQ(pen.get(), ::GetCurrentObject(canvas_.dc(), OBJ_PEN));
  EXPECT_EQ(brush.get(), ::GetCurrentObject(canvas_.dc(), OBJ_BRUSH));
  ::SelectObject(canvas_.dc(), oldPen);
  ::SelectObject(canvas_.dc(), oldBrush);
}

struct BadDrawCase {
  const char* name;
  DWORD aspect;
  bool nullBounds;
  HRESULT expected;
};

TEST_F(ViewObjectTest, RejectsBadArgumentsAndDrawsNothing) {
  const BadDrawCase cases[] = {
      {"icon aspect", DVASPECT_ICON, false, DV_E_DVASPECT},
      {"thumbnail aspect", DVASPECT_THUMBNAIL, false, DV_E_DVASPECT},
      {"docprint aspect", DVASPECT_DOCPRINT, false, DV_E_DVASPECT},
      {"no bounds", DVASPECT_CONTENT, true, E_INVALIDARG},
  };
  const RECTL bounds = {0, 0, MemoryCanvas::kWidth, MemoryCanvas::kHeight};
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, Draw(c.aspect, c.nullBounds ? nullptr : &bounds)) << c.name;
    EXPECT_EQ(kRed, canvas_.at(0, 0)) << c.name;
    EXPECT_EQ(kRed, canvas_.at(MemoryCanvas::kWidth / 2, 0)) << c.name;
  }
}

TEST_F(ViewObjectTest, RejectsAMissingDc) {
  const RECTL bounds = {0, 0, 10, 10};
  EXPECT_EQ(E_INVALIDARG,
            view_->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, nullptr, &bounds, nullptr, nullptr, 0));
}

// ---------------------------------------------------------------------------
// IOleObject identity.

class OleObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    object_ = CreateControl();
    ASSERT_TRUE(object_);
    ole_ = Query<IOleObject>(object_.get(), IID_IOleObject);
    ASSERT_TRUE(ole_);
  }
  ComScope com_;
  com_ptr<IDispatch> object_;
  com_ptr<IOleObject> ole_;
};

TEST_F(OleObjectTest, MiscStatusOfTheContentAspect) {
  DWORD status = 0;
  ASSERT_EQ(S_OK, ole_->GetMiscStatus(DVASPECT_CONTENT, &status));
  EXPECT_EQ(kMiscStatus, status);
  EXPECT_EQ(E_POINTER, ole_->GetMiscStatus(DVASPECT_CONTENT, nullptr));
}

TEST_F(OleObjectTest, UserClassIdIsTheControlsClass) {
  CLSID clsid = {};
  ASSERT_EQ(S_OK, ole_->GetUserClassID(&clsid));
  EXPECT_TRUE(IsEqualCLSID(qvx::CLSID_QVXIntl, clsid));
  EXPECT_EQ(E_POINTER, ole_->GetUserClassID(nullptr));

  auto persist = Query<IPersist>(object_.get(), IID_IPersist);
  ASSERT_TRUE(persist);
  CLSID persisted = {};
  ASSERT_EQ(S_OK, persist->GetClassID(&persisted));
  EXPECT_TRUE(IsEqualCLSID(qvx::CLSID_QVXIntl, persisted));
}

TEST_F(OleObjectTest, UserTypeIsTheControlsName) {
  for (DWORD form : {USERCLASSTYPE_FULL, USERCLASSTYPE_SHORT}) {
    LPOLESTR name = nullptr;
    ASSERT_EQ(S_OK, ole_->GetUserType(form, &name)) << "form " << form;
    ASSERT_NE(nullptr, name);
    EXPECT_STREQ(L"Quorvex Internationalization Control", name) << "form " << form;
    ::CoTaskMemFree(name);
  }
  EXPECT_EQ(E_POINTER, ole_->GetUserType(USERCLASSTYPE_FULL, nullptr));
}

// ---------------------------------------------------------------------------
// Persistence.

com_ptr<IStream> NewMemoryStream() {
  com_ptr<IStream> stream;
  EXPECT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()));
  return stream;
}

void Rewind(IStream* stream) {
  LARGE_INTEGER zero = {};
  EXPECT_EQ(S_OK, stream->Seek(zero, STREAM_SEEK_SET, nullptr));
}

ULONGLONG StreamSize(IStream* stream) {
  STATSTG st = {};
  EXPECT_EQ(S_OK, stream->Stat(&st, STATFLAG_NONAME));
  return st.cbSize.QuadPart;
}

SIZEL ExtentOf(IUnknown* object) {
  SIZEL size = {-1, -1};
  auto ole = Query<IOleObject>(object, IID_IOleObject);
  if (ole) {
    EXPECT_EQ(S_OK, ole->GetExtent(DVASPECT_CONTENT, &size));
  }
  return size;
}

void SetExtentOf(IUnknown* object, SIZEL size) {
  auto ole = Query<IOleObject>(object, IID_IOleObject);
  if (ole) {
    EXPECT_EQ(S_OK, ole->SetExtent(DVASPECT_CONTENT, &size));
  }
}

constexpr SIZEL kOddExtent = {1234, 567};

class PersistTest : public ::testing::Test {
 protected:
  void SetUp() override {
    first_ = CreateControl();
    second_ = CreateControl();
    ASSERT_TRUE(first_ && second_);
  }
  ComScope com_;
  com_ptr<IDispatch> first_;
  com_ptr<IDispatch> second_;
};

TEST_F(PersistTest, StreamRoundTripStartsWithTheVersionAndCarriesTheExtent) {
  auto save = Query<IPersistStreamInit>(first_.get(), IID_IPersistStreamInit);
  auto load = Query<IPersistStreamInit>(second_.get(), IID_IPersistStreamInit);
  ASSERT_TRUE(save && load);
  ASSERT_EQ(S_OK, save->InitNew());
  EXPECT_EQ(S_FALSE, save->IsDirty());
  SetExtentOf(first_.get(), kOddExtent);
  EXPECT_EQ(S_OK, save->IsDirty());

  auto stream = NewMemoryStream();
  ASSERT_TRUE(stream);
  ASSERT_EQ(S_OK, save->Save(stream.get(), TRUE));
  EXPECT_EQ(S_FALSE, save->IsDirty()) << "a save that clears the dirty flag";

  ULARGE_INTEGER max = {};
  ASSERT_EQ(S_OK, save->GetSizeMax(&max));
  EXPECT_GE(max.QuadPart, StreamSize(stream.get())) << "GetSizeMax must cover what Save writes";

  Rewind(stream.get());
  DWORD version = 0;
  ULONG got = 0;
  ASSERT_EQ(S_OK, stream->Read(&version, sizeof(version), &got));
  ASSERT_EQ(sizeof(version), got);
  EXPECT_EQ(kExchangeVersion, version);

  Rewind(stream.get());
  ASSERT_EQ(S_OK, load->Load(stream.get()));
  SIZEL loaded = ExtentOf(second_.get());
  EXPECT_EQ(kOddExtent.cx, loaded.cx);
  EXPECT_EQ(kOddExtent.cy, loaded.cy);
  EXPECT_EQ(S_FALSE, load->IsDirty());
}

TEST_F(PersistTest, StreamSaveWithoutClearingKeepsTheControlDirty) {
  auto save = Query<IPersistStreamInit>(first_.get(), IID_IPersistStreamInit);
  ASSERT_TRUE(save);
  ASSERT_EQ(S_OK, save->InitNew());
  SetExtentOf(first_.get(), kOddExtent);
  auto stream = NewMemoryStream();
  ASSERT_EQ(S_OK, save->Save(stream.get(), FALSE));
  EXPECT_EQ(S_OK, save->IsDirty());
}

TEST_F(PersistTest, StreamRejectsNullAndEmptyStreams) {
  auto persist = Query<IPersistStreamInit>(first_.get(), IID_IPersistStreamInit);
  ASSERT_TRUE(persist);
  EXPECT_EQ(E_POINTER, persist->Save(nullptr, TRUE));
  EXPECT_EQ(E_POINTER, persist->Load(nullptr));
  EXPECT_EQ(E_POINTER, persist->GetSizeMax(nullptr));
  auto empty = NewMemoryStream();
  EXPECT_EQ(E_FAIL, persist->Load(empty.get()));
}

// A property bag of the test's own: names to VARIANTs, with a count of reads.
class MemoryPropertyBag final : public IPropertyBag {
 public:
  MemoryPropertyBag() = default;
  ~MemoryPropertyBag() {
    for (auto& entry : values_) ::VariantClear(&entry.second);
  }
  MemoryPropertyBag(const MemoryPropertyBag&) = delete;
  MemoryPropertyBag& operator=(const MemoryPropertyBag&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
      *ppv = static_cast<IPropertyBag*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // Lives on the test's stack; the count only tells whether the control let go.
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }

  STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (!name || !value) return E_POINTER;
    auto it = values_.find(name);
    if (it == values_.end()) return E_INVALIDARG;
    VARTYPE wanted = V_VT(value);
    HRESULT hr = ::VariantCopy(value, &it->second);
    if (SUCCEEDED(hr) && wanted != VT_EMPTY && wanted != V_VT(value)) hr = ::VariantChangeType(value, value, 0, wanted);
    return hr;
  }
  STDMETHODIMP Write(LPCOLESTR name, VARIANT* value) override {
    if (!name || !value) return E_POINTER;
    VARIANT& slot = values_[name];
    ::VariantClear(&slot);
    return ::VariantCopy(&slot, value);
  }

  bool Has(const wchar_t* name) const { return values_.count(name) != 0; }
  // The value as a long, or -1 when absent or not convertible.
  long Long(const wchar_t* name) const {
    auto it = values_.find(name);
    if (it == values_.end()) return -1;
    VARIANT v;
    ::VariantInit(&v);
    long result = -1;
    if (SUCCEEDED(::VariantChangeType(&v, const_cast<VARIANT*>(&it->second), 0, VT_I4))) result = V_I4(&v);
    ::VariantClear(&v);
    return result;
  }
  void Put(const wchar_t* name, long value) {
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    Write(name, &v);
  }
  ULONG refs() const { return refs_; }

 private:
  ULONG refs_ = 1;
  std::map<std::wstring, VARIANT> values_;
};

TEST_F(PersistTest, PropertyBagRoundTripCarriesVersionAndExtent) {
  auto save = Query<IPersistPropertyBag>(first_.get(), IID_IPersistPropertyBag);
  auto load = Query<IPersistPropertyBag>(second_.get(), IID_IPersistPropertyBag);
  ASSERT_TRUE(save && load);
  ASSERT_EQ(S_OK, save->InitNew());
  SetExtentOf(first_.get(), kOddExtent);

  MemoryPropertyBag bag;
  ASSERT_EQ(S_OK, save->Save(&bag, TRUE, TRUE));
  EXPECT_EQ(static_cast<long>(kExchangeVersion), bag.Long(L"_Version"));
  EXPECT_EQ(kOddExtent.cx, bag.Long(L"_ExtentX"));
  EXPECT_EQ(kOddExtent.cy, bag.Long(L"_ExtentY"));

  ASSERT_EQ(S_OK, load->Load(&bag, nullptr));
  SIZEL loaded = ExtentOf(second_.get());
  EXPECT_EQ(kOddExtent.cx, loaded.cx);
  EXPECT_EQ(kOddExtent.cy, loaded.cy);
  EXPECT_EQ(1u, bag.refs()) << "the control must not keep the bag";
}

TEST_F(PersistTest, PropertyBagWithoutTheControlsPropertiesLoads) {
  auto persist = Query<IPersistPropertyBag>(first_.get(), IID_IPersistPropertyBag);
  ASSERT_TRUE(persist);
  const SIZEL before = ExtentOf(first_.get());
  MemoryPropertyBag empty;
  EXPECT_EQ(S_OK, persist->Load(&empty, nullptr));
  SIZEL after = ExtentOf(first_.get());
  EXPECT_EQ(before.cx, after.cx);
  EXPECT_EQ(before.cy, after.cy);
  EXPECT_EQ(E_POINTER, persist->Load(nullptr, nullptr));
  EXPECT_EQ(E_POINTER, persist->Save(nullptr, TRUE, TRUE));
}

com_ptr<IStorage> NewMemoryStorage() {
  com_ptr<ILockBytes> bytes;
  com_ptr<IStorage> storage;
  EXPECT_EQ(S_OK, ::CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.put()));
  if (!bytes) return storage;
  EXPECT_EQ(S_OK, ::StgCreateDocfileOnILockBytes(bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                                 storage.put()));
  return storage;
}

TEST_F(PersistTest, StorageRoundTripCarriesTheExtent) {
  auto save = Query<IPersistStorage>(first_.get(), IID_IPersistStorage);
  auto load = Query<IPersistStorage>(second_.get(), IID_IPersistStorage);
  ASSERT_TRUE(save && load);
  auto storage = NewMemoryStorage();
  ASSERT_TRUE(storage);

  ASSERT_EQ(S_OK, save->InitNew(storage.get()));
  SetExtentOf(first_.get(), kOddExtent);
  ASSERT_EQ(S_OK, save->Save(storage.get(), TRUE));
  ASSERT_EQ(S_OK, save->SaveCompleted(nullptr));
  ASSERT_EQ(S_OK, storage->Commit(STGC_DEFAULT));

  ASSERT_EQ(S_OK, load->Load(storage.get()));
  SIZEL loaded = ExtentOf(second_.get());
  EXPECT_EQ(kOddExtent.cx, loaded.cx);
  EXPECT_EQ(kOddExtent.cy, loaded.cy);
  EXPECT_EQ(S_OK, load->HandsOffStorage());
}

TEST_F(PersistTest, StorageRejectsNull) {
  auto persist = Query<IPersistStorage>(first_.get(), IID_IPersistStorage);
  ASSERT_TRUE(persist);
  EXPECT_EQ(E_POINTER, persist->InitNew(nullptr));
  EXPECT_EQ(E_POINTER, persist->Load(nullptr));
  EXPECT_EQ(E_POINTER, persist->Save(nullptr, TRUE));
}

// ---------------------------------------------------------------------------
// The connection point of the event interface.

// An event sink of the test's own. It answers IDispatch (as script sinks do)
// unless told to answer nothing but IUnknown; it lives on the test's stack.
class Sink final : public IDispatch {
 public:
  explicit Sink(bool dispatch = true) : dispatch_(dispatch) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || (dispatch_ && (riid == IID_IDispatch || riid == qvx::DIID_DQVXIntlEvents))) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override { return --refs_; }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    ++invoked_;
    return S_OK;
  }
  ULONG refs() const { return refs_; }
  int invoked() const { return invoked_; }

 private:
  bool dispatch_;
  ULONG refs_ = 1;
  int invoked_ = 0;
};

class ConnectionPointTest : public ::testing::Test {
 protected:
  void SetUp() override {
    object_ = CreateControl();
    ASSERT_TRUE(object_);
    container_ = Query<IConnectionPointContainer>(object_.get(), IID_IConnectionPointContainer);
    ASSERT_TRUE(container_);
  }
  ComScope com_;
  com_ptr<IDispatch> object_;
  com_ptr<IConnectionPointContainer> container_;
};

TEST_F(ConnectionPointTest, FindsThePointOfTheEventInterface) {
  com_ptr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, container_->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, point.put()));
  ASSERT_TRUE(point);
  IID iid = {};
  ASSERT_EQ(S_OK, point->GetConnectionInterface(&iid));
  EXPECT_TRUE(IsEqualIID(qvx::DIID_DQVXIntlEvents, iid));
  com_ptr<IConnectionPointContainer> back;
  ASSERT_EQ(S_OK, point->GetConnectionPointContainer(back.put()));
  EXPECT_EQ(container_.get(), back.get());
}

TEST_F(ConnectionPointTest, OtherInterfacesHaveNoPoint) {
  for (const IID* iid : {&IID_IPropertyNotifySink, &IID_IDispatch, &IID_IUnknown}) {
    auto* point = reinterpret_cast<IConnectionPoint*>(1);
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container_->FindConnectionPoint(*iid, &point));
    EXPECT_EQ(nullptr, point);
  }
  EXPECT_EQ(E_POINTER, container_->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, nullptr));
}

TEST_F(ConnectionPointTest, AdviseAndUnadviseASink) {
  com_ptr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, container_->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, point.put()));
  Sink sink;
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
  EXPECT_NE(0u, cookie);
  EXPECT_GT(sink.refs(), 1u) << "an advised sink is held";

  Sink second;
  DWORD secondCookie = 0;
  ASSERT_EQ(S_OK, point->Advise(&second, &secondCookie));
  EXPECT_NE(cookie, secondCookie);

  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie ^ secondCookie ^ 0x5A5A));
  EXPECT_EQ(S_OK, point->Unadvise(cookie));
  EXPECT_EQ(1u, sink.refs()) << "Unadvise releases the sink";
  EXPECT_EQ(CONNECT_E_NOCONNECTION, point->Unadvise(cookie)) << "a cookie is good once";
  EXPECT_EQ(S_OK, point->Unadvise(secondCookie));
  EXPECT_EQ(1u, second.refs());
  EXPECT_EQ(0, sink.invoked()) << "the control fires no events";
}

TEST_F(ConnectionPointTest, ReleasingTheControlReleasesAdvisedSinks) {
  Sink sink;
  {
    com_ptr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container_->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, point.put()));
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
  }
  container_.reset();
  object_.reset();
  EXPECT_EQ(1u, sink.refs());
}

TEST_F(ConnectionPointTest, AdviseRefusesSinksWithoutADispatchInterface) {
  com_ptr<IConnectionPoint> point;
  ASSERT_EQ(S_OK, container_->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, point.put()));
  Sink mute(false);
  DWORD cookie = 77;
  EXPECT_EQ(CONNECT_E_CANNOTCONNECT, point->Advise(&mute, &cookie));
  EXPECT_EQ(1u, mute.refs());
  EXPECT_EQ(E_POINTER, point->Advise(nullptr, &cookie));
}

TEST_F(ConnectionPointTest, EnumeratesExactlyOnePoint) {
  com_ptr<IEnumConnectionPoints> points;
  ASSERT_EQ(S_OK, container_->EnumConnectionPoints(points.put()));
  ASSERT_TRUE(points);

  IConnectionPoint* got[2] = {};
  ULONG fetched = 0;
  ASSERT_EQ(S_FALSE, points->Next(2, got, &fetched));
  ASSERT_EQ(1u, fetched);
  com_ptr<IConnectionPoint> only(got[0]);
  IID iid = {};
  ASSERT_EQ(S_OK, only->GetConnectionInterface(&iid));
  EXPECT_TRUE(IsEqualIID(qvx::DIID_DQVXIntlEvents, iid));

  fetched = 7;
  IConnectionPoint* none = nullptr;
  EXPECT_EQ(S_FALSE, points->Next(1, &none, &fetched));
  EXPECT_EQ(0u, fetched);
  EXPECT_EQ(nullptr, none);

  com_ptr<IConnectionPoint> found;
  ASSERT_EQ(S_OK, container_->FindConnectionPoint(qvx::DIID_DQVXIntlEvents, found.put()));
  EXPECT_EQ(found.get(), only.get()) << "the enumerator hands out the point that FindConnectionPoint finds";

  ASSERT_EQ(S_OK, points->Reset());
  IConnectionPoint* again = nullptr;
  ASSERT_EQ(S_OK, points->Next(1, &again, nullptr));
  com_ptr<IConnectionPoint> againOwner(again);
  EXPECT_EQ(only.get(), again);

  ASSERT_EQ(S_OK, points->Reset());
  EXPECT_EQ(S_FALSE, points->Skip(2));
}

}  // namespace
}  // namespace qvxtest
