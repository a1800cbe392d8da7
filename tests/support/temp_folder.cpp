#include "tests/support/temp_folder.h"

#include <cstdio>
#include <random>
#include <string>
#include <system_error>
#include <utility>

namespace testsupport {

namespace fs = std::filesystem;

TempFolder::TempFolder(std::string_view prefix, const fs::path& parent) {
  std::random_device random;
  std::error_code error;
  // A taken name is the only reason to try another; a handful of tries at 32 random bits each
  // only run out when something else is wrong.
  for (int attempt = 0; attempt < 64; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof(suffix), "-%08x", static_cast<unsigned>(random()));
    const fs::path candidate = parent / (std::string(prefix) + suffix);
    // create_directory reports false for a name that exists, whatever it names: never reuse.
    if (fs::create_directory(candidate, error)) {
      fs::permissions(candidate, fs::perms::owner_all, error);
      path_ = candidate;
      return;
    }
    if (error) break;
  }
  if (!error) error = std::make_error_code(std::errc::file_exists);
  throw fs::filesystem_error("no temporary folder could be made", parent, error);
}

TempFolder::~TempFolder() { remove(); }

TempFolder::TempFolder(TempFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}

TempFolder& TempFolder::operator=(TempFolder&& other) noexcept {
  if (this != &other) {
    remove();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

void TempFolder::remove() noexcept {
  if (path_.empty()) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
  path_.clear();
}

}  // namespace testsupport
