// Entry point: opens the log and the main-thread dispatcher, runs the application object and
// its message loop, and ends in order.
#include <string>

#include "app/command_line.h"
#include "app/download_impl.h"
#include "utility/system/log.h"
#include "utility/base/main_loop.h"
#include "utility/base/tasks.h"
#include "utility/system/ufile.h"

namespace {

void openLog() {
  std::wstring folder = utility::ufile::appDataDir() + L"\\downloader\\";
  if (!utility::ufile::exists(folder)) utility::ufile::makeDir(folder);
  common::setLogHook(common::log);
  utility::TaskDispatcher::create();
  common::initLog(folder + L"downloader.log");
  common::logPrint("wWinMain", __LINE__, L"\r\n\r\n start run");
}

}  // namespace

int main(int argc, char** argv) {
  openLog();
  utility::MainLoop::quitOnTerminationSignals();

  const std::wstring commandLine = commandLineText(argc, argv);
  DownloadImpl app;
  if (app.entrance(commandLine.c_str())) utility::MainLoop::run();
  app.shutdown();
  common::flushLog(2000);
  return 0;
}
