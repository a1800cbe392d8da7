#include "app/job_summary.h"

#include <cstdio>
#include <string>

#include "model/downloader_model.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/disk.h"
#include "utility/system/drive_table.h"
#include "utility/system/ufile.h"

namespace app {
namespace {

void printPlace(const char* what, const std::wstring& drivePath) {
  std::printf("  %-18s %s\n", what, utility::toHostPath(drivePath).string().c_str());
}

}  // namespace

void printJobSummary(const char* outcome) {
  std::printf("installer job: %s\n", outcome);
  if (DownloaderModel* model = DownloaderModel::existing()) {
    const std::wstring folder = model->getInstallPath();
    printPlace("installed emulator", folder + L"corvide.exe");
    printPlace("data.ini", folder + L"data\\data.ini");
    const std::wstring shortcut = helper::disk::desktopShortcutPath(model->getRemoteSettings().shortcutName);
    if (!shortcut.empty()) {
      printPlace("shortcut", shortcut);
    } else {
      std::printf("  %-18s none (the campaign names no shortcut)\n", "shortcut");
    }
  }
  if (const auto record = utility::devOverride("TARNWICK_STANDIN_RECORD")) {
    std::printf("  %-18s %s\n", "launch record", record->c_str());
  }
  printPlace("log", utility::ufile::appDataDir() + L"\\downloader\\downloader.log");
  std::fflush(stdout);
}

}  // namespace app
