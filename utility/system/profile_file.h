// Settings files of the "[section]" / "key=value" kind (WritePrivateProfileString): one value
// written at a time, everything else in the file kept as it was (other sections, keys, comments,
// blank lines, line order and line endings). The file is replaced whole, so a reader never sees
// half a file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "utility/system/host_path.h"

namespace utility {
namespace profile {

// A settings file is read whole; a longer one is refused rather than cut.
inline constexpr uint64_t kMaxFileBytes = 4u << 20;

// Whether |section|, |key| and |value| can be written as one line each: no CR, LF or NUL
// anywhere, a section without "]", a key without "=" and neither empty nor only blanks.
bool isWritable(std::string_view section, std::string_view key, std::string_view value);

// |text| with |key| of |section| set to |value| (names compare without regard to case of A to
// Z, blanks around them ignored; the first section and the first key of that name count). A key
// found is replaced in its line; a missing key is added after the section's last line that is
// not blank; a missing section is added at the end with the key. New lines end the way the
// file's first line does (CR LF in a file without one). Nothing when !isWritable.
std::optional<std::string> withValue(std::string_view text, std::string_view section, std::string_view key,
                                     std::string_view value);

// WritePrivateProfileStringW: the texts are written in the ANSI code page, as the system does for
// a settings file without a Unicode mark. False when the texts cannot be written as lines, the
// file cannot be read (larger than kMaxFileBytes, not a regular file) or not replaced.
bool writeString(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                 const std::wstring& file);
// WritePrivateProfileStringA: the bytes of |section|, |key| and |value| are written as given.
// The file is named by its wide text, so it is the same file whatever the code page.
bool writeBytes(const std::string& section, const std::string& key, const std::string& value,
                const std::wstring& file);

// The platform part: replaces the file |hostPath| of this system with |bytes| (a new file made
// exclusively in the same folder, flushed to disk, put in the old one's place in one step).
bool replaceFile(const HostPath& hostPath, const std::string& bytes);

}  // namespace profile
}  // namespace utility
