#include "utility/skin/resources.h"

#include <map>
#include <string>
#include <utility>

namespace utility {

namespace {

using Key = std::pair<std::wstring, int>;

// Built during static initialisation (one thread) and read afterwards.
std::map<Key, std::span<const uint8_t>>& registry() {
  static std::map<Key, std::span<const uint8_t>> table;
  return table;
}

}  // namespace

ResourceRegistration::ResourceRegistration(const wchar_t* type, int id, const uint8_t* data,
                                           size_t size) {
  registry()[Key(type, id)] = std::span<const uint8_t>(data, size);
}

std::span<const uint8_t> findResource(std::wstring_view type, int id) {
  const auto& table = registry();
  const auto it = table.find(Key(std::wstring(type), id));
  return it == table.end() ? std::span<const uint8_t>() : it->second;
}

void registerResourceForTesting(std::wstring_view type, int id, std::span<const uint8_t> data) {
  registry()[Key(std::wstring(type), id)] = data;
}

void unregisterResourceForTesting(std::wstring_view type, int id) {
  registry().erase(Key(std::wstring(type), id));
}

}  // namespace utility
