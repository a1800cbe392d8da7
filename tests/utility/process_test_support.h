// What the process tests ask of the system directly about a process by its id.
#pragma once

#include <cstdint>

namespace processtest {

// Whether |pid| ends (or has ended) within |limitMs|.
bool endsWithin(uint32_t pid, int limitMs);
// Ends |pid| at once, as the system's forced end does (SIGKILL, TerminateProcess).
void kill(uint32_t pid);
// The exit code a process ended by kill() reports.
int killedExitCode();

}  // namespace processtest
