// Entry point: opens the log and the main-thread dispatcher, runs the application object and
// its message loop, and ends in order.
#include <string>

#include "app/download_impl.h"
#include "utility/system/log.h"
#include "utility/base/main_loop.h"
#include "utility/base/strings.h"
#include "utility/base/tasks.h"
#include "utility/system/ufile.h"

namespace {

// The command line as the system hands it to a Windows program: the text after the
// executable's name, arguments with blanks quoted.
std::wstring commandLineText(int argc, char** argv) {
  std::wstring text;
  for (int i = 1; i < argc; ++i) {
    std::wstring argument = utility::ansiToWide(argv[i]);
    if (i > 1) text += L' ';
    if (argument.find(L' ') != std::wstring::npos || argument.empty()) {
      text += L'"' + argument + L'"';
    } else {
      text += argument;
    }
  }
  return text;
}

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
