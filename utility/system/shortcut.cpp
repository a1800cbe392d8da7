// Shell-link file names; desktop-entry text: Exec quoting, string escapes and launcher file names.
#include "utility/system/shortcut.h"

#include <algorithm>
#include <cstdint>

#include "utility/base/strings.h"

namespace helper::disk {

namespace {

constexpr size_t kMaxFileNameBytes = 255;
constexpr const char* kLauncherSuffix = ".desktop";

bool isControl(wchar_t c) { return c < 0x20 || c == 0x7f; }

// A value may hold no control character but those with an escape.
std::string escapeValue(const std::string& value, bool escapeLeadingBlank) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case ' ': out += (i == 0 && escapeLeadingBlank) ? "\\s" : " "; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) out.push_back(c);
    }
  }
  return out;
}

// UTF-16 units of one wide character (UTF-32 text takes two for those above U+FFFF).
template <typename Char>
size_t utf16Units(Char c) {
  if constexpr (sizeof(Char) > 2) {
    return static_cast<uint32_t>(c) > 0xFFFF ? 2 : 1;
  } else {
    return 1;
  }
}

bool isDeviceName(const std::wstring& name) {
  // The part before the first dot names a device whatever follows ("NUL.txt", "com1 .lnk").
  std::wstring base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  std::wstring upper;
  for (const wchar_t c : base) upper.push_back(c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c);
  if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL" || upper == L"CONIN$" ||
      upper == L"CONOUT$") {
    return true;
  }
  // COM1..COM9 and LPT1..LPT9, also with the superscript digits the system takes for them.
  return upper.size() == 4 && (upper.rfind(L"COM", 0) == 0 || upper.rfind(L"LPT", 0) == 0) &&
         ((upper[3] >= L'1' && upper[3] <= L'9') || upper[3] == 0xB9 || upper[3] == 0xB2 || upper[3] == 0xB3);
}

void dropTrailingDotsAndBlanks(std::wstring& name) {
  while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
}

}  // namespace

std::wstring shellLinkFileName(const std::wstring& linkName, size_t maxUnits) {
  static const std::wstring kRefused = L"\\/:*?\"<>|";
  constexpr size_t kMaxComponentUnits = 255;
  const std::wstring suffix = L".lnk";
  std::wstring name;
  for (const wchar_t c : linkName) {
    const bool refused = kRefused.find(c) != std::wstring::npos || isControl(c) || (c >= 0x80 && c < 0xa0);
    name.push_back(refused ? L'_' : c);
  }
  // Leading dots would hide the file (or, as "..", name the parent); the system drops trailing
  // dots and blanks itself, which would make "a." and "a" one file.
  size_t lead = 0;
  while (lead < name.size() && (name[lead] == L'.' || name[lead] == L' ')) ++lead;
  name.erase(0, lead);
  dropTrailingDotsAndBlanks(name);
  if (name.empty()) return {};
  if (isDeviceName(name)) name.insert(0, 1, L'_');
  const size_t room = std::min(maxUnits, kMaxComponentUnits);
  if (room <= suffix.size()) return {};
  size_t units = 0;
  size_t keep = 0;
  while (keep < name.size() && units + utf16Units(name[keep]) <= room - suffix.size()) {
    units += utf16Units(name[keep]);
    ++keep;
  }
  // Never half a surrogate pair (UTF-16 strings).
  if (keep > 0 && keep < name.size() && name[keep - 1] >= 0xD800 && name[keep - 1] <= 0xDBFF) --keep;
  name.resize(keep);
  dropTrailingDotsAndBlanks(name);
  if (name.empty()) return {};
  return name + suffix;
}

std::string quoteExecArgument(const std::string& argument) {
  static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string out;
  const bool quote = argument.empty() || argument.find_first_of(kReserved) != std::string::npos;
  if (quote) out.push_back('"');
  for (const char c : argument) {
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) out.push_back('\\');
    out.push_back(c);
    if (c == '%') out.push_back('%');  // "%" starts a field code
  }
  if (quote) out.push_back('"');
  return out;
}

std::string escapeEntryValue(const std::string& value) { return escapeValue(value, true); }

std::string launcherFileName(const std::wstring& linkName) {
  std::wstring name;
  for (const wchar_t c : linkName) {
    // Quotes and C1 controls too: the name also stands for a shell link, whose names refuse them.
    const bool refused = c == L'/' || c == L'\\' || c == L'"' || isControl(c) || (c >= 0x80 && c < 0xa0);
    name.push_back(refused ? L'_' : c);
  }
  // Leading dots would hide the file (or, as "..", name the parent).
  size_t lead = 0;
  while (lead < name.size() && (name[lead] == L'.' || name[lead] == L' ')) ++lead;
  name.erase(0, lead);
  // Whole characters up to the file-name limit, encoded once each (the name may be huge).
  const size_t room = kMaxFileNameBytes - std::char_traits<char>::length(kLauncherSuffix);
  std::string bytes;
  for (const wchar_t c : name) {
    const std::string encoded = utility::wideToUtf8(std::wstring(1, c));
    if (bytes.size() + encoded.size() > room) break;
    bytes += encoded;
  }
  if (bytes.empty()) return {};
  return bytes + kLauncherSuffix;
}

std::string launcherText(const LauncherEntry& entry) {
  std::wstring shown;
  for (const wchar_t c : entry.name) shown.push_back(isControl(c) ? L' ' : c);
  utility::trim(shown);
  if (shown.empty()) shown = utility::utf8ToWide(entry.program.substr(entry.program.rfind('/') + 1));

  std::string exec;
  if (entry.program.find('%') != std::string::npos) {
    // GLib looks for the program named first before it turns "%%" back into "%", and finds no
    // such file: a program whose path holds "%" is started by the shell, which receives the
    // path as an argument (those are expanded as written).
    exec = "/bin/sh -c " + quoteExecArgument("exec \"$0\" \"$@\"") + " ";
  }
  exec += quoteExecArgument(entry.program);
  for (const std::string& argument : entry.arguments) {
    exec += ' ';
    exec += quoteExecArgument(argument);
  }

  std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
  text += "Name=" + escapeValue(utility::wideToUtf8(shown), true) + "\n";
  text += "Exec=" + escapeValue(exec, false) + "\n";
  if (!entry.workingFolder.empty()) text += "Path=" + escapeValue(entry.workingFolder, true) + "\n";
  if (!entry.icon.empty()) text += "Icon=" + escapeValue(entry.icon, true) + "\n";
  text += "Terminal=false\n";
  return text;
}

}  // namespace helper::disk
