#include "utility/system/drive_table.h"

#include <cctype>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string_view>

#include "utility/base/strings.h"

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

std::string toHostPath(const std::wstring& path) {
  // No file name holds a NUL; cut at one, a checked path would name another file.
  if (path.find(L'\0') != std::wstring::npos) return {};
  std::string host;
  if (path.size() >= 2 && path[1] == L':' &&
      ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
    const wchar_t letter = path[0] >= L'a' ? static_cast<wchar_t>(path[0] - L'a' + L'A') : path[0];
    const auto table = snapshot();
    const Drive* drive = nullptr;
    for (const Drive& d : *table) {
      if (d.letter == letter) drive = &d;
    }
    if (drive == nullptr || drive->root.empty()) return {};
    host = drive->root;
    // "." and ".." are resolved here so that no path leaves the drive's root folder: ".." at
    // the root stays there, as "C:\..\x" is "C:\x" on Windows.
    const std::string rest = wideToUtf8(path.substr(2));
    std::vector<std::string_view> parts;
    for (size_t start = 0; start <= rest.size();) {
      size_t end = rest.find_first_of("\\/", start);
      if (end == std::string::npos) end = rest.size();
      const std::string_view part(rest.data() + start, end - start);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      start = end + 1;
    }
    const bool trailing = !rest.empty() && (rest.back() == '\\' || rest.back() == '/');
    for (const std::string_view part : parts) {
      if (host.back() != '/') host.push_back('/');
      host += part;
    }
    // "X:\" names the root folder itself; a folder text keeps its trailing separator.
    if ((parts.empty() ? path.size() > 2 : trailing) && host.back() != '/') host.push_back('/');
    return host;
  }
  host = wideToUtf8(path);
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

std::wstring fromHostPath(const std::string& hostPath) {
  const auto table = snapshot();
  const Drive* best = nullptr;
  for (const Drive& d : *table) {
    const std::string& root = d.root;
    const bool under = root == "/" ? (!hostPath.empty() && hostPath[0] == '/')
                                   : hostPath.compare(0, root.size(), root) == 0 &&
                                         (hostPath.size() == root.size() || hostPath[root.size()] == '/');
    if (under && (best == nullptr || root.size() > best->root.size())) best = &d;
  }
  if (best == nullptr) return hostTextToWide(hostPath);
  std::string rest = best->root == "/" ? hostPath.substr(1) : hostPath.substr(best->root.size());
  size_t skip = 0;
  while (skip < rest.size() && rest[skip] == '/') ++skip;
  rest.erase(0, skip);
  std::wstring text;
  text.push_back(best->letter);
  text += L":\\";
  std::wstring tail = hostTextToWide(rest);
  for (wchar_t& c : tail) {
    if (c == L'/') c = L'\\';
  }
  return text + tail;
}

}  // namespace utility
