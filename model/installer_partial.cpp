#include "model/installer_partial.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <atomic>
#include <vector>

#include "utility/base/strings.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/system/profile_file.h"
#include "utility/system/ufile.h"

namespace {

constexpr const char* kLabel = "InstallerPartial";
constexpr uint64_t kMaxSideFileBytes = 16384;

std::atomic<int64_t (*)()> gClock{nullptr};

int64_t now() {
  if (auto clock = gClock.load()) return clock();
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

struct SideFacts {
  std::string url;
  std::string validator;
  int64_t total = -1;
  int64_t savedAt = 0;
};

bool readSide(const std::wstring& path, SideFacts& facts) {
  std::vector<uint8_t> bytes;
  if (!utility::ufile::readFile(path, kMaxSideFileBytes, bytes)) return false;
  rapidjson::Document document;
  document.Parse(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (document.HasParseError() || !document.IsObject()) return false;
  const auto text = [&document](const char* name, std::string& out) {
    const auto member = document.FindMember(name);
    if (member == document.MemberEnd() || !member->value.IsString()) return false;
    out.assign(member->value.GetString(), member->value.GetStringLength());
    return true;
  };
  const auto number = [&document](const char* name, int64_t& out) {
    const auto member = document.FindMember(name);
    if (member == document.MemberEnd() || !member->value.IsInt64()) return false;
    out = member->value.GetInt64();
    return true;
  };
  return text("url", facts.url) && text("validator", facts.validator) && number("total", facts.total) &&
         number("time", facts.savedAt);
}

bool writeSide(const std::wstring& path, const SideFacts& facts) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.StartObject();
  writer.Key("url");
  writer.String(facts.url.c_str(), static_cast<rapidjson::SizeType>(facts.url.size()));
  writer.Key("validator");
  writer.String(facts.validator.c_str(), static_cast<rapidjson::SizeType>(facts.validator.size()));
  writer.Key("total");
  writer.Int64(facts.total);
  writer.Key("time");
  writer.Int64(facts.savedAt);
  writer.EndObject();
  const utility::HostPath host = utility::toHostPath(path);
  return !host.empty() && utility::profile::replaceFile(host, std::string(buffer.GetString(), buffer.GetSize()));
}

}  // namespace

InstallerPartial::InstallerPartial(const std::wstring& target)
    : file_(target + L".tmp"), sideFile_(target + L".tmp.resume") {}

net::ResumePoint InstallerPartial::resumePointFor(const std::wstring& url) {
  SideFacts facts;
  uint64_t size = 0;
  const bool hasFile = utility::ufile::fileSize(file_, size);
  const bool hasSide = readSide(sideFile_, facts);
  const char* stale = nullptr;
  if (!hasFile && !hasSide) {
    if (utility::ufile::exists(sideFile_)) discard();
    return {};
  }
  if (!hasFile) stale = "no partial file";
  else if (!hasSide) stale = "no record of its source";
  else if (facts.url != utility::wideToUtf8(url)) stale = "another address";
  else if (now() - facts.savedAt > std::chrono::duration_cast<std::chrono::seconds>(kMaxAge).count() ||
           facts.savedAt > now() + 86400)
    stale = "older than a week";
  else if (size == 0 || static_cast<int64_t>(size) >= facts.total) stale = "not a part of the whole";
  if (stale != nullptr) {
    common::logPrint(kLabel, __LINE__, L"partial download removed (%S): %s", stale, file_.c_str());
    discard();
    return {};
  }
  common::logPrint(kLabel, __LINE__, L"partial download kept: %I64u of %I64d bytes", size, facts.total);
  return net::ResumePoint{.offset = static_cast<int64_t>(size), .validator = facts.validator, .total = facts.total};
}

net::ResumePoint InstallerPartial::keepAfter(const std::wstring& url, const net::FileTransfer& transfer) {
  uint64_t size = 0;
  const bool kept = !transfer.validator.empty() && transfer.total > 0 && utility::ufile::fileSize(file_, size) &&
                    size > 0 && static_cast<int64_t>(size) < transfer.total;
  if (kept) {
    const SideFacts facts{utility::wideToUtf8(url), transfer.validator, transfer.total, now()};
    if (writeSide(sideFile_, facts)) {
      return net::ResumePoint{.offset = static_cast<int64_t>(size), .validator = transfer.validator,
                              .total = transfer.total};
    }
    common::logPrint(kLabel, __LINE__, L"partial download not recorded: %s", sideFile_.c_str());
  }
  discard();
  return {};
}

bool InstallerPartial::resumable() const {
  SideFacts facts;
  return utility::ufile::exists(file_) && readSide(sideFile_, facts);
}

bool InstallerPartial::discard() {
  bool removed = false;
  for (const std::wstring& path : {file_, sideFile_}) {
    if (utility::ufile::exists(path) && utility::ufile::removeFile(path)) {
      common::logPrint("DownloaderModel::_removePartialDownload", __LINE__, L"partial download removed: %s",
                       path.c_str());
      removed = true;
    }
  }
  return removed;
}

void InstallerPartial::forget() {
  if (utility::ufile::exists(sideFile_)) utility::ufile::removeFile(sideFile_);
}

void InstallerPartial::setClockForTesting(int64_t (*secondsSinceEpoch)()) { gClock.store(secondsSinceEpoch); }
