// The real executable: single instance hand-over, orderly end, hostile input.
#include "tests/app/installer_process.h"

namespace {

TEST_F(InstallerProcess, SecondStartHandsOverAndSigtermEndsInOrder) {
  const pid_t first = start("Tarnwick64_kr_35036_x", {"name=Game|package=com.a.b|apkurl=https://h/a.apk"});
  ASSERT_TRUE(waitForLog("DownloadImpl::showMainFrame\t("));
  ASSERT_TRUE(handOverTo("Tarnwick64_kr_35036_x"));  // each second start exits 0 at once

  kill(first, SIGTERM);
  EXPECT_EQ(wait(first), 0);

  const std::string l = log();
  EXPECT_NE(l.find("\twWinMain\t("), std::string::npos);
  EXPECT_NE(l.find("):\r\n\r\n start run\r\n"), std::string::npos);
  EXPECT_NE(l.find("DownloaderModel::popupExistPwnd\t("), std::string::npos);
  EXPECT_NE(l.find("wnd not exist"), std::string::npos);
  EXPECT_NE(l.find("wnd exist"), std::string::npos);
  EXPECT_NE(l.find("DownloadImpl::entrance\t("), std::string::npos);
  EXPECT_NE(l.find("It's exist"), std::string::npos);
  EXPECT_NE(l.find("player is 64"), std::string::npos);
  EXPECT_NE(l.find("cmdline is Game, com.a.b, https://h/a.apk"), std::string::npos);
  EXPECT_NE(l.find("):path C:\\Downloads\\\r\n"), std::string::npos) << l;
  // The first run's start-up, in order: banner, instance check, entrance, the model's init
  // (name, campaign, folder), then the window.
  size_t at = 0;
  for (const char* step : {" start run", "wnd not exist", "DownloadImpl::entrance\t(", "exe filename= Tarnwick64_kr_35036_x",
                           "get install path from", "create main"}) {
    const size_t found = l.find(step, at);
    EXPECT_NE(found, std::string::npos) << step << " missing or out of order";
    if (found != std::string::npos) at = found;
  }
  // Two start banners: one per process.
  EXPECT_TRUE(waitForLog(" start run", 2));
  EXPECT_TRUE(waitForLog("shutdown finished", 2));

  // The next run is not blocked by anything the first left behind.
  const pid_t third = start("Tarnwick64_kr_35036_x", {});
  ASSERT_TRUE(waitForLog("wnd not exist", 2));
  kill(third, SIGINT);
  EXPECT_EQ(wait(third), 0);
}

TEST_F(InstallerProcess, HostileNameAndCommandLine) {
  std::string hugeArgument(65536, 'x');
  hugeArgument += "\xff\xfe|apkurl=\xc3|=|";
  const std::string name = "tarnwick9_\xff\xfe__x";
  const pid_t pid = start(name, {hugeArgument, "", "second arg"});
  ASSERT_TRUE(waitForLog("create main"));
  kill(pid, SIGTERM);
  EXPECT_EQ(wait(pid), 0);
  const std::string l = log();
  EXPECT_NE(l.find("DownloaderModel exe filename= tarnwick9_\xEF\xBF\xBD\xEF\xBF\xBD__x"), std::string::npos);
  EXPECT_NE(l.find("openid is 35036"), std::string::npos);
  EXPECT_NE(l.find("shutdown finished"), std::string::npos);
}

TEST_F(InstallerProcess, NameAndCommandLineAreUtf8InTheCLocale) {
  // Under LANG=C the locale's character set is ASCII; both texts still arrive as UTF-8, the
  // argument with its blank through the quoting and unquoting.
  extraEnv_.push_back("LANG=C");
  const pid_t pid = start("Tarnwick9_en_35036_\xE6\xB8\xB8", {"name=\xE6\xB8\xB8 Game|package=com.a.b|apkurl=https://h/a.apk"});
  ASSERT_TRUE(waitForLog("create main"));
  kill(pid, SIGTERM);
  EXPECT_EQ(wait(pid), 0);
  const std::string l = log();
  EXPECT_NE(l.find("DownloaderModel exe filename= Tarnwick9_en_35036_\xE6\xB8\xB8\r\n"), std::string::npos) << l;
  EXPECT_NE(l.find("cmdline is \xE6\xB8\xB8 Game, com.a.b, https://h/a.apk\r\n"), std::string::npos) << l;
}

TEST_F(InstallerProcess, RunsWhenNoInstanceLockCanBeMade) {
  // Something occupies the lock's place: that is no other run, so the installer goes on.
  fs::create_directory(world_ / "run" / "{2266E930-7040-4A6B-B7C8-E44663785cdd}.lock");
  const pid_t pid = start("Tarnwick9_en_35036_x.exe", {});
  ASSERT_TRUE(waitForLog("create main"));
  EXPECT_TRUE(waitForLog("instance lock not made, error 21"));  // EISDIR
  kill(pid, SIGTERM);
  EXPECT_EQ(wait(pid), 0);
}

TEST_F(InstallerProcess, WithoutADisplayItSaysSoAndEnds) {
  extraEnv_.push_back("DISPLAY=");
  const pid_t pid = start("Tarnwick9_en_35036_x", {});
  EXPECT_EQ(wait(pid), 1);
  EXPECT_NE(log().find("no display"), std::string::npos) << log();
  EXPECT_EQ(log().find("create main"), std::string::npos);
}

}  // namespace
