#include "app/win/start_warmup_win.h"

#include <objbase.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdint>

namespace app {
namespace {

// A 1x1 PNG: decoding it loads the PNG decoder, which the first skin image would otherwise load
// on the main thread in the middle of the first paint.
constexpr uint8_t kOnePixelPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00,
    0x00, 0x00, 0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x1F, 0x00, 0x05,
    0x00, 0x01, 0xFF, 0x89, 0x99, 0x3D, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42,
    0x60, 0x82};

template <class T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p != nullptr) p->Release();
  }
};

// COM joined for this thread only, left at the end.
struct ComJoined {
  ComJoined() : joined(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~ComJoined() {
    if (joined) CoUninitialize();
  }
  bool joined;
};

bool decodeOnePixel() {
  ComJoined com;
  if (!com.joined) return false;
  Released<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(&factory.p)))) {
    return false;
  }
  Released<IWICStream> stream;
  if (FAILED(factory.p->CreateStream(&stream.p)) ||
      FAILED(stream.p->InitializeFromMemory(const_cast<BYTE*>(kOnePixelPng), sizeof kOnePixelPng))) {
    return false;
  }
  Released<IWICBitmapDecoder> decoder;
  Released<IWICBitmapFrameDecode> frame;
  Released<IWICFormatConverter> converter;
  uint32_t pixel = 0;
  return SUCCEEDED(factory.p->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder.p)) &&
         SUCCEEDED(decoder.p->GetFrame(0, &frame.p)) && SUCCEEDED(factory.p->CreateFormatConverter(&converter.p)) &&
         SUCCEEDED(converter.p->Initialize(frame.p, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr,
                                           0.0, WICBitmapPaletteTypeCustom)) &&
         SUCCEEDED(converter.p->CopyPixels(nullptr, 4, 4, reinterpret_cast<BYTE*>(&pixel)));
}

// The security packages' library, which the TLS layers load when they start (and the system
// with it its authentication packages). Kept loaded: every run's requests use it.
bool loadSecurityPackages() {
  HMODULE library = LoadLibraryExW(L"secur32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (library == nullptr) return false;
  using InitFunction = void*(WINAPI*)();
  const auto init = reinterpret_cast<InitFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "InitSecurityInterfaceW")));
  return init != nullptr && init() != nullptr;
}

}  // namespace

StartWarmUp::StartWarmUp()
    : thread_([this] {
        // The security packages first: the documents' requests start before the window.
        const bool packages = loadSecurityPackages();
        const bool images = decodeOnePixel();
        succeeded_ = packages && images;
      }) {}

StartWarmUp::~StartWarmUp() { finish(); }

bool StartWarmUp::finish() {
  if (thread_.joinable()) thread_.join();
  return succeeded_;
}

}  // namespace app
