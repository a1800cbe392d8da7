// execute: a child waited for within a limit, and taskkill's forced end of named programs, done
// in-process (no program of that name found in a folder an attacker could write is ever run).
#include <cwchar>
#include <cwctype>
#include <vector>

#include "utility/system/command_line_split.h"
#include "utility/system/log.h"
#include "utility/system/process.h"

namespace utility::process {

namespace {

bool equalsIgnoreCase(const std::wstring& a, const wchar_t* b) {
  const size_t n = std::wcslen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

bool isTaskkill(const std::wstring& file) {
  return equalsIgnoreCase(file, L"taskkill") || equalsIgnoreCase(file, L"taskkill.exe");
}

// "/F /IM name /T": the forced kill of the named processes (and with /T their descendants).
int taskkill(const std::wstring& parameters, uint32_t waitMs) {
  const std::vector<std::wstring> args = utility::splitCommandLine(parameters);
  std::wstring name;
  bool tree = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (equalsIgnoreCase(args[i], L"/IM") && i + 1 < args.size()) {
      name = args[++i];
    } else if (equalsIgnoreCase(args[i], L"/T")) {
      tree = true;
    }
  }
  if (name.empty()) return 1;
  return killByImageName(name, tree, waitMs);
}

}  // namespace

bool execute(const std::wstring& file, const std::wstring& parameters, bool show,
             uint32_t timeLimitMs) {
  if (isTaskkill(file)) {
    common::logPrint("utility::process::create", __LINE__,
                     L"createProcess filename = [%s], param = [%s], show = %d", file.c_str(),
                     parameters.c_str(), show ? 1 : 0);
    const int exitCode = taskkill(parameters, timeLimitMs);
    if (timeLimitMs == 0) return true;
    common::logPrint("utility::process::execute", __LINE__, L"execute exitcode = %d lastError = %d",
                     exitCode, 0);
    return exitCode == 0;
  }
  ProcessHandle handle = create(file, parameters, show);
  if (!handle) {
    common::logPrint("utility::process::execute", __LINE__, L"execute failed!!! last error = %d", lastError());
    return false;
  }
  if (timeLimitMs == 0) return true;
  int exitCode = -1;
  int error = 0;
  switch (handle.wait(timeLimitMs, exitCode, error)) {
    case ProcessHandle::Wait::ended:
      common::logPrint("utility::process::execute", __LINE__, L"execute exitcode = %d lastError = %d",
                       exitCode, 0);
      return exitCode == 0;
    case ProcessHandle::Wait::timedOut:
      common::logPrint("utility::process::execute", __LINE__, L"execute timeout!!!");
      return false;
    case ProcessHandle::Wait::failed:
      break;
  }
  common::logPrint("utility::process::execute", __LINE__, L"execute failed!!! lastError = %d", error);
  return false;
}

}  // namespace utility::process
