// 7z archives written by hand for the skin archive tests, on every platform: plain headers,
// one solid block stored with the copy method, so each byte of the result is known.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using Bytes = std::vector<uint8_t>;

struct SevenZipEntry {
  SevenZipEntry(std::string entryPath, Bytes entryBytes = {}, bool recordCrc = true,
                std::optional<uint64_t> claimedSize = std::nullopt)
      : path(std::move(entryPath)), bytes(std::move(entryBytes)), withCrc(recordCrc), declaredSize(claimedSize) {}

  std::string path;  // a path ending in "/" is a folder
  Bytes bytes;
  bool withCrc;
  std::optional<uint64_t> declaredSize;  // a size the header claims instead of the real one
};

// The archive of |entries| in this order: folders and empty files as empty streams, the other
// files one after the other in one stored block.
Bytes makeStored7z(const std::vector<SevenZipEntry>& entries);

uint32_t crc32Of(const Bytes& bytes);

}  // namespace testsupport
