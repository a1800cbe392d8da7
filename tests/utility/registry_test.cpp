// The user registry's behaviour on every platform, in a private store per test.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"
#include "utility/base/strings.h"
#include "utility/system/registry.h"

using utility::registry::Key;

namespace {

// Runs the registry tool in its own process; returns its exit code and what it printed.
std::pair<int, std::string> runTool(const std::vector<std::string>& arguments) {
  std::string output;
  const int code = testsupport::runProgram(testsupport::programBeside(REGISTRY_TOOL), arguments, &output);
  return {code, output};
}

class Registry : public ::testing::Test {
 protected:
  testsupport::TempRegistry registry_{"registry-test"};
};

TEST_F(Registry, KeysAndValuesLikeTheRegistry) {
  Key key;
  EXPECT_FALSE(key.open(L"Software\\Dornvale\\Corvide-TW"));  // open never creates
  ASSERT_TRUE(key.create(L"Software\\Dornvale\\Corvide-TW"));
  EXPECT_TRUE(key.values().empty());
  ASSERT_TRUE(key.setString(L"InstallDir", L"D:\\Tarnwick\\Tarnwick9\\"));
  ASSERT_TRUE(key.setString(L"Version", L"9.0"));
  ASSERT_TRUE(key.setString(L"INSTALLDIR", L"E:\\Emu"));  // same value, first spelling kept

  Key again;
  ASSERT_TRUE(again.open(L"software\\DORNVALE\\corvide-tw"));
  EXPECT_EQ(again.name(), L"Software\\Dornvale\\Corvide-TW");
  std::wstring value;
  ASSERT_TRUE(again.queryString(L"installdir", value));
  EXPECT_EQ(value, L"E:\\Emu");
  using Values = std::vector<std::pair<std::wstring, std::wstring>>;
  EXPECT_EQ(again.values(), (Values{{L"InstallDir", L"E:\\Emu"}, {L"Version", L"9.0"}}));

  // Creating a key creates its parents; a second create opens what is there.
  Key parent;
  EXPECT_TRUE(parent.open(L"Software\\Dornvale"));
  EXPECT_TRUE(parent.open(L"SOFTWARE"));
  EXPECT_EQ(parent.name(), L"Software");
  ASSERT_TRUE(parent.create(L"software\\dornvale\\corvide-tw"));
  EXPECT_EQ(parent.values().size(), 2u);

  EXPECT_TRUE(again.deleteValue(L"VERSION"));
  EXPECT_TRUE(again.deleteValue(L"Version"));  // already gone
  EXPECT_FALSE(key.queryString(L"Version", value));
  EXPECT_EQ(key.values(), (Values{{L"InstallDir", L"E:\\Emu"}}));

  Key closed;
  EXPECT_FALSE(closed.setString(L"a", L"b"));
  EXPECT_FALSE(closed.queryString(L"a", value));
}

TEST_F(Registry, NamesAndDataOfAnyText) {
  const std::wstring keyPath = L"Software\\Tëst 100%\\tab\there";
  const std::pair<std::wstring, std::wstring> values[] = {
      {L"", L"default value"},       {L"with\ttab", L"line1\nline2\r\n"},
      {L"percent%41", L"%41%%"},     {L"nul", std::wstring(L"before\0after", 12)},
      {L"Ünï游戏", L"Δ\\/:*?\"<>|"}, {L"empty", L""},
  };
  Key key;
  ASSERT_TRUE(key.create(keyPath));
  for (const auto& [name, data] : values) ASSERT_TRUE(key.setString(name, data)) << utility::wideToUtf8(name);
  Key reopened;
  ASSERT_TRUE(reopened.open(keyPath));
  for (const auto& [name, data] : values) {
    std::wstring read;
    EXPECT_TRUE(reopened.queryString(name, read)) << utility::wideToUtf8(name);
    EXPECT_EQ(read, data) << utility::wideToUtf8(name);
  }
  // Case folding is not limited to ASCII.
  std::wstring read;
  EXPECT_TRUE(reopened.queryString(L"üNÏ游戏", read));

  // Long key names that differ only at the end are different keys (a key name has at most 255
  // characters).
  const std::wstring longBase = L"Software\\" + std::wstring(250, L'k');
  Key first, second;
  ASSERT_TRUE(first.create(longBase + L"1"));
  ASSERT_TRUE(second.create(longBase + L"2"));
  ASSERT_TRUE(first.setString(L"v", L"one"));
  ASSERT_TRUE(second.setString(L"v", L"two"));
  ASSERT_TRUE(first.queryString(L"v", read));
  EXPECT_EQ(read, L"one");
}

TEST_F(Registry, BadKeyNamesAreRefused) {
  for (const wchar_t* bad : {L"\\Software", L"Software\\", L"Software\\\\Dornvale", L"\\"}) {
    Key key;
    EXPECT_FALSE(key.create(bad)) << utility::wideToUtf8(bad);
    EXPECT_FALSE(key.isOpen());
  }
}

TEST_F(Registry, ValuesOutliveTheProcess) {
  ASSERT_EQ(runTool({"set", "Software\\Pellfor\\Tarnwick9", "InstallDir", "D:\\Tarnwick\\Tarnwick9\\"}).first, 0);
  Key key;
  ASSERT_TRUE(key.open(L"Software\\Pellfor\\Tarnwick9"));
  std::wstring value;
  ASSERT_TRUE(key.queryString(L"InstallDir", value));
  EXPECT_EQ(value, L"D:\\Tarnwick\\Tarnwick9\\");

  ASSERT_TRUE(key.setString(L"Run", L"VeRudi"));
  EXPECT_EQ(runTool({"get", "software\\pellfor\\tarnwick9", "run"}), std::make_pair(0, std::string("VeRudi")));
  EXPECT_EQ(runTool({"get", "Software\\Pellfor\\Tarnwick9", "Missing"}).first, 1);
}

TEST_F(Registry, ConcurrentWritersNeverBreakTheKeyNorLoseUpdates) {
  const std::wstring keyPath = L"Software\\Dornvale\\Shared";
  Key reader;
  ASSERT_TRUE(reader.create(keyPath));

  // Meanwhile this process keeps reading: every read sees a whole key.
  std::atomic<bool> done{false};
  std::atomic<int> brokenReads{0};
  std::thread watcher([&] {
    while (!done) {
      std::wstring value;
      Key key;
      if (!key.open(keyPath)) ++brokenReads;
      if (key.queryString(L"Shared", value) && value.rfind(L"A-", 0) != 0 && value.rfind(L"B-", 0) != 0) {
        ++brokenReads;
      }
    }
  });
  auto a = std::async(std::launch::async, [] { return runTool({"hammer", "Software\\Dornvale\\Shared", "A", "1000"}); });
  auto b = std::async(std::launch::async, [] { return runTool({"hammer", "Software\\Dornvale\\Shared", "B", "1000"}); });
  EXPECT_EQ(a.get().first, 0);
  EXPECT_EQ(b.get().first, 0);
  done = true;
  watcher.join();
  EXPECT_EQ(brokenReads, 0);

  std::wstring shared;
  ASSERT_TRUE(reader.queryString(L"Shared", shared));
  EXPECT_TRUE(shared == L"A-999" || shared == L"B-999") << utility::wideToUtf8(shared);
  // Every value either writer added is there: no read-modify-write lost another's change.
  size_t missing = 0;
  for (const wchar_t* tag : {L"A", L"B"}) {
    for (int i = 0; i < 1000; ++i) {
      std::wstring value;
      if (!reader.queryString(tag + std::to_wstring(i), value) || value != std::to_wstring(i)) ++missing;
    }
  }
  EXPECT_EQ(missing, 0u);
}

}  // namespace
