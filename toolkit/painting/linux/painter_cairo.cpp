#include "toolkit/painting/linux/painter_cairo.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cwctype>
#include <map>

#include "toolkit/painting/linux/image_cache_cairo.h"
#include "utility/base/strings.h"

namespace toolkit {
namespace {

double channel(Color color, int shift) { return static_cast<double>((color >> shift) & 0xFFu) / 255.0; }

void setSource(cairo_t* cr, Color color) {
  cairo_set_source_rgba(cr, channel(color, 16), channel(color, 8), channel(color, 0),
                        channel(color, 24));
}

bool sameFace(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) {
      return false;
    }
  }
  return true;
}

// One axis of a nine-grid: the four edges of the three parts, in the image and on the device.
struct Axis {
  std::array<double, 4> source;
  std::array<int, 4> device;
};

// |start|/|end| of the source part, |low|/|high| its corners (image pixels); |from|/|to| the
// device pixels it fills; |ratio| device pixels per image pixel for the corners. Corners wider
// than the target together shrink in proportion.
Axis makeAxis(int start, int end, int low, int high, int from, int to, double ratio) {
  low = std::clamp(low, 0, end - start);
  high = std::clamp(high, 0, end - start - low);
  int lowDevice = static_cast<int>(std::lround(low * ratio));
  int highDevice = static_cast<int>(std::lround(high * ratio));
  const int span = to - from;
  if (lowDevice + highDevice > span && lowDevice + highDevice > 0) {
    const double shrink = static_cast<double>(span) / (lowDevice + highDevice);
    lowDevice = static_cast<int>(std::floor(lowDevice * shrink));
    highDevice = span - lowDevice;
  }
  Axis axis;
  axis.source = {static_cast<double>(start), static_cast<double>(start + low),
                 static_cast<double>(end - high), static_cast<double>(end)};
  axis.device = {from, from + lowDevice, to - highDevice, to};
  return axis;
}

// Pango keeps positions in 1/1024 pixel in ints, which one line of a few hundred thousand
// characters overflows (the text then measures 0). No window shows that much: one line is cut
// after (2^18 / font size) characters, about 21000 at size 12; broken text after 2^18.
constexpr size_t kLineBudget = size_t{1} << 18;
constexpr size_t kMaxBrokenChars = size_t{1} << 18;

size_t charLimit(bool broken, int fontSize) {
  return broken ? kMaxBrokenChars : std::max<size_t>(256, kLineBudget / static_cast<size_t>(std::max(1, fontSize)));
}

// The byte length of the first |chars| characters of UTF-8 |text| (all of it when shorter).
size_t prefixBytes(const std::string& text, size_t chars) {
  size_t at = 0;
  for (size_t n = 0; at < text.size() && n < chars; ++n) {
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) ++at;
  }
  return at;
}

}  // namespace

struct CairoPainter::Impl {
  Impl(cairo_t* target, double scaleFactor, const FontTable& table, ImageCache& cache)
      : scale(scaleFactor > 0 ? scaleFactor : 1.0), fonts(table), images(cache) {
    if (target == nullptr) {
      scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
      cr = cairo_create(scratch);
    } else {
      cr = cairo_reference(target);
    }
    cairo_get_matrix(cr, &base);
    cairo_save(cr);
    cairo_scale(cr, scale, scale);
    context = pango_cairo_create_context(cr);
    cairo_restore(cr);
  }

  ~Impl() {
    clearFonts();
    g_object_unref(context);
    cairo_destroy(cr);
    if (scratch != nullptr) cairo_surface_destroy(scratch);
  }

  void clearFonts() const {
    for (auto& [id, description] : descriptions) pango_font_description_free(description);
    descriptions.clear();
  }

  const FontDescription& font(int id) const { return id < 0 ? fonts.defaultFont() : fonts.font(id); }

  PangoFontDescription* description(int id) const {
    if (generation != fonts.generation()) {
      clearFonts();
      generation = fonts.generation();
    }
    auto found = descriptions.find(id);
    if (found != descriptions.end()) return found->second;
    const FontDescription& face = font(id);
    PangoFontDescription* description = pango_font_description_new();
    pango_font_description_set_family(description, CairoPainter::familyFor(face.face).c_str());
    pango_font_description_set_absolute_size(description, std::max(1, face.size) * PANGO_SCALE);
    pango_font_description_set_weight(description, face.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(description, face.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    descriptions.emplace(id, description);
    return description;
  }

  // A layout of |text| in font |id|, with the font's own underline and |runs| as attributes.
  // Over-long text is cut (see charLimit); |broken| for text broken into lines.
  PangoLayout* layout(const std::string& text, const std::vector<MarkupRun>& runs, int id,
                      bool broken) const {
    PangoLayout* layout = pango_layout_new(context);
    pango_layout_set_font_description(layout, description(id));
    const size_t length = prefixBytes(text, charLimit(broken, font(id).size));
    pango_layout_set_text(layout, text.data(), static_cast<int>(length));
    PangoAttrList* attributes = pango_attr_list_new();
    if (font(id).underline) {
      pango_attr_list_insert(attributes, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    }
    for (const MarkupRun& run : runs) {
      if (run.start >= length) break;
      const auto start = static_cast<guint>(run.start);
      const auto end = static_cast<guint>(std::min(run.start + run.length, length));
      auto add = [&](PangoAttribute* attribute) {
        attribute->start_index = start;
        attribute->end_index = end;
        pango_attr_list_insert(attributes, attribute);
      };
      if (run.underline) add(pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
      if (run.color) {
        const Color c = *run.color;
        add(pango_attr_foreground_new(static_cast<guint16>(((c >> 16) & 0xFF) * 257),
                                      static_cast<guint16>(((c >> 8) & 0xFF) * 257),
                                      static_cast<guint16>((c & 0xFF) * 257)));
        if ((c >> 24) != 0xFF) add(pango_attr_foreground_alpha_new(static_cast<guint16>((c >> 24) * 257)));
      }
    }
    pango_layout_set_attributes(layout, attributes);
    pango_attr_list_unref(attributes);
    return layout;
  }

  int device(int value) const { return static_cast<int>(std::lround(value * scale)); }
  Rect device(const Rect& rect) const {
    return Rect{device(rect.left), device(rect.top), device(rect.right), device(rect.bottom)};
  }

  // Device space for the next drawing calls (inside a save/restore of the caller).
  void useDevice() const { cairo_set_matrix(cr, &base); }
  void useLayout() const {
    cairo_set_matrix(cr, &base);
    cairo_scale(cr, scale, scale);
  }

  PangoFont* loadFont(int id) const { return pango_context_load_font(context, description(id)); }

  cairo_t* cr = nullptr;
  cairo_surface_t* scratch = nullptr;
  double scale;
  cairo_matrix_t base{};
  const FontTable& fonts;
  ImageCache& images;
  PangoContext* context = nullptr;
  mutable std::map<int, PangoFontDescription*> descriptions;
  mutable unsigned generation = 0;
  int clips = 0;
};

CairoPainter::CairoPainter(cairo_t* cr, double scale, const FontTable& fonts, ImageCache& images)
    : impl_(std::make_unique<Impl>(cr, scale, fonts, images)) {
  impl_->generation = fonts.generation();
}

CairoPainter::~CairoPainter() {
  // A clip left pushed would otherwise stay on the host's context.
  while (impl_->clips > 0) popClip();
}

double CairoPainter::scale() const { return impl_->scale; }

std::string CairoPainter::familyFor(std::wstring_view face) {
  // The installer's face and its English name: a CJK sans fontconfig has, the first found wins.
  if (face.empty() || face == L"\u5FAE\u8F6F\u96C5\u9ED1" || sameFace(face, L"Microsoft YaHei")) {
    return "WenQuanYi Micro Hei,Noto Sans CJK SC,Source Han Sans SC,Droid Sans Fallback,sans-serif";
  }
  return utility::wideToUtf8(face);
}

void CairoPainter::fillRect(const Rect& rect, Color color) {
  if ((color >> 24) == 0 || rect.width() <= 0 || rect.height() <= 0) return;
  cairo_t* cr = impl_->cr;
  const Rect r = impl_->device(rect);
  cairo_save(cr);
  impl_->useDevice();
  setSource(cr, color);
  cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
  cairo_fill(cr);
  cairo_restore(cr);
}

void CairoPainter::drawBorder(const Rect& rect, int size, Color color) {
  if ((color >> 24) == 0 || size <= 0 || rect.width() <= 0 || rect.height() <= 0) return;
  cairo_t* cr = impl_->cr;
  const Rect outer = impl_->device(rect);
  const int width = std::max(1, impl_->device(size));
  cairo_save(cr);
  impl_->useDevice();
  setSource(cr, color);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_rectangle(cr, outer.left, outer.top, outer.width(), outer.height());
  if (outer.width() > 2 * width && outer.height() > 2 * width) {
    cairo_rectangle(cr, outer.left + width, outer.top + width, outer.width() - 2 * width,
                    outer.height() - 2 * width);
  }
  cairo_fill(cr);
  cairo_restore(cr);
}

bool CairoPainter::drawImage(const Rect& rect, const ImageAttribute& image) {
  if (image.empty() || image.fade <= 0) return false;
  const bool enlarged = impl_->scale >= kEnlargedScale;
  const std::optional<CachedImage> cached = impl_->images.find(image.file, image.mask, enlarged);
  if (!cached) return false;
  const int factor = cached->factor;

  // The source part in the file's pixels (a variant's are doubled), kept inside the file. The
  // attribute's rectangles are held within the toolkit's extent first, so no product overflows.
  Rect source = clampExtent(
      image.source.value_or(Rect{0, 0, cached->width / factor, cached->height / factor}));
  source = Rect{std::clamp(source.left * factor, 0, cached->width),
                std::clamp(source.top * factor, 0, cached->height),
                std::clamp(source.right * factor, 0, cached->width),
                std::clamp(source.bottom * factor, 0, cached->height)};
  if (source.width() <= 0 || source.height() <= 0) return false;

  Rect target = clampExtent(rect);
  if (image.dest) {
    const Rect dest = clampExtent(*image.dest);
    target = clampExtent(Rect{target.left + dest.left, target.top + dest.top, target.left + dest.right,
                              target.top + dest.bottom});
  }
  const Rect device = impl_->device(target);
  if (device.width() <= 0 || device.height() <= 0) return false;

  // Corners keep their size: one image pixel of a variant is 1/factor layout pixel.
  const double ratio = impl_->scale / factor;
  const Rect corner = clampExtent(image.corner);
  const Axis xs = makeAxis(source.left, source.right, corner.left * factor, corner.right * factor,
                           device.left, device.right, ratio);
  const Axis ys = makeAxis(source.top, source.bottom, corner.top * factor, corner.bottom * factor,
                           device.top, device.bottom, ratio);

  cairo_t* cr = impl_->cr;
  cairo_save(cr);
  impl_->useDevice();
  const double alpha = image.fade / 255.0;
  for (int row = 0; row < 3; ++row) {
    const double sy = ys.source[row], sh = ys.source[row + 1] - sy;
    const int dy = ys.device[row], dh = ys.device[row + 1] - dy;
    if (sh <= 0 || dh <= 0) continue;
    for (int column = 0; column < 3; ++column) {
      const double sx = xs.source[column], sw = xs.source[column + 1] - sx;
      const int dx = xs.device[column], dw = xs.device[column + 1] - dx;
      if (sw <= 0 || dw <= 0) continue;
      // Each part samples only its own pixels, so stretching never bleeds a neighbour in.
      cairo_surface_t* part = cairo_surface_create_for_rectangle(cached->surface, sx, sy, sw, sh);
      cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
      cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
      const bool oneToOne = sw == dw && sh == dh;
      cairo_pattern_set_filter(pattern, oneToOne ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
      cairo_matrix_t matrix;
      cairo_matrix_init_scale(&matrix, sw / dw, sh / dh);
      cairo_matrix_translate(&matrix, -dx, -dy);
      cairo_pattern_set_matrix(pattern, &matrix);
      cairo_set_source(cr, pattern);
      cairo_save(cr);
      cairo_rectangle(cr, dx, dy, dw, dh);
      cairo_clip(cr);
      if (image.fade >= 255) {
        cairo_paint(cr);
      } else {
        cairo_paint_with_alpha(cr, alpha);
      }
      cairo_restore(cr);
      cairo_pattern_destroy(pattern);
      cairo_surface_destroy(part);
    }
  }
  cairo_restore(cr);
  return true;
}

void CairoPainter::drawText(const Rect& rect, const MarkupText& text, const TextStyle& style) {
  if (text.text.empty() || rect.width() <= 0 || rect.height() <= 0 || (style.color >> 24) == 0) {
    return;
  }
  const MarkupTextUtf8 utf8 = toUtf8(text);
  PangoLayout* layout = impl_->layout(utf8.text, utf8.runs, style.font, style.wordBreak);
  // Alignment is visual (left is the left edge) whatever the text's direction; the direction,
  // taken from the text itself, orders its words. Pango counts alignment from the paragraph's
  // start, so a right-to-left paragraph gets it mirrored.
  PangoLayoutLine* first = pango_layout_get_line_readonly(layout, 0);
  const bool rtl = first != nullptr && first->resolved_dir == PANGO_DIRECTION_RTL;
  HAlign align = style.align;
  const bool fitted = style.wordBreak || style.endEllipsis;
  if (fitted) {
    if (rtl && align != HAlign::kCenter) align = align == HAlign::kLeft ? HAlign::kRight : HAlign::kLeft;
    pango_layout_set_width(layout, rect.width() * PANGO_SCALE);
    if (style.wordBreak) pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    if (style.endEllipsis) {
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
      pango_layout_set_height(layout, style.wordBreak ? rect.height() * PANGO_SCALE : 0);
    }
    pango_layout_set_alignment(layout, align == HAlign::kCenter  ? PANGO_ALIGN_CENTER
                                       : align == HAlign::kRight ? PANGO_ALIGN_RIGHT
                                                                 : PANGO_ALIGN_LEFT);
  }
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  double x = rect.left;
  if (!fitted) {
    // One unbroken line, placed here.
    if (align == HAlign::kCenter) x += (rect.width() - logical.width) / 2.0;
    if (align == HAlign::kRight) x += rect.width() - logical.width;
    x -= logical.x;
  }
  double y = rect.top - logical.y;
  if (style.valign == VAlign::kCenter) y += (rect.height() - logical.height) / 2.0;
  if (style.valign == VAlign::kBottom) y += rect.height() - logical.height;

  cairo_t* cr = impl_->cr;
  cairo_save(cr);
  impl_->useLayout();
  cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
  cairo_clip(cr);
  setSource(cr, style.color);
  // Whole device pixels keep glyphs as crisp as the hinting made them.
  double dx = x * impl_->scale, dy = y * impl_->scale;
  dx = std::round(dx) / impl_->scale;
  dy = std::round(dy) / impl_->scale;
  cairo_move_to(cr, dx, dy);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

void CairoPainter::pushClip(const Rect& rect) {
  cairo_t* cr = impl_->cr;
  cairo_save(cr);
  const Rect r = impl_->device(rect);
  cairo_matrix_t current;
  cairo_get_matrix(cr, &current);
  impl_->useDevice();
  cairo_rectangle(cr, r.left, r.top, std::max(0, r.width()), std::max(0, r.height()));
  cairo_clip(cr);
  cairo_set_matrix(cr, &current);
  ++impl_->clips;
}

void CairoPainter::popClip() {
  if (impl_->clips == 0) return;
  --impl_->clips;
  cairo_restore(impl_->cr);
}

Size CairoPainter::measure(std::wstring_view text, int fontId, int maxWidth) const {
  if (text.empty()) return Size{};
  PangoLayout* layout = impl_->layout(utility::wideToUtf8(text), {}, fontId, maxWidth > 0);
  if (maxWidth > 0) {
    pango_layout_set_width(layout, maxWidth * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
  }
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout, nullptr, &logical);
  g_object_unref(layout);
  return Size{clampExtent(logical.width), clampExtent(logical.height)};
}

std::string CairoPainter::resolvedFamily(int fontId) const {
  PangoFont* font = impl_->loadFont(fontId);
  if (font == nullptr) return {};
  PangoFontDescription* description = pango_font_describe(font);
  std::string family = pango_font_description_get_family(description) != nullptr
                           ? pango_font_description_get_family(description)
                           : "";
  pango_font_description_free(description);
  g_object_unref(font);
  return family;
}

bool CairoPainter::fontCovers(int fontId, char32_t c) const {
  PangoFont* font = impl_->loadFont(fontId);
  if (font == nullptr) return false;
  const bool covers = pango_font_has_char(font, static_cast<gunichar>(c)) != FALSE;
  g_object_unref(font);
  return covers;
}

}  // namespace toolkit
