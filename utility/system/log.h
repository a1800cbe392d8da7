// The diagnostic log: one file per user, records appended as UTF-8 by a writer thread.
//   MM-DD<TAB>hh:mm:ss.mmm<TAB>tid<TAB>function<TAB>(line):message<CR><LF>
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "utility/system/host_path.h"

namespace common {

// The one logging call: a wide printf format ("%s" is a wide string) and its arguments.
void logPrint(const char* function, int line, const wchar_t* format, ...);

// The sink behind the hook: writes |text| unchanged as one record.
void log(const char* function, int line, const wchar_t* text);

using LogHook = void (*)(const char* function, int line, const wchar_t* text);
void setLogHook(LogHook hook);

// Opens the log at |path| (a Windows path text) and starts the writer; the first call wins.
void initLog(const std::wstring& path);

// Writes what is pending and waits for it to reach the file, at most |timeoutMs|. Returns true
// when everything accepted so far has been written. Used by the orderly end of a run.
bool flushLog(unsigned timeoutMs);

struct LogLimits {
  size_t threshold = 10240;           // wake the writer / drop records beyond this backlog
  uint64_t trimAt = 52428800;         // 50 MiB
  uint64_t keep = 2097152;            // 2 MiB kept after trimming
};

class LogFile;

class LogWriter {
 public:
  // Writes to the file |hostPath| of this system.
  explicit LogWriter(utility::HostPath hostPath, LogLimits limits = {});
  ~LogWriter();  // stops the writer after writing what is pending (tests; the process one lives on)
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // Queues one finished record; false when it was dropped because the writer is behind.
  bool add(std::string_view record);
  bool flush(unsigned timeoutMs);
  // Whether a record offered now would be dropped (lets callers skip building it).
  bool isBehind() const { return pendingBytes_.load(std::memory_order_relaxed) > limits_.threshold; }
  uint64_t acceptedRecords() const { return accepted_.load(); }
  uint64_t droppedRecords() const { return dropped_.load(); }
  // Tests: runs on the writer thread before each batch goes to the file, without the lock held,
  // so a test can hold the writer back and watch callers drop records.
  void setBeforeWriteForTesting(std::function<void()> hook);

  // The writer of the process, or null before initLog.
  static LogWriter* current();

 private:
  void run();
  void writeBatch(LogFile& file, const std::string& batch);

  const utility::HostPath path_;
  const LogLimits limits_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable written_;
  std::string pending_;
  std::atomic<size_t> pendingBytes_{0};
  uint64_t queuedSerial_ = 0;   // records queued so far (guarded by mutex_)
  uint64_t writtenSerial_ = 0;  // records handed to the file so far (guarded by mutex_)
  bool flushRequested_ = false;
  bool stopping_ = false;
  std::function<void()> beforeWrite_;  // guarded by mutex_
  std::atomic<uint64_t> accepted_{0};
  std::atomic<uint64_t> dropped_{0};
  std::thread thread_;
};

// Builds one record in a fixed 10240-byte buffer; a record that does not fit is dropped whole.
class LogStream {
 public:
  static constexpr size_t kCapacity = 10240;

  LogStream(const char* function, int line, LogWriter* writer = LogWriter::current());
  ~LogStream();
  LogStream(const LogStream&) = delete;
  LogStream& operator=(const LogStream&) = delete;

  LogStream& operator<<(std::wstring_view text);
  LogStream& operator<<(std::string_view bytes);
  bool failed() const { return failed_; }

 private:
  void append(const char* bytes, size_t n);

  LogWriter* writer_;
  char buffer_[kCapacity];
  size_t length_ = 0;
  bool failed_ = false;
};

}  // namespace common
