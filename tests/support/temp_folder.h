// A private folder for one test's files.
#pragma once

#include <filesystem>
#include <string_view>

namespace testsupport {

// Makes a new folder "<prefix>-<8 hex digits>" below |parent| (the system's temporary folder
// unless told), readable by the owner only, and removes it with everything in it when it goes.
// The folder is created, never reused: a name already taken, by this process or any other, is
// skipped, so test binaries running side by side or repeated never share one. Throws
// std::filesystem::filesystem_error when no folder can be made below |parent|.
class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix,
                      const std::filesystem::path& parent = std::filesystem::temp_directory_path());
  ~TempFolder();
  TempFolder(TempFolder&& other) noexcept;
  TempFolder& operator=(TempFolder&& other) noexcept;
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Empty once moved from.
  const std::filesystem::path& path() const { return path_; }

 private:
  void remove() noexcept;

  std::filesystem::path path_;
};

}  // namespace testsupport
