// What pages 2 and 3 show while the emulator is downloaded and installed and while app packages
// are downloaded and installed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/app_install_job.h"
#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "utility/base/strings.h"
#include "tests/ui/main_frame_fixture.h"
#include "toolkit/text_table.h"
#include "utility/base/clock.h"

namespace {

using toolkit::langString;
constexpr int kMiB = 1048576;

class ProgressTest : public uitest::MainFrameTest {
 protected:
  void TearDown() override {
    ConfigImp::instance().language = L"en";
    MainFrameTest::TearDown();
  }
};

TEST_F(ProgressTest, DownloadProgressTextsAndBar) {
  struct Case {
    const wchar_t* language;
    int percent, received, total;
    std::wstring amount, percentText;
    int bar;
  };
  const std::wstring downloading = langString("Label_downloading");
  const std::vector<Case> cases = {
      {L"en", 45, 135 * kMiB, 300 * kMiB, L"135.00M/300.00M", downloading + L"(45%)", 28},
      {L"en", 1, 3 * kMiB, 300 * kMiB, L"3.00M/300.00M", downloading + L"(1%)", 3},
      {L"ar", 1, 3 * kMiB, 300 * kMiB, L"3.00M/300.00M", downloading + L"(", 1},
      {L"en", 0, 512 * 1024, 300 * kMiB, L"512.00KB/300.00M", downloading + L"(0%)", 3},
      // No percentage yet but a share: the ratio itself is written.
      {L"en", 0, 150 * kMiB, 300 * kMiB, L"150.00M/300.00M", downloading + L"(0.5%)", 3},
      {L"en", 100, 300 * kMiB, 300 * kMiB, L"300.00M/300.00M", downloading + L"(100%)", 63},
      {L"en", 2, 200, 10485760, L"200B/10.00M", downloading + L"(2%)", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.percent) + " " + std::to_string(c.received));
    ConfigImp::instance().language = c.language;
    frame->onDownloadProgress(c.percent, c.received, c.total);
    EXPECT_EQ(text(L"downloadProgressLabel"), c.amount);
    EXPECT_EQ(text(L"loadingprogresslabel"), c.percentText);
    EXPECT_EQ(progress(L"installprogressbar"), c.bar);
    EXPECT_EQ(frame->progressPercent(), c.percent > 1 ? c.percent : 1);
  }
  // Nothing received, or no total: nothing changes.
  const std::wstring before = text(L"downloadProgressLabel");
  frame->onDownloadProgress(50, 0, 300 * kMiB);
  frame->onDownloadProgress(50, 1000, 0);
  EXPECT_EQ(text(L"downloadProgressLabel"), before);
  EXPECT_EQ(progress(L"installprogressbar"), 3);
}

uint32_t gModelTick = 0;
uint32_t steppingTick() { return gModelTick += 2000; }

// Installers and packages above 2 GiB: the byte counts reach the texts and the bar in full,
// from the platform client's progress sink on.
TEST_F(ProgressTest, SizesAbove2GiBAndAtMultiplesOf4GiB) {
  constexpr int64_t kGiB = 1LL << 30;
  struct Case {
    int64_t received, total;
    std::wstring amount;
    int bar;
    std::wstring apkAmount;
  };
  const std::vector<Case> cases = {
      {2 * kGiB + 1, 3 * kGiB, L"2048.00M/3072.00M", 41, L"2048M / 3072M (<c #268fd6>66%</c>)"},
      {kGiB, 4 * kGiB, L"1024.00M/4096.00M", 15, L"1024M / 4096M (<c #268fd6>25%</c>)"},
      {4 * kGiB, 8 * kGiB, L"4096.00M/8192.00M", 31, L"4096M / 8192M (<c #268fd6>50%</c>)"},
  };
  DownloaderModel::setTickSourceForTesting(steppingTick);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.received) + "/" + std::to_string(c.total));
    EXPECT_TRUE(DownloaderModel::instance().onHttpProgress(nullptr, 0, c.received, c.total));
    drain();
    EXPECT_EQ(text(L"downloadProgressLabel"), c.amount);
    EXPECT_EQ(progress(L"installprogressbar"), c.bar);
    {
      AppInstallJob job(*frame);
      job.onHttpProgress(nullptr, 0, c.received, c.total);
      drain();
    }
    const std::wstring label = text(L"apkinstallprogresslabel");
    EXPECT_NE(label.find(c.apkAmount), std::wstring::npos) << utility::wideToUtf8(label);
  }
  DownloaderModel::setTickSourceForTesting(nullptr);
}

TEST_F(ProgressTest, FallbackDownloadMovesOnlyTheBar) {
  const std::wstring label = text(L"loadingprogresslabel");
  for (auto [percent, bar] : std::vector<std::pair<int, int>>{{0, 3}, {2, 3}, {3, 3}, {57, 57}, {99, 99}}) {
    frame->onCurlProgress(percent);
    EXPECT_EQ(progress(L"installprogressbar"), bar) << percent;
  }
  EXPECT_EQ(text(L"loadingprogresslabel"), label);
}

TEST_F(ProgressTest, InstallationAnimationClimbsTo100AndStays) {
  std::vector<int> shown;
  for (int tick = 0; tick < 25; ++tick) {
    frame->onInstallTick();
    shown.push_back(progress(L"installprogressbar"));
  }
  EXPECT_EQ(shown.front(), 64);
  EXPECT_EQ(shown[1], 66);
  EXPECT_EQ(shown[18], 100);  // the 19th tick
  for (size_t i = 1; i < shown.size(); ++i) {
    EXPECT_GE(shown[i], shown[i - 1]);
    EXPECT_LE(shown[i], 100);
  }
}

TEST_F(ProgressTest, AppDownloadText) {
  frame->showApkProgress(512 * 1024, 700 * 1024);
  const std::wstring expected = langString("progress_downloading_label2") + L" " + frame->currentAppName() +
                                L"\uFF1A512KB / 0M (<c #268fd6>73%</c>)";
  EXPECT_EQ(text(L"apkinstallprogresslabel"), expected);
  EXPECT_EQ(progress(L"apkinstallprogressbar"), 73);

  for (auto [received, bar] : std::vector<std::pair<int64_t, int>>{{3 * kMiB, 3}, {12 * kMiB, 4}, {300 * kMiB, 99}}) {
    frame->showApkProgress(received, 300LL * kMiB);
    EXPECT_EQ(progress(L"apkinstallprogressbar"), bar) << received;
  }
  EXPECT_NE(text(L"apkinstallprogresslabel").find(L"\uFF1A300M / 300M (<c #268fd6>100%</c>)"), std::wstring::npos);
}

// The app job's observer as a record of the byte counts it was shown.
class ProgressRecord : public AppInstallJob::Observer {
 public:
  void onAppStep(int) override {}
  void onAppProgress(int64_t received, int64_t total) override { shown.emplace_back(received, total); }
  void onAppFallbackPercent(int) override {}
  void onAppsInstalling() override {}
  void onAppsLaunched() override {}
  std::vector<std::pair<int64_t, int64_t>> shown;
};

TEST_F(ProgressTest, AppDownloadReportsAreThrottledButTheLastChunkIsShown) {
  ProgressRecord record;
  AppInstallJob job(record);
  const uint32_t start = utility::tickCount();
  job.onHttpProgress(nullptr, 0, 100 * 1024, 1000 * 1024);
  job.onHttpProgress(nullptr, 0, 200 * 1024, 1000 * 1024);
  const bool withinASecond = utility::tickCount() - start < 1000;
  drain();
  ASSERT_FALSE(record.shown.empty());
  EXPECT_EQ(record.shown.front().first, 100 * 1024);
  if (withinASecond) {
    EXPECT_EQ(record.shown.size(), 1u) << "the second report is dropped";
  }
  job.onHttpProgress(nullptr, 0, 1000 * 1024, 1000 * 1024);
  drain();
  EXPECT_EQ(record.shown.back(), (std::pair<int64_t, int64_t>{1000 * 1024, 1000 * 1024}));
}

// The tick counts the app job's throttle reads, in turn (main thread only).
std::vector<uint32_t> gTicks;
size_t gNextTick = 0;
uint32_t nextTick() { return gTicks[gNextTick < gTicks.size() ? gNextTick++ : gTicks.size() - 1]; }

// The app job throttles with the same rule as the installer download and libcurl: one report a
// second, also in the last second before the tick count wraps and across the wrap.
TEST_F(ProgressTest, AppDownloadThrottleHoldsAcrossTheTickWrap) {
  struct Case {
    const char* what;
    std::vector<uint32_t> ticks;
    std::vector<int64_t> shown;  // the received counts that reach the window
  };
  const std::vector<Case> cases = {
      {"before the wrap", {0xFFFFFC00u, 0xFFFFFE00u, 0xFFFFFFF0u}, {1, 3}},
      {"in the last second before it", {0xFFFFFF00u, 0xFFFFFF80u, 0xFFFFFFFFu}, {1}},
      {"across it", {0xFFFFFF00u, 0x00000100u, 0x000002E8u}, {1, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gTicks = c.ticks;
    gNextTick = 0;
    AppInstallJob::setTickSourceForTesting(nextTick);
    ProgressRecord record;
    {
      AppInstallJob job(record);
      for (int64_t received = 1; received <= static_cast<int64_t>(c.ticks.size()); ++received) {
        job.onHttpProgress(nullptr, 0, received, 100);
      }
      drain();
    }
    AppInstallJob::setTickSourceForTesting(nullptr);
    std::vector<int64_t> shown;
    for (const auto& [received, total] : record.shown) shown.push_back(received);
    EXPECT_EQ(shown, c.shown);
  }
}

TEST_F(ProgressTest, AppInstallationAnimationStopsAt98) {
  frame->showApkInstalling();
  EXPECT_EQ(text(L"apkinstallprogresslabel"), langString("Label_installingapp_waiting") + L" ");
  EXPECT_EQ(frame->apkTimerId(), CMainFrame::kApkInstallTimerId);
  EXPECT_TRUE(host->timerRunning(CMainFrame::kApkInstallTimerId));
  // The step is the process's: a repeated run of this test starts where the last one ended.
  int last = 0;
  for (int tick = 0; tick < 200 && frame->apkTimerId() != 0; ++tick) {
    frame->onApkInstallTick();
    const int bar = progress(L"apkinstallprogressbar");
    EXPECT_GE(bar, 3);
    EXPECT_LE(bar, 98);
    EXPECT_GE(bar, last);
    last = bar;
  }
  EXPECT_EQ(last, 98);
  EXPECT_EQ(frame->apkTimerId(), 0u);
  EXPECT_FALSE(host->timerRunning(CMainFrame::kApkInstallTimerId));
}

TEST_F(ProgressTest, DownloadSuccessTurnsToTheInstallationWhichEndsOnTheFinishPage) {
  frame->onDownloadProgress(50, 150 * kMiB, 300 * kMiB);
  frame->onDownloadSuccess();
  EXPECT_EQ(text(L"loadingprogresslabel"), langString("Label_installing_waiting"));
  EXPECT_FALSE(control(L"downloadProgressLabel").visible());
  EXPECT_EQ(frame->progressPercent(), 100);
  EXPECT_EQ(frame->installTick(), 0);
  // No installer was downloaded here: the installation fails and the finish page says so.
  ASSERT_TRUE(pumpUntil([&] { return frame->quitOnClose(); }));
  auto* tab = frame->findControl<toolkit::TabLayout>(L"maintab");
  EXPECT_EQ(tab->selectedIndex(), CMainFrame::kFinishPage);
  EXPECT_FALSE(frame->startMode());
}

}  // namespace
