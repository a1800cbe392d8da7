// Downloads through a real HTTP proxy named by the proxy settings. Built twice: with the
// resolver this machine picks (libproxy, which reads the environment itself) and with the
// desktop's own settings saying "no proxy", where the client falls back to the environment.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "net/http_downloader.h"
#include "net/qv_curl_downloader.h"
#include "tests/net/net_test_support.h"
#include "tests/net/raw_server.h"

namespace nettest {
std::string defaultProxyResolverName();
}

namespace {

#ifdef TARNWICK_DESKTOP_PROXY_SETTINGS
// Before anything asks GIO for its proxy resolver: a GNOME desktop whose settings say "none".
const bool kDesktopSettings = [] {
  setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
  setenv("GSETTINGS_BACKEND", "memory", 1);
  return true;
}();
#endif

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

class ThroughProxy : public nettest::ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
      unsetenv(name);
    }
  }
  void TearDown() override {
    unsetenv("https_proxy");
    unsetenv("no_proxy");
    ServicesTest::TearDown();
  }
};

TEST_F(ThroughProxy, DownloadsGoThroughTheProxyTheEnvironmentNames) {
#ifdef TARNWICK_DESKTOP_PROXY_SETTINGS
  ASSERT_EQ(nettest::defaultProxyResolverName(), "GProxyResolverGnome");
#endif
  testsupport::TempFolder folder("tinyproxy");
  nettest::TinyProxy proxy(folder.path().string());
  ASSERT_TRUE(proxy.running());
  setenv("https_proxy", ("http://127.0.0.1:" + std::to_string(proxy.port())).c_str(), 1);
  const std::string tunnel = "CONNECT 127.0.0.1:" + std::to_string(services_->port()) + " ";

  utility::CHttpDownloader downloader;
  std::string document;
  ASSERT_TRUE(downloader.downloadToMemory(document, wurl("/player_files/en/morvane")));
  EXPECT_NE(document.find("zaz9"), std::string::npos);
  ASSERT_TRUE(downloader.downloadToFile(wurl("/download/package/Tarnwick9.0.exe"), winPath("setup.exe"), nullptr));
  EXPECT_EQ(readFile(hostPath("setup.exe")).size(), 8u << 20);
  EXPECT_EQ(nettest::occurrences(proxy.log(), tunnel), 2u) << proxy.log();

  // The libcurl fallback honours the same settings.
  std::string out;
  ASSERT_TRUE(QvCurlDownloader::downloadMemory(url("/player_files/en/morvane"), out));
  EXPECT_EQ(nettest::occurrences(proxy.log(), tunnel), 3u);

  // Hosts listed in no_proxy are reached directly.
  setenv("no_proxy", "localhost,127.0.0.1", 1);
  document.clear();
  ASSERT_TRUE(downloader.downloadToMemory(document, wurl("/player_files/en/morvane")));
  ASSERT_TRUE(QvCurlDownloader::downloadMemory(url("/player_files/en/morvane"), out));
  EXPECT_EQ(nettest::occurrences(proxy.log(), tunnel), 3u);
}

}  // namespace
