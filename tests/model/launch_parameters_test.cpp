#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "tests/net/net_test_support.h"
#include "tests/support/temp_folder.h"
#include "utility/base/strings.h"

// Reaches the model's private launch-parameter steps for one fresh model per case.
class DownloaderModelTest {
 public:
  struct Result {
    int generation;
    std::wstring configLanguage, language, locale, openid, package, googleId, adId;
    std::vector<AppInfo> apps;
  };

  static Result run(const std::wstring& modulePath, const wchar_t* commandLine,
                    const std::wstring& builtInOpenid = L"35036") {
    ConfigImp::instance().language = L"en";
    ConfigImp::instance().setPlayer9();
    ConfigImp::instance().adId = L"Downloader";
    auto* model = new DownloaderModel();
    model->openid_ = builtInOpenid;
    model->_initFrom(modulePath, commandLine);
    Result r{ConfigImp::instance().generation(), ConfigImp::instance().language, model->language_, model->locale_,
             model->openid_, model->package_, model->googleId_, ConfigImp::instance().adId, model->apps_};
    delete model;
    return r;
  }
};

namespace {

class LaunchParameters : public ::testing::Test {
 protected:
  void SetUp() override {
    // init also proposes an installation folder, which reads and creates registry keys: keep
    // them in a configuration folder of this test's own.
    config_ = std::make_unique<testsupport::TempFolder>("launch-parameters");
    setenv("XDG_CONFIG_HOME", config_->path().c_str(), 1);
    setenv("LANGUAGE", "", 1);
    setenv("LC_ALL", "", 1);
    setenv("LANG", "ja_JP.UTF-8", 1);  // the system language when the name gives none
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    config_.reset();
  }

  std::unique_ptr<testsupport::TempFolder> config_;
  nettest::LogCapture log_;
};

TEST_F(LaunchParameters, FileNameTable) {
  struct Case {
    const wchar_t* path;
    int generation;
    const wchar_t* configLanguage;
    const wchar_t* language;
    const wchar_t* locale;
    const wchar_t* package;
    const wchar_t* googleId;
  };
  const Case cases[] = {
      {L"D:\\dl\\tarnwick9_en_35036_x.exe", 9, L"en", L"en", L"en_US", L"", L""},
      {L"D:\\dl\\Tarnwick64_ens_123_abc_x.exe", 64, L"en", L"jp", L"ja_JP", L"", L"abc"},
      {L"D:\\dl\\tarnwick4_kr_com.game.app_777_g1_g2_last.exe", 4, L"kr", L"kr", L"ko_KR", L"com.game.app", L"g1_g2"},
      {L"D:\\dl\\tarnwick3_cn_1_2_3_4.exe", 3, L"cn", L"cn", L"zh_CN", L"", L"2_3"},
      {L"D:\\dl\\Tarnwick9_tw_abcde_1_x.exe", 9, L"tw", L"tw", L"zh_TW", L"", L""},  // package of 5: ignored
      {L"D:\\dl\\other_de_1_x.exe", 9, L"de", L"de", L"de_DE", L"", L""},             // other type keeps 9
      {L"D:\\dl\\tarnwick4_long_1_x.exe", 4, L"en", L"jp", L"ja_JP", L"", L""},        // language too long
      {L"D:\\dl\\tarnwick4_kr_1.exe", 9, L"en", L"jp", L"ja_JP", L"", L""},            // 3 pieces: defaults
      {L"D:\\dl\\setup.beta.tarnwick64_fr_1_x.exe", 9, L"fr", L"fr", L"fr_FR", L"", L""},  // type "setup.beta.tarnwick64"
      {L"/opt/dl/tarnwick64_vn_1_x", 64, L"vn", L"vn", L"vi_VN", L"", L""},
      {L"noseparator_en_1_x.exe", 9, L"en", L"jp", L"ja_JP", L"", L""},                 // no folder: empty name
      {L"D:\\dl\\ _ _ _ .exe", 9, L"en", L"jp", L"ja_JP", L"", L""},                    // empty pieces
  };
  for (const Case& c : cases) {
    const auto r = DownloaderModelTest::run(c.path, nullptr);
    const std::string label = utility::wideToUtf8(c.path);
    EXPECT_EQ(r.generation, c.generation) << label;
    EXPECT_EQ(r.configLanguage, c.configLanguage) << label;
    EXPECT_EQ(r.language, c.language) << label;
    EXPECT_EQ(r.locale, c.locale) << label;
    EXPECT_EQ(r.package, c.package) << label;
    EXPECT_EQ(r.googleId, c.googleId) << label;
    EXPECT_EQ(r.openid, L"35036") << label;  // the built-in campaign is kept
    EXPECT_TRUE(r.apps.empty()) << label;
  }
}

TEST_F(LaunchParameters, CampaignFromNameOnlyForBuiltIn100AndAdId) {
  EXPECT_EQ(DownloaderModelTest::run(L"D:\\tarnwick9_en_2500_x.exe", nullptr, L"100").openid, L"2500");
  EXPECT_EQ(DownloaderModelTest::run(L"D:\\tarnwick9_en_2500_x.exe", nullptr, L"100").adId, L"Tarnwick Installer_200");
  EXPECT_EQ(DownloaderModelTest::run(L"D:\\tarnwick9_en_3000_x.exe", nullptr, L"100").adId, L"Downloader");
  EXPECT_EQ(DownloaderModelTest::run(L"D:\\tarnwick9_en_2001_x.exe", nullptr, L"100").adId, L"Tarnwick Installer_200");
  EXPECT_EQ(DownloaderModelTest::run(L"D:\\tarnwick9_en_2999abc_x.exe", nullptr, L"100").adId, L"Tarnwick Installer_200");
  EXPECT_EQ(DownloaderModelTest::run(L"D:\\tarnwick9_en_2500_x.exe", nullptr).openid, L"35036");
}

TEST_F(LaunchParameters, CommandLineTable) {
  struct Case {
    const wchar_t* commandLine;
    size_t apps;
    const wchar_t* url;
    const wchar_t* package;
    const wchar_t* name;
    const wchar_t* record;  // the "cmdline is" record; null: none written
  };
  const Case cases[] = {
      {L"\"name=My Game|package=com.my.game|apkurl=https://h/a.apk\"", 1, L"https://h/a.apk", L"com.my.game", L"My Game",
       L"cmdline is My Game, com.my.game, https://h/a.apk"},
      {L"NAME = x | APKURL = https://h/b.apk?q=1=2", 1, L"https://h/b.apk?q=1=2", L"", L"x",
       L"cmdline is x, , https://h/b.apk?q=1=2"},
      // A quote on one side only: that one is removed.
      {L"\"name=My Game|apkurl=https://h/c.apk", 1, L"https://h/c.apk", L"", L"My Game",
       L"cmdline is My Game, , https://h/c.apk"},
      {L"name=Game|apkurl=https://h/d.apk\"", 1, L"https://h/d.apk", L"", L"Game", L"cmdline is Game, , https://h/d.apk"},
      // No app, but a map that is not empty: the record is written.
      {L"apkurl=", 0, L"", L"", L"", L"cmdline is , , "},
      {L"a=1", 0, L"", L"", L"", L"cmdline is , , "},
      // Unquoted only above five characters: "=123" has an empty key and is skipped, the quote
      // kept in a key of five characters is not.
      {L"\"=123\"", 0, L"", L"", L"", nullptr},
      {L"\"=12\"", 0, L"", L"", L"", L"cmdline is , , "},
      {L"", 0, L"", L"", L"", nullptr},
      {L"|||", 0, L"", L"", L"", nullptr},
  };
  for (const Case& c : cases) {
    const std::string label = utility::wideToUtf8(c.commandLine);
    log_.clear();
    const auto r = DownloaderModelTest::run(L"D:\\x.exe", c.commandLine);
    ASSERT_EQ(r.apps.size(), c.apps) << label;
    if (c.apps == 1) {
      EXPECT_EQ(r.apps[0].url, c.url) << label;
      EXPECT_EQ(r.apps[0].package, c.package) << label;
      EXPECT_EQ(r.apps[0].name, c.name) << label;
      EXPECT_TRUE(r.apps[0].icon.empty() && !r.apps[0].isXapk && !r.apps[0].fromAppStore);
    }
    EXPECT_EQ(log_.containsPart(L"cmdline is"), c.record != nullptr) << label;
    if (c.record != nullptr) {
      EXPECT_TRUE(log_.contains(c.record)) << label;
    }
  }
}

TEST_F(LaunchParameters, HostileInputGivesDefaults) {
  // A huge name, invalid text and a huge command line: defaults, nothing crashes.
  const std::wstring hugeName = L"D:\\" + std::wstring(65536, L'_') + L".exe";
  auto r = DownloaderModelTest::run(hugeName, nullptr);
  EXPECT_EQ(r.generation, 9);
  EXPECT_EQ(r.configLanguage, L"en");
  const std::wstring invalid = L"D:\\tarnwick64_\uFFFD\uFFFD_\uFFFD_x.exe";
  r = DownloaderModelTest::run(invalid, nullptr);
  EXPECT_EQ(r.generation, 64);
  EXPECT_EQ(r.configLanguage, L"\uFFFD\uFFFD");  // a two-character language part is taken as given
  EXPECT_EQ(r.locale, L"en_US");
  const std::wstring hugeLine = L"apkurl=" + std::wstring(65536, L'x') + L"|" + std::wstring(65536, L'|');
  r = DownloaderModelTest::run(L"D:\\x.exe", hugeLine.c_str());
  ASSERT_EQ(r.apps.size(), 1u);
  EXPECT_EQ(r.apps[0].url.size(), 65536u);
}

}  // namespace
