// Test seams of giving up root.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include <optional>
#include <string>

namespace utility::usystem {

// A user or group id written as decimal digits only, within the id type, not the "no id" value
// (-1); nothing otherwise.
std::optional<uint32_t> parseId(const char* text);

// Whether |path| (absolute) is a place |uid| may keep its own folders: the path itself, or where
// it does not exist yet its nearest existing parent, is owned by |uid|. Looked up with this
// process's rights, following links.
bool inPlaceOwnedBy(const std::string& path, uid_t uid);

}  // namespace utility::usystem
