// The program's resources on Windows: resources of the executable's own module, compiled from
// the .rc that tarnwick_add_resources writes. Types are named ("ZIPRES", "TXT"), ids numeric;
// the lookup is language-neutral (FindResourceW falls back through the languages, so the
// skin archive's Chinese (2052) resource is found under any user language).
#include <windows.h>

#include <string>

#include "utility/skin/module_resources.h"

namespace utility {

std::span<const uint8_t> findModuleResource(std::wstring_view type, int id) {
  if (type.empty() || id < 0 || id > 0xFFFF) return {};
  HMODULE module = ::GetModuleHandleW(nullptr);
  const std::wstring typeName(type);
  // A type name must not be read as a numeric one ("#12"); ours are words. The resource
  // compiler stores names in upper case and FindResourceW ignores case: a name holding a lower
  // case letter can never be the exact name, which is what the lookup promises.
  if (typeName.front() == L'#') return {};
  for (const wchar_t c : typeName) {
    if (::IsCharLowerW(c)) return {};
  }
  HRSRC info = ::FindResourceW(module, MAKEINTRESOURCEW(id), typeName.c_str());
  if (info == nullptr) return {};
  const DWORD size = ::SizeofResource(module, info);
  HGLOBAL loaded = ::LoadResource(module, info);
  if (loaded == nullptr || size == 0) return {};
  // Resource memory belongs to the module and stays mapped as long as the program runs.
  const void* bytes = ::LockResource(loaded);
  if (bytes == nullptr) return {};
  return std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), size);
}

}  // namespace utility
