// The desktop shell's token on Windows: the first process of the system snapshot whose program is
// the shell ("<Windows folder>\explorer.exe", or "explorer.exe" where its path cannot be read),
// its token duplicated as a primary token, and CreateProcessWithTokenW, looked up at run time,
// to start a program with it.
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <mutex>
#include <optional>

#include "utility/system/shell_token.h"
#include "utility/system/win/kernel_handle_win.h"
#include "utility/system/win/shell_token_win.h"

namespace utility::process {

namespace {

using utility::win::KernelHandle;

std::mutex shellProgramMutex;
std::optional<std::wstring> shellProgramOverride;  // tests

// "<Windows folder>\explorer.exe".
std::wstring shellProgram() {
  {
    std::lock_guard<std::mutex> lock(shellProgramMutex);
    if (shellProgramOverride) return *shellProgramOverride;
  }
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT length = ::GetWindowsDirectoryW(folder, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return {};
  return std::wstring(folder, length) + L"\\explorer.exe";
}

// The program of |pid|: its first module's file name, else the image name of the snapshot.
std::wstring programOf(DWORD pid, const wchar_t* imageName) {
  KernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  if (process) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameExW(process.get(), nullptr, path, MAX_PATH);
    if (length > 0) return std::wstring(path, length);
  }
  return imageName;
}

using CreateProcessWithTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                                     LPSTARTUPINFOW, LPPROCESS_INFORMATION);

}  // namespace

struct ShellToken::Native {
  KernelHandle token;
};

ShellToken::ShellToken() = default;
ShellToken::~ShellToken() = default;
ShellToken::ShellToken(ShellToken&& other) noexcept = default;
ShellToken& ShellToken::operator=(ShellToken&& other) noexcept = default;

void ShellToken::close() { native_.reset(); }

ShellToken takeShellToken(int& status) {
  ShellToken result;
  const std::wstring shell = shellProgram();
  KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    status = static_cast<int>(::GetLastError());
    return result;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  if (!::Process32FirstW(snapshot.get(), &entry)) {
    status = static_cast<int>(::GetLastError());
    return result;
  }
  status = ERROR_FILE_NOT_FOUND;  // until a shell process is found
  do {
    KernelHandle process(::OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID));
    if (!process) continue;
    // Compared exactly: the path the system reports, or the bare name when the path is unknown.
    const std::wstring program = programOf(entry.th32ProcessID, entry.szExeFile);
    if (program != shell && program != L"explorer.exe") continue;
    HANDLE opened = nullptr;
    if (!::OpenProcessToken(process.get(), TOKEN_DUPLICATE, &opened)) {
      status = static_cast<int>(::GetLastError());
      break;
    }
    KernelHandle token(opened);
    HANDLE duplicate = nullptr;
    if (!::DuplicateTokenEx(token.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation, TokenPrimary,
                            &duplicate)) {
      status = static_cast<int>(::GetLastError());
      break;
    }
    result.native_ = std::make_unique<ShellToken::Native>();
    result.native_->token.reset(duplicate);
    status = 0;
    break;
  } while (::Process32NextW(snapshot.get(), &entry));
  return result;
}

bool startWithShellToken(const ShellToken& token, const std::wstring& commandLine, int& error) {
  error = 0;
  if (!token) {
    error = ERROR_INVALID_HANDLE;
    return false;
  }
  const HMODULE advapi = ::LoadLibraryW(L"ADVAPI32.dll");
  if (advapi == nullptr) {
    error = static_cast<int>(::GetLastError());
    return false;
  }
  const auto createWithToken = reinterpret_cast<CreateProcessWithTokenFunction>(
      reinterpret_cast<void*>(::GetProcAddress(advapi, "CreateProcessWithTokenW")));
  if (createWithToken == nullptr) {
    error = static_cast<int>(::GetLastError());
    ::FreeLibrary(advapi);
    return false;
  }
  std::wstring line = commandLine;  // the call may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const BOOL started = createWithToken(token.native_->token.get(), LOGON_WITH_PROFILE, nullptr, line.data(), 0,
                                       nullptr, nullptr, &startup, &info);
  if (!started) error = static_cast<int>(::GetLastError());
  ::FreeLibrary(advapi);
  if (!started) return false;
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

int commandLineTooLongError() { return ERROR_FILENAME_EXCED_RANGE; }

void setShellProgramForTesting(const std::wstring& program) {
  std::lock_guard<std::mutex> lock(shellProgramMutex);
  if (program.empty()) {
    shellProgramOverride.reset();
  } else {
    shellProgramOverride = program;
  }
}

}  // namespace utility::process
