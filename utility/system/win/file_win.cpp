#include "utility/system/win/file_win.h"

#include <atomic>
#include <cstdio>
#include <random>
#include <vector>

#include "utility/system/platform_file.h"

namespace utility {

void PlatformFile::reset(Native native) {
  if (native_ != kInvalid) ::CloseHandle(reinterpret_cast<HANDLE>(native_));
  native_ = native;
}

namespace win {

namespace {

// Below this length every wide file function takes a path as it is (folder creation has the
// lowest limit: MAX_PATH less room for an 8.3 name).
constexpr size_t kClassicLimit = MAX_PATH - 12;

}  // namespace

std::wstring systemPath(const std::wstring& path) {
  if (path.size() < kClassicLimit || path.rfind(L"\\\\?\\", 0) == 0) return path;
  const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::vector<wchar_t> buffer(needed + 1);
  const DWORD got = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (got == 0 || got >= buffer.size()) return path;
  const std::wstring full(buffer.data(), got);
  if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::optional<DWORD> attributesAt(const std::wstring& path, DWORD* error) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (::GetFileAttributesExW(systemPath(path).c_str(), GetFileExInfoStandard, &data)) {
    if (error != nullptr) *error = ERROR_SUCCESS;
    return data.dwFileAttributes;
  }
  if (error != nullptr) *error = ::GetLastError();
  return std::nullopt;
}

bool isLinkOrReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

std::optional<DWORD> followedAttributes(const std::wstring& path) {
  const std::optional<DWORD> own = attributesAt(path);
  if (!own || !isLinkOrReparsePoint(*own)) return own;
  // Opening with no access right follows the link and conflicts with nobody's sharing.
  ScopedHandle target(::CreateFileW(systemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!target.valid() || !::GetFileInformationByHandle(target.get(), &info)) return std::nullopt;
  return info.dwFileAttributes;
}

bool isFolder(const std::wstring& path) {
  const std::optional<DWORD> attributes = followedAttributes(path);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring withoutTrailingSeparators(std::wstring path) {
  while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/') &&
         !(path.size() == 3 && path[1] == L':')) {
    path.pop_back();
  }
  return path;
}

std::wstring parentOf(const std::wstring& path) {
  const size_t sep = path.find_last_of(L"\\/");
  if (sep == std::wstring::npos) return {};
  if (sep == 2 && path[1] == L':') return path.substr(0, 3);
  return withoutTrailingSeparators(path.substr(0, sep));
}

std::wstring folderOf(const std::wstring& path) {
  const size_t sep = path.find_last_of(L"\\/");
  if (sep == std::wstring::npos) {
    // "X:name" lies in the drive's current folder.
    return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : std::wstring();
  }
  return path.substr(0, sep + 1);
}

std::wstring uniqueName(const wchar_t* prefix) {
  static std::atomic<uint32_t> counter{0};
  std::random_device random;
  const uint64_t value = (static_cast<uint64_t>(random()) << 32) ^ random() ^ counter.fetch_add(1);
  wchar_t digits[17];
  std::swprintf(digits, 17, L"%08x%08x", static_cast<unsigned>(value >> 32), static_cast<unsigned>(value));
  return std::wstring(prefix) + digits;
}

ScopedHandle openRegularFileForReading(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info) {
  ScopedHandle file(::CreateFileW(systemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
  if (!file.valid()) return file;
  BY_HANDLE_FILE_INFORMATION facts{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &facts) ||
      (facts.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) !=
          0) {
    file.reset();
    ::SetLastError(ERROR_ACCESS_DENIED);
    return file;
  }
  if (info != nullptr) *info = facts;
  return file;
}

ScopedHandle createFreshFile(const std::wstring& path, DWORD extraAccess) {
  // No security attributes: the handle is never inherited by a child process.
  return ScopedHandle(::CreateFileW(systemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE | extraAccess,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool writeAll(HANDLE file, const void* bytes, size_t count) {
  const char* p = static_cast<const char*>(bytes);
  while (count > 0) {
    const DWORD chunk = count > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!::WriteFile(file, p, chunk, &written, nullptr)) return false;
    if (written == 0) {
      ::SetLastError(ERROR_WRITE_FAULT);
      return false;
    }
    p += written;
    count -= written;
  }
  return true;
}

}  // namespace win
}  // namespace utility
