// The texts that ship inside the executable's skin archive.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "toolkit/text_table.h"
#include "utility/skin/resources.h"
#include "utility/skin/skin_archive.h"
#include "utility/base/strings.h"
#include "utility/skin/xml_document.h"

namespace toolkit {
namespace {

const std::vector<std::wstring> kLocales = {
    L"zh_CN", L"zh_TW", L"en_US", L"ko_KR", L"vi_VN", L"th_TH", L"in_ID", L"ja_JP", L"ru_RU", L"pt_PT",
    L"es_ES", L"ar_IL", L"tr_TR", L"fr_FR", L"de_DE", L"it_IT", L"fa_IR", L"ms_MY", L"uk_UA"};

const std::vector<std::wstring> kKeys = {
    L"Title_wndTitle", L"Label_installing_waiting", L"Label_getversion_info", L"Label_downloading",
    L"Button_install_now", L"Button_install_fast", L"Button_start_player", L"MsgBox_error",
    L"MsgBox_xp", L"MsgBox_32", L"jump_download", L"do_exit", L"change_path_tip", L"path_noice",
    L"path_more", L"path_ssd", L"path_ok", L"path_not", L"MsgBox_accept_protocol",
    L"MsgBox_error_path", L"MsgBox_disk_notEnough", L"Label_choice_path", L"MSGBox_noice",
    L"MsgBox_exit", L"sure", L"cancel", L"browser", L"Label_path_error", L"Button_install_define",
    L"Button_install_back", L"protocol_accept", L"protocol_accept_btn",
    L"progress_downloading_label", L"progress_downloading_label2", L"progress_download_label",
    L"progress_install_label", L"progress_finish_label", L"Label_installingapp_waiting",
    L"homepage", L"error", L"download_error_content", L"go_homePage", L"installing_exit_tip",
    L"Reject", L"Accept", L"Yes", L"No", L"accept_protocol", L"titlename", L"installSucess",
    L"googleDriver_downloadingPage", L"googleDriver_downloadLow", L"googleDriver_downloadError",
    L"install_error_tip", L"download_error_tip", L"reDownload", L"download_error_tip2",
    L"downloadBybrowser", L"download_slowtip", L"download_close", L"facebook_tip", L"minimize_tip",
    L"confirm", L"download_fail_connection", L"download_fail_refused", L"download_fail_disk",
    L"download_fail_folder", L"MsgBox_exit_installing", L"install_still_running", L"install_not_finished",
    L"path_error_no_drive", L"path_error_not_folder", L"path_error_not_writable", L"path_error_too_long",
    L"download_rate_left", L"download_rate_B", L"download_rate_KB", L"download_rate_MB", L"download_rate_GB",
    L"time_left_seconds", L"time_left_minutes", L"time_left_hours", L"time_left_hours_minutes",
    L"number_decimal_point", L"number_digits",
    L"installprogress_name", L"apkprogress_name", L"language_select"};

// How many "%s" places a text has (every other text has none).
const std::map<std::wstring, size_t> kFormatCounts = {
    {L"path_more", 1},          {L"path_ssd", 2},          {L"download_rate_left", 2},
    {L"download_rate_B", 1},    {L"download_rate_KB", 1},  {L"download_rate_MB", 1},
    {L"download_rate_GB", 1},   {L"time_left_seconds", 1}, {L"time_left_minutes", 1},
    {L"time_left_hours", 1},    {L"time_left_hours_minutes", 2}};

// Keys of the table that the string bundles do not carry.
const std::set<std::wstring> kTableOnly = {
    L"MsgBox_xp", L"MsgBox_32", L"jump_download", L"do_exit", L"change_path_tip", L"path_noice",
    L"path_more", L"path_ssd", L"path_ok", L"path_not", L"facebook_tip", L"minimize_tip",
    L"confirm", L"download_fail_connection", L"download_fail_refused", L"download_fail_disk",
    L"download_fail_folder", L"MsgBox_exit_installing", L"install_still_running", L"install_not_finished",
    L"path_error_no_drive", L"path_error_not_folder", L"path_error_not_writable", L"path_error_too_long",
    L"download_rate_left", L"download_rate_B", L"download_rate_KB", L"download_rate_MB", L"download_rate_GB",
    L"time_left_seconds", L"time_left_minutes", L"time_left_hours", L"time_left_hours_minutes",
    L"number_decimal_point", L"number_digits",
    L"installprogress_name", L"apkprogress_name", L"language_select"};

const std::vector<std::pair<std::wstring, std::wstring>> kBundles = {
    {L"ar", L"ar_IL"}, {L"cn", L"zh_CN"}, {L"de", L"de_DE"}, {L"en", L"en_US"},
    {L"es", L"es_ES"}, {L"fa", L"fa_IR"}, {L"fr", L"fr_FR"}, {L"id", L"in_ID"},
    {L"jp", L"ja_JP"}, {L"kr", L"ko_KR"}, {L"pt", L"pt_PT"}, {L"ru", L"ru_RU"},
    {L"th", L"th_TH"}, {L"tr", L"tr_TR"}, {L"tw", L"zh_TW"}, {L"vn", L"vi_VN"}};

size_t count(const std::wstring& text, const std::wstring& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class ShippedTextsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    archive_ = new utility::SkinArchive;
    ASSERT_TRUE(archive_->loadFromMemory(utility::findResource(L"ZIPRES", 129)));
  }
  static void TearDownTestSuite() {
    delete archive_;
    archive_ = nullptr;
  }
  static std::vector<uint8_t> table() { return archive_->loadFile(L"multi_language.tsv"); }
  static TextMap column(const std::wstring& locale) {
    TextMap map;
    const std::vector<uint8_t> bytes = table();
    EXPECT_TRUE(parseTextTable(bytes, locale, map));
    return map;
  }
  static utility::SkinArchive* archive_;
};

utility::SkinArchive* ShippedTextsTest::archive_ = nullptr;

TEST_F(ShippedTextsTest, TableLayout) {
  const std::vector<uint8_t> bytes = table();
  ASSERT_GT(bytes.size(), 10u);
  ASSERT_FALSE(bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
      << "no byte-order mark";
  const std::wstring text = utility::utf8ToWide(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  std::vector<std::wstring> rows;
  utility::split(text, L"\r\n", rows);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.back(), L"");  // every row ends with CR LF
  rows.pop_back();
  ASSERT_EQ(rows.size(), 2 + kKeys.size());
  std::wstring header = L"Code\tlanguage_code";
  for (const auto& locale : kLocales) header += L"\t" + locale;
  EXPECT_EQ(rows[0], header);
  EXPECT_EQ(rows[1].rfind(L"Language\tlanguage_name\t", 0), 0u);
  for (size_t i = 0; i < kKeys.size(); ++i) {
    EXPECT_EQ(rows[2 + i].rfind(L"Label\t" + kKeys[i] + L"\t", 0), 0u) << rows[2 + i];
    EXPECT_EQ(count(rows[2 + i], L"\t"), 1 + kLocales.size()) << rows[2 + i];
  }
}

TEST_F(ShippedTextsTest, EveryLocaleHasEveryText) {
  for (const auto& locale : kLocales) {
    const TextMap map = column(locale);
    EXPECT_EQ(map.size(), kKeys.size()) << utility::wideToUtf8(locale);
    for (const auto& key : kKeys) {
      const auto it = map.find(key);
      ASSERT_NE(it, map.end()) << utility::wideToUtf8(locale + L" " + key);
      EXPECT_FALSE(it->second.empty()) << utility::wideToUtf8(locale + L" " + key);
      EXPECT_LE(it->second.size(), kMaxTableCellLength);
      // Only the path texts and the download rate's words are format strings.
      const size_t formats = count(it->second, L"%");
      const auto format = kFormatCounts.find(key);
      const size_t expected = format != kFormatCounts.end() ? format->second : 0;
      EXPECT_EQ(formats, expected) << utility::wideToUtf8(locale + L" " + key + L": " + it->second);
      EXPECT_EQ(count(it->second, L"%s"), expected) << utility::wideToUtf8(locale + L" " + key);
    }
    EXPECT_EQ(count(map.at(L"MsgBox_xp"), L"\\r\\n"), 1u) << utility::wideToUtf8(locale);
  }
}

TEST_F(ShippedTextsTest, EnglishTexts) {
  const TextMap en = column(L"en_US");
  EXPECT_EQ(en.at(L"MsgBox_xp"),
            L"This version is not compatible with current Windows system\\r\\nPlease update to "
            L"versions higher than Win 7 and reinstall");
  EXPECT_EQ(en.at(L"MsgBox_32"),
            L"This version is not compatible with 32-bit system, please download the recommended "
            L"version");
  EXPECT_EQ(en.at(L"path_more"),
            L"There is not enough space available on this disk for installation, it's recommended "
            L"to use Disk %s, do you want to change the path?");
  EXPECT_EQ(en.at(L"path_ssd"),
            L"HDD (Disk %s) may lead to game stuttering, please choose SSD (Disk %s) for better "
            L"performance, do you want to change the path?");
  EXPECT_EQ(en.at(L"Label_downloading"), L"Downloading...");
  EXPECT_EQ(en.at(L"MsgBox_exit"), L"Do you want to stop the installation?");
  EXPECT_EQ(en.at(L"confirm"), L"Confirm");
  // A locale without a column shows the first locale column.
  EXPECT_EQ(column(L"hi_IN"), column(L"zh_CN"));
}

TEST_F(ShippedTextsTest, BundlesAreCompleteAndMatchTheTable) {
  for (const auto& [code, locale] : kBundles) {
    const std::wstring path = L"language\\downloader_" + code + L".xml";
    const std::vector<uint8_t> bytes = archive_->loadFile(path);
    ASSERT_FALSE(bytes.empty()) << utility::wideToUtf8(path);
    const std::wstring text = utility::utf8ToWide(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    utility::XmlDocument doc;
    ASSERT_TRUE(doc.load(text)) << utility::wideToUtf8(path);
    const utility::XmlNode* root = doc.root();
    EXPECT_EQ(root->name(), L"StringBundle");
    EXPECT_EQ(root->attribute(L"ver"), L"100");
    std::set<std::wstring> ids;
    const TextMap table = column(locale);
    for (int i = 0; i < root->childCount(); ++i) {
      const utility::XmlNode* s = root->child(i);
      EXPECT_EQ(s->name(), L"String");
      const std::wstring id = s->attribute(L"id");
      EXPECT_TRUE(ids.insert(id).second) << "repeated id " << utility::wideToUtf8(id);
      EXPECT_FALSE(s->text().empty()) << utility::wideToUtf8(path + L" " + id);
      if (id != L"facebook") {
        EXPECT_EQ(s->text(), table.at(id)) << utility::wideToUtf8(path + L" " + id);
      }
    }
    std::set<std::wstring> expected = {L"facebook"};
    for (const auto& key : kKeys) {
      if (kTableOnly.count(key) == 0) expected.insert(key);
    }
    EXPECT_EQ(expected.size(), 51u);
    EXPECT_EQ(ids, expected) << utility::wideToUtf8(path);
  }
}

}  // namespace
}  // namespace toolkit
