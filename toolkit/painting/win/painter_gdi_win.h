// The painter on GDI. Draws into the 32-bit DIB section selected into a memory DC a host or the
// offscreen renderer hands it (pixels 0xAARRGGBB, premultiplied); layout pixels times scale() are
// the DC's pixels. GDI itself writes no alpha, so fills, borders and text are composited into the
// pixels here (text drawn by GDI white on black as coverage, then blended in its colours), and
// images go through AlphaBlend. Fonts come from a FontTable, images from an ImageCache; both
// outlive the painter. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "toolkit/core/font_table.h"
#include "toolkit/core/painter.h"

struct HDC__;

namespace toolkit {

class ImageCache;

class GdiPainter : public Painter {
 public:
  // |dc| null: a painter that only measures text (on a DC of its own).
  GdiPainter(HDC__* dc, double scale, const FontTable& fonts, ImageCache& images);
  ~GdiPainter() override;
  GdiPainter(const GdiPainter&) = delete;
  GdiPainter& operator=(const GdiPainter&) = delete;

  double scale() const override;
  void fillRect(const Rect& rect, Color color) override;
  void drawBorder(const Rect& rect, int size, Color color) override;
  bool drawImage(const Rect& rect, const ImageAttribute& image) override;
  void drawText(const Rect& rect, const MarkupText& text, const TextStyle& style) override;
  void pushClip(const Rect& rect) override;
  void popClip() override;
  Size measure(std::wstring_view text, int fontId, int maxWidth) const override;

  // The face a font of the layout is created with: "微软雅黑" (and its English name) becomes
  // Microsoft YaHei where the system has it, else the system's message font, whose font link
  // reaches CJK faces; any other face stays as it is.
  static std::wstring faceFor(std::wstring_view face);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace toolkit
