#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "utility/drive_table.h"
#include "utility/log.h"
#include "utility/ufile.h"

namespace utility {

std::string homeFolder();  // drive_table_linux.cpp

namespace ufile {

namespace {

bool isDirectory(const std::string& host) {
  struct stat st {};
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p; returns 0 or the errno of the failing step.
int makeDirs(const std::string& host) {
  if (host.empty()) return ENOENT;
  if (isDirectory(host)) return 0;
  std::string partial;
  size_t pos = 0;
  while (pos <= host.size()) {
    size_t next = host.find('/', pos);
    if (next == std::string::npos) next = host.size();
    partial = host.substr(0, next);
    if (!partial.empty() && !isDirectory(partial)) {
      if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return errno;
      if (!isDirectory(partial)) return ENOTDIR;
    }
    pos = next + 1;
  }
  return 0;
}

bool copyFile(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  const std::string temp = to + ".partial-move";
  const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    ::close(in);
    return false;
  }
  char buffer[1 << 16];
  bool ok = true;
  while (true) {
    const ssize_t n = ::read(in, buffer, sizeof(buffer));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  ok = ::fsync(out) == 0 && ok;
  ok = ::close(out) == 0 && ok;
  ::close(in);
  if (ok) ok = ::rename(temp.c_str(), to.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace

bool exists(const std::wstring& path) {
  const std::string host = toHostPath(path);
  struct stat st {};
  return !host.empty() && stat(host.c_str(), &st) == 0;
}

bool fileSize(const std::wstring& path, uint64_t& size) {
  // stat, not open: opening a FIFO would wait for a writer. Only regular files have a size.
  const std::string host = toHostPath(path);
  struct stat st {};
  if (host.empty() || stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool makeDir(const std::wstring& path) {
  const int error = makeDirs(toHostPath(path));
  if (error == 0) return true;
  common::logPrint("utility::ufile::makeDir", __LINE__, L"make dir failed! error = %d.", error);
  return false;
}

bool moveFile(const std::wstring& from, const std::wstring& to, unsigned flags) {
  const std::string source = toHostPath(from);
  const std::string target = toHostPath(to);
  int error = 0;
  struct stat st {};
  if (source.empty() || target.empty()) {
    error = ENOENT;
  } else if ((flags & 1u) == 0 && lstat(target.c_str(), &st) == 0) {
    error = EEXIST;
  } else if (::rename(source.c_str(), target.c_str()) != 0) {
    error = errno;
    if (error == EXDEV && (flags & 2u) != 0 && copyFile(source, target)) {
      ::unlink(source.c_str());
      error = 0;
    }
  }
  if (error == 0) return true;
  common::logPrint("utility::ufile::moveFile", __LINE__,
                   L"move file from [ %s ] to [ %s ] flag = %d failed! error = %d.", from.c_str(),
                   to.c_str(), flags, error);
  return false;
}

bool removeFile(const std::wstring& path) {
  const std::string host = toHostPath(path);
  if (!host.empty() && ::unlink(host.c_str()) == 0) return true;
  common::logPrint("utility::ufile::removeFile", __LINE__, L"removeFile file from [ %s ] error = %d.",
                   path.c_str(), host.empty() ? ENOENT : errno);
  return false;
}

std::wstring moduleFileName() {
  char buffer[PATH_MAX + 1];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return {};
  return fromHostPath(std::string(buffer, static_cast<size_t>(n)));
}

std::wstring moduleDir() { return parentDir(moduleFileName()); }

std::wstring appDataDir() {
  std::string folder;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
    folder = data;
  } else {
    folder = homeFolder() + "/.local/share";
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::wstring text = fromHostPath(folder);
  while (!text.empty() && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return text;
}

std::wstring desktopDir() {
  // The XDG user-dirs file names the desktop folder; otherwise ~/Desktop.
  const std::string home = homeFolder();
  std::string config;
  if (const char* c = std::getenv("XDG_CONFIG_HOME"); c != nullptr && c[0] == '/') {
    config = c;
  } else {
    config = home + "/.config";
  }
  std::string folder = home + "/Desktop";
  if (const char* d = std::getenv("XDG_DESKTOP_DIR"); d != nullptr && d[0] == '/') {
    folder = d;
  } else if (FILE* f = std::fopen((config + "/user-dirs.dirs").c_str(), "r")) {
    char line[4096];
    while (std::fgets(line, sizeof(line), f) != nullptr) {
      std::string text(line);
      const std::string key = "XDG_DESKTOP_DIR=\"";
      if (text.rfind(key, 0) != 0) continue;
      const size_t end = text.find('"', key.size());
      if (end == std::string::npos) continue;
      std::string value = text.substr(key.size(), end - key.size());
      if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
      if (!value.empty() && value[0] == '/') folder = value;
    }
    std::fclose(f);
  }
  std::wstring text = fromHostPath(folder);
  while (!text.empty() && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return text;
}

}  // namespace ufile

FileHandle::~FileHandle() { close(); }

bool FileHandle::open(const std::wstring& path) {
  close();
  const std::string host = toHostPath(path);
  if (host.empty()) return false;
  fd_ = ::open(host.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd_ >= 0;
}

bool FileHandle::write(const void* bytes, size_t count) {
  if (fd_ < 0) return false;
  const char* p = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t n = ::write(fd_, p, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

void FileHandle::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace utility
