#include "utility/system/ufile.h"

namespace utility::ufile {

namespace {

size_t lastSeparator(const std::wstring& path) {
  const size_t backslash = path.rfind(L'\\');
  return backslash != std::wstring::npos ? backslash : path.rfind(L'/');
}

}  // namespace

std::wstring fileName(const std::wstring& path, bool keepExtension) {
  const size_t sep = lastSeparator(path);
  if (sep == std::wstring::npos) return {};
  std::wstring name = path.substr(sep + 1);
  if (!keepExtension) {
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos) name.erase(dot);
  }
  return name;
}

std::wstring parentDir(const std::wstring& path) {
  if (path.size() <= 1) return {};
  std::wstring text = path;
  if (text.back() == L'\\' || text.back() == L'/') text.pop_back();
  const size_t sep = lastSeparator(text);
  if (sep == std::wstring::npos) return {};
  return text.substr(0, sep + 1);
}

}  // namespace utility::ufile
