// Another program run to its end, for tests that need a second process.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Runs |program| with |arguments| (each one argument, whatever it holds), waits for it and
// returns its exit code; -1 when it could not be started or did not end by itself. With
// |output|, what it wrote to its standard output.
int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               std::string* output = nullptr);

// The path of the program file |fileName| in the folder of the running program (test binaries
// and their helper programs are built side by side).
std::string programBeside(const std::string& fileName);

}  // namespace testsupport
