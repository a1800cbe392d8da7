// The start step on Windows. There are no rights to give up: the manifest asks for elevation,
// and the emulator is started later with the desktop shell's un-elevated token. What an elevated
// program must settle first is where it loads libraries from: it usually runs from the user's
// download folder, where anyone who can write there could plant a library a later LoadLibrary
// by name would pick up. From here on such loads search the system folder only.
#include <windows.h>

#include <string>

#include "utility/system/privilege.h"

namespace utility::usystem {

ProcessStart prepareProcessStart() {
  ProcessStart start;
  // The current folder leaves the search of libraries and of programs named without a path.
  ::SetDllDirectoryW(L"");
  // Looked up at run time: Windows 7 without its 2011 update and older systems do not have it.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
      reinterpret_cast<void*>(kernel != nullptr ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr));
  if (setDefault == nullptr) {
    start.logText = L"library search not limited to the system folder: not supported here";
  } else if (!setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    start.logText = L"library search not limited to the system folder, error " + std::to_wstring(::GetLastError());
  }
  return start;
}

}  // namespace utility::usystem
