#include <glib-unix.h>
#include <glib.h>

#include <atomic>
#include <csignal>

#include "utility/main_loop.h"

namespace utility {

namespace {

std::atomic<bool> gQuit{false};
GMainLoop* loop() {
  static GMainLoop* const kLoop = g_main_loop_new(g_main_context_default(), FALSE);
  return kLoop;
}

gboolean onSignal(gpointer) {
  MainLoop::quit();
  return G_SOURCE_CONTINUE;
}

}  // namespace

void MainLoop::run() {
  if (gQuit.load()) return;
  g_main_loop_run(loop());
}

void MainLoop::quit() {
  gQuit.store(true);
  g_main_loop_quit(loop());
  g_main_context_wakeup(g_main_context_default());
}

bool MainLoop::iterate() { return g_main_context_iteration(g_main_context_default(), FALSE) != FALSE; }

void MainLoop::quitOnTerminationSignals() {
  g_unix_signal_add(SIGINT, onSignal, nullptr);
  g_unix_signal_add(SIGTERM, onSignal, nullptr);
}

bool MainLoop::quitRequested() { return gQuit.load(); }

}  // namespace utility
