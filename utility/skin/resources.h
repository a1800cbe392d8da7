// Data carried inside the executable and found by type and id ("ZIPRES" 129, "TXT" 0, ...):
// real resources of the module on Windows (an .rc compiled into the program), data linked in
// with the assembler's .incbin on Linux (cmake/Resources.cmake: tarnwick_add_resources makes
// either; link the object library it makes into every executable that needs the data).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace utility {

// The bytes of the resource, or an empty span when this program carries none of that type and
// id. Types compare exactly (case-sensitive). The bytes live as long as the program.
std::span<const uint8_t> findResource(std::wstring_view type, int id);

// Tests: register or replace a resource at run time (the bytes must outlive their use); it is
// found before anything the program carries. Unregistering drops only what a test registered.
void registerResourceForTesting(std::wstring_view type, int id, std::span<const uint8_t> data);
void unregisterResourceForTesting(std::wstring_view type, int id);

}  // namespace utility
