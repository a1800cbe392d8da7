#include <cstdlib>

#include "tests/support/environment.h"

namespace testsupport {

void setEnv(const char* name, const char* value) { ::setenv(name, value, 1); }

void unsetEnv(const char* name) { ::unsetenv(name); }

}  // namespace testsupport
