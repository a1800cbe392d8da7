#include "utility/system/log.h"

#include <algorithm>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <vector>

#include "utility/base/clock.h"
#include "utility/system/drive_table.h"
#include "utility/system/log_file.h"
#include "utility/base/strings.h"
#include "utility/base/wformat.h"

namespace common {

namespace {

std::atomic<LogHook> gHook{nullptr};
std::atomic<LogWriter*> gWriter{nullptr};
std::mutex gInitMutex;

// Writes |value| as at least |width| decimal digits; returns the end.
char* putDecimal(char* p, unsigned long value, int width) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n < width) digits[n++] = '0';
  while (n > 0) *p++ = digits[--n];
  return p;
}

}  // namespace

void setLogHook(LogHook hook) { gHook.store(hook, std::memory_order_release); }

void logPrint(const char* function, int line, const wchar_t* format, ...) {
  const LogHook hook = gHook.load(std::memory_order_acquire);
  if (hook == nullptr) return;
  // A record the writer would drop anyway is not even formatted.
  if (hook == &log) {
    const LogWriter* writer = gWriter.load(std::memory_order_acquire);
    if (writer == nullptr || writer->isBehind()) return;
  }
  wchar_t message[8192];
  va_list args;
  va_start(args, format);
  utility::vformatTo(message, 8192, format, args);  // cut, never overrun, when too long
  va_end(args);
  hook(function, line, message);
}

void log(const char* function, int line, const wchar_t* text) {
  LogStream stream(function, line);
  stream << std::wstring_view(text != nullptr ? text : L"");
}

void initLog(const std::wstring& path) {
  if (path.empty()) return;
  std::lock_guard<std::mutex> lock(gInitMutex);
  if (gWriter.load() != nullptr) return;
  // The process writer is never destroyed: records may arrive until the very end.
  gWriter.store(new LogWriter(utility::toHostPath(path)), std::memory_order_release);
}

bool flushLog(unsigned timeoutMs) {
  LogWriter* writer = gWriter.load(std::memory_order_acquire);
  return writer == nullptr || writer->flush(timeoutMs);
}

LogWriter* LogWriter::current() { return gWriter.load(std::memory_order_acquire); }

LogWriter::LogWriter(utility::HostPath hostPath, LogLimits limits)
    : path_(std::move(hostPath)), limits_(limits) {
  pending_.reserve(std::min<size_t>(limits_.threshold * 2, size_t{1} << 20));
  thread_ = std::thread([this] { run(); });
}

LogWriter::~LogWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool LogWriter::add(std::string_view record) {
  // The writer is behind: drop rather than make the caller wait.
  if (isBehind()) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return false;
  }
  size_t now;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.append(record.data(), record.size());
    now = pending_.size();
    pendingBytes_.store(now, std::memory_order_relaxed);
    ++queuedSerial_;
  }
  accepted_.fetch_add(1, std::memory_order_relaxed);
  if (now >= limits_.threshold) wake_.notify_one();
  return true;
}

void LogWriter::setBeforeWriteForTesting(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  beforeWrite_ = std::move(hook);
}

bool LogWriter::flush(unsigned timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t target = queuedSerial_;
  flushRequested_ = true;
  wake_.notify_one();
  return written_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return writtenSerial_ >= target; });
}

void LogWriter::run() {
  // A log that starts with a UTF-16 byte-order mark was written by an older version: start it
  // afresh. Any other log is appended to.
  LogFile file;
  if (file.open(path_)) {
    unsigned char bom[2] = {0, 0};
    if (file.readAt(0, reinterpret_cast<char*>(bom), 2) == 2 && bom[0] == 0xFF && bom[1] == 0xFE) {
      file.replaceContent(nullptr, 0);
    }
  }

  std::string batch;
  batch.reserve(std::min<size_t>(limits_.threshold * 2, size_t{1} << 20));
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait_for(lock, std::chrono::milliseconds(500), [&] {
      return pending_.size() >= limits_.threshold || flushRequested_ || stopping_;
    });
    flushRequested_ = false;
    const bool stop = stopping_;
    const uint64_t serial = queuedSerial_;
    batch.swap(pending_);
    pendingBytes_.store(0, std::memory_order_relaxed);
    if (!batch.empty()) {
      // The file work happens without the lock: callers never wait for the disk.
      const std::function<void()> beforeWrite = beforeWrite_;
      lock.unlock();
      if (beforeWrite) beforeWrite();
      writeBatch(file, batch);
      batch.clear();
      lock.lock();
    }
    writtenSerial_ = serial;
    written_.notify_all();
    if (stop && pending_.empty()) break;
  }
}

void LogWriter::writeBatch(LogFile& file, const std::string& batch) {
  if (!file.isOpen()) return;  // the log could not be opened: records are dropped
  file.append(batch.data(), batch.size());
  const int64_t size = file.size();
  if (size < 0 || static_cast<uint64_t>(size) < limits_.trimAt) return;
  // Keep only the last part of the file. When the tail cannot be read whole the file is left
  // as it is and the next batch tries again.
  const uint64_t keep = std::min<uint64_t>(limits_.keep, static_cast<uint64_t>(size));
  std::vector<char> tail(static_cast<size_t>(keep));
  if (file.readAt(static_cast<uint64_t>(size) - keep, tail.data(), tail.size()) != tail.size()) return;
  file.replaceContent(tail.data(), tail.size());
}

LogStream::LogStream(const char* function, int line, LogWriter* writer) : writer_(writer) {
  if (writer_ == nullptr) return;  // the log is not open: nothing is built
  const utility::LocalTime t = utility::localTimeNow();
  char header[64];
  char* p = header;
  p = putDecimal(p, static_cast<unsigned long>(t.month), 2);
  *p++ = '-';
  p = putDecimal(p, static_cast<unsigned long>(t.day), 2);
  *p++ = '\t';
  p = putDecimal(p, static_cast<unsigned long>(t.hour), 2);
  *p++ = ':';
  p = putDecimal(p, static_cast<unsigned long>(t.minute), 2);
  *p++ = ':';
  p = putDecimal(p, static_cast<unsigned long>(t.second), 2);
  *p++ = '.';
  p = putDecimal(p, static_cast<unsigned long>(t.millisecond), 3);
  *p++ = '\t';
  p = putDecimal(p, utility::currentThreadId(), 4);
  *p++ = '\t';
  append(header, static_cast<size_t>(p - header));
  if (function != nullptr) append(function, std::strlen(function));
  p = header;
  *p++ = '\t';
  *p++ = '(';
  if (line < 0) {
    *p++ = '-';
    p = putDecimal(p, static_cast<unsigned long>(-static_cast<long>(line)), 1);
  } else {
    p = putDecimal(p, static_cast<unsigned long>(line), 1);
  }
  *p++ = ')';
  *p++ = ':';
  append(header, static_cast<size_t>(p - header));
}

LogStream::~LogStream() {
  if (writer_ == nullptr) return;
  append("\r\n", 2);
  if (!failed_) writer_->add(std::string_view(buffer_, length_));
}

void LogStream::append(const char* bytes, size_t n) {
  if (failed_) return;
  if (n > kCapacity - length_) {
    failed_ = true;
    return;
  }
  std::memcpy(buffer_ + length_, bytes, n);
  length_ += n;
}

LogStream& LogStream::operator<<(std::wstring_view text) {
  if (writer_ == nullptr || failed_) return *this;
  const size_t room = kCapacity - length_;
  const size_t needed = utility::appendUtf8(text, buffer_ + length_, room);
  if (needed > room) {
    failed_ = true;
  } else {
    length_ += needed;
  }
  return *this;
}

LogStream& LogStream::operator<<(std::string_view bytes) {
  if (writer_ != nullptr) append(bytes.data(), bytes.size());
  return *this;
}

}  // namespace common
