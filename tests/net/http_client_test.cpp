#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "net/http_downloader.h"
#include "net/wininet_errors.h"
#include "tests/net/net_test_support.h"
#include "tests/net/raw_server.h"
#include "tests/support/test_fs.h"
#include "utility/base/strings.h"

namespace {

using nettest::ServicesTest;
using standin::Fault;
using utility::CHttpClient;
using utility::CHttpDownloader;

constexpr uint64_t kSmall = 200000;

// Records what the client reports.
class RecordingSink : public CHttpClient::IHttpClientSink {
 public:
  void onHttpError(int step, int code) override { errors.emplace_back(step, code); }
  bool onHttpRecvHeader(int64_t contentLength, int replyStatus) override {
    length = contentLength;
    status = replyStatus;
    return true;
  }
  bool onHttpRecvData(const char* data, int size) override {
    body.append(data, static_cast<size_t>(size));
    return true;
  }
  void onHttpFinish() override { finished = true; }

  std::vector<std::pair<int, int>> errors;
  int64_t length = -2;
  int status = 0;
  std::string body;
  bool finished = false;
};

// Records progress; can wake a waiting thread at a given byte count and refuse at another.
class ProgressRecorder : public CHttpDownloader::IHttpDownloadSink {
 public:
  bool onHttpProgress(const char*, int length, int64_t received, int64_t total) override {
    std::lock_guard<std::mutex> lock(mutex);
    lengths.push_back(length);
    lastReceived = received;
    totals.push_back(total);
    changed.notify_all();
    return refuseAt < 0 || received < refuseAt;
  }
  void waitForBytes(int64_t bytes) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return lastReceived >= bytes; });
  }

  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> lengths;
  std::vector<int64_t> totals;
  int64_t lastReceived = 0;
  int64_t refuseAt = -1;
};

class HttpDownloader : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    services_->addGeneratedFile("/files/small.bin", kSmall);
    services_->addFile("/files/empty.bin", "");
  }
  void TearDown() override {
    CHttpClient::setTimeoutsForTesting(nullptr);
    ServicesTest::TearDown();
  }
};

TEST_F(HttpDownloader, ReplyTable) {
  struct Case {
    const char* label;
    std::string target;
    Fault fault;
    bool ok;
    std::string body;  // of a success
  };
  const std::string small = generated(kSmall);
  const Case cases[] = {
      {"200", "/files/small.bin", {}, true, small},
      {"404 page", "/files/missing.bin", {}, false, ""},
      {"500", "/files/small.bin", {.status = 500}, false, ""},
      {"zero bytes", "/files/empty.bin", {}, true, ""},
      {"no length", "/files/small.bin", {.omitLength = true}, true, small},
      {"6 redirects", "/files/small.bin", {.redirects = 6}, true, small},
      {"query kept", "/files/small.bin?id=7&name=a%20b", {}, true, small},
      {"dropped mid-body", "/files/small.bin", {.dropAfterBytes = 50000}, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = c.target.substr(0, c.target.find('?'));
    services_->clearFaults();
    services_->clearRecords();
    services_->setFault(path, c.fault);
    CHttpDownloader downloader;

    std::string out;
    EXPECT_EQ(downloader.downloadToMemory(out, wurl(c.target)), c.ok);
    if (c.ok) {
      EXPECT_EQ(out, c.body);
    }

    const std::string file = std::string("case-") + std::to_string(&c - cases) + ".bin";
    ProgressRecorder progress;
    EXPECT_EQ(downloader.downloadToFile(wurl(c.target), winPath(file), &progress), c.ok);
    if (c.ok) {
      EXPECT_EQ(readFile(hostPath(file)), c.body);
    }
    for (const std::string& target : targetsFor(path)) EXPECT_EQ(target, c.target);
    for (const int64_t total : progress.totals) EXPECT_EQ(total, c.fault.omitLength ? 10485760 : int64_t(kSmall));
  }
  // Refused statuses create no file; a zero-byte body makes an empty one.
  EXPECT_FALSE(fileExists(hostPath("case-1.bin")));
  EXPECT_FALSE(fileExists(hostPath("case-2.bin")));
  EXPECT_TRUE(fileExists(hostPath("case-3.bin")));
  EXPECT_TRUE(log_.contains(L"onHttpErro status = 404"));
  EXPECT_TRUE(log_.contains(L"onHttpErro status = 500"));
  // A body cut short leaves what arrived, and is a failure even though the stream just ends.
  EXPECT_TRUE(log_.containsPart(L"body ended after"));
  const std::string partial = readFile(hostPath("case-7.bin"));
  EXPECT_LE(partial.size(), 50000u);
  EXPECT_EQ(partial, generated(partial.size()));
}

TEST_F(HttpDownloader, FailuresReportTheirStep) {
  nettest::RawServer garbage("this is not HTTP\r\n\r\n");
  standin::Services rogue({.certFile = nettest::certFile("rogue-server.pem"),
                           .keyFile = nettest::certFile("rogue-server.key")});
  ASSERT_GT(rogue.start(), 0);
  standin::Services wrongHost({.certFile = nettest::certFile("wronghost-server.pem"),
                               .keyFile = nettest::certFile("wronghost-server.key")});
  ASSERT_GT(wrongHost.start(), 0);
  struct Case {
    const char* label;
    std::string url;
    int step;
    int code;
  };
  const Case cases[] = {
      {"host over 255 characters", "https://" + std::string(300, 'h') + ".example/x", CHttpClient::kStepCrackUrl,
       net::kErrorInsufficientBuffer},
      {"unknown scheme", "ftp://127.0.0.1/x", CHttpClient::kStepCrackUrl, net::kInternetUnrecognizedScheme},
      {"nothing listens", "https://127.0.0.1:" + std::to_string(nettest::closedPort()) + "/x",
       CHttpClient::kStepConnect, net::kInternetCannotConnect},
      {"signed by another CA", rogue.baseUrl() + "/files/x", CHttpClient::kStepSendRequest, net::kInternetInvalidCa},
      {"issued for another host", wrongHost.baseUrl() + "/files/x", CHttpClient::kStepSendRequest,
       net::kInternetSecCertCnInvalid},
      {"reply without status line", "http://127.0.0.1:" + std::to_string(garbage.port()) + "/x",
       CHttpClient::kStepQueryStatus, net::kHttpInvalidServerResponse},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    CHttpClient client;
    RecordingSink sink;
    const bool ok = client.openUrl(utility::utf8ToWide(c.url), L"", &sink) && client.sendAndReceive();
    client.closeHandle();
    EXPECT_FALSE(ok);
    ASSERT_EQ(sink.errors.size(), 1u);
    EXPECT_EQ(sink.errors[0], std::make_pair(c.step, c.code));
    EXPECT_EQ(sink.status, 0);

    // The downloader's file sink logs the step and creates no file.
    log_.clear();
    CHttpDownloader downloader;
    EXPECT_FALSE(downloader.downloadToFile(utility::utf8ToWide(c.url), winPath("failed.bin"), nullptr));
    EXPECT_TRUE(log_.contains(L"onHttpErro " + std::to_wstring(c.step) + L", " + std::to_wstring(c.code)));
    EXPECT_FALSE(fileExists(hostPath("failed.bin")));
  }
  EXPECT_TRUE(rogue.requests().empty());
  EXPECT_TRUE(wrongHost.requests().empty());
}

TEST_F(HttpDownloader, ClientStreamsTheReplyIntoTheSink) {
  CHttpClient client;
  RecordingSink sink;
  ASSERT_TRUE(client.openUrl(wurl("/files/small.bin?x=1"), L"X-One: 1\r\nX-Two: two", &sink));
  EXPECT_EQ(client.host(), L"127.0.0.1");
  EXPECT_EQ(client.port(), services_->port());
  EXPECT_EQ(client.objectName(), L"/files/small.bin?x=1");
  EXPECT_TRUE(client.secure());
  ASSERT_TRUE(client.sendAndReceive());
  EXPECT_TRUE(sink.finished);
  EXPECT_EQ(sink.status, 200);
  EXPECT_EQ(sink.length, int64_t(kSmall));
  EXPECT_EQ(sink.body, generated(kSmall));
  const auto requests = services_->requests();
  ASSERT_EQ(requests.size(), 1u);
  int found = 0;
  std::vector<std::string> accepts;
  for (const auto& [name, value] : requests[0].headers) {
    if ((name == "X-One" && value == "1") || (name == "X-Two" && value == "two")) ++found;
    EXPECT_NE(name, "Accept-Encoding");  // the body arrives as the server sent it
    if (name == "Accept") accepts.push_back(value);
  }
  EXPECT_EQ(found, 2);
  EXPECT_EQ(accepts, std::vector<std::string>{"*/*"});
}

TEST_F(HttpDownloader, DownloadsToMemoryWithTheFormContentType) {
  CHttpDownloader downloader;
  std::string out = "kept:";
  ASSERT_TRUE(downloader.downloadToMemory(out, wurl("/player_files/en/morvane")));
  EXPECT_EQ(out.rfind("kept:{", 0), 0u);  // appended
  EXPECT_NE(out.find(services_->baseUrl() + "/download/full/en/Tarnwick9_setup.exe"), std::string::npos);
  bool contentType = false;
  const auto requests = services_->requests();
  ASSERT_EQ(requests.size(), 1u);
  for (const auto& [name, value] : requests[0].headers) {
    if (name == "Content-Type" && value == "application/x-www-form-urlencoded") contentType = true;
  }
  EXPECT_TRUE(contentType);
}

TEST_F(HttpDownloader, MemoryLimitRefusesLongReplies) {
  for (const bool withLength : {true, false}) {
    SCOPED_TRACE(withLength ? "with length" : "without length");
    services_->setFault("/files/small.bin", {.omitLength = !withLength});
    CHttpDownloader downloader;
    std::string out;
    EXPECT_FALSE(downloader.downloadToMemory(out, wurl("/files/small.bin"), kSmall - 1));
    EXPECT_LE(out.size(), kSmall - 1);
    out.clear();
    EXPECT_TRUE(downloader.downloadToMemory(out, wurl("/files/small.bin"), kSmall));
    EXPECT_EQ(out.size(), kSmall);
  }
  EXPECT_TRUE(log_.contains(L"reply larger than 199999 bytes refused"));
}

TEST_F(HttpDownloader, ProgressSinkSeesEveryChunkAndCanStop) {
  ProgressRecorder progress;
  CHttpDownloader downloader;
  ASSERT_TRUE(downloader.downloadToFile(wurl("/files/small.bin"), winPath("a.bin"), &progress));
  int64_t sum = 0;
  for (const int length : progress.lengths) {
    EXPECT_LE(length, int(CHttpClient::kReadChunk));
    sum += length;
  }
  EXPECT_EQ(sum, int64_t(kSmall));
  EXPECT_EQ(progress.lastReceived, int64_t(kSmall));

  ProgressRecorder refusing;
  refusing.refuseAt = 1;
  EXPECT_FALSE(downloader.downloadToFile(wurl("/files/small.bin"), winPath("b.bin"), &refusing));
  EXPECT_EQ(refusing.lengths.size(), 1u);
}

// Chunks reach the file in batches, the last one after the transfer has ended: wherever a write
// fails (the last batch, an earlier one), the download fails and the file keeps what was written.
TEST_F(HttpDownloader, AFileThatCannotBeWrittenWholeIsNoDownload) {
  constexpr uint64_t kLarge = 1 << 20;
  services_->addGeneratedFile("/files/large.bin", kLarge);
  struct Case {
    const char* label;
    const char* path;
    uint64_t size;
    uint64_t limit;  // the largest file this process may write
  };
  const Case cases[] = {
      {"the last batch does not fit", "/files/small.bin", kSmall, kSmall - 1000},
      {"an earlier batch does not fit", "/files/large.bin", kLarge, 600000},
  };
  static_assert(kSmall < utility::CHttpDownload2FileSink::kWriteBatch);
  static_assert(kLarge > 3 * utility::CHttpDownload2FileSink::kWriteBatch);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string file = std::string("limited-") + std::to_string(&c - cases) + ".bin";
    CHttpDownloader downloader;
    {
      testfs::FileSizeLimit limit(c.limit);
      ASSERT_TRUE(limit.active());
      EXPECT_FALSE(downloader.downloadToFile(wurl(c.path), winPath(file), nullptr));
    }
    const std::string partial = readFile(hostPath(file));
    EXPECT_EQ(partial.size(), c.limit);
    EXPECT_EQ(partial, generated(partial.size()));
    // Without the limit the same download is whole.
    EXPECT_TRUE(downloader.downloadToFile(wurl(c.path), winPath(file), nullptr));
    EXPECT_EQ(readFile(hostPath(file)), generated(c.size));
  }
}

TEST_F(HttpDownloader, CancelFromAnotherThreadStopsForGood) {
  constexpr uint64_t kSize = 4 << 20;
  services_->addGeneratedFile("/files/big.bin", kSize);
  services_->setFault("/files/big.bin", {.bytesPerSecond = 512 * 1024});
  CHttpDownloader downloader;
  ProgressRecorder progress;
  std::thread canceller([&] {
    progress.waitForBytes(100000);
    downloader.cancel();
  });
  EXPECT_FALSE(downloader.downloadToFile(wurl("/files/big.bin"), winPath("big.bin"), &progress));
  canceller.join();
  const std::string partial = readFile(hostPath("big.bin"));
  EXPECT_GE(partial.size(), 100000u);
  EXPECT_LT(partial.size(), kSize);
  EXPECT_EQ(partial, generated(partial.size()));

  // Later downloads through the same object end at once, before any request is sent: the
  // stop is for good, whatever the body (an empty one included).
  services_->clearRecords();
  log_.clear();
  std::string out;
  EXPECT_FALSE(downloader.downloadToMemory(out, wurl("/files/small.bin")));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(downloader.downloadToFile(wurl("/files/small.bin"), winPath("after.bin"), nullptr));
  EXPECT_FALSE(downloader.downloadToMemory(out, wurl("/files/empty.bin")));
  EXPECT_FALSE(downloader.downloadToFile(wurl("/files/empty.bin"), winPath("empty.bin"), nullptr));
  EXPECT_TRUE(services_->requests().empty());
  EXPECT_FALSE(fileExists(hostPath("after.bin")));
  EXPECT_TRUE(log_.contains(L"onHttpErro 6, 12017"));
}

TEST_F(HttpDownloader, ACancelBeforeTheFirstDownloadHoldsForIt) {
  CHttpDownloader downloader;
  downloader.cancel();
  std::string out;
  EXPECT_FALSE(downloader.downloadToMemory(out, wurl("/files/small.bin")));
  EXPECT_TRUE(services_->requests().empty());
}

TEST_F(HttpDownloader, CancelEndsATransferWaitingForData) {
  struct Case {
    const char* label;
    Fault fault;
    int64_t bytesBeforeCancel;  // -1: cancel once the request has arrived
  };
  const Case cases[] = {
      {"stalled body", {.stallAfterBytes = 1000}, 1000},
      {"headers never come", {.delayMs = 600000}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    services_->clearRecords();
    services_->setFault("/files/small.bin", c.fault);
    log_.clear();
    CHttpDownloader downloader;
    ProgressRecorder progress;
    std::thread canceller([&] {
      if (c.bytesBeforeCancel >= 0) {
        progress.waitForBytes(c.bytesBeforeCancel);
      } else {
        while (targetsFor("/files/small.bin").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      downloader.cancel();
    });
    EXPECT_FALSE(downloader.downloadToFile(wurl("/files/small.bin"), winPath("w.bin"), &progress));
    canceller.join();
    // Ended by the cancel, not by a time-out.
    if (c.bytesBeforeCancel >= 0) {
      EXPECT_TRUE(log_.containsPart(L"read failed: Operation was cancelled"));
    } else {
      EXPECT_TRUE(log_.contains(L"onHttpErro 6, 12017"));
      // Our own cancel is said as such, not as a failed request.
      EXPECT_TRUE(log_.containsPart(L"request cancelled at step 6"));
      EXPECT_FALSE(log_.containsPart(L"request failed"));
    }
  }
}

TEST_F(HttpDownloader, ACancelIsNeverLostWhateverTheMomentItLands) {
  // The server never answers and the time-outs are short: a lost cancel shows as a time-out
  // (12002) instead of the cancel's own code (12017).
  const CHttpClient::Timeouts shortTimeouts{2, 1};
  CHttpClient::setTimeoutsForTesting(&shortTimeouts);
  services_->setFault("/files/small.bin", {.delayMs = 600000});
  struct Case {
    const char* label;
    CHttpClient::OpenStage stage;
  };
  const Case cases[] = {
      {"after the owner checked its stop flag, before openUrl began", CHttpClient::OpenStage::kEntered},
      {"while the session is being built", CHttpClient::OpenStage::kBeforePublish},
  };
  static CHttpDownloader* downloader = nullptr;
  static CHttpClient::OpenStage cancelAt = CHttpClient::OpenStage::kEntered;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    log_.clear();
    services_->clearRecords();
    CHttpDownloader target;
    downloader = &target;
    cancelAt = c.stage;
    CHttpClient::setOpenHookForTesting([](CHttpClient*, CHttpClient::OpenStage stage) {
      if (stage == cancelAt) downloader->cancel();
    });
    EXPECT_FALSE(target.downloadToFile(wurl("/files/small.bin"), winPath("w.bin"), nullptr));
    CHttpClient::setOpenHookForTesting(nullptr);
    EXPECT_TRUE(log_.contains(L"onHttpErro 6, 12017")) << "not ended by the cancel";
    // The session started cancelled: no request left this machine.
    EXPECT_TRUE(targetsFor("/files/small.bin").empty());
  }
}

TEST_F(HttpDownloader, TimeOutsEndStalledTransfers) {
  const CHttpClient::Timeouts shortTimeouts{2, 1};
  CHttpClient::setTimeoutsForTesting(&shortTimeouts);
  nettest::FullListener listener;
  ASSERT_TRUE(listener.saturated());
  struct Case {
    const char* label;
    std::string url;
    Fault fault;
    std::wstring record;
  };
  const Case cases[] = {
      {"connection never accepted", "https://127.0.0.1:" + std::to_string(listener.port()) + "/x", {},
       L"onHttpErro 2, 12002"},
      {"headers late", url("/files/small.bin"), {.delayMs = 600000}, L"onHttpErro 6, 12002"},
      {"body stalls", url("/files/small.bin"), {.stallAfterBytes = 1000}, L"read failed: Socket I/O timed out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    services_->setFault("/files/small.bin", c.fault);
    log_.clear();
    CHttpDownloader downloader;
    EXPECT_FALSE(downloader.downloadToFile(utility::utf8ToWide(c.url), winPath("t.bin"), nullptr));
    EXPECT_TRUE(log_.containsPart(c.record));
  }
}

TEST_F(HttpDownloader, DownloadsOnSeveralThreadsAtOnce) {
  constexpr int kThreads = 4;
  for (int i = 0; i < kThreads; ++i) services_->addGeneratedFile("/files/t" + std::to_string(i), kSmall + i);
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      const std::string name = "t" + std::to_string(i);
      CHttpDownloader downloader;
      std::string out;
      if (downloader.downloadToMemory(out, wurl("/files/" + name)) && out == generated(kSmall + i)) ++good;
      if (downloader.downloadToFile(wurl("/files/" + name), winPath(name), nullptr) &&
          readFile(hostPath(name)) == generated(kSmall + i)) {
        ++good;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good.load(), 2 * kThreads);
}

}  // namespace
