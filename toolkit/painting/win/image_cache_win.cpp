#include "toolkit/painting/win/image_cache_win.h"

#include <cstring>
#include <vector>

#include "toolkit/painting/win/gdi_objects_win.h"
#include "toolkit/painting/win/wic_codec_win.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/log.h"

namespace toolkit {

struct ImageCache::Entry {
  CachedImage image;  // bitmap null: missing or not decodable
  gdi::Object<HBITMAP> owner;
  bool reported = false;
};

namespace {

// A DIB section holding |width| x |height| premultiplied words from |source| (|pick| maps each).
template <class Pick>
bool fillEntry(const uint32_t* source, int width, int height, Pick pick, CachedImage& image,
               gdi::Object<HBITMAP>& owner) {
  gdi::Pixels pixels;
  HBITMAP bitmap = gdi::createDib(width, height, &pixels);
  if (bitmap == nullptr) return false;
  for (int y = 0; y < height; ++y) {
    uint32_t* row = pixels.row(y);
    const uint32_t* in = source + static_cast<size_t>(y) * static_cast<size_t>(width);
    for (int x = 0; x < width; ++x) row[x] = pick(in[x]);
  }
  owner.reset(bitmap);
  image.bitmap = bitmap;
  image.width = width;
  image.height = height;
  return true;
}

// The pixels of a cached bitmap (a DIB section of ours).
const uint32_t* bitsOf(HBITMAP bitmap) {
  DIBSECTION section{};
  if (GetObjectW(bitmap, sizeof(section), &section) != sizeof(section)) return nullptr;
  return static_cast<const uint32_t*>(section.dsBm.bmBits);
}

}  // namespace

ImageCache::ImageCache(ImageFileReader files) : files_(std::move(files)) {}

ImageCache::~ImageCache() = default;

ImageCache::Entry& ImageCache::decoded(const std::wstring& file) {
  auto found = decoded_.find(file);
  if (found != decoded_.end()) return *found->second;
  auto entry = std::make_unique<Entry>();
  const std::vector<uint8_t> bytes =
      files_ ? files_(file) : utility::SkinArchive::instance().loadFile(file);
  if (!bytes.empty()) {
    ++decodeCount_;
    if (std::optional<wic::Image> image = wic::decode(bytes)) {
      fillEntry(
          image->pixels.data(), image->width, image->height, [](uint32_t p) { return p; },
          entry->image, entry->owner);
    }
  }
  return *decoded_.emplace(file, std::move(entry)).first->second;
}

std::optional<CachedImage> ImageCache::find(const std::wstring& file, std::optional<uint32_t> mask,
                                            bool enlarged) {
  if (file.empty()) return std::nullopt;
  std::wstring name = file;
  int factor = 1;
  if (enlarged) {
    const std::wstring variant = enlargedImageName(file);
    if (decoded(variant).image.bitmap != nullptr) {
      name = variant;
      factor = 2;
    }
  }
  Entry& plain = decoded(name);
  if (plain.image.bitmap == nullptr) {
    if (!plain.reported) {
      plain.reported = true;
      common::logPrint("ImageCache::find", __LINE__, L"skin image missing or not decodable: %s",
                       file.c_str());
    }
    return std::nullopt;
  }
  CachedImage image = plain.image;
  image.factor = factor;
  if (!mask) return image;

  const uint32_t rgb = *mask & 0x00FFFFFFu;
  const auto key = std::make_pair(name, rgb);
  auto found = masked_.find(key);
  if (found == masked_.end()) {
    auto entry = std::make_unique<Entry>();
    if (const uint32_t* source = bitsOf(plain.image.bitmap)) {
      // Only opaque pixels carry their colour unchanged by premultiplication.
      fillEntry(
          source, plain.image.width, plain.image.height,
          [rgb](uint32_t p) { return ((p >> 24) == 0xFF && (p & 0x00FFFFFFu) == rgb) ? 0u : p; },
          entry->image, entry->owner);
    }
    found = masked_.emplace(key, std::move(entry)).first;
  }
  if (found->second->image.bitmap == nullptr) return std::nullopt;
  image.bitmap = found->second->image.bitmap;
  return image;
}

}  // namespace toolkit
