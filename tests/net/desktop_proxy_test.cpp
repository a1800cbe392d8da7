// A proxy named only in the desktop's own settings (a GNOME desktop, settings in memory; the
// environment names none): both stacks and every post take that route.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "net/http_downloader.h"
#include "net/qv_curl_downloader.h"
#include "tests/net/net_test_support.h"
#include "tests/net/raw_server.h"

namespace nettest {
std::string defaultProxyResolverName();
void setDesktopProxy(const std::string& mode, const std::string& host, int port);
}  // namespace nettest

namespace {

// Before anything asks GIO for its proxy resolver.
const bool kDesktopSettings = [] {
  setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
  setenv("GSETTINGS_BACKEND", "memory", 1);
  for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
    unsetenv(name);
  }
  return true;
}();

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

class DesktopProxy : public nettest::ServicesTest {
 protected:
  void TearDown() override {
    nettest::setDesktopProxy("none", "", 0);
    ServicesTest::TearDown();
  }
};

TEST_F(DesktopProxy, BothStacksAndEveryPostTakeTheRouteTheDesktopNames) {
  // The resolver is made here, on a thread without a context of its own, so that it hears of
  // the settings changed below.
  ASSERT_EQ(nettest::defaultProxyResolverName(), "GProxyResolverGnome");
  testsupport::TempFolder folder("tinyproxy");
  nettest::TinyProxy proxy(folder.path().string());
  ASSERT_TRUE(proxy.running());
  const std::string tunnel = "CONNECT 127.0.0.1:" + std::to_string(services_->port()) + " ";

  // Every operation of both stacks; the post stands for the telemetry channels.
  auto transferAll = [&] {
    int good = 0;
    utility::CHttpDownloader downloader;
    std::string document;
    good += downloader.downloadToMemory(document, wurl("/player_files/en/morvane"));
    good += downloader.downloadToFile(wurl("/player_files/en/morvane"), winPath("a.json"), nullptr);
    std::string out;
    good += QvCurlDownloader::downloadMemory(url("/player_files/en/morvane"), out);
    good += QvCurlDownloader::downloadFile(winPath("b.json"), url("/player_files/en/morvane"), nullptr);
    good += QvCurlDownloader::postRequest("[]", out, url("/collection/biz/upload"), {});
    return good;
  };

  nettest::setDesktopProxy("manual", "127.0.0.1", proxy.port());
  EXPECT_EQ(transferAll(), 5);
  EXPECT_EQ(nettest::occurrences(proxy.log(), tunnel), 5u) << proxy.log();

  // Settings that say "none" again: every transfer goes direct.
  nettest::setDesktopProxy("none", "", 0);
  EXPECT_EQ(transferAll(), 5);
  EXPECT_EQ(nettest::occurrences(proxy.log(), tunnel), 5u);
}

}  // namespace
