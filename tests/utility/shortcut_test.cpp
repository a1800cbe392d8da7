// The text rules of desktop shortcuts, on every platform: the shell link's file name, the
// launcher's file name, and the command-line splitting a launcher's arguments go through.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "utility/base/strings.h"
#include "utility/system/command_line_split.h"
#include "utility/system/shortcut.h"

namespace {

// UTF-16 units of wide text (UTF-32 on Linux, UTF-16 on Windows).
template <typename Char>
size_t utf16Units(const std::basic_string<Char>& text) {
  if constexpr (sizeof(Char) == 2) {
    return text.size();
  } else {
    size_t units = 0;
    for (const Char c : text) units += static_cast<uint32_t>(c) > 0xFFFF ? 2 : 1;
    return units;
  }
}

TEST(DesktopEntryRules, SplitsCommandLinesLikeTheRuntime) {
  struct Case {
    const wchar_t* line;
    std::vector<std::wstring> arguments;
  };
  const Case cases[] = {
      {L"", {}},
      {L"   \t ", {}},
      {L"-a  b\tc", {L"-a", L"b", L"c"}},
      {L"\"two words\" x", {L"two words", L"x"}},
      {L"a\"b c\"d", {L"ab cd"}},
      {L"\"\"", {L""}},
      {L"C:\\dir\\ x\\\\y", {L"C:\\dir\\", L"x\\\\y"}},  // backslashes without a quote are literal
      {L"\"a\\\\\" b", {L"a\\", L"b"}},                  // 2n backslashes + quote: n, quote toggles
      {L"a\\\"b", {L"a\"b"}},                            // 2n+1 backslashes + quote: literal quote
      {L"\"say \"\"hi\"\"\"", {L"say \"hi\""}},          // "" inside quotes
      {L"\"open", {L"open"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utility::splitCommandLine(c.line), c.arguments) << utility::wideToUtf8(c.line);
  }
}

TEST(DesktopEntryRules, LauncherFileNamesStayInTheFolder) {
  const std::pair<const wchar_t*, const char*> cases[] = {
      {L"Tarnwick 9", "Tarnwick 9.desktop"},
      {L"../evil", "_evil.desktop"},
      {L"..\\..\\evil", "_.._evil.desktop"},
      {L"/etc/passwd", "_etc_passwd.desktop"},
      {L"a/b\\c", "a_b_c.desktop"},
      {L"..", ""},
      {L".", ""},
      {L" .hidden", "hidden.desktop"},
      {L"line\nbreak\x01", "line_break_.desktop"},
      {L"", ""},
      {L"Ünïcødé 游戏", "Ünïcødé 游戏.desktop"},
      {L"say \"hi\"", "say _hi_.desktop"},       // no quote
      {L"c1\x85x\x9f", "c1_x_.desktop"},        // no C1 control
  };
  for (const auto& [link, file] : cases) {
    EXPECT_EQ(helper::disk::launcherFileName(link), file) << utility::wideToUtf8(link);
  }
  // Cut to a file name the system takes, on a character boundary.
  const std::string longName = helper::disk::launcherFileName(std::wstring(200, L'游'));
  EXPECT_LE(longName.size(), 255u);
  EXPECT_GT(longName.size(), 240u);
  EXPECT_EQ(utility::wideToUtf8(utility::utf8ToWide(longName)), longName);
  // A name the size of a whole remote document is cut as quickly (it used to be re-encoded once
  // per dropped character, hours for this one).
  const std::string huge = helper::disk::launcherFileName(std::wstring(8u << 20, L'x'));
  EXPECT_EQ(huge, std::string(247, 'x') + ".desktop");
}

TEST(ShellLinkRules, FileNamesStayInTheFolderAndAreNoDevice) {
  const std::pair<const wchar_t*, const wchar_t*> cases[] = {
      {L"Tarnwick 9", L"Tarnwick 9.lnk"},
      {L"../evil", L"_evil.lnk"},
      {L"..\\..\\evil", L"_.._evil.lnk"},
      {L"C:\\Windows\\evil", L"C__Windows_evil.lnk"},
      {L"a:b*c?d\"e<f>g|h", L"a_b_c_d_e_f_g_h.lnk"},
      {L"..", L""},
      {L".", L""},
      {L"", L""},
      {L" . ", L""},
      {L" .hidden", L"hidden.lnk"},
      {L"name. . ", L"name.lnk"},  // the system would drop them, making two names one file
      {L"line\nbreak\x01", L"line_break_.lnk"},
      {L"c1\x85x\x9f", L"c1_x_.lnk"},
      {L"Ünïcødé 游戏", L"Ünïcødé 游戏.lnk"},
      {L"CON", L"_CON.lnk"},
      {L"nul.txt", L"_nul.txt.lnk"},
      {L"com1", L"_com1.lnk"},
      {L"lpt9 ", L"_lpt9.lnk"},
      {L"Aux .x", L"_Aux .x.lnk"},
      {L"COM10", L"COM10.lnk"},
      {L"CONSOLE", L"CONSOLE.lnk"},
  };
  for (const auto& [link, file] : cases) {
    EXPECT_EQ(helper::disk::shellLinkFileName(link, 260), file) << utility::wideToUtf8(link);
  }
}

TEST(ShellLinkRules, NamesAreCutToTheRoomGivenOnWholeCharacters) {
  struct Case {
    std::wstring link;
    size_t room;
    std::wstring file;
  };
  const std::wstring game = L"a\U0001F3AE";  // one character, two UTF-16 units
  const Case cases[] = {
      {std::wstring(300, L'x'), 200, std::wstring(196, L'x') + L".lnk"},
      {std::wstring(300, L'x'), 1000, std::wstring(251, L'x') + L".lnk"},  // a file name's limit
      {L"ab", 4, L""},                                                     // no room for a name
      {L"ab", 5, L"a.lnk"},
      {L"ab.cd", 7, L"ab.lnk"},  // no trailing dot after the cut
      {game, 6, L"a.lnk"},       // never half a character
      {game, 7, game + L".lnk"},
  };
  for (const Case& c : cases) {
    const std::wstring file = helper::disk::shellLinkFileName(c.link, c.room);
    EXPECT_EQ(file, c.file) << utility::wideToUtf8(c.link) << " in " << c.room;
    EXPECT_LE(utf16Units(file), c.room);
  }
}

}  // namespace
