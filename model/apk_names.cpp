#include "model/apk_names.h"

#include <string_view>

namespace apknames {
namespace {

constexpr size_t kMaxStem = 120;
constexpr size_t kMaxResolution = 32;

bool isControl(wchar_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

}  // namespace

std::wstring safeFileStem(const std::wstring& name) {
  std::wstring stem;
  for (wchar_t c : name) {
    const bool refused = isControl(c) || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos;
    stem += refused ? L'_' : c;
  }
  const auto edge = [](wchar_t c) { return c == L' ' || c == L'.'; };
  while (!stem.empty() && edge(stem.back())) stem.pop_back();
  size_t first = 0;
  while (first < stem.size() && edge(stem[first])) ++first;
  stem.erase(0, first);
  if (stem.size() > kMaxStem) stem.resize(kMaxStem);
  while (!stem.empty() && edge(stem.back())) stem.pop_back();
  return stem;
}

bool isSafeResolution(const std::wstring& resolution) {
  if (resolution.empty() || resolution.size() > kMaxResolution) return false;
  if (resolution.front() < L'0' || resolution.front() > L'9') return false;
  for (wchar_t c : resolution) {
    if ((c < L'0' || c > L'9') && std::wstring_view(L"xX*,.").find(c) == std::wstring_view::npos) return false;
  }
  return true;
}

std::wstring safeLaunchValue(const std::wstring& value) {
  std::wstring safe = value;
  for (wchar_t& c : safe) {
    if (isControl(c) || c == L'|' || c == L';' || c == L'"') c = L'_';
  }
  return safe;
}

}  // namespace apknames
