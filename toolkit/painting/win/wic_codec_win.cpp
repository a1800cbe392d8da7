#include "toolkit/painting/win/wic_codec_win.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <algorithm>

#include "utility/base/strings.h"

namespace toolkit::wic {
namespace {

// A COM interface pointer released at its end.
template <class T>
class Ref {
 public:
  Ref() = default;
  ~Ref() {
    if (p_ != nullptr) p_->Release();
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  T** out() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// The imaging factory of this thread; COM is joined first where the thread has not joined it.
IWICImagingFactory* factory() {
  struct ThreadFactory {
    ThreadFactory() {
      const HRESULT joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      // RPC_E_CHANGED_MODE: the thread is in the multithreaded apartment, which serves as well.
      ownsCom = SUCCEEDED(joined);
      if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(&instance)))) {
        instance = nullptr;
      }
    }
    ~ThreadFactory() {
      if (instance != nullptr) instance->Release();
      if (ownsCom) CoUninitialize();
    }
    IWICImagingFactory* instance = nullptr;
    bool ownsCom = false;
  };
  thread_local ThreadFactory perThread;
  return perThread.instance;
}

uint32_t premultiply(uint32_t straight) {
  const uint32_t a = straight >> 24;
  if (a == 0xFF) return straight;
  const uint32_t r = (((straight >> 16) & 0xFF) * a + 127) / 255;
  const uint32_t g = (((straight >> 8) & 0xFF) * a + 127) / 255;
  const uint32_t b = ((straight & 0xFF) * a + 127) / 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

uint32_t unpremultiply(uint32_t pixel) {
  const uint32_t a = pixel >> 24;
  if (a == 0xFF) return pixel;
  if (a == 0) return 0;
  auto channel = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
  return (a << 24) | (channel((pixel >> 16) & 0xFF) << 16) | (channel((pixel >> 8) & 0xFF) << 8) |
         channel(pixel & 0xFF);
}

}  // namespace

std::optional<Image> decode(const std::vector<uint8_t>& bytes) {
  IWICImagingFactory* wic = factory();
  if (wic == nullptr || bytes.empty() || bytes.size() > 0x7FFFFFFF) return std::nullopt;
  Ref<IWICStream> stream;
  if (FAILED(wic->CreateStream(stream.out())) ||
      FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size())))) {
    return std::nullopt;
  }
  Ref<IWICBitmapDecoder> decoder;
  if (FAILED(wic->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnLoad,
                                          decoder.out()))) {
    return std::nullopt;
  }
  Ref<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.out()))) return std::nullopt;
  // Straight BGRA, premultiplied here with the same rounding on every platform.
  Ref<IWICBitmapSource> converted;
  if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.get(), converted.out()))) {
    return std::nullopt;
  }
  UINT width = 0, height = 0;
  if (FAILED(converted->GetSize(&width, &height)) || width == 0 || height == 0 || width > 32768 ||
      height > 32768) {
    return std::nullopt;
  }
  Image image;
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.pixels.resize(static_cast<size_t>(width) * height);
  if (FAILED(converted->CopyPixels(nullptr, width * 4, static_cast<UINT>(image.pixels.size() * 4),
                                   reinterpret_cast<BYTE*>(image.pixels.data())))) {
    return std::nullopt;
  }
  for (uint32_t& pixel : image.pixels) pixel = premultiply(pixel);
  return image;
}

bool writePng(const uint32_t* pixels, int width, int height, const std::string& path) {
  IWICImagingFactory* wic = factory();
  if (wic == nullptr || pixels == nullptr || width <= 0 || height <= 0) return false;
  std::vector<uint32_t> straight(pixels,
                                 pixels + static_cast<size_t>(width) * static_cast<size_t>(height));
  for (uint32_t& pixel : straight) pixel = unpremultiply(pixel);

  const std::wstring name = utility::utf8ToWide(path);
  bool opened = false;
  const bool written = [&] {
    Ref<IWICStream> stream;
    if (FAILED(wic->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromFilename(name.c_str(), GENERIC_WRITE))) {
      return false;
    }
    opened = true;
    Ref<IWICBitmapEncoder> encoder;
    if (FAILED(wic->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.out())) ||
        FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache))) {
      return false;
    }
    Ref<IWICBitmapFrameEncode> frame;
    if (FAILED(encoder->CreateNewFrame(frame.out(), nullptr)) ||
        FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)))) {
      return false;
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat32bppBGRA)
      return false;
    const UINT stride = static_cast<UINT>(width) * 4;
    return SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), stride,
                                        stride * static_cast<UINT>(height),
                                        reinterpret_cast<BYTE*>(straight.data()))) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
  }();
  // A file left half written would pass for a picture.
  if (!written && opened) DeleteFileW(name.c_str());
  return written;
}

}  // namespace toolkit::wic
