#include "net/http_downloader.h"

#include <cstring>
#include <new>

#include "net/wininet_errors.h"
#include "utility/base/sha256.h"
#include "utility/base/strings.h"
#include "utility/system/log.h"

namespace utility {

namespace {

constexpr const wchar_t* kRequestHeaders = L"Content-Type: application/x-www-form-urlencoded";

bool isSuccessStatus(int status) { return status >= 200 && status <= 299; }

}  // namespace

bool CHttpDownload2MemSink::onHttpRecvHeader(int64_t contentLength, int status) {
  if (!isSuccessStatus(status)) return false;
  if (contentLength > 0 && static_cast<uint64_t>(contentLength) > maxBytes_) {
    common::logPrint("utility::CHttpDownload2MemSink::onHttpRecvHeader", __LINE__,
                     L"reply larger than %I64u bytes refused", maxBytes_);
    return false;
  }
  return true;
}

bool CHttpDownload2MemSink::onHttpRecvData(const char* data, int length) {
  if (stopRequested_.load()) return false;
  if (length < 0) return false;
  if (static_cast<uint64_t>(out_.size()) + static_cast<uint64_t>(length) > maxBytes_) {
    common::logPrint("utility::CHttpDownload2MemSink::onHttpRecvData", __LINE__,
                     L"reply larger than %I64u bytes refused", maxBytes_);
    return false;
  }
  try {
    out_.append(data, static_cast<size_t>(length));
  } catch (const std::bad_alloc&) {
    common::logPrint("utility::CHttpDownload2MemSink::onHttpRecvData", __LINE__,
                     L"not enough memory error %d", net::kErrorNotEnoughMemory);
    return false;
  }
  return true;
}

bool CHttpDownload2FileSink::onHttpRecvReply(const net::ReplyFacts& reply) {
  const char* label = "utility::CHttpDownload2FileSink::onHttpRecvReply";
  continuing_ = false;
  if (transfer_ == nullptr) return onHttpRecvHeader(reply.contentLength, reply.status);
  net::FileTransfer& transfer = *transfer_;
  transfer.resumedBytes = 0;
  if (!isSuccessStatus(reply.status)) {
    // The server cannot serve the rest of what it named before: that partial file is of no use.
    if (reply.status == 416 && transfer.resume.valid()) {
      transfer.partialDiscarded = true;
      transfer.validator.clear();
    }
    return onHttpRecvHeader(reply.contentLength, reply.status);
  }
  if (reply.status == 206 && !transfer.resume.valid()) {
    common::logPrint(label, __LINE__, L"part of a file refused, the whole was asked for");
    noteFailure(net::DownloadFailure::kServerRefused);
    return false;
  }
  if (transfer.resume.valid()) {
    std::string why;
    const net::RangeVerdict verdict = net::judgeRangeReply(transfer.resume, reply, why);
    if (verdict == net::RangeVerdict::kRefuse) {
      common::logPrint(label, __LINE__, L"range reply refused, partial file discarded: %s",
                       utf8ToWide(why).c_str());
      transfer.partialDiscarded = true;
      transfer.validator.clear();
      noteFailure(net::DownloadFailure::kNoConnection);
      return false;
    }
    if (verdict == net::RangeVerdict::kRestart) {
      common::logPrint(label, __LINE__, L"download restarts from zero: %s", utf8ToWide(why).c_str());
      transfer.partialDiscarded = true;
      transfer.validator.clear();
    } else {
      continuing_ = true;
    }
  }
  if (!continuing_) {
    transfer.validator = net::rangeValidator(reply);
    transfer.total = reply.contentLength;
    if (transfer.digest != nullptr) transfer.digest->reset();
    return onHttpRecvHeader(reply.contentLength, reply.status);
  }
  // The rest of the same file: the kept bytes go to the digest once, the new ones follow them.
  const int64_t offset = transfer.resume.offset;
  total_ = transfer.resume.total;
  received_ = offset;
  held_ = 0;
  writeFailed_ = false;
  if (!batch_) batch_.reset(new (std::nothrow) char[kWriteBatch]);
  if (transfer.digest != nullptr) transfer.digest->reset();
  int error = 0;
  const bool opened = file_.openToContinue(
      path_, static_cast<uint64_t>(offset),
      [&transfer](const char* data, size_t length) {
        if (transfer.digest != nullptr) transfer.digest->update(data, length);
      },
      error);
  if (!opened) {
    common::logPrint(label, __LINE__, L"partial file not continued, discarded: error %d", error);
    transfer.partialDiscarded = true;
    transfer.validator.clear();
    if (transfer.digest != nullptr) transfer.digest->reset();
    return false;
  }
  transfer.validator = transfer.resume.validator;
  transfer.total = transfer.resume.total;
  transfer.resumedBytes = offset;
  common::logPrint(label, __LINE__, L"download resumed at %I64d of %I64d bytes", offset, total_);
  return true;
}

bool CHttpDownload2FileSink::onHttpRecvHeader(int64_t contentLength, int status) {
  continuing_ = false;
  if (!isSuccessStatus(status)) {
    common::logPrint("utility::CHttpDownload2FileSink::onHttpRecvHeader", __LINE__,
                     L"onHttpErro status = %d", status);
    noteFailure(net::DownloadFailure::kServerRefused);
    return false;
  }
  total_ = contentLength > 0 ? contentLength : kAssumedTotal;
  received_ = 0;
  held_ = 0;
  writeFailed_ = false;
  // Without a batch every chunk is written as it comes.
  if (!batch_) batch_.reset(new (std::nothrow) char[kWriteBatch]);
  int error = 0;
  if (!file_.open(path_, error)) {
    common::logPrint("utility::CHttpDownload2FileSink::onHttpRecvHeader", __LINE__,
                     L"onHttpErro create file error  %d", error);
    noteFailure(net::failureForCreateError(error));
    return false;
  }
  return true;
}

bool CHttpDownload2FileSink::onHttpRecvData(const char* data, int length) {
  if (stopRequested_.load()) return false;
  if (length < 0) return false;
  received_ += length;
  if (progress_ != nullptr && !progress_->onHttpProgress(data, length, received_, total_)) return false;
  if (transfer_ != nullptr && transfer_->digest != nullptr) {
    transfer_->digest->update(data, static_cast<size_t>(length));
  }
  return hold(data, static_cast<size_t>(length));
}

bool CHttpDownload2FileSink::hold(const char* data, size_t length) {
  if (held_ + length > kWriteBatch && !flush()) return false;
  if (!batch_ || length >= kWriteBatch) return write(data, length);
  std::memcpy(batch_.get() + held_, data, length);
  held_ += length;
  return true;
}

bool CHttpDownload2FileSink::flush() {
  if (held_ == 0) return !writeFailed_;
  const bool written = write(batch_.get(), held_);
  held_ = 0;
  return written;
}

// A failed write names its cause in the log (a full disk, a folder gone read-only).
bool CHttpDownload2FileSink::write(const char* data, size_t length) {
  if (file_.write(data, length)) return true;
  const int error = net::lastWriteError();
  if (!writeFailed_) {
    common::logPrint("utility::CHttpDownload2FileSink::write", __LINE__, L"write file error %d: %s", error,
                     net::writeErrorText(error).c_str());
  }
  writeFailed_ = true;
  noteFailure(net::failureForWriteError(error));
  return false;
}

void CHttpDownload2FileSink::onHttpError(int step, int systemError) {
  flush();  // what arrived stays in the file
  file_.close();
  noteFailure(net::failureForInternetError(systemError));
  common::logPrint("utility::CHttpDownload2FileSink::onHttpError", __LINE__, L"onHttpErro %d, %d", step,
                   systemError);
}

void CHttpDownload2FileSink::onHttpFinish() {
  flush();
  file_.close();
}

bool CHttpDownloader::run(const std::wstring& url, const std::wstring& headers, CHttpClient::IHttpClientSink& sink,
                          const net::FetchRules& rules) {
  client_.closeHandle();
  client_.setRules(rules);
  bool ok = client_.openUrl(url, headers, &sink) && client_.sendAndReceive();
  client_.closeHandle();
  return ok;
}

bool CHttpDownloader::downloadToMemory(std::string& out, const std::wstring& url, uint64_t maxBytes) {
  return downloadToMemory(out, url, net::FetchRules{.maxBytes = maxBytes});
}

bool CHttpDownloader::downloadToMemory(std::string& out, const std::wstring& url, const net::FetchRules& rules) {
  CHttpDownload2MemSink sink(out, stopRequested_, rules.maxBytes);
  return run(url, kRequestHeaders, sink, rules);
}

bool CHttpDownloader::downloadToFile(const std::wstring& url, const std::wstring& path,
                                     IHttpDownloadSink* progress, const net::FetchRules& rules,
                                     net::FileTransfer* transfer) {
  CHttpDownload2FileSink sink(path, stopRequested_, progress, transfer);
  std::wstring headers = kRequestHeaders;
  if (transfer != nullptr) {
    transfer->partialDiscarded = false;
    transfer->resumedBytes = 0;
    if (transfer->resume.valid()) headers += L"\r\n" + utf8ToWide(net::rangeRequestLines(transfer->resume));
  }
  const bool ok = run(url, headers, sink, rules);
  sink.onHttpFinish();  // the file holds what arrived and is closed, whatever the outcome
  lastFailure_ = ok && !sink.writeFailed() ? net::DownloadFailure::kUnknown : sink.failure();
  // The last batch reaches the file after the transfer: a body that could not be written whole
  // is no download.
  if (ok && sink.writeFailed()) {
    common::logPrint("utility::CHttpDownloader::downloadToFile", __LINE__, L"file not written whole: %s",
                     path.c_str());
  }
  return ok && !sink.writeFailed();
}

void CHttpDownloader::cancel() {
  stopRequested_.store(true);
  client_.abort();
}

}  // namespace utility
