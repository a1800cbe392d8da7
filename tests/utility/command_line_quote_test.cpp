// One argument written into a command line is read back whole by the splitter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utility/base/strings.h"
#include "utility/system/command_line_quote.h"
#include "utility/system/command_line_split.h"

namespace {

TEST(CommandLineQuote, EveryArgumentIsReadBackAsOne) {
  struct Case {
    std::wstring argument;
    std::wstring written;
  };
  const Case cases[] = {
      {L"package=com.tarnwick.demo", L"package=com.tarnwick.demo"},
      {L"package=", L"package="},
      {L"", L"\"\""},
      {L"package=com.a -x", L"\"package=com.a -x\""},
      {L"package=a\"b", L"\"package=a\\\"b\""},
      {L"package=a\\\"b c", L"\"package=a\\\\\\\"b c\""},
      {L"package=D:\\a b\\", L"\"package=D:\\a b\\\\\""},
      {L"package=a\\b", L"package=a\\b"},  // backslashes before no quote stay as they are
      {L"tab\there", L"\"tab\there\""},
  };
  for (const Case& c : cases) {
    const std::string label = utility::wideToUtf8(c.argument);
    EXPECT_EQ(utility::quoteCommandLineArgument(c.argument), c.written) << label;
    EXPECT_EQ(utility::splitCommandLine(c.written + L" next"), (std::vector<std::wstring>{c.argument, L"next"})) << label;
  }
}

}  // namespace
