#include <windows.h>

#include <memory>

#include "tests/standin/emulator_test_platform.h"
#include "utility/base/strings.h"

namespace standintest {

unsigned currentUserId() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  const bool read = size != 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  ::CloseHandle(token);
  if (!read) return 0;
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  const UCHAR count = *::GetSidSubAuthorityCount(sid);
  return count == 0 ? 0 : static_cast<unsigned>(*::GetSidSubAuthority(sid, count - 1u));
}

void killProcess(unsigned pid) {
  if (pid == 0) return;
  HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return;
  ::TerminateProcess(process, 137);
  ::WaitForSingleObject(process, 10000);
  ::CloseHandle(process);
}

void setEnvironment(const char* name, const char* value) {
  const std::wstring wideName = utility::utf8ToWide(name);
  if (value != nullptr) {
    ::SetEnvironmentVariableW(wideName.c_str(), utility::utf8ToWide(value).c_str());
  } else {
    ::SetEnvironmentVariableW(wideName.c_str(), nullptr);
  }
}

std::wstring enterWorld(const std::filesystem::path& home, const std::filesystem::path&) {
  return home.wstring();
}

void forgetRegistryKeys(const std::vector<std::wstring>& keys) {
  for (const std::wstring& key : keys) ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

}  // namespace standintest
