// The painter on Cairo, with text by Pango. Draws on a Cairo context a host hands it (a window's
// draw call, an image surface); layout pixels times scale() are the context's device pixels from
// the transformation the context had when the painter was made. Fonts come from a FontTable,
// images from an ImageCache; both outlive the painter. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "toolkit/core/font_table.h"
#include "toolkit/core/painter.h"

typedef struct _cairo cairo_t;

namespace toolkit {

class ImageCache;

class CairoPainter : public Painter {
 public:
  // |cr| null: a painter that only measures text (on a scratch surface of its own).
  CairoPainter(cairo_t* cr, double scale, const FontTable& fonts, ImageCache& images);
  ~CairoPainter() override;
  CairoPainter(const CairoPainter&) = delete;
  CairoPainter& operator=(const CairoPainter&) = delete;

  double scale() const override;
  void fillRect(const Rect& rect, Color color) override;
  void drawBorder(const Rect& rect, int size, Color color) override;
  bool drawImage(const Rect& rect, const ImageAttribute& image) override;
  void drawText(const Rect& rect, const MarkupText& text, const TextStyle& style) override;
  void pushClip(const Rect& rect) override;
  void popClip() override;
  Size measure(std::wstring_view text, int fontId, int maxWidth) const override;

  // The family the font of |fontId| resolves to on this system, and whether that font has a
  // glyph for |c| (a face name the system lacks falls back to what fontconfig offers).
  std::string resolvedFamily(int fontId) const;
  bool fontCovers(int fontId, char32_t c) const;

  // The font family list a face name stands for: "微软雅黑" (and its English name) becomes CJK
  // sans faces fontconfig knows; any other face stays as it is.
  static std::string familyFor(std::wstring_view face);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace toolkit
