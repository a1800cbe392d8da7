// The rules every transfer keeps on Windows, against the stand-in services running outside this
// process (Linux programs, reached at localhost): the WinINet client and the libcurl fallback on
// Schannel, a deployment that pins its own CA and one that trusts the system store, redirects,
// the overall deadline, the minimum rate, the size cap, a cancel from another thread and the
// download target. The services' addresses and their CA come from the environment:
//   TARNWICK_TEST_SERVICES            https://localhost:<port>  (the services' own certificate)
//   TARNWICK_TEST_SERVICES_ROGUE      https://localhost:<port>  (rogue-server.pem: another CA)
//   TARNWICK_TEST_SERVICES_WRONGHOST  https://localhost:<port>  (wronghost-server.pem: another name)
//   TARNWICK_TEST_CA                  the test CA's PEM file (a Windows path, or a Unix one on Wine)
// Without them the suite is skipped.
#include <winsock2.h>
#include <windows.h>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "deployment/deployment.h"
#include "net/byte_ranges.h"
#include "net/http_downloader.h"
#include "net/qv_curl_downloader.h"
#include "net/wininet_errors.h"
#include "tests/support/temp_folder.h"
#include "utility/base/sha256.h"
#include "utility/base/strings.h"
#include "utility/system/log.h"

namespace {

using utility::CHttpClient;
using utility::CHttpDownloader;

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// A Unix path given to a program under Wine names the same file on drive Z:.
std::string windowsPath(std::string path) {
  if (!path.empty() && path.front() == '/') {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    path = "Z:" + path;
  }
  return path;
}

// The bytes the stand-in services generate: one pseudo-random block of 1 MiB, repeated.
std::string generated(size_t size) {
  static const std::string kBlock = [] {
    std::string block(size_t{1} << 20, '\0');
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (char& c : block) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      c = static_cast<char>(state >> 24);
    }
    return block;
  }();
  std::string bytes;
  while (bytes.size() < size) bytes.append(kBlock, 0, std::min(kBlock.size(), size - bytes.size()));
  return bytes;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof(chunk)) || in.gcount() > 0) bytes.append(chunk, static_cast<size_t>(in.gcount()));
  return bytes;
}

// Every log record while a test runs.
std::mutex gLogMutex;
std::vector<std::pair<std::string, std::wstring>> gLog;

void captureRecord(const char* function, int, const wchar_t* text) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.emplace_back(function != nullptr ? function : "", text != nullptr ? text : L"");
}

bool logged(const std::wstring& part) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  for (const auto& record : gLog) {
    if (record.second.find(part) != std::wstring::npos) return true;
  }
  return false;
}

size_t loggedBy(const std::string& function, const std::wstring& text) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  size_t n = 0;
  for (const auto& record : gLog) n += record.first == function && record.second == text ? 1 : 0;
  return n;
}

// The records so far, one a line, for a failure's message.
std::string logText() {
  std::lock_guard<std::mutex> lock(gLogMutex);
  std::string text;
  for (const auto& record : gLog) text += record.first + ": " + utility::wideToUtf8(record.second) + "\n";
  return text;
}

void clearLog() {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.clear();
}

// A plain-http listener nothing should ever reach: a redirect's target that must not be asked.
class Listener {
 public:
  Listener() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (socket_ != INVALID_SOCKET && bind(socket_, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        listen(socket_, 8) == 0 && getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
      port_ = ntohs(address.sin_port);
      u_long nonBlocking = 1;
      ioctlsocket(socket_, FIONBIO, &nonBlocking);
    }
  }
  ~Listener() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    WSACleanup();
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  int port() const { return port_; }
  // Whether anything connected so far.
  bool reached() const {
    const SOCKET client = accept(socket_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return false;
    closesocket(client);
    return true;
  }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
};

// A plain-http server on loopback that answers every request with |reply| (sent as is) and
// closes the connection, and records the requests it read.
class RawServer {
 public:
  explicit RawServer(std::string reply) : reply_(std::move(reply)) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (socket_ == INVALID_SOCKET || bind(socket_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(socket_, 16) != 0 || getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~RawServer() {
    closesocket(socket_);  // ends the accept
    if (thread_.joinable()) thread_.join();
    WSACleanup();
  }
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  int port() const { return port_; }
  std::vector<std::string> requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void serve() {
    while (true) {
      const SOCKET client = accept(socket_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      std::string request;
      char chunk[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const int n = recv(client, chunk, sizeof(chunk), 0);
        if (n <= 0) break;
        request.append(chunk, static_cast<size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
      }
      send(client, reply_.data(), static_cast<int>(reply_.size()), 0);
      shutdown(client, SD_SEND);
      closesocket(client);
    }
  }

  std::string reply_;
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
};

// Records progress; wakes a waiting thread at a given byte count.
class ProgressRecorder : public CHttpDownloader::IHttpDownloadSink {
 public:
  bool onHttpProgress(const char*, int, int64_t received, int64_t) override {
    std::lock_guard<std::mutex> lock(mutex_);
    received_ = received;
    changed_.notify_all();
    return true;
  }
  void waitForBytes(int64_t bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return received_ >= bytes; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int64_t received_ = 0;
};

class CurlEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { curl_global_init(CURL_GLOBAL_ALL); }
  void TearDown() override { curl_global_cleanup(); }
};
const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

// The services outside, a deployment that pins their CA, a folder of the test's own and the log.
class AgainstServices : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = environment("TARNWICK_TEST_SERVICES");
    ca_ = windowsPath(environment("TARNWICK_TEST_CA"));
    if (base_.empty() || ca_.empty()) {
      GTEST_SKIP() << "TARNWICK_TEST_SERVICES and TARNWICK_TEST_CA are not set: start the stand-in services "
                      "(tarnwick_services --port P) and name them (https://localhost:P) and their ca.pem";
    }
    values_ = deployment::compiledValues();
    values_.caBundleFile = ca_;
    deployment::setValuesForTesting(&values_);
    temp_ = std::make_unique<testsupport::TempFolder>("wininet");
    clearLog();
    common::setLogHook(&captureRecord);
  }
  void TearDown() override {
    common::setLogHook(nullptr);
    CHttpClient::setTimeoutsForTesting(nullptr);
    CHttpClient::setOpenHookForTesting(nullptr);
    deployment::setValuesForTesting(nullptr);
  }

  // A path of this test alone, so that runs side by side never share a fault.
  std::string uniquePath(const std::string& name) {
    static std::atomic<int> counter{0};
    return "/wininet-test/" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + "/" + name;
  }
  // Gives |path| on the main services the fault |json| (an object of the services' fault keys).
  void setFault(const std::string& path, const std::string& json) {
    const std::string body = "{\"" + path + "\":" + json + "}";
    CURL* handle = curl_easy_init();
    ASSERT_NE(handle, nullptr);
    const std::string address = base_ + "/__standin/faults";
    curl_easy_setopt(handle, CURLOPT_URL, address.c_str());
    curl_easy_setopt(handle, CURLOPT_CAINFO, ca_.c_str());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(handle, CURLOPT_PROXY, "");
    const CURLcode code = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(handle);
    ASSERT_EQ(code, CURLE_OK);
    ASSERT_EQ(status, 200) << body.substr(0, 200);
  }
  // A path serving |size| generated bytes, with the further fault keys |more| ("" or ",...").
  std::string generatedPath(size_t size, const std::string& more = "") {
    const std::string path = uniquePath("file.bin");
    setFault(path, "{\"size\":" + std::to_string(size) + more + "}");
    return path;
  }
  std::string url(const std::string& path) const { return base_ + path; }
  std::wstring wurl(const std::string& path) const { return utility::utf8ToWide(url(path)); }
  std::filesystem::path file(const std::string& name) const { return temp_->path() / name; }

  std::string base_;
  std::string ca_;
  deployment::Values values_;
  std::unique_ptr<testsupport::TempFolder> temp_;
};

// One download through each operation of both stacks; true when it succeeded, |body| what arrived.
struct Operation {
  const char* name;
  bool curl;
  std::function<bool(const std::string& url, const net::FetchRules& rules, std::string& body)> run;
};

class TransferRules : public AgainstServices {
 protected:
  std::vector<Operation> operations() {
    return {
        {"CHttpDownloader::downloadToMemory", false,
         [](const std::string& address, const net::FetchRules& rules, std::string& body) {
           CHttpDownloader downloader;
           return downloader.downloadToMemory(body, utility::utf8ToWide(address), rules);
         }},
        {"CHttpDownloader::downloadToFile", false,
         [this](const std::string& address, const net::FetchRules& rules, std::string& body) {
           CHttpDownloader downloader;
           const bool ok = downloader.downloadToFile(utility::utf8ToWide(address), file("client.bin").wstring(),
                                                     nullptr, rules);
           body = readFile(file("client.bin"));
           return ok;
         }},
        {"QvCurlDownloader::downloadMemory", true,
         [](const std::string& address, const net::FetchRules& rules, std::string& body) {
           return QvCurlDownloader::downloadMemory(address, body, rules);
         }},
        {"QvCurlDownloader::downloadFile", true,
         [this](const std::string& address, const net::FetchRules& rules, std::string& body) {
           const bool ok = QvCurlDownloader::downloadFile(file("curl.bin").wstring(), address, nullptr, rules);
           body = readFile(file("curl.bin"));
           return ok;
         }},
    };
  }
};

TEST_F(TransferRules, PlainDownloadsAndRedirectsWithinHttps) {
  constexpr size_t kSize = 200000;
  const std::string direct = generatedPath(kSize);
  const std::string hopped = generatedPath(kSize, ",\"redirects\":3");
  const std::string query = generatedPath(kSize);
  for (const Operation& operation : operations()) {
    for (const std::string& path : {direct, hopped, query + "?id=7&name=a%20b"}) {
      SCOPED_TRACE(std::string(operation.name) + " " + path);
      std::string body;
      EXPECT_TRUE(operation.run(url(path), {}, body));
      EXPECT_TRUE(body == generated(kSize)) << body.size() << " bytes";
    }
  }
  // A remote document through the client's own sink, with its header lines.
  CHttpClient client;
  std::string document;
  CHttpDownloader downloader;
  ASSERT_TRUE(downloader.downloadToMemory(document, wurl("/player_files/en/morvane")));
  EXPECT_NE(document.find("zaz9"), std::string::npos);
}

TEST_F(TransferRules, OnlyHttpAndHttpsAndNeverBackFromHttpsToHttp) {
  Listener plain;
  ASSERT_GT(plain.port(), 0);
  const std::string plainUrl = "http://localhost:" + std::to_string(plain.port()) + "/evil.exe";
  const std::string toPlain = uniquePath("to-plain");
  setFault(toPlain, "{\"location\":\"" + plainUrl + "\"}");
  const std::string toPlainLater = uniquePath("to-plain-later");
  setFault(toPlainLater, "{\"redirects\":2,\"location\":\"" + plainUrl + "\"}");
  const std::string toFile = uniquePath("to-file");
  setFault(toFile, "{\"location\":\"file:///C:/windows/win.ini\"}");
  const std::string toFtp = uniquePath("to-ftp");
  setFault(toFtp, "{\"location\":\"ftp://localhost:" + std::to_string(plain.port()) + "/evil.exe\"}");
  struct Case {
    const char* label;
    std::string url;
    bool plainTarget;
  };
  const Case cases[] = {
      {"https redirected to http", url(toPlain), true},
      {"https redirected to http after two hops", url(toPlainLater), true},
      {"https redirected to file", url(toFile), false},
      {"https redirected to ftp", url(toFtp), false},
      {"a file address", "file:///C:/windows/win.ini", false},
      {"an ftp address", "ftp://localhost:" + std::to_string(plain.port()) + "/evil.exe", false},
  };
  for (const Operation& operation : operations()) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(operation.name) + ": " + c.label);
      clearLog();
      std::string body;
      EXPECT_FALSE(operation.run(c.url, {}, body));
      EXPECT_TRUE(body.empty()) << body.substr(0, 100);
      EXPECT_TRUE(logged(L"refused")) << "no record of the refusal:\n" << logText();
      if (c.plainTarget) {
        const std::wstring wide = utility::utf8ToWide(plainUrl);
        EXPECT_TRUE(logged(operation.curl ? L"address refused, only https allowed: " + wide
                                          : L"redirect to " + wide + L" refused"));
      }
    }
  }
  // libcurl may connect before it refuses a hop; WinINet never asks the plain server.
  CHttpClient client;
  class Sink : public CHttpClient::IHttpClientSink {
   public:
    void onHttpError(int step, int code) override { errors.emplace_back(step, code); }
    bool onHttpRecvHeader(int64_t, int) override { return true; }
    bool onHttpRecvData(const char*, int) override { return true; }
    void onHttpFinish() override {}
    std::vector<std::pair<int, int>> errors;
  } sink;
  EXPECT_FALSE(client.openUrl(wurl(toPlain), L"", &sink) && client.sendAndReceive());
  client.closeHandle();
  ASSERT_EQ(sink.errors.size(), 1u);
  EXPECT_EQ(sink.errors[0], std::make_pair(CHttpClient::kStepSendRequest, net::kInternetHttpsToHttpOnRedirect));
}

// A chain that begins on plain http, goes to https and back: once a hop was https, no later hop
// may be plain.
TEST_F(TransferRules, AChainThatWasHttpsNeverGoesBackToHttp) {
  const std::string evilReply = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\nevil body";
  RawServer evil(evilReply);
  ASSERT_GT(evil.port(), 0);
  const std::string evilUrl = "http://localhost:" + std::to_string(evil.port()) + "/evil.exe";
  const std::string back = uniquePath("back");
  setFault(back, "{\"location\":\"" + evilUrl + "\"}");
  RawServer plainToSecure("HTTP/1.1 302 Found\r\nLocation: " + url(back) +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  const std::string start = "http://localhost:" + std::to_string(plainToSecure.port()) + "/player.json";
  for (const Operation& operation : operations()) {
    SCOPED_TRACE(operation.name);
    clearLog();
    std::string body;
    EXPECT_FALSE(operation.run(start, {}, body));
    EXPECT_EQ(body.find("evil"), std::string::npos);
    const std::wstring wide = utility::utf8ToWide(evilUrl);
    EXPECT_TRUE(logged(operation.curl ? L"address refused, only https allowed: " + wide : L"redirect to " + wide + L" refused"))
        << logText();
  }
  // libcurl may connect before it refuses the hop; no request ever reached the plain server.
  for (const std::string& request : evil.requests()) EXPECT_EQ(request, "");
  // Without the https hop the same plain server is fetched.
  std::string body;
  CHttpDownloader downloader;
  EXPECT_TRUE(downloader.downloadToMemory(body, utility::utf8ToWide(evilUrl)));
  EXPECT_EQ(body, "evil body");
}

// A reply that is no HTTP at all is no document.
TEST_F(AgainstServices, AReplyWithoutStatusLineFails) {
  RawServer garbage("this is not HTTP\r\n\r\n");
  CHttpDownloader downloader;
  std::string body;
  EXPECT_FALSE(downloader.downloadToMemory(body, utility::utf8ToWide("http://localhost:" + std::to_string(garbage.port()) + "/x")))
      << body;
  EXPECT_TRUE(body.empty());
  EXPECT_TRUE(logged(L"reply without status line refused"));
}

TEST_F(TransferRules, HttpsOnlyRefusesAPlainAddressBeforeAnyTraffic) {
  Listener plain;
  const std::string address = "http://localhost:" + std::to_string(plain.port()) + "/player.json";
  for (const Operation& operation : operations()) {
    SCOPED_TRACE(operation.name);
    std::string body;
    EXPECT_FALSE(operation.run(address, {.httpsOnly = true}, body));
  }
  EXPECT_FALSE(plain.reached());
  EXPECT_TRUE(logged(L"plain http refused: http://localhost:"));
  EXPECT_TRUE(logged(L"address refused, only https allowed: http://localhost:"));
}

// Trust follows the deployment: a pinned CA trusts exactly the chains that end at it and name
// the host; a deployment without one trusts the system store, which knows nothing of the test CA.
TEST_F(TransferRules, UntrustedServersAreRefused) {
  const std::string rogue = environment("TARNWICK_TEST_SERVICES_ROGUE");
  const std::string wrongHost = environment("TARNWICK_TEST_SERVICES_WRONGHOST");
  if (rogue.empty() || wrongHost.empty()) {
    GTEST_SKIP() << "TARNWICK_TEST_SERVICES_ROGUE and TARNWICK_TEST_SERVICES_WRONGHOST are not set";
  }
  struct Case {
    const char* label;
    std::string url;
    bool pinned;
    std::vector<int> codes;  // what the WinINet client may report at the send step
  };
  const Case cases[] = {
      {"signed by another CA of the same name", rogue + "/player_files/en/morvane", true, {net::kInternetInvalidCa}},
      {"issued for another host", wrongHost + "/player_files/en/morvane", true, {net::kInternetSecCertCnInvalid}},
      {"an address, not the name the certificate is checked against",
       "https://127.0.0.1:" + base_.substr(base_.rfind(':') + 1) + "/player_files/en/morvane", true,
       {net::kInternetSecCertCnInvalid}},
      // Wine reports the revocation check a private CA cannot answer before the unknown root.
      {"a private CA the system store does not hold", url("/player_files/en/morvane"), false,
       {net::kInternetInvalidCa, net::kInternetSecCertRevFailed, net::kInternetSecCertErrors}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    values_.caBundleFile = c.pinned ? ca_ : "";
    for (const Operation& operation : operations()) {
      // libcurl is asked only with the CA file: Wine's Schannel does not check a chain without it.
      if (operation.curl && !c.pinned) continue;
      SCOPED_TRACE(operation.name);
      std::string body;
      EXPECT_FALSE(operation.run(c.url, {}, body));
      EXPECT_TRUE(body.empty());
    }
    CHttpDownloader downloader;
    clearLog();
    EXPECT_FALSE(downloader.downloadToFile(utility::utf8ToWide(c.url), file("refused.bin").wstring(), nullptr));
    bool named = false;
    for (const int code : c.codes) named = named || logged(L"onHttpErro 6, " + std::to_wstring(code));
    EXPECT_TRUE(named) << "not refused for its certificate";
    EXPECT_FALSE(std::filesystem::exists(file("refused.bin")));
  }
  // The same services with the pinned CA are trusted.
  values_.caBundleFile = ca_;
  std::string body;
  CHttpDownloader downloader;
  EXPECT_TRUE(downloader.downloadToMemory(body, wurl("/player_files/en/morvane")));
  EXPECT_TRUE(QvCurlDownloader::downloadMemory(url("/player_files/en/morvane"), body));
}

TEST_F(TransferRules, ADeadlineEndsAServerThatTrickles) {
  // 40 bytes at 10 bytes per second: about 4 s, never idle long enough for a stall limit.
  const std::string trickling = generatedPath(40, ",\"bytesPerSecond\":10");
  const std::string late = uniquePath("late.json");
  setFault(late, "{\"size\":40,\"delayMs\":15000}");
  for (const std::string& path : {trickling, late}) {
    for (const Operation& operation : operations()) {
      SCOPED_TRACE(std::string(operation.name) + " " + path);
      clearLog();
      std::string body;
      EXPECT_FALSE(operation.run(url(path), {.deadline = std::chrono::milliseconds(600)}, body));
      EXPECT_TRUE(body.size() < 40);
      EXPECT_TRUE(logged(L"no complete reply within 600 ms"));
    }
  }
}

// The minimum rate is a number of bytes over the whole window: half the rate fails, four times
// the rate succeeds, on both stacks at once.
TEST_F(TransferRules, TheMinimumRateHoldsOverItsWholeWindow) {
  constexpr uint64_t kRate = 4096;
  constexpr std::chrono::seconds kWindow{5};
  const net::FetchRules rules{.minBytesPerSecond = kRate, .minRateWindow = kWindow};
  struct Case {
    const char* label;
    bool curl;
    uint64_t bytesPerSecond;
    uint64_t size;
    bool success;
  };
  constexpr uint64_t kBelow = kRate / 2;
  constexpr uint64_t kAbove = kRate * 4;  // Wine's handshake on a loaded machine eats into the first window
  const Case cases[] = {
      {"platform client, half the rate", false, kBelow, kBelow * 3 * kWindow.count(), false},
      {"platform client, four times the rate", false, kAbove, kAbove * 2 * kWindow.count(), true},
      {"libcurl, half the rate", true, kBelow, kBelow * 3 * kWindow.count(), false},
      {"libcurl, four times the rate", true, kAbove, kAbove * 2 * kWindow.count(), true},
  };
  std::vector<std::string> paths;
  for (const Case& c : cases) {
    paths.push_back(generatedPath(c.size, ",\"bytesPerSecond\":" + std::to_string(c.bytesPerSecond)));
  }
  struct Outcome {
    bool ok = false;
    std::string body{};
  };
  Outcome outcomes[std::size(cases)];
  std::vector<std::thread> transfers;
  for (size_t i = 0; i < std::size(cases); ++i) {
    transfers.emplace_back([&, i] {
      const std::filesystem::path target = file("rate-" + std::to_string(i) + ".bin");
      if (cases[i].curl) {
        outcomes[i].ok = QvCurlDownloader::downloadFile(target.wstring(), url(paths[i]), nullptr, rules);
      } else {
        CHttpDownloader downloader;
        outcomes[i].ok = downloader.downloadToFile(wurl(paths[i]), target.wstring(), nullptr, rules);
      }
      outcomes[i].body = readFile(target);
    });
  }
  for (std::thread& transfer : transfers) transfer.join();
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].label);
    EXPECT_EQ(outcomes[i].ok, cases[i].success);
    if (cases[i].success) {
      EXPECT_TRUE(outcomes[i].body == generated(cases[i].size));
    } else {
      EXPECT_LT(outcomes[i].body.size(), cases[i].size);
    }
  }
  EXPECT_EQ(loggedBy("utility::CHttpClient::sendAndReceive", L"transfer below 4096 bytes per second for 5 s"), 1u);
  EXPECT_EQ(loggedBy("QvCurlDownloader::downloadFile", L"transfer below 4096 bytes per second for 5 s"), 1u);
}

TEST_F(TransferRules, TheSizeCapRefusesLongReplies) {
  constexpr uint64_t kSize = 200000;
  for (const bool withLength : {true, false}) {
    SCOPED_TRACE(withLength ? "with length" : "without length");
    const std::string path = generatedPath(kSize, withLength ? "" : ",\"omitLength\":true");
    CHttpDownloader downloader;
    std::string out;
    EXPECT_FALSE(downloader.downloadToMemory(out, wurl(path), kSize - 1));
    EXPECT_LE(out.size(), kSize - 1);
    out.clear();
    EXPECT_TRUE(downloader.downloadToMemory(out, wurl(path), kSize));
    EXPECT_EQ(out.size(), kSize);
    std::string curlOut;
    EXPECT_FALSE(QvCurlDownloader::downloadMemory(url(path), curlOut, kSize - 1));
    // A body that ends with its connection ends without TLS's closing message, which Schannel
    // counts as a receive failure: only the one with a length is whole there.
    if (withLength) EXPECT_TRUE(QvCurlDownloader::downloadMemory(url(path), curlOut, kSize)) << logText();
  }
  EXPECT_TRUE(logged(L"reply larger than 199999 bytes refused"));
}

TEST_F(TransferRules, ABodyCutShortIsNoDownload) {
  const std::string dropped = generatedPath(200000, ",\"dropAfterBytes\":50000");
  CHttpDownloader downloader;
  EXPECT_FALSE(downloader.downloadToFile(wurl(dropped), file("cut.bin").wstring(), nullptr));
  const std::string partial = readFile(file("cut.bin"));
  EXPECT_LE(partial.size(), 50000u);
  EXPECT_TRUE(partial == generated(partial.size()));
  EXPECT_TRUE(logged(L"body ended after"));
  // Refused statuses create no file.
  const std::string missing = uniquePath("missing.bin");
  EXPECT_FALSE(downloader.downloadToFile(wurl(missing), file("missing.bin").wstring(), nullptr));
  EXPECT_FALSE(std::filesystem::exists(file("missing.bin")));
  EXPECT_TRUE(logged(L"onHttpErro status = 404"));
}

TEST_F(AgainstServices, CancelFromAnotherThreadStopsForGood) {
  constexpr size_t kSize = 4 << 20;
  const std::string slow = generatedPath(kSize, ",\"bytesPerSecond\":524288");
  CHttpDownloader downloader;
  ProgressRecorder progress;
  std::thread canceller([&] {
    progress.waitForBytes(100000);
    downloader.cancel();
  });
  EXPECT_FALSE(downloader.downloadToFile(wurl(slow), file("big.bin").wstring(), &progress));
  canceller.join();
  const std::string partial = readFile(file("big.bin"));
  EXPECT_GE(partial.size(), 100000u);
  EXPECT_LT(partial.size(), kSize);
  EXPECT_TRUE(partial == generated(partial.size()));

  // Later downloads through the same object end at once, whatever the body.
  clearLog();
  std::string out;
  const std::string small = generatedPath(1000);
  EXPECT_FALSE(downloader.downloadToMemory(out, wurl(small)));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(downloader.downloadToFile(wurl(small), file("after.bin").wstring(), nullptr));
  EXPECT_FALSE(std::filesystem::exists(file("after.bin")));
  EXPECT_TRUE(logged(L"onHttpErro 6, 12017"));
}

TEST_F(AgainstServices, CancelEndsATransferWaitingForData) {
  struct Case {
    const char* label;
    std::string fault;
    int64_t bytesBeforeCancel;  // -1: cancel once the request is under way
  };
  const Case cases[] = {
      {"stalled body", "{\"size\":200000,\"stallAfterBytes\":1000,\"stallMs\":15000}", 1000},
      {"headers never come", "{\"size\":1000,\"delayMs\":15000}", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = uniquePath("waiting.bin");
    setFault(path, c.fault);
    clearLog();
    CHttpDownloader downloader;
    ProgressRecorder progress;
    std::atomic<bool> done{false};
    std::thread canceller([&] {
      if (c.bytesBeforeCancel >= 0) {
        progress.waitForBytes(c.bytesBeforeCancel);
      } else {
        // The request is under way once the services could have had it; a cancel any earlier is
        // also a cancel (the client then sends nothing).
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
      }
      downloader.cancel();
      done = true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(downloader.downloadToFile(wurl(path), file("w.bin").wstring(), &progress));
    canceller.join();
    // Ended by the cancel, not by a time-out of WinINet's (30 s to receive).
    if (c.bytesBeforeCancel >= 0) {
      EXPECT_TRUE(logged(L"read failed: ")) << "not ended by the cancel";
    } else {
      EXPECT_TRUE(logged(L"onHttpErro 6, 12017")) << "not ended by the cancel";
    }
    (void)start;
  }
}

TEST_F(AgainstServices, ACancelIsNeverLostWhateverTheMomentItLands) {
  // Short time-outs and a server that never answers: a lost cancel shows as a time-out (12002)
  // instead of the cancel's own code (12017).
  const CHttpClient::Timeouts shortTimeouts{2, 1};
  CHttpClient::setTimeoutsForTesting(&shortTimeouts);
  const std::string path = uniquePath("never.bin");
  setFault(path, "{\"size\":1000,\"delayMs\":15000}");
  static CHttpDownloader* downloader = nullptr;
  static CHttpClient::OpenStage cancelAt = CHttpClient::OpenStage::kEntered;
  for (const CHttpClient::OpenStage stage : {CHttpClient::OpenStage::kEntered, CHttpClient::OpenStage::kBeforePublish}) {
    SCOPED_TRACE(stage == CHttpClient::OpenStage::kEntered ? "before openUrl began" : "while the session is built");
    clearLog();
    CHttpDownloader target;
    downloader = &target;
    cancelAt = stage;
    CHttpClient::setOpenHookForTesting([](CHttpClient*, CHttpClient::OpenStage at) {
      if (at == cancelAt) downloader->cancel();
    });
    EXPECT_FALSE(target.downloadToFile(wurl(path), file("w.bin").wstring(), nullptr));
    CHttpClient::setOpenHookForTesting(nullptr);
    EXPECT_TRUE(logged(L"onHttpErro 6, 12017")) << "not ended by the cancel";
  }
}

TEST_F(AgainstServices, TimeOutsEndStalledTransfers) {
  const CHttpClient::Timeouts shortTimeouts{2, 1};
  CHttpClient::setTimeoutsForTesting(&shortTimeouts);
  const std::string late = uniquePath("late.bin");
  setFault(late, "{\"size\":1000,\"delayMs\":15000}");
  const std::string stalls = generatedPath(200000, ",\"stallAfterBytes\":1000,\"stallMs\":15000");
  CHttpDownloader downloader;
  clearLog();
  EXPECT_FALSE(downloader.downloadToFile(wurl(late), file("t.bin").wstring(), nullptr));
  EXPECT_TRUE(logged(L"onHttpErro 6, 12002"));
  clearLog();
  EXPECT_FALSE(downloader.downloadToFile(wurl(stalls), file("t.bin").wstring(), nullptr));
  EXPECT_TRUE(logged(L"read failed: ")) << "a stalled body must end";
}

// A download target is a fresh file of its own: what was at the path is replaced as a name, a
// file hard-linked elsewhere keeps its bytes, and a folder in the way is refused and left.
TEST_F(AgainstServices, TheTargetIsAFreshFile) {
  constexpr size_t kSize = 300000;
  const std::string path = generatedPath(kSize);
  const std::string victim = "precious settings\n";
  std::ofstream(file("victim.txt"), std::ios::binary) << victim;
  std::ofstream(file("existing.bin"), std::ios::binary) << std::string(kSize * 2, 'x');
  std::error_code error;
  std::filesystem::create_hard_link(file("victim.txt"), file("linked.bin"), error);
  const bool linked = !error;
  std::filesystem::create_directory(file("folder.bin"));
  const auto platform = [&](const std::filesystem::path& target) {
    CHttpDownloader downloader;
    return downloader.downloadToFile(wurl(path), target.wstring(), nullptr);
  };
  const auto curl = [&](const std::filesystem::path& target) {
    return QvCurlDownloader::downloadFile(target.wstring(), url(path), nullptr);
  };
  for (const auto& download : {std::function<bool(const std::filesystem::path&)>(platform),
                               std::function<bool(const std::filesystem::path&)>(curl)}) {
    EXPECT_TRUE(download(file("existing.bin")));
    EXPECT_TRUE(readFile(file("existing.bin")) == generated(kSize));
    if (linked) {
      EXPECT_TRUE(download(file("linked.bin")));
      EXPECT_EQ(readFile(file("victim.txt")), victim);
      EXPECT_TRUE(readFile(file("linked.bin")) == generated(kSize));
    }
    EXPECT_FALSE(download(file("folder.bin")));
    EXPECT_TRUE(std::filesystem::is_directory(file("folder.bin")));
  }
}

}  // namespace

// Continuing partial files on Windows: a server that breaks off every reply after a number of
// bytes lets each attempt, on either stack, continue where the last ended until the file is
// whole; the digest fed on the way (CNG's SHA-256) is that of the whole file.
class Resume : public AgainstServices {
 protected:
  bool attempt(bool curl, const std::string& path, net::FileTransfer& transfer) {
    const std::wstring target = file("resume.bin").wstring();
    const net::FetchRules rules{.httpsOnly = true, .delimitedBodyOnly = true};
    if (curl) return QvCurlDownloader::downloadFile(target, url(path), nullptr, rules, nullptr, nullptr, &transfer);
    CHttpDownloader downloader;
    return downloader.downloadToFile(utility::utf8ToWide(url(path)), target, nullptr, rules, &transfer);
  }
  net::ResumePoint pointAfter(const net::FileTransfer& transfer) const {
    return net::ResumePoint{.offset = static_cast<int64_t>(readFile(file("resume.bin")).size()),
                            .validator = transfer.validator,
                            .total = transfer.total};
  }
};

TEST_F(Resume, EachAttemptContinuesWhereTheLastEnded) {
  constexpr size_t kSize = 1000000;
  const std::string path = generatedPath(kSize, ",\"dropAfterBytes\":300000");
  utility::Sha256 digest;
  net::FileTransfer transfer{.digest = &digest};
  bool whole = false;
  // Platform stack and libcurl in turns: 300000 bytes each, the fourth attempt ends the file.
  for (int turn = 0; turn < 4 && !whole; ++turn) {
    SCOPED_TRACE(turn);
    whole = attempt(turn % 2 == 1, path, transfer);
    if (!whole) {
      ASSERT_FALSE(transfer.validator.empty()) << logText();
      transfer.resume = pointAfter(transfer);
      EXPECT_EQ(transfer.resume.offset, 300000 * (turn + 1));
    }
  }
  EXPECT_TRUE(whole) << logText();
  EXPECT_TRUE(readFile(file("resume.bin")) == generated(kSize));
  EXPECT_EQ(transfer.resumedBytes, 900000);
  utility::Sha256 expected;
  const std::string bytes = generated(kSize);
  expected.update(bytes.data(), bytes.size());
  EXPECT_EQ(digest.hex(), expected.hex());
  EXPECT_TRUE(logged(L"download resumed at 600000 of 1000000 bytes"));
}

// A reply that cannot continue the partial file: the wrong part is never added to it, a whole
// reply starts it anew.
TEST_F(Resume, RepliesThatCannotContinueAreNotSpliced) {
  constexpr size_t kSize = 600000;
  for (const bool curl : {false, true}) {
    for (const char* fault : {",\"wrongContentRange\":true", ",\"ignoreRange\":true"}) {
      SCOPED_TRACE(std::string(curl ? "libcurl" : "platform stack") + fault);
      clearLog();
      std::filesystem::remove(file("resume.bin"));
      const std::string path = generatedPath(kSize, std::string(",\"dropAfterBytes\":250000") + fault);
      net::FileTransfer transfer;
      ASSERT_FALSE(attempt(curl, path, transfer));
      transfer.resume = pointAfter(transfer);
      ASSERT_TRUE(transfer.resume.valid()) << logText();
      EXPECT_FALSE(attempt(curl, path, transfer));  // refused, or restarted and cut again
      EXPECT_TRUE(transfer.partialDiscarded);
      const std::string kept = readFile(file("resume.bin"));
      EXPECT_TRUE(kept == generated(kept.size()));
      EXPECT_TRUE(logged(L"range reply refused, partial file discarded") || logged(L"download restarts from zero"))
          << logText();
    }
  }
}
