// A key below "HKEY_CURRENT_USER\Software\Tarnwick tests" stands in for HKEY_CURRENT_USER; its
// name goes to child processes in TARNWICK_TEST_REGISTRY.
#include <windows.h>

#include <cstdio>
#include <random>
#include <stdexcept>

#include "tests/support/environment.h"
#include "tests/support/temp_registry.h"

namespace testsupport {

namespace {

constexpr const char* kVariable = "TARNWICK_TEST_REGISTRY";

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }  // ASCII

bool overrideCurrentUser(const std::string& location) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, wide(location).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool done = ::RegOverridePredefKey(HKEY_CURRENT_USER, key) == ERROR_SUCCESS;
  ::RegCloseKey(key);  // the override holds a key of its own
  return done;
}

}  // namespace

struct TempRegistry::State {};

TempRegistry::TempRegistry(const std::string& prefix) {
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  std::random_device random;
  char suffix[16];
  std::snprintf(suffix, sizeof(suffix), "-%08x", static_cast<unsigned>(random()));
  // Not volatile: the keys the installer makes below it never are, and may not be below a
  // volatile one.
  location_ = "Software\\Tarnwick tests\\" + prefix + suffix;
  HKEY parent = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Tarnwick tests", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &parent, nullptr) == ERROR_SUCCESS) {
    ::RegCloseKey(parent);
  }
  if (!overrideCurrentUser(location_)) throw std::runtime_error("no temporary registry key: " + location_);
  state_ = std::make_unique<State>();
  setEnv(kVariable, location_.c_str());
}

TempRegistry::~TempRegistry() {
  ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  unsetEnv(kVariable);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, wide(location_).c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, wide(location_).c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Tarnwick tests");  // only once no other test uses it
}

void TempRegistry::adoptFromParent() {
  const char* location = std::getenv(kVariable);
  if (location != nullptr && *location != '\0') overrideCurrentUser(location);
}

}  // namespace testsupport
