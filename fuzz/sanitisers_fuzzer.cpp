// The texts that turn campaign data into file names and launch parameters: whatever the input,
// no result may hold a separator, a quote, a control character or a path step.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_text.h"
#include "model/apk_names.h"
#include "utility/base/strings.h"
#include "utility/system/shortcut.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// A launch value keeps its length and every character it does not have to replace.
void checkLaunchValue(const std::wstring& input) {
  const std::wstring safe = apknames::safeLaunchValue(input);
  check(safe.size() == input.size());
  for (size_t i = 0; i < safe.size(); ++i) {
    const wchar_t c = safe[i];
    check(c != L'|' && c != L';' && c != L'"' && !fuzztext::isControl(c));
    check(c == input[i] || c == L'_');
  }
}

// One file name inside one folder: no separator, drive colon, quote, wildcard or control
// character; no blank or dot at either end (so never "." or ".."); at most 120 characters.
void checkFileStem(const std::wstring& input) {
  const std::wstring stem = apknames::safeFileStem(input);
  check(stem.size() <= 120);
  for (const wchar_t c : stem) {
    check(std::wstring_view(L"\\/:*?\"<>|").find(c) == std::wstring_view::npos);
    check(!fuzztext::isControl(c));
  }
  if (!stem.empty()) {
    check(stem.front() != L' ' && stem.front() != L'.');
    check(stem.back() != L' ' && stem.back() != L'.');
  }
  // Idempotent: a safe stem is its own safe form.
  check(apknames::safeFileStem(stem) == stem);
}

void checkResolution(const std::wstring& input) {
  if (!apknames::isSafeResolution(input)) return;
  check(!input.empty() && input.size() <= 32 && input.front() >= L'0' && input.front() <= L'9');
  for (const wchar_t c : input) {
    check((c >= L'0' && c <= L'9') || std::wstring_view(L"xX*,.").find(c) != std::wstring_view::npos);
  }
}

// The desktop launcher's file name for a shortcut name: valid UTF-8 of at most 255 bytes ending
// in ".desktop", no separator, quote or control character, not hidden, never a path step.
void checkLauncherName(const std::wstring& input) {
  const std::string name = helper::disk::launcherFileName(input);
  if (name.empty()) return;
  constexpr std::string_view kSuffix = ".desktop";
  check(name.size() <= 255);
  check(name.size() > kSuffix.size() && name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0);
  check(fuzztext::isValidUtf8(name));
  check(name.front() != '.');
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    check(c != '/' && c != '\\' && c != '"' && u >= 0x20 && u != 0x7F);
  }
  const std::wstring wide = utility::utf8ToWide(name);
  for (const wchar_t c : wide) check(!fuzztext::isControl(c));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring text = fuzztext::toWide(std::string_view(reinterpret_cast<const char*>(data), size));
  checkLaunchValue(text);
  checkFileStem(text);
  checkResolution(text);
  checkLauncherName(text);
  return 0;
}
