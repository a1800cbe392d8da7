// The pixels of a layered window: a 32-bit top-down DIB section (premultiplied 0xAARRGGBB)
// selected into a memory DC, kept between paints, and shown with UpdateLayeredWindow.
#pragma once

#include <windows.h>

#include <cstdint>

namespace toolkit::win {

class LayeredSurface {
 public:
  LayeredSurface() = default;
  ~LayeredSurface();
  LayeredSurface(const LayeredSurface&) = delete;
  LayeredSurface& operator=(const LayeredSurface&) = delete;

  // Makes the bitmap |width| x |height| device pixels (transparent) unless it is that already;
  // true when it was made anew. False in |ok| when no bitmap could be made.
  bool resize(int width, int height, bool& ok);
  // Clears |area| (device pixels, clipped to the bitmap) to |pixel| and limits the DC's drawing
  // to it until unclip().
  void clearAndClip(const RECT& area, uint32_t pixel);
  void unclip();
  // Shows the whole bitmap as |window|'s pixels (per-pixel alpha).
  bool present(HWND window);

  HDC dc() const { return dc_; }
  int width() const { return width_; }
  int height() const { return height_; }
  const uint32_t* pixels() const { return bits_; }

 private:
  void release();

  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace toolkit::win
