// File-system facts the tests need that the standard library does not give.
#pragma once

#include <string>

namespace testfs {

// Creates a FIFO at |path|.
bool makeFifo(const std::string& path);

// Descriptors of this process open on |path|, and how many of them a child process would inherit.
struct OpenDescriptors {
  int total = 0;
  int inherited = 0;
};
OpenDescriptors descriptorsOn(const std::string& path);

}  // namespace testfs
