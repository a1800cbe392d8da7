// The log file where links, FIFOs and descriptors are the system's own.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/support/temp_folder.h"
#include "tests/support/test_fs.h"
#include "utility/base/clock.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"
#include "utility/base/wformat.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    path_ = dir_ / "downloader.log";
  }
  testsupport::TempFolder temp_{"log"};
  fs::path dir_;
  fs::path path_;
};

// Something planted at the log path is never written through, and the writer carries on.
TEST_F(LogTest, LinksFifosAndFoldersAtTheLogPathAreLeftAlone) {
  const fs::path victim = dir_ / "victim.txt";
  const fs::path missing = dir_ / "created-through-link.txt";
  struct Case {
    const char* name;
    void (*plant)(const fs::path& at, const fs::path& victim, const fs::path& missing);
  };
  const Case cases[] = {
      {"link to a file", [](const fs::path& at, const fs::path& v, const fs::path&) { fs::create_symlink(v, at); }},
      {"dangling link", [](const fs::path& at, const fs::path&, const fs::path& m) { fs::create_symlink(m, at); }},
      {"fifo", [](const fs::path& at, const fs::path&, const fs::path&) { ASSERT_TRUE(testfs::makeFifo(at.string())); }},
      {"folder", [](const fs::path& at, const fs::path&, const fs::path&) { fs::create_directory(at); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(path_);
    std::ofstream(victim, std::ios::binary | std::ios::trunc) << "keep me";
    c.plant(path_, victim, missing);
    const fs::file_type before = fs::symlink_status(path_).type();
    {
      common::LogWriter writer(path_);
      common::LogStream("f", 1, &writer) << std::wstring_view(L"must go nowhere");
      EXPECT_TRUE(writer.flush(5000));
    }
    EXPECT_EQ(readAll(victim), "keep me");
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(fs::symlink_status(path_).type(), before);
  }
}

TEST_F(LogTest, LogDescriptorIsNotInheritedByChildren) {
  common::LogWriter writer(path_);
  common::LogStream("f", 1, &writer) << std::wstring_view(L"open now");
  ASSERT_TRUE(writer.flush(5000));
  const testfs::OpenDescriptors open = testfs::descriptorsOn(path_.string());
  EXPECT_EQ(open.total, 1);
  EXPECT_EQ(open.inherited, 0);
}

}  // namespace
