#include "toolkit/core/font_table.h"

#include <algorithm>
#include <cmath>

namespace toolkit {

FontDescription FontTable::builtinDefault() {
  FontDescription font;
  font.id = -1;
  font.face = L"\u5FAE\u8F6F\u96C5\u9ED1";  // 微软雅黑
  font.size = 12;
  font.isDefault = true;
  return font;
}

void FontTable::setLayoutFonts(const std::vector<FontDescription>& fonts) {
  layout_.clear();
  layoutDefault_.reset();
  for (const FontDescription& font : fonts) {
    if (font.id >= 0) layout_[font.id] = font;
    if (font.isDefault) layoutDefault_ = font;
  }
  changed();
}

void FontTable::addShared(const FontDescription& font) {
  if (font.id >= 0) shared_[font.id] = font;
  if (font.isDefault) sharedDefault_ = font;
  changed();
}

void FontTable::clearShared() {
  shared_.clear();
  sharedDefault_.reset();
  changed();
}

void FontTable::setTextScale(double scale) {
  // NaN and the infinities end at a bound too.
  const double held = std::isnan(scale) ? 1.0 : std::clamp(scale, kMinTextScale, kMaxTextScale);
  if (held == textScale_) return;
  textScale_ = held;
  changed();
}

void FontTable::changed() {
  auto scaled = [this](FontDescription font) {
    const double size = std::max(1, font.size) * textScale_;
    font.size = static_cast<int>(std::clamp(std::lround(size), 1L, 100000L));
    return font;
  };
  const FontDescription& declaredDefault =
      layoutDefault_ ? *layoutDefault_ : sharedDefault_ ? *sharedDefault_ : builtin_;
  scaledDefault_ = scaled(declaredDefault);
  scaled_.clear();
  // The layout's font wins for an id both define.
  for (const auto& [id, font] : shared_) scaled_[id] = scaled(font);
  for (const auto& [id, font] : layout_) scaled_[id] = scaled(font);
  ++generation_;
}

const FontDescription& FontTable::defaultFont() const { return scaledDefault_; }

const FontDescription& FontTable::font(int id) const {
  if (auto it = scaled_.find(id); it != scaled_.end()) return it->second;
  return defaultFont();
}

bool FontTable::defines(int id) const { return layout_.count(id) != 0 || shared_.count(id) != 0; }

}  // namespace toolkit
