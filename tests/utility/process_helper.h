// The platform parts of the process tests' child program (process_helper.cpp).
#pragma once

#include <cstdint>

namespace processhelper {

uint32_t currentPid();
// Starts |program| with the argument "hold-quiet"; its process id once it runs |program|'s image,
// 0 when it could not be started.
uint32_t startQuietChild(const char* program);
[[noreturn]] void waitForKill();
// The modes of one platform only; -1 when |argv| names none of them.
int platformMode(int argc, char** argv);

}  // namespace processhelper
