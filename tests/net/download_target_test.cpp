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
}

TEST_F(DownloadTargets, HttpClientRefusesPlantedTargets) {
  auto download = [&](const std::wstring& path) {
    utility::CHttpDownloader downloader;
    return downloader.downloadToFile(wurl("/files/big.bin"), path, nullptr);
  };
  expectEveryPlantedTargetRefused(download, L"onHttpErro create file error  5");
  expectExistingFileReplaced(download);
}

}  // namespace
