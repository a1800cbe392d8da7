// What the program itself carries, one implementation per platform: the module's resources on
// Windows, the data linked in by the generated .incbin objects on Linux.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace utility {

// Empty when the program carries no resource of that type and id.
std::span<const uint8_t> findModuleResource(std::wstring_view type, int id);

}  // namespace utility
