#include "utility/system/host_path.h"

#include "utility/base/strings.h"

namespace utility {
namespace {

// One of each pair serves this system's kind of path text: wide on Windows, bytes elsewhere.
inline void assignText(std::string& native, std::string_view text) { native.assign(text); }
inline void assignText(std::wstring& native, std::string_view text) { native = utf8ToWide(text); }
inline std::string textOf(const std::string& native) { return native; }
inline std::string textOf(const std::wstring& native) { return wideToUtf8(native); }

}  // namespace

HostPath HostPath::fromString(std::string_view text) {
  HostPath path;
  assignText(path.native_, text);
  return path;
}

std::string HostPath::string() const { return textOf(native_); }

}  // namespace utility
