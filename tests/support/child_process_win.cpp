// CreateProcessW with a command line the C runtime splits back into the same arguments.
#include <windows.h>

#include <vector>

#include "tests/support/child_process.h"

namespace testsupport {

namespace {

std::wstring wide(const std::string& text) {
  if (text.empty()) return {};
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), units);
  return out;
}

// Quoted by the rules CommandLineToArgvW and the C runtime read: backslashes are literal except
// before a quote, where they are doubled.
std::wstring quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

}  // namespace

int runProgram(const std::string& program, const std::vector<std::string>& arguments, std::string* output) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!::CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return -1;
  ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  std::wstring commandLine = quoted(wide(program));
  for (const std::string& argument : arguments) commandLine += L" " + quoted(wide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(wide(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
  ::CloseHandle(writeEnd);
  std::string text;
  char buffer[4096];
  DWORD n = 0;
  while (::ReadFile(readEnd, buffer, sizeof(buffer), &n, nullptr) && n > 0) text.append(buffer, n);
  ::CloseHandle(readEnd);
  if (!started) return -1;
  ::CloseHandle(process.hThread);
  DWORD code = 0;
  const bool ended = ::WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
                     ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hProcess);
  if (output != nullptr) *output = text;
  return ended ? static_cast<int>(code) : -1;
}

std::string programBeside(const std::string& fileName) {
  std::vector<wchar_t> self(32768);
  const DWORD n = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  const std::wstring path(self.data(), n);
  const std::wstring folder = path.substr(0, path.find_last_of(L"\\/") + 1);
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, folder.data(), static_cast<int>(folder.size()), nullptr, 0,
                                          nullptr, nullptr);
  std::string out(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, folder.data(), static_cast<int>(folder.size()), out.data(), bytes, nullptr,
                        nullptr);
  return out + fileName;
}

}  // namespace testsupport
