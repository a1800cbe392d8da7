// How each control class draws itself through a Painter.
#include <algorithm>
#include <cstdint>

#include "toolkit/core/control.h"
#include "toolkit/core/painter.h"

namespace toolkit {
namespace {

bool hasAlpha(Color color) { return (color >> 24) != 0; }

bool intersects(const Rect& a, const Rect& b) {
  return std::max(a.left, b.left) < std::min(a.right, b.right) &&
         std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

Rect deflate(const Rect& rect, const Rect& by) {
  Rect inner{rect.left + by.left, rect.top + by.top, rect.right - by.right, rect.bottom - by.bottom};
  if (inner.right < inner.left) inner.right = inner.left;
  if (inner.bottom < inner.top) inner.bottom = inner.top;
  return inner;
}

// The first image that is set, or null.
const ImageAttribute* firstSet(std::initializer_list<const ImageAttribute*> images) {
  for (const ImageAttribute* image : images) {
    if (!image->empty()) return image;
  }
  return nullptr;
}

// Behind the selected text of a focused edit.
constexpr Color kSelectionColor = 0x60268FD6u;

}  // namespace

// ---- Control ----

void Control::paint(Painter& painter) {
  if (!visible_) return;
  paintFace(painter);
  paintBorder(painter);
  if (showsFocus() && enabled()) {
    const Rect inset{kFocusRingInset, kFocusRingInset, kFocusRingInset, kFocusRingInset};
    painter.drawBorder(deflate(rect_, inset), kFocusRingWidth, kFocusRingColor);
  }
}

void Control::drawSkinImage(Painter& painter, const ImageAttribute& image) {
  if (!rightToLeft()) {
    if (!image.mirror) {
      painter.drawImage(rect_, image);
      return;
    }
    ImageAttribute plain = image;
    plain.mirror = false;
    painter.drawImage(rect_, plain);
    return;
  }
  ImageAttribute shown = image;
  if (shown.dest) {
    const Rect& dest = *shown.dest;
    const int width = rect_.width();
    shown.dest = Rect{width - dest.right, dest.top, width - dest.left, dest.bottom};
  }
  painter.drawImage(rect_, shown);
}

TextStyle Control::textStyle(HAlign align) const {
  TextStyle style;
  style.font = font_;
  style.rightToLeft = rightToLeft();
  if (style.rightToLeft && align != HAlign::kCenter) {
    align = align == HAlign::kLeft ? HAlign::kRight : HAlign::kLeft;
  }
  style.align = align;
  return style;
}

void Control::paintFace(Painter& painter) {
  if (hasAlpha(bkColor_)) painter.fillRect(rect_, bkColor_);
  if (!bkImage_.empty()) drawSkinImage(painter, bkImage_);
  paintStatusImage(painter);
  paintText(painter);
}

void Control::paintBorder(Painter& painter) {
  if (borderSize_ > 0 && hasAlpha(borderColor_)) painter.drawBorder(rect_, borderSize_, borderColor_);
}

// ---- Container ----

void Container::paint(Painter& painter) {
  if (!visible()) return;
  ClipScope clip(painter, rect_);
  paintFace(painter);
  for (auto& child : children_) {
    if (!child->visible() || !intersects(child->rect(), rect_)) continue;
    child->paint(painter);
  }
  // Over the children: a strip filling the top of a framed box keeps the frame.
  paintBorder(painter);
}

// ---- Label ----

void Label::paintLabelText(Painter& painter, Color color) {
  if (text().empty()) return;
  TextStyle style = textStyle(align_);
  style.color = color;
  style.valign = valign_;
  style.wordBreak = wordBreak_;
  style.endEllipsis = endEllipsis_;
  painter.drawText(deflate(rect_, shownTextPadding()), markup(), style);
}

void Label::paintText(Painter& painter) {
  paintLabelText(painter, enabled() ? textColor() : disabledTextColor_);
}

// ---- Button ----

Color Button::stateTextColor() const {
  if (!enabled()) return disabledTextColor();
  if (isPushed() && hasAlpha(pushedTextColor_)) return pushedTextColor_;
  if ((isHot() || isPushed()) && hasAlpha(hotTextColor_)) return hotTextColor_;
  return textColor();
}

void Button::paintStatusImage(Painter& painter) {
  const ImageAttribute* image = nullptr;
  if (!enabled()) {
    image = firstSet({&disabledImage_, &normalImage_});
  } else if (isPushed()) {
    if (hasAlpha(pushedBkColor_)) painter.fillRect(rect_, pushedBkColor_);
    image = firstSet({&pushedImage_, &hotImage_, &normalImage_});
  } else if (isHot()) {
    if (hasAlpha(hotBkColor_)) painter.fillRect(rect_, hotBkColor_);
    image = firstSet({&hotImage_, &normalImage_});
  } else {
    image = firstSet({&normalImage_});
  }
  if (image != nullptr) drawSkinImage(painter, *image);
}

void Button::paintText(Painter& painter) {
  paintLabelText(painter, stateTextColor());
}

// ---- Option ----

Color Option::stateTextColor() const {
  if (enabled() && selected_ && hasAlpha(selectedTextColor_)) return selectedTextColor_;
  return Button::stateTextColor();
}

void Option::paintStatusImage(Painter& painter) {
  // A selected option shows its selected image instead of the state images.
  if (selected_ && !selectedImage_.empty()) {
    drawSkinImage(painter, selectedImage_);
    return;
  }
  Button::paintStatusImage(painter);
}

// ---- Edit, RichEdit ----

void Edit::paintStatusImage(Painter& painter) {
  const ImageAttribute* image = nullptr;
  if (!enabled()) {
    image = firstSet({&disabledImage_, &normalImage_});
  } else if (isFocused()) {
    image = firstSet({&focusedImage_, &normalImage_});
  } else if (isHot()) {
    image = firstSet({&hotImage_, &normalImage_});
  } else {
    image = firstSet({&normalImage_});
  }
  if (image != nullptr) drawSkinImage(painter, *image);
}

// An edit keeps its text placed from the left as input measures it (a folder path reads left to
// right in every language), also in a right-to-left window.
void Edit::paintText(Painter& painter) {
  const Rect area = deflate(rect_, textPadding());
  const bool focused = isFocused() && enabled();
  if (text().empty() && !focused) return;
  ClipScope clip(painter, area);
  // The text as typed (no markup, whatever "showhtml" says), from the left edge scrolled by
  // scrollX(), so that what input measures is what is drawn.
  const std::wstring shown = shownText();
  const int origin = area.left - scrollX();
  auto offset = [&](int index) {
    return painter.measure(std::wstring_view(shown).substr(0, static_cast<size_t>(index)), font(), 0).width;
  };
  if (focused && selectionStart() != selectionEnd()) {
    painter.fillRect(Rect{origin + offset(selectionStart()), area.top + 2, origin + offset(selectionEnd()),
                          area.bottom - 2},
                     kSelectionColor);
  }
  if (!shown.empty()) {
    TextStyle style;
    style.font = font();
    style.color = enabled() ? textColor() : disabledTextColor();
    style.align = HAlign::kLeft;
    style.valign = VAlign::kCenter;
    const int width = std::max(area.width() + scrollX(), painter.measure(shown, font(), 0).width);
    painter.drawText(Rect{origin, area.top, origin + width, area.bottom}, MarkupText{shown, {}}, style);
  }
  if (focused && !readOnly()) {
    const int x = origin + offset(caret());
    const int height = std::max(1, painter.measure(L"X", font(), 0).height);
    const int top = area.top + std::max(0, (area.height() - height) / 2);
    painter.fillRect(Rect{x, top, x + 1, std::min(area.bottom, top + height)}, textColor() | 0xFF000000u);
  }
}

void RichEdit::paintText(Painter& painter) {
  if (text().empty()) return;
  // Starts at the reading edge: the right one in a right-to-left window.
  TextStyle style = textStyle(HAlign::kLeft);
  style.color = textColor();
  style.valign = VAlign::kTop;
  style.wordBreak = wordBreak_;
  // Scrolled up by scrollY(): the text's whole height from above the rectangle, clipped to it.
  ClipScope clip(painter, rect_);
  const int height = std::max(rect_.height() + scrollY_,
                              painter.measure(text(), font(), wordBreak_ ? rect_.width() : 0).height);
  painter.drawText(Rect{rect_.left, rect_.top - scrollY_, rect_.right, rect_.top - scrollY_ + height},
                   MarkupText{text(), {}}, style);
}

// ---- Progress ----

Rect Progress::filledRect(const Rect& rect) const {
  if (horizontal_) {
    const int width = static_cast<int>(static_cast<int64_t>(std::max(0, rect.width())) * value_ / 100);
    if (rightToLeft()) return Rect{rect.right - width, rect.top, rect.right, rect.bottom};
    return Rect{rect.left, rect.top, rect.left + width, rect.bottom};
  }
  const int height = static_cast<int>(static_cast<int64_t>(std::max(0, rect.height())) * value_ / 100);
  return Rect{rect.left, rect.bottom - height, rect.right, rect.bottom};
}

void Progress::paintStatusImage(Painter& painter) {
  const Rect filled = filledRect(rect_);
  if (filled.width() <= 0 || filled.height() <= 0) return;
  if (!foreImage_.empty()) {
    // The fore image is stretched (nine-grid) over the filled part.
    ImageAttribute fore = foreImage_;
    // The filled part is already on the reading side; only a directional look flips.
    fore.dest = Rect{filled.left - rect_.left, filled.top - rect_.top, filled.right - rect_.left,
                     filled.bottom - rect_.top};
    fore.mirror = fore.mirror && rightToLeft();
    painter.drawImage(rect_, fore);
  } else if (hasAlpha(foreColor_)) {
    painter.fillRect(filled, foreColor_);
  }
}

}  // namespace toolkit
