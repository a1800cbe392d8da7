// The fonts of one window by id: those its layout declares (Font elements) and the shared ones
// the window registers in code. For an id both define, the layout's font wins: a layout is the
// more specific description of its own window. The default font (id -1, or an id nobody
// defines) is the layout's default, else the shared default, else the built-in one.
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
