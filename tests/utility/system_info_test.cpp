#include <gtest/gtest.h>

#include "tests/support/environment.h"
#include "utility/system/dev_overrides.h"
#include "utility/system/usystem.h"

namespace {

TEST(SystemFacts, RealAndFakedOperatingSystem) {
  testsupport::unsetEnv("TARNWICK_FAKE_OS");
  // Only one direction is a fact: a 64-bit process runs on a 64-bit system, while a 32-bit
  // process may run on either, so it says nothing about the answer.
  if (sizeof(void*) == 8) {
    EXPECT_TRUE(utility::usystem::is64BitSystem());
  }
  const bool native64 = utility::usystem::is64BitSystem();
  EXPECT_TRUE(utility::usystem::isVistaOrLater());  // only the override reports an older system
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
    testsupport::setEnv("TARNWICK_FAKE_OS", c.fake);
    EXPECT_EQ(utility::usystem::isVistaOrLater(), c.vista) << c.fake;
    EXPECT_EQ(utility::usystem::is64BitSystem(), c.is64) << c.fake;
  }
  testsupport::unsetEnv("TARNWICK_FAKE_OS");
}

// The version a Windows program without a compatibility manifest is told, and the pair order.
TEST(SystemFacts, VersionRealAndFaked) {
  testsupport::unsetEnv("TARNWICK_FAKE_OS");
  const utility::usystem::OsVersion real = utility::usystem::osVersion();
  EXPECT_FALSE(real.before(5, 1)) << real.major << "." << real.minor;
  EXPECT_EQ(utility::usystem::isVistaOrLater(), !real.before(6, 0));
  const utility::usystem::OsVersion ten{10, 0};
  EXPECT_FALSE(ten.before(6, 2));  // a later major with a smaller minor is still later
  EXPECT_TRUE(ten.before(10, 1));
  EXPECT_FALSE(ten.before(10, 0));
  if (!utility::devOverridesEnabled()) GTEST_SKIP() << "release build: no fake OS facts";
  struct Case {
    const char* fake;
    unsigned major, minor;
  };
  // An unknown fact fakes nothing: the real version.
  const Case cases[] = {{"xp", 5, 1},      {"win7", 6, 1}, {"WIN7,32bit", 6, 1},
                        {"xp,win7", 5, 1}, {"win8", real.major, real.minor}};
  for (const Case& c : cases) {
    testsupport::setEnv("TARNWICK_FAKE_OS", c.fake);
    const utility::usystem::OsVersion v = utility::usystem::osVersion();
    EXPECT_EQ(v.major, c.major) << c.fake;
    EXPECT_EQ(v.minor, c.minor) << c.fake;
    EXPECT_EQ(utility::usystem::isVistaOrLater(), c.major >= 6) << c.fake;
  }
  testsupport::unsetEnv("TARNWICK_FAKE_OS");
}

}  // namespace
