// Feeds arbitrary text to the XML reader and walks whatever tree it builds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "utility/skin/xml_document.h"

namespace {

// The first byte picks how the rest becomes wide text: one character per byte (markup-heavy
// inputs), or one arbitrary code unit per three bytes (every value a wide string can hold).
std::wstring toText(const uint8_t* data, size_t size) {
  std::wstring text;
  if (size == 0) return text;
  const bool units = (data[0] & 1) != 0;
  ++data;
  --size;
  if (!units) {
    text.reserve(size);
    for (size_t i = 0; i < size; ++i) text.push_back(static_cast<wchar_t>(data[i]));
    return text;
  }
  for (size_t i = 0; i + 2 < size; i += 3) {
    const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
    text.push_back(static_cast<wchar_t>(v & 0x1FFFFF));
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = toText(data, size);
  utility::XmlDocument doc;
  if (!doc.load(text)) {
    if (doc.root() != nullptr || doc.error() == utility::XmlError::kNone) __builtin_trap();
    return 0;
  }
  utility::XmlNode* root = doc.root();
  if (root == nullptr || !root->textView().empty()) __builtin_trap();
  // Walk the tree without recursion, touching every name, text and attribute.
  std::vector<utility::XmlNode*> pending{root};
  size_t total = 0;
  while (!pending.empty()) {
    utility::XmlNode* node = pending.back();
    pending.pop_back();
    total += node->nameView().size() + node->textView().size();
    for (int i = 0; i < node->attributeCount(); ++i) {
      const std::wstring_view name = node->attributeName(i);
      if (node->attribute(name) != node->attributeValue(i)) __builtin_trap();
    }
    if (node->childCount() > 0 && !node->textView().empty()) __builtin_trap();
    if (node->child(-1) != nullptr || node->child(node->childCount()) != nullptr) __builtin_trap();
    for (int i = node->childCount() - 1; i >= 0; --i) pending.push_back(node->child(i));
  }
  // Decoded text never grows beyond its source.
  if (total > text.size()) __builtin_trap();
  root->setAttribute(L"fuzz", L"1");
  if (root->attribute(L"fuzz") != L"1") __builtin_trap();
  return 0;
}
