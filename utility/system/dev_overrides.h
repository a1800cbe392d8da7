// Environment overrides of development builds (TARNWICK_DEV_OVERRIDES). Release builds link a
// version that always answers "no override", so the environment is never consulted there.
#pragma once

#include <optional>
#include <string>

namespace utility {

// The value of the environment variable |name| when overrides are compiled in and it is set
// and not empty; otherwise nothing.
std::optional<std::string> devOverride(const char* name);

// Whether this build reads overrides at all.
bool devOverridesEnabled();

}  // namespace utility
