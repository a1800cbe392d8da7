// The stand-in emulator's system calls on Windows: the real registry below HKEY_CURRENT_USER,
// real paths, the wide command line.
#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "standin/emulator/platform.h"
#include "utility/base/strings.h"

namespace standin {

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct KeyCloser {
  void operator()(HKEY key) const { ::RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// The token of this process, for reading.
Handle processToken() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return Handle();
  return Handle(token);
}

}  // namespace

std::vector<std::string> arguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(utility::wideToUtf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

bool appendLine(const std::string& path, const std::string& line) {
  // FILE_APPEND_DATA alone: every write goes to the end of the file, whoever else appends.
  Handle file(::CreateFileW(utility::utf8ToWide(path).c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  return ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

unsigned userId() {
  Handle token = processToken();
  if (!token) return 0;
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return 0;
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  const UCHAR count = *::GetSidSubAuthorityCount(sid);
  return count == 0 ? 0 : static_cast<unsigned>(*::GetSidSubAuthority(sid, count - 1u));
}

bool elevated() {
  Handle token = processToken();
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return token && ::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

std::string workingFolder() {
  const DWORD length = ::GetCurrentDirectoryW(0, nullptr);
  if (length == 0) return {};
  std::wstring folder(length, L'\0');
  const DWORD written = ::GetCurrentDirectoryW(length, folder.data());
  if (written == 0 || written >= length) return {};
  folder.resize(written);
  return utility::wideToUtf8(folder);
}

unsigned processId() { return static_cast<unsigned>(::GetCurrentProcessId()); }

std::string environment(const char* name) {
  const std::wstring wideName = utility::utf8ToWide(name);
  const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (length == 0) return {};
  std::wstring value(length, L'\0');
  const DWORD written = ::GetEnvironmentVariableW(wideName.c_str(), value.data(), length);
  if (written == 0 || written >= length) return {};
  value.resize(written);
  return utility::wideToUtf8(value);
}

void stayRunning() {
  for (;;) ::Sleep(INFINITE);
}

std::filesystem::path programPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path);
    }
    path.resize(path.size() * 2);
  }
}

std::string pathText(const std::filesystem::path& path) { return utility::wideToUtf8(path.wstring()); }

std::filesystem::path hostPath(const std::wstring& windowsPath) {
  // A drive-qualified path names a file only when its drive exists.
  if (windowsPath.size() >= 2 && windowsPath[1] == L':') {
    const std::wstring root = windowsPath.substr(0, 2) + L"\\";
    if (::GetDriveTypeW(root.c_str()) == DRIVE_NO_ROOT_DIR) return {};
  }
  return std::filesystem::path(windowsPath);
}

bool registerInstallDir(const std::wstring& key, const std::wstring& folder) {
  HKEY opened = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &opened, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  Key reg(opened);
  const DWORD bytes = static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(reg.get(), L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                          bytes) == ERROR_SUCCESS;
}

unsigned startProgram(const std::filesystem::path& program) {
  std::wstring commandLine = L"\"" + program.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return 0;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return static_cast<unsigned>(info.dwProcessId);
}

}  // namespace standin
