// The command line rebuilt from the arguments, as the model receives it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "utility/base/strings.h"
#include "utility/system/command_line_split.h"

namespace {

// The C locale (ASCII) from the start, before anything reads the locale's character set.
const bool kCLocale = [] {
  setenv("LC_ALL", "C", 1);
  setenv("LANG", "C", 1);
  return true;
}();

std::wstring joined(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv{"installer"};
  for (const auto& argument : arguments) argv.push_back(argument.c_str());
  return commandLineText(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, ArgumentsAreWrittenAsTheSystemsParserReadsThemBack) {
  struct Case {
    std::vector<std::string> arguments;
    std::wstring text;
  };
  const Case cases[] = {
      {{}, L""},
      {{"a=1"}, L"a=1"},
      {{"name=a|apkurl=b", "x"}, L"name=a|apkurl=b x"},
      // Blanks: quoted, so the model's unquoting gives the argument back.
      {{"name=My Game|package=com.a|apkurl=https://h/a.apk"}, L"\"name=My Game|package=com.a|apkurl=https://h/a.apk\""},
      {{"", "second arg"}, L"\"\" \"second arg\""},
      {{"tab\there"}, L"\"tab\there\""},
      // Quotes are escaped, and so are the backslashes right before a quote or the closing quote.
      {{"say \"hi\""}, L"\"say \\\"hi\\\"\""},
      {{"a\"b"}, L"\"a\\\"b\""},
      {{"a\\\"b"}, L"\"a\\\\\\\"b\""},
      {{"C:\\my dir\\"}, L"\"C:\\my dir\\\\\""},
      // Backslashes elsewhere are taken literally.
      {{"C:\\dir\\"}, L"C:\\dir\\"},
      {{"a\\\\b c"}, L"\"a\\\\b c\""},
  };
  for (const Case& c : cases) {
    std::string label;
    for (const auto& argument : c.arguments) label += "[" + argument + "]";
    EXPECT_EQ(joined(c.arguments), c.text) << label;
    // Read back by the splitting a started program's arguments go through.
    std::vector<std::wstring> wide;
    for (const auto& argument : c.arguments) wide.push_back(utility::hostTextToWide(argument));
    EXPECT_EQ(utility::splitCommandLine(c.text), wide) << label;
  }
}

TEST(CommandLine, SplittingUndoesTheQuotingForEveryShortArgument) {
  // Every argument of up to five characters from the ones the rules treat specially.
  const std::string alphabet = std::string("a \t\"\\") + '\n';
  std::vector<std::string> arguments{""};
  for (size_t begin = 0, length = 0; length < 5; ++length) {
    const size_t end = arguments.size();
    for (size_t i = begin; i < end; ++i) {
      for (const char c : alphabet) arguments.push_back(arguments[i] + c);
    }
    begin = end;
  }
  for (const std::string& argument : arguments) {
    for (const std::vector<std::string>& argv :
         {std::vector<std::string>{argument}, {argument, argument}, {"-x", argument, "\\"}}) {
      std::vector<std::wstring> wide;
      for (const auto& a : argv) wide.push_back(utility::hostTextToWide(a));
      const std::wstring text = joined(argv);
      ASSERT_EQ(utility::splitCommandLine(text), wide) << utility::wideToUtf8(text);
    }
  }
}

TEST(CommandLine, ArgumentsAreUtf8WhateverTheLocale) {
  // In the C locale, a decoding by the locale alone would lose these.
  ASSERT_TRUE(kCLocale);
  EXPECT_EQ(joined({"name=\xE6\xB8\xB8"}), L"name=\u6E38");
  EXPECT_EQ(utility::hostTextToWide("\xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xAE"), L"\u00E9t\u00E9 \U0001F3AE");
  // Only the bytes that are no UTF-8 go to the locale's character set, each run on its own.
  EXPECT_EQ(utility::hostTextToWide("\xE6\xB8\xB8\xFF\xFEx\xE9"),
            L"\u6E38" + utility::ansiToWide("\xFF\xFE") + L"x" + utility::ansiToWide("\xE9"));
  EXPECT_EQ(utility::hostTextToWide("\xE6\xB8"), utility::ansiToWide("\xE6\xB8"));  // cut short
  EXPECT_EQ(utility::hostTextToWide(""), L"");
}

}  // namespace

