// What controls draw through: filled rectangles, borders, images in the layout's image syntax,
// styled text and clipping, all in layout pixels. A painter also measures text, so the one that
// draws a window also lays it out. The drawing library behind it is the painter's business; the
// core never sees it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/attribute_value.h"
#include "toolkit/core/label_markup.h"
#include "toolkit/core/text_measurer.h"

namespace toolkit {

// How a text sits in its rectangle.
struct TextStyle {
  int font = -1;  // -1: the default font
  Color color = 0xFF000000u;
  HAlign align = HAlign::kLeft;
  VAlign valign = VAlign::kCenter;
  bool wordBreak = false;    // several lines, broken at word boundaries
  bool endEllipsis = false;  // what does not fit ends in "..."
  // The paragraph's base direction: right to left in a right-to-left window, so neutral
  // characters (punctuation, brackets, digits' signs) take their places as its readers expect.
  // Alignment stays visual either way (kLeft is the left edge).
  bool rightToLeft = false;
};

class Painter : public TextMeasurer {
 public:
  // Device pixels per layout pixel (2 on a doubled screen). From 2 on, images are taken from
  // their enlarged variant where the skin has one.
  virtual double scale() const = 0;

  // |color| is 0xAARRGGBB; an alpha of 0 draws nothing.
  virtual void fillRect(const Rect& rect, Color color) = 0;
  // A frame |size| pixels wide just inside |rect|.
  virtual void drawBorder(const Rect& rect, int size, Color color) = 0;
  // Draws |image| in |rect| (the control's rectangle; the image's dest is relative to it):
  // its source part, nine-grid scaled by its corners, its mask colour transparent, its fade.
  // False when the file is missing or cannot be decoded (nothing is drawn).
  virtual bool drawImage(const Rect& rect, const ImageAttribute& image) = 0;
  // Draws |text| with its runs (underline, colour) over the style's colour.
  virtual void drawText(const Rect& rect, const MarkupText& text, const TextStyle& style) = 0;
  // Drawing is limited to the intersection of the pushed rectangles until the matching pop.
  virtual void pushClip(const Rect& rect) = 0;
  virtual void popClip() = 0;
};

// The bytes of a skin image by file name, empty when there is none. Painters read images through
// one; without it they read through the skin (the skin folder first, then the archive).
using ImageFileReader = std::function<std::vector<uint8_t>(const std::wstring& name)>;

// The enlarged variant of a skin image, drawn from a scale of 2 on: the same file in the folder
// whose first name has "Enalarge" appended ("common/msg_noice48.png" ->
// "commonEnalarge/msg_noice48.png", "a\b\c.png" -> "aEnalarge\b\c.png"); a file at the skin's
// root has its variant in "Enalarge" ("logo.png" -> "Enalarge/logo.png"). A variant holds twice
// the pixels of its plain file, so source, corner and dest rectangles are read doubled on it.
// A file with no variant is drawn from its plain pixels, scaled.
std::wstring enlargedImageName(std::wstring_view file);
inline constexpr double kEnlargedScale = 2.0;

// Keeps a clip pushed for one scope.
class ClipScope {
 public:
  ClipScope(Painter& painter, const Rect& rect) : painter_(painter) { painter_.pushClip(rect); }
  ~ClipScope() { painter_.popClip(); }
  ClipScope(const ClipScope&) = delete;
  ClipScope& operator=(const ClipScope&) = delete;

 private:
  Painter& painter_;
};

}  // namespace toolkit
