#include <gtest/gtest.h>

#include "utility/base/strings.h"

namespace {

using utility::StringList;
using utility::StringMap;

TEST(Split, Table) {
  struct Case {
    const wchar_t* text;
    const wchar_t* delimiter;
    StringList expected;
  };
  const Case cases[] = {
      {L"a| b |", L"|", {L"a", L"b", L""}},
      {L"  whole text ", L"|", {L"whole text"}},
      {L"a||b", L"|", {L"a", L"", L"b"}},
      {L"|", L"|", {L"", L""}},
      {L"x--y--", L"--", {L"x", L"y", L""}},
      {L"aaa", L"aa", {L"", L"a"}},  // occurrences do not overlap
      {L"", L"|", {}},
      {L"abc", L"", {}},
      {L"tab\tstays", L"|", {L"tab\tstays"}},  // only U+0020 is a blank
  };
  for (const Case& c : cases) {
    StringList out{L"kept"};
    utility::split(c.text, c.delimiter, out);
    StringList expected{L"kept"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(out, expected) << "text: " << utility::wideToUtf8(c.text);
  }
}

TEST(ParseKeyValues, KeysTrimmedLoweredLaterWins) {
  StringMap map;
  utility::parseKeyValues({L"Name = Value=2", L"=x", L"novalue", L" NAME=again ", L"Package=p", L"k="},
                          L"=", map);
  EXPECT_EQ(map, (StringMap{{L"name", L"again"}, {L"package", L"p"}, {L"k", L""}}));
  StringMap first;
  utility::parseKeyValues({L"Name = Value=2"}, L"=", first);
  EXPECT_EQ(first.at(L"name"), L"Value=2");
  std::wstring value;
  EXPECT_TRUE(utility::getValue(map, L"k", value));
  EXPECT_EQ(value, L"");
  EXPECT_FALSE(utility::getValue(map, L"Name", value));  // exact, case-sensitive keys
}

TEST(TextTools, TrimLowerDigits) {
  std::wstring s = L"   ";
  utility::trim(s);
  EXPECT_EQ(s, L"");
  s = L"\t a b \t";
  utility::trim(s);
  EXPECT_EQ(s, L"\t a b \t");
  s = L"  a b  ";
  utility::trim(s);
  EXPECT_EQ(s, L"a b");

  s = L"ABC É Zz";
  utility::toLower(s);
  EXPECT_EQ(s, L"abc É zz");

  EXPECT_TRUE(utility::isAllDigits(L""));
  EXPECT_TRUE(utility::isAllDigits(L"0123456789"));
  EXPECT_FALSE(utility::isAllDigits(L"12a"));
  EXPECT_FALSE(utility::isAllDigits(L" 1"));
  EXPECT_FALSE(utility::isAllDigits(L"١٢"));  // other scripts' digits are not decimal digits here

  EXPECT_EQ(utility::leadingInt(L"2500"), 2500);
  EXPECT_EQ(utility::leadingInt(L" 42abc"), 42);
  EXPECT_EQ(utility::leadingInt(L"abc"), 0);
  EXPECT_EQ(utility::leadingInt(L"-7"), -7);
  EXPECT_EQ(utility::leadingInt(L"99999999999999999999"), 2147483647);
}

TEST(Conversions, Utf8RoundTripAndInvalidInput) {
  const std::string utf8 = "d\xC3\xA9j\xC3\xA0 \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80";
  const std::wstring wide = utility::utf8ToWide(utf8);
  EXPECT_EQ(wide, L"déjà 中文 \U0001F600");
  EXPECT_EQ(utility::wideToUtf8(wide), utf8);

  // Invalid bytes, truncated sequences, overlong forms and surrogates become U+FFFD.
  EXPECT_EQ(utility::utf8ToWide("a\xFF" "b"), L"a\uFFFDb");
  EXPECT_EQ(utility::utf8ToWide("a\xE4\xB8"), L"a\uFFFD");
  EXPECT_EQ(utility::utf8ToWide("\xC0\xAF"), L"\uFFFD\uFFFD");
  EXPECT_EQ(utility::utf8ToWide("\xED\xA0\x80"), L"\uFFFD\uFFFD\uFFFD");  // maximal subparts

  // Length -1 stops at the terminator, which is not included; bad arguments give empty text.
  const char text[] = "abc";
  EXPECT_EQ(utility::toWide(text, -1, utility::kCodePageUtf8), L"abc");
  EXPECT_EQ(utility::toWide(text, 2, utility::kCodePageUtf8), L"ab");
  EXPECT_EQ(utility::toWide(nullptr, -1, utility::kCodePageUtf8), L"");
  EXPECT_EQ(utility::toWide(text, -2, utility::kCodePageUtf8), L"");
  EXPECT_EQ(utility::toNarrow(L"abc", -1, utility::kCodePageUtf8), "abc");
  EXPECT_EQ(utility::toNarrow(nullptr, 3, utility::kCodePageUtf8), "");
}

// Characters above U+FFFF are one wchar_t in UTF-32 and a surrogate pair in UTF-16; either way
// they survive both directions whole, whatever their neighbours.
TEST(Conversions, CharactersBeyondSixteenBitsBothWays) {
  constexpr size_t kUnitsPerCharacter = sizeof(wchar_t) == 2 ? 2 : 1;
  struct Case {
    const char* utf8;
    std::wstring wide;
    size_t units;
  };
  const Case cases[] = {
      {"\xF0\x90\x80\x80", L"\U00010000", kUnitsPerCharacter},                  // the first
      {"\xF4\x8F\xBF\xBF", L"\U0010FFFF", kUnitsPerCharacter},                  // the last
      {"\xEF\xBF\xBF\xF0\x90\x80\x80", L"\uFFFF\U00010000", 1 + kUnitsPerCharacter},
      {"a\xF0\x9F\x8E\xAE\xF0\x9F\x98\x80z", L"a\U0001F3AE\U0001F600z", 2 + 2 * kUnitsPerCharacter},
      {"\xED\x9F\xBF\xEE\x80\x80", L"\uD7FF\uE000", 2},  // around the surrogates
  };
  for (const Case& c : cases) {
    const std::wstring wide = utility::utf8ToWide(c.utf8);
    EXPECT_EQ(wide, c.wide) << c.utf8;
    EXPECT_EQ(wide.size(), c.units) << c.utf8;
    EXPECT_EQ(utility::wideToUtf8(c.wide), c.utf8);
    EXPECT_EQ(utility::toNarrow(c.wide.c_str(), -1, utility::kCodePageUtf8), c.utf8);
    EXPECT_EQ(utility::toWide(c.utf8, -1, utility::kCodePageUtf8), c.wide);
  }
}

// A surrogate that is not half of a pair is no character: it becomes one U+FFFD, and the text
// around it is kept.
TEST(Conversions, LoneSurrogatesBecomeReplacementCharacters) {
  const auto unit = [](unsigned u) { return static_cast<wchar_t>(u); };
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::wstring wide;
    std::string utf8;
  };
  const Case cases[] = {
      {{L'a', unit(0xD800), L'b'}, "a" + fffd + "b"},             // high, then no low
      {{L'a', unit(0xDBFF)}, "a" + fffd},                          // high at the end
      {{unit(0xDC00), L'b'}, fffd + "b"},                          // low without a high
      {{unit(0xDFFF), unit(0xD800)}, fffd + fffd},                 // low then high: no pair
      {{unit(0xD83D), unit(0xD83D), L'x'}, fffd + fffd + "x"},     // two highs
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utility::wideToUtf8(c.wide), c.utf8);
    char buffer[16];
    EXPECT_EQ(utility::appendUtf8(c.wide, buffer, sizeof(buffer)), c.utf8.size());
    EXPECT_EQ(std::string(buffer, c.utf8.size()), c.utf8);
  }
  // A high and a low surrogate in that order are one character where wide text is UTF-16; in
  // UTF-32 text they are two values that are no characters.
  const std::wstring pair{unit(0xD83D), unit(0xDE00)};
  EXPECT_EQ(utility::wideToUtf8(pair), sizeof(wchar_t) == 2 ? "\xF0\x9F\x98\x80" : fffd + fffd);
  // Surrogates encoded in UTF-8 are refused, also when they would make a pair.
  EXPECT_EQ(utility::utf8ToWide("\xED\xA0\xBD\xED\xB8\x80"), std::wstring(6, L'\uFFFD'));
  // To a code page: the default character, never half a character.
  EXPECT_EQ(utility::toNarrow(std::wstring{L'a', unit(0xD800), L'b'}.c_str(), -1, 1252), "a?b");
}

// A buffer too small for the text holds whole characters only, and the count says how much the
// whole text needs.
TEST(Conversions, AppendUtf8KeepsCharactersWhole) {
  const std::wstring text = L"a\U0001F600b";
  const std::string utf8 = "a\xF0\x9F\x98\x80" "b";
  for (size_t capacity = 0; capacity <= utf8.size(); ++capacity) {
    std::string buffer(utf8.size(), '#');
    EXPECT_EQ(utility::appendUtf8(text, buffer.data(), capacity), utf8.size());
    const size_t kept = capacity < 5 ? (capacity < 1 ? 0 : 1) : (capacity < 6 ? 5 : 6);
    EXPECT_EQ(buffer.substr(0, kept), utf8.substr(0, kept)) << capacity;
    EXPECT_EQ(buffer.substr(kept), std::string(utf8.size() - kept, '#')) << capacity;
  }
}

TEST(Conversions, NumberedCodePage) {
  // Code page 1252: 0xE9 is "é"; a character outside it becomes the default character.
  EXPECT_EQ(utility::toWide("\xE9t\xE9", -1, 1252), L"été");
  EXPECT_EQ(utility::toNarrow(L"été 中", -1, 1252), "\xE9t\xE9 ?");
  // The ANSI code page round-trips ASCII whatever the locale.
  EXPECT_EQ(utility::ansiToWide("plain"), L"plain");
  EXPECT_EQ(utility::wideToAnsi(L"plain"), "plain");
  EXPECT_EQ(utility::ansiToUtf8(""), "");
}

TEST(Guid, FormatAndUniqueness) {
  const std::wstring a = utility::newGuidString();
  const std::wstring b = utility::newGuidString();
  ASSERT_EQ(a.size(), 36u);
  EXPECT_NE(a, b);
  const size_t groups[] = {8, 4, 4, 4, 12};
  size_t at = 0;
  for (size_t g = 0; g < 5; ++g) {
    for (size_t i = 0; i < groups[g]; ++i, ++at) {
      const wchar_t c = a[at];
      const bool upperHex = (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
      const bool lowerHex = (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
      EXPECT_TRUE(g == 2 ? lowerHex : upperHex) << "group " << g;
    }
    if (g < 4) {
      EXPECT_EQ(a[at++], L'_');
    }
  }
}

}  // namespace
