#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "utility/base/strings.h"
#include "utility/system/linux/usystem_linux.h"
#include "utility/system/usystem.h"

namespace utility::usystem {

// The lock file's descriptor; closing it releases the lock.
struct InstanceMutex::Native {
  explicit Native(int descriptor) : fd(descriptor) {}
  ~Native() { ::close(fd); }
  Native(const Native&) = delete;
  Native& operator=(const Native&) = delete;
  int fd;
};

InstanceMutex::InstanceMutex() = default;
InstanceMutex::~InstanceMutex() = default;
InstanceMutex::InstanceMutex(InstanceMutex&& other) noexcept = default;
InstanceMutex& InstanceMutex::operator=(InstanceMutex&& other) noexcept = default;

void InstanceMutex::close() { native_.reset(); }

std::string runtimeDir() {
  if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir != nullptr && dir[0] == '/') {
    struct stat st {};
    if (stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()) return dir;
  }
  return privateTempDir();
}

std::string privateTempDir() {
  const std::string dir = "/tmp/tarnwick-" + std::to_string(getuid());
  mkdir(dir.c_str(), 0700);
  struct stat st {};
  // Refuse a folder someone else made for us (or a link planted in its place).
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
      (st.st_mode & 077) != 0) {
    return {};
  }
  return dir;
}

InstanceMutex createInstanceMutex(const std::wstring& name, bool, bool failIfExists) {
  InstanceMutex mutex;
  const std::string dir = runtimeDir();
  if (dir.empty() || name.empty() || name.find(L'/') != std::wstring::npos) {
    mutex.error_ = dir.empty() ? EACCES : EINVAL;
    return mutex;
  }
  const std::string path = dir + "/" + wideToUtf8(name) + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    mutex.error_ = errno;
    return mutex;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error != EWOULDBLOCK || failIfExists) {
      ::close(fd);
      if (error != EWOULDBLOCK) mutex.error_ = error;
      mutex.alreadyExisted_ = error == EWOULDBLOCK;
      return mutex;
    }
    mutex.alreadyExisted_ = true;  // opened, not held
  }
  mutex.native_ = std::make_unique<InstanceMutex::Native>(fd);
  return mutex;
}

uint16_t userDefaultUILanguage() {
  static const std::map<std::string, uint16_t> kIds = {
      {"ar", 0x0401}, {"de", 0x0407}, {"en", 0x0409}, {"es", 0x0C0A}, {"fa", 0x0429},
      {"fr", 0x040C}, {"hi", 0x0439}, {"id", 0x0421}, {"in", 0x0421}, {"it", 0x0410},
      {"ja", 0x0411}, {"ko", 0x0412}, {"ms", 0x043E}, {"pl", 0x0415}, {"pt", 0x0816},
      {"ru", 0x0419}, {"th", 0x041E}, {"tr", 0x041F}, {"uk", 0x0422}, {"vi", 0x042A},
      {"nl", 0x0413}, {"sv", 0x041D}, {"cs", 0x0405}, {"el", 0x0408}, {"he", 0x040D},
      {"hu", 0x040E}, {"da", 0x0406}, {"fi", 0x040B}, {"no", 0x0414}, {"nb", 0x0414},
      {"ro", 0x0418}, {"bg", 0x0402}, {"ca", 0x0403}};
  // The id of one locale or language tag ("pt_BR.UTF-8", "ko"); 0 for "C", "POSIX" or nothing.
  auto idOf = [](std::string tag) -> uint16_t {
    tag = tag.substr(0, tag.find('.'));
    tag = tag.substr(0, tag.find('@'));
    if (tag == "C" || tag == "POSIX" || tag.empty()) return 0;
    std::string language = tag.substr(0, tag.find_first_of("_-"));
    for (char& c : language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string region = tag.size() > language.size() ? tag.substr(language.size() + 1) : "";
    if (language == "zh") {
      if (region == "TW") return 0x0404;
      if (region == "HK") return 0x0C04;
      if (region == "MO") return 0x1404;
      if (region == "SG") return 0x1004;
      return 0x0804;
    }
    if (auto it = kIds.find(language); it != kIds.end()) return it->second;
    return 0x0400;  // a language without an id here: neutral, in no table
  };
  auto variable = [](const char* name) -> std::string {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
  };
  // The messages locale: the first of LC_ALL, LC_MESSAGES, LANG that is set. When it is the C
  // locale the messages are English and LANGUAGE does not count, as for every other program.
  std::string messages;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    messages = variable(name);
    if (!messages.empty()) break;
  }
  const uint16_t messagesId = idOf(messages);
  if (messagesId == 0) return 0x0409;
  // Otherwise LANGUAGE's first entry, when it names a language, goes before it.
  const std::string preferred = variable("LANGUAGE");
  if (const uint16_t id = idOf(preferred.substr(0, preferred.find(':'))); id != 0) return id;
  return messagesId;
}

}  // namespace utility::usystem
