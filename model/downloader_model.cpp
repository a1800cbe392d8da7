#include "model/downloader_model.h"

#include "model/language_tables.h"
#include "telemetry/qv_reporter.h"
#include "utility/system/log.h"
#include "utility/system/window_ipc.h"

namespace {

DownloaderModel* gModel = nullptr;

}  // namespace

DownloaderModel& DownloaderModel::instance() {
  if (gModel == nullptr) gModel = new DownloaderModel();
  return *gModel;
}

DownloaderModel* DownloaderModel::existing() { return gModel; }

void DownloaderModel::destroy() {
  if (gModel != nullptr && gModel->threadsOutlived_) {
    common::logPrint("DownloaderModel::destroy", __LINE__, L"a work thread still runs: model kept");
  } else {
    delete gModel;
  }
  gModel = nullptr;
}

DownloaderModel::DownloaderModel() : reporter_(&QvReporter::instance()) {}

DownloaderModel::~DownloaderModel() = default;

bool DownloaderModel::popupExistPwnd() {
  utility::usystem::InstanceMutex mutex = utility::usystem::createInstanceMutex(kInstanceName, false, true);
  if (mutex.valid() && mutex.alreadyExisted()) mutex.close();
  if (!mutex.valid() && mutex.error() != 0) {
    // No lock can be made here (say a runtime folder someone else planted): running without
    // the guarantee beats never running at all.
    common::logPrint("DownloaderModel::popupExistPwnd", __LINE__, L"instance lock not made, error %d",
                     mutex.error());
    common::logPrint("DownloaderModel::popupExistPwnd", __LINE__, L"wnd not exist");
    return false;
  }
  if (mutex.valid()) {
    instanceMutex_ = std::move(mutex);
    common::logPrint("DownloaderModel::popupExistPwnd", __LINE__, L"wnd not exist");
    return false;
  }
  utility::WindowIPC ipc;
  if (ipc.open(kInstanceName)) ipc.postMessage(kShowInstanceMessage, 0, 0);
  common::logPrint("DownloaderModel::popupExistPwnd", __LINE__, L"wnd exist");
  return true;
}

void DownloaderModel::setLocale(const std::wstring& locale) {
  locale_ = locale;
  language_ = languageFromLocale(locale);
}

void DownloaderModel::reportUiEvent(const std::wstring& name, const std::wstring& label) {
  analytics_.postEvent(name, label);
}

void DownloaderModel::sendUiEvent(const std::wstring& name, const std::wstring& label) {
  analytics_.postEventNow(name, label);
}

bool DownloaderModel::shutdown() {
  defaultUrlTimer_.stop();
  instanceMutex_.close();
  if (onInstanceLockReleasedForTesting) onInstanceLockReleasedForTesting();
  // Ask first and end blocked transfers, so that the threads can end within their limits: a
  // thread that misses one cannot be ended and keeps running on this model.
  configThread_.requestStop();
  downloadThread_.requestStop();
  configClient_.cancel();
  downloadClient_.cancel();
  const bool configEnded = configThread_.stop(1000);
  const bool downloadEnded = downloadThread_.stop(1000);
  threadsOutlived_ = threadsOutlived_ || !configEnded || !downloadEnded;
  // Left during the download: once the transfer has stopped, its partial file goes.
  if (downloadEnded && downloadStarted_.load() && !downloadSucceeded_.load()) _leavePartialDownload();
  analytics_.close();
  taskPoster_.cancel();
  return !threadsOutlived_;
}
