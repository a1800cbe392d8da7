// The store of the registry's key files lives below XDG_CONFIG_HOME, which children inherit.
#include <cstdlib>
#include <optional>

#include "tests/support/temp_folder.h"
#include "tests/support/temp_registry.h"

namespace testsupport {

struct TempRegistry::State {
  TempFolder folder;
  std::optional<std::string> saved;
};

TempRegistry::TempRegistry(const std::string& prefix) {
  state_ = std::make_unique<State>(State{TempFolder(prefix), std::nullopt});
  if (const char* old = std::getenv("XDG_CONFIG_HOME")) state_->saved = old;
  location_ = state_->folder.path().string();
  ::setenv("XDG_CONFIG_HOME", location_.c_str(), 1);
}

TempRegistry::~TempRegistry() {
  if (state_->saved) {
    ::setenv("XDG_CONFIG_HOME", state_->saved->c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

void TempRegistry::adoptFromParent() {}

}  // namespace testsupport
