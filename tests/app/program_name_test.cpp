// The arguments part of a whole Windows command line, as the Windows entry point takes it.
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace {

// The program's name is read by its own rule: quoted up to the next quote, no escapes.
TEST(CommandLine, TheArgumentsFollowTheProgramNameAsTheSystemReadsIt) {
  const struct {
    const wchar_t* whole;
    const wchar_t* arguments;
  } cases[] = {
      {L"installer.exe", L""},
      {L"installer.exe   a b", L"a b"},
      {L"installer.exe\t\"a b\" c", L"\"a b\" c"},
      {L"\"C:\\Program Files\\Tarnwick64_kr_1_x.exe\" name=x", L"name=x"},
      {L"\"C:\\a\\\"b.exe\" c", L"b.exe\" c"},  // a backslash does not escape in the name
      {L"\"C:\\unclosed name", L""},
      {L"", L""},
      {L"  leading", L"leading"},  // an empty name: blanks end it at once
  };
  for (const auto& c : cases) {
    EXPECT_EQ(argumentsAfterProgramName(c.whole), c.arguments) << c.whole;
  }
}

}  // namespace
