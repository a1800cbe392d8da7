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

  // The font for |id|, never failing (unknown ids give the default), its size times the text
  // scale.
  const FontDescription& font(int id) const;
  const FontDescription& defaultFont() const;
  bool defines(int id) const;

  // The desktop's text scale (1: the sizes as declared). Every size the table gives is the
  // declared one times this, rounded to whole pixels, at least 1; the painters and the layout
  // pass read the scaled sizes, so a scaled text is measured as it is drawn. Values outside
  // kMinTextScale..kMaxTextScale are held at those bounds.
  void setTextScale(double scale);
  double textScale() const { return textScale_; }
  static constexpr double kMinTextScale = 0.5;
  static constexpr double kMaxTextScale = 4.0;

  // Changes every time a font is added or replaced, so painters know to rebuild what they cached.
  unsigned generation() const { return generation_; }

 private:
  // Rebuilds the scaled fonts the getters hand out.
  void changed();

  std::map<int, FontDescription> layout_;
  std::map<int, FontDescription> shared_;
  std::optional<FontDescription> layoutDefault_;
  std::optional<FontDescription> sharedDefault_;
  FontDescription builtin_ = builtinDefault();
  double textScale_ = 1.0;
  // What font() and defaultFont() give: the declared fonts at the text scale.
  std::map<int, FontDescription> scaled_;
  FontDescription scaledDefault_ = builtinDefault();
  unsigned generation_ = 0;
};

}  // namespace toolkit
