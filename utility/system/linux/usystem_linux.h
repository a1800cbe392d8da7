// System facts' platform part, shared with the instance messaging.
#pragma once

#include <string>

namespace utility {
namespace usystem {

// A folder in /tmp only this user can use ("/tmp/tarnwick-<uid>"); empty when someone else
// owns or can write it.
std::string privateTempDir();

}  // namespace usystem
}  // namespace utility
