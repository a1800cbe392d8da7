#include "toolkit/core/control.h"

#include <algorithm>

#include "toolkit/text_table.h"

namespace toolkit {
namespace {

std::wstring quotedName(std::wstring_view name) {
  return L"\"" + std::wstring(name) + L"\"";
}

template <class T, class Set>
AttributeError apply(std::wstring_view name, const Parsed<T>& parsed, Set&& set) {
  if (!parsed) return L"attribute " + quotedName(name) + L": " + parsed.error();
  set(parsed.value());
  return std::nullopt;
}

// Geometry values: integers and rectangles within +-kMaxExtent.
Parsed<int> parseExtent(std::wstring_view text) {
  auto parsed = parseInt(text);
  if (parsed && (parsed.value() < -kMaxExtent || parsed.value() > kMaxExtent)) {
    return Parsed<int>::failure(L"out of range -" + std::to_wstring(kMaxExtent) + L".." +
                                std::to_wstring(kMaxExtent) + L": \"" + std::wstring(text) + L"\"");
  }
  return parsed;
}

Parsed<Rect> parseExtentRect(std::wstring_view text) {
  auto parsed = parseRect(text);
  if (parsed && clampExtent(parsed.value()) != parsed.value()) {
    return Parsed<Rect>::failure(L"out of range -" + std::to_wstring(kMaxExtent) + L".." +
                                 std::to_wstring(kMaxExtent) + L": \"" + std::wstring(text) +
                                 L"\"");
  }
  return parsed;
}

AttributeError unknownAttribute(const Control& control, std::wstring_view name) {
  return L"unknown attribute " + quotedName(name) + L" of " + std::wstring(control.className());
}

int clampSize(int value, int minimum, int maximum) {
  if (maximum > 0 && value > maximum) value = maximum;
  if (value < minimum) value = minimum;
  return value;
}

template <class F>
void forEachControl(Control& control, F&& f) {
  f(control);
  if (Container* container = control.asContainer()) {
    for (int i = 0; i < container->count(); ++i) forEachControl(*container->childAt(i), f);
  }
}

// Places the visible non-floating children of |container| one after the other along the main
// axis: sized children get their size (within min/max), unsized ones share what is left, evenly
// within their own min/max, the last one taking the rounding rest.
void arrangeLine(Container& container, const Rect& inner, bool vertical,
                 const TextMeasurer& measurer) {
  struct Slot {
    Control* child = nullptr;
    int main = 0;
    bool stretch = false;
    Size wanted;
  };
  std::vector<Slot> slots;
  const Size available{inner.width(), inner.height()};
  // Sums in 64 bits: many children of the largest extent add up beyond int.
  long long used = 0;
  for (int i = 0; i < container.count(); ++i) {
    Control* child = container.childAt(i);
    if (!child->visible() || child->isFloat()) continue;
    Slot slot;
    slot.child = child;
    slot.wanted = child->estimateSize(available, measurer);
    const Rect& pad = child->padding();
    used += vertical ? pad.top + pad.bottom : pad.left + pad.right;
    int wantedMain = vertical ? slot.wanted.height : slot.wanted.width;
    if (wantedMain > 0) {
      slot.main = vertical ? clampSize(wantedMain, child->minHeight(), child->maxHeight())
                           : clampSize(wantedMain, child->minWidth(), child->maxWidth());
      used += slot.main;
    } else {
      slot.stretch = true;
    }
    slots.push_back(slot);
  }
  if (slots.size() > 1) {
    used += static_cast<long long>(container.childPadding()) * static_cast<long long>(slots.size() - 1);
  }
  long long remaining = (vertical ? inner.height() : inner.width()) - used;

  // Stretched children whose share breaks their min or max keep that limit; the others share the
  // rest again.
  bool changed = true;
  while (changed) {
    changed = false;
    int open = 0;
    for (const Slot& slot : slots) open += slot.stretch ? 1 : 0;
    if (open == 0) break;
    int share = static_cast<int>(std::max(0LL, remaining) / open);
    for (Slot& slot : slots) {
      if (!slot.stretch) continue;
      int minimum = vertical ? slot.child->minHeight() : slot.child->minWidth();
      int maximum = vertical ? slot.child->maxHeight() : slot.child->maxWidth();
      int limited = clampSize(share, minimum, maximum);
      if (limited != share) {
        slot.stretch = false;
        slot.main = limited;
        remaining -= limited;
        changed = true;
      }
    }
  }
  int open = 0;
  for (const Slot& slot : slots) open += slot.stretch ? 1 : 0;
  if (open > 0) {
    int space = static_cast<int>(std::max(0LL, remaining));
    int share = space / open;
    int rest = space - share * open;
    Slot* last = nullptr;
    for (Slot& slot : slots) {
      if (!slot.stretch) continue;
      slot.main = share;
      last = &slot;
    }
    if (last != nullptr) last->main += rest;
  }

  long long position = vertical ? inner.top : inner.left;
  // Positions past the end of a crowded line are held at a bound no later sum can overflow.
  auto coord = [](long long value) {
    constexpr long long kBound = 500000000;
    return static_cast<int>(std::clamp(value, -kBound, kBound));
  };
  for (const Slot& slot : slots) {
    Control& child = *slot.child;
    const Rect& pad = child.padding();
    Rect placed;
    if (vertical) {
      position += pad.top;
      int crossWanted = slot.wanted.width > 0 ? slot.wanted.width
                                              : inner.width() - pad.left - pad.right;
      int cross = clampSize(std::max(0, crossWanted), child.minWidth(), child.maxWidth());
      placed = Rect{inner.left + pad.left, coord(position), inner.left + pad.left + cross,
                    coord(position + slot.main)};
      position += slot.main + pad.bottom + container.childPadding();
    } else {
      position += pad.left;
      int crossWanted = slot.wanted.height > 0 ? slot.wanted.height
                                               : inner.height() - pad.top - pad.bottom;
      int cross = clampSize(std::max(0, crossWanted), child.minHeight(), child.maxHeight());
      placed = Rect{coord(position), inner.top + pad.top, coord(position + slot.main),
                    inner.top + pad.top + cross};
      position += slot.main + pad.right + container.childPadding();
    }
    container.place(child, placed, measurer);
  }
}

// What |child| asks for, where an unsized container asks for what its children need, within
// the child's min and max.
Size neededSize(const Control& child, Size available, const TextMeasurer& measurer) {
  Size size = child.estimateSize(available, measurer);
  if (size.width <= 0 || size.height <= 0) {
    const Rect& pad = child.padding();
    const Size room{std::max(0, (size.width > 0 ? size.width + pad.left + pad.right : available.width)),
                    available.height};
    const Size content = child.contentSize(Size{room.width - pad.left - pad.right, room.height}, measurer);
    if (size.width <= 0) size.width = content.width;
    if (size.height <= 0) size.height = content.height;
  }
  return Size{clampSize(size.width, child.minWidth(), child.maxWidth()),
              clampSize(size.height, child.minHeight(), child.maxHeight())};
}

// The room of a line of children (vertical: one below the other) and their insets.
Size lineContentSize(const Container& container, Size available, bool vertical,
                     const TextMeasurer& measurer) {
  const Rect& inset = container.inset();
  const Size inner{std::max(0, available.width - inset.left - inset.right),
                   std::max(0, available.height - inset.top - inset.bottom)};
  long long main = 0;
  long long cross = 0;
  int shown = 0;
  for (int i = 0; i < container.count(); ++i) {
    const Control* child = container.childAt(i);
    if (!child->visible() || child->isFloat()) continue;
    const Rect& pad = child->padding();
    const Size need = neededSize(*child, inner, measurer);
    main += vertical ? need.height + pad.top + pad.bottom : need.width + pad.left + pad.right;
    cross = std::max<long long>(cross, vertical ? need.width + pad.left + pad.right
                                                : need.height + pad.top + pad.bottom);
    ++shown;
  }
  if (shown > 1) main += static_cast<long long>(container.childPadding()) * (shown - 1);
  const long long width = (vertical ? cross : main) + inset.left + inset.right;
  const long long height = (vertical ? main : cross) + inset.top + inset.bottom;
  return Size{static_cast<int>(std::min<long long>(width, kMaxExtent)),
              static_cast<int>(std::min<long long>(height, kMaxExtent))};
}

}  // namespace

// ---- Control ----

std::wstring Control::accessibleName() const { return resolveSkinText(accessibleName_); }

std::wstring Control::accessibleDescription() const { return resolveSkinText(accessibleDescription_); }

AttributeError Control::setAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"name") {
    name_ = std::wstring(value);
    return std::nullopt;
  }
  if (name == L"width") return apply(name, parseExtent(value), [&](int v) { setFixedWidth(v); });
  if (name == L"height") return apply(name, parseExtent(value), [&](int v) { setFixedHeight(v); });
  if (name == L"minwidth") return apply(name, parseExtent(value), [&](int v) { setMinWidth(v); });
  if (name == L"minheight") return apply(name, parseExtent(value), [&](int v) { setMinHeight(v); });
  if (name == L"maxwidth") return apply(name, parseExtent(value), [&](int v) { setMaxWidth(v); });
  if (name == L"maxheight") return apply(name, parseExtent(value), [&](int v) { setMaxHeight(v); });
  if (name == L"padding") return apply(name, parseExtentRect(value), [&](const Rect& r) { setPadding(r); });
  if (name == L"float") return apply(name, parseBool(value), [&](bool v) { float_ = v; });
  if (name == L"pos") {
    // A position also fixes the size, as in the layouts: "l,t,r,b" relative to the container.
    return apply(name, parseExtentRect(value), [&](const Rect& r) {
      floatPos_ = r;
      setFixedWidth(r.width());
      setFixedHeight(r.height());
    });
  }
  if (name == L"visible") return apply(name, parseBool(value), [&](bool v) { setVisible(v); });
  if (name == L"enabled") return apply(name, parseBool(value), [&](bool v) { setEnabled(v); });
  if (name == L"text") {
    text_ = resolveSkinText(value);
    return std::nullopt;
  }
  if (name == L"tooltip") {
    toolTip_ = resolveSkinText(value);
    return std::nullopt;
  }
  if (name == L"accessiblename") {
    accessibleName_ = std::wstring(value);
    return std::nullopt;
  }
  if (name == L"accessibledescription") {
    accessibleDescription_ = std::wstring(value);
    return std::nullopt;
  }
  if (name == L"textcolor") return apply(name, parseColor(value), [&](Color c) { textColor_ = c; });
  if (name == L"font") return apply(name, parseInt(value), [&](int v) { font_ = v; });
  if (name == L"bkcolor") return apply(name, parseColor(value), [&](Color c) { bkColor_ = c; });
  if (name == L"bkimage") {
    return apply(name, parseImage(value), [&](const ImageAttribute& i) { bkImage_ = i; });
  }
  if (name == L"bordersize") {
    return apply(name, parseExtent(value), [&](int v) { borderSize_ = std::max(0, v); });
  }
  if (name == L"bordercolor") {
    return apply(name, parseColor(value), [&](Color c) { borderColor_ = c; });
  }
  if (name == L"userdata") {
    userData_ = std::wstring(value);
    return std::nullopt;
  }
  return unknownAttribute(*this, name);
}

Size Control::estimateSize(Size /*available*/, const TextMeasurer& /*measurer*/) const {
  return Size{fixedWidth_, fixedHeight_};
}

void Control::arrange(const Rect& rect, const TextMeasurer& /*measurer*/) { rect_ = rect; }

Control& Control::root() {
  Control* top = this;
  while (top->parent_ != nullptr) top = top->parent_;
  return *top;
}

bool Control::rightToLeft() const {
  const Control* top = this;
  while (top->parent_ != nullptr) top = top->parent_;
  return top->rightToLeft_;
}

Rect Control::mirrored(const Rect& rect) const {
  if (!rightToLeft()) return rect;
  const int axis = rect_.left + rect_.right;
  return Rect{axis - rect.right, rect.top, axis - rect.left, rect.bottom};
}

void Control::notify(std::wstring_view type) {
  Control& top = root();
  if (top.notifyHandler_) top.notifyHandler_(type, *this);
}

// ---- Container ----

AttributeError Container::setAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"inset") return apply(name, parseExtentRect(value), [&](const Rect& r) { setInset(r); });
  if (name == L"childpadding") {
    return apply(name, parseExtent(value), [&](int v) { setChildPadding(v); });
  }
  return Control::setAttribute(name, value);
}

Size Container::contentSize(Size available, const TextMeasurer& measurer) const {
  // Children on top of each other: the largest of them.
  const Size inner{std::max(0, available.width - inset_.left - inset_.right),
                   std::max(0, available.height - inset_.top - inset_.bottom)};
  Size need;
  for (const auto& child : children_) {
    if (!child->visible() || child->isFloat()) continue;
    const Rect& pad = child->padding();
    const Size size = neededSize(*child, inner, measurer);
    need.width = std::max(need.width, clampExtent(size.width + pad.left + pad.right));
    need.height = std::max(need.height, clampExtent(size.height + pad.top + pad.bottom));
  }
  return Size{clampExtent(need.width + inset_.left + inset_.right),
              clampExtent(need.height + inset_.top + inset_.bottom)};
}

Size Container::estimateSize(Size available, const TextMeasurer& measurer) const {
  Size size = Control::estimateSize(available, measurer);
  if (size.width <= 0 && size.height <= 0) return size;
  const Rect& pad = padding();
  const Size outer{size.width > 0 ? size.width : std::max(0, available.width - pad.left - pad.right),
                   size.height > 0 ? size.height : std::max(0, available.height - pad.top - pad.bottom)};
  const Size need = contentSize(outer, measurer);
  if (size.width > 0) size.width = std::max(size.width, need.width);
  if (size.height > 0) size.height = std::max(size.height, need.height);
  return size;
}

void Container::place(Control& child, const Rect& placed, const TextMeasurer& measurer) const {
  child.arrange(mirrored(placed), measurer);
}

Control& Container::add(std::unique_ptr<Control> child) {
  child->parent_ = this;
  children_.push_back(std::move(child));
  Control& added = *children_.back();
  onChildAdded(added, count() - 1);
  return added;
}

Control& Container::insert(int index, std::unique_ptr<Control> child) {
  if (index < 0 || index > count()) index = count();
  child->parent_ = this;
  Control& added = *child;
  children_.insert(children_.begin() + index, std::move(child));
  onChildAdded(added, index);
  return added;
}

Control* Container::childAt(int index) const {
  if (index < 0 || index >= count()) return nullptr;
  return children_[static_cast<size_t>(index)].get();
}

Control* Container::find(std::wstring_view name) {
  Control* found = nullptr;
  forEachControl(*this, [&](Control& control) {
    if (found == nullptr && control.name() == name) found = &control;
  });
  return found;
}

Rect Container::innerRect(const Rect& rect) const {
  Rect inner{rect.left + inset_.left, rect.top + inset_.top, rect.right - inset_.right,
             rect.bottom - inset_.bottom};
  if (inner.right < inner.left) inner.right = inner.left;
  if (inner.bottom < inner.top) inner.bottom = inner.top;
  return inner;
}

void Container::arrangeFloats(const Rect& rect, const TextMeasurer& measurer) {
  for (auto& child : children_) {
    if (!child->visible() || !child->isFloat()) continue;
    const Rect& pos = child->floatPos();
    place(*child, Rect{rect.left + pos.left, rect.top + pos.top, rect.left + pos.right, rect.top + pos.bottom},
          measurer);
  }
}

void Container::arrange(const Rect& rect, const TextMeasurer& measurer) {
  Control::arrange(rect, measurer);
  Rect inner = innerRect(rect);
  for (auto& child : children_) {
    if (!child->visible() || child->isFloat()) continue;
    const Rect& pad = child->padding();
    place(*child, Rect{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right, inner.bottom - pad.bottom},
          measurer);
  }
  arrangeFloats(rect, measurer);
}

Size VerticalLayout::contentSize(Size available, const TextMeasurer& measurer) const {
  return lineContentSize(*this, available, true, measurer);
}

Size HorizontalLayout::contentSize(Size available, const TextMeasurer& measurer) const {
  return lineContentSize(*this, available, false, measurer);
}

void VerticalLayout::arrange(const Rect& rect, const TextMeasurer& measurer) {
  Control::arrange(rect, measurer);
  arrangeLine(*this, innerRect(rect), true, measurer);
  arrangeFloats(rect, measurer);
}

void HorizontalLayout::arrange(const Rect& rect, const TextMeasurer& measurer) {
  Control::arrange(rect, measurer);
  arrangeLine(*this, innerRect(rect), false, measurer);
  arrangeFloats(rect, measurer);
}

// ---- TabLayout ----

AttributeError TabLayout::setAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"selectedid") {
    auto index = parseInt(value);
    if (index && index.value() < 0) {
      return L"attribute \"selectedid\": a page index cannot be negative";
    }
    return apply(name, index, [&](int v) {
      if (v < count()) {
        selectItem(v);
      } else {
        selected_ = v;
        for (int i = 0; i < count(); ++i) childAt(i)->setVisible(false);
      }
    });
  }
  return Container::setAttribute(name, value);
}

void TabLayout::onChildAdded(Control& child, int index) { child.setVisible(index == selected_); }

bool TabLayout::selectItem(int index) {
  if (index < 0 || index >= count()) return false;
  int old = selectedIndex();
  selected_ = index;
  for (int i = 0; i < count(); ++i) childAt(i)->setVisible(i == index);
  if (old != index) {
    if (selectionHandler_) selectionHandler_(old, index);
    notify(L"tabselect");
  }
  return true;
}

Size TabLayout::contentSize(Size available, const TextMeasurer& measurer) const {
  const Rect& box = inset();
  const Size inner{std::max(0, available.width - box.left - box.right),
                   std::max(0, available.height - box.top - box.bottom)};
  Size need;
  for (int i = 0; i < count(); ++i) {
    const Control* page = childAt(i);
    if (page->isFloat()) continue;
    const Rect& pad = page->padding();
    const Size size = neededSize(*page, inner, measurer);
    need.width = std::max(need.width, clampExtent(size.width + pad.left + pad.right));
    need.height = std::max(need.height, clampExtent(size.height + pad.top + pad.bottom));
  }
  return Size{clampExtent(need.width + box.left + box.right), clampExtent(need.height + box.top + box.bottom)};
}

void TabLayout::arrange(const Rect& rect, const TextMeasurer& measurer) {
  // Every page gets the whole inner rectangle, so a page shown later needs no new layout pass.
  Control::arrange(rect, measurer);
  Rect inner = innerRect(rect);
  for (int i = 0; i < count(); ++i) {
    Control* page = childAt(i);
    if (page->isFloat()) continue;
    const Rect& pad = page->padding();
    place(*page, Rect{inner.left + pad.left, inner.top + pad.top, inner.right - pad.right, inner.bottom - pad.bottom},
          measurer);
  }
  arrangeFloats(rect, measurer);
}

// ---- Label ----

MarkupText Label::markup() const {
  if (showHtml_) return parseLabelMarkup(text());
  return MarkupText{text(), {}};
}

AttributeError Label::setAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"align") return apply(name, parseHAlign(value), [&](HAlign a) { align_ = a; });
  if (name == L"valign") return apply(name, parseVAlign(value), [&](VAlign a) { valign_ = a; });
  if (name == L"wordbreak") return apply(name, parseBool(value), [&](bool v) { wordBreak_ = v; });
  // Older layouts and window code ask for several lines this way; it is the same as "wordbreak".
  if (name == L"multiline") return apply(name, parseBool(value), [&](bool v) { wordBreak_ = v; });
  if (name == L"endellipsis") {
    return apply(name, parseBool(value), [&](bool v) { endEllipsis_ = v; });
  }
  if (name == L"showhtml") return apply(name, parseBool(value), [&](bool v) { showHtml_ = v; });
  if (name == L"textpadding") {
    return apply(name, parseExtentRect(value), [&](const Rect& r) { textPadding_ = r; });
  }
  if (name == L"autocalcwidth") {
    return apply(name, parseBool(value), [&](bool v) { autoCalcWidth_ = v; });
  }
  if (name == L"disabledtextcolor") {
    return apply(name, parseColor(value), [&](Color c) { disabledTextColor_ = c; });
  }
  return Control::setAttribute(name, value);
}

Rect Label::shownTextPadding() const {
  if (!rightToLeft()) return textPadding_;
  return Rect{textPadding_.right, textPadding_.top, textPadding_.left, textPadding_.bottom};
}

Size Label::contentSize(Size available, const TextMeasurer& measurer) const {
  if (text().empty()) return {};
  const int padWidth = textPadding_.left + textPadding_.right;
  const int padHeight = textPadding_.top + textPadding_.bottom;
  const Size text = measurer.measure(markup().text, font(), wordBreak_ ? std::max(1, available.width - padWidth) : 0);
  // A broken text takes the width it is given, an edit scrolls its line, and a text that may
  // end in "..." (a file name from a campaign) does not widen the window for itself.
  const int width = wordBreak_ || endEllipsis_ || !growsToTextWidth() ? 0 : clampExtent(text.width + padWidth);
  return Size{width, clampExtent(text.height + padHeight)};
}

Size Label::estimateSize(Size available, const TextMeasurer& measurer) const {
  Size size = Control::estimateSize(available, measurer);
  const int padWidth = textPadding_.left + textPadding_.right;
  const int padHeight = textPadding_.top + textPadding_.bottom;
  if (autoCalcWidth_) {
    // The text as drawn: markup tags take no room.
    Size text = measurer.measure(markup().text, font(), 0);
    size.width = clampExtent(clampExtent(text.width) + padWidth);
  }
  if (text().empty() || (size.width <= 0 && size.height <= 0)) return size;
  // A fixed size never cuts the text: a broken text grows in height at its width, one line in
  // both (an edit scrolls its line instead of growing wider).
  const std::wstring shown = markup().text;
  if (wordBreak_) {
    if (size.height <= 0) return size;
    const int lineWidth = size.width > 0 ? size.width : available.width - padding().left - padding().right;
    const Size text = measurer.measure(shown, font(), std::max(1, lineWidth - padWidth));
    size.height = std::max(size.height, clampExtent(text.height + padHeight));
    return size;
  }
  const Size text = measurer.measure(shown, font(), 0);
  if (size.height > 0) size.height = std::max(size.height, clampExtent(text.height + padHeight));
  if (size.width > 0 && growsToTextWidth()) size.width = std::max(size.width, clampExtent(text.width + padWidth));
  return size;
}

// ---- Button ----

AttributeError Button::setAttribute(std::wstring_view name, std::wstring_view value) {
  auto image = [&](ImageAttribute& target) {
    return apply(name, parseImage(value), [&](const ImageAttribute& i) { target = i; });
  };
  auto color = [&](Color& target) {
    return apply(name, parseColor(value), [&](Color c) { target = c; });
  };
  if (name == L"normalimage") return image(normalImage_);
  if (name == L"hotimage") return image(hotImage_);
  if (name == L"pushedimage") return image(pushedImage_);
  if (name == L"disabledimage") return image(disabledImage_);
  if (name == L"hottextcolor") return color(hotTextColor_);
  if (name == L"pushedtextcolor") return color(pushedTextColor_);
  if (name == L"hotbkcolor") return color(hotBkColor_);
  if (name == L"pushedbkcolor") return color(pushedBkColor_);
  if (name == L"cursor") {
    if (value == L"hand" || value == L"arrow") {
      handCursor_ = value == L"hand";
      return std::nullopt;
    }
    return L"attribute \"cursor\": not \"hand\" or \"arrow\": \"" + std::wstring(value) + L"\"";
  }
  return Label::setAttribute(name, value);
}

// ---- Option ----

AttributeError Option::setAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"group") {
    group_ = std::wstring(value);
    return std::nullopt;
  }
  if (name == L"selected") return apply(name, parseBool(value), [&](bool v) { setSelected(v); });
  if (name == L"selectedimage") {
    return apply(name, parseImage(value), [&](const ImageAttribute& i) { selectedImage_ = i; });
  }
  if (name == L"selectedtextcolor") {
    return apply(name, parseColor(value), [&](Color c) { selectedTextColor_ = c; });
  }
  return Button::setAttribute(name, value);
}

void Option::setSelectedQuietly(bool selected) { selected_ = selected; }

void Option::setSelected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  if (selected && !group_.empty()) {
    forEachControl(root(), [&](Control& control) {
      if (&control == this || control.className() != className()) return;
      auto* other = dynamic_cast<Option*>(&control);
      if (other != nullptr && other->group_ == group_ && other->selected_) {
        other->setSelectedQuietly(false);
        other->notify(L"selectchanged");
      }
    });
  }
  notify(L"selectchanged");
}

// ---- Edit, RichEdit ----

AttributeError Edit::setAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"readonly") return apply(name, parseBool(value), [&](bool v) { readOnly_ = v; });
  if (name == L"maxchar") {
    auto parsed = parseInt(value);
    if (parsed && parsed.value() < 0) return L"attribute \"maxchar\": cannot be negative";
    return apply(name, parsed, [&](int v) { maxChars_ = v; });
  }
  if (name == L"password") return apply(name, parseBool(value), [&](bool v) { password_ = v; });
  auto image = [&](ImageAttribute& target) {
    return apply(name, parseImage(value), [&](const ImageAttribute& i) { target = i; });
  };
  if (name == L"normalimage") return image(normalImage_);
  if (name == L"hotimage") return image(hotImage_);
  if (name == L"focusedimage") return image(focusedImage_);
  if (name == L"disabledimage") return image(disabledImage_);
  return Label::setAttribute(name, value);
}

AttributeError RichEdit::setAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"readonly") return apply(name, parseBool(value), [&](bool v) { readOnly_ = v; });
  if (name == L"wordbreak") return apply(name, parseBool(value), [&](bool v) { wordBreak_ = v; });
  if (name == L"vscrollbar") {
    return apply(name, parseBool(value), [&](bool v) { vscrollbar_ = v; });
  }
  return Control::setAttribute(name, value);
}

// ---- Progress ----

AttributeError Progress::setAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"value") return apply(name, parseInt(value), [&](int v) { setValue(v); });
  if (name == L"foreimage") {
    return apply(name, parseImage(value), [&](const ImageAttribute& i) { foreImage_ = i; });
  }
  if (name == L"forecolor") return apply(name, parseColor(value), [&](Color c) { foreColor_ = c; });
  if (name == L"hor") return apply(name, parseBool(value), [&](bool v) { horizontal_ = v; });
  return Label::setAttribute(name, value);
}

void Progress::setValue(int value) { value_ = std::clamp(value, 0, 100); }

// ---- Combo ----

AttributeError Combo::setAttribute(std::wstring_view name, std::wstring_view value) {
  if (name == L"dropboxsize") {
    return apply(name, parseSize(value), [&](const Size& s) { dropBoxSize_ = s; });
  }
  return Label::setAttribute(name, value);
}

void Combo::addItem(std::wstring text, std::wstring userData) {
  items_.push_back(Item{std::move(text), std::move(userData)});
}

const Combo::Item* Combo::item(int index) const {
  if (index < 0 || index >= itemCount()) return nullptr;
  return &items_[static_cast<size_t>(index)];
}

bool Combo::selectItem(int index) {
  if (index < 0 || index >= itemCount()) return false;
  if (index == selected_) return true;
  selected_ = index;
  setText(items_[static_cast<size_t>(index)].text);
  notify(L"itemselect");
  return true;
}

// ---- Classes by tag ----

std::unique_ptr<Control> createBuiltinControl(std::wstring_view tag) {
  if (tag == L"Control") return std::make_unique<Control>();
  if (tag == L"Container") return std::make_unique<Container>();
  if (tag == L"VerticalLayout") return std::make_unique<VerticalLayout>();
  if (tag == L"HorizontalLayout") return std::make_unique<HorizontalLayout>();
  if (tag == L"TabLayout") return std::make_unique<TabLayout>();
  if (tag == L"Label") return std::make_unique<Label>();
  if (tag == L"Text") return std::make_unique<Text>();
  if (tag == L"Button") return std::make_unique<Button>();
  if (tag == L"Option") return std::make_unique<Option>();
  if (tag == L"Edit") return std::make_unique<Edit>();
  if (tag == L"RichEdit") return std::make_unique<RichEdit>();
  if (tag == L"Progress") return std::make_unique<Progress>();
  if (tag == L"Combo") return std::make_unique<Combo>();
  return nullptr;
}

}  // namespace toolkit
