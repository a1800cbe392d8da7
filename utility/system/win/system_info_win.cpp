// Operating-system version, native architecture and the user's UI language.
#include <windows.h>

#include "utility/system/fake_os.h"
#include "utility/system/usystem.h"

namespace utility::usystem {

namespace {

template <typename Function>
Function systemFunction(const wchar_t* module, const char* name) {
  const HMODULE handle = ::GetModuleHandleW(module);
  const FARPROC found = handle != nullptr ? ::GetProcAddress(handle, name) : nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// The version GetVersionExW reports: the extended record first, then the basic one; the true
// version (RtlGetVersion) only when both fail.
OsVersion reportedVersion() {
  OSVERSIONINFOEXW extended{};
  extended.dwOSVersionInfoSize = sizeof(extended);
  if (::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) {
    return {extended.dwMajorVersion, extended.dwMinorVersion};
  }
  OSVERSIONINFOW basic{};
  basic.dwOSVersionInfoSize = sizeof(basic);
  if (::GetVersionExW(&basic)) return {basic.dwMajorVersion, basic.dwMinorVersion};
  using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
  if (const auto rtlGetVersion = systemFunction<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion")) {
    if (rtlGetVersion(&basic) == 0) return {basic.dwMajorVersion, basic.dwMinorVersion};
  }
  return {};
}

}  // namespace

// What a program whose manifest names no supported systems is told: 6.2 on Windows 8 and every
// later version. The installer's decisions are made on that answer, which a compatibility
// manifest given to the executable must not change.
OsVersion osVersion() {
  if (isFakedOsFact(L"xp")) return {5, 1};
  if (isFakedOsFact(L"win7")) return {6, 1};
  const OsVersion version = reportedVersion();
  if (!version.before(6, 2)) return {6, 2};
  return version;
}

bool isVistaOrLater() { return !osVersion().before(6, 0); }

bool is64BitSystem() {
  if (isFakedOsFact(L"32bit")) return false;
  // IsWow64Process2 names the machine itself also to an emulated process (x64 on ARM64).
  using IsWow64Process2Function = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
  if (const auto isWow64Process2 = systemFunction<IsWow64Process2Function>(L"kernel32.dll", "IsWow64Process2")) {
    USHORT processMachine = 0;
    USHORT nativeMachine = 0;
    if (isWow64Process2(::GetCurrentProcess(), &processMachine, &nativeMachine)) {
      return nativeMachine == IMAGE_FILE_MACHINE_AMD64 || nativeMachine == IMAGE_FILE_MACHINE_IA64 ||
             nativeMachine == IMAGE_FILE_MACHINE_ARM64;
    }
  }
  SYSTEM_INFO info{};
  using GetNativeSystemInfoFunction = void(WINAPI*)(SYSTEM_INFO*);
  if (const auto getNativeSystemInfo =
          systemFunction<GetNativeSystemInfoFunction>(L"kernel32.dll", "GetNativeSystemInfo")) {
    getNativeSystemInfo(&info);
  } else {
    ::GetSystemInfo(&info);
  }
  const WORD architecture = info.wProcessorArchitecture;
  return architecture == PROCESSOR_ARCHITECTURE_AMD64 || architecture == PROCESSOR_ARCHITECTURE_IA64 ||
         architecture == PROCESSOR_ARCHITECTURE_ARM64;
}

uint16_t userDefaultUILanguage() { return ::GetUserDefaultUILanguage(); }

}  // namespace utility::usystem
