// The progress page's rate line: its texts in every language of the table, the rounding a person
// expects, and the line fed by both download stacks in the real main window.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/ui/main_frame_fixture.h"
#include "toolkit/text_table.h"
#include "ui/download_rate_line.h"
#include "ui/download_rate_text.h"
#include "utility/base/strings.h"
#include "utility/skin/skin_archive.h"

namespace {

constexpr double kKiB = 1024.0;
constexpr double kMiB = 1048576.0;
const char* const kLocales[] = {"zh_CN", "zh_TW", "en_US", "ko_KR", "vi_VN", "th_TH", "in_ID",
                                "ja_JP", "ru_RU", "pt_PT", "es_ES", "ar_IL", "tr_TR", "fr_FR",
                                "de_DE", "it_IT", "fa_IR", "ms_MY", "uk_UA"};

class RateTextTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    toolkit::loadSkinArchive(129, L"multi_language.tsv");
    table_ = utility::SkinArchive::instance().loadFile(L"multi_language.tsv");
  }
  void TearDown() override { use("en_US"); }
  static void use(const char* locale) {
    toolkit::resetTextsForTesting();
    toolkit::setCurrentLanguage(utility::utf8ToWide(locale));
    ASSERT_TRUE(toolkit::loadTextTable(table_));
  }
  static utility::TransferRateEstimator::Estimate estimate(double rate, int64_t secondsLeft) {
    return {true, rate, secondsLeft};
  }
  static inline std::vector<uint8_t> table_;
};

size_t countOf(const std::wstring& text, std::wstring_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size())) ++n;
  return n;
}

// Every language has every text of the line, each with the places its values go.
TEST_F(RateTextTest, EveryLanguageHasTheLinesTexts) {
  struct Key {
    const wchar_t* key;
    size_t values;
  };
  const Key keys[] = {{L"download_rate_left", 2},      {L"download_rate_B", 1},    {L"download_rate_KB", 1},
                      {L"download_rate_MB", 1},        {L"download_rate_GB", 1},   {L"time_left_seconds", 1},
                      {L"time_left_minutes", 1},       {L"time_left_hours", 1},    {L"time_left_hours_minutes", 2}};
  for (const char* locale : kLocales) {
    SCOPED_TRACE(locale);
    use(locale);
    const toolkit::TextMap& texts = toolkit::textMap();
    for (const Key& k : keys) {
      const auto found = texts.find(k.key);
      ASSERT_NE(found, texts.end()) << utility::wideToUtf8(k.key);
      EXPECT_EQ(countOf(found->second, L"%s"), k.values) << utility::wideToUtf8(k.key);
      EXPECT_EQ(countOf(found->second, L"%"), k.values) << utility::wideToUtf8(k.key);
    }
    EXPECT_EQ(texts.at(L"number_decimal_point").size(), 1u);
    EXPECT_EQ(texts.at(L"number_digits").size(), 10u);
  }
}

TEST_F(RateTextTest, LinesInTheLanguagesNumberFormat) {
  struct Case {
    const char* locale;
    double rate;
    int64_t secondsLeft;
    std::wstring line;
  };
  const std::vector<Case> cases = {
      {"en_US", 12.4 * kMiB, 61, L"12.4 MB/s · about 1 min left"},
      {"en_US", 850 * kKiB, -1, L"850 KB/s"},
      {"de_DE", 12.4 * kMiB, 40, L"12,4 MB/s · noch etwa 40 s"},
      {"fr_FR", 2.5 * kMiB, 600, L"2,5 Mo/s · encore environ 10 min"},
      {"ru_RU", 1.5 * kMiB, 7800, L"1,5 МБ/с · осталось около 2 ч 10 мин"},
      {"uk_UA", 300, 3600, L"300 Б/с · залишилося близько 1 год"},
      {"tr_TR", 3.26 * kMiB, 20, L"3,3 MB/sn · yaklaşık 20 sn kaldı"},
      {"ja_JP", 5.5 * kMiB, 300, L"5.5 MB/s · 残り約5分"},
      {"zh_CN", 1.2 * kMiB * 1024, 5, L"1.2 GB/s · 剩余约5秒"},
      {"ar_IL", 12.4 * kMiB, 120, L"12.4 ميغابايت/ث · يتبقى حوالي 2 د"},
      // Persian: its own digits and decimal separator.
      {"fa_IR", 2.5 * kMiB, 300, L"۲٫۵ مگابایت/ثانیه · حدود ۵ دقیقه باقی مانده"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    use(c.locale);
    EXPECT_EQ(ui::downloadRateText(estimate(c.rate, c.secondsLeft)), c.line);
  }
  // Nothing known yet: no line at all.
  EXPECT_EQ(ui::downloadRateText({}), L"");
}

TEST_F(RateTextTest, RoundedAsAPersonSaysIt) {
  use("en_US");
  const std::vector<std::pair<double, std::wstring>> rates = {
      {0, L"0 B/s"},           {999, L"999 B/s"},          {1000, L"1.0 KB/s"},
      {99.94 * kKiB, L"99.9 KB/s"}, {99.96 * kKiB, L"100 KB/s"}, {999.4 * kKiB, L"999 KB/s"},
      {999.6 * kKiB, L"1.0 MB/s"},  {-5, L"0 B/s"},            {5000 * kMiB, L"4.9 GB/s"},
  };
  for (const auto& [rate, text] : rates) EXPECT_EQ(ui::rateText(rate), text) << rate;
  const std::vector<std::pair<int64_t, std::wstring>> times = {
      {0, L"5 s"},      {3, L"5 s"},          {12, L"10 s"},        {13, L"15 s"},
      {57, L"55 s"},    {58, L"1 min"},       {89, L"1 min"},       {90, L"2 min"},
      {3569, L"59 min"}, {3570, L"1 h"},      {3899, L"1 h"},       {5100, L"1 h 30 min"},
      {7200, L"2 h"},    {99 * 3600, L"99 h"},
  };
  for (const auto& [seconds, text] : times) EXPECT_EQ(ui::timeLeftText(seconds), text) << seconds;
}

uint32_t gTick = 0;
uint32_t testTick() { return gTick; }

class RateLineTest : public uitest::MainFrameTest {
 protected:
  void SetUp() override {
    MainFrameTest::SetUp();
    gTick = 0xFFFFF000u;  // across the tick count's wrap
    ui::DownloadRateLine::setTickSourceForTesting(&testTick);
  }
  void TearDown() override {
    ui::DownloadRateLine::setTickSourceForTesting(nullptr);
    MainFrameTest::TearDown();
  }
};

// The line stays blank in the first seconds, then says rate and time left, from either stack, and
// goes blank when the download ends.
TEST_F(RateLineTest, FedByBothStacksAndClearedAtTheEnd) {
  const int64_t total = 300LL * 1048576;
  const int64_t perSecond = 2 * 1048576;
  EXPECT_EQ(text(L"downloadRateLabel"), L"");
  int64_t received = 0;
  for (int second = 1; second <= 2; ++second) {
    gTick += 1000;
    received += perSecond;
    frame->onDownloadProgress(static_cast<int>(received * 100 / total), received, total);
    EXPECT_EQ(text(L"downloadRateLabel"), L"") << "second " << second;
  }
  for (int second = 3; second <= 6; ++second) {
    gTick += 1000;
    received += perSecond;
    frame->onDownloadProgress(static_cast<int>(received * 100 / total), received, total);
  }
  EXPECT_EQ(text(L"downloadRateLabel"), L"2.0 MB/s · about 2 min left");
  EXPECT_EQ(text(L"downloadProgressLabel"), L"12.00M/300.00M");  // the written label keeps its text

  // The platform stack gave up; libcurl starts from zero at the same speed.
  int64_t curlReceived = 0;
  for (int second = 1; second <= 5; ++second) {
    gTick += 1000;
    curlReceived += perSecond;
    frame->onCurlTransfer(curlReceived, total);
  }
  EXPECT_EQ(text(L"downloadRateLabel"), L"2.0 MB/s · about 2 min left");

  frame->onDownloadFail(net::DownloadFailure::kNoConnection);
  drain();
  EXPECT_EQ(text(L"downloadRateLabel"), L"");
}

}  // namespace
