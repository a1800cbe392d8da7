// The installer download of the model against the in-process stand-in services, which serve the
// stand-in emulator program (padded to tens of MiB) as every full installer; main loop running,
// drive C: in a temporary folder.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "model/installer_partial.h"
#include "net/fetch_rules.h"
#include "net/http_client.h"
#include "telemetry/qv_reporter.h"
#include "tests/model/download_faults.h"
#include "tests/net/net_test_support.h"
#include "tests/net/raw_server.h"
#include "tests/net/tls_peers.h"
#include "tests/support/test_fs.h"
#include "utility/base/main_loop.h"
#include "utility/base/sha256.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/process.h"

// Reaches the model's private parts for one fresh model per case.
class DownloaderModelTest {
 public:
  static DownloaderModel* make(QvReporter& reporter, const std::wstring& installPath) {
    auto* model = new DownloaderModel();
    model->reporter_ = &reporter;
    model->installPath_ = installPath;
    model->analytics_.setCredentials(ConfigImp::instance().measurementId(), ConfigImp::instance().apiSecret());
    return model;
  }
  static void startConfigThread(DownloaderModel& model) {
    model._prepareConfigRequest();
    model.configThread_.start(makeRunable(&model, &DownloaderModel::_threadGetPlayerUrl));
  }
  static void waitForConfigThread(DownloaderModel& model) { model.configThread_.stop(utility::kWaitForever); }
  static bool configThreadRunning(const DownloaderModel& model) { return model.configThread_.isRunning(); }
  static void destroy(DownloaderModel* model) {
    if (model->shutdown()) delete model;
  }
};

namespace {

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

constexpr uint64_t kInstallerSize = 24u << 20;  // the stand-in emulator, padded
constexpr const char* kPlayerInfo = "/player_files/en/morvane";
constexpr const char* kCampaign = "/player_files/openidconfig/35036.data";
constexpr const char* kRemoteInstaller = "/download/full/en/Tarnwick9_setup.exe";
constexpr const char* kFixedInstaller = "/download/package/Tarnwick9.0.exe";
constexpr const char* kCollection = "/collection/biz/upload";
constexpr const char* kAnalytics = "/mp/collect";

// Holds the |holdAt|-th request that the platform client opens (counted from 1) until released,
// at most 60 s (a test that never releases it fails instead of hanging).
struct OpenGate {
  std::mutex mutex;
  std::condition_variable changed;
  int opened = 0;
  int holdAt = 0;
  bool held = false;
  bool released = false;
  bool gaveUp = false;
};
OpenGate gGate;

void gateHook(utility::CHttpClient*, utility::CHttpClient::OpenStage stage) {
  if (stage != utility::CHttpClient::OpenStage::kEntered) return;
  std::unique_lock<std::mutex> lock(gGate.mutex);
  if (++gGate.opened != gGate.holdAt) return;
  gGate.held = true;
  gGate.changed.notify_all();
  if (!gGate.changed.wait_for(lock, std::chrono::seconds(60), [] { return gGate.released; })) gGate.gaveUp = true;
}

void holdOpen(int which) {
  std::lock_guard<std::mutex> lock(gGate.mutex);
  gGate.opened = 0;
  gGate.holdAt = which;
  gGate.held = false;
  gGate.released = false;
  gGate.gaveUp = false;
  utility::CHttpClient::setOpenHookForTesting(&gateHook);
}

bool openHeld() {
  std::lock_guard<std::mutex> lock(gGate.mutex);
  return gGate.held;
}

bool gateGaveUp() {
  std::lock_guard<std::mutex> lock(gGate.mutex);
  return gGate.gaveUp;
}

void releaseOpen() {
  std::lock_guard<std::mutex> lock(gGate.mutex);
  gGate.released = true;
  gGate.changed.notify_all();
}

// Plants a hard link to |gVictim| at |gPlantAt| when the platform client opens its request,
// after the model has cleared the way for its temporary file.
std::string gVictim;
std::string gPlantAt;
void plantHardLinkHook(utility::CHttpClient*, utility::CHttpClient::OpenStage stage) {
  if (stage != utility::CHttpClient::OpenStage::kEntered) return;
  std::error_code error;
  std::filesystem::create_hard_link(gVictim, gPlantAt, error);
}

std::atomic<uint32_t> gTick{0};
uint32_t testTick() { return gTick.load(); }

// The event keys of the collection batches, in the order the services received them.
std::vector<std::string> eventKeys(const std::vector<standin::RecordedPost>& posts, int64_t* duration = nullptr) {
  std::vector<std::string> keys;
  for (const auto& post : posts) {
    if (post.path != kCollection) continue;
    EXPECT_TRUE(post.accepted) << post.reason;
    rapidjson::Document batch;
    if (batch.Parse(post.body.c_str()).HasParseError() || !batch.IsArray()) continue;
    for (const auto& event : batch.GetArray()) {
      keys.emplace_back(event["eventKey"].GetString());
      if (duration != nullptr && keys.back() == "download_duration") {
        const auto& properties = event["properties"];
        EXPECT_TRUE(properties.HasMember("duration") && properties["duration"].IsInt64());
        if (properties.HasMember("duration") && properties["duration"].IsInt64()) *duration = properties["duration"].GetInt64();
      }
    }
  }
  return keys;
}

class Download : public nettest::ServicesTest {
 protected:
  standin::Options servicesOptions() const override {
    return standin::Options{.installerFile = STANDIN_EMULATOR, .installerSize = kInstallerSize};
  }

  void SetUp() override {
    ServicesTest::SetUp();
    utility::TaskDispatcher::create();
    utility::MainLoop::resetForTesting();
    ConfigImp::instance().language = L"en";
    ConfigImp::instance().setPlayer9();
    DownloaderModel::resetDefaultUrlTicksForTesting();
    reporter_ = std::make_unique<QvReporter>(0xFFFFFFFFu);
    reporter_->init(L"35036", L"0123456789abcdef0123456789abcdef", L"en");
    freshModel();
  }

  // A new model in place of the last one, its callbacks counted, the counts cleared (a row of a
  // table starts from here).
  void freshModel() {
    if (model_ != nullptr) DownloaderModelTest::destroy(model_);
    model_ = DownloaderModelTest::make(*reporter_, installPath());
    successes_ = failures_ = 0;
    causes_.clear();
    progress_.clear();
    curlProgress_.clear();
    model_->onDownloadSuccess = [this] { ++successes_; };
    model_->onDownloadFail = [this](net::DownloadFailure cause) {
      ++failures_;
      causes_.push_back(cause);
    };
    model_->onDownloadProgress = [this](int percent, int, int) { progress_.push_back(percent); };
    model_->onCurlProgress = [this](int percent) { curlProgress_.push_back(percent); };
  }

  void TearDown() override {
    if (model_ != nullptr) DownloaderModelTest::destroy(model_);
    reporter_->stop();
    utility::CHttpClient::setOpenHookForTesting(nullptr);
    releaseOpen();
    DownloaderModel::setDefaultUrlPeriodForTesting(0);
    DownloaderModel::setTickSourceForTesting(nullptr);
    net::setLowRateWindowForTesting(std::chrono::seconds(0));
    ServicesTest::TearDown();
  }

  static std::wstring installPath() { return L"C:\\Tarnwick\\Tarnwick9"; }
  std::string installerHostPath() const { return hostPath("Tarnwick/Tarnwick9/Tarnwick.exe"); }

  // Runs the main loop until |done| holds (checked every 10 ms, and |meanwhile| with it), at most
  // |limit|; false when the limit came first.
  bool runLoopUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(120),
                    const std::function<void()>& meanwhile = {}) {
    const auto end = std::chrono::steady_clock::now() + limit;
    bool reached = false;
    utility::TaskTimer poll;
    poll.start(10, makeRunable([&] {
      if (meanwhile) meanwhile();
      reached = done();
      if (reached || std::chrono::steady_clock::now() > end) utility::MainLoop::quit();
    }));
    utility::MainLoop::run();
    poll.stop();
    utility::MainLoop::resetForTesting();
    return reached;
  }
  // Until the result has reached the main thread and the download thread has written its last
  // log record (which comes after the result is posted).
  bool runUntilFinished() {
    return runLoopUntil([this] {
      return successes_ + failures_ > 0 && log_.containsPart(L"download finished, success = ");
    });
  }

  // Stops the reporter (its last cycle posts what is queued) and returns the collection events.
  std::vector<std::string> reportedEvents(int64_t* duration = nullptr) {
    reporter_->stop();
    return eventKeys(services_->posts(), duration);
  }

  // Analytics events named |name| the services received.
  size_t analyticsEvents(const std::string& name) const {
    size_t n = 0;
    for (const auto& post : services_->posts()) {
      if (post.path == kAnalytics && post.body.find("\"" + name + "\"") != std::string::npos) ++n;
    }
    return n;
  }

  // The bytes every installer is served with.
  static std::string servedInstaller() {
    std::string bytes = readFile(STANDIN_EMULATOR);
    const size_t programSize = bytes.size();
    bytes.resize(std::max<size_t>(programSize, kInstallerSize));
    for (size_t i = programSize; i < bytes.size(); ++i) bytes[i] = standin::Services::generatedByte(i);
    return bytes;
  }

  std::unique_ptr<QvReporter> reporter_;
  DownloaderModel* model_ = nullptr;
  int successes_ = 0;
  int failures_ = 0;
  std::vector<net::DownloadFailure> causes_;
  std::vector<int> progress_;
  std::vector<int> curlProgress_;
};

TEST_F(Download, PlatformStackDeliversTheStandInEmulatorAsARunnableInstaller) {
  model_->setPlayerUrl(wurl(kRemoteInstaller));
  model_->startDownloadPlayer();
  ASSERT_TRUE(runUntilFinished());
  EXPECT_EQ(successes_, 1);
  EXPECT_EQ(failures_, 0);
  EXPECT_EQ(targetsFor(kRemoteInstaller).size(), 1u);

  const std::string installer = installerHostPath();
  EXPECT_TRUE(readFile(installer) == servedInstaller());
  EXPECT_FALSE(fileExists(installer + ".tmp"));
  namespace fs = std::filesystem;
  const fs::perms perms = fs::status(installer).permissions();
  EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none);
  EXPECT_EQ(perms & (fs::perms::set_uid | fs::perms::set_gid), fs::perms::none);

  for (const std::wstring& record :
       {std::wstring(L"download player"), L"start download player playerurl is " + wurl(kRemoteInstaller),
        std::wstring(L"download file success file = C:\\Tarnwick\\Tarnwick9\\Tarnwick.exe")}) {
    EXPECT_TRUE(log_.contains(record)) << utility::wideToUtf8(record);
  }
  EXPECT_FALSE(log_.contains(L"download by qvcurl"));
  EXPECT_TRUE(log_.containsPart(L"download finished, success = 1, elapse = "));
  // The first chunk's progress goes out at once; percentages only grow and stay within 100.
  ASSERT_FALSE(progress_.empty());
  EXPECT_TRUE(std::is_sorted(progress_.begin(), progress_.end()));
  EXPECT_LE(progress_.back(), 100);
  EXPECT_TRUE(curlProgress_.empty());

  int64_t duration = -1;
  EXPECT_EQ(reportedEvents(&duration), (std::vector<std::string>{"download_success", "download_duration"}));
  EXPECT_GE(duration, 0);

  // The padded program still runs: as the console tool, it takes a command it knows.
  const std::string tool = hostPath("Tarnwick/Tarnwick9/corvidectl.exe");
  fs::copy_file(installer, tool);
  int exitCode = -1;
  int error = 0;
  utility::process::ProcessHandle child = utility::process::create(
      utility::utf8ToWide(tool), L"modify --index 0 --resolution 1280x720", false);
  ASSERT_TRUE(child);
  ASSERT_EQ(child.wait(60000, exitCode, error), utility::process::ProcessHandle::Wait::ended);
  EXPECT_EQ(exitCode, 0);
}

// Which stack ends up with the installer, or none, and what reaches the collection service.
TEST_F(Download, FallbackTable) {
  struct Case {
    const char* label;
    standin::Fault fault;
    bool success;
    size_t requests;  // of the installer
    bool curlTried;
  };
  const Case cases[] = {
      {"platform stack fails twice, libcurl succeeds", {.status = 503, .times = 2}, true, 3, true},
      {"platform stack fails once, its second attempt succeeds", {.status = 503, .times = 1}, true, 2, false},
      // The platform stack's 200 bytes are no installer either (one attempt: its transfer worked).
      {"libcurl gets a 200-byte page: no installer",
       {.replaceBody = true, .body = std::string(200, 'e')}, false, 2, true},
      {"an error status on every request", {.status = 500}, false, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshModel();
    services_->clearRecords();
    services_->clearFaults();
    services_->setFault(kRemoteInstaller, c.fault);
    std::filesystem::remove(installerHostPath());
    log_.clear();

    model_->setPlayerUrl(wurl(kRemoteInstaller));
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
    EXPECT_EQ(successes_, c.success ? 1 : 0);
    EXPECT_EQ(failures_, c.success ? 0 : 1);
    EXPECT_EQ(targetsFor(kRemoteInstaller).size(), c.requests);
    EXPECT_EQ(log_.contains(L"download by qvcurl"), c.curlTried);
    EXPECT_EQ(log_.containsPart(L"download finished, success = 1"), c.success);
    EXPECT_EQ(log_.containsPart(L"download finished, success = 0"), !c.success);
    if (c.success) {
      EXPECT_TRUE(readFile(installerHostPath()) == servedInstaller());
      // libcurl's progress reaches the main thread too (its first report as soon as the size is known).
      if (c.curlTried) {
        EXPECT_FALSE(curlProgress_.empty());
      }
      for (const int percent : curlProgress_) EXPECT_LT(percent, 100);
    } else {
      EXPECT_TRUE(log_.contains(L"download file error file = C:\\Tarnwick\\Tarnwick9\\Tarnwick.exe"));
    }
  }
  EXPECT_EQ(reportedEvents(), (std::vector<std::string>{"download_success", "download_duration", "download_success",
                                                        "download_duration", "download_fail", "download_fail"}));
}

// A full disk on every stack: the cause reaches the window, the log names it, and no partial
// file is left to hold the drive full.
TEST_F(Download, AFullDiskIsNamedAndLeavesNoPartialFile) {
  services_->setFault(kRemoteInstaller, {});
  model_->setPlayerUrl(wurl(kRemoteInstaller));
  {
    testfs::FileSizeLimit full(4u << 20);
    ASSERT_TRUE(full.active());
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
  }
  EXPECT_EQ(successes_, 0);
  ASSERT_EQ(failures_, 1);
  EXPECT_EQ(causes_, std::vector<net::DownloadFailure>{net::DownloadFailure::kDiskFull});
  EXPECT_TRUE(log_.contains(L"download by qvcurl"));  // both stacks tried
  size_t named = 0;
  for (const auto& record : log_.records()) {
    if (record.text.rfind(L"write file error", 0) == 0 && record.text.find(L"File too large") != std::wstring::npos) {
      ++named;
    }
  }
  EXPECT_EQ(named, 3u);  // the platform client's two attempts and libcurl's
  EXPECT_FALSE(fileExists(installerHostPath()));
  EXPECT_FALSE(fileExists(installerHostPath() + ".tmp"));
}

// Leaving while the transfer runs: once it has stopped, a partial file the server named a
// validator for stays with its side file, for a later run to continue; any other goes.
TEST_F(Download, LeavingDuringTheDownloadKeepsOnlyAPartialFileThatCanBeContinued) {
  struct Case {
    const char* label;
    standin::Fault fault;
    bool kept;
  };
  const Case cases[] = {
      {"with a validator", {.stallAfterBytes = 2u << 20}, true},
      {"without a validator", {.stallAfterBytes = 2u << 20, .noValidator = true}, false},
  };
  const std::string partial = installerHostPath() + ".tmp";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshModel();
    std::filesystem::remove(partial);
    std::filesystem::remove(partial + ".resume");
    services_->setFault(kRemoteInstaller, c.fault);
    model_->setPlayerUrl(wurl(kRemoteInstaller));
    model_->startDownloadPlayer();
    ASSERT_TRUE(runLoopUntil([&] { return !progress_.empty() && fileExists(partial); }));
    DownloaderModelTest::destroy(model_);
    model_ = nullptr;
    EXPECT_EQ(fileExists(partial), c.kept);
    EXPECT_EQ(fileExists(partial + ".resume"), c.kept);
    EXPECT_FALSE(fileExists(installerHostPath()));
    if (c.kept) {
      const std::string kept = readFile(partial);
      EXPECT_GT(kept.size(), 0u);
      EXPECT_TRUE(servedInstaller().compare(0, kept.size(), kept) == 0);
    }
  }
}

// A dropped transfer is continued by the next attempt of the chain where the server allows it;
// every journey ends with the installer byte-exact or fails leaving nothing, never a spliced file;
// the collection events stay one success or one failure.
TEST_F(Download, DroppedTransfersAreContinuedAlongTheChain) {
  constexpr int64_t kDrop = 3u << 20;
  struct Case {
    const char* label;
    std::vector<standin::Fault> faults;  // per request: platform, platform, libcurl
    bool success;
    size_t requests;
    std::vector<bool> ranged;  // which requests asked for a range
    const wchar_t* record;     // in the log
  };
  const std::wstring resumedAt = L"download resumed at " + std::to_wstring(kDrop) + L" of " +
                                 std::to_wstring(kInstallerSize) + L" bytes";
  const Case cases[] = {
      {"platform stack: the second attempt continues", {{.dropAfterBytes = kDrop}}, true, 2, {false, true},
       resumedAt.c_str()},
      {"platform stack: validator changed, restarts from zero", {{.dropAfterBytes = kDrop}, {.validatorChanged = true}},
       true, 2, {false, true}, L"download restarts from zero"},
      {"libcurl continues what the platform stack left",
       {{.dropAfterBytes = kDrop}, {.status = 503}}, true, 3, {false, true, true}, resumedAt.c_str()},
      {"libcurl: range ignored (200), restarts from zero",
       {{.dropAfterBytes = kDrop}, {.status = 503}, {.ignoreRange = true}}, true, 3, {false, true, true},
       L"download restarts from zero"},
      {"libcurl: wrong Content-Range, refused and nothing kept",
       {{.dropAfterBytes = kDrop}, {.status = 503}, {.wrongContentRange = true}}, false, 3, {false, true, true},
       L"range reply refused, partial file discarded"},
  };
  const std::string partial = installerHostPath() + ".tmp";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshModel();
    services_->clearRecords();
    services_->clearFaults();
    services_->setFaultSequence(kRemoteInstaller, c.faults);
    std::filesystem::remove(installerHostPath());
    log_.clear();
    model_->setPlayerUrl(wurl(kRemoteInstaller));
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
    EXPECT_EQ(successes_, c.success ? 1 : 0);
    EXPECT_EQ(failures_, c.success ? 0 : 1);
    std::vector<bool> ranged;
    for (const auto& request : services_->requests()) {
      if (request.path != kRemoteInstaller) continue;
      bool range = false;
      for (const auto& [name, value] : request.headers) range = range || name == "Range";
      ranged.push_back(range);
    }
    EXPECT_EQ(ranged.size(), c.requests);
    EXPECT_EQ(ranged, c.ranged);
    EXPECT_TRUE(log_.containsPart(c.record)) << utility::wideToUtf8(c.record);
    if (c.success) {
      EXPECT_TRUE(readFile(installerHostPath()) == servedInstaller());
    } else {
      EXPECT_FALSE(fileExists(installerHostPath()));
    }
    EXPECT_FALSE(fileExists(partial));
    EXPECT_FALSE(fileExists(partial + ".resume"));
  }
  EXPECT_EQ(reportedEvents(), (std::vector<std::string>{"download_success", "download_duration", "download_success",
                                                        "download_duration", "download_success", "download_duration",
                                                        "download_success", "download_duration", "download_fail"}));
}

// A partial file a user left behind is continued by a later run for the same address while its
// validator holds; for another address, or a week old, it is removed and the download starts
// from zero; a changed validator makes the server send the whole file again.
TEST_F(Download, ALaterRunContinuesWhatWasLeft) {
  struct Case {
    const char* label;
    const char* path;        // the later run's address
    standin::Fault fault;    // the later run's server
    int64_t daysLater;
    bool ranged;     // the later run asked for the rest
    bool continued;  // ... and got it
    size_t requests = 1;
  };
  const Case cases[] = {
      {"same address", kRemoteInstaller, {}, 0, true, true},
      {"six days later", kRemoteInstaller, {}, 6, true, true},
      {"validator changed", kRemoteInstaller, {.validatorChanged = true}, 0, true, false},
      {"first request refused, the second continues", kRemoteInstaller, {.status = 503, .times = 1}, 0, true, true, 2},
      {"another address", kFixedInstaller, {}, 0, false, false},
      {"eight days later", kRemoteInstaller, {}, 8, false, false},
  };
  static std::atomic<int64_t> clock{1796000000};
  InstallerPartial::setClockForTesting([] { return clock.load(); });
  const std::string partial = installerHostPath() + ".tmp";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    clock.store(1796000000);
    // The first run is left while its transfer stalls.
    freshModel();
    services_->clearFaults();
    services_->setFault(kRemoteInstaller, {.stallAfterBytes = 2u << 20, .times = 1});
    model_->setPlayerUrl(wurl(kRemoteInstaller));
    model_->startDownloadPlayer();
    ASSERT_TRUE(runLoopUntil([&] { return !progress_.empty() && fileExists(partial); }));
    DownloaderModelTest::destroy(model_);
    model_ = nullptr;
    ASSERT_TRUE(fileExists(partial + ".resume"));
    const size_t kept = readFile(partial).size();

    clock.store(1796000000 + c.daysLater * 86400);
    services_->clearRecords();
    services_->setFault(c.path, c.fault);
    log_.clear();
    freshModel();
    model_->setPlayerUrl(wurl(c.path));
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
    EXPECT_EQ(successes_, 1);
    EXPECT_TRUE(readFile(installerHostPath()) == servedInstaller());
    EXPECT_EQ(targetsFor(c.path).size(), c.requests);
    bool ranged = false;
    for (const auto& request : services_->requests()) {
      for (const auto& [name, value] : request.headers) {
        ranged = ranged || (request.path == c.path && name == "Range");
      }
    }
    EXPECT_EQ(ranged, c.ranged);
    EXPECT_EQ(log_.containsPart(L"download resumed at " + std::to_wstring(kept)), c.continued);
    EXPECT_FALSE(fileExists(partial));
    EXPECT_FALSE(fileExists(partial + ".resume"));
    std::filesystem::remove(installerHostPath());
  }
  InstallerPartial::setClockForTesting(nullptr);
}

// The player information's size and SHA-256 of the installer: a download that does not match
// them fails as a download does (and leaves nothing); without them nothing is checked. A
// continued download is hashed across the part it kept.
TEST_F(Download, TheInstallerMustMatchItsSizeAndHash) {
  const std::string served = servedInstaller();
  utility::Sha256 hash;
  hash.update(served.data(), served.size());
  const std::string digest = hash.hex();
  std::string wrongDigest = digest;
  wrongDigest[10] = wrongDigest[10] == 'a' ? 'b' : 'a';
  const auto size = static_cast<int64_t>(served.size());
  struct Case {
    const char* label;
    DownloaderModel::InstallerFacts facts;
    std::vector<standin::Fault> faults;
    bool success;
    const wchar_t* record;
  };
  const Case cases[] = {
      {"both match", {size, digest}, {}, true, L"installer integrity check passed"},
      {"both match, continued after a drop", {size, digest}, {{.dropAfterBytes = 5u << 20}}, true,
       L"installer integrity check passed"},
      {"both match, through libcurl", {size, digest}, {{.status = 503}, {.status = 503}}, true,
       L"installer integrity check passed"},
      {"wrong hash", {size, wrongDigest}, {}, false, L"installer integrity check failed: sha256 "},
      {"wrong hash, through libcurl", {size, wrongDigest}, {{.status = 503}, {.status = 503}}, false,
       L"installer integrity check failed: sha256 "},
      {"wrong size", {size + 1, digest}, {}, false, L"installer integrity check failed: size "},
      {"none given", {}, {}, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshModel();
    services_->clearFaults();
    services_->setFaultSequence(kRemoteInstaller, c.faults);
    std::filesystem::remove(installerHostPath());
    log_.clear();
    model_->setPlayerUrl(wurl(kRemoteInstaller), c.facts);
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
    EXPECT_EQ(successes_, c.success ? 1 : 0);
    if (c.record != nullptr) {
      EXPECT_TRUE(log_.containsPart(c.record)) << utility::wideToUtf8(c.record);
    } else {
      EXPECT_FALSE(log_.containsPart(L"installer integrity check"));
    }
    if (c.success) {
      EXPECT_TRUE(readFile(installerHostPath()) == served);
    } else {
      EXPECT_EQ(causes_, std::vector<net::DownloadFailure>{net::DownloadFailure::kIntegrityMismatch});
      EXPECT_FALSE(fileExists(installerHostPath()));
      EXPECT_FALSE(fileExists(installerHostPath() + ".tmp"));
      EXPECT_FALSE(fileExists(installerHostPath() + ".tmp.resume"));
    }
  }
  EXPECT_EQ(reportedEvents(),
            (std::vector<std::string>{"download_success", "download_duration", "download_success", "download_duration",
                                      "download_success", "download_duration", "download_fail", "download_fail",
                                      "download_fail", "download_success", "download_duration"}));
}

// The stand-in services name the size and SHA-256 of what they serve in the player information;
// the config thread takes them with the address, and the download is checked against them.
TEST_F(Download, ThePlayerInformationNamesTheInstallersSizeAndHash) {
  struct Case {
    const char* label;
    standin::Fault fault;  // on the player information
    bool success;
  };
  const Case cases[] = {
      {"as served", {}, true},
      {"wrong hash", {.wrongHash = true}, false},
      {"wrong size", {.wrongSize = true}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshModel();
    services_->clearFaults();
    services_->setFault(kPlayerInfo, c.fault);
    std::filesystem::remove(installerHostPath());
    DownloaderModelTest::startConfigThread(*model_);
    DownloaderModelTest::waitForConfigThread(*model_);
    const DownloaderModel::InstallerFacts facts = model_->getInstallerFacts();
    EXPECT_EQ(facts.size >= 0, true);
    EXPECT_EQ(facts.sha256.size(), 64u);
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
    EXPECT_EQ(successes_, c.success ? 1 : 0);
    EXPECT_EQ(failures_, c.success ? 0 : 1);
  }
}

// After a failure the next start is a fresh download through the whole chain, not refused.
TEST_F(Download, ARetryAfterAFailureStartsAFreshDownload) {
  services_->setFault(kRemoteInstaller, {.status = 404});
  model_->setPlayerUrl(wurl(kRemoteInstaller));
  model_->startDownloadPlayer();
  ASSERT_TRUE(runUntilFinished());
  ASSERT_EQ(failures_, 1);
  EXPECT_EQ(causes_, std::vector<net::DownloadFailure>{net::DownloadFailure::kServerRefused});
  EXPECT_EQ(targetsFor(kRemoteInstaller).size(), 3u);  // platform client twice, then libcurl
  EXPECT_FALSE(fileExists(installerHostPath()));

  services_->clearFaults();
  log_.clear();
  model_->startDownloadPlayer();
  ASSERT_TRUE(runLoopUntil([this] { return successes_ > 0 && log_.containsPart(L"download finished, success = 1"); }));
  EXPECT_EQ(successes_, 1);
  EXPECT_EQ(failures_, 1);
  EXPECT_EQ(targetsFor(kRemoteInstaller).size(), 4u);
  EXPECT_TRUE(readFile(installerHostPath()) == servedInstaller());
}

// The installer comes over https only: a plain-http address, and a redirect from https to plain
// http, are refused by both stacks before anything plain is requested.
TEST_F(Download, PlainHttpIsRefusedByBothStacks) {
  const std::string evil(2u << 20, 'e');
  nettest::RawServer plain("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(evil.size()) +
                           "\r\nConnection: close\r\n\r\n" + evil);
  const std::string plainUrl = "http://127.0.0.1:" + std::to_string(plain.port()) + "/Tarnwick9_setup.exe";
  nettest::RedirectServer toPlain(plainUrl);
  ASSERT_GT(toPlain.port(), 0);
  struct Case {
    const char* label;
    std::string address;
    std::wstring platformRecord;
    std::wstring curlRecord;
  };
  const std::wstring wplain = utility::utf8ToWide(plainUrl);
  const Case cases[] = {
      {"plain http address", plainUrl, L"plain http refused: " + wplain, L"address refused, only https allowed: " + wplain},
      {"https redirected to plain http", toPlain.url("/Tarnwick9_setup.exe"), L"redirect to " + wplain + L" refused",
       L"address refused, only https allowed: " + wplain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshModel();
    log_.clear();
    model_->setPlayerUrl(utility::utf8ToWide(c.address));
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
    EXPECT_EQ(failures_, 1);
    EXPECT_TRUE(log_.contains(c.platformRecord)) << utility::wideToUtf8(c.platformRecord);
    EXPECT_TRUE(log_.contains(c.curlRecord)) << utility::wideToUtf8(c.curlRecord);
    EXPECT_EQ(readFile(installerHostPath()).find('e'), std::string::npos);
  }
  EXPECT_TRUE(plain.requests().empty());
}

// A server that trickles below 1 KiB/s over the window (2 s here) loses the transfer, on either
// stack; the platform stack's loss takes the fallback.
TEST_F(Download, TransfersBelowTheMinimumRateFail) {
  net::setLowRateWindowForTesting(std::chrono::seconds(2));
  struct Case {
    const char* label;
    standin::Fault fault;
    bool success;
  };
  const Case cases[] = {
      {"platform stack trickles, libcurl gets it", {.bytesPerSecond = 300, .times = 2}, true},
      {"both trickle", {.bytesPerSecond = 300}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshModel();
    services_->clearRecords();
    services_->setFault(kRemoteInstaller, c.fault);
    log_.clear();
    model_->setPlayerUrl(wurl(kRemoteInstaller));
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
    EXPECT_EQ(successes_, c.success ? 1 : 0);
    EXPECT_EQ(targetsFor(kRemoteInstaller).size(), 3u);
    size_t platformRecords = 0;
    size_t curlRecords = 0;
    for (const auto& record : log_.records()) {
      if (record.text != L"transfer below 1024 bytes per second for 2 s") continue;
      if (record.function == "utility::CHttpClient::sendAndReceive") ++platformRecords;
      if (record.function == "QvCurlDownloader::downloadFile") ++curlRecords;
    }
    EXPECT_EQ(platformRecords, 2u);
    EXPECT_EQ(curlRecords, c.success ? 0u : 1u);
  }
}

// Hard links to a file elsewhere, at the target and (planted while the request opens, after the
// model removed any) at its temporary name: neither stack writes through them.
TEST_F(Download, PlantedHardLinksAreNotWrittenThrough) {
  struct Case {
    const char* label;
    standin::Fault fault;
    bool curlTried;
  };
  const Case cases[] = {
      {"platform stack", {}, false},
      {"libcurl", {.status = 503, .times = 2}, true},
  };
  const std::string victim = hostPath("victim.txt");
  const std::string kept = "precious settings\n";
  std::filesystem::create_directories(hostPath("Tarnwick/Tarnwick9"));
  gVictim = victim;
  gPlantAt = installerHostPath() + ".tmp";
  utility::CHttpClient::setOpenHookForTesting(&plantHardLinkHook);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    freshModel();
    std::ofstream(victim, std::ios::binary | std::ios::trunc) << kept;
    std::filesystem::remove(installerHostPath());
    std::filesystem::create_hard_link(victim, installerHostPath());
    services_->setFault(kRemoteInstaller, c.fault);
    log_.clear();
    model_->setPlayerUrl(wurl(kRemoteInstaller));
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
    EXPECT_EQ(successes_, 1);
    EXPECT_EQ(log_.contains(L"download by qvcurl"), c.curlTried);
    EXPECT_EQ(readFile(victim), kept);
    EXPECT_TRUE(readFile(installerHostPath()) == servedInstaller());
    std::filesystem::remove(gPlantAt);
  }
}

TEST_F(Download, ASecondClickStartsNothing) {
  model_->setPlayerUrl(wurl(kRemoteInstaller));
  model_->startDownloadPlayer();
  model_->startDownloadPlayer();  // the thread is held
  ASSERT_TRUE(runUntilFinished());
  model_->startDownloadPlayer();  // still held after it finished
  runLoopUntil([] { return false; }, std::chrono::seconds(1));
  EXPECT_EQ(successes_, 1);
  EXPECT_EQ(failures_, 0);
  EXPECT_EQ(targetsFor(kRemoteInstaller).size(), 1u);
}

TEST_F(Download, ProgressIsPostedAtMostOncePerSecond) {
  DownloaderModel::setTickSourceForTesting(&testTick);
  struct Step {
    uint32_t tick;
    int64_t received;
    int64_t total;
  };
  // A server without a length: the total is the 10 MiB the platform client assumes, so the
  // percentage passes 100.
  const int64_t assumed = 10485760;
  const Step steps[] = {
      {5000, 100, 1000},       // the first one goes out at once
      {5999, 200, 1000},       // too soon
      {6000, 300, 1000},       // a second later
      {6500, 400, 1000},       // too soon
      {7001, 999, 1000},       // percent truncated: 99
      {9000, assumed * 3 / 2, assumed},
      {0xFFFFFFF0u, 5, 10},    // the tick count wraps ...
      {0x00000100u, 6, 10},    // ... too soon across the wrap (272 ms later)
      {0x00000400u, 7, 10},    // 1040 ms after the last one
  };
  for (const Step& s : steps) {
    gTick.store(s.tick);
    EXPECT_TRUE(model_->onHttpProgress(nullptr, 0, s.received, s.total));
  }
  runLoopUntil([this] { return progress_.size() >= 6; }, std::chrono::seconds(30));
  EXPECT_EQ(progress_, (std::vector<int>{10, 30, 99, 150, 50, 70}));
}

TEST_F(Download, ElapseIsRoundedUpToHalfMinutes) {
  struct Case {
    uint32_t start;
    uint32_t end;
    int logged;
  };
  const Case cases[] = {
      {1000, 1000, 0},   {1000, 1500, 0},       {1000, 31000, 30},       {1000, 31999, 30},
      {1000, 32000, 60}, {1000, 96000, 120},    {0xFFFFFC18u, 94000, 120},  // across the wrap: 95 s
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DownloaderModel::roundedElapseSeconds(c.start, c.end), c.logged) << c.start << " .. " << c.end;
  }
}

// No address from the remote document: the wait task gives up at its fourth tick and takes the
// generation's fixed address, queuing "download_defaultUrl" once.
TEST_F(Download, AddressNeverArrives) {
  DownloaderModel::setDefaultUrlPeriodForTesting(20);
  services_->setFault(kPlayerInfo, {.status = 404});
  DownloaderModelTest::startConfigThread(*model_);
  DownloaderModelTest::waitForConfigThread(*model_);
  ASSERT_TRUE(model_->getPlayerUrl().empty());

  model_->startDownloadPlayer();
  ASSERT_TRUE(runUntilFinished());
  EXPECT_EQ(successes_, 1);
  EXPECT_EQ(DownloaderModel::defaultUrlTicksForTesting(), 4);
  EXPECT_EQ(model_->getPlayerUrl(), wurl(kFixedInstaller));
  EXPECT_EQ(targetsFor(kFixedInstaller).size(), 1u);
  EXPECT_TRUE(log_.contains(L"start downloader. bug getting player url"));
  ASSERT_TRUE(runLoopUntil([this] { return analyticsEvents("download_defaultUrl") >= 1; }, std::chrono::seconds(60)));
  EXPECT_EQ(reportedEvents(), (std::vector<std::string>{"download_address_fail", "download_success", "download_duration"}));
  DownloaderModelTest::destroy(model_);  // ends the analytics worker: nothing more can arrive
  model_ = nullptr;
  EXPECT_EQ(analyticsEvents("download_defaultUrl"), 1u);
  for (const auto& post : services_->posts()) {
    if (post.path == kAnalytics && post.body.find("download_defaultUrl") != std::string::npos) {
      EXPECT_NE(post.body.find("35036"), std::string::npos) << post.body;  // the openid as label
    }
  }
}

// The address arrives after the click (the player information is held until the wait task has
// ticked once): the download starts from it at a later tick, without the fixed address.
TEST_F(Download, AddressArrivesLate) {
  holdOpen(1);
  DownloaderModelTest::startConfigThread(*model_);
  model_->startDownloadPlayer();
  ASSERT_TRUE(runLoopUntil([this] { return successes_ + failures_ > 0; }, std::chrono::seconds(120), [] {
    if (openHeld() && DownloaderModel::defaultUrlTicksForTesting() >= 1) releaseOpen();
  }));
  EXPECT_EQ(successes_, 1);
  EXPECT_FALSE(gateGaveUp());
  EXPECT_EQ(targetsFor(kRemoteInstaller).size(), 1u);
  EXPECT_TRUE(targetsFor(kFixedInstaller).empty());
  EXPECT_LT(DownloaderModel::defaultUrlTicksForTesting(), 4);
  DownloaderModelTest::destroy(model_);
  model_ = nullptr;
  EXPECT_EQ(analyticsEvents("download_defaultUrl"), 0u);
}

// The address is there but the config thread still fetches the campaign document (held): the
// wait task must not block the main loop until it ends. The hold is released from the loop
// itself, after it has turned five times past a wait-task run that found the address.
TEST_F(Download, WaitingForTheConfigThreadKeepsTheMainLoopTurning) {
  DownloaderModel::setDefaultUrlPeriodForTesting(20);
  holdOpen(2);  // the campaign document, after the player information has given the address
  DownloaderModelTest::startConfigThread(*model_);
  model_->startDownloadPlayer();
  int turnsWhileHeld = 0;
  int ticksAtAddress = -1;
  const bool finished = runLoopUntil(
      [this] { return successes_ + failures_ > 0; }, std::chrono::seconds(120), [&] {
        if (!openHeld() || model_->getPlayerUrl().empty()) return;
        const int ticks = DownloaderModel::defaultUrlTicksForTesting();
        if (ticksAtAddress < 0) ticksAtAddress = ticks;
        if (ticks <= ticksAtAddress) return;
        if (++turnsWhileHeld == 5) releaseOpen();
      });
  ASSERT_TRUE(finished);
  EXPECT_FALSE(gateGaveUp());
  EXPECT_GE(turnsWhileHeld, 5);
  EXPECT_EQ(successes_, 1);
  // The download began only after the config thread had fetched the campaign.
  const auto requests = services_->requests();
  const auto at = [&](const std::string& path) {
    return std::find_if(requests.begin(), requests.end(), [&](const auto& r) { return r.path == path; }) - requests.begin();
  };
  EXPECT_LT(at(kCampaign), at(kRemoteInstaller));
  EXPECT_LT(at(kRemoteInstaller), static_cast<long>(requests.size()));
}

// Every fault a server or the path to it can show, faced by both stacks in turn (the platform
// stack twice, then libcurl): no crash, no hang past the time-outs (the minimum-rate window is
// 2 s here), and never a truncated or foreign installer accepted. Prints the matrix.
TEST_F(Download, FaultMatrix) {
  net::setLowRateWindowForTesting(std::chrono::seconds(2));
  downloadfaults::CertificateServers badCertificates(STANDIN_EMULATOR, kInstallerSize);
  ASSERT_TRUE(badCertificates.start());
  std::string matrix = "fault                                    | platform stack   | libcurl\n";
  for (const downloadfaults::Case& c : downloadfaults::cases(kInstallerSize)) {
    SCOPED_TRACE(c.label);
    freshModel();
    services_->clearFaults();
    services_->clearRecords();
    standin::Services& server = badCertificates.of(c.server, *services_);
    if (c.server == downloadfaults::Server::kTest) services_->setFault(kRemoteInstaller, c.fault);
    std::filesystem::remove(installerHostPath());
    log_.clear();

    const auto started = std::chrono::steady_clock::now();
    model_->setPlayerUrl(utility::utf8ToWide(server.baseUrl() + kRemoteInstaller));
    model_->startDownloadPlayer();
    ASSERT_TRUE(runUntilFinished());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);

    const bool platformAccepted = log_.containsPart(L"download file success file = ");
    const bool curlTried = log_.contains(L"download by qvcurl");
    const bool curlAccepted = curlTried && successes_ == 1;
    EXPECT_EQ(successes_ + failures_, 1);
    EXPECT_EQ(successes_ == 1, c.installer);
    if (successes_ == 1) {
      EXPECT_TRUE(readFile(installerHostPath()) == servedInstaller());
    }
    EXPECT_LT(seconds.count(), 60);
    auto verdict = [&c](bool accepted, bool tried) {
      if (!tried) return std::string("not needed");
      if (!accepted) return std::string("refused");
      return std::string(c.installer ? "accepted, whole" : "ACCEPTED WRONGLY");
    };
    std::string label = c.label;
    label.resize(40, ' ');
    std::string platform = verdict(platformAccepted, true);
    platform.resize(16, ' ');
    matrix += label + " | " + platform + " | " + verdict(curlAccepted, curlTried) + "\n";
  }
  std::printf("%s", matrix.c_str());
}

}  // namespace
