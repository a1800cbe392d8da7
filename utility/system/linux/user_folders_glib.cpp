// The user's data and desktop folders as GLib finds them for every desktop program: the data
// folder from XDG_DATA_HOME, the desktop folder from user-dirs.dirs. GLib reads both once per
// process.
#include <glib.h>

#include <mutex>
#include <string>

#include "utility/system/drive_table.h"
#include "utility/system/ufile.h"
#include "utility/system/linux/drive_table_linux.h"

namespace utility {


namespace ufile {

namespace {

std::mutex gDesktopMutex;
HostPath gDesktopForTesting;  // guarded by gDesktopMutex

std::wstring withoutTrailingSeparator(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::wstring text = fromHostPath(folder);
  while (!text.empty() && (text.back() == L'\\' || text.back() == L'/')) text.pop_back();
  return text;
}

}  // namespace

std::wstring appDataDir() {
  // A relative XDG_DATA_HOME is invalid for the base-directory rules; GLib would take it.
  const gchar* data = g_get_user_data_dir();
  std::string folder = data != nullptr && data[0] == '/' ? data : homeFolder() + "/.local/share";
  return withoutTrailingSeparator(std::move(folder));
}

std::wstring desktopDir() {
  {
    std::lock_guard<std::mutex> lock(gDesktopMutex);
    if (!gDesktopForTesting.empty()) return withoutTrailingSeparator(gDesktopForTesting.native());
  }
  // GLib answers ~/Desktop itself when user-dirs.dirs names no desktop.
  const gchar* desktop = g_get_user_special_dir(G_USER_DIRECTORY_DESKTOP);
  std::string folder = desktop != nullptr && desktop[0] == '/' ? desktop : homeFolder() + "/Desktop";
  return withoutTrailingSeparator(std::move(folder));
}

void setDesktopDirForTesting(const HostPath& hostPath) {
  std::lock_guard<std::mutex> lock(gDesktopMutex);
  gDesktopForTesting = hostPath;
}

}  // namespace ufile
}  // namespace utility
