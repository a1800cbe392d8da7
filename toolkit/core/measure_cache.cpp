#include "toolkit/core/measure_cache.h"

namespace toolkit {

void MeasureCache::use(const TextMeasurer& inner, unsigned fontGeneration, double scale) {
  if (&inner == inner_ && fontGeneration == fontGeneration_ && scale == scale_) return;
  inner_ = &inner;
  fontGeneration_ = fontGeneration;
  scale_ = scale;
  sizes_.clear();
}

Size MeasureCache::measure(std::wstring_view text, int fontId, int maxWidth) const {
  if (inner_ == nullptr) return {};
  Key key{std::wstring(text), fontId, maxWidth > 0 ? maxWidth : 0};
  if (auto found = sizes_.find(key); found != sizes_.end()) return found->second;
  const Size size = inner_->measure(text, fontId, maxWidth);
  if (sizes_.size() >= kMaxEntries) sizes_.clear();
  sizes_.emplace(std::move(key), size);
  return size;
}

}  // namespace toolkit
