// The control's one connection point, for its source dispinterface, and the
// enumerator over it. The control never fires events; the point exists so
// containers that advise on it succeed.
#include <new>
#include <utility>
#include <vector>

#include "framework/com_guard.h"
#include "framework/com_server.h"
#include "framework/ole_control.h"

namespace qvx::fw {

// Shares the control's reference count, so a client holding the point keeps
// the control, and with it the point's back-pointer, alive. The control
// deletes the point when it is destroyed itself.
class COleControl::ConnectionPoint final : public IConnectionPoint {
 public:
  explicit ConnectionPoint(COleControl& owner) : owner_(owner) { ServerObjectCreated(); }
  ~ConnectionPoint() {
    sinks_.clear();
    ServerObjectDestroyed();
  }
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return owner_.AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return owner_.Release(); }

  STDMETHODIMP GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = *owner_.info_.eventsIid;
    return S_OK;
  }

  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override {
    if (!container) return E_POINTER;
    *container = &owner_;
    owner_.AddRef();
    return S_OK;
  }

  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    return Guarded([&]() -> HRESULT {
      // A script's sink may only know IDispatch; the events are a dispinterface.
      com_ptr<IUnknown> events;
      if (FAILED(sink->QueryInterface(*owner_.info_.eventsIid, events.put_void())) &&
          FAILED(sink->QueryInterface(IID_IDispatch, events.put_void())))
        return CONNECT_E_CANNOTCONNECT;
      DWORD id = nextCookie_;
      sinks_.push_back(Sink{id, std::move(events)});
      nextCookie_ = nextCookie_ == MAXDWORD ? 1 : nextCookie_ + 1;
      *cookie = id;
      return S_OK;
    });
  }

  STDMETHODIMP Unadvise(DWORD cookie) override {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
      if (it->cookie != cookie) continue;
      // Released after the list is consistent again: the sink may call back.
      com_ptr<IUnknown> sink = std::move(it->sink);
      sinks_.erase(it);
      return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
  }

  STDMETHODIMP EnumConnections(IEnumConnections** connections) override {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
  }

 private:
  struct Sink {
    DWORD cookie;
    com_ptr<IUnknown> sink;
  };
  COleControl& owner_;
  std::vector<Sink> sinks_;
  DWORD nextCookie_ = 1;
};

namespace {

// Enumerates the control's connection points: there is one.
class PointEnumerator final : public IEnumConnectionPoints {
 public:
  PointEnumerator(IConnectionPoint* point, ULONG position) : point_(point), position_(position) {
    point->AddRef();
    ServerObjectCreated();
  }
  ~PointEnumerator() {
    point_.reset();
    ServerObjectDestroyed();
  }
  PointEnumerator(const PointEnumerator&) = delete;
  PointEnumerator& operator=(const PointEnumerator&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_IEnumConnectionPoints) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IEnumConnectionPoints*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = static_cast<ULONG>(::InterlockedDecrement(&refs_));
    if (n == 0) delete this;
    return n;
  }

  STDMETHODIMP Next(ULONG count, LPCONNECTIONPOINT* points, ULONG* fetched) override {
    if (!points) return E_POINTER;
    if (count != 1 && !fetched) return E_POINTER;
    ULONG n = 0;
    if (count > 0 && position_ < kCount) {
      points[0] = point_.get();
      points[0]->AddRef();
      ++position_;
      n = 1;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }

  STDMETHODIMP Skip(ULONG count) override {
    if (count > kCount - position_) {
      position_ = kCount;
      return S_FALSE;
    }
    position_ += count;
    return S_OK;
  }

  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }

  STDMETHODIMP Clone(IEnumConnectionPoints** copy) override {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    return Guarded([&]() -> HRESULT {
      *copy = new PointEnumerator(point_.get(), position_);
      return S_OK;
    });
  }

 private:
  static constexpr ULONG kCount = 1;
  LONG refs_ = 1;
  com_ptr<IConnectionPoint> point_;
  ULONG position_;
};

}  // namespace

COleControl::ConnectionPoint& COleControl::Events() {
  if (!events_) events_ = new ConnectionPoint(*this);
  return *events_;
}

void COleControl::FreeEvents() noexcept {
  delete std::exchange(events_, nullptr);
}

// IConnectionPointContainer

STDMETHODIMP COleControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (!points) return E_POINTER;
  *points = nullptr;
  return Guarded([&]() -> HRESULT {
    *points = new PointEnumerator(&Events(), 0);
    return S_OK;
  });
}

STDMETHODIMP COleControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (riid != *info_.eventsIid) return CONNECT_E_NOCONNECTION;
  return Guarded([&]() -> HRESULT {
    *point = &Events();
    (*point)->AddRef();
    return S_OK;
  });
}

}  // namespace qvx::fw
