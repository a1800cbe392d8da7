// The markup of label texts: "<u>...</u>" underlines, "<c #rrggbb>...</c>" colours, nested. The
// parser only splits the text into plain text and styled runs; a painter maps the runs onto its
// own text attributes, so the text itself never reaches a markup parser of the drawing library.
// Whatever is not a matched pair of known tags (an unknown tag, a close without an open, an open
// never closed, a stray "<", a malformed colour) stays in the text as written.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/attribute_value.h"

namespace toolkit {

// A stretch of the plain text with one style; |start| and |length| count wide characters (or
// UTF-8 bytes in the result of toUtf8).
struct MarkupRun {
  size_t start = 0;
  size_t length = 0;
  bool underline = false;
  std::optional<Color> color;  // 0xFFrrggbb, the innermost colour
  bool operator==(const MarkupRun&) const = default;
};

// Runs cover only styled text, in order, never empty and never overlapping; neighbours with the
// same style are merged.
struct MarkupText {
  std::wstring text;
  std::vector<MarkupRun> runs;
  bool operator==(const MarkupText&) const = default;
};

struct MarkupTextUtf8 {
  std::string text;
  std::vector<MarkupRun> runs;  // in bytes of |text|
};

// One pass over |source| and one over its tags: linear in the length, no recursion.
MarkupText parseLabelMarkup(std::wstring_view source);

// The same text and runs in UTF-8, for drawing libraries that count bytes.
MarkupTextUtf8 toUtf8(const MarkupText& markup);

}  // namespace toolkit
