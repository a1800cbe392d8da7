// Downloads over the platform HTTP stack: into memory or into a file with progress, and a
// cancel that another thread may call. After cancel the downloader stays stopped: every later
// download through it ends at its first chunk of body data.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "net/byte_ranges.h"
#include "net/download_failure.h"
#include "net/http_client.h"
#include "utility/system/ufile.h"

namespace utility {

class CHttpDownloader {
 public:
  class IHttpDownloadSink {
   public:
    virtual ~IHttpDownloadSink() = default;
    // One chunk arrived; |received| includes it. False cancels the download.
    virtual bool onHttpProgress(const char* data, int length, int64_t received, int64_t total) = 0;
  };

  static constexpr uint64_t kNoLimit = UINT64_MAX;

  CHttpDownloader() = default;
  ~CHttpDownloader() = default;
  CHttpDownloader(const CHttpDownloader&) = delete;
  CHttpDownloader& operator=(const CHttpDownloader&) = delete;

  // Appends the reply body to |out| (callers pass it empty). Statuses outside 200..299 fail; so
  // does a body longer than |maxBytes|.
  bool downloadToMemory(std::string& out, const std::wstring& url, uint64_t maxBytes = kNoLimit);
  // The same under |rules| (size limit, overall deadline, https only).
  bool downloadToMemory(std::string& out, const std::wstring& url, const net::FetchRules& rules);
  // Writes the reply body to |path|, created when an accepted header has arrived. A failure
  // after that leaves the partial file. |progress| may be null. |rules|: deadline and https
  // only (the size is not limited). With |transfer|, a partial file at |path| is continued by a
  // range request where it names one (see net/byte_ranges.h), the bytes go to its digest, and it
  // learns what a later attempt may continue with.
  bool downloadToFile(const std::wstring& url, const std::wstring& path, IHttpDownloadSink* progress,
                      const net::FetchRules& rules = {}, net::FileTransfer* transfer = nullptr);
  // Any thread: stops for good and ends a transfer under way at once.
  void cancel();
  // Why the last downloadToFile on this thread failed, where known.
  net::DownloadFailure lastFailure() const { return lastFailure_; }

 private:
  bool run(const std::wstring& url, const std::wstring& headers, CHttpClient::IHttpClientSink& sink,
           const net::FetchRules& rules);

  CHttpClient client_;
  std::atomic<bool> stopRequested_{false};
  net::DownloadFailure lastFailure_ = net::DownloadFailure::kUnknown;
};

class CHttpDownload2MemSink : public CHttpClient::IHttpClientSink {
 public:
  CHttpDownload2MemSink(std::string& out, const std::atomic<bool>& stopRequested,
                        uint64_t maxBytes = CHttpDownloader::kNoLimit)
      : out_(out), stopRequested_(stopRequested), maxBytes_(maxBytes) {}

  void onHttpError(int, int) override {}
  bool onHttpRecvHeader(int64_t contentLength, int status) override;
  bool onHttpRecvData(const char* data, int length) override;
  void onHttpFinish() override {}

 private:
  std::string& out_;
  const std::atomic<bool>& stopRequested_;
  const uint64_t maxBytes_;
};

// Chunks reach the file in batches of up to kWriteBatch bytes: one write per TLS record (16 KiB)
// costs two to three times the kernel time of 256 KiB writes. Everything received is in the file once
// onHttpFinish has run (also after a failure); a failed write fails the download.
class CHttpDownload2FileSink : public CHttpClient::IHttpClientSink {
 public:
  static constexpr int64_t kAssumedTotal = 10485760;  // progress total when no length is sent
  static constexpr size_t kWriteBatch = 262144;

  CHttpDownload2FileSink(const std::wstring& path, const std::atomic<bool>& stopRequested,
                         CHttpDownloader::IHttpDownloadSink* progress, net::FileTransfer* transfer = nullptr)
      : path_(path), stopRequested_(stopRequested), progress_(progress), transfer_(transfer) {}

  void onHttpError(int step, int systemError) override;
  bool onHttpRecvHeader(int64_t contentLength, int status) override;
  bool onHttpRecvReply(const net::ReplyFacts& reply) override;
  bool onHttpRecvData(const char* data, int length) override;
  void onHttpFinish() override;

  int64_t received() const { return received_; }
  int64_t total() const { return total_; }
  // Whether a write into the file failed (the file then lacks bytes that arrived).
  bool writeFailed() const { return writeFailed_; }
  // The first cause the sink saw: a refused status, a file that could not be made or written,
  // or a connection that could not be had.
  net::DownloadFailure failure() const { return failure_; }

 private:
  bool hold(const char* data, size_t length);
  bool flush();
  bool write(const char* data, size_t length);
  void noteFailure(net::DownloadFailure failure) {
    if (failure_ == net::DownloadFailure::kUnknown) failure_ = failure;
  }
  net::DownloadFailure failure_ = net::DownloadFailure::kUnknown;

  utility::FileHandle file_;
  std::unique_ptr<char[]> batch_;  // made once per sink
  size_t held_ = 0;
  bool writeFailed_ = false;
  const std::wstring path_;
  const std::atomic<bool>& stopRequested_;
  CHttpDownloader::IHttpDownloadSink* progress_;
  net::FileTransfer* transfer_;
  bool continuing_ = false;  // the reply continues the partial file
  int64_t received_ = 0;
  int64_t total_ = 0;
};

}  // namespace utility
