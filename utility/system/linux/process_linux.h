// Test seams of the Linux process part.
#pragma once

#include <cstdint>

namespace utility::process {

// How long openUrl's verdict is waited for before the address counts as handed over
// (tests: kInfinite, so a slow machine cannot turn a refusal into a success).
void setOpenerVerdictLimitForTesting(uint32_t limitMs);

}  // namespace utility::process
