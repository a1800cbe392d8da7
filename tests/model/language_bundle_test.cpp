#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/downloader_model.h"
#include "utility/system/log.h"
#include "utility/skin/resources.h"
#include "utility/skin/skin_archive.h"
#include "utility/base/strings.h"

namespace {

struct Record {
  std::string function;
  std::wstring text;
};
std::vector<Record> gRecords;

void captureLog(const char* function, int, const wchar_t* text) {
  gRecords.push_back({function, text});
}

class LanguageBundleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gRecords.clear();
    common::setLogHook(&captureLog);
  }
  void TearDown() override {
    common::setLogHook(nullptr);
    DownloaderModel::destroy();
  }
  static std::vector<std::wstring> texts() {
    std::vector<std::wstring> out;
    for (const Record& r : gRecords) {
      EXPECT_EQ(r.function, "DownloaderModel::loadLanguage");
      out.push_back(r.text);
    }
    return out;
  }
  DownloaderModel& model() { return DownloaderModel::instance(); }
};

TEST_F(LanguageBundleTest, LoadsEveryShippedBundle) {
  utility::SkinArchive archive;
  ASSERT_TRUE(archive.loadFromMemory(utility::findResource(L"ZIPRES", 129)));
  const wchar_t* codes[] = {L"ar", L"cn", L"de", L"en", L"es", L"fa", L"fr", L"id",
                            L"jp", L"kr", L"pt", L"ru", L"th", L"tr", L"tw", L"vn"};
  for (const wchar_t* code : codes) {
    const std::vector<uint8_t> bytes =
        archive.loadFile(std::wstring(L"language\\downloader_") + code + L".xml");
    ASSERT_FALSE(bytes.empty()) << utility::wideToUtf8(code);
    const std::wstring text = utility::utf8ToWide(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    DownloaderModel::destroy();
    EXPECT_TRUE(model().loadLanguage(text)) << utility::wideToUtf8(code);
    const auto& strings = model().getStrings();
    EXPECT_EQ(strings.size(), 51u) << utility::wideToUtf8(code);
    for (const wchar_t* id : {L"MsgBox_exit", L"Label_choice_path", L"facebook", L"sure"}) {
      ASSERT_EQ(strings.count(id), 1u) << utility::wideToUtf8(std::wstring(code) + L" " + id);
      EXPECT_FALSE(strings.at(id).empty());
    }
  }
  EXPECT_EQ(model().getStrings().at(L"MsgBox_exit"),
            L"B\u1ea1n c\u00f3 mu\u1ed1n d\u1eebng c\u00e0i \u0111\u1eb7t kh\u00f4ng?");  // vn last
}

TEST_F(LanguageBundleTest, RefusesWhatIsNotADocument) {
  struct Case {
    std::wstring text;
    int error;
  } cases[] = {
      {L"not xml at all", 2},
      {L"", 1},
      {L"<StringBundle ver=\"100\"><String id=\"a\">x</String>", 9},
      {L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- no root -->\r\n", 2},
  };
  for (const Case& c : cases) {
    gRecords.clear();
    EXPECT_FALSE(model().loadLanguage(c.text));
    const int length = static_cast<int>(c.text.size());
    EXPECT_EQ(texts(), (std::vector<std::wstring>{
                           L"load language length " + std::to_wstring(length),
                           L"language load from string error. length:" + std::to_wstring(length) +
                               L", error:" + std::to_wstring(c.error)}));
    EXPECT_TRUE(model().getStrings().empty());
  }
}

TEST_F(LanguageBundleTest, StoresNonEmptyStringsAndKeepsEarlierOnes) {
  const std::wstring bundle =
      L"<?xml version=\"1.0\"?>\r\n<StringBundle ver=\"100\">\r\n"
      L"  <String id=\"a\">first</String>\r\n"
      L"  <String id=\"empty\"></String>\r\n"
      L"  <String id=\"blank\"/>\r\n"
      L"  <String>no id</String>\r\n"
      L"  <String id=\"\">empty id</String>\r\n"
      L"  <Other id=\"o\">skipped</Other>\r\n"
      L"  <string id=\"lower\">skipped</string>\r\n"
      L"  <String id=\"ref\">&lt;u #666666&gt;text&lt;/u&gt;</String>\r\n"
      L"  <String id=\"a\">second</String>\r\n"
      L"</StringBundle>\r\n";
  ASSERT_TRUE(model().loadLanguage(bundle));
  EXPECT_EQ(texts(), (std::vector<std::wstring>{L"load language length " +
                                                std::to_wstring(bundle.size())}));
  EXPECT_EQ(model().getStrings(), (std::map<std::wstring, std::wstring>{
                                      {L"a", L"second"}, {L"ref", L"<u #666666>text</u>"}}));

  // The root's name and version are not examined; entries only accumulate.
  ASSERT_TRUE(model().loadLanguage(L"<Whatever><String id=\"b\">B</String>"
                                   L"<String id=\"ref\">new</String></Whatever>"));
  EXPECT_EQ(model().getStrings(),
            (std::map<std::wstring, std::wstring>{{L"a", L"second"}, {L"b", L"B"}, {L"ref", L"new"}}));
  // A rejected bundle changes nothing.
  EXPECT_FALSE(model().loadLanguage(L"<StringBundle><String id=\"c\">C</String>"));
  EXPECT_EQ(model().getStrings().size(), 3u);
}

}  // namespace
