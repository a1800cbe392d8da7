// The registry store's platform part: where its key files live.
#pragma once

#include <string>

namespace utility {
namespace registry {

// The folder of the key files: $XDG_CONFIG_HOME/tarnwick/registry (else ~/.config/...).
std::string storeFolder();

}  // namespace registry
}  // namespace utility
