// The installation step in a temporary world: drive C:, registry store, desktop and application
// data of the test's own, the in-process stand-in services, and the stand-in emulator program
// placed under the installer's file name. Shared by the installation tests.
#pragma once

#include <rapidjson/document.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/downloader_model.h"
#include "model/remote_settings.h"
#include "tests/net/net_test_support.h"

// What one installation run was given.
struct InstallInput {
  std::wstring openid = L"35036";
  std::wstring language = L"en";
  std::wstring installPath = L"C:\\Tarnwick\\Tarnwick9\\";
  std::wstring googleId;
  RemoteSettings settings;
  bool settingsFromDocument = false;  // read from the openid configuration of |openid| instead
};

// What it did, as the outside saw it.
struct InstallOutcome {
  bool finished = false;  // onInstallFinished arrived (within the test's limit)
  bool started = false;   // its argument (the emulator is installed)
  bool stillRunning = false;  // onInstallerStillRunning came first
  std::vector<std::string> events;  // collection events in order ("name" or "name:duration")
};

// Reaches the model's installation for one fresh model per run.
class DownloaderModelTest {
 public:
  // startInstallPlayer on a model holding |input|, the main loop run until onInstallFinished
  // (or two minutes). |whileModelLives| runs before the model is shut down.
  static InstallOutcome install(const InstallInput& input, QvReporter& reporter,
                                const std::function<void()>& whileModelLives);
  // startInstallPlayer, then |meanwhile| (the task is under way), then the model shut down and
  // deleted, then |afterwards|; returns once the task has ended and the main thread has
  // collected it. True when onInstallFinished never ran.
  static bool deleteModelDuringInstall(const InstallInput& input, QvReporter& reporter,
                                       const std::function<void()>& meanwhile,
                                       const std::function<void()>& afterwards);

  // ---- window tests: the campaign's apps in the process's model ----
  // |apps| as the model's list, as if the command line and the remote document had given them.
  static void setApps(DownloaderModel& model, std::vector<AppInfo> apps);
  // The campaign's package, as the installer's own name gives it.
  static void setPackage(DownloaderModel& model, std::wstring package) { model.package_ = std::move(package); }
  // The apps of the openid configuration of |openid| (none before), read and handed over to the
  // main thread as the config thread does it; the main loop runs until they have arrived.
  static void loadCampaign(DownloaderModel& model, const std::wstring& openid);

 private:
  // A new model holding |input| and reporting to |reporter|.
  static DownloaderModel* modelFor(const InstallInput& input, QvReporter& reporter);
};

namespace installtest {

namespace fs = std::filesystem;

class InstallWorld : public nettest::ServicesTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The host folder of a Windows path text on drive C:.
  fs::path host(const std::wstring& windowsPath) const;
  // The stand-in emulator copied to the installer's path for |installPath|.
  void placeInstaller(const std::wstring& installPath = L"C:\\Tarnwick\\Tarnwick9\\") const;
  // The stand-in's records, one document per line.
  std::vector<rapidjson::Document> records() const;
  // The records of |role| ("installer", "emulator", "multi").
  std::vector<rapidjson::Document> recordsOf(const std::string& role) const;
  // A string member of a record, "<none>" when absent.
  // Waits (a minute at most) until |role| has |count| records.
  bool waitForRecords(const std::string& role, size_t count) const;
  static std::string text(const rapidjson::Value& record, const char* key);
  static std::vector<std::string> args(const rapidjson::Value& record);
  // The launchers on the desktop.
  std::vector<fs::path> launchers() const;
  // Analytics posts the services accepted, waited for until there are |atLeast| (or a minute).
  std::vector<std::string> analyticsBodies(size_t atLeast) const;
  // Kills |pid| when the test ends.
  void killAtEnd(unsigned pid) { leftRunning_.push_back(pid); }

  // One installation run with a reporter of its own; the collection events it posted.
  InstallOutcome runInstall(const InstallInput& input, const std::function<void()>& whileModelLives = {});
  // The collection events the services recorded since the last clearRecords.
  std::vector<std::string> collectionEvents() const;

  fs::path home_, desktop_, record_;
  std::vector<unsigned> leftRunning_;
};

}  // namespace installtest
