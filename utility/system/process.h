// Starting other programs, waiting for them, and the running processes by image name.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace utility {
namespace process {

constexpr uint32_t kInfinite = 0xFFFFFFFF;

// A started child process. Closing a handle that was not waited to the end leaves the process
// running, never signalled (on Linux it is collected when it ends).
class ProcessHandle {
 public:
  enum class Wait { ended, timedOut, failed };
  // The platform's handle of the process: a pidfd on Linux, a process HANDLE on Windows.
  using Native = std::intptr_t;
  static constexpr Native kNoNative = -1;

  ProcessHandle() = default;
  ProcessHandle(uint32_t pid, Native handle) : pid_(pid), handle_(handle) {}
  ~ProcessHandle() { close(); }
  ProcessHandle(ProcessHandle&& other) noexcept;
  ProcessHandle& operator=(ProcessHandle&& other) noexcept;
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;

  explicit operator bool() const { return handle_ != kNoNative; }
  uint32_t id() const { return pid_; }
  // Waits at most |timeLimitMs| (kInfinite: no limit). On |ended| |exitCode| is the process's
  // exit code (on Linux 128 + the signal for one ended by a signal); on |failed| |error| is the
  // system's error code (errno on Linux, the last error on Windows).
  Wait wait(uint32_t timeLimitMs, int& exitCode, int& error);
  void close();

 private:
  uint32_t pid_ = 0;
  Native handle_ = kNoNative;
  bool ended_ = false;
};

// Starts |file| with |parameters| the way the shell does, not waited for: on Windows the shell's
// execute call (verb "runas" when |runAs| is set on Vista or later, else "open"); on Linux a
// detached start in a session of its own (there is no elevation to ask for). True when the
// program was started (the shell accepted it).
bool shell(const std::wstring& file, const std::wstring& parameters, bool runAs, bool show);

// Starts |file| (a Windows path text, a host path, or a program name looked up in PATH) with
// the arguments |parameters| holds by the Windows command-line rules. No handle of the caller is
// inherited; standard input and output are not the caller's (it gets a console of its own on
// Windows, shown or hidden by |show|; on Linux |show| has nothing to show). An empty handle on
// failure, with the system's error code in lastError().
ProcessHandle create(const std::wstring& file, const std::wstring& parameters, bool show,
                     uint32_t* processId = nullptr);

// create, then wait at most |timeLimitMs| (0: do not wait; kInfinite: no limit). True when the
// process started and, if waited for, ended with exit code 0. A process that outlives the limit
// keeps running. "taskkill" with "/F /IM <name> [/T]" is done here, without a program.
bool execute(const std::wstring& file, const std::wstring& parameters, bool show,
             uint32_t timeLimitMs);

// |file| with |parameters| (Windows command-line rules) as the user this process runs as,
// detached (a session of its own on Linux; no console and a process group of its own on
// Windows) and not waited for, like a program the desktop starts. True when it started;
// otherwise lastError() says why. Logs nothing: its caller does.
bool startDetached(const std::wstring& file, const std::wstring& parameters,
                   uint32_t* processId = nullptr);

// The system's error code of the calling thread's last failed call here: errno on Linux,
// GetLastError on Windows.
int lastError();

// Opens a web address or file in the user's browser; a result above 32 means an opener was
// started. Returns at once: the opener's verdict (a refusal gives way to the next opener: on
// Linux xdg-open, then x-www-browser; on Windows the shell's "open", then iexplore.exe) is
// learnt on a thread of its own and logged when it comes.
int openUrl(const std::wstring& address);

// Ends every process whose image name is exactly |imageName|, and with |tree| their
// descendants, and waits at most |waitMs| until they have ended. Returns the exit code taskkill
// gives: 0 when all were ended, 128 when none was found, 1 when some could not be ended. Never
// ends this process itself.
int killByImageName(const std::wstring& imageName, bool tree, uint32_t waitMs = kInfinite);

// Running processes: image file name as the system reports it ("corvide.exe") -> process id.
// Names compare exactly.
class ProcessSnapshot : public std::map<std::wstring, uint32_t> {
 public:
  void take();
};

}  // namespace process
}  // namespace utility
