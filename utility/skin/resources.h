// Data linked into the executable and found by type and id ("ZIPRES" 129, "TXT" 0, ...).
// A build step turns a file into an object that registers itself under its (type, id) before
// main runs (cmake/Resources.cmake: tarnwick_add_resources); link that object library into every
// executable that needs the data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace utility {

// The bytes of the resource, or an empty span when this program carries none of that type and
// id. Types compare exactly (case-sensitive). The bytes live as long as the program.
std::span<const uint8_t> findResource(std::wstring_view type, int id);

// Called by the generated resource objects during static initialisation; a later registration of
// the same type and id replaces the earlier one.
class ResourceRegistration {
 public:
  ResourceRegistration(const wchar_t* type, int id, const uint8_t* data, size_t size);
};

// Tests: register or replace a resource at run time (the bytes must outlive their use).
void registerResourceForTesting(std::wstring_view type, int id, std::span<const uint8_t> data);
void unregisterResourceForTesting(std::wstring_view type, int id);

}  // namespace utility
