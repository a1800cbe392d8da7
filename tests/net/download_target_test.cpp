// What both download stacks do with the path they write to. The installer runs with
// administrator rights, so whatever else is found at the target is refused and left as it is.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "net/http_downloader.h"
#include "net/qv_curl_downloader.h"
#include "tests/net/net_test_support.h"
#include "utility/base/strings.h"

namespace {

using nettest::Planted;

constexpr uint64_t kSize = 300000;  // more than a pipe holds, so a FIFO written to would block

class DownloadTargets : public nettest::ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    services_->addGeneratedFile("/files/big.bin", kSize);
    writeFile(hostPath("victim.txt"), kVictim);
  }

  static void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  // Runs |download| on every kind of planted target: it fails with |failureLog| (the
  // target's name in place of a "%" in it), the target and the victim stay as they were, and nothing
  // is created where a dangling link points.
  void expectEveryPlantedTargetRefused(const std::function<bool(const std::wstring& path)>& download,
                                       const std::wstring& failureLog) {
    for (const Planted kind : nettest::kPlantedKinds) {
      SCOPED_TRACE(nettest::nameOf(kind));
      const std::string name = std::string("planted-") + nettest::nameOf(kind);
      const std::string victim =
          hostPath(kind == Planted::kDanglingLink ? name + "-missing.txt" : std::string("victim.txt"));
      ASSERT_TRUE(nettest::plant(kind, hostPath(name), victim));
      log_.clear();
      EXPECT_FALSE(download(winPath(name)));
      std::wstring expected = failureLog;
      if (const size_t at = expected.find(L'%'); at != std::wstring::npos) {
        expected.replace(at, 1, utility::utf8ToWide(name));
      }
      EXPECT_TRUE(log_.contains(expected)) << utility::wideToUtf8(expected);
      EXPECT_TRUE(nettest::stillPlanted(kind, hostPath(name), victim));
      const std::string victimNow = readFile(hostPath("victim.txt"));
      EXPECT_TRUE(victimNow == kVictim) << "the victim now holds " << victimNow.size() << " bytes";
      EXPECT_FALSE(fileExists(hostPath(name + "-missing.txt")));
    }
  }

  // A plain file already at the target is replaced by exactly the download.
  void expectExistingFileReplaced(const std::function<bool(const std::wstring& path)>& download) {
    writeFile(hostPath("existing.bin"), std::string(kSize * 2, 'x'));
    EXPECT_TRUE(download(winPath("existing.bin")));
    EXPECT_EQ(readFile(hostPath("existing.bin")), generated(kSize));
  }

  // A file at the target that is hard-linked to a victim elsewhere is replaced as a name: the
  // download gets a fresh file and the victim keeps its bytes (nothing is written through it).
  void expectHardLinkReplaced(const std::function<bool(const std::wstring& path)>& download) {
    namespace fs = std::filesystem;
    fs::create_hard_link(hostPath("victim.txt"), hostPath("hard-linked.bin"));
    EXPECT_TRUE(download(winPath("hard-linked.bin")));
    EXPECT_EQ(readFile(hostPath("victim.txt")), kVictim);
    EXPECT_EQ(fs::hard_link_count(hostPath("victim.txt")), 1u);
    EXPECT_EQ(readFile(hostPath("hard-linked.bin")), generated(kSize));
    // No temporary name is left beside it.
    size_t names = 0;
    for (const auto& entry : fs::directory_iterator(temp_->path())) {
      names += entry.path().filename().string().rfind(".tarnwick-dl-", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(names, 0u);
    fs::remove(hostPath("hard-linked.bin"));
  }

  static constexpr const char* kVictim = "precious settings\n";
};

TEST_F(DownloadTargets, CurlClientRefusesPlantedTargets) {
  auto download = [&](const std::wstring& path) {
    return QvCurlDownloader::downloadFile(path, url("/files/big.bin"), nullptr);
  };
  expectEveryPlantedTargetRefused(download, L"openfile error path : C:\\%. 5");
  // The target is checked before any traffic.
  EXPECT_TRUE(services_->requests().empty());
  expectExistingFileReplaced(download);
  expectHardLinkReplaced(download);
}

TEST_F(DownloadTargets, HttpClientRefusesPlantedTargets) {
  auto download = [&](const std::wstring& path) {
    utility::CHttpDownloader downloader;
    return downloader.downloadToFile(wurl("/files/big.bin"), path, nullptr);
  };
  expectEveryPlantedTargetRefused(download, L"onHttpErro create file error  5");
  expectExistingFileReplaced(download);
  expectHardLinkReplaced(download);
}

}  // namespace
