// The real executable started as root, as sudo and pkexec start it for a desktop user: it gives
// up root before its first file and runs as that user from then on (its log, its registry, the
// emulator it launches); with no desktop user known it runs as root and says so. Needs root and
// the unprivileged user scripts/setup.sh creates; skips otherwise.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <rapidjson/document.h>

#include <algorithm>
#include <cstdint>
#include <map>

#include "standin/services/services.h"
#include "tests/app/installer_process.h"

namespace {

constexpr const char* kTestUser = "tarnwick-tester";
constexpr const char* kInstaller = "Tarnwick9_en_com.example.game_35036_x.exe";
constexpr const char* kLaunchParameters = "downloadpackage=com.example.game|package=com.example.game";

struct TestUser {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;
};

std::optional<TestUser> testUser() {
  const passwd* pw = getpwnam(kTestUser);
  if (pw == nullptr) return std::nullopt;
  TestUser user{pw->pw_uid, pw->pw_gid, {}};
  int count = 64;
  user.groups.resize(static_cast<size_t>(count));
  if (getgrouplist(kTestUser, pw->pw_gid, user.groups.data(), &count) < 0) return std::nullopt;
  user.groups.resize(static_cast<size_t>(count));
  std::sort(user.groups.begin(), user.groups.end());
  return user;
}

struct Launch {
  std::vector<std::string> args;
  unsigned uid = 0;
  pid_t pid = 0;
  std::string cwd;
};

// The environment a running process was started with.
std::map<std::string, std::string> environmentOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
  std::map<std::string, std::string> env;
  for (std::string entry; std::getline(in, entry, '\0');) {
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  return env;
}

// The lines of /proc/<pid>/status that say who a process is.
struct Identity {
  std::string uid, gid, groups, capPrm, capEff;
};

Identity identityOf(pid_t pid) {
  Identity id;
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(" \t"));
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    const std::string key = line.substr(0, colon);
    if (key == "Uid") id.uid = value;
    if (key == "Gid") id.gid = value;
    if (key == "Groups") id.groups = value;
    if (key == "CapPrm") id.capPrm = value;
    if (key == "CapEff") id.capEff = value;
  }
  return id;
}

std::string fourTimes(unsigned id) {
  const std::string s = std::to_string(id);
  return s + "\t" + s + "\t" + s + "\t" + s;
}

std::string groupsText(const std::vector<gid_t>& groups) {
  std::string text;
  for (const gid_t g : groups) text += (text.empty() ? "" : " ") + std::to_string(g);
  return text;
}

class RootStart : public InstallerProcess {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root: the installer is to be started as root";
    InstallerProcess::SetUp();
    record_ = world_ / "record.jsonl";
    // The installed emulator where the installer's default folder lies (C:\Tarnwick\Tarnwick9\).
    fs::create_directories(world_ / "home/Tarnwick/Tarnwick9");
    fs::copy_file(STANDIN_EMULATOR, world_ / "home/Tarnwick/Tarnwick9/corvide.exe");
    fs::copy_file(TARNWICK_INSTALLER_BINARY, downloads() / kInstaller);
    extraEnv_ = {"TARNWICK_LAUNCH_AT_START=1", "TARNWICK_STANDIN_RECORD=" + record_.string(),
                 "XDG_CACHE_HOME=" + (world_ / "home/.cache").string(),
                 // What sudo and pkexec leave: root's home, and a root folder for the state.
                 "HOME=/root", "XDG_STATE_HOME=/root/.local/state"};
  }

  // The whole world given to the test user, as a user's own folders are.
  void giveWorldTo(const TestUser& user) {
    ASSERT_EQ(lchown(world_.c_str(), user.uid, user.gid), 0);
    for (const auto& entry : fs::recursive_directory_iterator(world_)) {
      ASSERT_EQ(lchown(entry.path().c_str(), user.uid, user.gid), 0) << entry.path();
    }
  }

  // The emulator launches recorded, once |count| are there or a generous limit has passed.
  std::vector<Launch> launches(size_t count = 1) const {
    std::vector<Launch> result;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    do {
      result.clear();
      std::ifstream in(record_);
      for (std::string line; std::getline(in, line);) {
        rapidjson::Document doc;
        doc.Parse(line.c_str());
        if (doc.HasParseError() || std::string(doc["role"].GetString()) != "emulator") continue;
        Launch launch;
        for (const auto& a : doc["args"].GetArray()) launch.args.emplace_back(a.GetString());
        launch.uid = doc["uid"].GetUint();
        launch.pid = static_cast<pid_t>(doc["pid"].GetUint());
        launch.cwd = doc["cwd"].GetString();
        result.push_back(std::move(launch));
      }
      if (result.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return result;
  }

  // Every file, folder and link below the world (links not followed) whose owner is not |uid|,
  // leaving out |except| and what is inside it.
  std::vector<std::string> notOwnedBy(uid_t uid, const fs::path& except = {}) const {
    std::vector<std::string> found;
    auto it = fs::recursive_directory_iterator(world_);
    for (const auto& entry : it) {
      if (!except.empty() && entry.path() == except) {
        it.disable_recursion_pending();
        continue;
      }
      struct stat st {};
      if (lstat(entry.path().c_str(), &st) == 0 && st.st_uid != uid) found.push_back(entry.path().string());
    }
    return found;
  }

  void TearDown() override {
    for (const pid_t pid : keptRunning_) kill(pid, SIGKILL);
    InstallerProcess::TearDown();
  }

  fs::path record_;
  std::vector<pid_t> keptRunning_;  // launched emulators told to stay
};

struct DesktopUserCase {
  const char* name;
  std::vector<std::string> env;  // "%u" and "%g" stand for the test user's ids
  const char* source;
};

void PrintTo(const DesktopUserCase& c, std::ostream* os) { *os << c.name; }

class RootStartForDesktopUser : public RootStart, public ::testing::WithParamInterface<DesktopUserCase> {
 protected:
  void SetUp() override {
    RootStart::SetUp();
    if (IsSkipped()) return;
    const std::optional<TestUser> user = testUser();
    if (!user) GTEST_SKIP() << "no user " << kTestUser << " (scripts/setup.sh creates it)";
    user_ = *user;
    for (std::string entry : GetParam().env) {
      for (const auto& [mark, id] : {std::pair{"%u", user_.uid}, std::pair{"%g", user_.gid}}) {
        if (const size_t at = entry.find(mark); at != std::string::npos) entry.replace(at, 2, std::to_string(id));
      }
      extraEnv_.push_back(entry);
    }
  }

  TestUser user_;
};

// From its first file on: the log, the registry keys, the lock, the launched emulator, which
// also gets the user's environment: that user's home and names, the XDG folders the user owns,
// none of root's, and no mark of the root start. Started in a folder of root's (as sudo keeps
// the caller's), it works from the user's home instead.
TEST_P(RootStartForDesktopUser, RunsAsThatUserFromItsFirstFileOn) {
  giveWorldTo(user_);
  extraEnv_.push_back("TARNWICK_STANDIN_EMULATOR=stay");
  extraEnv_.push_back("XAUTHORITY=/root/.Xauthority");
  const fs::path rootsFolder = world_ / "roots";
  fs::create_directory(rootsFolder);
  fs::permissions(rootsFolder, fs::perms::owner_all);
  const fs::path testFolder = fs::current_path();
  fs::current_path(rootsFolder);
  const pid_t installer = start(kInstaller, {});
  fs::current_path(testFolder);
  const std::vector<Launch> launched = launches();
  ASSERT_EQ(launched.size(), 1u) << log();
  keptRunning_.push_back(launched[0].pid);
  const std::map<std::string, std::string> env = environmentOf(launched[0].pid);
  const passwd* pw = getpwnam(kTestUser);
  ASSERT_NE(pw, nullptr);
  EXPECT_EQ(env.at("HOME"), pw->pw_dir);
  EXPECT_EQ(launched[0].cwd, pw->pw_dir);
  EXPECT_EQ(env.at("USER"), kTestUser);
  EXPECT_EQ(env.at("LOGNAME"), kTestUser);
  EXPECT_EQ(env.at("XDG_DATA_HOME"), (world_ / "home/.local/share").string());
  EXPECT_EQ(env.at("XDG_CONFIG_HOME"), (world_ / "home/.config").string());
  EXPECT_EQ(env.at("XDG_CACHE_HOME"), (world_ / "home/.cache").string());
  EXPECT_EQ(env.at("XDG_RUNTIME_DIR"), (world_ / "run").string());
  for (const char* gone : {"XDG_STATE_HOME", "XAUTHORITY", "SUDO_UID", "SUDO_GID", "SUDO_USER", "SUDO_COMMAND", "PKEXEC_UID"}) {
    EXPECT_EQ(env.count(gone), 0u) << gone;
  }
  const Identity id = identityOf(installer);
  EXPECT_EQ(id.uid, fourTimes(user_.uid));
  EXPECT_EQ(id.gid, fourTimes(user_.gid));
  EXPECT_EQ(id.groups, groupsText(user_.groups));
  EXPECT_EQ(id.capPrm, "0000000000000000");
  EXPECT_EQ(id.capEff, "0000000000000000");
  ASSERT_TRUE(waitForLog("runPlayer no amdin"));
  kill(installer, SIGTERM);
  ASSERT_EQ(wait(installer), 0);

  EXPECT_EQ(launched[0].uid, user_.uid);
  EXPECT_EQ(launched[0].args, std::vector<std::string>{kLaunchParameters});
  const std::string text = log();
  EXPECT_NE(text.find("gave up root: running as desktop user " + std::to_string(user_.uid) + " (" + kTestUser +
                      "), named by " + GetParam().source),
            std::string::npos)
      << text;
  // Started directly as the user: no failed un-elevated start, no shell start.
  EXPECT_EQ(text.find("runPlayer no amdin error"), std::string::npos) << text;
  EXPECT_EQ(text.find("shell filename"), std::string::npos) << text;
  EXPECT_TRUE(fs::exists(world_ / "home/.local/share/downloader/downloader.log"));
  EXPECT_TRUE(fs::exists(world_ / "home/.config/tarnwick/registry"));
  EXPECT_EQ(notOwnedBy(user_.uid, rootsFolder), std::vector<std::string>{});
}

// Links planted in the user's folders toward root's files lead nowhere: the log folder, the
// registry folder and the lock. Nothing is written there, and nothing root owns appears.
TEST_P(RootStartForDesktopUser, LinksInTheUsersFoldersCannotReachRootsFiles) {
  const fs::path vault = world_ / "vault";
  fs::create_directories(world_ / "home/.local/share");
  fs::create_directories(world_ / "home/.config");
  fs::create_directory_symlink(vault, world_ / "home/.local/share/downloader");
  fs::create_directory_symlink(vault, world_ / "home/.config/tarnwick");
  fs::create_symlink(vault / "secret", world_ / "run/{2266E930-7040-4A6B-B7C8-E44663785cdd}.lock");
  giveWorldTo(user_);
  // Root's own: a folder and a file only root may use.
  fs::create_directory(vault);
  fs::permissions(vault, fs::perms::owner_all);
  {
    std::ofstream(vault / "secret") << "root's";
  }
  fs::permissions(vault / "secret", fs::perms::owner_read | fs::perms::owner_write);

  const pid_t installer = start(kInstaller, {});
  // The launch shows the run got past start-up, the model's registry reads and the lock.
  const std::vector<Launch> launched = launches();
  ASSERT_EQ(launched.size(), 1u);
  EXPECT_EQ(launched[0].uid, user_.uid);
  kill(installer, SIGTERM);
  ASSERT_EQ(wait(installer), 0);

  std::vector<std::string> inVault;
  for (const auto& entry : fs::directory_iterator(vault)) inVault.push_back(entry.path().filename().string());
  EXPECT_EQ(inVault, std::vector<std::string>{"secret"});
  std::ifstream in(vault / "secret");
  std::string secret;
  std::getline(in, secret);
  EXPECT_EQ(secret, "root's");
  EXPECT_EQ(notOwnedBy(user_.uid, vault), std::vector<std::string>{});
}

// The whole job (the development automation pressing the window's buttons) started as root for
// the desktop user: the downloaded installer, the installed emulator, data.ini, the launcher on
// the desktop, the registry and the log all belong to that user, and the installer and the
// emulator ran as that user.
TEST_P(RootStartForDesktopUser, TheWholeJobInstallsAndStartsAsThatUser) {
  standin::Options options;
  options.installerFile = STANDIN_EMULATOR;
  options.installerSize = 2u << 20;
  standin::Services services(options);
  ASSERT_GT(services.start(), 0);
  std::erase(extraEnv_, std::string("TARNWICK_LAUNCH_AT_START=1"));
  // The user's desktop in the test's world (HOME becomes the user's real home after the drop).
  fs::create_directories(world_ / "home/Desktop");
  fs::create_directories(world_ / "home/.config");
  std::ofstream(world_ / "home/.config/user-dirs.dirs")
      << "XDG_DESKTOP_DIR=\"" << (world_ / "home/Desktop").string() << "\"\n";
  extraEnv_.push_back("TARNWICK_AUTOMATION=install");
  extraEnv_.push_back("TARNWICK_SERVICES=127.0.0.1:" + std::to_string(services.port()));
  giveWorldTo(user_);

  const pid_t installer = start(kInstaller, {});
  ASSERT_EQ(wait(installer, std::chrono::seconds(120)), 0) << log();
  services.stop();
  // The emulator is started detached: its record may come after the installer has ended.
  ASSERT_EQ(launches().size(), 1u) << log();

  std::vector<std::pair<std::string, unsigned>> ran;  // role and user of every stand-in run
  std::ifstream in(record_);
  for (std::string line; std::getline(in, line);) {
    rapidjson::Document doc;
    if (!doc.Parse(line.c_str()).HasParseError()) ran.emplace_back(doc["role"].GetString(), doc["uid"].GetUint());
  }
  using Ran = std::vector<std::pair<std::string, unsigned>>;
  EXPECT_EQ(ran, (Ran{{"installer", user_.uid}, {"emulator", user_.uid}})) << log();
  const fs::path folder = world_ / "home/Tarnwick/Tarnwick9";
  for (const fs::path& written : {folder / "Tarnwick.exe", folder / "corvidectl.exe", folder / "data/data.ini",
                                  world_ / "home/.config/tarnwick/registry"}) {
    EXPECT_TRUE(fs::exists(written)) << written;
  }
  EXPECT_FALSE(fs::is_empty(world_ / "home/Desktop")) << "no launcher on the desktop";
  EXPECT_EQ(notOwnedBy(user_.uid), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    StartedBy, RootStartForDesktopUser,
    ::testing::Values(
        DesktopUserCase{"sudo",
                        {"SUDO_UID=%u", "SUDO_GID=%g", std::string("SUDO_USER=") + kTestUser,
                         "SUDO_COMMAND=/bin/installer"},
                        "SUDO_UID"},
        // pkexec names the user alone; the group comes from the user database.
        DesktopUserCase{"pkexec", {"PKEXEC_UID=%u"}, "PKEXEC_UID"},
        // A group sudo names counts only when it is one of the user's: root's group is not.
        DesktopUserCase{"sudoNamingRootsGroup", {"SUDO_UID=%u", "SUDO_GID=0"}, "SUDO_UID"}),
    [](const ::testing::TestParamInfo<DesktopUserCase>& testInfo) { return std::string(testInfo.param.name); });

// Started as root and no desktop user known (none named, root named, a name that is no user):
// it runs as root, says so, and the emulator's un-elevated start has no identity to run as.
TEST_F(RootStart, NoDesktopUserKnownRunsAsRootAndSaysSo) {
  uint32_t unknown = 3999999999u;
  while (getpwuid(unknown) != nullptr) --unknown;
  struct Case {
    std::vector<std::string> env;
    std::string reason;
  };
  const Case cases[] = {
      {{}, "neither PKEXEC_UID nor SUDO_UID is set"},
      {{"SUDO_UID=0", "SUDO_GID=0"}, "SUDO_UID names root"},
      {{"PKEXEC_UID=1001x"}, "PKEXEC_UID is not a user id"},
      {{"PKEXEC_UID=-1"}, "PKEXEC_UID is not a user id"},
      {{"SUDO_UID=4294967295"}, "SUDO_UID is not a user id"},
      {{"SUDO_UID=" + std::to_string(unknown)}, "SUDO_UID " + std::to_string(unknown) + " is not in the user database"},
  };
  const std::vector<std::string> base = extraEnv_;
  size_t count = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    extraEnv_ = base;
    extraEnv_.insert(extraEnv_.end(), c.env.begin(), c.env.end());
    const pid_t installer = start(kInstaller, {});
    const std::vector<Launch> launched = launches(++count);
    ASSERT_EQ(launched.size(), count);
    EXPECT_EQ(launched.back().uid, 0u);
    EXPECT_EQ(launched.back().args, std::vector<std::string>{kLaunchParameters});
    EXPECT_EQ(identityOf(installer).uid, fourTimes(0));
    ASSERT_TRUE(waitForLog("shellEx ret", static_cast<int>(count)));
    kill(installer, SIGTERM);
    ASSERT_EQ(wait(installer), 0);
    const std::string text = log();
    EXPECT_NE(text.find("running as root: no desktop user known (" + c.reason + ")"), std::string::npos) << text;
  }
  size_t failed = 0;
  const std::string text = log();
  for (size_t at = text.find("runPlayer no amdin error 2"); at != std::string::npos; at = text.find("runPlayer no amdin error 2", at + 1)) ++failed;
  EXPECT_EQ(failed, count);
}

}  // namespace

namespace {

// Installed set-user-id root by mistake and started by the test user: the environment is the
// caller's to choose (here it names another user), so the installer goes back to the real user.
TEST_F(RootStart, SetUserIdStartGoesBackToTheRealUser) {
  const std::optional<TestUser> found = testUser();
  if (!found) GTEST_SKIP() << "no user " << kTestUser << " (scripts/setup.sh creates it)";
  const TestUser user = *found;
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr || nobody->pw_uid == user.uid) GTEST_SKIP() << "no second user to name";
  giveWorldTo(user);
  const fs::path exe = downloads() / kInstaller;
  ASSERT_EQ(chown(exe.c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(exe.c_str(), 04755), 0);

  std::vector<std::string> env = {"XDG_DATA_HOME=" + (world_ / "home/.local/share").string(),
                                  "XDG_CONFIG_HOME=" + (world_ / "home/.config").string(),
                                  "XDG_RUNTIME_DIR=" + (world_ / "run").string(),
                                  "TARNWICK_DRIVES=C=" + (world_ / "home").string(), "LANG=C.UTF-8",
                                  "PATH=/usr/bin:/bin", "SUDO_UID=" + std::to_string(nobody->pw_uid),
                                  "PKEXEC_UID=" + std::to_string(nobody->pw_uid), "DISPLAY=" + x_.display(),
                                  "NO_AT_BRIDGE=1"};
  env.insert(env.end(), extraEnv_.begin(), extraEnv_.end());
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<char*> argv{const_cast<char*>(exe.c_str()), nullptr};
  const gid_t gid = user.gid;
  const pid_t installer = fork();
  if (installer == 0) {
    // Only system calls between fork and exec.
    if (setgroups(1, &gid) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(user.uid, user.uid, user.uid) != 0) _exit(126);
    execve(exe.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  ASSERT_GT(installer, 0);
  children_.push_back(installer);
  const std::vector<Launch> launched = launches();
  ASSERT_EQ(launched.size(), 1u) << log();
  EXPECT_EQ(launched[0].uid, user.uid);
  EXPECT_EQ(identityOf(installer).uid, fourTimes(user.uid));
  ASSERT_TRUE(waitForLog("runPlayer no amdin"));
  kill(installer, SIGTERM);
  ASSERT_EQ(wait(installer), 0);
  const std::string text = log();
  EXPECT_NE(text.find("gave up root: running as desktop user " + std::to_string(user.uid) + " (" + kTestUser +
                      "), named by real user id"),
            std::string::npos)
      << text;
  EXPECT_EQ(notOwnedBy(user.uid, exe), std::vector<std::string>{});
}

}  // namespace
