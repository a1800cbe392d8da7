// Installer download: the full emulator installer, from the remote address or, when none has
// arrived by the fourth tick of the wait task, from the generation's fixed address; over the
// platform client (two attempts) and then libcurl. Progress, success and failure reach the main
// thread as posted tasks; the collection service and the log get the outcome.
#include <rapidjson/document.h>

#include <algorithm>
#include <atomic>

#include "model/config_imp.h"
#include "model/downloader_model.h"
#include "model/installer_partial.h"
#include "net/fetch_rules.h"
#include "net/qv_curl_downloader.h"
#include "telemetry/qv_reporter.h"
#include "utility/base/clock.h"
#include "utility/base/sha256.h"
#include "utility/base/strings.h"
#include "utility/system/log.h"
#include "utility/system/ufile.h"

namespace {

constexpr uint32_t kDefaultUrlPeriodMs = 1000;
// A libcurl reply smaller than this is an error page, not the installer.
constexpr uint64_t kMinInstallerBytes = 1048576;

// Runs of the wait task in this process (main thread only).
int gDefaultUrlTicks = 0;
std::atomic<uint32_t> gDefaultUrlPeriodMs{kDefaultUrlPeriodMs};
std::atomic<uint32_t (*)()> gTickSource{nullptr};

uint32_t readTick() {
  if (auto source = gTickSource.load()) return source();
  return utility::tickCount();
}

// The installer is run with administrator rights: it comes over https only (a redirect to plain
// http is refused too), and a server that trickles below the minimum rate loses the transfer to
// the fallback instead of holding it for hours. An error page is never taken for the installer,
// however large, nor a body whose end cannot be told from a cut connection.
net::FetchRules installerRules() {
  return net::FetchRules{.httpsOnly = true,
                         .minBytesPerSecond = net::kLowRateBytesPerSecond,
                         .minRateWindow = net::lowRateWindow(),
                         .httpErrorsFail = true,
                         .delimitedBodyOnly = true};
}

// False, logged, for a file at |file| smaller than the smallest installer (or none at all).
bool largeEnough(const char* label, const std::wstring& file) {
  uint64_t size = 0;
  if (utility::ufile::fileSize(file, size) && size >= kMinInstallerBytes) return true;
  common::logPrint(label, __LINE__, L"download refused: %I64u bytes, no installer", size);
  return false;
}

}  // namespace

void DownloaderModel::startDownloadPlayer() {
  // After a failure a retry is a fresh download: the ended thread is let go first (it may still
  // be writing its last log record).
  if (downloadFailed_) {
    downloadThread_.stop(utility::kWaitForever);
    downloadFailed_ = false;
  }
  if (!getPlayerUrl().empty()) {
    Runable* task = makeRunable(this, &DownloaderModel::_threadDownloadPlayer);
    if (!downloadThread_.start(task)) task->release();  // held already: a second click starts nothing
    return;
  }
  common::logPrint("DownloaderModel::startDownloadPlayer", __LINE__, L"start downloader. bug getting player url");
  if (defaultUrlTimer_.id() != 0) return;  // already waiting
  defaultUrlTimer_.start(gDefaultUrlPeriodMs.load(), makeRunable(this, &DownloaderModel::_waitForPlayerUrl));
}

// The wait task, at every tick of the default-URL timer (main thread).
void DownloaderModel::_waitForPlayerUrl() {
  const int ticks = gDefaultUrlTicks++;
  if (ticks < 3 && getPlayerUrl().empty()) return;
  // The address is used only once the config thread has ended (both of its documents), but the
  // main loop is never held for it: a thread still fetching is looked at again at the next tick.
  if (configThread_.isRunning()) return;
  configThread_.stop(utility::kWaitForever);  // ended: returns at once
  if (getPlayerUrl().empty()) {
    setPlayerUrl(ConfigImp::instance().defaultPlayerUrl());
    reportUiEvent(L"download_defaultUrl", openid_);
  }
  startDownloadPlayer();
  defaultUrlTimer_.stop();
}

void DownloaderModel::_threadDownloadPlayer() {
  const char* label = "DownloaderModel::_threadDownloadPlayer";
  common::logPrint(label, __LINE__, L"download player");
  if (!utility::ufile::exists(installPath_)) utility::ufile::makeDir(installPath_);
  progressThrottle_.reset();
  const std::wstring target = ConfigImp::instance().installerPath(installPath_);
  downloadStartTick_ = readTick();
  downloadFailure_ = net::DownloadFailure::kUnknown;
  downloadSucceeded_.store(false);
  downloadStarted_.store(true);

  // A partial file of an earlier attempt or run for the same address is continued; the bytes are
  // hashed as they arrive (the kept ones once, when the download continues).
  const std::wstring playerUrl = getPlayerUrl();
  const InstallerFacts facts = getInstallerFacts();
  InstallerPartial partial(target);
  utility::Sha256 digest;
  net::FileTransfer transfer;
  transfer.digest = &digest;
  transfer.resume = partial.resumePointFor(playerUrl);
  // Kept as it is when an attempt fails before the server answers.
  transfer.validator = transfer.resume.validator;
  transfer.total = transfer.resume.total;
  int64_t resumed = 0;

  bool ok = _downloadByNet(target, partial.file(), transfer);
  resumed = std::max(resumed, transfer.resumedBytes);
  // A stopping model does not start a transfer that cannot be cancelled.
  if (!ok && !downloadThread_.isStopRequested()) {
    transfer.resume = partial.keepAfter(playerUrl, transfer);
    common::logPrint(label, __LINE__, L"download by qvcurl");
    ok = _downloadByCurl(partial.file(), transfer);
    resumed = std::max(resumed, transfer.resumedBytes);
  }
  if (ok) ok = _checkInstaller(partial.file(), digest, facts);
  if (ok) {
    partial.forget();
    ok = utility::ufile::moveFile(partial.file(), target, 1 | 2);
    // It is run next: it must be a program anyone who may read it can start.
    if (ok) ok = utility::ufile::setExecutable(target);
  }
  if (resumed > 0) common::logPrint(label, __LINE__, L"download resumed with %I64d bytes kept", resumed);
  const uint32_t endTick = readTick();

  downloadSucceeded_.store(ok);
  if (!ok) {
    // A partial file the server named a validator for is kept, to be continued by a retry or a
    // later run; anything else goes (a partial file could hold the drive full, and a file that
    // failed its check is no installer).
    const bool keep = downloadFailure_ != net::DownloadFailure::kDiskFull &&
                      downloadFailure_ != net::DownloadFailure::kIntegrityMismatch &&
                      partial.keepAfter(playerUrl, transfer).valid();
    if (keep) {
      common::logPrint(label, __LINE__, L"partial download kept for a later attempt: %s", partial.file().c_str());
      if (utility::ufile::exists(target)) utility::ufile::removeFile(target);
    } else {
      _removePartialDownload();
    }
  }

  if (ok) {
    taskPoster_.postFunction([this] {
      if (onDownloadSuccess) onDownloadSuccess();
    });
  } else {
    taskPoster_.postFunction([this, cause = downloadFailure_] {
      downloadFailed_ = true;
      if (onDownloadFail) onDownloadFail(cause);
    });
  }
  if (ok) {
    reporter_->report(L"download_success");
    const int64_t duration = static_cast<int64_t>(readTick() - downloadStartTick_);
    reporter_->report(L"download_duration", [duration](rapidjson::Value& properties, auto& allocator) {
      properties.AddMember("duration", duration, allocator);
    });
  } else {
    reporter_->report(L"download_fail");
  }
  common::logPrint(label, __LINE__, L"download finished, success = %d, elapse = %d", ok ? 1 : 0,
                   roundedElapseSeconds(downloadStartTick_, endTick));
}

bool DownloaderModel::_downloadByNet(const std::wstring& target, const std::wstring& file,
                                     net::FileTransfer& transfer) {
  const char* label = "DownloaderModel::_downloadByNet";
  progressThrottle_.reset();
  const std::wstring playerUrl = getPlayerUrl();
  common::logPrint(label, __LINE__, L"start download player playerurl is %s", playerUrl.c_str());

  const net::FetchRules rules = installerRules();
  bool ok = downloadClient_.downloadToFile(playerUrl, file, this, rules, &transfer);
  if (!ok) downloadFailure_ = downloadClient_.lastFailure();
  // A second real attempt: the client is not cancelled first, since a cancelled client stays
  // stopped and would refuse it. A shutdown's cancel still ends it at once. It continues what the
  // first one left where the server allows it.
  if (!ok && !downloadThread_.isStopRequested()) {
    InstallerPartial partial(target);
    transfer.resume = partial.keepAfter(playerUrl, transfer);
    ok = downloadClient_.downloadToFile(playerUrl, file, this, rules, &transfer);
    if (!ok && downloadClient_.lastFailure() != net::DownloadFailure::kUnknown) {
      downloadFailure_ = downloadClient_.lastFailure();
    }
  }
  // Nothing smaller than an installer is accepted from this stack either (a 200 reply with an
  // error page, an empty body).
  if (ok) ok = largeEnough(label, file);
  if (!ok) {
    common::logPrint(label, __LINE__, L"download file error file = %s", target.c_str());
    return false;
  }
  common::logPrint(label, __LINE__, L"download file success file = %s", target.c_str());
  return true;
}

bool DownloaderModel::_downloadByCurl(const std::wstring& file, net::FileTransfer& transfer) {
  const char* label = "DownloaderModel::_threadDownloadPlayer";
  auto onProgress = [this](int percent) {
    taskPoster_.postFunction([this, percent] {
      if (onCurlProgress) onCurlProgress(percent);
    });
  };
  auto onBytes = [this](int64_t received, int64_t total) {
    taskPoster_.postFunction([this, received, total] {
      if (onCurlTransfer) onCurlTransfer(received, total);
    });
  };
  net::DownloadFailure curlFailure = net::DownloadFailure::kUnknown;
  bool ok = QvCurlDownloader::downloadFile(file, utility::wideToAnsi(getPlayerUrl()), onProgress, installerRules(),
                                           &curlFailure, onBytes, &transfer);
  if (ok) ok = largeEnough(label, file);
  if (curlFailure != net::DownloadFailure::kUnknown) downloadFailure_ = curlFailure;
  return ok;
}

bool DownloaderModel::_checkInstaller(const std::wstring& file, const utility::Sha256& digest,
                                      const InstallerFacts& facts) {
  const char* label = "DownloaderModel::_checkInstaller";
  uint64_t size = 0;
  utility::ufile::fileSize(file, size);
  bool ok = true;
  if (facts.size >= 0 && size != static_cast<uint64_t>(facts.size)) {
    common::logPrint(label, __LINE__, L"installer integrity check failed: size %I64u, expected %I64d", size,
                     facts.size);
    ok = false;
  }
  if (ok && !facts.sha256.empty()) {
    // Every byte of the file went through the digest, once, in order; a digest of another count
    // of bytes is no digest of this file.
    const std::string actual = digest.size() == size ? digest.hex() : std::string();
    if (actual != facts.sha256) {
      common::logPrint(label, __LINE__, L"installer integrity check failed: sha256 %S, expected %S",
                       actual.empty() ? "unknown" : actual.c_str(), facts.sha256.c_str());
      ok = false;
    }
  }
  if (!ok) {
    downloadFailure_ = net::DownloadFailure::kIntegrityMismatch;
  } else if (facts.size >= 0 || !facts.sha256.empty()) {
    common::logPrint(label, __LINE__, L"installer integrity check passed");
  }
  return ok;
}

void DownloaderModel::_removePartialDownload() {
  const std::wstring target = ConfigImp::instance().installerPath(installPath_);
  InstallerPartial(target).discard();
  if (utility::ufile::exists(target) && utility::ufile::removeFile(target)) {
    common::logPrint("DownloaderModel::_removePartialDownload", __LINE__, L"partial download removed: %s",
                     target.c_str());
  }
}

void DownloaderModel::_leavePartialDownload() {
  const std::wstring target = ConfigImp::instance().installerPath(installPath_);
  InstallerPartial partial(target);
  if (!partial.resumable()) {
    _removePartialDownload();
    return;
  }
  common::logPrint("DownloaderModel::_leavePartialDownload", __LINE__, L"partial download kept for a later run: %s",
                   partial.file().c_str());
  if (utility::ufile::exists(target)) utility::ufile::removeFile(target);
}

bool DownloaderModel::onHttpProgress(const char*, int, int64_t received, int64_t total) {
  if (!progressThrottle_.due(readTick())) return true;
  taskPoster_.postFunction([this, received, total] {
    progressPercent_ = total > 0 ? static_cast<int>(static_cast<double>(received) / static_cast<double>(total) * 100.0) : 0;
    if (onDownloadProgress) onDownloadProgress(progressPercent_, received, total);
  });
  return true;
}

int DownloaderModel::roundedElapseSeconds(uint32_t startTick, uint32_t endTick) {
  const uint32_t seconds = (endTick - startTick) / 1000;
  return static_cast<int>((seconds + 29) / 30 * 30);
}

void DownloaderModel::setDefaultUrlPeriodForTesting(uint32_t periodMs) {
  gDefaultUrlPeriodMs.store(periodMs > 0 ? periodMs : kDefaultUrlPeriodMs);
}

void DownloaderModel::setTickSourceForTesting(uint32_t (*tick)()) { gTickSource.store(tick); }

int DownloaderModel::defaultUrlTicksForTesting() { return gDefaultUrlTicks; }

void DownloaderModel::resetDefaultUrlTicksForTesting() { gDefaultUrlTicks = 0; }
