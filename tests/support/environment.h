// Setting and removing environment variables of this process, as getenv and child processes see
// them.
#pragma once

namespace testsupport {

void setEnv(const char* name, const char* value);
void unsetEnv(const char* name);

}  // namespace testsupport
