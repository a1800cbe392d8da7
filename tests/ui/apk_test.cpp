// The campaign's apps after the emulator's installation: handed to the emulator, or downloaded by
// the window from the stand-in services and installed with the stand-in console tool, in a world
// of the test's own (drive C:, desktop, registry, record file).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/app_install_job.h"
#include "model/downloader_model.h"
#include "tests/model/install_world.h"
#include "tests/ui/main_frame_fixture.h"
#include "toolkit/text_table.h"
#include "model/apk_names.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"

namespace {

namespace fs = std::filesystem;
using toolkit::langString;

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

constexpr const wchar_t* kFolder = L"C:\\Tarnwick\\Tarnwick9\\";
// The files of the installation folder as the window names them (the folder ends in "\").
const std::string kFiles = "C:\\Tarnwick\\Tarnwick9\\\\";

// The installation world, set up and torn down by the window fixture around its window.
class World : public installtest::InstallWorld {
 public:
  void TestBody() override {}
  void up() { SetUp(); }
  void down() { TearDown(); }
  using InstallWorld::args;
  using InstallWorld::host;
  using InstallWorld::launchers;
  using InstallWorld::readFile;
  using InstallWorld::record_;
  using InstallWorld::targetsFor;
  using InstallWorld::log_;
  using InstallWorld::recordsOf;
  using InstallWorld::services_;
  using InstallWorld::text;
  using InstallWorld::waitForRecords;
  using InstallWorld::wurl;
};

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : " ") + part;
  return text;
}

class ApkTest : public uitest::MainFrameTest {
 protected:
  void SetUp() override {
    world.up();
    // The emulator as its installer leaves it: the program and its console tool in the folder.
    const fs::path folder = world.host(kFolder);
    fs::create_directories(folder);
    for (const char* name : {"corvide.exe", "corvidectl.exe"}) {
      fs::copy_file(STANDIN_EMULATOR, folder / name, fs::copy_options::overwrite_existing);
    }
    DownloaderModel::instance().setInstallPath(kFolder);
    MainFrameTest::SetUp();
  }
  void TearDown() override {
    MainFrameTest::TearDown();
    world.down();
  }

  AppInfo app(const std::string& path, const std::wstring& package, const std::wstring& name) const {
    AppInfo info;
    info.url = world.wurl(path);
    info.package = package;
    info.name = name;
    return info;
  }
  static void setApps(std::vector<AppInfo> apps) { DownloaderModelTest::setApps(DownloaderModel::instance(), std::move(apps)); }

  // The end of the installation with the model's apps; true once the installer has ended.
  bool finishInstallation() {
    frame->onInstallFinished(true);
    return pumpUntil([] { return utility::MainLoop::quitRequested(); });
  }
  int page() const {
    auto* tab = frame->findControl<toolkit::TabLayout>(L"maintab");
    return tab != nullptr ? tab->selectedIndex() : -1;
  }
  // The console tool's commands, each as its arguments joined by blanks.
  std::vector<std::string> consoleCommands() const {
    std::vector<std::string> commands;
    for (const auto& record : world.recordsOf("console")) commands.push_back(joined(World::args(record)));
    return commands;
  }
  std::vector<std::string> consoleResults() const {
    std::vector<std::string> results;
    for (const auto& record : world.recordsOf("console")) {
      results.push_back(World::text(record, "result") + (World::text(record, "result") == "refused" ? " " + World::text(record, "reason") : ""));
    }
    return results;
  }
  // The emulator's one launch, its arguments joined by blanks.
  std::string launch() const {
    if (!world.waitForRecords("emulator", 1)) return "<not launched>";
    const auto records = world.recordsOf("emulator");
    return records.size() == 1 ? joined(World::args(records.front())) : "<launched " + std::to_string(records.size()) + " times>";
  }
  static std::string install(const std::string& file, const std::string& package = {}, const std::string& obb = {}) {
    std::string command = "installapk --index 0 --filename " + kFiles + file;
    if (!package.empty()) command += " --packagename " + package + " --fileobb " + kFiles + obb;
    return command + " --wait --hide";
  }
  fs::path file(const std::string& name) const { return world.host(kFolder) / name; }

  World world;
};

TEST_F(ApkTest, OneAppIsDownloadedInstalledAndTheEmulatorStartedWithItsPackage) {
  setApps({app("/apps/com.tarnwick.demo.apk", L"com.tarnwick.demo", L"Tarnwick Demo")});
  frame->onInstallFinished(true);
  // The app page shows the download at once.
  EXPECT_EQ(page(), CMainFrame::kApkPage);
  EXPECT_EQ(text(L"apkinstallprogresslabel"), langString("progress_downloading_label") + L" Tarnwick Demo");
  EXPECT_EQ(frame->currentAppName(), L"Tarnwick Demo");
  ASSERT_TRUE(pumpUntil([] { return utility::MainLoop::quitRequested(); }));

  EXPECT_EQ(consoleCommands(), std::vector<std::string>{install("Tarnwick Demo.apk")});
  EXPECT_EQ(consoleResults(), std::vector<std::string>{"accepted"});
  EXPECT_EQ(launch(), "package=com.tarnwick.demo");
  EXPECT_EQ(World::readFile(file("Tarnwick Demo.apk").string()),
            World::readFile(std::string(STANDIN_FIXTURES) + "/apps/com.tarnwick.demo.apk"));
  EXPECT_FALSE(fs::exists(file("Tarnwick Demo.apk.tmp")));
  EXPECT_TRUE(world.launchers().empty()) << "no icon, no shortcut";
  // The installation display and the hidden window of an installer that has ended.
  EXPECT_EQ(page(), CMainFrame::kApkPage);
  EXPECT_EQ(frame->apkIndex(), 1);
  EXPECT_EQ(text(L"apkinstallprogresslabel"), langString("Label_installingapp_waiting") + L" Tarnwick Demo");
  EXPECT_EQ(frame->apkTimerId(), CMainFrame::kApkInstallTimerId);
  EXPECT_FALSE(host->isVisible());
}

TEST_F(ApkTest, CampaignAppWithObbIconAndResolutionFromTheRemoteDocument) {
  DownloaderModelTest::loadCampaign(DownloaderModel::instance(), L"35037");
  ASSERT_EQ(DownloaderModel::instance().getApps().size(), 1u);
  ASSERT_TRUE(finishInstallation());

  EXPECT_EQ(consoleCommands(), (std::vector<std::string>{
                                   "modify --index 0 --resolution 1280x720",
                                   install("Tarnwick Demo.apk", "com.tarnwick.demo", "com.tarnwick.demo.obb")}));
  EXPECT_EQ(consoleResults(), (std::vector<std::string>{"accepted", "accepted"}));
  EXPECT_EQ(World::readFile(file("com.tarnwick.demo.obb").string()),
            World::readFile(std::string(STANDIN_FIXTURES) + "/apps/main.1.com.tarnwick.demo.obb"));
  EXPECT_TRUE(fs::exists(file("com.tarnwick.demo.ico")));
  EXPECT_TRUE(world.log_.contains(L"setup resolution 1280x720"));
  EXPECT_TRUE(world.log_.contains(L"create short cut Tarnwick Demo"));
  // The shortcut starts the emulator with the app's package, with the app's icon.
  const auto launchers = world.launchers();
  ASSERT_EQ(launchers.size(), 1u);
  const std::string entry = World::readFile(launchers.front().string());
  EXPECT_NE(entry.find("package=com.tarnwick.demo"), std::string::npos) << entry;
  EXPECT_NE(entry.find("com.tarnwick.demo.ico"), std::string::npos) << entry;
  EXPECT_EQ(launch(), "package=com.tarnwick.demo");
}

// Only the first app decides; then every app is downloaded and installed in list order, the
// XAPK under its own ending, and one whose download fails is still given to the console tool.
TEST_F(ApkTest, ThreeCampaignAppsInOrderWithAnXapkFirst) {
  DownloaderModelTest::loadCampaign(DownloaderModel::instance(), L"35038");
  ASSERT_EQ(DownloaderModel::instance().getApps().size(), 3u);
  ASSERT_TRUE(finishInstallation());

  EXPECT_EQ(consoleCommands(), (std::vector<std::string>{"modify --index 0 --resolution 1920x1080",
                                                          install("Puzzle.xapk"), install("Tarnwick Demo.apk"),
                                                          install("Cards.apk")}));
  EXPECT_EQ(consoleResults(), (std::vector<std::string>{"accepted", "accepted", "accepted", "refused no such file"}));
  EXPECT_TRUE(fs::exists(file("Puzzle.xapk")));
  EXPECT_EQ(frame->apkIndex(), 3);
  EXPECT_EQ(launch(), "package=com.tarnwick.cards");
}

TEST_F(ApkTest, TheLastResolutionIsSetOnceBeforeTheInstallations) {
  AppInfo first = app("/apps/com.tarnwick.demo.apk", L"com.tarnwick.demo", L"Demo");
  first.resolution = L"1280x720";
  AppInfo second = app("/apps/com.tarnwick.puzzle.xapk", L"com.tarnwick.puzzle", L"Puzzle");
  second.resolution = L"1920x1080";
  second.isXapk = true;
  setApps({first, second});
  ASSERT_TRUE(finishInstallation());
  EXPECT_EQ(consoleCommands(), (std::vector<std::string>{"modify --index 0 --resolution 1920x1080",
                                                          install("Demo.apk"), install("Puzzle.xapk")}));
  EXPECT_EQ(launch(), "package=com.tarnwick.puzzle");
}

TEST_F(ApkTest, AppsTheEmulatorFetchesItself) {
  struct Case {
    const char* what;
    AppInfo app;
    std::string launch;
  };
  AppInfo gameOnly;
  gameOnly.package = L"com.tarnwick.cards";
  gameOnly.gameId = L"70001";
  AppInfo store = app("/apps/com.tarnwick.demo.apk", L"com.tarnwick.demo", L"Demo");
  store.fromAppStore = true;
  store.gameId = L"70001";
  store.screenshot = world.wurl("/apps/icons/demo.png");
  AppInfo packageOnly;
  packageOnly.package = L"com.tarnwick.demo";
  // Without a package nothing can reach the launch through it: such apps are handed over too.
  AppInfo gameWithoutPackage;
  gameWithoutPackage.gameId = L"70001";
  AppInfo storeWithoutPackage = store;
  storeWithoutPackage.package.clear();
  const std::string base = utility::wideToUtf8(world.wurl(""));
  const std::vector<Case> cases = {
      {"game id", gameOnly, "apk=|show=true|package=com.tarnwick.cards|downloadgameid=70001"},
      {"app store wins over the game id", store,
       "apk=|show=true|package=com.tarnwick.demo|downloadapkurl=" + base +
           "/apps/com.tarnwick.demo.apk;S.package=com.tarnwick.demo;S.appname=Demo;S.appicon=" + base +
           "/apps/icons/demo.png;S.appsize=96"},
      {"package only", packageOnly, "apk=|show=true|package=com.tarnwick.demo|downloadpackage=com.tarnwick.demo"},
      {"game id without a package", gameWithoutPackage, "apk=|show=true|package=|downloadgameid=70001"},
      {"app store without a package", storeWithoutPackage,
       "apk=|show=true|package=|downloadapkurl=" + base + "/apps/com.tarnwick.demo.apk;S.package=;S.appname=Demo;S.appicon=" +
           base + "/apps/icons/demo.png;S.appsize=96"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(world.record_);
    utility::MainLoop::resetForTesting();
    setApps({c.app, app("/apps/com.tarnwick.puzzle.xapk", L"com.tarnwick.puzzle", L"Puzzle")});
    frame->onInstallFinished(true);
    EXPECT_TRUE(utility::MainLoop::quitRequested()) << "the installer ends at once";
    EXPECT_NE(page(), CMainFrame::kApkPage);
    EXPECT_EQ(launch(), c.launch);
    EXPECT_TRUE(world.recordsOf("console").empty());
  }
}

// Fault: the libcurl fallback takes over when the platform stack fails.
TEST_F(ApkTest, APackageTheFallbackFetchesIsInstalled) {
  world.services_->setFault("/apps/com.tarnwick.demo.apk", standin::Fault{.status = 500, .times = 1});
  setApps({app("/apps/com.tarnwick.demo.apk", L"com.tarnwick.demo", L"Tarnwick Demo")});
  ASSERT_TRUE(finishInstallation());
  EXPECT_EQ(consoleResults(), std::vector<std::string>{"accepted"});
  EXPECT_EQ(world.targetsFor("/apps/com.tarnwick.demo.apk").size(), 2u);
  EXPECT_EQ(launch(), "package=com.tarnwick.demo");
}

// libcurl reports its percentages (0 to 99, the first at once) on the app thread; they reach the
// bar as posted tasks. The bar starts above anything the fallback reports.
TEST_F(ApkTest, TheFallbacksPercentageReachesTheBar) {
  world.services_->addGeneratedFile("/apps/fallback.apk", 3u << 20);
  world.services_->setFault("/apps/fallback.apk", standin::Fault{.status = 500, .times = 1});
  setApps({app("/apps/fallback.apk", L"com.tarnwick.fallback", L"Fallback")});
  frame->findControl<toolkit::Progress>(L"apkinstallprogressbar")->setValue(100);
  frame->onInstallFinished(true);
  const std::wstring installing = langString("Label_installingapp_waiting") + L" Fallback";
  // Read when the installation display starts, before its timer moves the bar.
  int barWhenInstalling = -1;
  ASSERT_TRUE(pumpUntil([&] {
    if (barWhenInstalling < 0 && text(L"apkinstallprogresslabel") == installing) {
      barWhenInstalling = progress(L"apkinstallprogressbar");
    }
    return utility::MainLoop::quitRequested();
  }));
  EXPECT_LT(barWhenInstalling, 100);
  EXPECT_GE(barWhenInstalling, 0);
  EXPECT_EQ(world.targetsFor("/apps/fallback.apk").size(), 2u);
  EXPECT_EQ(consoleResults(), std::vector<std::string>{"accepted"});
}

// Names from the remote document cannot reach outside the folder or into the command line; an
// app whose package is no Android package name is skipped, a resolution that is no resolution is
// not set.
TEST_F(ApkTest, UnsafeNamesStayInTheFolderAndAddNoArgument) {
  AppInfo escaping = app("/apps/com.tarnwick.demo.apk", L"com.tarnwick.demo", L"..\\..\\..\\outside\" --fileobb \"x");
  escaping.resolution = L"1280x720 --hide";
  AppInfo badPackage = app("/apps/com.tarnwick.puzzle.xapk", L"com.x --wait", L"Puzzle");
  setApps({escaping, badPackage});
  ASSERT_TRUE(finishInstallation());

  const std::string stem = utility::wideToUtf8(apknames::safeFileStem(escaping.name));
  EXPECT_EQ(consoleCommands(), std::vector<std::string>{install(stem + ".apk")});
  EXPECT_EQ(consoleResults(), std::vector<std::string>{"accepted"});
  const auto records = world.recordsOf("console");
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(World::args(records.front()).size(), 7u);
  EXPECT_TRUE(fs::exists(file(stem + ".apk")));
  EXPECT_FALSE(fs::exists(world.host(L"C:\\outside")));
  EXPECT_FALSE(fs::exists(file("Puzzle.apk")));
  EXPECT_TRUE(world.log_.contains(L"app skipped, package is not an Android package name: com.x --wait"));
  EXPECT_TRUE(world.log_.contains(L"resolution refused: 1280x720 --hide"));
  EXPECT_EQ(launch(), "package=com.tarnwick.demo");
}

// An app of the command line with a name and an address but no package is downloaded and
// installed from its package file; its OBB data and icon, which the package names, are not
// fetched.
TEST_F(ApkTest, AnAppWithoutAPackageIsDownloadedAndInstalled) {
  AppInfo demo = app("/apps/com.tarnwick.demo.apk", L"", L"Tarnwick Demo");
  demo.obb = world.wurl("/apps/main.1.com.tarnwick.demo.obb");
  demo.icon = world.wurl("/apps/icons/demo.png");
  setApps({demo});
  ASSERT_TRUE(finishInstallation());
  EXPECT_EQ(consoleCommands(), std::vector<std::string>{install("Tarnwick Demo.apk")});
  EXPECT_EQ(consoleResults(), std::vector<std::string>{"accepted"});
  EXPECT_TRUE(world.targetsFor("/apps/main.1.com.tarnwick.demo.obb").empty());
  EXPECT_TRUE(world.launchers().empty());
  EXPECT_FALSE(world.log_.containsPart(L"app skipped"));
  EXPECT_EQ(launch(), "package=");
}

// The end of the installation with the campaign's package and no app: the emulator is started
// to fetch the package, and the installer ends.
TEST_F(ApkTest, TheCampaignPackageIsHandedToTheEmulatorAndTheWindowGoes) {
  DownloaderModelTest::setPackage(DownloaderModel::instance(), L"com.tarnwick.demo");
  setApps({});
  frame->onInstallFinished(true);
  EXPECT_TRUE(utility::MainLoop::quitRequested());
  EXPECT_NE(page(), CMainFrame::kFinishPage);
  EXPECT_EQ(launch(), "downloadpackage=com.tarnwick.demo|package=com.tarnwick.demo");
  EXPECT_TRUE(world.recordsOf("console").empty());
}

TEST_F(ApkTest, AHandedOverAppWithoutAnAndroidPackageStartsTheEmulatorWithoutIt) {
  AppInfo app;
  app.package = L"com.x|downloadapkurl=https://elsewhere";
  app.gameId = L"70001";
  setApps({app});
  frame->onInstallFinished(true);
  EXPECT_TRUE(utility::MainLoop::quitRequested());
  EXPECT_EQ(launch(), "");
  EXPECT_TRUE(world.log_.contains(
      L"app not handed over, package is not an Android package name: com.x_downloadapkurl=https://elsewhere"));
}

// A failed package or OBB download leaves nothing under the final name, not even the file of an
// earlier run: the console tool is never given a stale package in place of the failed one.
TEST_F(ApkTest, FailedDownloadsLeaveNoStaleFileForTheConsoleTool) {
  for (const char* name : {"Tarnwick Demo.apk", "com.tarnwick.demo.obb"}) std::ofstream(file(name)) << "earlier run";
  for (const char* path : {"/apps/com.tarnwick.demo.apk", "/apps/main.1.com.tarnwick.demo.obb"}) {
    world.services_->setFault(path, standin::Fault{.status = 404});
  }
  AppInfo demo = app("/apps/com.tarnwick.demo.apk", L"com.tarnwick.demo", L"Tarnwick Demo");
  demo.obb = world.wurl("/apps/main.1.com.tarnwick.demo.obb");
  setApps({demo});
  ASSERT_TRUE(finishInstallation());
  EXPECT_EQ(consoleResults(), std::vector<std::string>{"refused no such file"});
  EXPECT_FALSE(fs::exists(file("Tarnwick Demo.apk")));
  EXPECT_FALSE(fs::exists(file("com.tarnwick.demo.obb")));
  // The flow goes on: the emulator still starts.
  EXPECT_EQ(launch(), "package=com.tarnwick.demo");
}

// The window closed while a package downloads: the download ends, nothing of the window is
// touched afterwards and the emulator is not started.
TEST_F(ApkTest, ClosingTheWindowDuringADownloadEndsIt) {
  world.services_->addGeneratedFile("/apps/big.apk", 64u << 20);
  world.services_->setFault("/apps/big.apk", standin::Fault{.stallAfterBytes = 1 << 20});
  setApps({app("/apps/big.apk", L"com.tarnwick.big", L"Big")});
  frame->onInstallFinished(true);
  ASSERT_TRUE(pumpUntil([this] { return !world.services_->requests().empty(); }));
  frame->close();
  drain();
  EXPECT_TRUE(frameGone());
  ASSERT_TRUE(world.waitForRecords("console", 1));
  drain();
  EXPECT_FALSE(world.log_.containsPart(L"QvCurlDownloader::downloadfile start")) << "no fallback for a cancelled download";
  EXPECT_TRUE(world.recordsOf("emulator").empty());
}

// A campaign that names more apps than a run installs: the first ones are installed, the rest
// are skipped and logged. The addresses are unreachable, so every app fails fast.
TEST_F(ApkTest, ARunInstallsAtMostItsBoundOfApps) {
  std::vector<AppInfo> apps;
  for (size_t i = 0; i < AppInstallJob::kMaxApps + 3; ++i) {
    AppInfo info;
    info.url = L"http://127.0.0.1:1/app" + std::to_wstring(i) + L".apk";
    info.package = L"com.tarnwick.app" + std::to_wstring(i);
    info.name = L"App " + std::to_wstring(i);
    apps.push_back(info);
  }
  setApps(apps);
  ASSERT_TRUE(finishInstallation());
  const auto commands = consoleCommands();
  ASSERT_EQ(commands.size(), AppInstallJob::kMaxApps);
  EXPECT_EQ(commands.back(), install("App " + std::to_string(AppInstallJob::kMaxApps - 1) + ".apk"));
  for (size_t i = AppInstallJob::kMaxApps; i < apps.size(); ++i) {
    EXPECT_TRUE(world.log_.contains(L"app skipped, a run installs at most " + std::to_wstring(AppInstallJob::kMaxApps) +
                                    L" apps: App " + std::to_wstring(i)));
  }
  EXPECT_EQ(launch(), "package=com.tarnwick.app" + std::to_string(AppInstallJob::kMaxApps - 1));
}

// A server that stops sending holds one app no longer than its time limit, on either stack: the
// flow goes on with the console tool and the emulator.
TEST_F(ApkTest, AStalledPackageEndsAtTheAppsTimeLimit) {
  world.services_->addGeneratedFile("/apps/stalled.apk", 8u << 20);
  world.services_->setFault("/apps/stalled.apk", standin::Fault{.stallAfterBytes = 1 << 20});
  AppInstallJob::setAppDownloadLimitForTesting(std::chrono::milliseconds(1500));
  setApps({app("/apps/stalled.apk", L"com.tarnwick.stalled", L"Stalled")});
  const bool ended = finishInstallation();
  AppInstallJob::setAppDownloadLimitForTesting(std::chrono::milliseconds(0));
  ASSERT_TRUE(ended);
  EXPECT_TRUE(world.log_.contains(L"app download time limit reached: Stalled"));
  EXPECT_EQ(consoleResults(), std::vector<std::string>{"refused no such file"});
  EXPECT_FALSE(fs::exists(file("Stalled.apk.tmp")));
  EXPECT_EQ(launch(), "package=com.tarnwick.stalled");
}

TEST(ApkNames, FileStems) {
  const std::vector<std::pair<std::wstring, std::wstring>> cases = {
      {L"Tarnwick Demo", L"Tarnwick Demo"},
      {L"..", L""},
      {L" . ", L""},
      {L"..\\..\\x", L"_.._x"},
      {L"a/b", L"a_b"},
      {L"C:x", L"C_x"},
      {L"say \"hi\"", L"say _hi_"},
      {L"tab\there\nline", L"tab_here_line"},
      {L"w*h?a<t>|", L"w_h_a_t__"},
      {L".hidden.", L"hidden"},
      {L"游戏", L"游戏"},
      {std::wstring(200, L'a'), std::wstring(120, L'a')},
  };
  for (const auto& [name, stem] : cases) EXPECT_EQ(apknames::safeFileStem(name), stem) << utility::wideToUtf8(name);
}

TEST(ApkNames, ResolutionsAndLaunchValues) {
  for (const wchar_t* good : {L"1280x720", L"1920X1080", L"1280*720", L"1280x720,240"}) {
    EXPECT_TRUE(apknames::isSafeResolution(good)) << utility::wideToUtf8(good);
  }
  for (const wchar_t* bad : {L"", L"1280x720 --hide", L"--index", L"x720", L"\"1280x720\"", L"1280x720\n",
                             L"123456789012345678901234567890123"}) {
    EXPECT_FALSE(apknames::isSafeResolution(bad)) << utility::wideToUtf8(bad);
  }
  EXPECT_EQ(apknames::safeLaunchValue(L"Demo|show=false;S.x=\"y\"\n"), L"Demo_show=false_S.x=_y__");
  EXPECT_EQ(apknames::safeLaunchValue(L"https://h/a.apk?x=1&y=2"), L"https://h/a.apk?x=1&y=2");
}

}  // namespace
