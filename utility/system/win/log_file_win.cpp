// The log's file on Win32: one handle, never inherited, opened without following a link and kept
// only when it is a regular file on disk; every record is written at the end of the file.
#include <windows.h>

#include "utility/system/log_file.h"
#include "utility/system/win/file_win.h"

namespace common {

namespace {

HANDLE handleOf(const utility::PlatformFile& file) { return reinterpret_cast<HANDLE>(file.get()); }

}  // namespace

LogFile::~LogFile() { close(); }

bool LogFile::open(const utility::HostPath& hostPath) {
  close();
  if (hostPath.empty()) return false;
  // Others may read and write the log meanwhile; a link planted at its name must not redirect
  // the writes, so the name itself is opened and then vetted.
  utility::win::ScopedHandle file(::CreateFileW(
      utility::win::systemPath(hostPath.native()).c_str(), GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
      nullptr));
  if (!file.valid()) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileType(file.get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return false;
  }
  file_.reset(reinterpret_cast<utility::PlatformFile::Native>(file.release()));
  return true;
}

void LogFile::close() { file_.reset(); }

bool LogFile::append(const char* bytes, size_t n) {
  if (!file_.valid()) return false;
  // Each write lands at the end of the file as it is then, whatever others wrote meanwhile.
  const char* p = bytes;
  while (n > 0) {
    const DWORD chunk = n > (1u << 30) ? (1u << 30) : static_cast<DWORD>(n);
    OVERLAPPED atEnd{};
    atEnd.Offset = 0xFFFFFFFF;
    atEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD written = 0;
    if (!::WriteFile(handleOf(file_), p, chunk, &written, &atEnd) || written == 0) return false;
    p += written;
    n -= written;
  }
  return true;
}

int64_t LogFile::size() const {
  LARGE_INTEGER size{};
  if (!file_.valid() || !::GetFileSizeEx(handleOf(file_), &size)) return -1;
  return size.QuadPart;
}

size_t LogFile::readAt(uint64_t offset, char* out, size_t n) const {
  if (!file_.valid()) return 0;
  size_t done = 0;
  while (done < n) {
    const size_t left = n - done;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    OVERLAPPED at{};
    const uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    if (!::ReadFile(handleOf(file_), out + done, chunk, &got, &at) || got == 0) break;
    done += got;
  }
  return done;
}

bool LogFile::replaceContent(const char* bytes, size_t n) {
  // The same handle is cut and rewritten: reopening by name could meet a different file.
  if (!file_.valid()) return false;
  LARGE_INTEGER start{};
  if (!::SetFilePointerEx(handleOf(file_), start, nullptr, FILE_BEGIN) || !::SetEndOfFile(handleOf(file_))) {
    return false;
  }
  return append(bytes, n);
}

}  // namespace common
