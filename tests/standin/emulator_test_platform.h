// What the stand-in emulator tests ask of the system directly, one implementation per platform
// (emulator_test_linux.cpp, win/emulator_test_win.cpp).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace standintest {

// The user the stand-in records for this process (see standin/emulator/platform.h).
unsigned currentUserId();
// Ends |pid| at once (0 is ignored).
void killProcess(unsigned pid);
// Sets (or with nullptr removes) an environment variable of this process, for its children.
void setEnvironment(const char* name, const char* value);
// Makes |home| the test's world and returns the Windows path text that names it: drive "C:"
// mapped onto it with a registry store of the world's own here, the folder itself on Windows.
std::wstring enterWorld(const std::filesystem::path& home, const std::filesystem::path& config);
// Removes the registry keys |keys| below HKEY_CURRENT_USER (the world's own store here needs
// nothing; Windows has one registry for the tests, which hold the stand-in's lock).
void forgetRegistryKeys(const std::vector<std::wstring>& keys);

}  // namespace standintest
