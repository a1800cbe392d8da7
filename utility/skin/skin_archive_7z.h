// Reading a 7z archive held in memory (the skin archive's decoder). One implementation per
// platform, chosen by the build: libarchive's 7z reader on Linux, the 7-Zip C decoder on Windows.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace utility {

// Receives one complete, CRC-checked regular file: its archive path ("/" between folders) and
// its bytes (which the receiver may take).
using SevenZipFileSink = std::function<void(std::wstring path, std::vector<uint8_t> bytes)>;

// Bounds against a hostile archive. The skin holds about a hundred files and well under a
// megabyte; these leave ample room for it to grow.
struct SevenZipLimits {
  uint32_t maxEntries = 10000;             // every entry counts, folders and empty files too
  uint64_t maxUnpackedBytes = 64ull << 20;  // the files' bytes together
};

enum class SevenZipResult {
  ok,
  damaged,         // not a 7z archive, a decoding error, a CRC mismatch, a size that lies
  tooManyEntries,  // more entries than the limit
  tooLarge,        // more unpacked bytes than the limit
};

// Decodes the archive entry by entry, in archive order, handing every non-empty regular file to
// |sink| once it is complete and its CRC32 (when the archive records one) matches. Folders and
// empty files are skipped. Stops at the first decoding or CRC error, or where a limit is passed;
// files handed over before stay with the receiver.
SevenZipResult unpack7z(std::span<const uint8_t> archive, const SevenZipFileSink& sink,
                        const SevenZipLimits& limits = {});

}  // namespace utility
