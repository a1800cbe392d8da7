// The text rules of desktop shortcuts: the shell link's file name (Windows), and the
// freedesktop launcher (.desktop file) standing in for a shell link (Linux).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace helper {
namespace disk {

// The shell link's file name for a link name ("<name>.lnk"), at most |maxUnits| UTF-16 units
// (and never more than a file name may have): characters a file name refuses and controls
// become "_", leading dots and blanks and trailing dots and blanks are dropped, a device name
// ("CON", "LPT1", ...) gets a leading "_", and the name is cut on a character boundary. Empty
// when nothing usable is left or it does not fit. The result never names another folder.
std::wstring shellLinkFileName(const std::wstring& linkName, size_t maxUnits);

// One argument of an Exec line: plain when it holds no reserved character, otherwise in
// double quotes with the quoting escapes; "%" doubled. The result is still to be escaped as a
// string value (escapeEntryValue).
std::string quoteExecArgument(const std::string& argument);
// The escapes of a string value: "\\", "\n", "\t", "\r", and "\s" for a leading blank.
std::string escapeEntryValue(const std::string& value);

// The launcher's file name for a link name ("<name>.desktop"): separators and control
// characters become "_", leading dots are dropped, and the name is cut to fit a file name. Empty
// when nothing usable is left. The result never names another folder.
std::string launcherFileName(const std::wstring& linkName);

struct LauncherEntry {
  std::wstring name;                   // shown name
  std::string program;                 // host path of the target
  std::vector<std::string> arguments;  // already split
  std::string workingFolder;           // host path, may be empty
  std::string icon;                    // host path, may be empty
};
// The whole launcher file, UTF-8. A program whose path holds "%" is started through /bin/sh,
// its path the shell's first argument: desktops on GLib look the program up before they
// expand "%%", so they would find none.
std::string launcherText(const LauncherEntry& entry);

}  // namespace disk
}  // namespace helper
