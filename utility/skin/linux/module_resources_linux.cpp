// The program's resources on Linux: the files the generated .incbin objects registered.
#include <map>
#include <string>
#include <utility>

#include "utility/skin/linux/resource_registration_linux.h"
#include "utility/skin/module_resources.h"

namespace utility {

namespace {

using Key = std::pair<std::wstring, int>;

// Built during static initialisation (one thread) and only read afterwards.
std::map<Key, std::span<const uint8_t>>& linkedResources() {
  static std::map<Key, std::span<const uint8_t>> table;
  return table;
}

}  // namespace

ResourceRegistration::ResourceRegistration(const wchar_t* type, int id, const uint8_t* data, size_t size) {
  linkedResources()[Key(type, id)] = std::span<const uint8_t>(data, size);
}

std::span<const uint8_t> findModuleResource(std::wstring_view type, int id) {
  const auto& table = linkedResources();
  const auto it = table.find(Key(std::wstring(type), id));
  return it == table.end() ? std::span<const uint8_t>() : it->second;
}

}  // namespace utility
