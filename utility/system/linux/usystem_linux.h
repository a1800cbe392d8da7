// System facts' platform part, shared with the instance messaging.
#pragma once

#include <string>

namespace utility {
namespace usystem {

// The per-user folder for locks and sockets ($XDG_RUNTIME_DIR, else the private folder in /tmp).
std::string runtimeDir();

// A folder in /tmp only this user can use ("/tmp/tarnwick-<uid>"); empty when someone else
// owns or can write it.
std::string privateTempDir();

}  // namespace usystem
}  // namespace utility
