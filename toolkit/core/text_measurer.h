// How big a text is when drawn: given by the painter in a window, by a stand-in in tests, so that
// layout needs no fonts.
#pragma once

#include <string_view>

#include "toolkit/core/attribute_value.h"

namespace toolkit {

class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // The extent of |text| in the font |fontId| (-1: the default font), broken into lines no
  // wider than |maxWidth| when |maxWidth| is positive.
  virtual Size measure(std::wstring_view text, int fontId, int maxWidth) const = 0;
};

}  // namespace toolkit
