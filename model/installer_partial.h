// The partial installer a download leaves to be continued: "<target>.tmp" beside the target,
// and a small side file "<target>.tmp.resume" naming the address it came from, the validator the
// server gave it and the whole length. A later attempt, or a later run, continues the file with
// a range request while both still fit; anything stale is removed.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "net/byte_ranges.h"

class InstallerPartial {
 public:
  // A partial file older than this is not continued.
  static constexpr std::chrono::hours kMaxAge{24 * 7};

  explicit InstallerPartial(const std::wstring& target);

  const std::wstring& file() const { return file_; }
  const std::wstring& sideFile() const { return sideFile_; }

  // Where a download of |url| continues: the kept file, when its side file names |url|, is at
  // most a week old and the file is shorter than the whole. Anything else kept there is removed
  // (logged) and the point is empty: the download starts from zero.
  net::ResumePoint resumePointFor(const std::wstring& url);
  // After an attempt that did not finish: keeps the file for the next attempt or run when the
  // server named a validator for it (the side file is written, atomically), else removes it.
  net::ResumePoint keepAfter(const std::wstring& url, const net::FileTransfer& transfer);
  // Whether a side file stands beside the partial file (it may be continued).
  bool resumable() const;
  // Removes the partial file and its side file; true when something was removed.
  bool discard();
  // Removes the side file only (the partial file has become the target).
  void forget();

  // Tests: the clock the age is read from (null: the system's).
  static void setClockForTesting(int64_t (*secondsSinceEpoch)());

 private:
  std::wstring file_;
  std::wstring sideFile_;
};
