// The system facts as a Windows program is told them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/environment.h"
#include "utility/system/usystem.h"

namespace {

utility::usystem::OsVersion trueVersion() {
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  const FARPROC found = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
  const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void (*)()>(found));
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  if (rtlGetVersion == nullptr || rtlGetVersion(&info) != 0) return {};
  return {info.dwMajorVersion, info.dwMinorVersion};
}

bool underWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

std::wstring ownFileName() {
  std::vector<wchar_t> path(32768);
  const std::wstring full(path.data(), ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return full.substr(full.find_last_of(L"\\/") + 1);
}

// Prints the version told and the true one, and ends with 0 when the rule holds.
[[noreturn]] void reportVersion() {
  const utility::usystem::OsVersion told = utility::usystem::osVersion();
  const utility::usystem::OsVersion real = trueVersion();
  const bool rule = real.before(6, 2) ? (told.major == real.major && told.minor == real.minor)
                                      : (told.major == 6 && told.minor == 2);
  std::fprintf(stderr, "told %u.%u of %u.%u\n", told.major, told.minor, real.major, real.minor);
  std::fflush(stderr);
  std::_Exit(rule ? 0 : 1);
}

// Windows 8 and later tell a program without a compatibility manifest 6.2, whatever manifest
// this build has; older systems tell their own version.
TEST(SystemFactsWin, VersionIsWhatAProgramWithoutManifestIsTold) {
  testsupport::unsetEnv("TARNWICK_FAKE_OS");
  const utility::usystem::OsVersion told = utility::usystem::osVersion();
  const utility::usystem::OsVersion real = trueVersion();
  ASSERT_NE(real.major, 0u);
  if (real.before(6, 2)) {
    EXPECT_EQ(told.major, real.major);
    EXPECT_EQ(told.minor, real.minor);
  } else {
    EXPECT_EQ(told.major, 6u);
    EXPECT_EQ(told.minor, 2u);
  }
  EXPECT_EQ(utility::usystem::isVistaOrLater(), !real.before(6, 0));
}

// The same in a process that runs on Windows 10. Under Wine the prefix is told to be Windows 10
// for this program (its per-program setting), which Windows itself ignores.
TEST(SystemFactsWin, WindowsTenIsToldSixTwo) {
  testsupport::unsetEnv("TARNWICK_FAKE_OS");
  const std::wstring settings = L"Software\\Wine\\AppDefaults\\" + ownFileName();
  HKEY key = nullptr;
  const bool wine = underWine();
  if (wine) {
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, settings.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                nullptr),
              ERROR_SUCCESS);
    const std::wstring version = L"win10";
    ::RegSetValueExW(key, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                     static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
  }
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(reportVersion(), ::testing::ExitedWithCode(0), wine ? "told 6\\.2 of 10\\.0" : "told");
  if (key != nullptr) {
    ::RegDeleteValueW(key, L"Version");
    ::RegCloseKey(key);
    ::RegDeleteKeyW(HKEY_CURRENT_USER, settings.c_str());
  }
}

}  // namespace
