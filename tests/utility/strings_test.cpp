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

TEST(Conversions, NumberedCodePageThroughIconv) {
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
