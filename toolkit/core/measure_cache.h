// Remembers what a text measurer said, so the layout pass that runs before every pointer event
// measures each text of a window once rather than on every pass. Main thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "toolkit/core/text_measurer.h"

namespace toolkit {

class MeasureCache : public TextMeasurer {
 public:
  // Measures through |inner| from now on; what was remembered goes when the measurer, the fonts'
  // generation or the scale is another one.
  void use(const TextMeasurer& inner, unsigned fontGeneration, double scale);

  Size measure(std::wstring_view text, int fontId, int maxWidth) const override;

  // At most this many texts are remembered; one more starts over (a long edit session types
  // many prefixes).
  static constexpr size_t kMaxEntries = 4096;

 private:
  struct Key {
    std::wstring text;
    int fontId = 0;
    int maxWidth = 0;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& key) const {
      return std::hash<std::wstring>()(key.text) ^ (static_cast<size_t>(key.fontId) * 0x9E3779B9u) ^
             (static_cast<size_t>(key.maxWidth) << 16);
    }
  };

  const TextMeasurer* inner_ = nullptr;
  unsigned fontGeneration_ = 0;
  double scale_ = 0;
  mutable std::unordered_map<Key, Size, KeyHash> sizes_;
};

}  // namespace toolkit
