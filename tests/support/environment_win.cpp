// The C runtime's copy (getenv) and the process's block (children, GetEnvironmentVariable) both.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "tests/support/environment.h"

namespace testsupport {

namespace {

std::wstring wide(const char* text) {
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring out(units > 0 ? static_cast<size_t>(units) : 1, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), units);
  out.resize(out.size() - 1);
  return out;
}

}  // namespace

void setEnv(const char* name, const char* value) {
  ::_putenv((std::string(name) + "=" + value).c_str());
  // An empty value removes the C runtime's entry; the process's block keeps it as set.
  ::SetEnvironmentVariableW(wide(name).c_str(), wide(value).c_str());
}

void unsetEnv(const char* name) {
  ::_putenv((std::string(name) + "=").c_str());
  ::SetEnvironmentVariableW(wide(name).c_str(), nullptr);
}

}  // namespace testsupport
