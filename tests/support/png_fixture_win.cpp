// The image fixtures through the Windows Imaging Component: PNG and JPEG written from pixels in
// memory, PNG files read back.
#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <algorithm>

#include "tests/support/png_fixture.h"

namespace testsupport {
namespace {

template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p != nullptr) p->Release();
  }
  T* operator->() const { return p; }
};

IWICImagingFactory* factory() {
  struct ThreadFactory {
    ThreadFactory() {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(&instance)))) {
        instance = nullptr;
      }
    }
    IWICImagingFactory* instance = nullptr;
  };
  thread_local ThreadFactory perThread;
  return perThread.instance;
}

// |pixels| (straight 0xAARRGGBB) encoded by the encoder of |container|.
std::vector<uint8_t> encode(const GUID& container, int width, int height,
                            std::vector<uint32_t> pixels, const GUID& format) {
  IWICImagingFactory* wic = factory();
  std::vector<uint8_t> bytes;
  if (wic == nullptr) return bytes;
  Ref<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream.p))) return bytes;
  Ref<IWICBitmapEncoder> encoder;
  Ref<IWICBitmapFrameEncode> frame;
  Ref<IPropertyBag2> options;
  if (FAILED(wic->CreateEncoder(container, nullptr, &encoder.p)) ||
      FAILED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame.p, &options.p))) {
    return bytes;
  }
  if (container == GUID_ContainerFormatJpeg && options.p != nullptr) {
    PROPBAG2 option{};
    option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R4;
    value.fltVal = 1.0f;
    options->Write(1, &option, &value);
  }
  WICPixelFormatGUID chosen = format;
  const UINT stride = static_cast<UINT>(width) * 4;
  Ref<IWICBitmap> bitmap;
  if (FAILED(frame->Initialize(options.p)) || FAILED(frame->SetSize(width, height)) ||
      FAILED(frame->SetPixelFormat(&chosen)) ||
      FAILED(wic->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat32bppBGRA, stride,
                                         stride * static_cast<UINT>(height),
                                         reinterpret_cast<BYTE*>(pixels.data()), &bitmap.p)) ||
      FAILED(frame->WriteSource(bitmap.p, nullptr)) || FAILED(frame->Commit()) ||
      FAILED(encoder->Commit())) {
    return bytes;
  }
  HGLOBAL memory = nullptr;
  if (FAILED(GetHGlobalFromStream(stream.p, &memory))) return bytes;
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  const auto* data = static_cast<const uint8_t*>(GlobalLock(memory));
  if (data != nullptr) {
    bytes.assign(data, data + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
  }
  return bytes;
}

}  // namespace

std::vector<uint8_t> pngOf(int width, int height,
                           const std::function<uint32_t(int x, int y)>& pixel) {
  std::vector<uint32_t> straight;
  straight.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixel(x, y);
      const uint32_t a = p >> 24;
      auto channel = [a](uint32_t c) {
        return a == 0 ? 0u : std::min<uint32_t>(255, (c * 255 + a / 2) / a);
      };
      straight.push_back(a == 0xFF ? p
                                   : (a << 24) | channel((p >> 16) & 0xFF) << 16 |
                                         channel((p >> 8) & 0xFF) << 8 | channel(p & 0xFF));
    }
  }
  return encode(GUID_ContainerFormatPng, width, height, std::move(straight),
                GUID_WICPixelFormat32bppBGRA);
}

std::vector<uint8_t> solidPng(int width, int height, uint32_t argb) {
  const uint32_t alpha = argb >> 24;
  auto premultiply = [alpha](uint32_t channel) { return (channel * alpha + 127) / 255; };
  const uint32_t pixel = (alpha << 24) | (premultiply((argb >> 16) & 0xFF) << 16) |
                         (premultiply((argb >> 8) & 0xFF) << 8) | premultiply(argb & 0xFF);
  return pngOf(width, height, [pixel](int, int) { return pixel; });
}

std::vector<uint8_t> solidJpeg(int width, int height, uint32_t rgb) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height),
                               0xFF000000u | rgb);
  return encode(GUID_ContainerFormatJpeg, width, height, std::move(pixels),
                GUID_WICPixelFormat24bppBGR);
}

PngPixels readPng(const std::string& path) {
  PngPixels result;
  IWICImagingFactory* wic = factory();
  if (wic == nullptr) return result;
  const int length = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::wstring name(static_cast<size_t>(std::max(length, 1)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, name.data(), length);
  Ref<IWICBitmapDecoder> decoder;
  Ref<IWICBitmapFrameDecode> frame;
  Ref<IWICBitmapSource> converted;
  UINT width = 0, height = 0;
  if (FAILED(wic->CreateDecoderFromFilename(name.c_str(), nullptr, GENERIC_READ,
                                            WICDecodeMetadataCacheOnLoad, &decoder.p)) ||
      FAILED(decoder->GetFrame(0, &frame.p)) ||
      FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame.p, &converted.p)) ||
      FAILED(converted->GetSize(&width, &height))) {
    return result;
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  if (FAILED(converted->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size() * 4),
                                   reinterpret_cast<BYTE*>(pixels.data())))) {
    return result;
  }
  result.width = static_cast<int>(width);
  result.height = static_cast<int>(height);
  result.pixels = std::move(pixels);
  return result;
}

}  // namespace testsupport
