#include <glib-unix.h>
#include <glib.h>

#include <atomic>
#include <csignal>

#include "utility/base/main_loop.h"

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

gboolean quitFromTheLoop(gpointer) {
  g_main_loop_quit(loop());
  return G_SOURCE_REMOVE;
}

}  // namespace

void MainLoop::run() {
  if (gQuit.load()) return;
  g_main_loop_run(loop());
}

void MainLoop::quit() {
  gQuit.store(true);
  // Posted like a quit message: the loop ends itself when it gets to it. Quitting it directly
  // from another thread could fall between run()'s check and the loop's start and be lost.
  g_idle_add_full(G_PRIORITY_HIGH, quitFromTheLoop, nullptr, nullptr);
}

bool MainLoop::iterate() { return g_main_context_iteration(g_main_context_default(), FALSE) != FALSE; }

void MainLoop::quitOnTerminationSignals() {
  g_unix_signal_add(SIGINT, onSignal, nullptr);
  g_unix_signal_add(SIGTERM, onSignal, nullptr);
}

bool MainLoop::quitRequested() { return gQuit.load(); }

void MainLoop::resetForTesting() {
  while (g_main_context_iteration(g_main_context_default(), FALSE)) {
  }
  gQuit.store(false);
}

}  // namespace utility
