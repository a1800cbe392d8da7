#include "tests/model/install_world.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "model/config_imp.h"
#include "telemetry/qv_reporter.h"
#include "tests/standin/emulator_test_linux.h"
#include "utility/base/clock.h"
#include "utility/base/main_loop.h"
#include "utility/base/runable.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/drive_table.h"
#include "utility/system/ufile.h"

DownloaderModel* DownloaderModelTest::modelFor(const InstallInput& input, QvReporter& reporter) {
  auto* model = new DownloaderModel();
  model->reporter_ = &reporter;
  model->openid_ = input.openid;
  model->language_ = input.language;
  model->installPath_ = input.installPath;
  model->googleId_ = input.googleId;
  model->remoteSettings_ = input.settings;
  return model;
}

InstallOutcome DownloaderModelTest::install(const InstallInput& input, QvReporter& reporter,
                                            const std::function<void()>& whileModelLives) {
  DownloaderModel* model = modelFor(input, reporter);
  if (input.settingsFromDocument) {
    // The config thread's routine, here on this thread; its hand-over is a posted task.
    model->_prepareConfigRequest();
    model->_threadGetPlayerUrl();
    while (utility::MainLoop::iterate()) {
    }
  }
  model->analytics_.setCredentials(ConfigImp::instance().measurementId(), ConfigImp::instance().apiSecret());
  model->analytics_.setClientId(L"2-0123456789abcdef0123456789abcdef");
  model->downloadStartTick_ = utility::tickCount();
  InstallOutcome outcome;
  model->onInstallerStillRunning = [&outcome] { outcome.stillRunning = true; };
  model->onInstallFinished = [&outcome](bool started) {
    outcome.finished = true;
    outcome.started = started;
    utility::MainLoop::quit();
  };
  utility::MainLoop::resetForTesting();
  // A run that never reports back ends the loop too (and fails the test).
  utility::TaskTimer limit;
  limit.start(120000, makeRunable([] { utility::MainLoop::quit(); }));
  model->startInstallPlayer();
  utility::MainLoop::run();
  limit.stop();
  if (whileModelLives) whileModelLives();
  model->shutdown();
  delete model;
  return outcome;
}

bool DownloaderModelTest::deleteModelDuringInstall(const InstallInput& input, QvReporter& reporter,
                                                   const std::function<void()>& meanwhile,
                                                   const std::function<void()>& afterwards) {
  DownloaderModel* model = modelFor(input, reporter);
  model->downloadStartTick_ = utility::tickCount();
  auto called = std::make_shared<bool>(false);
  model->onInstallFinished = [called](bool) { *called = true; };
  model->startInstallPlayer();
  meanwhile();
  model->shutdown();
  delete model;
  afterwards();
  // The task ends by itself; the main thread then collects it.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (DownloaderModel::installTasksForTesting() > 0 && std::chrono::steady_clock::now() < deadline) {
    if (!utility::MainLoop::iterate()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  while (utility::MainLoop::iterate()) {
  }
  return DownloaderModel::installTasksForTesting() == 0 && !*called;
}

void DownloaderModelTest::setApps(DownloaderModel& model, std::vector<AppInfo> apps) { model.apps_ = std::move(apps); }

void DownloaderModelTest::loadCampaign(DownloaderModel& model, const std::wstring& openid) {
  model.apps_.clear();
  model.remoteConfigArrived_ = false;
  model.openid_ = openid;
  model._prepareConfigRequest();
  model._threadGetPlayerUrl();
  while (!model.remoteConfigArrived_) utility::MainLoop::iterate();
}

namespace installtest {

void InstallWorld::SetUp() {
  ServicesTest::SetUp();
  utility::TaskDispatcher::create();
  ConfigImp::instance().language = L"en";
  ConfigImp::instance().setPlayer9();
  DownloaderModel::setInstallerWaitLimitForTesting(0);
  // Drive C: is the home folder, for this process (the table) and the stand-in emulator it
  // starts (the environment); the registry store and the record file are the world's too.
  home_ = temp_->path();
  const fs::path world = temp_->path() / ".world";
  desktop_ = world / "Desktop";
  record_ = world / "record.jsonl";
  fs::create_directories(desktop_);
  fs::create_directories(world / "config");
  fs::create_directories(world / "data");
  const std::string drives = "C=" + home_.string();
  standintest::setEnvironment("TARNWICK_DRIVES", drives.c_str());
  standintest::setEnvironment("HOME", home_.string().c_str());
  standintest::setEnvironment("XDG_CONFIG_HOME", (world / "config").string().c_str());
  standintest::setEnvironment("XDG_DATA_HOME", (world / "data").string().c_str());
  standintest::setEnvironment("TARNWICK_STANDIN_RECORD", record_.string().c_str());
  for (const char* name : {"TARNWICK_STANDIN_INSTALLER", "TARNWICK_STANDIN_EMULATOR", "TARNWICK_STANDIN_GENERATION"}) {
    standintest::setEnvironment(name, nullptr);
  }
  utility::ufile::setDesktopDirForTesting(desktop_.string());
}

void InstallWorld::TearDown() {
  for (unsigned pid : leftRunning_) standintest::killProcess(pid);
  DownloaderModel::setInstallerWaitLimitForTesting(0);
  utility::ufile::setDesktopDirForTesting("");
  ServicesTest::TearDown();
}

fs::path InstallWorld::host(const std::wstring& windowsPath) const { return utility::toHostPath(windowsPath); }

void InstallWorld::placeInstaller(const std::wstring& installPath) const {
  const fs::path target = host(ConfigImp::instance().installerPath(installPath));
  fs::create_directories(target.parent_path());
  fs::copy_file(STANDIN_EMULATOR, target, fs::copy_options::overwrite_existing);
}

std::vector<rapidjson::Document> InstallWorld::records() const {
  std::vector<rapidjson::Document> result;
  std::ifstream in(record_);
  for (std::string line; std::getline(in, line);) {
    result.emplace_back();
    result.back().Parse(line.c_str());
    EXPECT_FALSE(result.back().HasParseError()) << line;
  }
  return result;
}

std::vector<rapidjson::Document> InstallWorld::recordsOf(const std::string& role) const {
  std::vector<rapidjson::Document> result;
  for (auto& record : records()) {
    if (text(record, "role") == role) result.push_back(std::move(record));
  }
  return result;
}

bool InstallWorld::waitForRecords(const std::string& role, size_t count) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (recordsOf(role).size() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

std::string InstallWorld::text(const rapidjson::Value& record, const char* key) {
  auto it = record.FindMember(key);
  return it != record.MemberEnd() && it->value.IsString() ? it->value.GetString() : std::string("<none>");
}

std::vector<std::string> InstallWorld::args(const rapidjson::Value& record) {
  std::vector<std::string> result;
  auto it = record.FindMember("args");
  if (it == record.MemberEnd() || !it->value.IsArray()) return result;
  for (const auto& arg : it->value.GetArray()) result.push_back(arg.IsString() ? arg.GetString() : "<not a string>");
  return result;
}

std::vector<fs::path> InstallWorld::launchers() const {
  std::vector<fs::path> result;
  for (const auto& entry : fs::directory_iterator(desktop_)) {
    if (entry.path().extension() == ".desktop") result.push_back(entry.path());
  }
  return result;
}

std::vector<std::string> InstallWorld::analyticsBodies(size_t atLeast) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (true) {
    std::vector<std::string> bodies;
    for (const auto& post : services_->posts()) {
      if (post.path == "/mp/collect" && post.accepted) bodies.push_back(post.body);
    }
    if (bodies.size() >= atLeast || std::chrono::steady_clock::now() > deadline) return bodies;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

InstallOutcome InstallWorld::runInstall(const InstallInput& input, const std::function<void()>& whileModelLives) {
  services_->clearRecords();
  QvReporter reporter(0xFFFFFFFFu);  // never wakes by itself: stop posts the run's batch
  reporter.init(input.openid, L"0123456789abcdef0123456789abcdef", L"en");
  InstallOutcome outcome = DownloaderModelTest::install(input, reporter, whileModelLives);
  reporter.stop();
  outcome.events = collectionEvents();
  return outcome;
}

std::vector<std::string> InstallWorld::collectionEvents() const {
  std::vector<std::string> events;
  for (const auto& post : services_->posts()) {
    if (post.path != "/collection/biz/upload") continue;
    EXPECT_TRUE(post.accepted) << post.reason;
    rapidjson::Document batch;
    batch.Parse(post.body.c_str());
    if (!batch.IsArray()) continue;
    for (const auto& event : batch.GetArray()) {
      std::string name = event["eventKey"].GetString();
      const auto properties = event.FindMember("properties");
      if (properties != event.MemberEnd() && properties->value.IsObject() && properties->value.HasMember("duration")) {
        name += properties->value["duration"].IsNumber() ? "(duration)" : "(duration not a number)";
      }
      events.push_back(name);
    }
  }
  return events;
}

}  // namespace installtest
