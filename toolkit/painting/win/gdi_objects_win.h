// Small owners of GDI handles and the pixels of a 32-bit DIB section, shared by the GDI painter's
// files. Main thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace toolkit::gdi {

// Deletes a GDI object (bitmap, font, brush, region) at its end.
template <class Handle>
class Object {
 public:
  Object() = default;
  explicit Object(Handle handle) : handle_(handle) {}
  ~Object() { reset(); }
  Object(Object&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  Object& operator=(Object&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  void reset(Handle handle = nullptr) {
    if (handle_ != nullptr) DeleteObject(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = nullptr;
};

// A memory DC of our own, deleted at its end.
class MemoryDc {
 public:
  MemoryDc() : dc_(CreateCompatibleDC(nullptr)) {}
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Keeps |object| selected into |dc| for one scope.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~Selection() {
    if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// The pixels of a 32-bit DIB section: 0xAARRGGBB words, premultiplied by convention.
struct Pixels {
  uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes from one row to the next
  bool valid() const { return bits != nullptr && width > 0 && height > 0; }
  uint32_t* row(int y) const {
    return reinterpret_cast<uint32_t*>(bits + static_cast<ptrdiff_t>(y) * stride);
  }
};

// A top-down 32-bit DIB section of |width| x |height|, cleared to 0; null when it cannot be made.
inline HBITMAP createDib(int width, int height, Pixels* pixels) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    return nullptr;
  }
  if (pixels != nullptr) *pixels = Pixels{static_cast<uint8_t*>(bits), width, height, width * 4};
  return bitmap;
}

// The pixels of the 32-bit DIB section selected into |dc|, taken as top-down (the hosts' and our
// own bitmaps are; GetObject does not keep the sign of the height, so a bottom-up one cannot be
// told apart); invalid for any other bitmap.
inline Pixels selectedPixels(HDC dc) {
  HGDIOBJ bitmap = GetCurrentObject(dc, OBJ_BITMAP);
  DIBSECTION section{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(section), &section) != sizeof(section))
    return {};
  if (section.dsBm.bmBitsPixel != 32 || section.dsBm.bmBits == nullptr) return {};
  return Pixels{static_cast<uint8_t*>(section.dsBm.bmBits), section.dsBm.bmWidth,
                std::abs(section.dsBm.bmHeight), section.dsBm.bmWidthBytes};
}

}  // namespace toolkit::gdi
