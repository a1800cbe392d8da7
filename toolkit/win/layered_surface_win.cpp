#include "toolkit/win/layered_surface_win.h"

#include <algorithm>

namespace toolkit::win {

LayeredSurface::~LayeredSurface() { release(); }

void LayeredSurface::release() {
  if (dc_ != nullptr) {
    if (previous_ != nullptr) SelectObject(dc_, previous_);
    DeleteDC(dc_);
  }
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  previous_ = nullptr;
  bits_ = nullptr;
  width_ = 0;
  height_ = 0;
}

bool LayeredSurface::resize(int width, int height, bool& ok) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  ok = true;
  if (dc_ != nullptr && width == width_ && height == height_) return false;
  release();
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  dc_ = CreateCompatibleDC(nullptr);
  bitmap_ = dc_ != nullptr ? CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  if (bitmap_ == nullptr || bits == nullptr) {
    release();
    ok = false;
    return true;
  }
  previous_ = SelectObject(dc_, bitmap_);
  bits_ = static_cast<uint32_t*>(bits);
  width_ = width;
  height_ = height;
  std::fill(bits_, bits_ + static_cast<size_t>(width) * static_cast<size_t>(height), 0u);
  return true;
}

void LayeredSurface::clearAndClip(const RECT& area, uint32_t pixel) {
  if (dc_ == nullptr) return;
  const int left = std::clamp<int>(area.left, 0, width_);
  const int right = std::clamp<int>(area.right, 0, width_);
  const int top = std::clamp<int>(area.top, 0, height_);
  const int bottom = std::clamp<int>(area.bottom, 0, height_);
  // Whatever GDI still has queued must land before the pixels are written directly.
  GdiFlush();
  for (int y = top; y < bottom; ++y) {
    uint32_t* row = bits_ + static_cast<size_t>(y) * static_cast<size_t>(width_);
    std::fill(row + left, row + right, pixel);
  }
  HRGN clip = CreateRectRgn(left, top, right, bottom);
  SelectClipRgn(dc_, clip);
  if (clip != nullptr) DeleteObject(clip);
}

void LayeredSurface::unclip() {
  if (dc_ != nullptr) SelectClipRgn(dc_, nullptr);
}

bool LayeredSurface::present(HWND window) {
  if (dc_ == nullptr) return false;
  GdiFlush();
  SIZE size{width_, height_};
  POINT source{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  return UpdateLayeredWindow(window, nullptr, nullptr, &size, dc_, &source, 0, &blend, ULW_ALPHA) != FALSE;
}

}  // namespace toolkit::win
