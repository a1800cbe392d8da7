// Progress on pages 2 and 3: the emulator download (real progress), its installation and the
// installation of app packages (animated on timers: the installers report nothing).
#include <atomic>
#include <cstdio>
#include <string>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "toolkit/text_table.h"
#include "ui/main_frame.h"
#include "utility/base/clock.h"

using toolkit::langString;

namespace {

constexpr double kMiB = 1048576.0;
// The app-installation animation runs once per run: its step is never reset.
std::atomic<int> gApkInstallStep{0};

std::wstring format2(float value) {
  wchar_t text[64];
  std::swprintf(text, 64, L"%0.2f", static_cast<double>(value));
  return text;
}

}  // namespace

int CMainFrame::apkInstallStep() { return gApkInstallStep.load(); }

void CMainFrame::onDownloadProgress(int percent, int64_t received, int64_t total) {
  if (received <= 0 || total <= 0) return;
  rateLine_.onProgress(received, total);
  // The amount: received part, unit, "/", total in MiB and "M".
  std::wstring amount;
  if (received < 1024) {
    amount = std::to_wstring(received) + L"B";  // whole bytes: a fraction of one means nothing
  } else if (received < 1048576) {
    amount = format2(static_cast<float>(received / 1024.0)) + L"KB";
  } else {
    amount = format2(static_cast<float>(received / kMiB)) + L"M";
  }
  amount += L"/" + format2(static_cast<float>(total / kMiB)) + L"M";
  setText(L"downloadProgressLabel", amount);

  const bool arabic = ConfigImp::instance().language == L"ar";
  std::wstring label = langString("Label_downloading") + L"(";
  if (!arabic) {
    if (percent != 0) {
      label += std::to_wstring(percent);
    } else {
      const float ratio = static_cast<float>(static_cast<double>(received) / static_cast<double>(total));
      if (ratio > 0.0099999f) {
        wchar_t text[64];
        std::swprintf(text, 64, L"%0.1f", static_cast<double>(ratio));
        label += text;
      } else {
        label += L"0";
      }
    }
    label += L"%)";
  }
  setText(L"loadingprogresslabel", label);

  float value = static_cast<float>(percent) * 0.63f;
  if (value < 1) value = static_cast<float>(percent);
  if (!arabic && value < 3) value = 3;
  setProgress(L"installprogressbar", static_cast<int>(value));
  progressPercent_ = percent > 1 ? percent : 1;
}

void CMainFrame::onCurlProgress(int percent) { setProgress(L"installprogressbar", percent > 3 ? percent : 3); }

void CMainFrame::onCurlTransfer(int64_t received, int64_t total) {
  if (received > 0) rateLine_.onProgress(received, total);
}

void CMainFrame::onDownloadSuccess() {
  setText(L"loadingprogresslabel", langString("Label_installing_waiting"));
  setVisible(L"downloadProgressLabel", false);
  rateLine_.stop();
  installTimer_.stop();
  progressPercent_ = 100;
  DownloaderModel::instance().startInstallPlayer();
  installTimer_.start(kInstallTickMs, makeRunable(this, &CMainFrame::onInstallTick));
  installTick_ = 0;
}

void CMainFrame::onInstallTick() {
  if (installTick_ >= 36) installTick_ = 36;
  setProgress(L"installprogressbar", installTick_ + 64);
  installTick_ += 2;
}

void CMainFrame::showApkProgress(int64_t received, int64_t total) {
  if (total <= 0) return;  // no length known: nothing to show a share of
  const int percent = static_cast<int>(static_cast<double>(received) / static_cast<double>(total) * 100.0);
  const int64_t receivedMiB = received / 1048576;
  const int64_t totalMiB = total / 1048576;
  const size_t apps = DownloaderModel::instance().getApps().size();

  std::wstring text = langString("progress_downloading_label2") + L" " + currentAppName_;
  if (apps >= 2) text += L" (" + std::to_wstring(apkIndex_) + L"/" + std::to_wstring(apps) + L")";
  text += L"\uFF1A";
  text += receivedMiB == 0 ? std::to_wstring(received / 1024) + L"KB / " : std::to_wstring(receivedMiB) + L"M / ";
  text += std::to_wstring(totalMiB);
  text += L"M (<c #268fd6>" + std::to_wstring(percent) + L"%</c>)";
  setText(L"apkinstallprogresslabel", text);

  int bar = percent;
  if (percent == 1 || percent == 2) bar = 3;
  if (percent > 99) bar = 99;
  setProgress(L"apkinstallprogressbar", bar);
}

void CMainFrame::showApkInstalling() {
  setText(L"apkinstallprogresslabel", langString("Label_installingapp_waiting") + L" " + currentAppName_);
  if (setTimer(kApkInstallTimerId, kApkInstallTickMs)) apkTimerId_ = kApkInstallTimerId;
}

void CMainFrame::onApkInstallTick() {
  int step = gApkInstallStep.load() + 1;
  if (step == 1 || step == 2) {
    step = 3;
  } else if (step >= 98) {
    step = 98;
    killTimer(kApkInstallTimerId);
    apkTimerId_ = 0;
  }
  gApkInstallStep.store(step);
  setProgress(L"apkinstallprogressbar", step);
}
