// The user's registry as one file per key below the configuration folder.
//
// A key file is UTF-8 text:
//   tarnwick-registry-key 1
//   key<TAB>Software\Dornvale\corvide-tw
//   sz<TAB>InstallDir<TAB>D:\Tarnwick\Tarnwick9
// with "%", TAB, CR, LF and NUL in names and values written as %XX. Changes take the store's lock
// file (flock), read the key, and replace the file whole (GLib writes a synced temporary file
// and renames it over the key).
// Readers take no lock: they see the old file or the new one, never a part.
#include <fcntl.h>
#include <glib.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "utility/system/log.h"
#include "utility/system/linux/posix_file_linux.h"
#include "utility/system/linux/registry_linux.h"
#include "utility/system/registry.h"
#include "utility/base/strings.h"
#include "utility/system/linux/drive_table_linux.h"

namespace utility {


namespace registry {

namespace {

constexpr const char* kHeader = "tarnwick-registry-key 1";
constexpr size_t kMaxReadableFileName = 200;

struct Value {
  std::wstring name;
  std::wstring data;
};

struct KeyData {
  std::wstring name;
  std::vector<Value> values;
};

// Names compare like the registry's: by their upper-case forms, whatever the process locale.
std::wstring fold(const std::wstring& text) {
  static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  std::wstring out = text;
  for (wchar_t& c : out) {
    if (utf8 != static_cast<locale_t>(nullptr)) {
      c = static_cast<wchar_t>(towupper_l(static_cast<wint_t>(c), utf8));
    } else if (c >= L'a' && c <= L'z') {
      c = static_cast<wchar_t>(c - L'a' + L'A');
    }
  }
  return out;
}

std::string escapeField(const std::wstring& text) {
  std::string out;
  for (const char c : wideToUtf8(text)) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r' || c == '\0') {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "%%%02X", static_cast<unsigned char>(c));
      out += hex;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::wstring unescapeField(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out.push_back(static_cast<char>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return utf8ToWide(out);
}

std::string serialize(const KeyData& key) {
  std::string text = std::string(kHeader) + "\nkey\t" + escapeField(key.name) + "\n";
  for (const Value& value : key.values) {
    text += "sz\t" + escapeField(value.name) + "\t" + escapeField(value.data) + "\n";
  }
  return text;
}

bool parse(const std::string& text, KeyData& key) {
  size_t start = 0;
  bool headerSeen = false;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!headerSeen) {
      if (line != kHeader) return false;
      headerSeen = true;
      continue;
    }
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string kind = line.substr(0, tab);
    const std::string rest = line.substr(tab + 1);
    if (kind == "key") {
      key.name = unescapeField(rest);
    } else if (kind == "sz") {
      const size_t second = rest.find('\t');
      if (second == std::string::npos) continue;
      key.values.push_back({unescapeField(rest.substr(0, second)), unescapeField(rest.substr(second + 1))});
    }
  }
  return headerSeen;
}

Value* findValue(KeyData& key, const std::wstring& name) {
  const std::wstring wanted = fold(name);
  for (Value& value : key.values) {
    if (value.name.size() == wanted.size() && fold(value.name) == wanted) return &value;
  }
  return nullptr;
}

// The file of a key: its folded name with everything but [a-z0-9._-] and non-ASCII bytes as
// %XX; long names are cut and told apart by a hash (the file names its key, which is checked).
std::string fileNameOf(const std::wstring& path) {
  std::wstring lower = fold(path);
  toLower(lower);
  const std::string bytes = wideToUtf8(lower);
  if (bytes.empty()) return "@.key";
  std::string name;
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-' || u >= 0x80) {
      name.push_back(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "%%%02x", u);
      name += hex;
    }
  }
  if (name.size() > kMaxReadableFileName) {
    uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char tail[24];
    std::snprintf(tail, sizeof(tail), "~%016llx", static_cast<unsigned long long>(hash));
    name = name.substr(0, kMaxReadableFileName - 40) + tail;
  }
  return name + ".key";
}

int makeFolders(const std::string& folder) {
  if (g_mkdir_with_parents(folder.c_str(), 0700) != 0) return errno;
  // GLib takes a refused mkdir with EEXIST as done, which a dangling link also answers.
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// 0, or the errno of the failing step (ENOENT: no such key; EBADMSG: not a key file).
int readKeyFile(const std::string& file, KeyData& key) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  std::string text;
  char buffer[8192];
  int error = 0;
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  if (error != 0) return error;
  key = KeyData{};
  return parse(text, key) ? 0 : EBADMSG;
}

// The errno a GLib file error stands for (GLib maps errno to these codes one way only).
int errnoOf(const GError* error) {
  static const struct {
    GFileError code;
    int error;
  } kCodes[] = {
      {G_FILE_ERROR_EXIST, EEXIST},   {G_FILE_ERROR_ISDIR, EISDIR},       {G_FILE_ERROR_ACCES, EACCES},
      {G_FILE_ERROR_NAMETOOLONG, ENAMETOOLONG}, {G_FILE_ERROR_NOENT, ENOENT}, {G_FILE_ERROR_NOTDIR, ENOTDIR},
      {G_FILE_ERROR_ROFS, EROFS},     {G_FILE_ERROR_LOOP, ELOOP},         {G_FILE_ERROR_NOSPC, ENOSPC},
      {G_FILE_ERROR_NOMEM, ENOMEM},   {G_FILE_ERROR_MFILE, EMFILE},       {G_FILE_ERROR_NFILE, ENFILE},
      {G_FILE_ERROR_BADF, EBADF},     {G_FILE_ERROR_INVAL, EINVAL},       {G_FILE_ERROR_PERM, EPERM},
      {G_FILE_ERROR_INTR, EINTR},     {G_FILE_ERROR_NXIO, ENXIO},         {G_FILE_ERROR_NODEV, ENODEV},
  };
  if (error != nullptr && error->domain == G_FILE_ERROR) {
    for (const auto& entry : kCodes) {
      if (entry.code == error->code) return entry.error;
    }
  }
  return EIO;
}

// The key file is replaced whole: written and synced under a temporary name beside it, then
// renamed over it, so readers see the old file or the new one.
int writeKeyFile(const std::string& file, const KeyData& key) {
  const std::string text = serialize(key);
  GError* error = nullptr;
  if (g_file_set_contents_full(file.c_str(), text.data(), static_cast<gssize>(text.size()),
                               static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT |
                                                                  G_FILE_SET_CONTENTS_DURABLE),
                               0600, &error)) {
    return 0;
  }
  const int code = errnoOf(error);
  g_error_free(error);
  return code;
}

// Holds the store's lock file for one read-modify-write (changes are rare and quick: one lock
// for all keys keeps the folder to the key files).
class KeyLock {
 public:
  explicit KeyLock(const std::string& file) {
    fd_ = ::open((file.substr(0, file.rfind('/') + 1) + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      error_ = errno;
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        error_ = errno;
        break;
      }
    }
  }
  ~KeyLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  KeyLock(const KeyLock&) = delete;
  KeyLock& operator=(const KeyLock&) = delete;
  int error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
};

// Reads the key at |file| for a change (|change| says whether to write it back); a missing
// key starts empty under |name|.
template <typename Change>
int changeKey(const std::string& file, const std::wstring& name, Change change) {
  KeyLock lock(file);
  if (lock.error() != 0) return lock.error();
  KeyData key;
  const int error = readKeyFile(file, key);
  const bool existed = error == 0;
  if (error == ENOENT || error == EBADMSG) {
    key = KeyData{name, {}};  // a damaged key is rebuilt rather than left unusable
  } else if (error != 0) {
    return error;
  } else if (fold(key.name) != fold(name)) {
    return EEXIST;  // another key's file (hashed names)
  }
  if (!change(key, existed)) return 0;
  return writeKeyFile(file, key);
}

}  // namespace

struct Key::Handle {
  std::string file;
};

Key::Key() = default;
Key::~Key() = default;
Key::Key(Key&&) noexcept = default;
Key& Key::operator=(Key&&) noexcept = default;

std::string storeFolder() {
  std::string config;
  if (const char* c = std::getenv("XDG_CONFIG_HOME"); c != nullptr && c[0] == '/') {
    config = c;
  } else {
    config = homeFolder() + "/.config";
  }
  while (config.size() > 1 && config.back() == '/') config.pop_back();
  return config + "/tarnwick/registry";
}

bool Key::openKey(const std::wstring& path, bool create) {
  close();
  if (!isValidKeyPath(path)) {
    common::logPrint("utility::registry::Key::open", __LINE__, L"bad key name [ %s ].", path.c_str());
    return false;
  }
  const std::string folder = storeFolder();
  if (create) {
    if (const int error = makeFolders(folder); error != 0) {
      common::logPrint("utility::registry::Key::create", __LINE__, L"registry folder failed! error = %d.",
                       error);
      return false;
    }
    // Like the registry, creating a key creates its missing parents.
    for (size_t sep = path.find(L'\\');; sep = path.find(L'\\', sep + 1)) {
      const std::wstring part = path.substr(0, sep);
      const std::string file = folder + "/" + fileNameOf(part);
      KeyData existing;
      const int present = readKeyFile(file, existing);
      if (present != 0 || fold(existing.name) != fold(part)) {
        const int error = changeKey(file, part, [](KeyData&, bool existed) { return !existed; });
        if (error != 0) {
          common::logPrint("utility::registry::Key::create", __LINE__,
                           L"create key [ %s ] failed! error = %d.", part.c_str(), error);
          return false;
        }
      }
      if (sep == std::wstring::npos) break;
    }
  }
  const std::string file = folder + "/" + fileNameOf(path);
  KeyData key;
  const int error = readKeyFile(file, key);
  if (error != 0 || fold(key.name) != fold(path)) {
    if (error != ENOENT) {
      common::logPrint("utility::registry::Key::open", __LINE__, L"open key [ %s ] failed! error = %d.",
                       path.c_str(), error != 0 ? error : EEXIST);
    }
    return false;
  }
  name_ = key.name;
  handle_ = std::make_unique<Handle>(Handle{file});
  return true;
}

bool Key::create(const std::wstring& path) { return openKey(path, true); }

bool Key::open(const std::wstring& path) { return openKey(path, false); }

void Key::close() {
  name_.clear();
  handle_.reset();
}

bool Key::queryString(const std::wstring& valueName, std::wstring& value) const {
  if (!isOpen()) return false;
  KeyData key;
  if (const int error = readKeyFile(handle_->file, key); error != 0) {
    if (error != ENOENT) {
      common::logPrint("utility::registry::Key::queryString", __LINE__,
                       L"read key [ %s ] failed! error = %d.", name_.c_str(), error);
    }
    return false;
  }
  const Value* found = findValue(key, valueName);
  if (found == nullptr) return false;
  value = found->data;
  return true;
}

bool Key::setString(const std::wstring& valueName, const std::wstring& value) {
  if (!isOpen()) return false;
  const int error = changeKey(handle_->file, name_, [&](KeyData& key, bool) {
    if (Value* found = findValue(key, valueName)) {
      found->data = value;
    } else {
      key.values.push_back({valueName, value});
    }
    return true;
  });
  if (error == 0) return true;
  common::logPrint("utility::registry::Key::setString", __LINE__,
                   L"write [ %s ] of key [ %s ] failed! error = %d.", valueName.c_str(), name_.c_str(),
                   error);
  return false;
}

bool Key::deleteValue(const std::wstring& valueName) {
  if (!isOpen()) return false;
  const int error = changeKey(handle_->file, name_, [&](KeyData& key, bool) {
    const Value* found = findValue(key, valueName);
    if (found == nullptr) return false;
    key.values.erase(key.values.begin() + (found - key.values.data()));
    return true;
  });
  if (error == 0) return true;
  common::logPrint("utility::registry::Key::deleteValue", __LINE__,
                   L"delete [ %s ] of key [ %s ] failed! error = %d.", valueName.c_str(), name_.c_str(),
                   error);
  return false;
}

std::vector<std::pair<std::wstring, std::wstring>> Key::values() const {
  std::vector<std::pair<std::wstring, std::wstring>> out;
  KeyData key;
  if (!isOpen() || readKeyFile(handle_->file, key) != 0) return out;
  for (const Value& value : key.values) out.emplace_back(value.name, value.data);
  return out;
}

}  // namespace registry
}  // namespace utility
