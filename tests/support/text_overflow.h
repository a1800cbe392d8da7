// What the screenshot tools report about a window drawn at some text size: every text wider or
// taller than its control (measured with the fonts it is drawn in) and every control outside its
// container. Header only: the tools link the toolkit, the test support library does not.
#pragma once

#include <cstdio>
#include <string>

#include "toolkit/core/control.h"
#include "utility/base/strings.h"

namespace testsupport {

// Lists on standard error what does not fit below |control| (|where| names the shot) and
// returns how many.
inline int reportTextOverflow(toolkit::Control& control, const toolkit::TextMeasurer& measurer,
                              const std::string& where) {
  using namespace toolkit;
  if (!control.visible()) return 0;
  int overflows = 0;
  // A row of autosized texts can grow past its container even when each text fits itself.
  if (const Container* parent = control.parent(); parent != nullptr && !control.isFloat()) {
    const Rect& r = control.rect();
    const Rect& p = parent->rect();
    if (r.width() > 0 && (r.left < p.left || r.right > p.right || r.top < p.top || r.bottom > p.bottom)) {
      std::fprintf(stderr, "outside its container: %s %s \"%s\"\n", where.c_str(),
                   utility::wideToUtf8(control.name()).c_str(), utility::wideToUtf8(control.text()).c_str());
      ++overflows;
    }
  }
  if (Container* box = control.asContainer()) {
    for (int i = 0; i < box->count(); ++i) overflows += reportTextOverflow(*box->childAt(i), measurer, where);
    return overflows;
  }
  auto* label = dynamic_cast<Label*>(&control);
  // An edit scrolls its text; it is never cut.
  if (label == nullptr || dynamic_cast<Edit*>(&control) != nullptr || control.text().empty()) return overflows;
  const std::wstring text = label->markup().text;
  const Rect& pad = label->textPadding();
  const int width = control.rect().width() - pad.left - pad.right;
  const int height = control.rect().height() - pad.top - pad.bottom;
  const Size size = measurer.measure(text, control.font(), label->wordBreak() ? width : 0);
  if (size.width > width || size.height > height) {
    std::fprintf(stderr, "does not fit: %s %s \"%s\" (%dx%d in %dx%d)\n", where.c_str(),
                 utility::wideToUtf8(control.name()).c_str(), utility::wideToUtf8(text).c_str(), size.width,
                 size.height, width, height);
    ++overflows;
  }
  return overflows;
}

}  // namespace testsupport
