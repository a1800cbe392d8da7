#include <gtest/gtest.h>

#include <cstdlib>

#include "utility/system/dev_overrides.h"
#include "utility/system/usystem.h"

namespace {

TEST(SystemFacts, RealAndFakedOperatingSystem) {
#if defined(__x86_64__) || defined(__aarch64__)
  const bool native64 = true;
#else
  const bool native64 = false;
#endif
  unsetenv("TARNWICK_FAKE_OS");
  EXPECT_TRUE(utility::usystem::isVistaOrLater());
  EXPECT_EQ(utility::usystem::is64BitSystem(), native64);
  if (!utility::devOverridesEnabled()) GTEST_SKIP() << "release build: no fake OS facts";

  struct Case {
    const char* fake;
    bool vista;
    bool is64;
  };
  const Case cases[] = {
      {"xp", false, native64},        {"32bit", true, false},     {"xp,32bit", false, false},
      {" XP , 32BIT ", false, false}, {"xpx,64", true, native64}, {"", true, native64},
  };
  for (const Case& c : cases) {
    setenv("TARNWICK_FAKE_OS", c.fake, 1);
    EXPECT_EQ(utility::usystem::isVistaOrLater(), c.vista) << c.fake;
    EXPECT_EQ(utility::usystem::is64BitSystem(), c.is64) << c.fake;
  }
  unsetenv("TARNWICK_FAKE_OS");
}

}  // namespace
