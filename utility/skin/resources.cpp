#include "utility/skin/resources.h"

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "utility/skin/module_resources.h"

namespace utility {

namespace {

using Key = std::pair<std::wstring, int>;

struct TestResources {
  std::mutex lock;
  std::map<Key, std::span<const uint8_t>> table;
};

TestResources& testResources() {
  static TestResources resources;
  return resources;
}

}  // namespace

std::span<const uint8_t> findResource(std::wstring_view type, int id) {
  {
    TestResources& registered = testResources();
    std::lock_guard<std::mutex> hold(registered.lock);
    const auto it = registered.table.find(Key(std::wstring(type), id));
    if (it != registered.table.end()) return it->second;
  }
  return findModuleResource(type, id);
}

void registerResourceForTesting(std::wstring_view type, int id, std::span<const uint8_t> data) {
  TestResources& registered = testResources();
  std::lock_guard<std::mutex> hold(registered.lock);
  registered.table[Key(std::wstring(type), id)] = data;
}

void unregisterResourceForTesting(std::wstring_view type, int id) {
  TestResources& registered = testResources();
  std::lock_guard<std::mutex> hold(registered.lock);
  registered.table.erase(Key(std::wstring(type), id));
}

}  // namespace utility
