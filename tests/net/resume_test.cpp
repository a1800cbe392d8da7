// Continuing a partial file with a range request, on both stacks, against the stand-in services
// (each way a server can answer one) and against nginx: every journey ends with the file
// byte-exact or starts it cleanly anew, never with a spliced file, and the digest fed along the
// way is the digest of the finished file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/byte_ranges.h"
#include "net/fetch_rules.h"
#include "net/http_downloader.h"
#include "net/qv_curl_downloader.h"
#include "tests/net/net_test_support.h"
#include "tests/net/nginx_server.h"
#include "tests/support/temp_folder.h"
#include "utility/base/sha256.h"
#include "utility/base/strings.h"

namespace {

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

constexpr uint64_t kFileSize = 3u << 20;
constexpr int64_t kFirstPart = (1u << 20) + 12345;  // where the first reply breaks off
constexpr const char* kPath = "/resume/installer.bin";

enum class Stack { kPlatform, kCurl };
const char* nameOf(Stack stack) { return stack == Stack::kPlatform ? "platform stack" : "libcurl"; }

// The rules of the installer download.
net::FetchRules installerRules() { return net::FetchRules{.httpsOnly = true, .delimitedBodyOnly = true}; }

// Progress as the platform client's sink reports it.
struct Progress : utility::CHttpDownloader::IHttpDownloadSink {
  std::vector<int64_t> received;
  int64_t total = 0;
  bool onHttpProgress(const char*, int, int64_t now, int64_t whole) override {
    received.push_back(now);
    total = whole;
    return true;
  }
};

std::string sha256(const std::string& bytes) {
  utility::Sha256 hash;
  hash.update(bytes.data(), bytes.size());
  return hash.hex();
}

class Resume : public nettest::ServicesTest, public ::testing::WithParamInterface<Stack> {
 protected:
  // One attempt of |stack| at |address| into the test's file, continuing |transfer.resume|.
  bool attempt(Stack stack, const std::string& address, net::FileTransfer& transfer, Progress* progress = nullptr) {
    if (stack == Stack::kPlatform) {
      utility::CHttpDownloader client;
      return client.downloadToFile(utility::utf8ToWide(address), file_, progress, installerRules(), &transfer);
    }
    return QvCurlDownloader::downloadFile(file_, address, [this](int percent) { curlPercents_.push_back(percent); },
                                          installerRules(), nullptr, nullptr, &transfer);
  }
  // The point a next attempt continues from, as the model keeps it.
  net::ResumePoint pointAfter(const net::FileTransfer& transfer) const {
    return net::ResumePoint{.offset = static_cast<int64_t>(readFile(host_).size()),
                            .validator = transfer.validator,
                            .total = transfer.total};
  }
  std::string lastRequestHeader(const std::string& name) const {
    const auto requests = services_->requests();
    for (auto it = requests.rbegin(); it != requests.rend(); ++it) {
      if (it->path != kPath) continue;
      for (const auto& [key, value] : it->headers) {
        if (key == name) return value;
      }
      return {};
    }
    return {};
  }

  void SetUp() override {
    ServicesTest::SetUp();
    services_->addGeneratedFile(kPath, kFileSize);
    file_ = winPath("installer.bin");
    host_ = hostPath("installer.bin");
  }

  std::wstring file_;
  std::string host_;
  std::vector<int> curlPercents_;
};

// A first reply breaks off; the next attempt meets one way of answering its range request.
TEST_P(Resume, EachWayOfAnsweringARangeRequest) {
  enum class End { kContinued, kRestarted, kRefused };
  struct Case {
    const char* label;
    standin::Fault second;
    End end;
  };
  const Case cases[] = {
      {"the rest", {}, End::kContinued},
      {"range ignored (200)", {.ignoreRange = true}, End::kRestarted},
      {"validator changed", {.validatorChanged = true}, End::kRestarted},
      {"wrong Content-Range", {.wrongContentRange = true}, End::kRefused},
      {"weak ETag: the date vouches", {.weakEtag = true}, End::kContinued},
  };
  const std::string whole = generated(kFileSize);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(nameOf(GetParam())) + ": " + c.label);
    std::filesystem::remove(host_);
    log_.clear();
    standin::Fault first{.dropAfterBytes = kFirstPart};
    first.weakEtag = c.second.weakEtag;
    services_->setFaultSequence(kPath, {first, c.second});
    utility::Sha256 digest;
    net::FileTransfer transfer{.digest = &digest};
    ASSERT_FALSE(attempt(GetParam(), url(kPath), transfer));
    ASSERT_EQ(readFile(host_), whole.substr(0, kFirstPart));
    ASSERT_EQ(transfer.total, static_cast<int64_t>(kFileSize));
    ASSERT_FALSE(transfer.validator.empty());
    transfer.resume = pointAfter(transfer);
    curlPercents_.clear();  // the first attempt's own

    Progress progress;
    const bool ok = attempt(GetParam(), url(kPath), transfer, &progress);
    EXPECT_EQ(lastRequestHeader("Range"), "bytes=" + std::to_string(kFirstPart) + "-");
    EXPECT_EQ(lastRequestHeader("If-Range"), transfer.resume.validator);
    const std::string file = readFile(host_);
    switch (c.end) {
      case End::kContinued:
        EXPECT_TRUE(ok);
        EXPECT_TRUE(file == whole);
        EXPECT_EQ(transfer.resumedBytes, kFirstPart);
        EXPECT_FALSE(transfer.partialDiscarded);
        EXPECT_EQ(digest.hex(), sha256(whole));
        EXPECT_TRUE(log_.containsPart(L"download resumed at " + std::to_wstring(kFirstPart) + L" of " +
                                      std::to_wstring(kFileSize) + L" bytes"));
        if (GetParam() == Stack::kPlatform) {
          // The kept part counts as done from the first report on.
          ASSERT_FALSE(progress.received.empty());
          EXPECT_GT(progress.received.front(), kFirstPart);
          EXPECT_EQ(progress.total, static_cast<int64_t>(kFileSize));
        } else {
          for (const int percent : curlPercents_) EXPECT_GE(percent, 33);
        }
        break;
      case End::kRestarted:
        EXPECT_TRUE(ok);
        EXPECT_TRUE(file == whole);
        EXPECT_EQ(transfer.resumedBytes, 0);
        EXPECT_TRUE(transfer.partialDiscarded);
        EXPECT_EQ(digest.hex(), sha256(whole));
        EXPECT_TRUE(log_.containsPart(L"download restarts from zero"));
        break;
      case End::kRefused:
        EXPECT_FALSE(ok);
        EXPECT_TRUE(transfer.partialDiscarded);
        EXPECT_TRUE(transfer.validator.empty());  // nothing to continue with
        // Nothing of the refused reply reached the file.
        EXPECT_TRUE(file == whole.substr(0, kFirstPart));
        EXPECT_TRUE(log_.containsPart(L"range reply refused, partial file discarded"));
        break;
    }
  }
}

// Without a validator (or without byte ranges) there is nothing to continue: the next attempt
// asks for the whole file.
TEST_P(Resume, NoValidatorNoRangeRequest) {
  services_->setFaultSequence(kPath, {{.dropAfterBytes = kFirstPart, .noValidator = true}, {.noValidator = true}});
  net::FileTransfer transfer;
  ASSERT_FALSE(attempt(GetParam(), url(kPath), transfer));
  EXPECT_TRUE(transfer.validator.empty());
  transfer.resume = pointAfter(transfer);
  EXPECT_FALSE(transfer.resume.valid());
  ASSERT_TRUE(attempt(GetParam(), url(kPath), transfer));
  EXPECT_EQ(lastRequestHeader("Range"), "");
  EXPECT_TRUE(readFile(host_) == generated(kFileSize));
}

// A partial file that is a link to a file elsewhere (hard or symbolic) is never written through:
// the reply that would continue it is not used.
TEST_P(Resume, ALinkedPartialFileIsNotContinued) {
  const std::string whole = generated(kFileSize);
  const std::string victim = hostPath("victim.bin");
  for (const bool hard : {true, false}) {
    SCOPED_TRACE(hard ? "hard link" : "symbolic link");
    std::filesystem::remove(host_);
    std::ofstream(victim, std::ios::binary | std::ios::trunc) << whole.substr(0, kFirstPart);
    if (hard) {
      std::filesystem::create_hard_link(victim, host_);
    } else {
      std::filesystem::create_symlink(victim, host_);
    }
    net::FileTransfer transfer;
    transfer.resume = {.offset = kFirstPart, .validator = "\"tw-" + std::to_string(kFileSize) + "\"",
                       .total = static_cast<int64_t>(kFileSize)};
    EXPECT_FALSE(attempt(GetParam(), url(kPath), transfer));
    EXPECT_TRUE(transfer.partialDiscarded);
    EXPECT_EQ(readFile(victim), whole.substr(0, kFirstPart));
  }
}

std::string stackName(const ::testing::TestParamInfo<Stack>& param) {
  return param.param == Stack::kPlatform ? "Platform" : "Curl";
}

INSTANTIATE_TEST_SUITE_P(BothStacks, Resume, ::testing::Values(Stack::kPlatform, Stack::kCurl), stackName);

// The same journeys against a real server: nginx names its own validators and Content-Range.
class ResumeFromNginx : public Resume {
 protected:
  void SetUp() override {
    Resume::SetUp();
    folder_ = std::make_unique<testsupport::TempFolder>("tarnwick-nginx");
    nginx_ = std::make_unique<nettest::NginxServer>(folder_->path().string());
    if (!nginx_->running()) GTEST_SKIP() << "nginx did not start: " << nginx_->errorLog();
    std::ofstream(nginx_->fileFor("/installer.bin"), std::ios::binary) << generated(kFileSize);
  }
  void TearDown() override {
    nginx_.reset();
    folder_.reset();
    Resume::TearDown();
  }
  std::unique_ptr<testsupport::TempFolder> folder_;
  std::unique_ptr<nettest::NginxServer> nginx_;
};

TEST_P(ResumeFromNginx, ContinuesOrStartsAnew) {
  const std::string whole = generated(kFileSize);
  const std::string address = nginx_->url("/installer.bin");
  // A whole download first, for the validator nginx names.
  net::FileTransfer first;
  ASSERT_TRUE(attempt(GetParam(), address, first)) << nginx_->errorLog();
  ASSERT_TRUE(readFile(host_) == whole);
  ASSERT_FALSE(first.validator.empty());
  ASSERT_EQ(first.validator.front(), '"');  // nginx's ETag is a strong one
  ASSERT_EQ(first.total, static_cast<int64_t>(kFileSize));

  enum class End { kContinued, kRestarted, kRefused };
  struct Case {
    const char* label;
    net::ResumePoint point;
    End end;
  };
  const Case cases[] = {
      {"the rest", {kFirstPart, first.validator, static_cast<int64_t>(kFileSize)}, End::kContinued},
      {"a validator of another version", {kFirstPart, "\"5f00-1\"", static_cast<int64_t>(kFileSize)},
       End::kRestarted},
      {"another total", {kFirstPart, first.validator, static_cast<int64_t>(kFileSize) + 1}, End::kRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(nameOf(GetParam())) + ": " + c.label);
    std::filesystem::remove(host_);
    std::ofstream(host_, std::ios::binary) << whole.substr(0, kFirstPart);
    utility::Sha256 digest;
    net::FileTransfer transfer{.resume = c.point, .digest = &digest};
    const bool ok = attempt(GetParam(), address, transfer);
    const std::string file = readFile(host_);
    EXPECT_EQ(ok, c.end != End::kRefused) << nginx_->errorLog();
    EXPECT_EQ(transfer.resumedBytes, c.end == End::kContinued ? kFirstPart : 0);
    if (c.end == End::kRefused) {
      EXPECT_TRUE(file == whole.substr(0, kFirstPart));
      EXPECT_TRUE(transfer.partialDiscarded);
    } else {
      EXPECT_TRUE(file == whole);
      EXPECT_EQ(digest.hex(), sha256(whole));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothStacks, ResumeFromNginx, ::testing::Values(Stack::kPlatform, Stack::kCurl), stackName);

}  // namespace
