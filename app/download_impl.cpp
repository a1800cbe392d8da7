#include "app/download_impl.h"

#include <curl/curl.h>

#include <cerrno>

#include "model/downloader_model.h"
#include "telemetry/qv_reporter.h"
#include "toolkit/skin_setup.h"
#include "toolkit/text_table.h"
#include "utility/system/log.h"
#include "utility/skin/skin_archive.h"
#include "utility/system/ufile.h"

bool DownloadImpl::entrance(const wchar_t* commandLine) {
  DownloaderModel& model = DownloaderModel::instance();
  if (model.popupExistPwnd()) {
    common::logPrint("DownloadImpl::entrance", __LINE__, L"It's exist");
    return false;
  }
  common::logPrint("DownloadImpl::entrance", __LINE__, L"path %s", utility::ufile::moduleDir().c_str());
  curl_global_init(CURL_GLOBAL_ALL);
  model.init(commandLine);

  // The toolkit: language, skin folder beside the executable, skin archive and text table.
  const std::wstring locale = model.getLocale();
  toolkit::setCurrentLanguage(locale.empty() ? std::wstring(L"en_US") : locale);
  toolkit::setResourceFolder(utility::ufile::moduleDir() + L"skin");
  toolkit::loadSkinArchive(utility::SkinArchive::kResourceId, L"multi_language.tsv");

  showMainFrame();

  // From here on a second instance can find this one.
  if (!ipc_.create(kInstanceName, this)) {
    common::logPrint("DownloadImpl::entrance", __LINE__, L"create ipc window failed, errno %d", errno);
  }

  model.reportUiEvent(L"download_run", model.getOpenid());
  QvReporter::instance().report(L"run_downloader");
  return true;
}

void DownloadImpl::showMainFrame() {
  common::logPrint("DownloadImpl::showMainFrame", __LINE__, L"create main");
}

int DownloadImpl::onHandleWindowIPC(unsigned message, uintptr_t, intptr_t) {
  common::logPrint("DownloadImpl::onHandleWindowIPC", __LINE__, L"onHandleWindowIPC, msg = %d", message);
  if (message == kShowInstanceMessage) showMainFrame();
  return 0;
}

void DownloadImpl::shutdown() {
  // The receiver goes before the model lets the instance lock go: a launch in between would
  // otherwise take the lock, find the receiver's name still taken and run without one.
  ipc_.close();
  bool threadsEnded = QvReporter::instance().stop();
  if (DownloaderModel* model = DownloaderModel::existing()) {
    threadsEnded = model->shutdown() && threadsEnded;
    DownloaderModel::destroy();
  }
  // A thread that outlived its limit may still be inside libcurl.
  if (threadsEnded) curl_global_cleanup();
  common::logPrint("DownloadImpl::shutdown", __LINE__, L"shutdown finished");
}
