// What every transfer of both stacks keeps to, whatever the address: http and https only, never
// redirected from https to plain http, https only when asked, and an overall deadline.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <vector>

#include "net/http_downloader.h"
#include "net/qv_curl_downloader.h"
#include "tests/net/net_test_support.h"
#include "tests/net/raw_server.h"
#include "tests/net/tls_peers.h"
#include "utility/base/strings.h"

namespace {

using nettest::ServicesTest;

const std::string kEvilBody = "evil body";
const std::string kEvilReply = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\n" + kEvilBody;

// One download through each operation of both stacks; true when it succeeded. |body| gets what
// arrived (a file download's file).
struct Operation {
  const char* name;
  std::function<bool(ServicesTest& test, const std::string& url, const net::FetchRules& rules, std::string& body)> run;
};

class TransferRules : public ServicesTest {
 protected:
  std::string fileText(const std::string& name) { return readFile(hostPath(name)); }

  std::vector<Operation> operations() {
    return {
        {"CHttpDownloader::downloadToMemory",
         [](ServicesTest&, const std::string& url, const net::FetchRules& rules, std::string& body) {
           utility::CHttpDownloader downloader;
           return downloader.downloadToMemory(body, utility::utf8ToWide(url), rules);
         }},
        {"CHttpDownloader::downloadToFile",
         [this](ServicesTest&, const std::string& url, const net::FetchRules& rules, std::string& body) {
           utility::CHttpDownloader downloader;
           const bool ok = downloader.downloadToFile(utility::utf8ToWide(url), winPath("client.bin"), nullptr, rules);
           body = fileText("client.bin");
           return ok;
         }},
        {"QvCurlDownloader::downloadMemory",
         [](ServicesTest&, const std::string& url, const net::FetchRules& rules, std::string& body) {
           return QvCurlDownloader::downloadMemory(url, body, rules);
         }},
        {"QvCurlDownloader::downloadFile",
         [this](ServicesTest&, const std::string& url, const net::FetchRules& rules, std::string& body) {
           const bool ok = QvCurlDownloader::downloadFile(winPath("curl.bin"), url, nullptr, rules);
           body = fileText("curl.bin");
           return ok;
         }},
        {"QvCurlDownloader::postRequest",
         [](ServicesTest&, const std::string& url, const net::FetchRules& rules, std::string& body) {
           if (rules.deadline.count() > 0 || rules.httpsOnly) return false;  // posts take no rules
           return QvCurlDownloader::postRequest("[]", body, url, {});
         }},
    };
  }
};

TEST_F(TransferRules, OnlyHttpAndHttpsAndNeverBackFromHttpsToHttp) {
  nettest::RawServer plain(kEvilReply);
  const std::string secret = hostPath("secret.txt");
  std::ofstream(secret) << "local secret";
  nettest::RedirectServer toPlain("http://127.0.0.1:" + std::to_string(plain.port()) + "/evil.exe");
  nettest::RedirectServer toFile("file://" + secret);
  nettest::RedirectServer toFtp("ftp://127.0.0.1:" + std::to_string(plain.port()) + "/evil.exe");
  ASSERT_GT(toPlain.port(), 0);
  // A chain that begins on plain http, goes to https, and back.
  nettest::RawServer plainToSecure("HTTP/1.1 302 Found\r\nLocation: " + toPlain.url("/next") +
                                   "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  struct Case {
    const char* label;
    std::string url;
  };
  const Case cases[] = {
      {"https redirected to http", toPlain.url("/player.json")},
      {"https redirected to file", toFile.url("/player.json")},
      {"https redirected to ftp", toFtp.url("/player.json")},
      {"http to https, then back to http", "http://127.0.0.1:" + std::to_string(plainToSecure.port()) + "/player.json"},
      {"a file address", "file://" + secret},
      {"an ftp address", "ftp://127.0.0.1:" + std::to_string(plain.port()) + "/evil.exe"},
  };
  for (const Operation& operation : operations()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(operation.name) + ": " + c.label);
      log_.clear();
      std::string body;
      EXPECT_FALSE(operation.run(*this, c.url, {}, body));
      EXPECT_EQ(body.find("evil"), std::string::npos);
      EXPECT_EQ(body.find("local secret"), std::string::npos);
      EXPECT_TRUE(log_.containsPart(L"refused")) << "no record of the refusal";
      if (&c == &cases[0] || &c == &cases[3]) {
        const bool curl = std::string(operation.name).rfind("QvCurl", 0) == 0;
        const std::wstring plainUrl = L"http://127.0.0.1:" + std::to_wstring(plain.port()) + L"/evil.exe";
        EXPECT_TRUE(log_.containsPart(curl ? L"address refused, only https allowed: " + plainUrl
                                           : L"redirect to " + plainUrl + L" refused"));
      }
    }
  }
  // No hop's request reached the plain server (libcurl may connect before it refuses a hop).
  for (const std::string& request : plain.requests()) EXPECT_EQ(request, "");
  EXPECT_EQ(ServicesTest::readFile(secret), "local secret");
}

TEST_F(TransferRules, RedirectsWithinHttpsAreFollowed) {
  services_->addFile("/files/doc.json", "{\"ok\":1}");
  nettest::RedirectServer toServices(url("/files/doc.json"));
  for (const Operation& operation : operations()) {
    SCOPED_TRACE(operation.name);
    std::string body;
    EXPECT_TRUE(operation.run(*this, toServices.url("/x"), {}, body));
    if (std::string(operation.name) != "QvCurlDownloader::postRequest") {
      EXPECT_EQ(body, "{\"ok\":1}");
    }
  }
}

TEST_F(TransferRules, HttpsOnlyRefusesAPlainAddress) {
  nettest::RawServer plain(kEvilReply);
  const std::string address = "http://127.0.0.1:" + std::to_string(plain.port()) + "/player.json";
  for (const Operation& operation : operations()) {
    if (std::string(operation.name) == "QvCurlDownloader::postRequest") continue;
    SCOPED_TRACE(operation.name);
    std::string body;
    EXPECT_FALSE(operation.run(*this, address, {.httpsOnly = true}, body));
    EXPECT_EQ(body.find("evil"), std::string::npos);
    // Without the rule the same address is fetched.
    EXPECT_TRUE(operation.run(*this, address, {}, body));
    EXPECT_EQ(body, kEvilBody);
  }
  EXPECT_EQ(plain.requests().size(), 4u);
  EXPECT_TRUE(log_.containsPart(L"plain http refused: http://127.0.0.1:"));
  EXPECT_TRUE(log_.containsPart(L"address refused, only https allowed: http://127.0.0.1:"));
}

TEST_F(TransferRules, ADeadlineEndsAServerThatTrickles) {
  // Headers and body, one byte every 40 ms: about 4 s in all, and never idle long enough for
  // any idle or stall limit. The deadline ends each fetch long before.
  const std::string body(40, 'x');
  nettest::RawServer trickling("HTTP/1.1 200 OK\r\nContent-Length: 40\r\nConnection: close\r\n\r\n" + body, 40);
  const std::string address = "http://127.0.0.1:" + std::to_string(trickling.port()) + "/player.json";
  for (const Operation& operation : operations()) {
    if (std::string(operation.name) == "QvCurlDownloader::postRequest") continue;
    SCOPED_TRACE(operation.name);
    log_.clear();
    std::string out;
    EXPECT_FALSE(operation.run(*this, address, {.deadline = std::chrono::milliseconds(600)}, out));
    EXPECT_NE(out, body);
    EXPECT_TRUE(log_.contains(L"no complete reply within 600 ms"));
  }
}

// The minimum rate is a number of bytes over the whole window, not per second of it: a pair of
// servers around the threshold, on both stacks at once. Half the rate fails within the window (a
// rule that asked for the per-second amount once per window would let it through); twice the rate
// succeeds. The margins of two absorb a slow start and a loaded scheduler.
TEST_F(TransferRules, TheMinimumRateHoldsOverItsWholeWindow) {
  constexpr uint64_t kRate = 4096;
  constexpr std::chrono::seconds kWindow{5};
  const net::FetchRules rules{.minBytesPerSecond = kRate, .minRateWindow = kWindow};
  struct Case {
    const char* label;
    bool curl;
    uint64_t bytesPerSecond;
    uint64_t size;  // three windows' worth below, two above
    bool success;
  };
  constexpr uint64_t kBelow = kRate / 2;
  constexpr uint64_t kAbove = kRate * 2;
  constexpr uint64_t kBelowSize = kBelow * 3 * kWindow.count();
  constexpr uint64_t kAboveSize = kAbove * 2 * kWindow.count();
  const Case cases[] = {
      {"platform client, half the rate", false, kBelow, kBelowSize, false},
      {"platform client, twice the rate", false, kAbove, kAboveSize, true},
      {"libcurl, half the rate", true, kBelow, kBelowSize, false},
      {"libcurl, twice the rate", true, kAbove, kAboveSize, true},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const std::string path = "/files/rate-" + std::to_string(i) + ".bin";
    services_->addGeneratedFile(path, cases[i].size);
    services_->setFault(path, {.bytesPerSecond = cases[i].bytesPerSecond});
  }
  // The transfers only wait on the servers' pace: all four run side by side.
  struct Outcome {
    bool ok = false;
    std::string body{};
  };
  Outcome outcomes[std::size(cases)];
  std::vector<std::thread> transfers;
  for (size_t i = 0; i < std::size(cases); ++i) {
    transfers.emplace_back([this, &rules, &c = cases[i], &outcome = outcomes[i], i] {
      const std::string path = "/files/rate-" + std::to_string(i) + ".bin";
      const std::string file = "rate-" + std::to_string(i) + ".bin";
      if (c.curl) {
        outcome.ok = QvCurlDownloader::downloadFile(winPath(file), url(path), nullptr, rules);
      } else {
        utility::CHttpDownloader downloader;
        outcome.ok = downloader.downloadToFile(utility::utf8ToWide(url(path)), winPath(file), nullptr, rules);
      }
      outcome.body = fileExists(hostPath(file)) ? readFile(hostPath(file)) : std::string();
    });
  }
  for (std::thread& transfer : transfers) transfer.join();
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.label);
    EXPECT_EQ(outcomes[i].ok, c.success);
    if (c.success) {
      EXPECT_TRUE(outcomes[i].body == generated(c.size));
    } else {
      EXPECT_LT(outcomes[i].body.size(), c.size);
    }
  }
  size_t platformRecords = 0;
  size_t curlRecords = 0;
  for (const auto& record : log_.records()) {
    if (record.text != L"transfer below 4096 bytes per second for 5 s") continue;
    if (record.function == "utility::CHttpClient::sendAndReceive") ++platformRecords;
    if (record.function == "QvCurlDownloader::downloadFile") ++curlRecords;
  }
  EXPECT_EQ(platformRecords, 1u);
  EXPECT_EQ(curlRecords, 1u);
}

}  // namespace
