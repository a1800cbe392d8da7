// Giving up root for the desktop user (Linux's start step, see utility/system/privilege.h), and
// its test seams.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include <optional>
#include <string>

namespace utility::usystem {

struct PrivilegeDrop {
  enum class Outcome {
    notRoot,     // started as an ordinary user: nothing to give up
    dropped,     // root given up for the desktop user, for good
    stayedRoot,  // started as root and no desktop user is known: runs as root
    failed,      // a desktop user is known but root could not be given up: must not run
  };
  Outcome outcome = Outcome::notRoot;
  uint32_t uid = 0;    // the user the process runs as afterwards (dropped)
  uint32_t gid = 0;
  std::string user;    // that user's name (dropped)
  std::string source;  // what named the desktop user: "PKEXEC_UID", "SUDO_UID", "real user id"
  std::string reason;  // why the process stayed root, or which step failed
  int error = 0;       // errno of the failed step
};

// Gives up root for the desktop user who started the installer: PKEXEC_UID (pkexec), else
// SUDO_UID with SUDO_GID (sudo); a set-user-id start goes back to the real user. The user id must
// be a number other than 0 that the user database knows. Sets the supplementary groups, the
// group and the user ids (real, effective and saved: root cannot be regained, which is checked),
// HOME, USER and LOGNAME from the user database, and keeps XDG_*_HOME, XDG_RUNTIME_DIR and
// XAUTHORITY only where they lie in folders that user owns (sudo -E and pkexec leave root's
// there), so the user's own defaults apply otherwise. prepareProcessStart runs it.
PrivilegeDrop dropRootForDesktopUser();

// The effective user id of this process (0 is root).
uint32_t currentUserId();

// A user or group id written as decimal digits only, within the id type, not the "no id" value
// (-1); nothing otherwise.
std::optional<uint32_t> parseId(const char* text);

// Whether |path| (absolute) is a place |uid| may keep its own folders: the path itself, or where
// it does not exist yet its nearest existing parent, is owned by |uid|. Looked up with this
// process's rights, following links.
bool inPlaceOwnedBy(const std::string& path, uid_t uid);

}  // namespace utility::usystem
