// The registry store's files on Linux: where they live, and that writers leave only key files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <future>

#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"
#include "utility/system/linux/registry_linux.h"
#include "utility/system/registry.h"

namespace fs = std::filesystem;

namespace {

TEST(RegistryStoreLinux, KeyFilesLiveInTheConfigFolderAndWritersLeaveNoTemporaryFiles) {
  const testsupport::TempRegistry registry("registry-store");
  EXPECT_EQ(utility::registry::storeFolder(), (fs::path(registry.location()) / "tarnwick" / "registry").string());
  auto hammer = [](const char* tag) {
    return testsupport::runProgram(testsupport::programBeside(REGISTRY_TOOL), {"hammer", "Software\\Dornvale\\Shared", tag, "200"});
  };
  auto a = std::async(std::launch::async, hammer, "A");
  auto b = std::async(std::launch::async, hammer, "B");
  EXPECT_EQ(a.get(), 0);
  EXPECT_EQ(b.get(), 0);
  size_t keys = 0;
  for (const auto& entry : fs::directory_iterator(utility::registry::storeFolder())) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.rfind(".key-", 0), std::string::npos) << entry.path();
    keys += entry.path().extension() == ".key" ? 1 : 0;
  }
  EXPECT_EQ(keys, 3u);  // Software, Software\Dornvale, Software\Dornvale\Shared
}

TEST(RegistryStoreLinux, DefaultsToTheHomeConfigFolder) {
  const char* home = std::getenv("HOME");
  const std::string saved = home != nullptr ? home : "";
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", "/tmp/some-home", 1);
  EXPECT_EQ(utility::registry::storeFolder(), "/tmp/some-home/.config/tarnwick/registry");
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_EQ(utility::registry::storeFolder(), "/tmp/some-home/.config/tarnwick/registry");
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", saved.c_str(), 1);
}

}  // namespace
