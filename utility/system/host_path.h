// A path as this system's file system spells it: UTF-16 on Windows, bytes elsewhere. What the
// drive table makes of a Windows path text and what the platform layer opens.
//
// Not std::filesystem::path: on Windows the library's path links its code-conversion facets and
// with them the whole classic locale, more than a third of the installer's file. The conversions
// to and from std::filesystem::path are inline, for tests and tools: a program links the library's
// path only where it uses one.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace utility {

class HostPath {
 public:
  using value_type = std::filesystem::path::value_type;
  using string_type = std::filesystem::path::string_type;

  HostPath() = default;
  HostPath(string_type native) : native_(std::move(native)) {}  // NOLINT: a host path's text
  HostPath(const value_type* native) : native_(native) {}       // NOLINT
  HostPath(const std::filesystem::path& path) : native_(path.native()) {}  // NOLINT
  operator std::filesystem::path() const { return std::filesystem::path(native_); }  // NOLINT

  // Narrow text and back: UTF-8 on Windows, the bytes themselves elsewhere. For output, logs and
  // the toolkit's folder chooser.
  static HostPath fromString(std::string_view text);
  std::string string() const;

  const string_type& native() const { return native_; }
  const value_type* c_str() const { return native_.c_str(); }
  bool empty() const { return native_.empty(); }

  friend bool operator==(const HostPath&, const HostPath&) = default;

 private:
  string_type native_;
};

}  // namespace utility
