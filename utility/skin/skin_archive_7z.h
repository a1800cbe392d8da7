// Reading a 7z archive held in memory (the skin archive's decoder).
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

// Decodes the archive entry by entry, in archive order, handing every non-empty regular file to
// |sink| as soon as it is complete and its CRC32 matches. Folders and empty files are skipped.
// Stops at the first decoding or CRC error and returns false; files handed over before stay.
bool unpack7z(std::span<const uint8_t> archive, const SevenZipFileSink& sink);

}  // namespace utility
