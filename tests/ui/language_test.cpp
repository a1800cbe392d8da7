// The title bar's language switch: the bundle of the chosen locale and the texts of the controls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "tests/ui/main_frame_fixture.h"
#include "toolkit/text_table.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/log.h"

namespace {

using toolkit::langString;

std::vector<std::wstring> gRecords;
void captureLog(const char* function, int, const wchar_t* text) {
  if (std::string(function) == "CMainFrame::onLanguageComSelected") gRecords.push_back(text);
}

class LanguageTest : public uitest::MainFrameTest {
 protected:
  void SetUp() override {
    MainFrameTest::SetUp();
    gRecords.clear();
    common::setLogHook(&captureLog);
    combo = frame->findControl<toolkit::Combo>(L"languageCombo");
    ASSERT_NE(combo, nullptr);
    combo->addItem(L"English", L"en_US");
    combo->addItem(L"日本語", L"ja_JP");
  }
  void TearDown() override {
    common::setLogHook(nullptr);
    ConfigImp::instance().language = L"en";
    MainFrameTest::TearDown();
  }

  toolkit::Combo* combo = nullptr;
};

TEST_F(LanguageTest, ASwitchLoadsTheBundleAndSetsEveryTextAgain) {
  frame->showCustomPath(true);
  // Texts the window changed since start-up.
  for (const wchar_t* name : {L"loadingprogresslabel", L"tastenowbtn", L"browsebtn", L"pathErrorLabel"}) {
    frame->findControl(name)->setText(L"changed");
  }
  ASSERT_TRUE(combo->selectItem(1));
  drain();

  EXPECT_EQ(DownloaderModel::instance().getLocale(), L"ja_JP");
  EXPECT_EQ(ConfigImp::instance().language, L"jp");
  EXPECT_FALSE(DownloaderModel::instance().getStrings().empty()) << "the Japanese bundle is loaded";
  EXPECT_EQ(gRecords, std::vector<std::wstring>{L"load language language\\downloader_jp.xml"});

  const std::vector<std::pair<const wchar_t*, const char*>> table = {
      {L"progress_install_label", "progress_install_label"},
      {L"progress_finish_label", "progress_finish_label"},
      {L"loadingprogresslabel", "progress_downloading_label"},
      {L"pathErrorLabel", "path_error_no_drive"},  // the fixture's folder is on no drive: its reason
      {L"LicenseAgreementText", "protocol_accept"},
      {L"protocollinkbtn", "protocol_accept_btn"},  // plain: no underline markup after a switch
      {L"tastenowbtn", "Button_start_player"},
      {L"confirmprotocolbtn", "sure"},
      {L"installnowbtn", "Button_install_fast"},  // even with the custom group open
      {L"userdefinitionBtn", "Button_install_define"},
      {L"backBtn", "Button_install_back"},
      {L"browsebtn", "browser"},
  };
  for (const auto& [control, key] : table) EXPECT_EQ(text(control), langString(key)) << control;
  EXPECT_EQ(host->title(), langString("Title_wndTitle"));
  EXPECT_EQ(text(L"titlename"), langString("titlename"));
  EXPECT_EQ(text(L"protocoledit"), L"") << "the installer carries no licence text";
  EXPECT_EQ(text(L"homepageBtn"), ConfigImp::instance().homePageUrl());
}

TEST_F(LanguageTest, AMissingBundleIsTriedThreeTimesAndTheTextsStillSet) {
  utility::SkinArchive::instance().resetForTesting();  // no bundle anywhere now
  frame->findControl(L"browsebtn")->setText(L"changed");
  ASSERT_TRUE(combo->selectItem(1));
  drain();
  ASSERT_EQ(gRecords.size(), 6u);
  for (size_t i = 0; i < gRecords.size(); i += 2) {
    EXPECT_EQ(gRecords[i], L"load language language\\downloader_jp.xml");
    EXPECT_EQ(gRecords[i + 1].rfind(L"get resource error. ", 0), 0u) << gRecords[i + 1];
  }
  EXPECT_EQ(text(L"browsebtn"), langString("browser"));
}

}  // namespace
