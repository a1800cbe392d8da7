// A deliberate data race between two accesses in our own code, for the ThreadSanitizer build's
// self-check: with the project's suppressions in force, the sanitizer must still report it.
#include <cstdio>
#include <thread>

namespace {

int gCounter = 0;  // written by two threads without a lock, on purpose

void bump() {
  for (int i = 0; i < 1000; ++i) gCounter = gCounter + 1;
}

}  // namespace

int main() {
  std::thread other(bump);
  bump();
  other.join();
  std::printf("counter %d\n", gCounter);
  return 0;
}
