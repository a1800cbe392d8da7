// Skin images decoded once per window (or per set of windows sharing one cache) into Cairo
// surfaces, by file name. PNG and JPEG through gdk-pixbuf; a mask colour gives a second surface
// made from the decoded pixels, not a second decode. Main thread only.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "toolkit/core/painter.h"

typedef struct _cairo_surface cairo_surface_t;

namespace toolkit {

struct CachedImage {
  cairo_surface_t* surface = nullptr;  // ARGB32, premultiplied; owned by the cache
  int width = 0;
  int height = 0;
  // 2 for an enlarged variant (its rectangles are read doubled), else 1.
  int factor = 1;
};

class ImageCache {
 public:
  // |files| empty: images are read through the skin.
  explicit ImageCache(ImageFileReader files = {});
  ~ImageCache();
  ImageCache(const ImageCache&) = delete;
  ImageCache& operator=(const ImageCache&) = delete;

  // The image |file| with pixels of |mask| (compared without alpha) made transparent; with
  // |enlarged|, its enlarged variant when the skin has one. Null when the file is missing or
  // cannot be decoded; that answer is kept too, so a missing file is looked for once.
  // The surface stays the cache's until clear() or the cache's end.
  std::optional<CachedImage> find(const std::wstring& file, std::optional<uint32_t> mask,
                                  bool enlarged);

  // How many files were handed to the decoder so far.
  int decodeCount() const { return decodeCount_; }
  // Forgets every image (after the skin changed).
  void clear();

 private:
  struct Entry;
  Entry& decoded(const std::wstring& file);

  ImageFileReader files_;
  std::map<std::wstring, std::unique_ptr<Entry>> decoded_;
  std::map<std::pair<std::wstring, uint32_t>, std::unique_ptr<Entry>> masked_;
  int decodeCount_ = 0;
};

}  // namespace toolkit
