// The fonts of one window by id: those its layout declares (Font elements) and the shared ones
// the window registers in code; the one table its layout pass and its painter both read. Which
// wins for an id both define, and which default stands: docs/architecture.md, "Fonts".
#pragma once

#include <map>
#include <optional>
#include <vector>

#include "toolkit/core/layout_loader.h"

namespace toolkit {

class FontTable {
 public:
  // The face every window starts from ("微软雅黑" 12).
  static FontDescription builtinDefault();

  // Replaces the layout's fonts (a later id wins over an earlier one of the same id).
  void setLayoutFonts(const std::vector<FontDescription>& fonts);
  // Registers a shared font under |font.id|; replaces an earlier shared one of that id. With
  // |font.isDefault| it becomes the shared default.
  void addShared(const FontDescription& font);
  void clearShared();

  // The font for |id|, never failing (unknown ids give the default).
  const FontDescription& font(int id) const;
  const FontDescription& defaultFont() const;
  bool defines(int id) const;

  // Changes every time a font is added or replaced, so painters know to rebuild what they cached.
  unsigned generation() const { return generation_; }

 private:
  std::map<int, FontDescription> layout_;
  std::map<int, FontDescription> shared_;
  std::optional<FontDescription> layoutDefault_;
  std::optional<FontDescription> sharedDefault_;
  FontDescription builtin_ = builtinDefault();
  unsigned generation_ = 0;
};

}  // namespace toolkit
