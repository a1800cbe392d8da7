// Feeds arbitrary text to the layout loader as a layout, then lays out whatever tree it builds.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/core/layout_loader.h"

namespace {

// One character per byte: layouts are markup, so this reaches the loader's paths fastest.
std::wstring toText(const uint8_t* data, size_t size) {
  std::wstring text;
  text.reserve(size);
  for (size_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));
  return text;
}

class FixedMeasurer : public toolkit::TextMeasurer {
 public:
  toolkit::Size measure(std::wstring_view text, int /*fontId*/, int /*maxWidth*/) const override {
    return toolkit::Size{7 * static_cast<int>(text.size() % 100000), 14};
  }
};

// A window's own class, so that the builder path is reached too.
class Custom : public toolkit::HorizontalLayout {
 public:
  std::wstring_view className() const override { return L"Custom"; }
};

// A label's markup: runs in order, not empty, inside the text, in wide characters and in bytes.
void checkRuns(const std::vector<toolkit::MarkupRun>& runs, size_t textSize) {
  size_t end = 0;
  for (const toolkit::MarkupRun& run : runs) {
    if (run.length == 0 || run.start < end || run.start + run.length > textSize) __builtin_trap();
    if (!run.underline && !run.color) __builtin_trap();
    end = run.start + run.length;
  }
}

void checkMarkup(const toolkit::Label& label) {
  const toolkit::MarkupText markup = label.markup();
  if (markup.text.size() > label.text().size()) __builtin_trap();
  checkRuns(markup.runs, markup.text.size());
  const toolkit::MarkupTextUtf8 utf8 = toolkit::toUtf8(markup);
  if (utf8.runs.size() != markup.runs.size()) __builtin_trap();
  checkRuns(utf8.runs, utf8.text.size());
}

void walk(toolkit::Control& control) {
  std::vector<toolkit::Control*> pending{&control};
  while (!pending.empty()) {
    toolkit::Control* current = pending.back();
    pending.pop_back();
    if (auto* label = dynamic_cast<toolkit::Label*>(current)) checkMarkup(*label);
    const toolkit::Rect& rect = current->rect();
    if (current->visible() && !current->isFloat() && (rect.width() < 0 || rect.height() < 0)) {
      __builtin_trap();
    }
    if (toolkit::Container* container = current->asContainer()) {
      if (container->childAt(-1) != nullptr || container->childAt(container->count()) != nullptr) {
        __builtin_trap();
      }
      for (int i = 0; i < container->count(); ++i) pending.push_back(container->childAt(i));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = toText(data, size);
  toolkit::ControlBuilder builder = [](std::wstring_view tag) -> std::unique_ptr<toolkit::Control> {
    if (tag == L"Custom") return std::make_unique<Custom>();
    return nullptr;
  };
  toolkit::LoadedLayout loaded = toolkit::loadLayout(text, L"fuzz.xml", builder);
  if (!loaded.ok()) {
    if (loaded.root != nullptr) __builtin_trap();
    const std::wstring message = loaded.error->text();
    if (message.rfind(L"load resource errr. location:fuzz.xml:", 0) != 0) __builtin_trap();
    if (loaded.error->message.empty()) __builtin_trap();
    return 0;
  }
  if (loaded.root == nullptr) __builtin_trap();
  FixedMeasurer measurer;
  const toolkit::Size windowSize = loaded.window.size;
  if (windowSize.width < 0 || windowSize.height < 0) __builtin_trap();
  loaded.root->arrange(toolkit::Rect{0, 0, windowSize.width, windowSize.height}, measurer);
  walk(*loaded.root);
  return 0;
}
