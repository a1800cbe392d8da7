// The button of a general box: a toolkit button that answers to "Selection" and carries the
// ButtonSpec whose action it runs when clicked. Main thread only.
#pragma once

#include "toolkit/core/control.h"
#include "ui/msg/message_box.h"

namespace msg {

class CSelectionUI : public toolkit::Button {
 public:
  static constexpr int kMinWidth = 90;
  static constexpr int kLeastWidth = 100;
  static constexpr int kTextPadding = 20;

  explicit CSelectionUI(ButtonSpec spec);

  std::wstring_view className() const override { return L"Selection"; }
  // As wide as its text plus the text padding, never below kLeastWidth; 30 high.
  toolkit::Size estimateSize(toolkit::Size available, const toolkit::TextMeasurer& measurer) const override;

  const ButtonSpec& spec() const { return spec_; }

 private:
  ButtonSpec spec_;
};

}  // namespace msg
