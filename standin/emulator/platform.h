// What the stand-in emulator needs from the system beyond the utility layer.
#pragma once

#include <string>

namespace standin {

// Appends |line| (one record, ending in "\n") to the file at the host path |path| in a single
// write on a descriptor opened for appending, so records of processes running side by side never
// interleave. False when the file cannot be opened or the write is short.
bool appendLine(const std::string& path, const std::string& line);

// The real user id of this process.
unsigned userId();
// This process's working folder (host path); empty when unknown.
std::string workingFolder();
// This process's id.
unsigned processId();
// The value of the environment variable |name|; empty when unset.
std::string environment(const char* name);
// Blocks for good: the process stays until it is killed.
[[noreturn]] void stayRunning();
// Host path of the running program's file (the copy that was started, not the original).
std::string programPath();

}  // namespace standin
