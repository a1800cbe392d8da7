#include "toolkit/core/font_table.h"

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
  ++generation_;
}

void FontTable::addShared(const FontDescription& font) {
  if (font.id >= 0) shared_[font.id] = font;
  if (font.isDefault) sharedDefault_ = font;
  ++generation_;
}

void FontTable::clearShared() {
  shared_.clear();
  sharedDefault_.reset();
  ++generation_;
}

const FontDescription& FontTable::defaultFont() const {
  if (layoutDefault_) return *layoutDefault_;
  if (sharedDefault_) return *sharedDefault_;
  return builtin_;
}

const FontDescription& FontTable::font(int id) const {
  if (auto it = layout_.find(id); it != layout_.end()) return it->second;
  if (auto it = shared_.find(id); it != shared_.end()) return it->second;
  return defaultFont();
}

bool FontTable::defines(int id) const { return layout_.count(id) != 0 || shared_.count(id) != 0; }

}  // namespace toolkit
