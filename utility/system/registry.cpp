// The rules of registry key texts, the same on every platform.
#include "utility/system/registry.h"

namespace utility::registry {

bool isValidKeyPath(const std::wstring& path) {
  if (path.empty()) return true;
  if (path.front() == L'\\' || path.back() == L'\\' || path.find(L"\\\\") != std::wstring::npos) return false;
  return path.find(L'\0') == std::wstring::npos;
}

}  // namespace utility::registry
