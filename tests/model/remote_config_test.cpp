#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "net/fetch_rules.h"
#include "telemetry/qv_reporter.h"
#include "tests/net/net_test_support.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"

// Reaches the model's config-thread routine for one fresh model per case. Every model reports
// to |reporter|, a reporter of the test's own, so no case depends on what another did first.
class DownloaderModelTest {
 public:
  struct Result {
    std::wstring playerUrl;
    std::vector<AppInfo> apps;
    RemoteSettings settings;
  };

  static Result fetch(QvReporter& reporter, const std::wstring& openid, std::vector<AppInfo> commandLineApps = {}) {
    auto* model = new DownloaderModel();
    model->reporter_ = &reporter;
    model->openid_ = openid;
    model->apps_ = std::move(commandLineApps);
    model->_prepareConfigRequest();
    model->_threadGetPlayerUrl();
    deliverPostedTasks();
    Result r{model->getPlayerUrl(), model->apps_, model->remoteSettings_};
    delete model;
    return r;
  }

  // fetch, then the download's wait for the address as the main thread runs it, up to the tick
  // that gives up waiting and takes the generation's fixed address. Returns the address the
  // download then starts with (the download itself is ended at once; it goes to |installPath|).
  static std::wstring addressAfterTheWait(QvReporter& reporter, const std::wstring& openid,
                                          const std::wstring& installPath) {
    auto* model = new DownloaderModel();
    model->reporter_ = &reporter;
    model->openid_ = openid;
    model->setInstallPath(installPath);
    model->_prepareConfigRequest();
    model->_threadGetPlayerUrl();
    deliverPostedTasks();
    DownloaderModel::resetDefaultUrlTicksForTesting();
    for (int tick = 0; tick < 4; ++tick) model->_waitForPlayerUrl();
    const std::wstring address = model->getPlayerUrl();
    model->shutdown();
    delete model;
    return address;
  }

  // init as the application runs it; waits for the config thread and the hand-over of its
  // results. |meanwhile| runs on this thread while the config thread works.
  static Result initAndWait(QvReporter& reporter, const std::function<void()>& meanwhile = {}) {
    auto* model = new DownloaderModel();
    model->reporter_ = &reporter;
    model->init(nullptr);
    if (meanwhile) meanwhile();
    model->configThread_.stop(utility::kWaitForever);
    deliverPostedTasks();
    Result r{model->getPlayerUrl(), model->getApps(), model->getRemoteSettings()};
    model->shutdown();
    delete model;
    return r;
  }

  // What the main thread sees of the campaign once the config thread has ended, before and after
  // the main loop ran; with |shutdownFirst| the model is shut down before the loop runs.
  struct HandOver {
    bool arrivedBeforeLoop;
    size_t appsBeforeLoop;
    std::wstring shortcutBeforeLoop;
    bool arrivedAfterLoop;
    size_t appsAfterLoop;
    std::wstring shortcutAfterLoop;
  };
  static HandOver handOver(QvReporter& reporter, bool shutdownFirst) {
    auto* model = new DownloaderModel();
    model->reporter_ = &reporter;
    model->init(nullptr);
    model->configThread_.stop(utility::kWaitForever);
    HandOver h{};
    h.arrivedBeforeLoop = model->remoteConfigArrived();
    h.appsBeforeLoop = model->getApps().size();
    h.shortcutBeforeLoop = model->getRemoteSettings().shortcutName;
    if (shutdownFirst) model->shutdown();
    deliverPostedTasks();
    h.arrivedAfterLoop = model->remoteConfigArrived();
    h.appsAfterLoop = model->getApps().size();
    h.shortcutAfterLoop = model->getRemoteSettings().shortcutName;
    if (!shutdownFirst) model->shutdown();
    delete model;
    return h;
  }

  // init, then the shutdown once |fetchStarted| says the config thread is under way; returns
  // whether every work thread ended within its limit.
  static bool shutdownDuringFetch(QvReporter& reporter, const std::function<void()>& fetchStarted) {
    auto* model = new DownloaderModel();
    model->reporter_ = &reporter;
    model->init(nullptr);
    fetchStarted();
    const bool ended = model->shutdown();
    if (ended) delete model;  // otherwise a thread still uses it
    return ended;
  }

 private:
  // Runs what the model posted to the main thread (the posts are queued by now).
  static void deliverPostedTasks() {
    while (utility::MainLoop::iterate()) {
    }
  }
};

namespace {

using standin::Fault;

constexpr const char* kPlayerInfo = "/player_files/en/morvane";
constexpr const char* kCampaign = "/player_files/openidconfig/35036.data";

// What an AppInfo should hold (every field defaults to empty).
struct ExpectedApp {
  std::wstring url{};
  std::wstring package{};
  std::wstring name{};
  std::wstring screenshot{};
  std::wstring resolution{};
  std::wstring gameId{};
  std::wstring icon{};
  std::wstring obb{};
  bool isXapk = false;
  bool fromAppStore = false;
};

Fault replaced(std::string body) { return Fault{.replaceBody = true, .body = std::move(body)}; }

class RemoteConfig : public nettest::ServicesTest {
 protected:
  void SetUp() override {
    ServicesTest::SetUp();
    utility::TaskDispatcher::create();
    ConfigImp::instance().language = L"en";
    ConfigImp::instance().setPlayer9();
    // The reporter's worker never wakes by itself here: what it posts, it posts when stopped.
    reporter_ = std::make_unique<QvReporter>(
        0xFFFFFFFFu, [this](const std::string& body, std::string&, const std::string&, const std::vector<std::string>&) {
          std::lock_guard<std::mutex> lock(batchesMutex_);
          batches_ += body;
          return true;
        });
  }
  void TearDown() override {
    net::setRemoteDocumentDeadlineForTesting(std::chrono::milliseconds(0));
    reporter_->stop();
    ServicesTest::TearDown();
  }
  std::wstring base() const { return utility::utf8ToWide(services_->baseUrl()); }
  // Stops the reporter (its last cycle posts what is queued) and counts |event| in its batches.
  size_t reported(const std::string& event) {
    reporter_->stop();
    std::lock_guard<std::mutex> lock(batchesMutex_);
    size_t count = 0;
    for (size_t at = batches_.find(event); at != std::string::npos; at = batches_.find(event, at + 1)) ++count;
    return count;
  }

  std::unique_ptr<QvReporter> reporter_;
  std::mutex batchesMutex_;
  std::string batches_;
};

TEST_F(RemoteConfig, ReportsAnAddressThatDoesNotParse) {
  reporter_->init(L"35036", L"device", L"en");
  services_->setFault(kPlayerInfo, replaced(R"({"zaz4":{}})"));
  DownloaderModelTest::fetch(*reporter_, L"100");  // no member for this generation: nothing reported
  services_->setFault(kPlayerInfo, replaced("[]"));
  DownloaderModelTest::fetch(*reporter_, L"100");
  EXPECT_EQ(reported("download_address_fail"), 1u) << batches_;
}

TEST_F(RemoteConfig, PlayerAddressTable) {
  struct Case {
    const char* label;
    int generation;
    const wchar_t* language;
    Fault fault;  // on the player information document of the variant
    std::wstring playerUrl;  // a path: after the base address; empty: none
    bool error1;
    bool error2;
  };
  // Documents of exactly |size| bytes, the cap on a remote document being 256 KiB.
  auto documentOf = [](size_t size) {
    const std::string head = R"({"zaz9":{"url":"https://x/y.exe"},"pad":")";
    return head + std::string(size - head.size() - 2, 'a') + "\"}";
  };
  // A document nested |levels| deep (the root counts as one).
  auto nested = [](int levels) {
    return R"({"zaz9":{"url":"https://x/deep.exe"},"pad":)" + std::string(levels - 1, '[') +
           std::string(levels - 1, ']') + "}";
  };
  const Case cases[] = {
      {"generation 9", 9, L"en", {}, L"/download/full/en/Tarnwick9_setup.exe", false, false},
      {"generation 4", 4, L"en", {}, L"/download/full/en/Tarnwick4_setup.exe", false, false},
      {"generation 3", 3, L"en", {}, L"/download/full/en/Tarnwick3_setup.exe", false, false},
      {"China variant, generation 64", 64, L"cn", {}, L"/download/full/cn/qvinst64_setup.exe", false, false},
      {"generation member missing", 9, L"en", replaced(R"({"zaz4":{"url":"https://x/4.exe"}})"), L"", false, false},
      {"url not a string", 9, L"en", replaced(R"({"zaz9":{"url":7}})"), L"", false, false},
      {"member not an object", 9, L"en", replaced(R"({"zaz9":"https://x/9.exe"})"), L"", false, false},
      {"an array", 9, L"en", replaced("[]"), L"", false, true},
      {"broken document", 9, L"en", replaced(R"({"zaz9":{"url":)"), L"", false, true},
      {"empty reply", 9, L"en", replaced(""), L"", false, true},
      {"platform client fails once", 9, L"en", {.status = 503, .times = 1}, L"/download/full/en/Tarnwick9_setup.exe",
       true, false},
      // libcurl takes any status: the error page is not a document.
      {"server error", 9, L"en", {.status = 500}, L"", true, true},
      {"exactly 256 KiB", 9, L"en", replaced(documentOf(256 << 10)), L"https://x/y.exe", false, false},
      {"one byte over 256 KiB", 9, L"en", replaced(documentOf((256 << 10) + 1)), L"", true, true},
      {"nested 32 levels", 9, L"en", replaced(nested(32)), L"https://x/deep.exe", false, false},
      {"nested 33 levels", 9, L"en", replaced(nested(33)), L"", false, true},
      // The installer runs as administrator: it comes over https or from the fixed address.
      {"plain http address", 9, L"en", replaced(R"({"zaz9":{"url":"http://x/9.exe"}})"), L"", false, false},
      {"file address", 9, L"en", replaced(R"({"zaz9":{"url":"file:///etc/passwd"}})"), L"", false, false},
      {"https written in capitals", 9, L"en", replaced(R"({"zaz9":{"url":"HTTPS://x/9.exe"}})"), L"HTTPS://x/9.exe",
       false, false},
  };
  std::vector<std::wstring> records;  // of every case
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ConfigImp& config = ConfigImp::instance();
    config.language = c.language;
    switch (c.generation) {
      case 4: config.setPlayer4(); break;
      case 64: config.setPlayer64(); break;
      case 3: config.setPlayer3(); break;
      default: config.setPlayer9(); break;
    }
    services_->clearFaults();
    services_->setFault(std::wstring(c.language) == L"cn" ? "/qv/morvane" : kPlayerInfo, c.fault);
    for (const auto& record : log_.records()) records.push_back(record.text);
    log_.clear();
    const auto result = DownloaderModelTest::fetch(*reporter_, L"100");
    EXPECT_EQ(result.playerUrl, c.playerUrl.starts_with(L"/") ? base() + c.playerUrl : c.playerUrl);
    EXPECT_EQ(log_.contains(L"error 1"), c.error1);
    EXPECT_EQ(log_.contains(L"error 2"), c.error2);
    EXPECT_TRUE(log_.contains(L"start get player url"));
  }
  for (const auto& record : log_.records()) records.push_back(record.text);
  for (const wchar_t* record : {L"reply larger than 262144 bytes refused", L"reply nested deeper than 32 levels refused",
                                L"player url is not https, refused: http://x/9.exe",
                                L"player url is not https, refused: file:///etc/passwd"}) {
    EXPECT_NE(std::find(records.begin(), records.end(), record), records.end()) << utility::wideToUtf8(record);
  }
}

TEST_F(RemoteConfig, CampaignTable) {
  struct Case {
    const char* label;
    std::string document;  // empty: the fixture
    std::vector<ExpectedApp> apps;
    RemoteSettings settings;
  };
  const std::string b = services_->baseUrl();
  const std::wstring w = base();
  const Case cases[] = {
      {"fixture with one app",
       "",
       {{.url = w + L"/apps/com.tarnwick.demo.apk", .package = L"com.tarnwick.demo", .name = L"Tarnwick Demo",
         .screenshot = w + L"/apps/icons/demo.png", .resolution = L"1280x720", .icon = w + L"/apps/icons/demo.png",
         .obb = w + L"/apps/main.1.com.tarnwick.demo.obb"}},
       {.launchLandscape = w + L"/images/launch_1920.jpg", .launchPortrait = w + L"/images/launch_1080.jpg",
        .title = L"Tarnwick Demo", .showAd = false, .runApp = L"com.tarnwick.demo", .runAppStore = false,
        .shortcutName = L"Tarnwick Demo", .shortcutUrl = w + L"/images/shortcut.ico", .cleanModel = true,
        .heapSize = L"2048", .useRoot = 1}},
      {"an app with only a game id", R"({"result":[{"gameid":"70001"}]})", {{.gameId = L"70001"}}, {}},
      {"xapk 1, from_appstore true",
       R"({"result":[{"app_download_url":"https://h/p.xapk","xapk":"1","from_appstore":"true"}]})",
       {{.url = L"https://h/p.xapk", .isXapk = true, .fromAppStore = false}},
       {}},
      {"app store app", R"({"result":[{"app_package_name":"com.a","from_appstore":"1","app_obb":""}]})",
       {{.package = L"com.a", .fromAppStore = true}}, {}},
      {"apps without address, game id or package are skipped; other types are empty texts",
       R"({"result":[{"gamename":"only a name"},{"app_package_name":"com.b","gamename":5},7]})",
       {{.package = L"com.b"}}, {}},
      {"result not an array", R"({"result":{"gameid":"1"}})", {}, {}},
      {"ad 0 and runappstore 0; cleanmodel as a string", R"({"ad":0,"runappstore":0,"cleanmodel":"1"})", {},
       {.showAd = false, .runAppStore = false}},
      {"root false", R"({"root":false})", {}, {.useRoot = 0}},
      {"root true", R"({"root":true})", {}, {.useRoot = 1}},
      {"root 1", R"({"root":1,"cleanmodel":2,"ad":"0","title":3,"heapsize":"512"})", {},
       {.cleanModel = true, .heapSize = L"512"}},
      {"UTF-8 texts", "{\"title\":\"\xE5\xA4\xA9\xE5\xA0\x82\",\"result\":[{\"gamename\":\"\xC3\xA9t\xC3\xA9\","
                      "\"gameid\":\"9\"}]}",
       {{.name = L"\u00e9t\u00e9", .gameId = L"9"}}, {.title = L"\u5929\u5802"}},
      {"not a document", "<html>", {}, {}},
      {"integers beyond 32 bits", R"({"ad":0,"cleanmodel":3000000000,"runappstore":-5000000000})", {},
       {.showAd = false, .runAppStore = true, .cleanModel = true}},
      {"nested far deeper than any stack", std::string(200000, '['), {}, {}},
      {"nested 32 levels: read",
       R"({"title":"t","result":[{"gameid":"1","x":)" + std::string(29, '[') + std::string(29, ']') + "}]}",
       {{.gameId = L"1"}}, {.title = L"t"}},
      {"nested 33 levels: refused whole",
       R"({"title":"t","result":[{"gameid":"1","x":)" + std::string(30, '[') + std::string(30, ']') + "}]}",
       {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    services_->clearFaults();
    services_->clearRecords();
    const std::string path = c.document.empty() ? "/player_files/openidconfig/35037.data" : kCampaign;
    if (!c.document.empty()) services_->setFault(kCampaign, replaced(c.document));
    const auto result = DownloaderModelTest::fetch(*reporter_, c.document.empty() ? L"35037" : L"35036");
    ASSERT_EQ(result.apps.size(), c.apps.size());
    for (size_t i = 0; i < c.apps.size(); ++i) {
      const AppInfo& got = result.apps[i];
      const ExpectedApp& want = c.apps[i];
      EXPECT_EQ(got.url, want.url);
      EXPECT_EQ(got.package, want.package);
      EXPECT_EQ(got.name, want.name);
      EXPECT_EQ(got.screenshot, want.screenshot);
      EXPECT_EQ(got.resolution, want.resolution);
      EXPECT_EQ(got.spare, L"");
      EXPECT_EQ(got.gameId, want.gameId);
      EXPECT_EQ(got.icon, want.icon);
      EXPECT_EQ(got.obb, want.obb);
      EXPECT_EQ(got.isXapk, want.isXapk);
      EXPECT_EQ(got.fromAppStore, want.fromAppStore);
    }
    const RemoteSettings& s = result.settings;
    const RemoteSettings& e = c.settings;
    EXPECT_EQ(s.launchLandscape, e.launchLandscape);
    EXPECT_EQ(s.launchPortrait, e.launchPortrait);
    EXPECT_EQ(s.title, e.title);
    EXPECT_EQ(s.showAd, e.showAd);
    EXPECT_EQ(s.runApp, e.runApp);
    EXPECT_EQ(s.runAppStore, e.runAppStore);
    EXPECT_EQ(s.qqLink, e.qqLink);
    EXPECT_EQ(s.shortcutName, e.shortcutName);
    EXPECT_EQ(s.shortcutUrl, e.shortcutUrl);
    EXPECT_EQ(s.cleanModel, e.cleanModel);
    EXPECT_EQ(s.heapSize, e.heapSize);
    EXPECT_EQ(s.useRoot, e.useRoot);
    EXPECT_EQ(targetsFor(path).size(), 1u);
  }
  EXPECT_TRUE(log_.contains(L"start get package."));
}

TEST_F(RemoteConfig, CampaignIsFetchedOnlyForLongOpenidsWithoutACommandLineApp) {
  AppInfo fromCommandLine;
  fromCommandLine.url = L"https://h/app.apk";
  fromCommandLine.package = L"com.cmd";
  struct Case {
    const char* label;
    std::wstring openid;
    std::vector<AppInfo> apps;
  };
  const Case cases[] = {
      {"short openid", L"100", {}},
      {"openid of 4 characters", L"3503", {}},
      {"command-line app", L"35037", {fromCommandLine}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    services_->clearRecords();
    log_.clear();
    const auto result = DownloaderModelTest::fetch(*reporter_, c.openid, c.apps);
    EXPECT_FALSE(result.playerUrl.empty());
    ASSERT_EQ(result.apps.size(), c.apps.size());
    if (!c.apps.empty()) {
      EXPECT_EQ(result.apps[0].package, L"com.cmd");
    }
    EXPECT_EQ(result.settings.useRoot, -1);
    EXPECT_TRUE(result.settings.showAd);
    EXPECT_TRUE(result.settings.title.empty());
    for (const auto& request : services_->requests()) {
      EXPECT_EQ(request.path.find("/player_files/openidconfig/"), std::string::npos);
    }
    EXPECT_FALSE(log_.contains(L"start get package."));
    // Written whenever the campaign step runs, even when it fetches nothing.
    EXPECT_EQ(log_.contains(L"package is "), c.apps.empty());
  }
}

TEST_F(RemoteConfig, CampaignFallsBackToLibcurl) {
  services_->setFault(kCampaign, {.status = 503, .times = 1});
  const auto result = DownloaderModelTest::fetch(*reporter_, L"35036");
  EXPECT_TRUE(log_.contains(L"get package data by qvcurl "));
  EXPECT_EQ(result.settings.shortcutName, L"Tarnwick Games");
  EXPECT_EQ(targetsFor(kCampaign).size(), 2u);
}

// A server that sends a few bytes every 50 ms never trips a stall or idle limit; the overall
// deadline of each document's fetch ends it, on whichever stack meets it. Where the platform client
// alone meets it, libcurl gets the document; where both do, the defaults stay (for the player
// information: the download takes the fixed address).
TEST_F(RemoteConfig, ADeadlineEndsADocumentThatTrickles) {
  net::setRemoteDocumentDeadlineForTesting(std::chrono::milliseconds(1000));
  // Both documents are a few hundred bytes: at 40 bytes per second each takes about ten seconds.
  const Fault trickle{.bytesPerSecond = 40};
  const Fault trickleOnce{.bytesPerSecond = 40, .times = 1};
  const std::wstring deadlineRecord = L"no complete reply within 1000 ms";
  struct Case {
    const char* label;
    const char* path;
    Fault fault;
    bool curlMeetsTheDeadline;
  };
  const Case cases[] = {
      {"player information, platform client", kPlayerInfo, trickleOnce, false},
      {"player information, libcurl", kPlayerInfo, trickle, true},
      {"campaign, platform client", kCampaign, trickleOnce, false},
      {"campaign, libcurl", kCampaign, trickle, true},
  };
  const std::wstring fetchedAddress = base() + L"/download/full/en/Tarnwick9_setup.exe";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const bool player = std::string(c.path) == kPlayerInfo;
    services_->clearFaults();
    services_->clearRecords();
    services_->setFault(c.path, c.fault);
    log_.clear();
    const auto result = DownloaderModelTest::fetch(*reporter_, L"35036");
    size_t platformRecords = 0;
    size_t curlRecords = 0;
    for (const auto& record : log_.records()) {
      if (record.text != deadlineRecord) continue;
      if (record.function == "utility::CHttpClient::sendAndReceive") ++platformRecords;
      if (record.function == "QvCurlDownloader::downloadMemory") ++curlRecords;
    }
    EXPECT_EQ(platformRecords, 1u);
    EXPECT_EQ(curlRecords, c.curlMeetsTheDeadline ? 1u : 0u);
    EXPECT_EQ(targetsFor(c.path).size(), 2u);
    // Each document's own fallback record, then libcurl.
    EXPECT_EQ(log_.contains(L"error 1"), player);
    EXPECT_EQ(log_.contains(L"get package data by qvcurl "), !player);
    EXPECT_EQ(log_.contains(L"error 2"), player && c.curlMeetsTheDeadline);
    // The other document arrived whole; the trickling one only when libcurl got it.
    const bool playerArrived = !player || !c.curlMeetsTheDeadline;
    const bool campaignArrived = player || !c.curlMeetsTheDeadline;
    EXPECT_EQ(result.playerUrl, playerArrived ? fetchedAddress : L"");
    EXPECT_EQ(result.settings.shortcutName, campaignArrived ? L"Tarnwick Games" : L"");
    if (!playerArrived) {
      services_->clearRecords();
      const std::wstring address = DownloaderModelTest::addressAfterTheWait(*reporter_, L"35036", winPath("Tarnwick"));
      EXPECT_EQ(address, ConfigImp::instance().defaultPlayerUrl());
      EXPECT_NE(address, fetchedAddress);
    }
  }
}

TEST_F(RemoteConfig, ShutdownEndsAFetchThatWaitsForData) {
  struct Case {
    const char* label;
    Fault fault;
  };
  const Case cases[] = {
      {"body stalls", {.stallAfterBytes = 10}},
      {"headers never come", {.delayMs = 600000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    services_->clearRecords();
    services_->setFault(kPlayerInfo, c.fault);
    const bool ended = DownloaderModelTest::shutdownDuringFetch(*reporter_, [&] {
      while (targetsFor(kPlayerInfo).empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    EXPECT_TRUE(ended);
    // Being stopped, the thread tried neither libcurl nor the campaign document, and took the
    // cut-short fetch for no failure of the server's.
    EXPECT_EQ(targetsFor(kPlayerInfo).size(), 1u);
    EXPECT_TRUE(targetsFor(kCampaign).empty());
    EXPECT_FALSE(log_.contains(L"error 1"));
    EXPECT_FALSE(log_.contains(L"error 2"));
  }
  EXPECT_EQ(reported("download_address_fail"), 0u) << batches_;
}

TEST_F(RemoteConfig, CampaignReachesTheMainThreadInAPostedTask) {
  services_->setFault(kCampaign, replaced(R"({"shortcutname":"Tarnwick Games","result":[{"gameid":"1"}]})"));
  const auto delivered = DownloaderModelTest::handOver(*reporter_, false);
  // The config thread has ended, but nothing it read is the main thread's before the loop runs.
  EXPECT_FALSE(delivered.arrivedBeforeLoop);
  EXPECT_EQ(delivered.appsBeforeLoop, 0u);
  EXPECT_EQ(delivered.shortcutBeforeLoop, L"");
  EXPECT_TRUE(delivered.arrivedAfterLoop);
  EXPECT_EQ(delivered.appsAfterLoop, 1u);
  EXPECT_EQ(delivered.shortcutAfterLoop, L"Tarnwick Games");

  // A model shut down before the loop runs drops the hand-over.
  const auto dropped = DownloaderModelTest::handOver(*reporter_, true);
  EXPECT_FALSE(dropped.arrivedAfterLoop);
  EXPECT_EQ(dropped.appsAfterLoop, 0u);
  EXPECT_EQ(dropped.shortcutAfterLoop, L"");
}

TEST_F(RemoteConfig, InitFetchesOnTheConfigThread) {
  const auto result = DownloaderModelTest::initAndWait(*reporter_);
  EXPECT_EQ(result.playerUrl, base() + L"/download/full/en/Tarnwick9_setup.exe");
  EXPECT_EQ(result.settings.shortcutName, L"Tarnwick Games");
}

TEST_F(RemoteConfig, ALanguageSwitchDuringTheFetchDoesNotChangeWhatIsFetched) {
  const auto result = DownloaderModelTest::initAndWait(*reporter_, [] { ConfigImp::instance().language = L"kr"; });
  ConfigImp::instance().language = L"en";
  EXPECT_EQ(result.playerUrl, base() + L"/download/full/en/Tarnwick9_setup.exe");
  EXPECT_EQ(targetsFor(kPlayerInfo).size(), 1u);
}

}  // namespace
