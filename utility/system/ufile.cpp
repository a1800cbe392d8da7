#include "utility/system/ufile.h"

#include "utility/base/strings.h"

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

std::wstring temporaryNameFor(const std::wstring& path, const std::wstring& suffix) {
  const size_t sep = lastSeparator(path);
  const size_t nameStart = sep == std::wstring::npos ? 0 : sep + 1;
  const size_t suffixBytes = wideToUtf8(suffix).size();
  const std::wstring name = path.substr(nameStart);
  if (wideToUtf8(name).size() + suffixBytes <= kMaxFileNameBytes) return path + suffix;
  // Whole characters of the name while the suffix still fits behind them.
  std::wstring kept;
  size_t bytes = 0;
  for (const wchar_t c : name) {
    const size_t size = wideToUtf8(std::wstring(1, c)).size();
    if (bytes + size + suffixBytes > kMaxFileNameBytes) break;
    kept.push_back(c);
    bytes += size;
  }
  return path.substr(0, nameStart) + kept + suffix;
}

}  // namespace utility::ufile
