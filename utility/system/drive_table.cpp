#include "utility/system/drive_table.h"

#include <cctype>
#include <memory>
#include <mutex>

namespace utility {

namespace {

std::mutex gTableMutex;
std::shared_ptr<const std::vector<Drive>> gTable;

// The current table; a holder keeps it alive while another thread replaces it.
std::shared_ptr<const std::vector<Drive>> snapshot() {
  std::lock_guard<std::mutex> lock(gTableMutex);
  if (!gTable) gTable = std::make_shared<const std::vector<Drive>>(detectDriveTable());
  return gTable;
}

std::string trimmedRoot(std::string root) {
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

}  // namespace

std::vector<Drive> parseDriveTable(const std::string& text) {
  std::vector<Drive> drives;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of(";,", start);
    if (end == std::string::npos) end = text.size();
    const std::string entry = text.substr(start, end - start);
    if (entry.size() >= 3 && entry[1] == '=' && std::isalpha(static_cast<unsigned char>(entry[0])) &&
        entry[2] == '/') {
      const wchar_t letter = static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(entry[0])));
      drives.push_back({letter, trimmedRoot(entry.substr(2)), {}, {}});
    }
    start = end + 1;
  }
  return drives;
}

std::vector<Drive> driveTable() { return *snapshot(); }

void setDriveTableForTesting(std::vector<Drive> drives) {
  std::lock_guard<std::mutex> lock(gTableMutex);
  if (drives.empty()) {
    gTable.reset();
  } else {
    for (Drive& d : drives) d.root = trimmedRoot(d.root);
    gTable = std::make_shared<const std::vector<Drive>>(std::move(drives));
  }
}

}  // namespace utility
