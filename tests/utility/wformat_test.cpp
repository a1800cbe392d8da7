#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "utility/base/strings.h"
#include "utility/base/wformat.h"

namespace {

TEST(Format, WindowsConversions) {
  const std::wstring wide = L"wide 中";
  EXPECT_EQ(utility::format(L"[%s]", wide.c_str()), L"[wide 中]");
  EXPECT_EQ(utility::format(L"[%S|%hs]", "narrow", "too"), L"[narrow|too]");
  EXPECT_EQ(utility::format(L"%I64d %I64u %I64x", int64_t{-5000000000}, uint64_t{18000000000000000000u},
                            uint64_t{0xABCDEF0123}),
            L"-5000000000 18000000000000000000 abcdef0123");
  EXPECT_EQ(utility::format(L"%d%%", 42), L"42%");
  EXPECT_EQ(utility::format(L"%c%C", L'中', 'x'), L"中x");
  EXPECT_EQ(utility::format(L"%ls %ws", L"a", L"b"), L"a b");
  EXPECT_EQ(utility::format(L"%s", static_cast<const wchar_t*>(nullptr)), L"(null)");
}

// A wide character reaches "%c" promoted (to int where wchar_t has 16 bits): read as what was
// passed, never as a type the call did not pass.
TEST(Format, WideCharactersAsArguments) {
  EXPECT_EQ(utility::format(L"%c|%lc|%wc|%3c|%-3c|", L'\u00E9', L'\u4E2D', L'\uFFFF', L'x', L'y'),
            L"\u00E9|\u4E2D|\uFFFF|  x|y  |");
  EXPECT_EQ(utility::format(L"%hc%C%c", 'n', 'N', L'w'), L"nNw");
  const wchar_t highest = static_cast<wchar_t>(0xFFFD);
  EXPECT_EQ(utility::format(L"%c%d", highest, 7), (std::wstring{highest, L'7'}));  // nothing shifted
}

// Neither a precision nor a buffer too small cuts a character in half: every cut of a text
// with characters beyond U+FFFF (surrogate pairs in UTF-16) is a prefix of whole characters.
TEST(Format, CutsKeepCharactersWhole) {
  const std::wstring text = L"a\U0001F600\U0001F3AEb\u4E2D";
  const std::string whole = utility::wideToUtf8(text);
  const std::string replacement = "\xEF\xBF\xBD";
  for (int precision = 0; precision <= static_cast<int>(text.size()); ++precision) {
    const std::string cut = utility::wideToUtf8(utility::format(L"%.*s", precision, text.c_str()));
    EXPECT_EQ(whole.compare(0, cut.size(), cut), 0) << precision;
    EXPECT_EQ(cut.find(replacement), std::string::npos) << precision;
  }
  for (size_t capacity = 1; capacity <= text.size() + 2; ++capacity) {
    std::vector<wchar_t> buffer(capacity, L'#');
    EXPECT_EQ(utility::formatTo(buffer.data(), capacity, L"%s", text.c_str()), text.size());
    const std::string cut = utility::wideToUtf8(buffer.data());
    EXPECT_EQ(whole.compare(0, cut.size(), cut), 0) << capacity;
    EXPECT_EQ(cut.find(replacement), std::string::npos) << capacity;
    // Only the half of a pair is left out.
    EXPECT_GE(std::wcslen(buffer.data()) + 1, std::min(text.size(), capacity - 1)) << capacity;
  }
  EXPECT_EQ(utility::format(L"[%s]", text.c_str()), L"[" + text + L"]");
}

TEST(Format, FlagsWidthPrecisionTable) {
  struct Case {
    std::wstring got;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {utility::format(L"%04d", 812), L"0812"},
      {utility::format(L"%04d", 123456), L"123456"},
      {utility::format(L"%02d-%02d", 3, 9), L"03-09"},
      {utility::format(L"%5d|%-5d|", 42, 42), L"   42|42   |"},
      {utility::format(L"%+d % d", 5, 5), L"+5  5"},
      {utility::format(L"%05d", -42), L"-0042"},
      {utility::format(L"%.3d", 7), L"007"},
      {utility::format(L"%#x %#X %#o", 255, 255, 8), L"0xff 0XFF 010"},
      {utility::format(L"%08X", 0xBEEFu), L"0000BEEF"},
      {utility::format(L"%u", 4294967295u), L"4294967295"},
      {utility::format(L"%ld %lld", -1L, -9223372036854775807LL - 1), L"-1 -9223372036854775808"},
      {utility::format(L"%zu", size_t{77}), L"77"},
      {utility::format(L"%.2s|%5s|%-5s|", L"abc", L"ab", L"ab"), L"ab|   ab|ab   |"},
      {utility::format(L"%*d|%.*s", 4, 1, 2, L"xyz"), L"   1|xy"},
      {utility::format(L"%.2f %e", 3.14159, 1000.0), L"3.14 1.000000e+03"},
      {utility::format(L"%d", -2147483647 - 1), L"-2147483648"},
      {utility::format(L"100%"), L"100%"},
      {utility::format(L"%y%d", 1), L"%y1"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(Format, CutsSafelyWhenTooLong) {
  wchar_t small[8];
  std::wmemset(small, L'#', 8);
  const size_t needed = utility::formatTo(small, 5, L"%s-%d", L"abcdef", 12);
  EXPECT_EQ(needed, 9u);
  EXPECT_EQ(std::wstring(small), L"abcd");
  EXPECT_EQ(small[5], L'#');  // nothing written past the capacity

  const std::wstring big(20000, L'x');
  EXPECT_EQ(utility::format(L"<%s>", big.c_str()).size(), 20002u);
}

TEST(Format, ZeroCapacityWritesNothing) {
  wchar_t buffer[4];
  std::wmemset(buffer, L'#', 4);
  EXPECT_EQ(utility::formatTo(buffer, 0, L"abc%d", 12), 5u);
  EXPECT_EQ(buffer[0], L'#');
  EXPECT_EQ(utility::formatTo(nullptr, 0, L"%s", L"measure"), 7u);
  EXPECT_EQ(utility::formatTo(buffer, 1, L"abc"), 3u);  // room for the terminator only
  EXPECT_EQ(buffer[0], L'\0');
  EXPECT_EQ(buffer[1], L'#');
}

// Extreme integers with widths, and widths / precisions passed as arguments, however hostile.
TEST(Format, ExtremeValuesAndArgumentFieldsTable) {
  const int cap = utility::kMaxFormatField;
  struct Case {
    std::wstring got;
    std::wstring expected;
  };
  const Case cases[] = {
      {utility::format(L"%12d|%-12d|", INT_MIN, INT_MIN), L" -2147483648|-2147483648 |"},
      {utility::format(L"%012d|%+d|% d", INT_MIN, INT_MIN, INT_MIN), L"-02147483648|-2147483648|-2147483648"},
      {utility::format(L"%.12d", INT_MIN), L"-002147483648"},
      {utility::format(L"%*d|", 13, INT_MIN), L"  -2147483648|"},
      {utility::format(L"%22I64d", INT64_MIN), L"  -9223372036854775808"},
      {utility::format(L"%6hd|%5hhd", SHRT_MIN, -128), L"-32768| -128"},
      {utility::format(L"%*d|", -4, 7), L"7   |"},
      {utility::format(L"%.*d|%.*s", -1, 7, -3, L"all"), L"7|all"},
      // INT_MIN as a width: left-justified, and no wider than the cap.
      {utility::format(L"%*d|", INT_MIN, 5), L"5" + std::wstring(cap - 1, L' ') + L"|"},
      {utility::format(L"%*d|", INT_MAX, 5), std::wstring(cap - 1, L' ') + L"5|"},
      {utility::format(L"%.*d", INT_MAX, 5), std::wstring(cap - 1, L'0') + L"5"},
      {utility::format(L"%.*s|", INT_MAX, L"short"), L"short|"},
      {utility::format(L"%*s|", INT_MIN + 1, L"x"), L"x" + std::wstring(cap - 1, L' ') + L"|"},
      {utility::format(L"%999999999999d", 1), std::wstring(cap - 1, L' ') + L"1"},
      // Floats wider than any fixed scratch buffer are written whole.
      {utility::format(L"%*.1f|", 600, 2.5), std::wstring(597, L' ') + L"2.5|"},
      {utility::format(L"%.*f", INT_MAX, 0.5), L"0.5" + std::wstring(cap - 1, L'0')},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].got.size(), cases[i].expected.size()) << "case " << i;
    EXPECT_TRUE(cases[i].got == cases[i].expected) << "case " << i;
  }
  // The log formats into a fixed buffer: a hostile width is cut there, never overruns it.
  wchar_t line[64];
  EXPECT_EQ(utility::formatTo(line, 64, L"%*d", INT_MAX, 1), static_cast<size_t>(cap));
  EXPECT_EQ(std::wcslen(line), 63u);
}

}  // namespace
