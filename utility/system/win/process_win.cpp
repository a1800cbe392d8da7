// Processes on Windows: CreateProcessW with the Windows command line, waits on the process
// handle, the shell's execute call, toolhelp snapshots, and the forced tree kill done in-process
// (terminate, then wait until the programs have ended).
#include <windows.h>

#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <system_error>
#include <thread>
#include <vector>

#include "utility/system/command_line_quote.h"
#include "utility/system/log.h"
#include "utility/system/process.h"
#include "utility/system/usystem.h"
#include "utility/system/win/kernel_handle_win.h"

namespace utility::process {

namespace {

using utility::win::KernelHandle;

constexpr int kShellSuccess = 42;  // any shell result above 32 means "accepted"

HANDLE nativeOf(ProcessHandle::Native handle) { return reinterpret_cast<HANDLE>(handle); }

// The command line CreateProcessW is given: the program in double quotes (so a path with blanks
// names one file), then a blank and the parameters when there are any.
std::wstring commandLineOf(const std::wstring& file, const std::wstring& parameters) {
  std::wstring line = L"\"" + file + L"\"";
  if (!parameters.empty()) line += L" " + parameters;
  return line;
}

// Starts |file| with |parameters|; no handle of ours is inherited. The thread handle is closed.
bool startProcess(const std::wstring& file, const std::wstring& parameters, DWORD flags, bool show,
                  PROCESS_INFORMATION& info) {
  if (file.empty()) {
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  std::wstring line = commandLineOf(file, parameters);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(show ? SW_SHOW : SW_HIDE);
  info = PROCESS_INFORMATION{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  info.hThread = nullptr;
  return true;
}

// The shell's execute call; the result as the plain call gives it (above 32: accepted).
int shellExecute(const wchar_t* verb, const std::wstring& file, const std::wstring& parameters, int show,
                 ULONG mask, DWORD& error) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = mask;
  info.lpVerb = verb;
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.nShow = show;
  ::SetLastError(0);
  const BOOL ok = ::ShellExecuteExW(&info);
  error = ::GetLastError();
  if (info.hProcess != nullptr) ::CloseHandle(info.hProcess);
  int result = static_cast<int>(reinterpret_cast<INT_PTR>(info.hInstApp));
  if (ok && result <= 32) result = kShellSuccess;  // some handlers leave hInstApp unset
  if (!ok && result > 32) result = static_cast<int>(error != 0 ? error : ERROR_FILE_NOT_FOUND);
  return result;
}

// The shell's execute calls load handlers through COM; a thread of our own sets it up as the
// shell asks (apartment-threaded, no OLE1 DDE).
class ComForShell {
 public:
  ComForShell() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~ComForShell() {
    if (initialised_) ::CoUninitialize();
  }
  ComForShell(const ComForShell&) = delete;
  ComForShell& operator=(const ComForShell&) = delete;

 private:
  bool initialised_;
};

// ---- the running processes ----

struct ProcessEntry {
  DWORD pid = 0;
  DWORD parent = 0;
  std::wstring name;
};

bool scanProcesses(std::vector<ProcessEntry>& out, const char*& failedCall) {
  out.clear();
  KernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    failedCall = "CreateToolhelp32Snapshot (of processes)";
    return false;
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  if (!::Process32FirstW(snapshot.get(), &entry)) {
    failedCall = "Process32First";
    return false;
  }
  do {
    out.push_back({entry.th32ProcessID, entry.th32ParentProcessID, entry.szExeFile});
  } while (::Process32NextW(snapshot.get(), &entry));
  return true;
}

uint64_t creationTime(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// Waits for |handle| until |deadline| (or for ever).
void waitUntil(HANDLE handle, bool forever, std::chrono::steady_clock::time_point deadline) {
  DWORD timeout = INFINITE;
  if (!forever) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    timeout = static_cast<DWORD>(left > 0 ? (left < INFINITE - 1 ? left : INFINITE - 1) : 0);
  }
  ::WaitForSingleObject(handle, timeout);
}

}  // namespace

// ---- ProcessHandle ----

ProcessHandle::ProcessHandle(ProcessHandle&& other) noexcept
    : pid_(other.pid_), handle_(other.handle_), ended_(other.ended_) {
  other.handle_ = kNoNative;
}

ProcessHandle& ProcessHandle::operator=(ProcessHandle&& other) noexcept {
  if (this != &other) {
    close();
    pid_ = other.pid_;
    handle_ = other.handle_;
    ended_ = other.ended_;
    other.handle_ = kNoNative;
  }
  return *this;
}

ProcessHandle::Wait ProcessHandle::wait(uint32_t timeLimitMs, int& exitCode, int& error) {
  error = 0;
  if (handle_ == kNoNative || ended_) {
    error = ERROR_INVALID_HANDLE;
    return Wait::failed;
  }
  switch (::WaitForSingleObject(nativeOf(handle_), timeLimitMs == kInfinite ? INFINITE : timeLimitMs)) {
    case WAIT_OBJECT_0: {
      DWORD code = 0;
      exitCode = ::GetExitCodeProcess(nativeOf(handle_), &code) ? static_cast<int>(code) : -1;
      ended_ = true;
      return Wait::ended;
    }
    case WAIT_TIMEOUT:
      return Wait::timedOut;
    default:
      error = static_cast<int>(::GetLastError());
      return Wait::failed;
  }
}

void ProcessHandle::close() {
  if (handle_ == kNoNative) return;
  ::CloseHandle(nativeOf(handle_));  // the process itself keeps running
  handle_ = kNoNative;
}

int lastError() { return static_cast<int>(::GetLastError()); }

// ---- the calls ----

bool shell(const std::wstring& file, const std::wstring& parameters, bool runAs, bool show) {
  common::logPrint("utility::process::shell", __LINE__,
                   L"shell filename = [%s], param = [%s], runas = %d, show = %d", file.c_str(),
                   parameters.c_str(), runAs ? 1 : 0, show ? 1 : 0);
  const wchar_t* verb = runAs && utility::usystem::isVistaOrLater() ? L"runas" : L"open";
  DWORD error = 0;
  const int result = shellExecute(verb, file, parameters, show ? SW_SHOW : SW_HIDE,
                                  SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC, error);
  common::logPrint("utility::process::shell", __LINE__, L"shellEx ret . lastError = %d", static_cast<int>(error));
  if (result <= 32) {
    common::logPrint("utility::process::shell", __LINE__, L"shellEx failed!!! lastError = %d",
                     static_cast<int>(error));
    ::SetLastError(error);
    return false;
  }
  return true;
}

bool startDetached(const std::wstring& file, const std::wstring& parameters, uint32_t* processId) {
  PROCESS_INFORMATION info{};
  // No console of ours and a process group of its own: the caller's end or Ctrl+C never reach it.
  if (!startProcess(file, parameters, DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, true, info)) return false;
  ::CloseHandle(info.hProcess);
  if (processId != nullptr) *processId = info.dwProcessId;
  return true;
}

ProcessHandle create(const std::wstring& file, const std::wstring& parameters, bool show,
                     uint32_t* processId) {
  common::logPrint("utility::process::create", __LINE__,
                   L"createProcess filename = [%s], param = [%s], show = %d", file.c_str(),
                   parameters.c_str(), show ? 1 : 0);
  PROCESS_INFORMATION info{};
  if (!startProcess(file, parameters, CREATE_NEW_CONSOLE, show, info)) {
    const DWORD error = ::GetLastError();
    common::logPrint("utility::process::create", __LINE__, L"createProcess failed!!! lastError = %d",
                     static_cast<int>(error));
    ::SetLastError(error);
    return {};
  }
  if (processId != nullptr) *processId = info.dwProcessId;
  return ProcessHandle(info.dwProcessId, reinterpret_cast<ProcessHandle::Native>(info.hProcess));
}

namespace {

// The shell's "open" of |address|, then iexplore.exe with the address as its one argument; the
// verdict is logged.
void openAndLog(const std::wstring& address) {
  ComForShell com;
  DWORD error = 0;
  int result = shellExecute(L"open", address, L"", SW_SHOW, SEE_MASK_FLAG_NO_UI | SEE_MASK_NOCLOSEPROCESS, error);
  if (result <= 32) {
    const HINSTANCE fallback = ::ShellExecuteW(nullptr, L"open", L"iexplore.exe",
                                               utility::quoteCommandLineArgument(address).c_str(), nullptr, SW_SHOW);
    result = static_cast<int>(reinterpret_cast<INT_PTR>(fallback));
    if (result <= 32) error = static_cast<DWORD>(result);
  }
  if (result > 32) {
    common::logPrint("utility::process::openUrl", __LINE__, L"shellEx ret . lastError = %d", 0);
  } else {
    common::logPrint("utility::process::openUrl", __LINE__, L"shellEx failed!!! lastError = %d",
                     static_cast<int>(error));
  }
}

}  // namespace

int openUrl(const std::wstring& address) {
  // The shell may take its time (a handler to load, a browser to start): the caller, often the
  // window's thread, does not wait for it.
  try {
    std::thread([address] { openAndLog(address); }).detach();
  } catch (const std::system_error&) {
    common::logPrint("utility::process::openUrl", __LINE__, L"shellEx failed!!! lastError = %d",
                     static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
    return SE_ERR_OOM;
  }
  return kShellSuccess;
}

int killByImageName(const std::wstring& imageName, bool tree, uint32_t waitMs) {
  // Every process ended is held open, so its id cannot name another process meanwhile; a process
  // counts as a descendant only when it was created after the parent it names.
  struct Held {
    KernelHandle handle;
    uint64_t created = 0;
  };
  std::map<DWORD, Held> held;
  bool refused = false;
  const DWORD self = ::GetCurrentProcessId();
  // |named|: the process bears the name; a refusal then counts. A descendant found by its parent's
  // id may be an older process whose parent id was reused, which may well be another user's.
  auto end = [&](DWORD pid, uint64_t notBefore, bool named) -> bool {
    if (pid == self || held.count(pid) != 0) return false;
    KernelHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
      if (named && ::GetLastError() == ERROR_ACCESS_DENIED) refused = true;
      return false;  // gone, or not ours to end
    }
    const uint64_t created = creationTime(process.get());
    if (created < notBefore) return false;  // an older process holding a reused id
    if (!::TerminateProcess(process.get(), 1) && ::WaitForSingleObject(process.get(), 0) != WAIT_OBJECT_0) {
      refused = true;
      return false;
    }
    held[pid] = Held{std::move(process), created};
    return true;
  };
  const bool forever = waitMs == kInfinite;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(forever ? 0 : waitMs);
  // Rounds until nothing new is found: a parent may have started a child before it was ended.
  std::vector<ProcessEntry> processes;
  const char* failedCall = nullptr;
  for (int round = 0; round < 16; ++round) {
    if (!scanProcesses(processes, failedCall)) break;
    bool added = false;
    for (const ProcessEntry& p : processes) {
      if (p.name == imageName && end(p.pid, 0, true)) added = true;
    }
    for (bool grown = tree; grown;) {
      grown = false;
      for (const ProcessEntry& p : processes) {
        const auto parent = held.find(p.parent);
        if (parent != held.end() && p.pid != p.parent && end(p.pid, parent->second.created, false)) {
          grown = added = true;
        }
      }
    }
    if (!added) break;
    // Ended for good before the next look, so none of them can start another child.
    for (auto& [pid, entry] : held) waitUntil(entry.handle.get(), forever, deadline);
  }
  // The caller goes on to replace what these programs used: wait until they have ended.
  for (auto& [pid, entry] : held) waitUntil(entry.handle.get(), forever, deadline);
  if (held.empty() && !refused) return 128;
  return refused ? 1 : 0;
}

void ProcessSnapshot::take() {
  clear();
  std::vector<ProcessEntry> processes;
  const char* failedCall = nullptr;
  if (!scanProcesses(processes, failedCall)) {
    std::printf("%s\n", failedCall);  // a windowed program shows nobody this
    return;
  }
  for (ProcessEntry& p : processes) emplace(std::move(p.name), static_cast<uint32_t>(p.pid));
}

}  // namespace utility::process
