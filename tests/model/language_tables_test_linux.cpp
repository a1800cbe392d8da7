// The system's locale as the Linux desktop names it (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
#include <gtest/gtest.h>

#include <cstdlib>

#include "model/language_tables.h"

namespace {

TEST(LanguageTables, SystemLocaleFromEnvironment) {
  struct Case {
    const char* language;
    const char* lcAll;
    const char* lang;
    const wchar_t* locale;
  };
  const Case cases[] = {
      {"", "", "zh_CN.UTF-8", L"zh_TW"}, {"", "", "hi_IN.UTF-8", L"hi_IN"},
      {"", "", "pl_PL.UTF-8", L"en_US"}, {"ko_KR:en", "", "de_DE.UTF-8", L"ko_KR"},
      {"", "fr_FR.UTF-8", "de_DE.UTF-8", L"fr_FR"}, {"", "C", "C.UTF-8", L"en_US"},
      {"", "", "", L"en_US"},
      // The C locale means English, whatever LANG or LANGUAGE say.
      {"", "C", "de_DE.UTF-8", L"en_US"}, {"ko_KR", "C.UTF-8", "", L"en_US"}, {"ko_KR", "POSIX", "ja_JP", L"en_US"},
      {"ko_KR", "", "", L"en_US"}, {":fr", "", "de_DE.UTF-8", L"de_DE"},
  };
  for (const Case& c : cases) {
    setenv("LANGUAGE", c.language, 1);
    setenv("LC_ALL", c.lcAll, 1);
    unsetenv("LC_MESSAGES");
    setenv("LANG", c.lang, 1);
    EXPECT_EQ(systemLocale(), c.locale) << c.language << "|" << c.lcAll << "|" << c.lang;
  }
}

}  // namespace
