#include <gtest/gtest.h>

#include "tests/support/environment.h"
#include "utility/system/usystem.h"

namespace {

// This host stands in for Windows 10.
TEST(SystemFactsLinux, VersionIsTen) {
  testsupport::unsetEnv("TARNWICK_FAKE_OS");
  const utility::usystem::OsVersion real = utility::usystem::osVersion();
  EXPECT_EQ(real.major, 10u);
  EXPECT_EQ(real.minor, 0u);
}

}  // namespace
