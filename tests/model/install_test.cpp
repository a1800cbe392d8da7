// The installation step end to end: the stand-in emulator as the installer, the stand-in
// services for images, icons and events, the main loop running, no window.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <sstream>
#include <thread>

#include "model/config_imp.h"
#include "tests/model/install_world.h"
#include "telemetry/qv_reporter.h"
#include "tests/standin/emulator_test_linux.h"
#include "utility/base/strings.h"
#include "utility/system/command_line_quote.h"
#include "utility/system/process.h"
#include "utility/system/registry.h"

namespace {

using installtest::InstallWorld;
using standin::Fault;
namespace fs = std::filesystem;

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

// A UTF-8 locale from the start, before anything reads the locale's character set: the ANSI code
// page then holds every title (the C locale's case has a binary of its own).
const bool kUtf8Locale = [] {
  setenv("LC_ALL", "C.UTF-8", 1);
  setenv("LANG", "C.UTF-8", 1);
  return true;
}();

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string fixture(const std::string& name) { return readFile(fs::path(STANDIN_FIXTURES) / name); }

// The Exec line of a launcher as its argument vector (the quoting rules of desktop entries).
std::vector<std::string> execArguments(const std::string& launcher) {
  std::string exec;
  std::istringstream lines(launcher);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
  }
  std::string value;  // string-value escapes first
  for (size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] == '\\' && i + 1 < exec.size()) {
      const char next = exec[++i];
      value += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
    } else {
      value += exec[i];
    }
  }
  std::vector<std::string> arguments;
  std::string current;
  bool quoted = false;
  bool any = false;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (quoted) {
      if (c == '\\' && i + 1 < value.size()) {
        current += value[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        current += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ' ') {
      if (any) arguments.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
      if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') ++i;
    }
  }
  if (any) arguments.push_back(current);
  return arguments;
}

using Events = std::vector<std::string>;
const Events kInstalled = {"install_success", "downloader_full_duration(duration)"};

class Install : public InstallWorld {
 protected:
  std::wstring wbase() const { return utility::utf8ToWide(services_->baseUrl()); }
  RemoteSettings withImages() const {
    RemoteSettings settings;
    settings.launchLandscape = wbase() + L"/images/launch_1920.jpg";
    settings.launchPortrait = wbase() + L"/images/launch_1080.jpg";
    settings.shortcutName = L"Tarnwick Demo";
    settings.shortcutUrl = wbase() + L"/images/shortcut.ico";
    return settings;
  }
  static std::wstring runValue(const wchar_t* name) {
    utility::registry::Key key;
    std::wstring value;
    if (!key.open(kRunKey) || !key.queryString(name, value)) return L"<none>";
    return value;
  }
  static void plantRunValues() {
    utility::registry::Key key;
    ASSERT_TRUE(key.create(kRunKey));
    ASSERT_TRUE(key.setString(L"VeRudi", L"C:\\ad.exe"));
    ASSERT_TRUE(key.setString(L"Other", L"C:\\other.exe"));
  }
  size_t requestsFor(const std::string& path) const {
    size_t n = 0;
    for (const auto& request : services_->requests()) n += request.path == path ? 1 : 0;
    return n;
  }
};

TEST_F(Install, ParametersAsTheInstallerReceivedThem) {
  struct Case {
    const char* label;
    std::wstring language;
    std::wstring googleId;
    std::wstring installPath;
    std::wstring logged;              // "install player param: ..."
    std::vector<std::string> args;    // as the installer's argument vector
  };
  const Case cases[] = {
      {"language, no Google id", L"en", L"", L"C:\\Tarnwick\\Tarnwick9\\",
       L"-silence -downloader -openid=35036 -language=en -path=\"C:\\Tarnwick\\Tarnwick9\\\\\"",
       {"-silence", "-downloader", "-openid=35036", "-language=en", "-path=C:\\Tarnwick\\Tarnwick9\\"}},
      // The folder's last backslash is doubled before the closing quote: otherwise it escapes
      // the quote and the Google id is read into the folder.
      {"no language, Google id after a folder ending in a backslash", L"", L"g-123", L"C:\\Tarnwick\\Tarnwick9\\",
       L"-silence -downloader -openid=35036 -path=\"C:\\Tarnwick\\Tarnwick9\\\\\" -googleid=g-123",
       {"-silence", "-downloader", "-openid=35036", "-path=C:\\Tarnwick\\Tarnwick9\\", "-googleid=g-123"}},
      {"both, a folder with blanks and no final backslash", L"kr", L"g1", L"C:\\My Games\\T 9",
       L"-silence -downloader -openid=35036 -language=kr -path=\"C:\\My Games\\T 9\" -googleid=g1",
       {"-silence", "-downloader", "-openid=35036", "-language=kr", "-path=C:\\My Games\\T 9", "-googleid=g1"}},
      {"neither", L"", L"", L"C:\\Tarnwick\\Tarnwick9\\",
       L"-silence -downloader -openid=35036 -path=\"C:\\Tarnwick\\Tarnwick9\\\\\"",
       {"-silence", "-downloader", "-openid=35036", "-path=C:\\Tarnwick\\Tarnwick9\\"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove(record_);
    placeInstaller(c.installPath);
    log_.clear();
    InstallInput input;
    input.language = c.language;
    input.googleId = c.googleId;
    input.installPath = c.installPath;
    const InstallOutcome outcome = runInstall(input);
    EXPECT_TRUE(outcome.finished);
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.events, kInstalled);
    EXPECT_TRUE(log_.contains(L"install player param: " + c.logged));
    const auto installers = recordsOf("installer");
    ASSERT_EQ(installers.size(), 1u);
    EXPECT_EQ(args(installers[0]), c.args);
    EXPECT_EQ(text(installers[0], "result"), "installed");
    EXPECT_TRUE(fs::is_regular_file(host(c.installPath + L"\\corvide.exe")));
    // Nothing asked of data.ini: the data folder is made, the file is not.
    EXPECT_TRUE(fs::is_directory(host(c.installPath + L"data\\")));
    EXPECT_FALSE(fs::exists(host(c.installPath + L"data\\data.ini")));
  }
}

TEST_F(Install, DataIniForTheCampaignSettings) {
  struct Case {
    const char* label;
    std::function<void(RemoteSettings&)> set;
    std::string existing;  // data.ini before (empty: none)
    std::string dataIni;   // after (empty: no file)
    bool runValueRemoved;
    std::vector<std::wstring> refused;  // keys logged as refused
  };
  const Case cases[] = {
      {"defaults", [](RemoteSettings&) {}, "", "", false, {}},
      {"ad 0", [](RemoteSettings& s) { s.showAd = false; }, "", "[setting]\r\nadshow=0\r\n", true, {}},
      {"clean model 1", [](RemoteSettings& s) { s.cleanModel = true; }, "", "[setting]\r\ncleanmodel=1\r\n", true, {}},
      {"ad 0 and clean model 1",
       [](RemoteSettings& s) {
         s.showAd = false;
         s.cleanModel = true;
       },
       "", "[setting]\r\nadshow=0\r\ncleanmodel=1\r\n", true, {}},
      {"root absent", [](RemoteSettings& s) { s.useRoot = -1; }, "", "", false, {}},
      {"root true", [](RemoteSettings& s) { s.useRoot = 1; }, "", "", false, {}},
      {"root false", [](RemoteSettings& s) { s.useRoot = 0; }, "", "[setting]\r\nuseroot=0\r\n", false, {}},
      {"run app store 0", [](RemoteSettings& s) { s.runAppStore = false; }, "", "[setting]\r\nrunappstore=0\r\n", false,
       {}},
      {"every key, in order",
       [](RemoteSettings& s) {
         s.runApp = L"com.tarnwick.demo";
         s.qqLink = L"https://qq.example/join?a=1&b=2";
         s.heapSize = L"2048";
         s.title = L"Tärnwick 演示";
         s.runAppStore = false;
         s.useRoot = 0;
         s.cleanModel = true;
         s.showAd = false;
       },
       "",
       "[setting]\r\nadshow=0\r\ncleanmodel=1\r\nuseroot=0\r\nrunappstore=0\r\ntitle=T\xC3\xA4rnwick "
       "\xE6\xBC\x94\xE7\xA4\xBA\r\nheapsize=2048\r\nqqlink=https://qq.example/join?a=1&b=2\r\n"
       "runapp=com.tarnwick.demo\r\n",
       true, {}},
      {"the emulator's own keys and sections kept",
       [](RemoteSettings& s) {
         s.showAd = false;
         s.title = L"Tarnwick";
       },
       "; written by the emulator\n[setting]\nadshow=1\nlang=en\n\n[window]\nwidth=1280\n",
       "; written by the emulator\n[setting]\nadshow=0\nlang=en\ntitle=Tarnwick\n\n[window]\nwidth=1280\n", true, {}},
      // Values from the document that would add lines are refused (not cut): the emulator
      // keeps its own value rather than one nobody wrote.
      {"line breaks and NUL refused",
       [](RemoteSettings& s) {
         s.title = L"T\r\n[other]\r\nx=1";
         s.heapSize = L"2048\nadshow=1";
         s.qqLink = L"q\ruseroot=1";
         s.runApp = std::wstring(L"com.a\0b", 7);
         s.showAd = false;
       },
       "", "[setting]\r\nadshow=0\r\n", true, {L"title", L"heapsize", L"qqlink", L"runapp"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    placeInstaller();
    plantRunValues();
    const fs::path dataIni = host(L"C:\\Tarnwick\\Tarnwick9\\data\\data.ini");
    fs::remove(dataIni);
    if (!c.existing.empty()) {
      fs::create_directories(dataIni.parent_path());
      std::ofstream(dataIni, std::ios::binary) << c.existing;
    }
    log_.clear();
    InstallInput input;
    c.set(input.settings);
    const InstallOutcome outcome = runInstall(input);
    EXPECT_TRUE(outcome.finished && outcome.started);
    if (c.dataIni.empty()) {
      EXPECT_FALSE(fs::exists(dataIni));
    } else {
      EXPECT_EQ(readFile(dataIni), c.dataIni);
    }
    EXPECT_EQ(runValue(L"VeRudi"), c.runValueRemoved ? L"<none>" : L"C:\\ad.exe");
    EXPECT_EQ(runValue(L"Other"), L"C:\\other.exe");
    for (const std::wstring& key : c.refused) {
      EXPECT_TRUE(log_.contains(L"data.ini " + key + L" refused: a line break or NUL in its value"))
          << utility::wideToUtf8(key);
    }
  }
}

TEST_F(Install, TheCampaignsDocumentEndToEnd) {
  placeInstaller();
  plantRunValues();
  InstallInput input;
  input.openid = L"35037";
  input.settingsFromDocument = true;
  const InstallOutcome outcome = runInstall(input);
  EXPECT_TRUE(outcome.finished && outcome.started);
  EXPECT_EQ(outcome.events, kInstalled);
  // "ad" 0, "cleanmodel" 1, "root" true, "runappstore" 0, no qq link.
  const fs::path data = host(L"C:\\Tarnwick\\Tarnwick9\\data\\");
  EXPECT_EQ(readFile((data / "data.ini").string()),
            "[setting]\r\nadshow=0\r\ncleanmodel=1\r\nrunappstore=0\r\ntitle=Tarnwick Demo\r\nheapsize=2048\r\n"
            "runapp=com.tarnwick.demo\r\n");
  EXPECT_EQ(runValue(L"VeRudi"), L"<none>");
  EXPECT_EQ(readFile((data / "launch_1920.jpg").string()), fixture("images/launch_1920.jpg"));
  EXPECT_EQ(readFile((data / "launch_1080.jpg").string()), fixture("images/launch_1080.jpg"));
  const auto found = launchers();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].filename(), "Tarnwick Demo.desktop");
  EXPECT_EQ(execArguments(readFile(found[0].string())).back(), "package=com.tarnwick.demo");
}

TEST_F(Install, ImagesAndIconAfterOneFailedAttempt) {
  placeInstaller();
  for (const char* path : {"/images/launch_1920.jpg", "/images/launch_1080.jpg", "/images/shortcut.ico"}) {
    services_->setFault(path, Fault{.status = 500, .times = 1});
  }
  InstallInput input;
  input.settings = withImages();
  const InstallOutcome outcome = runInstall(input);
  EXPECT_TRUE(outcome.finished && outcome.started);
  const fs::path data = host(L"C:\\Tarnwick\\Tarnwick9\\data\\");
  EXPECT_EQ(readFile(data / "launch_1920.jpg"), fixture("images/launch_1920.jpg"));
  EXPECT_EQ(readFile(data / "launch_1080.jpg"), fixture("images/launch_1080.jpg"));
  EXPECT_EQ(readFile(data / "Tarnwick Demo.ico"), fixture("images/shortcut.ico"));
  for (const char* path : {"/images/launch_1920.jpg", "/images/launch_1080.jpg", "/images/shortcut.ico"}) {
    EXPECT_EQ(requestsFor(path), 2u) << path;
  }
  EXPECT_EQ(launchers().size(), 1u);
  // Nothing else left in the data folder.
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(data)) files += entry.is_regular_file() ? 1 : 0;
  EXPECT_EQ(files, 3u);
}

TEST_F(Install, NoIconNoShortcut) {
  struct Case {
    const char* label;
    std::function<void(RemoteSettings&)> set;
    Fault iconFault;
  };
  const Case cases[] = {
      {"no icon address", [](RemoteSettings& s) { s.shortcutUrl.clear(); }, {}},
      {"no shortcut name", [](RemoteSettings& s) { s.shortcutName.clear(); }, {}},
      {"a name that leaves nothing of a file name", [](RemoteSettings& s) { s.shortcutName = L"..."; }, {}},
      // Three failed attempts leave no icon, not even a part of one: no shortcut with a broken icon.
      {"icon cut short three times", [](RemoteSettings&) {}, Fault{.dropAfterBytes = 100, .times = 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    placeInstaller();
    const fs::path data = host(L"C:\\Tarnwick\\Tarnwick9\\data\\");
    fs::remove_all(data);
    services_->clearFaults();
    services_->setFault("/images/shortcut.ico", c.iconFault);
    InstallInput input;
    input.settings = withImages();
    c.set(input.settings);
    const InstallOutcome outcome = runInstall(input);
    EXPECT_TRUE(outcome.finished && outcome.started);
    EXPECT_TRUE(launchers().empty());
    for (const auto& entry : fs::directory_iterator(data)) {
      EXPECT_NE(entry.path().extension(), ".ico") << entry.path();
      EXPECT_NE(entry.path().extension(), ".download") << entry.path();
    }
  }
}

TEST_F(Install, TheShortcutStartsTheEmulatorWithTheRunAppAsOneArgument) {
  placeInstaller();
  InstallInput input;
  input.settings = withImages();
  // Blanks and quotes stay inside the one argument.
  input.settings.runApp = L"com.tarnwick.demo -x \"y\"";
  ASSERT_TRUE(runInstall(input).started);
  const auto found = launchers();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].filename(), "Tarnwick Demo.desktop");
  const std::string launcher = readFile(found[0]);
  EXPECT_NE(launcher.find("Name=Tarnwick Demo\n"), std::string::npos) << launcher;
  EXPECT_NE(launcher.find("Icon=" + host(L"C:\\Tarnwick\\Tarnwick9\\data\\Tarnwick Demo.ico").string() + "\n"),
            std::string::npos)
      << launcher;
  EXPECT_NE(launcher.find("Path=" + host(L"C:\\Tarnwick\\Tarnwick9\\").string() + "\n"), std::string::npos)
      << launcher;
  EXPECT_TRUE(utility::process::execute(L"desktop-file-validate",
                                        utility::quoteCommandLineArgument(utility::utf8ToWide(found[0].string())),
                                        false, 60000))
      << launcher;

  const std::vector<std::string> exec = execArguments(launcher);
  ASSERT_EQ(exec.size(), 2u) << launcher;
  EXPECT_EQ(fs::path(exec[0]), host(L"C:\\Tarnwick\\Tarnwick9\\\\corvide.exe"));
  EXPECT_EQ(exec[1], "package=com.tarnwick.demo -x \"y\"");
  // Started as the desktop would start it, the emulator gets exactly that argument.
  fs::remove(record_);
  EXPECT_TRUE(utility::process::execute(utility::utf8ToWide(exec[0]),
                                        utility::quoteCommandLineArgument(utility::utf8ToWide(exec[1])), false, 60000));
  const auto emulators = recordsOf("emulator");
  ASSERT_EQ(emulators.size(), 1u);
  EXPECT_EQ(args(emulators[0]), std::vector<std::string>{"package=com.tarnwick.demo -x \"y\""});
}

TEST_F(Install, TheShortcutNameOnlyNamesFilesInTheirFolders) {
  placeInstaller();
  InstallInput input;
  input.settings = withImages();
  input.settings.shortcutName = L"../../evil/..\\name";
  ASSERT_TRUE(runInstall(input).started);
  const fs::path data = host(L"C:\\Tarnwick\\Tarnwick9\\data\\");
  EXPECT_EQ(readFile(data / "_.._evil_.._name.ico"), fixture("images/shortcut.ico"));
  EXPECT_FALSE(fs::exists(host(L"C:\\Tarnwick\\name.ico")));
  EXPECT_FALSE(fs::exists(host(L"C:\\name.ico")));
  const auto found = launchers();
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].filename(), "_.._evil_.._name.desktop");
  EXPECT_NE(readFile(found[0]).find("Icon=" + (data / "_.._evil_.._name.ico").string() + "\n"), std::string::npos);
}

TEST_F(Install, RunningEmulatorProgramsEndBeforeTheInstallerStarts) {
  placeInstaller();
  // An emulator of an earlier installation, running with its multi-instance child.
  const fs::path earlier = home_ / "Earlier";
  fs::create_directories(earlier);
  fs::copy_file(STANDIN_EMULATOR, earlier / "corvide.exe");
  fs::copy_file(STANDIN_EMULATOR, earlier / "corvidemulti.exe");
  standintest::setEnvironment("TARNWICK_STANDIN_EMULATOR", "multi");
  uint32_t pid = 0;
  utility::process::ProcessHandle emulator =
      utility::process::create(utility::utf8ToWide((earlier / "corvide.exe").string()), L"package=x", false, &pid);
  standintest::setEnvironment("TARNWICK_STANDIN_EMULATOR", nullptr);
  ASSERT_TRUE(emulator);
  killAtEnd(pid);
  // Both have recorded that they run.
  unsigned childPid = 0;
  if (waitForRecords("multi", 1) && waitForRecords("emulator", 1)) childPid = recordsOf("multi")[0]["pid"].GetUint();
  ASSERT_NE(childPid, 0u);
  killAtEnd(childPid);

  log_.clear();
  const InstallOutcome outcome = runInstall(InstallInput{});
  EXPECT_EQ(outcome.events, kInstalled);
  int exitCode = 0;
  int error = 0;
  EXPECT_EQ(emulator.wait(0, exitCode, error), utility::process::ProcessHandle::Wait::ended);
  utility::process::ProcessSnapshot snapshot;
  snapshot.take();
  const auto running = snapshot.find(L"corvidemulti.exe");
  EXPECT_TRUE(running == snapshot.end() || running->second != childPid);
  // The kills came before the installer's start.
  std::vector<std::wstring> starts;
  for (const auto& record : log_.records()) {
    if (record.text.rfind(L"createProcess filename = [", 0) == 0) starts.push_back(record.text);
  }
  ASSERT_EQ(starts.size(), 3u);
  EXPECT_EQ(starts[0], L"createProcess filename = [taskkill], param = [/F /IM corvide.exe /T], show = 0");
  EXPECT_EQ(starts[1], L"createProcess filename = [taskkill], param = [/F /IM corvidemulti.exe /T], show = 0");
  EXPECT_NE(starts[2].find(L"Tarnwick.exe]"), std::wstring::npos) << utility::wideToUtf8(starts[2]);
}

TEST_F(Install, AHangingInstallerIsAFailureButTheEmulatorIsStillPersonalised) {
  placeInstaller();
  DownloaderModel::setInstallerWaitLimitForTesting(300);
  standintest::setEnvironment("TARNWICK_STANDIN_INSTALLER", "hang");
  InstallInput input;
  input.settings = withImages();
  input.settings.showAd = false;
  const InstallOutcome outcome = runInstall(input);
  standintest::setEnvironment("TARNWICK_STANDIN_INSTALLER", nullptr);
  EXPECT_TRUE(waitForRecords("installer", 1));  // it may still be starting
  const auto installers = recordsOf("installer");
  for (const auto& record : installers) killAtEnd(record["pid"].GetUint());
  EXPECT_TRUE(outcome.finished);
  EXPECT_FALSE(outcome.started);  // no emulator: not installed
  EXPECT_TRUE(outcome.stillRunning);
  EXPECT_EQ(outcome.events, Events{"install_fail"});
  EXPECT_EQ(readFile(host(L"C:\\Tarnwick\\Tarnwick9\\data\\data.ini")), "[setting]\r\nadshow=0\r\n");
  EXPECT_EQ(launchers().size(), 1u);
  // It was left running.
  ASSERT_EQ(installers.size(), 1u);
  EXPECT_EQ(text(installers[0], "result"), "hanging");
  utility::process::ProcessSnapshot snapshot;
  snapshot.take();
  EXPECT_NE(snapshot.find(L"Tarnwick.exe"), snapshot.end());
}

// The installation counts as done only when the emulator is in the folder the installer
// registered once it has ended: a failing installer, and one that ends without installing, are
// failures, with "install_fail".
TEST_F(Install, AnInstallerThatLeavesNoEmulatorIsAFailure) {
  struct Case {
    const char* label;
    const char* fault;  // TARNWICK_STANDIN_INSTALLER
    bool emptyInstaller;  // a program that ends at once with 0, installing nothing
    bool installed;
  };
  const Case cases[] = {{"installs", nullptr, false, true},
                        {"fails (exit code)", "fail", false, false},
                        {"ends with 0 without installing", nullptr, true, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(host(L"C:\\Tarnwick"));
    utility::registry::Key key;
    if (key.open(ConfigImp::instance().registryKey())) key.deleteValue(L"InstallDir");
    placeInstaller();
    if (c.emptyInstaller) {
      const fs::path installer = host(ConfigImp::instance().installerPath(L"C:\\Tarnwick\\Tarnwick9\\"));
      fs::remove(installer);
      std::ofstream(installer) << "#!/bin/sh\nexit 0\n";
      fs::permissions(installer, fs::perms::owner_all);
    }
    standintest::setEnvironment("TARNWICK_STANDIN_INSTALLER", c.fault);
    services_->clearRecords();
    const InstallOutcome outcome = runInstall(InstallInput{});
    standintest::setEnvironment("TARNWICK_STANDIN_INSTALLER", nullptr);
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.started, c.installed);
    EXPECT_FALSE(outcome.stillRunning);
    EXPECT_EQ(outcome.events, c.installed ? kInstalled : Events{"install_fail"});
  }
}

TEST_F(Install, AMissingInstallerIsReportedAndNotStarted) {
  InstallInput input;
  input.settings.showAd = false;
  std::vector<std::string> analytics;
  const InstallOutcome outcome = runInstall(input, [&] { analytics = analyticsBodies(1); });
  EXPECT_TRUE(outcome.finished);
  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(outcome.events, Events{"install_fail"});
  ASSERT_EQ(analytics.size(), 1u);
  rapidjson::Document body;
  body.Parse(analytics[0].c_str());
  ASSERT_TRUE(body.IsObject()) << analytics[0];
  EXPECT_STREQ(body["events"][0]["name"].GetString(), "download_installPlayerNotExit");
  EXPECT_STREQ(body["events"][0]["params"]["event_label"].GetString(), "35036_1");
  // Personalised all the same.
  EXPECT_EQ(readFile(host(L"C:\\Tarnwick\\Tarnwick9\\data\\data.ini")), "[setting]\r\nadshow=0\r\n");
}

// The window may close (and the model go) while the installer still runs: the task finishes
// on what it copied, and its result goes nowhere.
TEST_F(Install, TheModelMayGoWhileTheInstallerRuns) {
  placeInstaller();
  DownloaderModel::setInstallerWaitLimitForTesting(120000);
  standintest::setEnvironment("TARNWICK_STANDIN_INSTALLER", "hang");
  services_->clearRecords();
  QvReporter reporter(0xFFFFFFFFu);
  reporter.init(L"35036", L"0123456789abcdef0123456789abcdef", L"en");
  InstallInput input;
  input.settings = withImages();
  input.settings.showAd = false;
  unsigned pid = 0;
  const bool quiet = DownloaderModelTest::deleteModelDuringInstall(
      input, reporter,
      [&] {
        // The installer runs (and the task waits for it) when the model goes.
        if (waitForRecords("installer", 1)) pid = recordsOf("installer")[0]["pid"].GetUint();
        standintest::setEnvironment("TARNWICK_STANDIN_INSTALLER", nullptr);
      },
      [&] { standintest::killProcess(pid); });  // it ends once the model has gone
  ASSERT_NE(pid, 0u);
  EXPECT_TRUE(quiet);
  reporter.stop();
  // Killed before it installed anything: no emulator, so no success either.
  EXPECT_EQ(collectionEvents(), Events{"install_fail"});
  EXPECT_EQ(readFile(host(L"C:\\Tarnwick\\Tarnwick9\\data\\data.ini")), "[setting]\r\nadshow=0\r\n");
  EXPECT_EQ(launchers().size(), 1u);
}

}  // namespace
