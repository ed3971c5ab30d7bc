#include "framework/png_bitmap.h"

#include <initguid.h>
#include <wincodec.h>

#include "framework/handles.h"

namespace qvx::fw {

HBITMAP LoadPngBitmap(HINSTANCE module, UINT id, int width, int height) {
  HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(id), "PNG");
  HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr || width <= 0 || height <= 0) return nullptr;

  com_ptr<IWICImagingFactory> factory;
  com_ptr<IWICStream> stream;
  com_ptr<IWICBitmapDecoder> decoder;
  com_ptr<IWICBitmapFrameDecode> frame;
  com_ptr<IWICFormatConverter> converter;
  com_ptr<IWICBitmapScaler> scaler;
  if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                factory.put_void())) ||
      FAILED(factory->CreateStream(stream.put())) ||
      FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(bytes)),
                                          ::SizeofResource(module, found))) ||
      FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())) ||
      FAILED(decoder->GetFrame(0, frame.put())) || FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)) ||
      FAILED(factory->CreateBitmapScaler(scaler.put())) ||
      FAILED(scaler->Initialize(converter.get(), width, height, WICBitmapInterpolationModeFant)))
    return nullptr;

  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  unique_hgdiobj bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const UINT stride = static_cast<UINT>(width) * 4;
  if (!bitmap || FAILED(scaler->CopyPixels(nullptr, stride, stride * static_cast<UINT>(height), static_cast<BYTE*>(bits))))
    return nullptr;
  return static_cast<HBITMAP>(bitmap.release());
}

}  // namespace qvx::fw
