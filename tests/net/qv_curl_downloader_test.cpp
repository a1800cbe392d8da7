#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "net/qv_curl_downloader.h"
#include "standin/services/post_checks.h"
#include "tests/net/net_test_support.h"
#include "tests/net/raw_server.h"
#include "utility/base/clock.h"

namespace {

using nettest::ServicesTest;
using standin::Fault;

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

constexpr uint64_t kSmall = 200000;

class CurlDownloader : public ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    services_->addGeneratedFile("/files/small.bin", kSmall);
    services_->addFile("/files/empty.bin", "");
  }
};

TEST_F(CurlDownloader, ReplyTable) {
  struct Case {
    const char* label;
    std::string target;
    Fault fault;
    bool memoryOk;
    bool fileOk;
    std::string body;  // expected body of a successful transfer ("404"/"500": a page with that text)
  };
  const std::string small = generated(kSmall);
  const Case cases[] = {
      {"200", "/files/small.bin", {}, true, true, small},
      {"404 page", "/files/missing.bin", {}, true, true, "404"},
      {"500", "/files/small.bin", {.status = 500}, true, true, "500"},
      {"zero bytes", "/files/empty.bin", {}, true, true, ""},
      {"no length", "/files/small.bin", {.omitLength = true}, true, true, small},
      {"5 redirects", "/files/small.bin", {.redirects = 5}, true, true, small},
      {"6 redirects", "/files/small.bin", {.redirects = 6}, true, false, small},
      {"query kept", "/files/small.bin?id=7&name=a%20b", {}, true, true, small},
      {"dropped mid-body", "/files/small.bin", {.dropAfterBytes = 50000}, false, false, ""},
      {"30 redirects", "/files/small.bin", {.redirects = 30}, true, false, small},
      {"31 redirects: a cycle ends", "/files/small.bin", {.redirects = 31}, false, false, ""},
      {"stalled body", "/files/small.bin", {.stallAfterBytes = 1000}, false, false, ""},
  };
  QvCurlDownloader::setStallSecondsForTesting(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = c.target.substr(0, c.target.find('?'));
    services_->clearFaults();
    services_->clearRecords();
    services_->setFault(path, c.fault);
    auto expectBody = [&](const std::string& body) {
      if (c.body == "404" || c.body == "500") {
        EXPECT_NE(body.find(c.body), std::string::npos);
      } else {
        EXPECT_EQ(body, c.body);
      }
    };

    std::string out = "untouched";
    EXPECT_EQ(QvCurlDownloader::downloadMemory(url(c.target), out), c.memoryOk);
    if (c.memoryOk) {
      expectBody(out);
    } else {
      EXPECT_EQ(out, "untouched");
    }

    const std::string file = std::string("case-") + std::to_string(&c - cases) + ".bin";
    EXPECT_EQ(QvCurlDownloader::downloadFile(winPath(file), url(c.target), nullptr), c.fileOk);
    if (c.fileOk) expectBody(readFile(hostPath(file)));
    for (const std::string& target : targetsFor(path)) EXPECT_EQ(target, c.target);
  }
  QvCurlDownloader::setStallSecondsForTesting(0);
  EXPECT_TRUE(log_.contains(L"curl download sucess 0"));
  // A dropped body leaves the bytes received so far for the caller.
  EXPECT_EQ(readFile(hostPath("case-8.bin")), generated(50000));
}

TEST_F(CurlDownloader, LogsTheFrameOfEachOperation) {
  std::string out;
  ASSERT_TRUE(QvCurlDownloader::downloadMemory(url("/files/small.bin"), out));
  ASSERT_TRUE(QvCurlDownloader::downloadFile(winPath("f.bin"), url("/files/small.bin"), nullptr));
  ASSERT_FALSE(QvCurlDownloader::downloadFile(winPath("g.bin"), url("/files/small.bin?x"), nullptr) &&
               QvCurlDownloader::downloadMemory("https://127.0.0.1:" + std::to_string(nettest::closedPort()) + "/",
                                                out));
  EXPECT_TRUE(log_.contains(L"QvCurlDownloader::downloadMemory start"));
  EXPECT_TRUE(log_.contains(L"curl download sucess 200000"));
  EXPECT_TRUE(log_.contains(L"QvCurlDownloader::downloadfile start"));
  EXPECT_TRUE(log_.contains(L"curl download  file sucess"));
  EXPECT_TRUE(log_.contains(L"curl download error Couldn't connect to server"));
}

TEST_F(CurlDownloader, FileFailuresAreLoggedTwice) {
  services_->setFault("/files/small.bin", {.dropAfterBytes = 1000});
  EXPECT_FALSE(QvCurlDownloader::downloadFile(winPath("f.bin"), url("/files/small.bin"), nullptr));
  EXPECT_TRUE(log_.contains(L"download error Transferred a partial file"));
  EXPECT_TRUE(log_.contains(L"curl download file error Transferred a partial file"));
}

TEST_F(CurlDownloader, MissingFolderFailsWithoutTraffic) {
  const std::wstring path = L"C:\\no\\such\\folder\\f.bin";
  int calls = 0;
  EXPECT_FALSE(QvCurlDownloader::downloadFile(path, url("/files/small.bin"), [&](int) { ++calls; }));
  EXPECT_TRUE(log_.contains(L"openfile error path : C:\\no\\such\\folder\\f.bin. 3"));
  EXPECT_TRUE(services_->requests().empty());
  EXPECT_EQ(calls, 0);
}

TEST_F(CurlDownloader, ProgressIsThrottledAndNeverReachesHundred) {
  // The throttle reads a clock the test drives: 400 ms pass at every reading, starting near the
  // 32-bit wrap, so the reports must come exactly at the readings more than 1000 ms after the
  // last report, and the differences must be taken modulo 2^32.
  static std::vector<uint32_t> readings;
  readings.clear();
  QvCurlDownloader::setTickSourceForTesting([] {
    readings.push_back(readings.empty() ? 0xFFFFF000u : readings.back() + 400);
    return readings.back();
  });
  services_->addGeneratedFile("/files/slow.bin", 1 << 20);
  services_->setFault("/files/slow.bin", {.bytesPerSecond = 4u << 20});
  std::vector<std::pair<uint32_t, int>> reports;  // the reading in force, the percentage
  const bool ok = QvCurlDownloader::downloadFile(winPath("slow.bin"), url("/files/slow.bin"), [&](int percent) {
    reports.emplace_back(readings.back(), percent);
  });
  QvCurlDownloader::setTickSourceForTesting(nullptr);
  ASSERT_TRUE(ok);
  ASSERT_GE(readings.size(), 4u);

  std::vector<uint32_t> expected;
  uint32_t last = 0;
  for (const uint32_t tick : readings) {
    if (tick - last > 1000u) {
      expected.push_back(tick);
      last = tick;
    }
  }
  std::vector<uint32_t> reported;
  for (size_t i = 0; i < reports.size(); ++i) {
    reported.push_back(reports[i].first);
    EXPECT_GE(reports[i].second, 0);
    EXPECT_LE(reports[i].second, 99);
    if (i > 0) {
      EXPECT_GE(reports[i].second, reports[i - 1].second);
    }
  }
  EXPECT_EQ(reported, expected);
  EXPECT_EQ(readFile(hostPath("slow.bin")), generated(1 << 20));
}

TEST_F(CurlDownloader, NoProgressWithoutLength) {
  services_->setFault("/files/small.bin", {.bytesPerSecond = 80000, .omitLength = true});
  int calls = 0;
  EXPECT_TRUE(QvCurlDownloader::downloadFile(winPath("f.bin"), url("/files/small.bin"), [&](int) { ++calls; }));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(readFile(hostPath("f.bin")), generated(kSmall));
}

TEST_F(CurlDownloader, MemoryLimitRefusesLongReplies) {
  for (const bool withLength : {true, false}) {
    SCOPED_TRACE(withLength ? "with length" : "without length");
    services_->setFault("/files/small.bin", {.omitLength = !withLength});
    std::string out = "untouched";
    EXPECT_FALSE(QvCurlDownloader::downloadMemory(url("/files/small.bin"), out, kSmall - 1));
    EXPECT_EQ(out, "untouched");
    EXPECT_TRUE(QvCurlDownloader::downloadMemory(url("/files/small.bin"), out, kSmall));
    EXPECT_EQ(out.size(), kSmall);
  }
  EXPECT_TRUE(log_.containsPart(L"reply larger than 199999 bytes refused"));
}

TEST_F(CurlDownloader, RefusesServersTheTrustedRootsDoNotVouchFor) {
  struct Case {
    const char* label;
    const char* cert;
    const char* key;
  };
  const Case cases[] = {
      {"signed by another CA", "rogue-server.pem", "rogue-server.key"},
      {"issued for another host", "wronghost-server.pem", "wronghost-server.key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    standin::Services rogue({.certFile = nettest::certFile(c.cert), .keyFile = nettest::certFile(c.key)});
    const int port = rogue.start();
    ASSERT_GT(port, 0);
    const std::string target = rogue.baseUrl() + "/player_files/en/morvane";
    std::string out;
    EXPECT_FALSE(QvCurlDownloader::downloadMemory(target, out));
    EXPECT_FALSE(QvCurlDownloader::postRequest("[]", out, rogue.baseUrl() + "/collection/biz/upload", {}));
    EXPECT_FALSE(QvCurlDownloader::downloadFile(winPath("rogue.bin"), rogue.baseUrl() + "/download/package/Tarnwick9.0.exe",
                                                nullptr));
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(rogue.posts().empty());
  }
}

TEST_F(CurlDownloader, PostsToTheCollectionService) {
  const std::string batch =
      R"([{"appId":1,"eventId":"E","eventKey":"run_downloader","timestamp":17,"properties":)"
      R"({"zaz_version":"2.2","zaz_mac":"m","device_id":"m","openid":"1","language":"en"}}])";
  const std::string signature =
      standin::collectionSignature(deployment::compiledValues().reportSalt, "1700000000", 1);
  std::string out;
  ASSERT_TRUE(QvCurlDownloader::postRequest(batch, out, url("/collection/biz/upload"),
                                            {"timestamp: 1700000000", "signature: " + signature}));
  EXPECT_EQ(out, R"({"code":0,"msg":"success"})");
  const auto posts = services_->posts();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].body, batch);
  EXPECT_TRUE(posts[0].accepted) << posts[0].reason;
  EXPECT_TRUE(log_.contains(L"QvCurlDownloader::postRequest start"));

  // Error statuses are not failures at this level.
  services_->setFault("/collection/biz/upload", {.status = 500, .replaceBody = true, .body = "busy"});
  EXPECT_TRUE(QvCurlDownloader::postRequest("[]", out, url("/collection/biz/upload"), {}));
  EXPECT_EQ(out, "busy");
  // A reply of a size no service sends is refused rather than held.
  services_->setFault("/collection/biz/upload",
                      {.replaceBody = true, .body = std::string(QvCurlDownloader::kMaxPostReplyBytes + 1, 'x')});
  out = "untouched";
  EXPECT_FALSE(QvCurlDownloader::postRequest("[]", out, url("/collection/biz/upload"), {}));
  EXPECT_EQ(out, "untouched");
}

TEST(CurlPost, SendsContentTypeFirstThenTheHeaderListInOrder) {
  nettest::RawServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
  const std::string target = "http://127.0.0.1:" + std::to_string(server.port()) + "/collection/biz/upload";
  struct Case {
    std::vector<std::string> headers;
    std::string expectedLines;
  };
  const Case cases[] = {
      {{}, "Content-Type:application/json;charset=UTF-8\r\n"},
      {{"timestamp: 17", "signature: ab", "X-Extra: 1"},
       "Content-Type:application/json;charset=UTF-8\r\ntimestamp: 17\r\nsignature: ab\r\nX-Extra: 1\r\n"},
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_TRUE(QvCurlDownloader::postRequest("{\"a\":1}", out, target, c.headers));
    EXPECT_EQ(out, "ok");
    const std::string request = server.requests().back();
    EXPECT_NE(request.find(c.expectedLines), std::string::npos) << request;
    EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), "{\"a\":1}");
    EXPECT_EQ(request.find("POST /collection/biz/upload HTTP/1.1\r\n"), 0u);
  }
}

TEST(CurlPost, ConnectionPhaseEndsWhenTheServerNeverAccepts) {
  // Without a limit of its own libcurl would wait 300 s: the post sets 8000 ms, and only the post.
  static std::vector<long> connectLimits;
  connectLimits.clear();
  QvCurlDownloader::setBeforePerformHookForTesting(
      [](const QvCurlDownloader::TransferSettings& settings) { connectLimits.push_back(settings.connectTimeoutMs); });
  nettest::FullListener listener;
  ASSERT_TRUE(listener.saturated());
  nettest::LogCapture log;
  const std::string address = "http://127.0.0.1:" + std::to_string(listener.port()) + "/";
  std::string out = "untouched";
  EXPECT_FALSE(QvCurlDownloader::postRequest("[]", out, address, {}));
  EXPECT_EQ(out, "untouched");
  EXPECT_TRUE(log.contains(L"curl download error Timeout was reached"));
  QvCurlDownloader::downloadMemory("http://127.0.0.1:" + std::to_string(nettest::closedPort()) + "/", out);
  QvCurlDownloader::setBeforePerformHookForTesting(nullptr);
  EXPECT_EQ(connectLimits, (std::vector<long>{8000, 0}));
}

TEST_F(CurlDownloader, TransfersOnSeveralThreadsAtOnce) {
  constexpr int kThreads = 4;
  for (int i = 0; i < kThreads; ++i) services_->addGeneratedFile("/files/t" + std::to_string(i), kSmall + i);
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      const std::string name = "t" + std::to_string(i);
      std::string out;
      if (QvCurlDownloader::downloadMemory(url("/files/" + name), out) && out == generated(kSmall + i)) ++good;
      if (QvCurlDownloader::downloadFile(winPath(name), url("/files/" + name), [](int) {}) &&
          readFile(hostPath(name)) == generated(kSmall + i)) {
        ++good;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good.load(), 2 * kThreads);
}

}  // namespace
