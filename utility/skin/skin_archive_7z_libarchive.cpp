// 7z decoding through libarchive's 7z reader (LZMA2 solid blocks, per-file CRC32 checks).
#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "utility/skin/skin_archive_7z.h"
#include "utility/base/strings.h"

namespace utility {

namespace {

struct ArchiveCloser {
  void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

std::wstring entryPath(archive_entry* entry) {
  if (const wchar_t* wide = archive_entry_pathname_w(entry)) return wide;
  if (const char* utf8 = archive_entry_pathname_utf8(entry)) return utf8ToWide(utf8);
  return {};
}

// Room reserved up front; the recorded size is only a claim until the data arrives.
constexpr int64_t kMaxReserve = 16 << 20;

// Reads the whole entry. False on any decoding error, a CRC mismatch (libarchive reports it
// with the last block of the entry), a size other than the recorded one, or no memory for it.
bool readEntry(archive* a, int64_t expected, std::vector<uint8_t>& out) try {
  out.clear();
  out.reserve(static_cast<size_t>(std::min(expected, kMaxReserve)));
  while (true) {
    const void* block = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    const int r = archive_read_data_block(a, &block, &size, &offset);
    if (r == ARCHIVE_EOF) break;
    if (r != ARCHIVE_OK) return false;
    if (offset < 0 || static_cast<uint64_t>(offset) != out.size() ||
        static_cast<int64_t>(out.size() + size) > expected) {
      return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(block);
    out.insert(out.end(), bytes, bytes + size);
  }
  return static_cast<int64_t>(out.size()) == expected;
} catch (const std::bad_alloc&) {
  out.clear();
  return false;
}

}  // namespace

SevenZipResult unpack7z(std::span<const uint8_t> data, const SevenZipFileSink& sink,
                        const SevenZipLimits& limits) {
  if (data.empty()) return SevenZipResult::damaged;
  ArchivePtr a(archive_read_new());
  if (!a) return SevenZipResult::damaged;
  if (archive_read_support_format_7zip(a.get()) != ARCHIVE_OK) return SevenZipResult::damaged;
  if (archive_read_open_memory(a.get(), data.data(), data.size()) != ARCHIVE_OK) return SevenZipResult::damaged;
  archive_entry* entry = nullptr;
  std::vector<uint8_t> bytes;
  uint32_t entries = 0;
  uint64_t unpacked = 0;
  while (true) {
    const int r = archive_read_next_header(a.get(), &entry);
    if (r == ARCHIVE_EOF) return SevenZipResult::ok;
    // A warning (such as a name the locale cannot show) still gives a usable entry.
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) return SevenZipResult::damaged;
    if (++entries > limits.maxEntries) return SevenZipResult::tooManyEntries;
    if (archive_entry_filetype(entry) != AE_IFREG || !archive_entry_size_is_set(entry)) continue;
    const int64_t size = archive_entry_size(entry);
    if (size <= 0) continue;
    if (static_cast<uint64_t>(size) > limits.maxUnpackedBytes - unpacked) return SevenZipResult::tooLarge;
    unpacked += static_cast<uint64_t>(size);
    const std::wstring path = entryPath(entry);
    if (!readEntry(a.get(), size, bytes)) return SevenZipResult::damaged;
    if (path.empty()) continue;
    sink(path, std::move(bytes));
    bytes = {};
  }
}

}  // namespace utility
