#include <windows.h>

#include <cstdio>

#include "app/quiet_console.h"

namespace app {
namespace {

bool usable(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

void attachQuietConsole() {
  const bool output = usable(STD_OUTPUT_HANDLE);
  const bool error = usable(STD_ERROR_HANDLE);
  if (output && error) return;  // redirected by the caller (a script, a pipe, a file)
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;  // started without a console: nowhere to write
  if (!output) std::freopen("CONOUT$", "w", stdout);
  if (!error) std::freopen("CONOUT$", "w", stderr);
}

}  // namespace app
