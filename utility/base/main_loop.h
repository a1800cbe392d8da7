// The main thread's message loop.
#pragma once

namespace utility {

class MainLoop {
 public:
  // Runs until quit(); returns at once when quit() came first.
  static void run();
  // Ends run() (PostQuitMessage). Any thread.
  static void quit();
  // Runs pending work of the loop without blocking; returns whether anything ran (tests).
  static bool iterate();
  // SIGINT and SIGTERM (Linux), Ctrl+C, Ctrl+Break, closing the console, logging off and
  // shutting down (Windows console control events) end the loop like closing the window.
  static void quitOnTerminationSignals();
  static bool quitRequested();
  // Tests: runs what is pending (a posted quit included) and forgets an earlier quit.
  static void resetForTesting();
};

}  // namespace utility
