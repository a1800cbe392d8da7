#include "tests/net/net_test_support.h"

#include <curl/curl.h>

#include <filesystem>
#include <fstream>

#include "tests/support/test_fs.h"
#include "utility/system/drive_table.h"
#include "utility/system/log.h"
#include "utility/base/strings.h"

namespace nettest {

void CurlEnvironment::SetUp() { curl_global_init(CURL_GLOBAL_ALL); }
void CurlEnvironment::TearDown() { curl_global_cleanup(); }

size_t occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

namespace {

std::mutex gLogMutex;
std::vector<LogRecord> gLog;

void captureRecord(const char* function, int, const wchar_t* text) {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.push_back({function != nullptr ? function : "", text != nullptr ? text : L""});
}

}  // namespace

LogCapture::LogCapture() {
  clear();
  common::setLogHook(&captureRecord);
}

LogCapture::~LogCapture() { common::setLogHook(nullptr); }

std::vector<LogRecord> LogCapture::records() const {
  std::lock_guard<std::mutex> lock(gLogMutex);
  return gLog;
}

bool LogCapture::contains(const std::wstring& text) const {
  for (const LogRecord& r : records()) {
    if (r.text == text) return true;
  }
  return false;
}

bool LogCapture::containsPart(const std::wstring& part) const {
  for (const LogRecord& r : records()) {
    if (r.text.find(part) != std::wstring::npos) return true;
  }
  return false;
}

void LogCapture::clear() {
  std::lock_guard<std::mutex> lock(gLogMutex);
  gLog.clear();
}

std::string certFile(const std::string& name) { return std::string(TARNWICK_STANDIN_CERT_DIR) + "/" + name; }

const char* nameOf(Planted kind) {
  switch (kind) {
    case Planted::kLinkToVictim: return "link-to-victim";
    case Planted::kDanglingLink: return "dangling-link";
    case Planted::kFifo: return "fifo";
    case Planted::kFolder: return "folder";
  }
  return "?";
}

bool plant(Planted kind, const std::string& target, const std::string& victim) {
  std::error_code error;
  switch (kind) {
    case Planted::kLinkToVictim:
    case Planted::kDanglingLink: std::filesystem::create_symlink(victim, target, error); return !error;
    case Planted::kFifo: return testfs::makeFifo(target);
    case Planted::kFolder: return std::filesystem::create_directory(target, error);
  }
  return false;
}

bool stillPlanted(Planted kind, const std::string& target, const std::string& victim) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::symlink_status(target, error);
  switch (kind) {
    case Planted::kLinkToVictim:
    case Planted::kDanglingLink: return fs::is_symlink(status) && fs::read_symlink(target, error) == victim;
    case Planted::kFifo: return fs::is_fifo(status);
    case Planted::kFolder: return fs::is_directory(status) && fs::is_empty(target, error);
  }
  return false;
}

void ServicesTest::SetUp() {
  temp_ = std::make_unique<testsupport::TempFolder>("tarnwick-net");
  utility::setDriveTableForTesting({utility::Drive{L'C', temp_->path().string(), "ext4", ""}});
  services_ = std::make_unique<standin::Services>(servicesOptions());
  const int port = services_->start();
  ASSERT_GT(port, 0);
  values_ = deployment::withServicesAuthority(deployment::compiledValues(), L"127.0.0.1:" + std::to_wstring(port));
  values_.caBundleFile = certFile("ca.pem");
  deployment::setValuesForTesting(&values_);
  log_.clear();
}

void ServicesTest::TearDown() {
  services_->stop();
  deployment::setValuesForTesting(nullptr);
  utility::setDriveTableForTesting({});
  temp_.reset();
}

std::string ServicesTest::url(const std::string& path) const { return services_->baseUrl() + path; }

std::wstring ServicesTest::wurl(const std::string& path) const { return utility::utf8ToWide(url(path)); }

std::wstring ServicesTest::winPath(const std::string& name) const { return L"C:\\" + utility::utf8ToWide(name); }

std::string ServicesTest::hostPath(const std::string& name) const { return (temp_->path() / name).string(); }

std::vector<std::string> ServicesTest::targetsFor(const std::string& path) const {
  std::vector<std::string> targets;
  for (const auto& request : services_->requests()) {
    if (request.path == path) targets.push_back(request.target);
  }
  return targets;
}

std::string ServicesTest::generated(uint64_t size) {
  std::string bytes(size, '\0');
  for (uint64_t i = 0; i < size; ++i) bytes[i] = standin::Services::generatedByte(i);
  return bytes;
}

std::string ServicesTest::readFile(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  std::string bytes;
  char buffer[65536];
  while (in.read(buffer, sizeof(buffer)) || in.gcount() > 0) bytes.append(buffer, static_cast<size_t>(in.gcount()));
  return bytes;
}

bool ServicesTest::fileExists(const std::string& hostPath) {
  std::error_code error;
  return std::filesystem::exists(hostPath, error);
}

}  // namespace nettest
