#include "ui/msg/message_box.h"

#include "toolkit/core/window_impl_base.h"

namespace msg {

std::wstring iconImage(IconKind kind, bool enlarged) {
  if (kind >= 0 && kind <= 2) return enlarged ? L"commonEnalarge/msg_noice48.png" : L"common/msg_noice48.png";
  if (kind == 3) return enlarged ? L"commonEnalarge/msg_ok48.png" : L"common/msg_ok48.png";
  return {};
}

std::wstring iconImageFor(toolkit::WindowImplBase* parent, IconKind kind) {
  return iconImage(kind, parent != nullptr && parent->scaleFactor() >= 2);
}

}  // namespace msg
