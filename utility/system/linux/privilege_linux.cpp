// Linux's start step: giving up root for the desktop user: groups, gid, uid (all three), a check
// that root cannot be regained, and the user's own folders in the environment.
#include "utility/system/privilege.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "utility/base/strings.h"
#include "utility/system/linux/privilege_linux.h"

namespace utility::usystem {

namespace {

struct UserEntry {
  std::string name;
  std::string home;
  gid_t gid = 0;
};

bool lookUpUser(uid_t uid, UserEntry& out) {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  while (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE &&
         buffer.size() < (1u << 20)) {
    buffer.resize(buffer.size() * 2);
  }
  if (found == nullptr || entry.pw_name == nullptr) return false;
  out.name = entry.pw_name;
  out.home = entry.pw_dir != nullptr ? entry.pw_dir : "";
  out.gid = entry.pw_gid;
  return true;
}

// The user's groups from the group database, |primary| first.
std::vector<gid_t> groupsOf(const std::string& name, gid_t primary) {
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  while (::getgrouplist(name.c_str(), primary, groups.data(), &count) < 0) {
    if (count <= static_cast<int>(groups.size())) return {primary};  // cannot be read
    groups.resize(static_cast<size_t>(count));
  }
  groups.resize(static_cast<size_t>(count));
  return groups;
}

bool hasGroup(const std::vector<gid_t>& groups, gid_t gid) {
  for (const gid_t g : groups) {
    if (g == gid) return true;
  }
  return false;
}

// Whether any capability is left in the permitted or effective set.
bool holdsCapabilities() {
  __user_cap_header_struct header{};
  header.version = _LINUX_CAPABILITY_VERSION_3;
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (::syscall(SYS_capget, &header, data) != 0) return true;  // cannot tell: assume the worst
  for (const auto& d : data) {
    if (d.permitted != 0 || d.effective != 0) return true;
  }
  return false;
}

// The environment of the desktop user: the home folder and names from the user database, the
// user's own XDG folders (a folder root owns, left there by sudo -E or pkexec, is dropped so
// the user's default applies), and no marks of the root start for the programs started later.
void settleEnvironment(const UserEntry& user, uid_t uid) {
  ::setenv("HOME", user.home.c_str(), 1);
  ::setenv("USER", user.name.c_str(), 1);
  ::setenv("LOGNAME", user.name.c_str(), 1);
  for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                           "XDG_RUNTIME_DIR", "XAUTHORITY", "ICEAUTHORITY"}) {
    const char* value = std::getenv(name);
    if (value == nullptr) continue;
    if (value[0] != '/' || !inPlaceOwnedBy(value, uid)) ::unsetenv(name);
  }
  // pkexec leaves no runtime folder: the session's own keeps the single instance per user.
  if (std::getenv("XDG_RUNTIME_DIR") == nullptr) {
    const std::string runtime = "/run/user/" + std::to_string(uid);
    struct stat st {};
    if (::stat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid &&
        (st.st_mode & 077) == 0) {
      ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
  }
  for (const char* name : {"PKEXEC_UID", "SUDO_UID", "SUDO_GID", "SUDO_USER", "SUDO_COMMAND"}) {
    ::unsetenv(name);
  }
  // A working folder of root's (sudo keeps it) that the user cannot enter is left for the home.
  if (::access(".", X_OK) != 0 && ::chdir(user.home.c_str()) != 0) {
    if (::chdir("/") != 0) {
      // Nothing else to go to; relative paths are not used.
    }
  }
}

}  // namespace

std::optional<uint32_t> parseId(const char* text) {
  if (text == nullptr || *text == '\0' || std::strlen(text) > 10) return std::nullopt;
  uint64_t value = 0;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(*c - '0');
  }
  // (uid_t)-1 means "no id" to the kernel's set*id calls.
  if (value >= UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(value);
}

bool inPlaceOwnedBy(const std::string& path, uid_t uid) {
  if (path.empty() || path[0] != '/') return false;
  std::string place = path;
  while (true) {
    struct stat st {};
    if (::stat(place.c_str(), &st) == 0) return st.st_uid == uid;
    if (errno != ENOENT || place == "/") return false;  // unreachable for this user, or odd
    while (place.size() > 1 && place.back() == '/') place.pop_back();
    const size_t slash = place.rfind('/');
    place = slash == 0 ? "/" : place.substr(0, slash);
  }
}

PrivilegeDrop dropRootForDesktopUser() {
  PrivilegeDrop result;
  uid_t realUid = 0;
  uid_t effectiveUid = 0;
  uid_t savedUid = 0;
  ::getresuid(&realUid, &effectiveUid, &savedUid);
  if (realUid != 0 && effectiveUid != 0 && savedUid != 0) return result;

  // |error| is read before anything else can change errno.
  auto failed = [&result](const char* step, int error) {
    result.outcome = PrivilegeDrop::Outcome::failed;
    result.reason = step;
    result.error = error;
    return result;
  };
  uid_t uid = 0;
  std::optional<uint32_t> requestedGid;
  if (realUid != 0) {
    // Started set-user-id root: the environment is the caller's to choose and names nobody;
    // the caller is the real user.
    uid = realUid;
    requestedGid = ::getgid();
    result.source = "real user id";
  } else {
    const char* text = nullptr;
    if (const char* pk = std::getenv("PKEXEC_UID"); pk != nullptr) {
      result.source = "PKEXEC_UID";
      text = pk;
    } else if (const char* su = std::getenv("SUDO_UID"); su != nullptr) {
      result.source = "SUDO_UID";
      text = su;
      requestedGid = parseId(std::getenv("SUDO_GID"));
    }
    result.outcome = PrivilegeDrop::Outcome::stayedRoot;
    if (text == nullptr) {
      result.reason = "neither PKEXEC_UID nor SUDO_UID is set";
      return result;
    }
    const std::optional<uint32_t> parsed = parseId(text);
    if (!parsed) {
      result.reason = result.source + " is not a user id";
      return result;
    }
    if (*parsed == 0) {
      result.reason = result.source + " names root";
      return result;
    }
    uid = *parsed;
  }

  UserEntry user;
  if (!lookUpUser(uid, user)) {
    result.reason = result.source + " " + std::to_string(uid) + " is not in the user database";
    // A set-user-id start must not go on as root for a caller it cannot name.
    if (realUid != 0) return failed("the real user is not in the user database", ENOENT);
    return result;
  }
  // The group sudo names counts only when it is one of the user's own.
  const std::vector<gid_t> groups = groupsOf(user.name, user.gid);
  gid_t gid = user.gid;
  if (requestedGid && hasGroup(groups, *requestedGid)) gid = *requestedGid;
  result.uid = uid;
  result.gid = gid;
  result.user = user.name;

  // Groups first, the user id last: after it nothing else can be changed.
  if (::setgroups(groups.size(), groups.data()) != 0) return failed("setgroups", errno);
  if (::setresgid(gid, gid, gid) != 0) return failed("setresgid", errno);
  if (::setresuid(uid, uid, uid) != 0) return failed("setresuid", errno);
  uid_t r = 0, e = 0, s = 0;
  gid_t rg = 0, eg = 0, sg = 0;
  if (::getresuid(&r, &e, &s) != 0 || r != uid || e != uid || s != uid ||
      ::getresgid(&rg, &eg, &sg) != 0 || rg != gid || eg != gid || sg != gid) {
    return failed("the ids did not change", EPERM);
  }
  // A parent's secure bits could have kept capabilities across the change.
  if (::setuid(0) == 0 || holdsCapabilities()) {
    return failed("root could be regained", EPERM);
  }
  // The id change made the process undumpable; it holds nothing of root's, so it becomes an
  // ordinary process of the user (its /proc entries readable by the user's tools).
  ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
  settleEnvironment(user, uid);
  result.outcome = PrivilegeDrop::Outcome::dropped;
  return result;
}

uint32_t currentUserId() { return ::geteuid(); }

ProcessStart prepareProcessStart() {
  ProcessStart start;
  const PrivilegeDrop drop = dropRootForDesktopUser();
  switch (drop.outcome) {
    case PrivilegeDrop::Outcome::failed:
      // Neither root's files nor the user's may be touched by a half-changed identity.
      start.mayRun = false;
      start.failure = "cannot give up root for user " + std::to_string(drop.uid) + ": " + drop.reason +
                      " (errno " + std::to_string(drop.error) + ")";
      break;
    case PrivilegeDrop::Outcome::dropped:
      start.logText = L"gave up root: running as desktop user " + std::to_wstring(drop.uid) + L" (" +
                      utf8ToWide(drop.user) + L"), named by " + utf8ToWide(drop.source);
      break;
    case PrivilegeDrop::Outcome::stayedRoot:
      start.logText = L"running as root: no desktop user known (" + utf8ToWide(drop.reason) + L")";
      break;
    case PrivilegeDrop::Outcome::notRoot:
      break;
  }
  return start;
}

}  // namespace utility::usystem
