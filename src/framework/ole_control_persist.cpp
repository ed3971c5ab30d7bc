// Persistence of the control base: the exchange version and the extent, to a
// stream, a property bag or a storage's "Contents" stream. Every version
// written so far has this layout, so any version loads.
#include "framework/ole_control.h"

namespace qvx::fw {
namespace {

constexpr ULONG kStreamSize = 3 * sizeof(DWORD);  // version, cx, cy
constexpr wchar_t kContents[] = L"Contents";

// True when exactly size bytes were read; streams may hand them out in pieces.
bool ReadAll(IStream* stream, void* buffer, ULONG size) {
  auto* p = static_cast<BYTE*>(buffer);
  while (size > 0) {
    ULONG got = 0;
    if (FAILED(stream->Read(p, size, &got)) || got == 0) return false;
    p += got;
    size -= got;
  }
  return true;
}

// Reads name as a long into value; leaves value alone when the bag has no
// such property or it does not convert.
void ReadLong(IPropertyBag* bag, const wchar_t* name, IErrorLog* log, LONG& value) {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_I4;
  if (SUCCEEDED(bag->Read(name, &v, log)) && SUCCEEDED(::VariantChangeType(&v, &v, 0, VT_I4))) value = V_I4(&v);
  ::VariantClear(&v);
}

HRESULT WriteLong(IPropertyBag* bag, const wchar_t* name, LONG value) {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return bag->Write(name, &v);
}

}  // namespace

// IPersist

STDMETHODIMP COleControl::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = *info_.clsid;
  return S_OK;
}

// IPersistStreamInit (InitNew also serves IPersistPropertyBag)

STDMETHODIMP COleControl::IsDirty() { return dirty_ ? S_OK : S_FALSE; }

STDMETHODIMP COleControl::Load(LPSTREAM stream) {
  if (!stream) return E_POINTER;
  DWORD version = 0;
  if (!ReadAll(stream, &version, sizeof(version))) return E_FAIL;
  // Streams from early builds may end after the version: keep the extent.
  LONG size[2];
  if (ReadAll(stream, size, sizeof(size))) extent_ = {size[0], size[1]};
  dirty_ = false;
  return S_OK;
}

STDMETHODIMP COleControl::Save(LPSTREAM stream, BOOL clearDirty) {
  if (!stream) return E_POINTER;
  // One write of the little-endian fields, so a failure leaves no half record.
  DWORD fields[3] = {info_.exchangeVersion, static_cast<DWORD>(extent_.cx), static_cast<DWORD>(extent_.cy)};
  ULONG written = 0;
  HRESULT hr = stream->Write(fields, kStreamSize, &written);
  if (FAILED(hr)) return hr;
  if (written != kStreamSize) return STG_E_MEDIUMFULL;
  if (clearDirty) dirty_ = false;
  return S_OK;
}

STDMETHODIMP COleControl::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = kStreamSize;
  return S_OK;
}

STDMETHODIMP COleControl::InitNew() {
  extent_ = kDefaultExtent;
  dirty_ = false;
  return S_OK;
}

// IPersistPropertyBag

STDMETHODIMP COleControl::Load(IPropertyBag* bag, IErrorLog* log) {
  if (!bag) return E_POINTER;
  ReadLong(bag, L"_ExtentX", log, extent_.cx);
  ReadLong(bag, L"_ExtentY", log, extent_.cy);
  dirty_ = false;
  return S_OK;
}

STDMETHODIMP COleControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
  if (!bag) return E_POINTER;
  HRESULT hr = WriteLong(bag, L"_Version", static_cast<LONG>(info_.exchangeVersion));
  if (SUCCEEDED(hr)) hr = WriteLong(bag, L"_ExtentX", extent_.cx);
  if (SUCCEEDED(hr)) hr = WriteLong(bag, L"_ExtentY", extent_.cy);
  if (FAILED(hr)) return hr;
  if (clearDirty) dirty_ = false;
  return S_OK;
}

// IPersistStorage: the storage is not kept; each call gets the one it needs.

STDMETHODIMP COleControl::InitNew(IStorage* storage) {
  if (!storage) return E_POINTER;
  return InitNew();
}

STDMETHODIMP COleControl::Load(IStorage* storage) {
  if (!storage) return E_POINTER;
  com_ptr<IStream> stream;
  HRESULT hr = storage->OpenStream(kContents, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.put());
  if (hr == STG_E_FILENOTFOUND) return InitNew();
  if (FAILED(hr)) return hr;
  return Load(stream.get());
}

STDMETHODIMP COleControl::Save(IStorage* storage, BOOL sameAsLoad) {
  if (!storage) return E_POINTER;
  com_ptr<IStream> stream;
  HRESULT hr = storage->CreateStream(kContents, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.put());
  if (FAILED(hr)) return hr;
  // A copy saved elsewhere does not make this object clean.
  return Save(stream.get(), sameAsLoad);
}

STDMETHODIMP COleControl::SaveCompleted(IStorage*) { return S_OK; }

STDMETHODIMP COleControl::HandsOffStorage() { return S_OK; }

}  // namespace qvx::fw
