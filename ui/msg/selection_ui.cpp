#include "ui/msg/selection_ui.h"

#include <algorithm>

namespace msg {
namespace {

struct Look {
  const wchar_t* normal;
  const wchar_t* hot;
  const wchar_t* pushed;
  const wchar_t* textColor;
};

constexpr Look kSecondary{L"file='common\\btn_bg_default.png' source='0,0,20,28' corner='6,6,6,6'",
                          L"file='common\\btn_bg_default.png' source='20,0,40,28' corner='6,6,6,6'",
                          L"file='common\\btn_bg_default.png' source='40,0,60,28' corner='6,6,6,6'",
                          L"#FF000000"};
constexpr Look kPrimary{L"file='common\\btn_bg.png' source='0,0,20,28' corner='6,6,6,6'",
                        L"file='common\\btn_bg.png' source='20,0,40,28' corner='6,6,6,6'",
                        L"file='common\\btn_bg.png' source='40,0,60,28' corner='6,6,6,6'", L"#FF17171A"};

}  // namespace

CSelectionUI::CSelectionUI(ButtonSpec spec) : spec_(std::move(spec)) {
  const Look& look = spec_.secondary ? kSecondary : kPrimary;
  setText(spec_.text);
  setShowHtml(true);
  setAttribute(L"height", L"30");
  setAttribute(L"valign", L"vcenter");
  setAttribute(L"align", L"center");
  setAttribute(L"textpadding", L"20,0,20,0");
  setAttribute(L"padding", L"10,0,10,0");
  setMinWidth(kMinWidth);
  setFont(1);
  setAttribute(L"cursor", L"hand");
  setAttribute(L"normalimage", look.normal);
  setAttribute(L"hotimage", look.hot);
  setAttribute(L"pushedimage", look.pushed);
  setAttribute(L"textcolor", look.textColor);
}

toolkit::Size CSelectionUI::estimateSize(toolkit::Size available, const toolkit::TextMeasurer& measurer) const {
  const toolkit::Size text = measurer.measure(markup().text, font(), 0);
  // The height as a button's: taller where a larger text needs it.
  return toolkit::Size{std::max(kLeastWidth, text.width + 2 * kTextPadding),
                       Button::estimateSize(available, measurer).height};
}

}  // namespace msg
