#include <gtest/gtest.h>

#include <regex>

#include "deployment/deployment.h"
#include "model/config_imp.h"
#include "utility/base/strings.h"

namespace {

class ConfigImpTest : public ::testing::Test {
 protected:
  // Every host of its own, so that a lookup answering from the wrong one shows (the stand-in
  // deployment points them all at one address).
  void SetUp() override {
    values_ = deployment::compiledValues();
    values_.chinaResourceHost = L"china-resources.test";
    values_.contentDeliveryHost = L"content-delivery.test";
    values_.collectionHost = L"collection.test";
    values_.analyticsHost = L"analytics.test";
    values_.licenceHost = L"licence.test";
    // Pages and credentials of their own, so that each expected value below names the one
    // entry it must come from.
    values_.homePages = {{{L"cn", L"https://home.test/cn"},
                          {L"tw", L"https://home.test/tw"},
                          {L"kr", L"https://home.test/kr"},
                          {L"vn", L"https://home.test/vn"},
                          {L"th", L"https://home.test/th"},
                          {L"ru", L"https://home.test/ru"},
                          {L"pt", L"https://home.test/pt"},
                          {L"id", L"https://home.test/id"},
                          {L"es", L"https://home.test/es"},
                          {L"fr", L"https://home.test/fr"},
                          {L"jp", L"https://home.test/jp"},
                          {L"ar", L"https://home.test/ar"},
                          {L"fa", L"https://home.test/fa"},
                          {L"de", L"https://home.test/de"}},
                         L"https://home.test/international"};
    values_.communityPages = {{{L"tw", L"https://community.test/tw"},
                               {L"kr", L"https://community.test/kr"},
                               {L"vn", L"https://community.test/vn"},
                               {L"th", L"https://community.test/th"},
                               {L"pt", L"https://community.test/pt"},
                               {L"ru", L"https://community.test/ru"},
                               {L"fr", L"https://community.test/fr"},
                               {L"jp", L"https://community.test/jp"},
                               {L"ar", L"https://community.test/ar"},
                               {L"fa", L"https://community.test/fa"},
                               {L"de", L"https://community.test/de"},
                               {L"id", L"https://community.test/id"}},
                              L"https://community.test/international"};
    values_.fallbackDownloadUrl = L"https://files.test/full-installer";
    values_.analyticsByLanguage = {{{L"cn", L"tw"}, {L"G-CNTW000000", L"secret-cntw___________"}},
                                   {{L"kr"}, {L"G-KR00000000", L"secret-kr_____________"}},
                                   {{L"vn"}, {L"G-VN00000000", L"secret-vn_____________"}},
                                   {{L"th"}, {L"G-TH00000000", L"secret-th_____________"}},
                                   {{L"ru"}, {L"G-RU00000000", L"secret-ru_____________"}},
                                   {{L"pt"}, {L"G-PT00000000", L"secret-pt_____________"}},
                                   {{L"jp"}, {L"G-JP00000000", L"secret-jp_____________"}},
                                   {{L"id"}, {L"G-ID00000000", L"secret-id_____________"}},
                                   {{L"fr"}, {L"G-FR00000000", L"secret-fr_____________"}},
                                   {{L"es"}, {L"G-ES00000000", L"secret-es_____________"}},
                                   {{L"de"}, {L"G-DE00000000", L"secret-de_____________"}},
                                   {{L"ar"}, {L"G-AR00000000", L"secret-ar_____________"}},
                                   {{L"fa"}, {L"G-FA00000000", L"secret-fa_____________"}}};
    values_.analyticsDefault = {L"G-DEFAULT000", L"secret-default________"};
    deployment::setValuesForTesting(&values_);
    reset(L"en", 9);
  }
  void TearDown() override {
    reset(L"en", 9);
    deployment::setValuesForTesting(nullptr);
  }
  static ConfigImp& config() { return ConfigImp::instance(); }
  static void reset(const std::wstring& language, int generation) {
    config().language = language;
    switch (generation) {
      case 4: config().setPlayer4(); break;
      case 64: config().setPlayer64(); break;
      case 3: config().setPlayer3(); break;
      default: config().setPlayer9(); break;
    }
  }
  static bool endsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  }
  deployment::Values values_;
};

TEST_F(ConfigImpTest, FreshDefaults) {
  EXPECT_EQ(config().generation(), 9);
  EXPECT_FALSE(config().isChinaVariant());
  EXPECT_EQ(config().installFolder(), L"Tarnwick\\Tarnwick9\\");
  EXPECT_EQ(config().languageFile(), L"language\\downloader_en.xml");
  EXPECT_EQ(config().productName(), L"Tarnwick");
}

TEST_F(ConfigImpTest, GenerationAndVariantTable) {
  struct Case {
    const wchar_t* language;
    int generation;
    const wchar_t* folder;
    const wchar_t* install;
    const wchar_t* installerTail;
    const wchar_t* registry;
    const wchar_t* installerName;
  };
  const Case cases[] = {
      {L"en", 4, L"4.0\\", L"Tarnwick\\Tarnwick4.0\\", L"/download/package/Tarnwick4.0.exe", L"Software\\Pellfor\\Tarnwick", L"\\Tarnwick.exe"},
      {L"en", 64, L"Tarnwick64\\", L"Tarnwick\\Tarnwick64\\", L"/download/package/Tarnwick64.exe", L"Software\\Pellfor\\Tarnwick64", L"\\Tarnwick.exe"},
      {L"en", 9, L"Tarnwick9\\", L"Tarnwick\\Tarnwick9\\", L"/download/package/Tarnwick9.0.exe", L"Software\\Pellfor\\Tarnwick9", L"\\Tarnwick.exe"},
      {L"en", 3, L"Tarnwick3.0\\", L"Tarnwick\\Tarnwick3.0\\", L"/download/package/Tarnwick3.0.exe", L"Software\\Dornvale\\Tarnwick", L"\\Tarnwick.exe"},
      {L"cn", 4, L"Tarnwick4.0\\", L"Morvane\\Tarnwick4.0\\", L"/download/release/qvinst4.0.exe", L"Software\\morvane\\Tarnwick", L"\\qvinst.exe"},
      {L"cn", 64, L"Tarnwick64\\", L"Morvane\\Tarnwick64\\", L"/download/release/qvinst64.exe", L"Software\\morvane\\Tarnwick64", L"\\qvinst.exe"},
      {L"cn", 9, L"Tarnwick9\\", L"Morvane\\Tarnwick9\\", L"/download/release/qvinst9.exe", L"Software\\morvane\\Tarnwick9", L"\\qvinst.exe"},
      {L"cn", 3, L"Tarnwick3.0\\", L"Morvane\\Tarnwick3.0\\", L"/download/release/qvinst3.0.exe", L"Software\\Dornvale2\\corvide", L"\\qvinst.exe"},
      {L"CN", 4, L"4.0\\", L"Tarnwick\\Tarnwick4.0\\", L"/download/package/Tarnwick4.0.exe", L"Software\\Pellfor\\Tarnwick", L"\\Tarnwick.exe"},
  };
  const deployment::Values& v = deployment::values();
  for (const Case& c : cases) {
    reset(c.language, c.generation);
    const std::string label = utility::wideToUtf8(c.language) + " " + std::to_string(c.generation);
    EXPECT_EQ(config().generation(), c.generation) << label;
    EXPECT_EQ(config().folderName(), c.folder) << label;
    EXPECT_EQ(config().installFolder(), c.install) << label;
    EXPECT_TRUE(endsWith(config().defaultPlayerUrl(), c.installerTail)) << label;
    EXPECT_EQ(config().registryKey(), c.registry) << label;
    EXPECT_EQ(config().installerPath(L"D:\\Tarnwick\\"), std::wstring(L"D:\\Tarnwick\\") + c.installerName) << label;
    const bool china = std::wstring(c.language) == L"cn";
    const std::wstring& host = china ? v.chinaResourceHost : v.contentDeliveryHost;
    EXPECT_EQ(config().defaultPlayerUrl(), L"https://" + host + c.installerTail) << label;
    EXPECT_EQ(config().playerInfoUrl(),
              L"https://" + host + (china ? L"/qv/morvane" : L"/player_files/en/morvane")) << label;
    EXPECT_EQ(config().openidConfigUrl(L"35036"), L"https://" + host + L"/player_files/openidconfig/35036.data");
    EXPECT_NE(config().playerInfoUrl().find(china ? L"china-resources.test" : L"content-delivery.test"),
              std::wstring::npos) << label;
  }
}

TEST_F(ConfigImpTest, LanguageChosenLookups) {
  struct Case {
    const wchar_t* language;
    const wchar_t* file;
    const wchar_t* home;
    const wchar_t* community;
    const wchar_t* measurementId;
    const wchar_t* apiSecret;
    const wchar_t* fallback;
  };
  const Case cases[] = {
      {L"cn", L"cn", L"https://home.test/cn", L"https://home.test/cn", L"G-CNTW000000", L"secret-cntw___________", L"https://home.test/cn"},
      {L"tw", L"tw", L"https://home.test/tw", L"https://community.test/tw", L"G-CNTW000000", L"secret-cntw___________", L"https://files.test/full-installer"},
      {L"kr", L"kr", L"https://home.test/kr", L"https://community.test/kr", L"G-KR00000000", L"secret-kr_____________", L"https://files.test/full-installer"},
      {L"vn", L"vn", L"https://home.test/vn", L"https://community.test/vn", L"G-VN00000000", L"secret-vn_____________", L"https://files.test/full-installer"},
      {L"th", L"th", L"https://home.test/th", L"https://community.test/th", L"G-TH00000000", L"secret-th_____________", L"https://files.test/full-installer"},
      {L"ru", L"ru", L"https://home.test/ru", L"https://community.test/ru", L"G-RU00000000", L"secret-ru_____________", L"https://files.test/full-installer"},
      {L"pt", L"pt", L"https://home.test/pt", L"https://community.test/pt", L"G-PT00000000", L"secret-pt_____________", L"https://files.test/full-installer"},
      {L"id", L"id", L"https://home.test/id", L"https://community.test/id", L"G-ID00000000", L"secret-id_____________", L"https://files.test/full-installer"},
      {L"es", L"es", L"https://home.test/es", L"https://community.test/international", L"G-ES00000000", L"secret-es_____________", L"https://files.test/full-installer"},
      {L"fr", L"fr", L"https://home.test/fr", L"https://community.test/fr", L"G-FR00000000", L"secret-fr_____________", L"https://files.test/full-installer"},
      {L"jp", L"jp", L"https://home.test/jp", L"https://community.test/jp", L"G-JP00000000", L"secret-jp_____________", L"https://files.test/full-installer"},
      {L"ar", L"ar", L"https://home.test/ar", L"https://community.test/ar", L"G-AR00000000", L"secret-ar_____________", L"https://files.test/full-installer"},
      {L"fa", L"fa", L"https://home.test/fa", L"https://community.test/fa", L"G-FA00000000", L"secret-fa_____________", L"https://files.test/full-installer"},
      {L"de", L"de", L"https://home.test/de", L"https://community.test/de", L"G-DE00000000", L"secret-de_____________", L"https://files.test/full-installer"},
      {L"tr", L"tr", L"https://home.test/international", L"https://community.test/international", L"G-DEFAULT000", L"secret-default________", L"https://files.test/full-installer"},
      {L"en", L"en", L"https://home.test/international", L"https://community.test/international", L"G-DEFAULT000", L"secret-default________", L"https://files.test/full-installer"},
      {L"ua", L"en", L"https://home.test/international", L"https://community.test/international", L"G-DEFAULT000", L"secret-default________", L"https://files.test/full-installer"},
      {L"", L"en", L"https://home.test/international", L"https://community.test/international", L"G-DEFAULT000", L"secret-default________", L"https://files.test/full-installer"},
      {L"Kr", L"en", L"https://home.test/international", L"https://community.test/international", L"G-DEFAULT000", L"secret-default________", L"https://files.test/full-installer"},
      {L"CN", L"en", L"https://home.test/international", L"https://community.test/international", L"G-DEFAULT000", L"secret-default________", L"https://files.test/full-installer"},
  };
  for (const Case& c : cases) {
    reset(c.language, 9);
    const std::string label = utility::wideToUtf8(c.language);
    EXPECT_EQ(config().languageFile(), std::wstring(L"language\\downloader_") + c.file + L".xml") << label;
    EXPECT_EQ(config().homePageUrl(), c.home) << label;
    EXPECT_EQ(config().communityUrl(), c.community) << label;
    EXPECT_EQ(config().measurementId(), c.measurementId) << label;
    EXPECT_EQ(config().apiSecret(), c.apiSecret) << label;
    EXPECT_EQ(config().fallbackDownloadUrl(), c.fallback) << label;
  }
  EXPECT_EQ(config().licenceUrl(), L"https://licence.test/other/protocol.html");
}

TEST(Deployment, ValuesHaveTheirForms) {
  const deployment::Values& v = deployment::compiledValues();
  EXPECT_EQ(v.homePages.byLanguage.size() + 1, 15u);
  EXPECT_EQ(v.communityPages.byLanguage.size() + 2, 14u);  // plus "cn", which is the China home page
  EXPECT_EQ(v.analyticsByLanguage.size() + 1, 14u);
  const std::wregex id(L"G-[A-Z0-9]{10}");
  const std::wregex secret(L"[A-Za-z0-9_-]{22}");
  for (const auto& [codes, credentials] : v.analyticsByLanguage) {
    EXPECT_TRUE(std::regex_match(credentials.measurementId, id));
    EXPECT_TRUE(std::regex_match(credentials.apiSecret, secret));
  }
  EXPECT_TRUE(std::regex_match(v.analyticsDefault.measurementId, id));
  EXPECT_TRUE(std::regex_match(v.analyticsDefault.apiSecret, secret));
  ASSERT_EQ(v.reportSalt.size(), 9u);
  for (char c : v.reportSalt) EXPECT_TRUE(c > 32 && c < 127);

  const deployment::Values moved = deployment::withServicesAuthority(v, L"127.0.0.1:5555");
  EXPECT_EQ(moved.contentDeliveryHost, L"127.0.0.1:5555");
  EXPECT_EQ(moved.homePages.lookup(L"kr").rfind(L"https://127.0.0.1:5555/", 0), 0u);
  EXPECT_EQ(moved.fallbackDownloadUrl.rfind(L"https://127.0.0.1:5555/", 0), 0u);
}

}  // namespace
