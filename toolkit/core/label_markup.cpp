#include "toolkit/core/label_markup.h"

#include <array>

#include "utility/base/strings.h"

namespace toolkit {
namespace {

enum class TagKind { kOpenUnderline, kCloseUnderline, kOpenColor, kCloseColor };

struct Tag {
  size_t position = 0;
  size_t length = 0;
  TagKind kind = TagKind::kOpenUnderline;
  Color color = 0;
  bool matched = false;
};

int hexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// The tag starting at |at| (a "<"), if it is one of the four known forms.
std::optional<Tag> readTag(std::wstring_view source, size_t at) {
  std::wstring_view rest = source.substr(at);
  if (rest.starts_with(L"<u>")) return Tag{at, 3, TagKind::kOpenUnderline};
  if (rest.starts_with(L"</u>")) return Tag{at, 4, TagKind::kCloseUnderline};
  if (rest.starts_with(L"</c>")) return Tag{at, 4, TagKind::kCloseColor};
  // "<c #rrggbb>": exactly six hex digits.
  constexpr size_t kColorTagLength = 11;
  if (rest.size() < kColorTagLength || !rest.starts_with(L"<c #") || rest[10] != L'>') {
    return std::nullopt;
  }
  Color rgb = 0;
  for (size_t i = 4; i < 10; ++i) {
    int digit = hexValue(rest[i]);
    if (digit < 0) return std::nullopt;
    rgb = (rgb << 4) | static_cast<Color>(digit);
  }
  return Tag{at, kColorTagLength, TagKind::kOpenColor, 0xFF000000u | rgb};
}

bool isOpen(TagKind kind) { return kind == TagKind::kOpenUnderline || kind == TagKind::kOpenColor; }
size_t slot(TagKind kind) {
  return kind == TagKind::kOpenUnderline || kind == TagKind::kCloseUnderline ? 0 : 1;
}

// Pairs each close with the innermost open of its kind. Opens left inside that pair (never
// closed themselves) stay unmatched; a close with no open of its kind stays unmatched. Every
// open is pushed and popped once, so this is linear.
void matchTags(std::vector<Tag>& tags) {
  std::vector<size_t> open;
  std::array<size_t, 2> openCount{};
  for (size_t i = 0; i < tags.size(); ++i) {
    Tag& tag = tags[i];
    if (isOpen(tag.kind)) {
      open.push_back(i);
      ++openCount[slot(tag.kind)];
      continue;
    }
    if (openCount[slot(tag.kind)] == 0) continue;
    while (true) {
      Tag& top = tags[open.back()];
      open.pop_back();
      --openCount[slot(top.kind)];
      if (slot(top.kind) == slot(tag.kind)) {
        top.matched = true;
        tag.matched = true;
        break;
      }
    }
  }
}

class RunBuilder {
 public:
  explicit RunBuilder(MarkupText& out) : out_(out) {}

  void appendText(std::wstring_view text) {
    if (text.empty()) return;
    const size_t start = out_.text.size();
    out_.text.append(text);
    const bool underline = underlineDepth_ > 0;
    std::optional<Color> color;
    if (!colors_.empty()) color = colors_.back();
    if (!underline && !color) return;
    if (!out_.runs.empty()) {
      MarkupRun& last = out_.runs.back();
      if (last.start + last.length == start && last.underline == underline && last.color == color) {
        last.length += text.size();
        return;
      }
    }
    out_.runs.push_back(MarkupRun{start, text.size(), underline, color});
  }

  void apply(const Tag& tag) {
    switch (tag.kind) {
      case TagKind::kOpenUnderline: ++underlineDepth_; break;
      case TagKind::kCloseUnderline: --underlineDepth_; break;
      case TagKind::kOpenColor: colors_.push_back(tag.color); break;
      case TagKind::kCloseColor: colors_.pop_back(); break;
    }
  }

 private:
  MarkupText& out_;
  size_t underlineDepth_ = 0;
  std::vector<Color> colors_;
};

}  // namespace

MarkupText parseLabelMarkup(std::wstring_view source) {
  std::vector<Tag> tags;
  for (size_t at = source.find(L'<'); at != std::wstring_view::npos; at = source.find(L'<', at)) {
    std::optional<Tag> tag = readTag(source, at);
    if (tag) {
      tags.push_back(*tag);
      at += tag->length;
    } else {
      ++at;
    }
  }
  matchTags(tags);

  MarkupText out;
  out.text.reserve(source.size());
  RunBuilder builder(out);
  size_t copied = 0;  // |source| up to here is in the output
  for (const Tag& tag : tags) {
    if (!tag.matched) continue;  // stays in the text as written
    builder.appendText(source.substr(copied, tag.position - copied));
    builder.apply(tag);
    copied = tag.position + tag.length;
  }
  builder.appendText(source.substr(copied));
  return out;
}

MarkupTextUtf8 toUtf8(const MarkupText& markup) {
  MarkupTextUtf8 out;
  std::wstring_view text = markup.text;
  size_t converted = 0;  // wide characters converted so far
  auto advanceTo = [&](size_t wide) {
    out.text += utility::wideToUtf8(text.substr(converted, wide - converted));
    converted = wide;
    return out.text.size();
  };
  for (const MarkupRun& run : markup.runs) {
    const size_t start = advanceTo(run.start);
    const size_t end = advanceTo(run.start + run.length);
    out.runs.push_back(MarkupRun{start, end - start, run.underline, run.color});
  }
  advanceTo(text.size());
  return out;
}

}  // namespace toolkit
