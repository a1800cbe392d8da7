#include "tests/utility/instance_test_support.h"

namespace instancetest {

void useRuntimeFolder(const std::filesystem::path&) {}

}  // namespace instancetest
