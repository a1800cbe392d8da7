// A small command-line front of the user registry, for tests that need other processes:
//   registry_tool set <key> <value name> <data>
//   registry_tool get <key> <value name>       (prints the data; exit 1 when absent)
//   registry_tool hammer <key> <tag> <times>   (sets "Shared" = "<tag>-<i>", then "<tag><i>" = "<i>")
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/temp_registry.h"
#include "utility/base/strings.h"
#include "utility/system/registry.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  testsupport::TempRegistry::adoptFromParent();  // the store of the test that started this
  const std::string command = argv[1];
  const std::wstring key = utility::utf8ToWide(argv[2]);
  utility::registry::Key handle;
  if (command == "get") {
    std::wstring value;
    if (!handle.open(key) || !handle.queryString(utility::utf8ToWide(argv[3]), value)) return 1;
    std::printf("%s", utility::wideToUtf8(value).c_str());
    return 0;
  }
  if (!handle.create(key)) return 3;
  if (command == "set" && argc >= 5) {
    return handle.setString(utility::utf8ToWide(argv[3]), utility::utf8ToWide(argv[4])) ? 0 : 4;
  }
  if (command == "hammer" && argc >= 5) {
    const std::wstring tag = utility::utf8ToWide(argv[3]);
    const int times = std::atoi(argv[4]);
    for (int i = 0; i < times; ++i) {
      if (!handle.setString(L"Shared", tag + L"-" + std::to_wstring(i))) return 4;
      if (!handle.setString(tag + std::to_wstring(i), std::to_wstring(i))) return 4;
    }
    return 0;
  }
  return 2;
}
