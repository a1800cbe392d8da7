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

TEST_F(LogTest, RecordLayout) {
  {
    common::LogWriter writer(path_);
    { common::LogStream(  "utility::process::execute", 38, &writer) << std::wstring_view(L"text 100% ok"); }
    { common::LogStream("f", 7, &writer) << std::wstring_view(L"中文"); }
  }
  const std::string text = readAll(path_);
  const std::string tid = std::to_string(utility::currentThreadId());
  const std::regex record(
      "(\\d\\d)-(\\d\\d)\\t\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\t(\\d{4,})\\tutility::process::execute\\t\\(38\\):"
      "text 100% ok\\r\\n"
      "\\d\\d-\\d\\d\\t\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d\\t\\d{4,}\\tf\\t\\(7\\):\xE4\xB8\xAD\xE6\x96\x87\\r\\n");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(text, m, record)) << text;
  EXPECT_EQ(std::stoul(m[3].str()), utility::currentThreadId());
  EXPECT_GE(m[3].str().size(), 4u);
}

TEST_F(LogTest, PercentInMessageWrittenOnceAndHookFormatting) {
  static common::LogWriter* writer = nullptr;
  common::LogWriter local(path_);
  writer = &local;
  common::setLogHook([](const char* function, int line, const wchar_t* text) {
    common::LogStream(function, line, writer) << std::wstring_view(text);
  });
  common::logPrint("Test::percent", 1, L"url %s at %d%%", L"https://h/a%20b?x=%s", 50);
  common::setLogHook(nullptr);
  common::logPrint("Test::ignored", 2, L"not written");  // no hook: nothing happens
  local.flush(5000);
  const std::string text = readAll(path_);
  EXPECT_NE(text.find("Test::percent\t(1):url https://h/a%20b?x=%s at 50%\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("not written"), std::string::npos);
}

TEST_F(LogTest, OversizedRecordDroppedWholeAndLongFormatCut) {
  common::LogWriter writer(path_);
  const std::wstring fits(10240 - 200, L'a');
  const std::wstring tooBig(10240, L'b');
  { common::LogStream("f", 1, &writer) << std::wstring_view(fits); }
  { common::LogStream("f", 2, &writer) << std::wstring_view(tooBig); }
  { common::LogStream("f", 3, &writer) << std::wstring_view(L"after"); }
  writer.flush(5000);
  const std::string text = readAll(path_);
  EXPECT_NE(text.find(std::string(fits.size(), 'a')), std::string::npos);
  EXPECT_EQ(text.find("bbbb"), std::string::npos);
  EXPECT_NE(text.find("(3):after\r\n"), std::string::npos);
}

TEST_F(LogTest, Utf16LogIsEmptiedOtherLogsAppended) {
  std::ofstream(path_, std::ios::binary) << std::string("\xFF\xFEo\0l\0d\0", 8);
  {
    common::LogWriter writer(path_);
    common::LogStream("f", 1, &writer) << std::wstring_view(L"fresh");
  }
  std::string text = readAll(path_);
  EXPECT_EQ(text.rfind("\xFF\xFE", 0), std::string::npos);
  EXPECT_NE(text.find("(1):fresh\r\n"), std::string::npos);
  EXPECT_EQ(text.find('\0'), std::string::npos);
  {
    common::LogWriter writer(path_);
    common::LogStream("f", 2, &writer) << std::wstring_view(L"second run");
  }
  text = readAll(path_);
  EXPECT_LT(text.find("(1):fresh"), text.find("(2):second run"));
}

TEST_F(LogTest, TrimAtExactlyFiftyMiB) {
  constexpr uint64_t kCap = 52428800;
  constexpr uint64_t kKeep = 2097152;
  const std::wstring message = L"the last record";
  // The size of one record of |message| (fixed-width header fields, same thread).
  size_t recordSize;
  {
    const fs::path scratch = dir_ / "scratch.log";
    common::LogWriter writer(scratch);
    common::LogStream("trim", 1, &writer) << std::wstring_view(message);
    writer.flush(5000);
    recordSize = readAll(scratch).size();
  }
  for (const uint64_t target : {kCap - 1, kCap}) {
    std::string filler(target - recordSize, 'x');
    for (size_t i = 0; i < filler.size(); i += 1000) filler[i] = static_cast<char>('a' + (i / 1000) % 26);
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << filler;
    {
      common::LogWriter writer(path_);
      common::LogStream("trim", 1, &writer) << std::wstring_view(message);
      writer.flush(5000);
    }
    const std::string text = readAll(path_);
    if (target < kCap) {
      EXPECT_EQ(text.size(), kCap - 1);  // one byte short of the cap: left alone
      EXPECT_EQ(text.compare(0, filler.size(), filler), 0);
    } else {
      ASSERT_EQ(text.size(), kKeep);  // exactly the last 2 MiB
      EXPECT_EQ(text.compare(0, kKeep - recordSize, filler, filler.size() - (kKeep - recordSize)), 0);
      EXPECT_EQ(text.substr(kKeep - message.size() - 2), "the last record\r\n");
    }
  }
}

// Trimming twice in one run (and after a UTF-16 log was emptied) keeps the tail each time.
// Each round is one batch of known bytes, so the file is compared whole with a model of it.
TEST_F(LogTest, EveryTrimOfARunKeepsTheTail) {
  common::LogLimits limits;
  limits.threshold = 1 << 20;  // one round is one batch
  limits.trimAt = 64 * 1024;
  limits.keep = 16 * 1024;
  struct Start {
    const char* name;
    std::string existing;  // file content before the run; empty: no file
    std::string kept;      // what the run starts from
  };
  const Start starts[] = {
      {"no file", "", ""},
      {"earlier run", "earlier run\r\n", "earlier run\r\n"},
      {"utf-16 log", std::string("\xFF\xFEo\0l\0d\0", 8), ""},
  };
  // Sizes chosen to cross the cap, stay under it, then cross it again twice.
  const size_t rounds[] = {limits.trimAt + 100, 1000, limits.trimAt - limits.keep - 1000, 30000, 40000};
  for (const Start& start : starts) {
    SCOPED_TRACE(start.name);
    fs::remove(path_);
    if (!start.existing.empty()) std::ofstream(path_, std::ios::binary) << start.existing;
    std::string expected = start.kept;
    common::LogWriter writer(path_, limits);
    int trims = 0;
    for (size_t r = 0; r < std::size(rounds); ++r) {
      std::string chunk;
      for (int line = 0; chunk.size() < rounds[r]; ++line) {
        chunk += "round " + std::to_string(r) + " line " + std::to_string(line) + " ..........\r\n";
      }
      ASSERT_TRUE(writer.add(chunk));
      ASSERT_TRUE(writer.flush(5000));
      expected += chunk;
      if (expected.size() >= limits.trimAt) {
        expected.erase(0, expected.size() - limits.keep);
        ++trims;
      }
      const std::string text = readAll(path_);
      ASSERT_EQ(text.size(), expected.size()) << "round " << r;
      ASSERT_TRUE(text == expected) << "round " << r;
    }
    EXPECT_EQ(trims, 3);
  }
}

// While the writer is busy with a batch, callers fill the backlog up to the threshold and then
// drop: the record offered while no more than the threshold is pending is still taken, every
// later one is dropped and counted, and every record taken reaches the file.
TEST_F(LogTest, ABlockedWriterMakesCallersDropAndCountEveryRecord) {
  std::mutex mutex;
  std::condition_variable changed;
  bool writing = false;
  bool letGo = false;
  constexpr int kOffered = 2000;
  uint64_t acceptedWhileBlocked = 0;
  {
    common::LogWriter writer(path_);
    writer.setBeforeWriteForTesting([&] {
      std::unique_lock<std::mutex> lock(mutex);
      writing = true;
      changed.notify_all();
      changed.wait(lock, [&] { return letGo; });
    });
    common::LogStream("Test::first", 1, &writer) << std::wstring_view(L"first");
    writer.flush(0);  // wakes the writer, which then holds the first batch
    {
      std::unique_lock<std::mutex> lock(mutex);
      ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return writing; }));
    }
    for (int i = 0; i < kOffered; ++i) {
      common::LogStream("Test::blocked", 2, &writer) << std::wstring_view(utility::format(L"record %06d", i));
    }
    acceptedWhileBlocked = writer.acceptedRecords() - 1;
    EXPECT_EQ(writer.droppedRecords() + acceptedWhileBlocked, static_cast<uint64_t>(kOffered));
    EXPECT_GT(writer.droppedRecords(), 0u);
    {
      std::lock_guard<std::mutex> lock(mutex);
      letGo = true;
    }
    changed.notify_all();
    ASSERT_TRUE(writer.flush(10000));
    writer.setBeforeWriteForTesting(nullptr);
  }
  std::ifstream in(path_, std::ios::binary);
  std::string line;
  std::vector<std::string> blocked;
  while (std::getline(in, line)) {
    if (line.find("Test::blocked") != std::string::npos) blocked.push_back(line);
  }
  ASSERT_EQ(blocked.size(), acceptedWhileBlocked);
  ASSERT_FALSE(blocked.empty());
  // The records have one length; taken while the backlog was at most 10240 bytes.
  const size_t recordSize = blocked.front().size() + 1;  // with the LF getline removed
  EXPECT_EQ(acceptedWhileBlocked, 10240 / recordSize + 1);
  char last[32];
  std::snprintf(last, sizeof(last), "record %06d\r", static_cast<int>(acceptedWhileBlocked - 1));
  EXPECT_EQ(blocked.back().substr(blocked.back().size() - std::strlen(last)), last);
}

TEST_F(LogTest, ManyThreadsLoseNothingAcceptedAndStayUnderCap) {
  common::LogLimits limits;
  limits.trimAt = 4 * 1024 * 1024;  // a smaller cap keeps the test quick; same rules
  limits.keep = 256 * 1024;
  uint64_t accepted = 0;
  {
    common::LogWriter writer(path_, limits);
    std::vector<std::thread> threads;
    std::atomic<bool> go{false};
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < 20000; ++i) {
          common::LogStream("Test::thread", t, &writer)
              << std::wstring_view(utility::format(L"thread %d record %06d payload ................", t, i));
        }
      });
    }
    go.store(true);
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(writer.flush(10000));
    accepted = writer.acceptedRecords();
    EXPECT_EQ(writer.droppedRecords() + accepted, 8u * 20000u);  // each record counted once
    EXPECT_LE(fs::file_size(path_), limits.trimAt);
  }
  // Without trimming in between, every accepted record is in the file, whole.
  common::LogLimits noTrim;
  const fs::path second = dir_ / "second.log";
  uint64_t acceptedSecond = 0;
  {
    common::LogWriter writer(second, noTrim);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 5000; ++i) {
          common::LogStream("Test::thread", t, &writer) << std::wstring_view(utility::format(L"r %d %d", t, i));
        }
      });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_TRUE(writer.flush(10000));
    acceptedSecond = writer.acceptedRecords();
  }
  std::ifstream in(second, std::ios::binary);
  std::string line;
  uint64_t lines = 0;
  const std::regex whole("\\d\\d-\\d\\d\\t[^\\t]+\\t\\d{4,}\\tTest::thread\\t\\(\\d\\):r \\d \\d+\\r");
  while (std::getline(in, line)) {
    ++lines;
    ASSERT_TRUE(std::regex_match(line, whole)) << line;
  }
  EXPECT_EQ(lines, acceptedSecond);
  EXPECT_GT(acceptedSecond, 0u);
}

}  // namespace
