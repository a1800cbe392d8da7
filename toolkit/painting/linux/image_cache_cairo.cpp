#include "toolkit/painting/linux/image_cache_cairo.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstring>
#include <vector>

#include "utility/skin/skin_archive.h"
#include "utility/system/log.h"

namespace toolkit {

struct ImageCache::Entry {
  CachedImage image;  // surface null: missing or not decodable
  bool reported = false;
  ~Entry() {
    if (image.surface != nullptr) cairo_surface_destroy(image.surface);
  }
};

namespace {

// The decoded pixels of a PNG or JPEG file, or null.
GdkPixbuf* decodePixbuf(const std::vector<uint8_t>& bytes) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  GError* error = nullptr;
  bool ok = gdk_pixbuf_loader_write(loader, bytes.data(), bytes.size(), &error) != FALSE;
  if (error != nullptr) g_clear_error(&error);
  // Closing also finishes a truncated file with an error, which then counts as not decodable.
  ok = gdk_pixbuf_loader_close(loader, &error) != FALSE && ok;
  if (error != nullptr) g_clear_error(&error);
  GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf != nullptr) g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}

// Cairo's ARGB32 (native-endian words, premultiplied) from the pixbuf's RGB(A) bytes.
cairo_surface_t* surfaceFromPixbuf(GdkPixbuf* pixbuf) {
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf) != FALSE;
  if (gdk_pixbuf_get_bits_per_sample(pixbuf) != 8 || channels < 3) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  const guchar* source = gdk_pixbuf_read_pixels(pixbuf);
  const int sourceStride = gdk_pixbuf_get_rowstride(pixbuf);
  unsigned char* target = cairo_image_surface_get_data(surface);
  const int targetStride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < height; ++y) {
    const guchar* in = source + static_cast<ptrdiff_t>(y) * sourceStride;
    auto* out = reinterpret_cast<uint32_t*>(target + static_cast<ptrdiff_t>(y) * targetStride);
    for (int x = 0; x < width; ++x, in += channels) {
      const uint32_t a = alpha ? in[3] : 255u;
      const uint32_t r = (in[0] * a + 127) / 255;
      const uint32_t g = (in[1] * a + 127) / 255;
      const uint32_t b = (in[2] * a + 127) / 255;
      out[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

// A copy of |source| with every pixel of |mask|'s colour transparent.
cairo_surface_t* maskedCopy(cairo_surface_t* source, uint32_t mask) {
  const int width = cairo_image_surface_get_width(source);
  const int height = cairo_image_surface_get_height(source);
  cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(copy) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(copy);
    return nullptr;
  }
  cairo_surface_flush(source);
  cairo_surface_flush(copy);
  const uint32_t rgb = mask & 0x00FFFFFFu;
  const int inStride = cairo_image_surface_get_stride(source);
  const int outStride = cairo_image_surface_get_stride(copy);
  const unsigned char* in = cairo_image_surface_get_data(source);
  unsigned char* out = cairo_image_surface_get_data(copy);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(in + static_cast<ptrdiff_t>(y) * inStride);
    auto* target = reinterpret_cast<uint32_t*>(out + static_cast<ptrdiff_t>(y) * outStride);
    for (int x = 0; x < width; ++x) {
      // Only opaque pixels carry their colour unchanged by premultiplication.
      const uint32_t pixel = row[x];
      target[x] = ((pixel >> 24) == 0xFF && (pixel & 0x00FFFFFFu) == rgb) ? 0u : pixel;
    }
  }
  cairo_surface_mark_dirty(copy);
  return copy;
}

}  // namespace

ImageCache::ImageCache(ImageFileReader files) : files_(std::move(files)) {}

ImageCache::~ImageCache() = default;

void ImageCache::clear() {
  masked_.clear();
  decoded_.clear();
}

ImageCache::Entry& ImageCache::decoded(const std::wstring& file) {
  auto found = decoded_.find(file);
  if (found != decoded_.end()) return *found->second;
  auto entry = std::make_unique<Entry>();
  const std::vector<uint8_t> bytes =
      files_ ? files_(file) : utility::SkinArchive::instance().loadFile(file);
  if (!bytes.empty()) {
    ++decodeCount_;
    if (GdkPixbuf* pixbuf = decodePixbuf(bytes)) {
      entry->image.surface = surfaceFromPixbuf(pixbuf);
      g_object_unref(pixbuf);
      if (entry->image.surface != nullptr) {
        entry->image.width = cairo_image_surface_get_width(entry->image.surface);
        entry->image.height = cairo_image_surface_get_height(entry->image.surface);
      }
    }
  }
  return *decoded_.emplace(file, std::move(entry)).first->second;
}

std::optional<CachedImage> ImageCache::find(const std::wstring& file,
                                            std::optional<uint32_t> mask, bool enlarged) {
  if (file.empty()) return std::nullopt;
  std::wstring name = file;
  int factor = 1;
  if (enlarged) {
    const std::wstring variant = enlargedImageName(file);
    if (decoded(variant).image.surface != nullptr) {
      name = variant;
      factor = 2;
    }
  }
  Entry& plain = decoded(name);
  if (plain.image.surface == nullptr) {
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

  const auto key = std::make_pair(name, *mask & 0x00FFFFFFu);
  auto found = masked_.find(key);
  if (found == masked_.end()) {
    auto entry = std::make_unique<Entry>();
    entry->image = plain.image;
    entry->image.surface = maskedCopy(plain.image.surface, *mask);
    found = masked_.emplace(key, std::move(entry)).first;
  }
  if (found->second->image.surface == nullptr) return std::nullopt;
  image.surface = found->second->image.surface;
  return image;
}

}  // namespace toolkit
