// The one progress throttle: one report per interval, the first at once, across the tick
// count's wrap.
#include "utility/base/progress_throttle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ProgressThrottle, OneReportPerIntervalAcrossTheWrap) {
  struct Case {
    const char* what;
    std::vector<uint32_t> ticks;
    std::vector<bool> due;
  };
  const std::vector<Case> cases = {
      {"first at once, also at tick 0", {0, 1, 999, 1000, 1500, 2000}, {true, false, false, true, false, true}},
      {"first at once early after boot", {5, 500, 1005}, {true, false, true}},
      {"within the last second before the wrap", {0xFFFFFF00u, 0xFFFFFF80u, 0xFFFFFFFFu}, {true, false, false}},
      {"the wrap is no jump back", {0xFFFFFF00u, 0x00000100u, 0x000002E7u, 0x000002E8u}, {true, false, false, true}},
      {"a report just before the wrap and one after", {0xFFFFFC18u, 0x00000000u, 0x00000001u}, {true, true, false}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    utility::ProgressThrottle throttle;
    for (size_t i = 0; i < c.ticks.size(); ++i) EXPECT_EQ(throttle.due(c.ticks[i]), c.due[i]) << "report " << i;
  }
}

TEST(ProgressThrottle, ResetMakesTheNextReportDue) {
  utility::ProgressThrottle throttle(500);
  EXPECT_TRUE(throttle.due(100));
  EXPECT_FALSE(throttle.due(599));
  throttle.reset();
  EXPECT_TRUE(throttle.due(600));
  EXPECT_FALSE(throttle.due(1099));
  EXPECT_TRUE(throttle.due(1100));
}

}  // namespace
