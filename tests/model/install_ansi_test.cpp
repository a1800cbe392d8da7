// The installation under a locale whose character set is not UTF-8 (the C locale's ASCII):
// "title" and "heapsize" pass through that code page, every key lands in the one data.ini.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/model/install_world.h"
#include "utility/base/ansi_codepage.h"

namespace {

const auto* const kCurlEnvironment = ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment);

// The C locale from the start, before anything reads the locale's character set.
const bool kCLocale = [] {
  setenv("LC_ALL", "C", 1);
  setenv("LANG", "C", 1);
  return true;
}();

class InstallUnderAnAsciiLocale : public installtest::InstallWorld {};

TEST_F(InstallUnderAnAsciiLocale, TitleCharactersOutsideTheCodePageAreReplaced) {
  ASSERT_FALSE(utility::ansiIsUtf8()) << utility::ansiCharset();
  // A folder outside the code page too: the UTF-8 keys still go to the same file.
  const std::wstring folder = L"C:\\Spiele\\Tärnwick\\";
  placeInstaller(folder);
  InstallInput input;
  input.installPath = folder;
  input.settings.showAd = false;
  input.settings.title = L"Tärnwick 演示";
  input.settings.heapSize = L"2048";
  input.settings.runApp = L"com.tarnwick.demo";
  const InstallOutcome outcome = runInstall(input);
  EXPECT_TRUE(outcome.finished && outcome.started);
  EXPECT_EQ(readFile(host(folder + L"data\\data.ini")),
            "[setting]\r\nadshow=0\r\ntitle=T?rnwick ??\r\nheapsize=2048\r\nrunapp=com.tarnwick.demo\r\n");
}

}  // namespace
