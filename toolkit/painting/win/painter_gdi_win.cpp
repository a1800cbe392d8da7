#include "toolkit/painting/win/painter_gdi_win.h"

#include <usp10.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cwctype>
#include <map>
#include <memory>
#include <vector>

#include "toolkit/core/control.h"
#include "toolkit/painting/win/gdi_objects_win.h"
#include "toolkit/painting/win/image_cache_win.h"

namespace toolkit {
namespace {

constexpr wchar_t kEllipsis = L'\u2026';

bool sameFace(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool faceInstalled(const wchar_t* face) {
  HDC screen = GetDC(nullptr);
  if (screen == nullptr) return false;
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(
      screen, &wanted,
      [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM flag) -> int {
        *reinterpret_cast<bool*>(flag) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, screen);
  return found;
}

// The face the installer's "微软雅黑" stands for on this system, looked up once.
const std::wstring& installerFace() {
  static const std::wstring face = [] {
    if (faceInstalled(L"Microsoft YaHei")) return std::wstring(L"Microsoft YaHei");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) &&
        metrics.lfMessageFont.lfFaceName[0] != 0) {
      return std::wstring(metrics.lfMessageFont.lfFaceName);
    }
    return std::wstring(L"Tahoma");
  }();
  return face;
}

// One axis of a nine-grid: the four edges of the three parts, in the image and on the device.
struct Axis {
  std::array<int, 4> source;
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
  return Axis{{start, start + low, end - high, end}, {from, from + lowDevice, to - highDevice, to}};
}

// One line may not grow past what the drawing calls take in comfortably: one line is cut after
// (2^18 / font size) characters, about 21000 at size 12; broken text after 2^18. No window shows
// that much.
constexpr size_t kLineBudget = size_t{1} << 18;
constexpr size_t kMaxBrokenChars = size_t{1} << 18;

size_t charLimit(bool broken, int fontSize) {
  return broken ? kMaxBrokenChars
                : std::max<size_t>(256, kLineBudget / static_cast<size_t>(std::max(1, fontSize)));
}

// |text| cut to at most |chars| UTF-16 units, never between the two halves of a pair.
std::wstring_view cutText(std::wstring_view text, size_t chars) {
  if (text.size() <= chars) return text;
  if (chars > 0 && text[chars - 1] >= 0xD800 && text[chars - 1] < 0xDC00) --chars;
  return text.substr(0, chars);
}

bool rightToLeftChar(wchar_t c) {
  return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
         (c >= 0xFE70 && c <= 0xFEFF);
}

bool leftToRightChar(wchar_t c) {
  if (rightToLeftChar(c)) return false;
  if (c < 0x80) return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
  if (c >= 0x2000 && c <= 0x2BFF) return false;  // punctuation, symbols, arrows
  return std::iswalpha(static_cast<wint_t>(c)) != 0 || c >= 0x2E80;
}

// The direction of a paragraph: that of its first strong character.
bool rightToLeft(std::wstring_view text) {
  for (wchar_t c : text) {
    if (rightToLeftChar(c)) return true;
    if (leftToRightChar(c)) return false;
  }
  return false;
}

bool wide(wchar_t c) { return c >= 0x2E80 && !(c >= 0xD800 && c < 0xE000); }
bool space(wchar_t c) { return c == L' ' || c == L'\t' || c == 0x3000; }

// A line may start at |at| when a space ends the one before, or beside a CJK character.
bool breakBefore(std::wstring_view text, size_t at) {
  if (at == 0 || at >= text.size()) return false;
  const wchar_t before = text[at - 1], after = text[at];
  if (after >= 0xDC00 && after < 0xE000) return false;  // inside a pair
  return space(before) || wide(before) || wide(after);
}

// A copy of the 32-bit DIB section |bitmap| flipped left to right; null when it cannot be made.
HBITMAP mirroredCopy(HBITMAP bitmap) {
  DIBSECTION section{};
  if (GetObjectW(bitmap, sizeof(section), &section) != sizeof(section) ||
      section.dsBm.bmBitsPixel != 32 || section.dsBm.bmBits == nullptr) {
    return nullptr;
  }
  const gdi::Pixels from{static_cast<uint8_t*>(section.dsBm.bmBits), section.dsBm.bmWidth,
                         std::abs(section.dsBm.bmHeight), section.dsBm.bmWidthBytes};
  gdi::Pixels to;
  HBITMAP copy = gdi::createDib(from.width, from.height, &to);
  if (copy == nullptr) return nullptr;
  GdiFlush();
  for (int y = 0; y < from.height; ++y) {
    std::reverse_copy(from.row(y), from.row(y) + from.width, to.row(y));
  }
  return copy;
}

uint32_t premultiplied(Color color, uint32_t coverage) {
  const uint32_t a = ((color >> 24) * coverage + 127) / 255;
  const uint32_t r = (((color >> 16) & 0xFF) * a + 127) / 255;
  const uint32_t g = (((color >> 8) & 0xFF) * a + 127) / 255;
  const uint32_t b = ((color & 0xFF) * a + 127) / 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

// |source| (premultiplied) over |target| (premultiplied).
uint32_t over(uint32_t source, uint32_t target) {
  const uint32_t a = source >> 24;
  if (a == 0xFF) return source;
  if (a == 0) return target;
  const uint32_t keep = 255 - a;
  uint32_t result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const uint32_t s = (source >> shift) & 0xFF;
    const uint32_t t = (target >> shift) & 0xFF;
    result |= std::min<uint32_t>(255, s + (t * keep + 127) / 255) << shift;
  }
  return result;
}

Rect intersect(const Rect& a, const Rect& b) {
  Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// A font at the painter's scale.
struct FontEntry {
  gdi::Object<HFONT> font;
  int height = 0;
  int ascent = 0;
  int descent = 0;
  int size = 1;  // device pixels of the em
  // Faces for the complex scripts this one lacks, by Unicode block of 128 (null: none better).
  std::map<wchar_t, std::unique_ptr<FontEntry>> fallbacks;
};

// One line of laid out text: the source characters it shows and how wide they are.
struct TextLine {
  std::wstring shown;  // the characters drawn (an ellipsis may end them)
  size_t start = 0;    // index in the source of shown[0]
  size_t count = 0;    // source characters shown
  int width = 0;       // device pixels
  bool rtl = false;
  const FontEntry* font = nullptr;  // the face the line is drawn in
};

// A stretch of one direction of a line: source characters from |start| to |end|.
struct LinePiece {
  size_t start = 0;
  size_t end = 0;
  bool rtl = false;
};

struct TextLayout {
  std::vector<TextLine> lines;
  std::vector<int> advance;  // advance[i]: width of source[0, i]; per paragraph
  int lineHeight = 0;
  int width = 0;
};

}  // namespace

struct GdiPainter::Impl {
  Impl(HDC target, double scaleFactor, const FontTable& table, ImageCache& cache)
      : scale(scaleFactor > 0 ? scaleFactor : 1.0), fonts(table), images(cache), dc(target) {
    if (dc != nullptr) {
      pixels = gdi::selectedPixels(dc);
      bounds = Rect{0, 0, pixels.width, pixels.height};
    }
  }

  ~Impl() {
    // The fonts must leave the DCs before they are deleted.
    if (textFont != nullptr) SelectObject(textDc.get(), textFont);
    if (measureFont != nullptr) SelectObject(measureDc.get(), measureFont);
  }

  int device(int value) const { return static_cast<int>(std::lround(value * scale)); }
  Rect device(const Rect& rect) const {
    return Rect{device(rect.left), device(rect.top), device(rect.right), device(rect.bottom)};
  }
  int layout(int deviceValue) const {
    return clampExtent(static_cast<int>(std::ceil(deviceValue / scale - 1e-9)));
  }

  Rect clip() const { return clips.empty() ? bounds : clips.back(); }

  const FontDescription& description(int id) const {
    return id < 0 ? fonts.defaultFont() : fonts.font(id);
  }

  const FontEntry& font(int id) const {
    if (generation != fonts.generation()) {
      // A font still selected into a DC must not be deleted: the DCs get their first fonts back.
      if (textFont != nullptr) SelectObject(textDc.get(), textFont);
      if (measureFont != nullptr) SelectObject(measureDc.get(), measureFont);
      textFont = measureFont = nullptr;
      fontCache.clear();
      generation = fonts.generation();
    }
    auto found = fontCache.find(id);
    if (found != fontCache.end()) return found->second;
    const FontDescription& face = description(id);
    FontEntry entry = makeFont(face, GdiPainter::faceFor(face.face));
    return fontCache.emplace(id, std::move(entry)).first->second;
  }

  FontEntry makeFont(const FontDescription& face, const std::wstring& name) const {
    FontEntry entry;
    entry.size = std::max(1, static_cast<int>(std::lround(std::max(1, face.size) * scale)));
    LOGFONTW logical{};
    logical.lfHeight = -entry.size;
    logical.lfWeight = face.bold ? FW_BOLD : FW_NORMAL;
    logical.lfItalic = face.italic ? TRUE : FALSE;
    logical.lfUnderline = face.underline ? TRUE : FALSE;
    logical.lfCharSet = DEFAULT_CHARSET;
    logical.lfOutPrecision = OUT_TT_PRECIS;
    logical.lfQuality = ANTIALIASED_QUALITY;
    wcsncpy(logical.lfFaceName, name.c_str(), LF_FACESIZE - 1);
    entry.font.reset(CreateFontIndirectW(&logical));
    HDC measuring = measureDc.get();
    HGDIOBJ previous = SelectObject(measuring, entry.font ? static_cast<HGDIOBJ>(entry.font.get())
                                                          : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics{};
    if (GetTextMetricsW(measuring, &metrics)) {
      entry.height = metrics.tmHeight;
      entry.ascent = metrics.tmAscent;
      entry.descent = metrics.tmDescent;
    } else {
      entry.height = entry.size;
      entry.ascent = entry.size * 4 / 5;
      entry.descent = entry.size - entry.ascent;
    }
    SelectObject(measuring, previous);
    return entry;
  }

  // Whether |entry|'s own face has a glyph for |c| (linked faces not counted).
  bool covers(const FontEntry& entry, wchar_t c) const {
    if (!entry.font) return false;
    HDC measuring = measureDc.get();
    HGDIOBJ previous = SelectObject(measuring, entry.font.get());
    WORD glyph = 0xFFFF;
    const bool found =
        GetGlyphIndicesW(measuring, &c, 1, &glyph, GGI_MARK_NONEXISTING_GLYPHS) == 1 &&
        glyph != 0xFFFF;
    SelectObject(measuring, previous);
    return found;
  }

  // The font a paragraph is drawn in: |entry|, or where the paragraph holds letters of a complex
  // script (Hebrew and Arabic to Thai and beyond) that |entry|'s face lacks, the first face at hand
  // that has them: the font link does not reach text GDI shapes itself.
  const FontEntry& fontFor(int id, const FontEntry& entry, std::wstring_view paragraph) const {
    const auto first = std::find_if(paragraph.begin(), paragraph.end(),
                                    [](wchar_t c) { return c >= 0x0590 && c < 0x1100; });
    if (first == paragraph.end()) return entry;
    auto& fallbacks = const_cast<FontEntry&>(entry).fallbacks;
    const wchar_t block = static_cast<wchar_t>(*first >> 7);
    auto found = fallbacks.find(block);
    if (found == fallbacks.end()) {
      std::unique_ptr<FontEntry> chosen;
      if (!covers(entry, *first)) {
        for (const wchar_t* face :
             {L"Segoe UI", L"Tahoma", L"Leelawadee UI", L"Arial", L"Microsoft Sans Serif",
              L"DejaVu Sans", L"Loma", L"Noto Sans"}) {
          auto candidate = std::make_unique<FontEntry>(makeFont(description(id), face));
          if (covers(*candidate, *first)) {
            chosen = std::move(candidate);
            break;
          }
        }
      }
      found = fallbacks.emplace(block, std::move(chosen)).first;
    }
    return found->second ? *found->second : entry;
  }

  // Selects |entry|'s font into |target| (one of our DCs), remembering the DC's first font.
  void use(HDC target, const FontEntry& entry, HGDIOBJ& first) const {
    HGDIOBJ handle =
        entry.font ? static_cast<HGDIOBJ>(entry.font.get()) : GetStockObject(DEFAULT_GUI_FONT);
    HGDIOBJ previous = SelectObject(target, handle);
    if (first == nullptr) first = previous;
  }

  // The logical widths of |text| (per character, summed into |result|) as the selected font's
  // shaped glyphs are drawn: items, shaping and each glyph's own advance, which is what ExtTextOutW
  // lays down. (ScriptPlace's positioning is left out: Wine's reads past its tables on some fonts.)
  bool shapedAdvances(std::wstring_view text, std::vector<int>& result) const {
    HDC measuring = measureDc.get();
    const int count = static_cast<int>(text.size());
    std::vector<SCRIPT_ITEM> items(static_cast<size_t>(count) + 1);
    SCRIPT_CONTROL control{};
    SCRIPT_STATE state{};
    state.uBidiLevel = 1;
    int itemCount = 0;
    if (FAILED(
            ScriptItemize(text.data(), count, count, &control, &state, items.data(), &itemCount))) {
      return false;
    }
    SCRIPT_CACHE cache = nullptr;
    std::vector<WORD> glyphs, clusters;
    std::vector<SCRIPT_VISATTR> attributes;
    std::vector<int> widths;
    bool shapedAll = true;
    for (int i = 0; i < itemCount && shapedAll; ++i) {
      const int start = items[static_cast<size_t>(i)].iCharPos;
      const int length = items[static_cast<size_t>(i) + 1].iCharPos - start;
      if (length <= 0) continue;
      int maxGlyphs = length * 3 / 2 + 16;
      int glyphCount = 0;
      HRESULT shaped = E_OUTOFMEMORY;
      for (int attempt = 0; attempt < 3 && shaped == E_OUTOFMEMORY; ++attempt, maxGlyphs *= 2) {
        glyphs.resize(static_cast<size_t>(maxGlyphs));
        attributes.resize(static_cast<size_t>(maxGlyphs));
        clusters.resize(static_cast<size_t>(length));
        shaped = ScriptShape(measuring, &cache, text.data() + start, length, maxGlyphs,
                             &items[static_cast<size_t>(i)].a, glyphs.data(), clusters.data(),
                             attributes.data(), &glyphCount);
      }
      if (FAILED(shaped) || glyphCount <= 0) {
        shapedAll = false;
        break;
      }
      widths.assign(static_cast<size_t>(glyphCount), 0);
      if (!GetCharWidthI(measuring, 0, static_cast<UINT>(glyphCount), glyphs.data(),
                         widths.data())) {
        shapedAll = false;
        break;
      }
      // A cluster's glyphs run from its first glyph to the next cluster's (in either direction
      // the clusters' glyph ranges are contiguous); its width is shared by its characters.
      std::vector<int> starts(clusters.begin(), clusters.begin() + length);
      std::sort(starts.begin(), starts.end());
      starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
      for (size_t k = 0; k < starts.size(); ++k) {
        const int from = starts[k];
        const int to = k + 1 < starts.size() ? starts[k + 1] : glyphCount;
        int width = 0;
        for (int g = std::max(0, from); g < std::min(to, glyphCount); ++g)
          width += widths[static_cast<size_t>(g)];
        const int members =
            static_cast<int>(std::count(clusters.begin(), clusters.begin() + length, from));
        int given = 0, seen = 0;
        for (int c = 0; c < length; ++c) {
          if (clusters[static_cast<size_t>(c)] != from) continue;
          ++seen;
          const int share = width * seen / members - given;
          given += share;
          result[static_cast<size_t>(start + c)] = share;
        }
      }
    }
    ScriptFreeCache(&cache);
    if (!shapedAll) return false;
    for (size_t i = 1; i < result.size(); ++i) result[i] += result[i - 1];
    return true;
  }

  // Advance widths of |text| from its start: advance[i] = width of text[0..i]. Right-to-left
  // text is measured shaped (joined letters are narrower than their lone forms), as it is drawn.
  std::vector<int> advances(std::wstring_view text, const FontEntry& entry,
                            bool shaped = false) const {
    std::vector<int> result(text.size(), 0);
    if (text.empty()) return result;
    use(measureDc.get(), entry, measureFont);
    const int count = static_cast<int>(text.size());
    bool measured = false;
    if (shaped) measured = shapedAdvances(text, result);
    SIZE size{};
    if (!measured && !GetTextExtentExPointW(measureDc.get(), text.data(), count, 0, nullptr,
                                            result.data(), &size)) {
      std::fill(result.begin(), result.end(), 0);
    }
    // Held monotonic: a broken run of advances must not make a negative width.
    for (size_t i = 1; i < result.size(); ++i) result[i] = std::max(result[i], result[i - 1]);
    return result;
  }

  int extent(std::wstring_view text, const FontEntry& entry) const {
    const std::vector<int> all = advances(text, entry);
    return all.empty() ? 0 : all.back();
  }

  // Lays |text| out in lines no wider than |maxWidth| device pixels (0: no limit). |wrap| breaks
  // lines at spaces and beside CJK characters (inside a word that does not fit); |ellipsis| ends
  // a line that does not fit, or the last of |maxLines| (0: any number), in an ellipsis. With
  // |baseRightToLeft| every paragraph reads right to left, else each takes the direction of its
  // first strong letter.
  TextLayout layoutText(std::wstring_view text, int id, const FontEntry& primary, int maxWidth,
                        bool wrap, bool ellipsis, int maxLines,
                        bool baseRightToLeft = false) const {
    TextLayout result;
    result.lineHeight = std::max(1, primary.height);
    result.advance.assign(text.size(), 0);
    bool cut = false;  // lines were left out

    size_t paragraph = 0;
    while (paragraph <= text.size() && !cut) {
      size_t end = text.find(L'\n', paragraph);
      if (end == std::wstring_view::npos) end = text.size();
      size_t shownEnd = end;
      if (shownEnd > paragraph && text[shownEnd - 1] == L'\r') --shownEnd;
      const std::wstring_view body = text.substr(paragraph, shownEnd - paragraph);
      const FontEntry& entry = fontFor(id, primary, body);
      const int ellipsisWidth = ellipsis ? extent(std::wstring_view(&kEllipsis, 1), entry) : 0;
      const bool rtl = baseRightToLeft || rightToLeft(body);
      const std::vector<int> advance = advances(body, entry, rtl);
      std::copy(advance.begin(), advance.end(),
                result.advance.begin() + static_cast<ptrdiff_t>(paragraph));
      auto width = [&](size_t from, size_t to) {  // within the paragraph
        return (to == 0 ? 0 : advance[to - 1]) - (from == 0 ? 0 : advance[from - 1]);
      };
      auto addLine = [&](size_t from, size_t to) {
        size_t trimmed = to;
        while (trimmed > from && space(body[trimmed - 1])) --trimmed;
        TextLine line;
        line.shown.assign(body.substr(from, trimmed - from));
        line.start = paragraph + from;
        line.count = trimmed - from;
        line.width = width(from, trimmed);
        line.rtl = rtl;
        line.font = &entry;
        result.lines.push_back(std::move(line));
      };

      const size_t firstLine = result.lines.size();
      size_t at = 0;
      do {
        size_t next = body.size();
        if (wrap && maxWidth > 0) {
          size_t fits = at;
          while (fits < body.size() && width(at, fits + 1) <= maxWidth) ++fits;
          if (fits < body.size()) {
            size_t breakAt = space(body[fits]) ? fits : 0;
            for (size_t b = fits; breakAt == 0 && b > at; --b) {
              if (breakBefore(body, b)) breakAt = b;
            }
            if (breakAt <= at) breakAt = std::max(fits, at + 1);
            next = breakAt;
          }
        }
        addLine(at, next);
        at = next;
        while (at < body.size() && space(body[at]) && wrap) ++at;
        if (maxLines > 0 && static_cast<int>(result.lines.size()) >= maxLines &&
            (at < body.size() || end < text.size())) {
          cut = true;
          break;
        }
      } while (at < body.size());

      // Ellipsis: a line too wide for the rectangle, or the last one kept when lines were cut.
      if (ellipsis && maxWidth > 0) {
        for (size_t i = firstLine; i < result.lines.size(); ++i) {
          TextLine& line = result.lines[i];
          const bool last = i + 1 == result.lines.size();
          if (line.width <= maxWidth && !(cut && last)) continue;
          const size_t from = line.start - paragraph;
          size_t keep = line.count;
          while (keep > 0 && width(from, from + keep) + ellipsisWidth > maxWidth) --keep;
          while (keep > 0 && space(body[from + keep - 1])) --keep;
          line.shown.assign(body.substr(from, keep));
          line.shown.push_back(kEllipsis);
          line.count = keep;
          line.width = width(from, from + keep) + ellipsisWidth;
        }
      }
      paragraph = end + 1;
    }
    for (const TextLine& line : result.lines) result.width = std::max(result.width, line.width);
    return result;
  }

  // The pieces of |line| as they stand from left to right: ranges of the source of one direction,
  // ordered by the same rules ETO_RTLREADING draws the line with (one piece when they cannot be
  // worked out).
  std::vector<LinePiece> pieces(std::wstring_view source, const TextLine& line) const {
    std::vector<LinePiece> result;
    const std::wstring_view text = source.substr(line.start, line.count);
    const int count = static_cast<int>(text.size());
    std::vector<SCRIPT_ITEM> items(static_cast<size_t>(count) + 1);
    SCRIPT_CONTROL control{};
    SCRIPT_STATE state{};
    state.uBidiLevel = line.rtl ? 1 : 0;
    int itemCount = 0;
    if (count > 0 &&
        SUCCEEDED(ScriptItemize(text.data(), count, count, &control, &state, items.data(),
                                &itemCount)) &&
        itemCount > 0) {
      std::vector<BYTE> levels(static_cast<size_t>(itemCount));
      std::vector<int> order(static_cast<size_t>(itemCount));
      for (size_t i = 0; i < levels.size(); ++i) {
        levels[i] = static_cast<BYTE>(items[i].a.s.uBidiLevel);
      }
      if (SUCCEEDED(ScriptLayout(itemCount, levels.data(), order.data(), nullptr))) {
        for (const int visual : order) {
          if (visual < 0 || visual >= itemCount) break;
          const auto i = static_cast<size_t>(visual);
          result.push_back(LinePiece{line.start + static_cast<size_t>(items[i].iCharPos),
                                     line.start + static_cast<size_t>(items[i + 1].iCharPos),
                                     (levels[i] & 1) != 0});
        }
        if (result.size() == order.size()) return result;
      }
    }
    return {LinePiece{line.start, line.start + line.count, line.rtl}};
  }

  // Where text of the source from |from| to |to| stands on |line| (laid out in |pieces|),
  // relative to its left edge: one stretch per piece it touches.
  std::vector<std::pair<int, int>> spans(const TextLayout& layout, const TextLine& line,
                                         const std::vector<LinePiece>& pieces, size_t from,
                                         size_t to) const {
    std::vector<std::pair<int, int>> result;
    auto at = [&](size_t index) {  // width of the line's text before |index|
      if (index <= line.start) return 0;
      // The advance table restarts with each paragraph; a line never crosses one.
      return std::max(0, layout.advance[index - 1] -
                             (line.start == 0 ? 0 : layout.advance[line.start - 1]));
    };
    // An ellipsis ends the line where it reads: at the left of a right-to-left one.
    int x = line.rtl ? line.width - at(line.start + line.count) : 0;
    for (const LinePiece& piece : pieces) {
      const int width = std::max(0, at(piece.end) - at(piece.start));
      const size_t first = std::max(from, piece.start), last = std::min(to, piece.end);
      if (first < last) {
        const int left = std::max(0, at(first) - at(piece.start));
        const int right = std::max(left, at(last) - at(piece.start));
        if (piece.rtl) {
          result.emplace_back(x + width - right, x + width - left);
        } else {
          result.emplace_back(x + left, x + right);
        }
      }
      x += width;
    }
    return result;
  }

  void ensureScratch(int width, int height) const {
    if (scratchBitmap && scratch.width >= width && scratch.height >= height) return;
    if (scratchPrevious != nullptr) {
      SelectObject(textDc.get(), scratchPrevious);
      scratchPrevious = nullptr;
    }
    scratchBitmap.reset(
        gdi::createDib(std::max(width, scratch.width), std::max(height, scratch.height), &scratch));
    if (!scratchBitmap) {
      scratch = {};
      return;
    }
    scratchPrevious = SelectObject(textDc.get(), scratchBitmap.get());
  }

  // GDI may hold drawing back; the pixels are read and written directly only after it is done.
  void flush() const { GdiFlush(); }

  void blendArea(const Rect& area, uint32_t source) {
    const Rect r = intersect(area, clip());
    if (!pixels.valid() || r.width() <= 0 || r.height() <= 0 || (source >> 24) == 0) return;
    flush();
    for (int y = r.top; y < r.bottom; ++y) {
      uint32_t* row = pixels.row(y);
      for (int x = r.left; x < r.right; ++x) row[x] = over(source, row[x]);
    }
  }

  double scale;
  const FontTable& fonts;
  ImageCache& images;
  HDC dc = nullptr;
  gdi::Pixels pixels;
  Rect bounds{0, 0, kMaxExtent, kMaxExtent};
  std::vector<Rect> clips;
  int savedDcs = 0;

  gdi::MemoryDc measureDc;
  mutable gdi::MemoryDc textDc;
  gdi::MemoryDc sourceDc;
  mutable gdi::Object<HBITMAP> scratchBitmap;
  mutable gdi::Pixels scratch;
  mutable HGDIOBJ scratchPrevious = nullptr;
  mutable HGDIOBJ textFont = nullptr;     // the text DC's first font
  mutable HGDIOBJ measureFont = nullptr;  // the measuring DC's first font
  mutable std::map<int, FontEntry> fontCache;
  mutable unsigned generation = 0;
};

GdiPainter::GdiPainter(HDC__* dc, double scale, const FontTable& fonts, ImageCache& images)
    : impl_(std::make_unique<Impl>(dc, scale, fonts, images)) {
  impl_->generation = fonts.generation();
}

GdiPainter::~GdiPainter() {
  // A clip left pushed would otherwise stay on the host's DC.
  while (!impl_->clips.empty()) popClip();
  if (impl_->scratchPrevious != nullptr) SelectObject(impl_->textDc.get(), impl_->scratchPrevious);
}

double GdiPainter::scale() const { return impl_->scale; }

std::wstring GdiPainter::faceFor(std::wstring_view face) {
  if (face.empty() || face == L"\u5FAE\u8F6F\u96C5\u9ED1" || sameFace(face, L"Microsoft YaHei")) {
    return installerFace();
  }
  return std::wstring(face.substr(0, LF_FACESIZE - 1));
}

void GdiPainter::fillRect(const Rect& rect, Color color) {
  if ((color >> 24) == 0 || rect.width() <= 0 || rect.height() <= 0) return;
  impl_->blendArea(impl_->device(clampExtent(rect)), premultiplied(color, 255));
}

void GdiPainter::drawBorder(const Rect& rect, int size, Color color) {
  if ((color >> 24) == 0 || size <= 0 || rect.width() <= 0 || rect.height() <= 0) return;
  const Rect outer = impl_->device(clampExtent(rect));
  const int width = std::max(1, impl_->device(clampExtent(size)));
  const uint32_t source = premultiplied(color, 255);
  if (outer.width() <= 2 * width || outer.height() <= 2 * width) {
    impl_->blendArea(outer, source);
    return;
  }
  impl_->blendArea(Rect{outer.left, outer.top, outer.right, outer.top + width}, source);
  impl_->blendArea(Rect{outer.left, outer.bottom - width, outer.right, outer.bottom}, source);
  impl_->blendArea(Rect{outer.left, outer.top + width, outer.left + width, outer.bottom - width},
                   source);
  impl_->blendArea(Rect{outer.right - width, outer.top + width, outer.right, outer.bottom - width},
                   source);
}

bool GdiPainter::drawImage(const Rect& rect, const ImageAttribute& image) {
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
    target = clampExtent(Rect{target.left + dest.left, target.top + dest.top,
                              target.left + dest.right, target.top + dest.bottom});
  }
  const Rect device = impl_->device(target);
  if (device.width() <= 0 || device.height() <= 0) return false;
  if (impl_->dc == nullptr) return true;

  // Corners keep their size: one image pixel of a variant is 1/factor layout pixel.
  const double ratio = impl_->scale / factor;
  const Rect corner = clampExtent(image.corner);
  const Axis xs = makeAxis(source.left, source.right, corner.left * factor, corner.right * factor,
                           device.left, device.right, ratio);
  const Axis ys = makeAxis(source.top, source.bottom, corner.top * factor, corner.bottom * factor,
                           device.top, device.bottom, ratio);

  const Rect visible = intersect(device, impl_->clip());
  if (visible.width() <= 0 || visible.height() <= 0) return true;
  // A flipped image is its mirrored copy drawn with every part reflected about the target's
  // middle (AlphaBlend takes no negative extents).
  gdi::Object<HBITMAP> mirrored;
  if (image.mirror) {
    mirrored.reset(mirroredCopy(cached->bitmap));
    if (!mirrored) return true;
  }
  gdi::Selection selected(impl_->sourceDc.get(), image.mirror ? mirrored.get() : cached->bitmap);
  BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(std::min(image.fade, 255)), AC_SRC_ALPHA};
  for (int row = 0; row < 3; ++row) {
    const int sy = ys.source[row], sh = ys.source[row + 1] - sy;
    const int dy = ys.device[row], dh = ys.device[row + 1] - dy;
    if (sh <= 0 || dh <= 0) continue;
    for (int column = 0; column < 3; ++column) {
      int sx = xs.source[column], dx = xs.device[column];
      const int sw = xs.source[column + 1] - sx, dw = xs.device[column + 1] - dx;
      if (sw <= 0 || dw <= 0) continue;
      if (image.mirror) {
        sx = cached->width - sx - sw;
        dx = device.left + device.right - dx - dw;
      }
      // Each part samples only its own pixels, so stretching never bleeds a neighbour in.
      const Rect part = intersect(Rect{dx, dy, dx + dw, dy + dh}, visible);
      if (part.width() <= 0 || part.height() <= 0) continue;
      AlphaBlend(impl_->dc, dx, dy, dw, dh, impl_->sourceDc.get(), sx, sy, sw, sh, blend);
    }
  }
  return true;
}

void GdiPainter::drawText(const Rect& rect, const MarkupText& text, const TextStyle& style) {
  if (text.text.empty() || rect.width() <= 0 || rect.height() <= 0 || (style.color >> 24) == 0 ||
      impl_->dc == nullptr || !impl_->pixels.valid()) {
    return;
  }
  const FontEntry& entry = impl_->font(style.font);
  const std::wstring_view source =
      cutText(text.text, charLimit(style.wordBreak, impl_->description(style.font).size));
  const Rect box = impl_->device(clampExtent(rect));
  const bool fitted = style.wordBreak || style.endEllipsis;
  const int maxLines = style.wordBreak && style.endEllipsis
                           ? std::max(1, box.height() / std::max(1, entry.height))
                           : 0;
  const TextLayout layout =
      impl_->layoutText(source, style.font, entry, fitted ? box.width() : 0, style.wordBreak,
                        style.endEllipsis, maxLines, style.rightToLeft);
  if (layout.lines.empty()) return;

  const int blockHeight = static_cast<int>(layout.lines.size()) * layout.lineHeight;
  int top = box.top;
  if (style.valign == VAlign::kCenter) top += (box.height() - blockHeight) / 2;
  if (style.valign == VAlign::kBottom) top += box.height() - blockHeight;
  auto lineLeft = [&](const TextLine& line) {
    // Alignment is visual (left is the left edge) whatever the text's direction.
    if (style.align == HAlign::kCenter) return box.left + (box.width() - line.width) / 2;
    if (style.align == HAlign::kRight) return box.left + box.width() - line.width;
    return box.left;
  };

  const Rect visible = intersect(box, impl_->clip());
  if (visible.width() <= 0 || visible.height() <= 0) return;
  impl_->ensureScratch(visible.width(), visible.height());
  if (!impl_->scratch.valid()) return;
  const gdi::Pixels& scratch = impl_->scratch;
  impl_->flush();
  for (int y = 0; y < visible.height(); ++y) std::fill_n(scratch.row(y), visible.width(), 0u);

  // Coverage: the text in white on black, grey where it is smoothed.
  HDC textDc = impl_->textDc.get();
  SetTextColor(textDc, RGB(255, 255, 255));
  SetBkMode(textDc, TRANSPARENT);
  SetTextAlign(textDc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
  HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  const int underlineTop = entry.ascent + std::max(1, entry.descent / 3);
  const int underlineHeight = std::max(1, static_cast<int>(std::lround(entry.size / 14.0)));
  struct Span {
    int left, right;
    Color color;
  };
  std::vector<std::vector<Span>> colours(layout.lines.size());
  for (size_t i = 0; i < layout.lines.size(); ++i) {
    const TextLine& line = layout.lines[i];
    const int y = top + static_cast<int>(i) * layout.lineHeight;
    if (y + layout.lineHeight <= visible.top || y >= visible.bottom || line.shown.empty()) continue;
    const int x = lineLeft(line);
    impl_->use(textDc, *line.font, impl_->textFont);
    ExtTextOutW(textDc, x - visible.left, y - visible.top, line.rtl ? ETO_RTLREADING : 0, nullptr,
                line.shown.data(), static_cast<UINT>(line.shown.size()), nullptr);
    if (text.runs.empty()) continue;
    const std::vector<LinePiece> pieces = impl_->pieces(source, line);
    for (const MarkupRun& run : text.runs) {
      if (run.start >= source.size()) break;
      for (const auto& [left, right] :
           impl_->spans(layout, line, pieces, run.start, run.start + run.length)) {
        if (right <= left) continue;
        if (run.color) colours[i].push_back(Span{x + left, x + right, *run.color});
        if (run.underline) {
          RECT under{x + left - visible.left, y + underlineTop - visible.top,
                     x + right - visible.left, y + underlineTop + underlineHeight - visible.top};
          FillRect(textDc, &under, white);
        }
      }
    }
  }
  impl_->flush();

  // Blended in the style's colour, and each run's colour where its characters stand.
  std::vector<Color> columnColour;
  int columnLine = -1;
  for (int y = visible.top; y < visible.bottom; ++y) {
    const uint32_t* coverage = scratch.row(y - visible.top);
    uint32_t* row = impl_->pixels.row(y);
    const int line = y < top ? -1 : (y - top) / layout.lineHeight;
    if (line != columnLine) {
      columnLine = line;
      columnColour.assign(static_cast<size_t>(visible.width()), style.color);
      if (line >= 0 && line < static_cast<int>(colours.size())) {
        for (const Span& span : colours[static_cast<size_t>(line)]) {
          for (int x = std::max(span.left, visible.left); x < std::min(span.right, visible.right);
               ++x) {
            columnColour[static_cast<size_t>(x - visible.left)] = span.color;
          }
        }
      }
    }
    for (int x = visible.left; x < visible.right; ++x) {
      const uint32_t c = coverage[x - visible.left];
      const uint32_t amount = std::max({(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF});
      if (amount == 0) continue;
      row[x] =
          over(premultiplied(columnColour[static_cast<size_t>(x - visible.left)], amount), row[x]);
    }
  }
}

void GdiPainter::pushClip(const Rect& rect) {
  const Rect r = impl_->device(clampExtent(rect));
  impl_->clips.push_back(intersect(impl_->clip(), r));
  if (impl_->dc != nullptr) {
    SaveDC(impl_->dc);
    IntersectClipRect(impl_->dc, r.left, r.top, r.right, r.bottom);
  }
}

void GdiPainter::popClip() {
  if (impl_->clips.empty()) return;
  impl_->clips.pop_back();
  if (impl_->dc != nullptr) RestoreDC(impl_->dc, -1);
}

Size GdiPainter::measure(std::wstring_view text, int fontId, int maxWidth) const {
  if (text.empty()) return Size{};
  const FontEntry& entry = impl_->font(fontId);
  const std::wstring_view source =
      cutText(text, charLimit(maxWidth > 0, impl_->description(fontId).size));
  const int limit = maxWidth > 0 ? std::max(1, impl_->device(clampExtent(maxWidth))) : 0;
  const TextLayout layout = impl_->layoutText(source, fontId, entry, limit, maxWidth > 0, false, 0);
  const int height = static_cast<int>(layout.lines.size()) * layout.lineHeight;
  return Size{impl_->layout(layout.width), impl_->layout(height)};
}

}  // namespace toolkit
