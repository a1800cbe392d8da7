#include "toolkit/core/painter.h"

namespace toolkit {

std::wstring enlargedImageName(std::wstring_view file) {
  const size_t slash = file.find_first_of(L"/\\");
  if (slash == std::wstring_view::npos) return L"Enalarge/" + std::wstring(file);
  return std::wstring(file.substr(0, slash)) + L"Enalarge" + std::wstring(file.substr(slash));
}

}  // namespace toolkit
