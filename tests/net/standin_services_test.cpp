#include <curl/curl.h>
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "net/http_downloader.h"
#include "net/qv_curl_downloader.h"
#include "standin/services/post_checks.h"
#include "tests/net/net_test_support.h"
#include "tests/net/tls_peers.h"
#include "utility/base/sha256.h"
#include "utility/base/strings.h"

namespace {

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

class StandinServices : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::make_unique<testsupport::TempFolder>("standin-services");
    services_ = std::make_unique<standin::Services>(
        standin::Options{.recordFile = (folder_->path() / "posts.jsonl").string(), .installerSize = 4096});
    ASSERT_GT(services_->start(), 0);
    values_ = deployment::compiledValues();
    values_.caBundleFile = nettest::certFile("ca.pem");
    deployment::setValuesForTesting(&values_);
  }
  void TearDown() override {
    services_->stop();
    deployment::setValuesForTesting(nullptr);
  }
  bool get(const std::string& path, std::string& body) {
    body.clear();
    utility::CHttpDownloader downloader;
    return downloader.downloadToMemory(body, utility::utf8ToWide(services_->baseUrl() + path));
  }

  std::unique_ptr<testsupport::TempFolder> folder_;
  std::unique_ptr<standin::Services> services_;
  deployment::Values values_;
};

TEST_F(StandinServices, ServesEveryPathTheInstallerAsksFor) {
  const std::string base = services_->baseUrl();
  struct Case {
    std::string path;
    std::string contains;
  };
  std::vector<Case> cases = {
      {"/player_files/en/morvane", base + "/download/full/en/Tarnwick9_setup.exe"},
      {"/qv/morvane", base + "/download/full/cn/qvinst64_setup.exe"},
      {"/player_files/openidconfig/35036.data", "\"shortcutname\""},
      {"/player_files/openidconfig/35037.data", base + "/apps/com.tarnwick.demo.apk"},
      {"/player_files/openidconfig/35038.data", "\"xapk\": \"1\""},
      {"/site/home/kr/", "lang=\"kr\""},
      {"/site/home/en/", "lang=\"en\""},
      {"/site/community/de/", "Community page (de)"},
      {"/other/protocol.html", "licence"},
      {"/filehost/uc?export=download&id=1TarnwickFullInstaller9", ""},
  };
  for (const std::string& path : standin::installerPaths()) cases.push_back({path, ""});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string body;
    ASSERT_TRUE(get(c.path, body));
    EXPECT_NE(body.find(c.contains), std::string::npos);
  }

  // Every address the documents give is served too.
  const std::regex address(base + R"(/[^"]+)");
  for (const char* document : {"/player_files/en/morvane", "/qv/morvane", "/player_files/openidconfig/35036.data",
                               "/player_files/openidconfig/35037.data", "/player_files/openidconfig/35038.data"}) {
    std::string text;
    ASSERT_TRUE(get(document, text));
    for (std::sregex_iterator it(text.begin(), text.end(), address), end; it != end; ++it) {
      SCOPED_TRACE(it->str());
      std::string body;
      EXPECT_TRUE(get(it->str().substr(base.size()), body));
      EXPECT_FALSE(body.empty());
    }
  }
  std::string installer;
  ASSERT_TRUE(get("/download/package/Tarnwick9.0.exe", installer));
  EXPECT_EQ(installer.size(), 4096u);
  EXPECT_EQ(installer[4095], standin::Services::generatedByte(4095));
}

TEST_F(StandinServices, RefusesPathsOutsideTheFixtures) {
  // Sent byte for byte over TLS: HTTP clients resolve "../" before sending, so only a raw
  // request shows what the server's own guard does with it.
  const char* const paths[] = {
      "/../CMakeLists.txt",
      "/../../../../../../etc/passwd",
      "/%2e%2e/services.cpp",
      "/player_files/../../make_certs.sh",
      "/player_files/en/../../../CMakeLists.txt",
      "/nothing/here",
      "//etc/passwd",
      "/%2Fetc/passwd",
      "/%2F%2Fetc/hostname",
      "/player_files//../../make_certs.sh",
      "/player_files%5C..%5C..%5Cmake_certs.sh",
      "/player_files/..%5C..%5Cmake_certs.sh",
      "/other/protocol.html%00.png",
      "/player_files/%2E/../../CMakeLists.txt",
      "/player_files/en/%2E%2E/%2E%2E/%2E%2E/CMakeLists.txt",
  };
  // The raw client itself works: a path inside is served.
  ASSERT_EQ(nettest::rawTlsGetStatus(services_->port(), "/player_files/en/morvane"), 200);
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    services_->clearRecords();
    const int status = nettest::rawTlsGetStatus(services_->port(), path);
    EXPECT_GE(status, 400);
    EXPECT_LT(status, 500);
    // It reached the server as sent, not resolved on the way.
    const auto requests = services_->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, path);
  }
}

TEST_F(StandinServices, RefusesLinksOutOfTheFixtures) {
  namespace fs = std::filesystem;
  const fs::path fixtures = folder_->path() / "fixtures";
  fs::create_directories(fixtures / "inside");
  std::ofstream(fixtures / "inside/page.html") << "served";
  std::ofstream(folder_->path() / "secret.txt") << "not for the web";
  fs::create_symlink(folder_->path() / "secret.txt", fixtures / "inside/link.txt");
  fs::create_directory_symlink(folder_->path(), fixtures / "up");
  fs::create_symlink("page.html", fixtures / "inside/alias.html");
  standin::Services own({.fixturesDir = fixtures.string()});
  ASSERT_GT(own.start(), 0);
  struct Case {
    const char* path;
    const char* body;  // nullptr: refused
  };
  const Case cases[] = {
      {"/inside/page.html", "served"},
      {"/inside/alias.html", "served"},  // a link that stays inside is fine
      {"/inside/link.txt", nullptr},
      {"/up/secret.txt", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string page;
    ASSERT_TRUE(QvCurlDownloader::downloadMemory(own.baseUrl() + c.path, page));
    if (c.body != nullptr) {
      EXPECT_EQ(page, c.body);
    } else {
      EXPECT_NE(page.find("404"), std::string::npos);
      EXPECT_EQ(page.find("not for the web"), std::string::npos);
    }
  }
}

TEST_F(StandinServices, RecordsAndChecksThePosts) {
  struct Case {
    std::string target;
    std::string body;
    std::vector<std::string> headers;
    bool accepted;
  };
  const std::string event =
      R"({"appId":1,"eventId":"E","eventKey":"run_downloader","timestamp":17,"properties":)"
      R"({"zaz_version":"2.2","zaz_mac":"m","device_id":"m","openid":"1","language":"en"}})";
  const std::string one = "[" + event + "]";
  const std::string two = "[" + event + "," + event + "]";
  const std::string salt = deployment::compiledValues().reportSalt;
  auto signedFor = [&](size_t count) {
    return std::vector<std::string>{"timestamp: 1700000000123",
                                    "signature: " + standin::collectionSignature(salt, "1700000000123", count)};
  };
  const deployment::AnalyticsCredentials& pair = deployment::compiledValues().analyticsDefault;
  const std::string analytics = "/mp/collect?measurement_id=" + utility::wideToUtf8(pair.measurementId) +
                                "&api_secret=" + utility::wideToUtf8(pair.apiSecret);
  const std::string analyticsBody = R"({"client_id":"c","events":[{"name":"download_run","params":{}}]})";
  const Case cases[] = {
      {"/collection/biz/upload", one, signedFor(1), true},
      {"/collection/biz/upload", two, signedFor(2), true},
      {"/collection/biz/upload", two, signedFor(1), false},  // signed for another count
      {"/collection/biz/upload", one, {"timestamp: 1700000000123"}, false},
      {"/collection/biz/upload", one, {"timestamp: soon", signedFor(1)[1]}, false},
      {"/collection/biz/upload", R"({"key":"x"})", signedFor(1), false},
      {"/collection/biz/upload", R"([{"eventKey":"x"}])", signedFor(1), false},
      {analytics, analyticsBody, {}, true},
      {"/mp/collect?measurement_id=G-AAAAAAAAAA&api_secret=s", analyticsBody, {}, false},
      {"/mp/collect?measurement_id=" + utility::wideToUtf8(pair.measurementId), analyticsBody, {}, false},
      {analytics, R"({"events":[{"name":"x"}]})", {}, false},
      {analytics, R"({"client_id":"c","events":[]})", {}, false},
  };
  for (const Case& c : cases) {
    std::string reply;
    EXPECT_TRUE(QvCurlDownloader::postRequest(c.body, reply, services_->baseUrl() + c.target, c.headers));
  }
  const auto posts = services_->posts();
  ASSERT_EQ(posts.size(), std::size(cases));
  for (size_t i = 0; i < posts.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(posts[i].target, cases[i].target);
    EXPECT_EQ(posts[i].body, cases[i].body);
    EXPECT_EQ(posts[i].accepted, cases[i].accepted) << posts[i].reason;
  }
  services_->stop();
  std::ifstream in(folder_->path() / "posts.jsonl");
  std::string line;
  size_t lines = 0;
  while (std::getline(in, line)) {
    EXPECT_EQ(line.front(), '{');
    ++lines;
  }
  EXPECT_EQ(lines, std::size(cases));
}

TEST_F(StandinServices, DeeplyNestedJsonIsRefusedAndTheServerKeepsServing) {
  const std::string deep = std::string(1000000, '[');
  const std::string balanced = deep + std::string(1000000, ']');
  const deployment::AnalyticsCredentials& pair = deployment::compiledValues().analyticsDefault;
  const std::string analytics = "/mp/collect?measurement_id=" + utility::wideToUtf8(pair.measurementId) +
                                "&api_secret=" + utility::wideToUtf8(pair.apiSecret);
  const std::string salt = deployment::compiledValues().reportSalt;
  const std::vector<std::string> signedForOne = {
      "timestamp: 1700000000123", "signature: " + standin::collectionSignature(salt, "1700000000123", 1)};
  size_t sent = 0;
  for (const std::string* body : {&deep, &balanced}) {
    for (const std::string& target : {std::string("/collection/biz/upload"), analytics}) {
      std::string reply;
      EXPECT_TRUE(QvCurlDownloader::postRequest(*body, reply, services_->baseUrl() + target, signedForOne));
      ++sent;
    }
    EXPECT_FALSE(services_->setFaultsFromJson(*body));
  }
  const auto posts = services_->posts();
  ASSERT_EQ(posts.size(), sent);
  for (const auto& post : posts) {
    EXPECT_EQ(post.body.size() % 1000000, 0u);
    EXPECT_FALSE(post.accepted);
  }
  std::string body;
  EXPECT_TRUE(get("/player_files/en/morvane", body));
}

TEST_F(StandinServices, FaultsComeFromJsonAndWearOff) {
  EXPECT_FALSE(services_->setFaultsFromJson("[]"));
  EXPECT_FALSE(services_->setFaultsFromJson(R"({"/a": {"colour": 1}})"));
  ASSERT_TRUE(services_->setFaultsFromJson(
      R"({"/player_files/en/morvane": {"status": 503, "times": 2}, "/qv/morvane": {"body": "not json"}})"));
  std::string body;
  EXPECT_FALSE(get("/player_files/en/morvane", body));
  EXPECT_FALSE(get("/player_files/en/morvane", body));
  EXPECT_TRUE(get("/player_files/en/morvane", body));
  EXPECT_TRUE(get("/qv/morvane", body));
  EXPECT_EQ(body, "not json");
  services_->clearFaults();
  EXPECT_TRUE(get("/qv/morvane", body));
  EXPECT_NE(body, "not json");

  // Any path can serve generated bytes, or send its client to any address (tests that run
  // outside this process make their own paths this way).
  ASSERT_TRUE(services_->setFaultsFromJson(
      R"({"/any/where.bin": {"size": 70000}, "/elsewhere": {"location": "/player_files/en/morvane"},)"
      R"( "/away": {"redirects": 2, "location": "http://127.0.0.1:9/evil"}})"));
  EXPECT_TRUE(get("/any/where.bin", body));
  std::string expected(70000, '\0');
  for (size_t i = 0; i < expected.size(); ++i) expected[i] = standin::Services::generatedByte(i);
  EXPECT_TRUE(body == expected);
  EXPECT_TRUE(get("/elsewhere", body));
  EXPECT_NE(body.find("zaz9"), std::string::npos);
  EXPECT_FALSE(get("/away", body));  // a plain-http hop after two https ones is refused
  std::vector<std::string> targets;
  for (const auto& request : services_->requests()) targets.push_back(request.target);
  const std::vector<std::string> tail(targets.end() - 3, targets.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"/away", "/__hop/1/away", "/__hop/2/away"}));
}

}  // namespace

namespace {

// Every installer is the given program padded with generated bytes to the size asked for; a
// program larger than that size is served whole.
TEST_F(StandinServices, InstallersAreTheGivenFilePaddedToTheirSize) {
  const std::string program = (folder_->path() / "program.bin").string();
  std::ofstream(program, std::ios::binary) << std::string(1000, 'P');
  struct Case {
    uint64_t size;
    size_t expected;
  };
  for (const Case& c : {Case{300000, 300000}, Case{1000, 1000}, Case{10, 1000}}) {
    SCOPED_TRACE(c.size);
    standin::Services services(standin::Options{.installerFile = program, .installerSize = c.size});
    ASSERT_GT(services.start(), 0);
    for (const std::string& path : {std::string("/download/package/Tarnwick9.0.exe"), std::string("/filehost/uc")}) {
      std::string body;
      utility::CHttpDownloader downloader;
      ASSERT_TRUE(downloader.downloadToMemory(body, utility::utf8ToWide(services.baseUrl() + path)));
      ASSERT_EQ(body.size(), c.expected);
      EXPECT_EQ(body.substr(0, 1000), std::string(1000, 'P'));
      for (size_t i = 1000; i < body.size(); ++i) {
        if (body[i] != standin::Services::generatedByte(i)) FAIL() << "padding differs at " << i;
      }
    }
  }
}

}  // namespace

namespace {

// The player information names the size and SHA-256 of the installer each address serves; the
// faults "wrong hash" and "wrong size" make them lie.
TEST_F(StandinServices, PlayerInformationNamesTheInstallersSizeAndHash) {
  std::string installer;
  ASSERT_TRUE(get("/download/full/en/Tarnwick9_setup.exe", installer));
  utility::Sha256 hash;
  hash.update(installer.data(), installer.size());
  const std::string digest = hash.hex();
  struct Case {
    const char* label;
    standin::Fault fault;
    bool sizeRight;
    bool hashRight;
  };
  const Case cases[] = {
      {"as served", {}, true, true},
      {"wrong hash", {.wrongHash = true}, true, false},
      {"wrong size", {.wrongSize = true}, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    services_->setFault("/player_files/en/morvane", c.fault);
    std::string body;
    ASSERT_TRUE(get("/player_files/en/morvane", body));
    rapidjson::Document document;
    document.Parse(body.c_str());
    ASSERT_TRUE(document.IsObject()) << body;
    for (const char* member : {"zaz", "zaz4", "zaz64", "zaz9"}) {
      const rapidjson::Value& player = document[member];
      ASSERT_TRUE(player.HasMember("size") && player["size"].IsUint64()) << member;
      ASSERT_TRUE(player.HasMember("sha256") && player["sha256"].IsString()) << member;
      EXPECT_EQ(player["size"].GetUint64() == installer.size(), c.sizeRight) << member;
      EXPECT_EQ(player["sha256"].GetString() == digest, c.hashRight) << member;
      EXPECT_EQ(std::string(player["sha256"].GetString()).size(), 64u);
    }
  }
}

}  // namespace
