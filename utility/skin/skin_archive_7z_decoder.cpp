// 7z decoding through the 7-Zip C decoder (LZMA, LZMA2, copy and the decoder's filters; per-file
// CRC32 checks), reading the archive straight from memory.
#include <7z.h>
#include <7zAlloc.h>
#include <7zCrc.h>
#include <7zTypes.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "utility/skin/skin_archive_7z.h"

namespace utility {

namespace {

// A seekable input stream over the archive's bytes: reads copy from the buffer, seeks from the
// start, the current position and the end; a seek outside the buffer is an error.
struct MemoryInStream {
  ISeekInStream vt;
  const uint8_t* data;
  size_t size;
  size_t position;
};

SRes memoryRead(ISeekInStreamPtr p, void* buffer, size_t* size) {
  auto* self = reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
  const size_t count = std::min(*size, self->size - self->position);
  if (count != 0) std::memcpy(buffer, self->data + self->position, count);
  self->position += count;
  *size = count;
  return SZ_OK;
}

SRes memorySeek(ISeekInStreamPtr p, Int64* offset, ESzSeek origin) {
  auto* self = reinterpret_cast<MemoryInStream*>(const_cast<ISeekInStream*>(p));
  Int64 base = 0;
  switch (origin) {
    case SZ_SEEK_SET: base = 0; break;
    case SZ_SEEK_CUR: base = static_cast<Int64>(self->position); break;
    case SZ_SEEK_END: base = static_cast<Int64>(self->size); break;
    default: return SZ_ERROR_PARAM;
  }
  const Int64 target = base + *offset;  // both operands stay far below the overflow bound
  if (*offset < -static_cast<Int64>(self->size) || *offset > static_cast<Int64>(self->size) || target < 0 ||
      target > static_cast<Int64>(self->size)) {
    return SZ_ERROR_READ;
  }
  self->position = static_cast<size_t>(target);
  *offset = target;
  return SZ_OK;
}

// The decoder's allocations, with one bound: no single block above |kMaxAllocation|, so a
// header that claims huge tables is refused instead of exhausting memory.
constexpr size_t kMaxAllocation = 256u << 20;

void* boundedAlloc(ISzAllocPtr, size_t size) {
  if (size == 0 || size > kMaxAllocation) return nullptr;
  return std::malloc(size);
}

void boundedFree(ISzAllocPtr, void* address) { std::free(address); }

const ISzAlloc kAllocator = {boundedAlloc, boundedFree};

// The archive's file name (UTF-16) as a wide string.
std::wstring fileName(const CSzArEx& db, size_t index) {
  const size_t length = SzArEx_GetFileNameUtf16(&db, index, nullptr);
  if (length <= 1) return {};
  std::vector<UInt16> utf16(length);
  SzArEx_GetFileNameUtf16(&db, index, utf16.data());
  utf16.pop_back();  // the terminating NUL
  std::wstring name;
  name.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    uint32_t unit = utf16[i];
    if constexpr (sizeof(wchar_t) == 4) {
      // Rejoin surrogate pairs where wide text holds whole code points.
      if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
          utf16[i + 1] < 0xE000) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
        ++i;
      }
    }
    name.push_back(static_cast<wchar_t>(unit));
  }
  return name;
}

struct Archive {
  Archive() { SzArEx_Init(&db); }
  ~Archive() { SzArEx_Free(&db, &kAllocator); }
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;
  CSzArEx db;
};

// One solid block decoded whole into memory. After a decoding error the bytes decoded before it
// are in place (the decoder writes straight into the buffer) and the rest is zero, so files in
// front of the damage can still be proven whole by their CRC32.
struct DecodedFolder {
  UInt32 index = static_cast<UInt32>(-1);
  std::vector<uint8_t> bytes;
  bool complete = false;
};

bool decodeFolder(const CSzArEx& db, UInt32 folder, ILookInStreamPtr stream, DecodedFolder& out) try {
  out.index = folder;
  out.complete = false;
  out.bytes.clear();
  const UInt64 size = SzAr_GetFolderUnpackSize(&db.db, folder);
  out.bytes.assign(static_cast<size_t>(size), 0);
  out.complete = SzAr_DecodeFolder(&db.db, folder, stream, db.dataPos, out.bytes.data(), out.bytes.size(),
                                   &kAllocator) == SZ_OK;
  return true;
} catch (const std::bad_alloc&) {
  out.bytes.clear();
  return false;
}

}  // namespace

SevenZipResult unpack7z(std::span<const uint8_t> data, const SevenZipFileSink& sink,
                        const SevenZipLimits& limits) {
  if (data.size() < k7zStartHeaderSize) return SevenZipResult::damaged;
  static std::once_flag crcTable;
  std::call_once(crcTable, [] { CrcGenerateTable(); });

  MemoryInStream input{{memoryRead, memorySeek}, data.data(), data.size(), 0};
  constexpr size_t kLookAhead = 1 << 14;
  std::vector<Byte> lookBuffer(kLookAhead);
  CLookToRead2 look;
  LookToRead2_CreateVTable(&look, False);
  look.realStream = &input.vt;
  look.buf = lookBuffer.data();
  look.bufSize = lookBuffer.size();
  LookToRead2_INIT(&look);

  Archive archive;
  if (SzArEx_Open(&archive.db, &look.vt, &kAllocator, &kAllocator) != SZ_OK) return SevenZipResult::damaged;
  const CSzArEx& db = archive.db;

  DecodedFolder folder;
  uint64_t unpacked = 0;
  for (UInt32 i = 0; i < db.NumFiles; ++i) {
    if (i >= limits.maxEntries) return SevenZipResult::tooManyEntries;
    if (SzArEx_IsDir(&db, i)) continue;
    const UInt64 size = SzArEx_GetFileSize(&db, i);
    if (size == 0) continue;
    if (size > limits.maxUnpackedBytes - unpacked) return SevenZipResult::tooLarge;
    unpacked += size;
    const UInt32 folderIndex = db.FileToFolder[i];
    if (folderIndex == static_cast<UInt32>(-1)) return SevenZipResult::damaged;  // data without a block
    if (folderIndex != folder.index) {
      // A decoding error ends the unpacking, even where every file of that block proved whole.
      if (folder.index != static_cast<UInt32>(-1) && !folder.complete) return SevenZipResult::damaged;
      // A block larger than the limit is refused before any of it is decoded.
      if (SzAr_GetFolderUnpackSize(&db.db, folderIndex) > limits.maxUnpackedBytes) return SevenZipResult::tooLarge;
      if (!decodeFolder(db, folderIndex, &look.vt, folder)) return SevenZipResult::damaged;
    }
    const UInt64 offset = db.UnpackPositions[i] - db.UnpackPositions[db.FolderToFile[folderIndex]];
    if (offset > folder.bytes.size() || size > folder.bytes.size() - offset) return SevenZipResult::damaged;
    const uint8_t* begin = folder.bytes.data() + offset;
    const bool hasCrc = SzBitWithVals_Check(&db.CRCs, i);
    if (hasCrc && CrcCalc(begin, static_cast<size_t>(size)) != db.CRCs.Vals[i]) return SevenZipResult::damaged;
    // After a decoding error only files proven whole by their CRC32 are handed over.
    if (!folder.complete && !hasCrc) return SevenZipResult::damaged;
    const std::wstring path = fileName(db, i);
    if (path.empty()) continue;
    std::vector<uint8_t> bytes;
    try {
      bytes.assign(begin, begin + size);
    } catch (const std::bad_alloc&) {
      return SevenZipResult::damaged;
    }
    sink(path, std::move(bytes));
  }
  // A block that failed but whose files all proved whole still means a damaged archive.
  if (folder.index != static_cast<UInt32>(-1) && !folder.complete) return SevenZipResult::damaged;
  return SevenZipResult::ok;
}

}  // namespace utility
