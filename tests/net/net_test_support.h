// Shared pieces of the network tests: the in-process stand-in services with the deployment
// pointed at them, a temporary drive C:, and a capture of the log records.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "deployment/deployment.h"
#include "standin/services/services.h"
#include "tests/support/temp_folder.h"

namespace nettest {

// libcurl's process-wide set-up and clean-up around the whole test binary, as the application
// object does it: ::testing::AddGlobalTestEnvironment(new nettest::CurlEnvironment).
class CurlEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
};

// How often |part| occurs in |text| (overlaps counted).
size_t occurrences(const std::string& text, const std::string& part);

struct LogRecord {
  std::string function;
  std::wstring text;
};

// Captures every log record while it lives.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<LogRecord> records() const;
  bool contains(const std::wstring& text) const;        // a record equal to |text|
  bool containsPart(const std::wstring& part) const;    // a record holding |part|
  void clear();
};

// The stand-in services on an ephemeral port, the deployment pointing at them, drive C: on a
// temporary folder. One per test.
class ServicesTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // What the services of this test are made with (the default options unless a fixture says).
  virtual standin::Options servicesOptions() const { return {}; }

  // "https://127.0.0.1:<port><path>"
  std::string url(const std::string& path) const;
  std::wstring wurl(const std::string& path) const;
  // The Windows path text of |name| on drive C:, and its host path.
  std::wstring winPath(const std::string& name) const;
  std::string hostPath(const std::string& name) const;
  // The targets the server received for |path| (decoded path, without hop prefixes).
  std::vector<std::string> targetsFor(const std::string& path) const;
  // The bytes of the generated file of |size| bytes.
  static std::string generated(uint64_t size);
  static std::string readFile(const std::string& hostPath);
  static bool fileExists(const std::string& hostPath);

  std::unique_ptr<standin::Services> services_;
  std::unique_ptr<testsupport::TempFolder> temp_;
  deployment::Values values_;
  LogCapture log_;
};

// The file of the test CA and the other certificates made by the build.
std::string certFile(const std::string& name);

// Something other than a plain file found at a download target.
enum class Planted { kLinkToVictim, kDanglingLink, kFifo, kFolder };
inline constexpr Planted kPlantedKinds[] = {Planted::kLinkToVictim, Planted::kDanglingLink, Planted::kFifo,
                                            Planted::kFolder};
const char* nameOf(Planted kind);
// Puts |kind| at |target|; a link points at |victim| (for a dangling link, a path that does not exist).
bool plant(Planted kind, const std::string& target, const std::string& victim);
// True when |target| still holds what plant() put there.
bool stillPlanted(Planted kind, const std::string& target, const std::string& victim);

}  // namespace nettest
