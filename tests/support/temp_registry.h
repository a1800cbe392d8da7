// A private user registry for a test: while a TempRegistry lives, the keys this process (and the
// programs it starts) reach through utility::registry are in a store of their own, removed with
// everything in it when it goes. One at a time per process.
//
// On Linux the store is a temporary configuration folder (XDG_CONFIG_HOME). On Windows it is a
// temporary key standing in for HKEY_CURRENT_USER (RegOverridePredefKey): the user's own
// settings below HKEY_CURRENT_USER, the shell's included, are not seen by this process meanwhile.
#pragma once

#include <memory>
#include <string>

namespace testsupport {

class TempRegistry {
 public:
  explicit TempRegistry(const std::string& prefix = "registry");
  ~TempRegistry();
  TempRegistry(const TempRegistry&) = delete;
  TempRegistry& operator=(const TempRegistry&) = delete;

  // Where the store is: the folder (Linux) or the key below the real HKEY_CURRENT_USER (Windows).
  const std::string& location() const { return location_; }

  // For programs a test starts: take the store of the TempRegistry of the process that started
  // this one (it names it in the environment). Nothing to do when there is none.
  static void adoptFromParent();

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string location_;
};

}  // namespace testsupport
