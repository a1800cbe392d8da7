// Kept for the suites that include it by this name: the helpers now live in the platform seam.
#pragma once

#include "tests/standin/emulator_test_platform.h"
