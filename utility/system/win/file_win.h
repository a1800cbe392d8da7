// What the Win32 files of the system layer share: paths the system takes at any length, a HANDLE
// held for one scope, and the facts of what stands at a name without following a link there.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace utility::win {

// |path| as the wide file functions take it at any length: beyond the classic limit an absolute
// path gets the "\\?\" form (resolved first, since that form takes every character literally).
std::wstring systemPath(const std::wstring& path);

// One HANDLE of a file, closed when the holder goes.
class ScopedHandle {
 public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE handle) : handle_(handle) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE get() const { return handle_; }
  HANDLE release() {
    HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (valid()) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// What stands at a name itself (a link is not followed): nothing when the name is free, else its
// attributes. |error| holds the system's code when nothing could be read for another reason.
std::optional<DWORD> attributesAt(const std::wstring& path, DWORD* error = nullptr);
bool isLinkOrReparsePoint(DWORD attributes);
// The attributes of what |path| leads to once links are followed; nothing when it leads nowhere
// (missing, a link to nothing).
std::optional<DWORD> followedAttributes(const std::wstring& path);
bool isFolder(const std::wstring& path);

// |path| without trailing separators, except that a drive root keeps its "\" ("X:" alone is the
// drive's current folder).
std::wstring withoutTrailingSeparators(std::wstring path);
// The folder holding |path| as withoutTrailingSeparators gives it; empty when there is none.
std::wstring parentOf(const std::wstring& path);

// The folder part of |path| with its trailing "\", or empty for a bare name.
std::wstring folderOf(const std::wstring& path);
// A name no other file has, for a file made beside others: "<prefix><16 hex digits>".
std::wstring uniqueName(const wchar_t* prefix);

// Opens a regular file at |path| for reading (shared for reading and writing) without following
// a link there; an invalid handle with the last error set otherwise (5 for a folder, a link or a
// device).
ScopedHandle openRegularFileForReading(const std::wstring& path, BY_HANDLE_FILE_INFORMATION* info);

// Creates the new file |path| (nothing may be there, not even a link), readable and writable,
// never inherited. |extraAccess| adds rights (DELETE to rename it through its handle).
ScopedHandle createFreshFile(const std::wstring& path, DWORD extraAccess = 0);

// Writes all |count| bytes; false (last error set) otherwise.
bool writeAll(HANDLE file, const void* bytes, size_t count);

}  // namespace utility::win
