// What the network layer decides without the network, on every platform: how an address is
// split, and what a failure is called.
#include <gtest/gtest.h>

#include "net/download_failure.h"
#include "net/http_client.h"
#include "net/wininet_errors.h"
#include "utility/base/strings.h"
#include "utility/system/ufile.h"

namespace {

using utility::CHttpClient;

TEST(CrackUrl, SplitsAsTheSystemCrackerDoes) {
  struct Case {
    std::wstring url;
    bool ok;
    std::wstring host;
    int port;
    std::wstring objectName;
    bool secure;
    int error;
  };
  const Case cases[] = {
      {L"https://127.0.0.1:47443/player_files/en/morvane", true, L"127.0.0.1", 47443, L"/player_files/en/morvane", true, 0},
      {L"HTTPS://example.com/a?b=1#frag", true, L"example.com", 443, L"/a?b=1#frag", true, 0},
      {L"http://example.com", true, L"example.com", 80, L"", false, 0},
      {L"http://user:pw@example.com:8080?q", true, L"example.com", 8080, L"?q", false, 0},
      {L"https://[::1]:9443/x", true, L"[::1]", 9443, L"/x", true, 0},
      {L"https://" + std::wstring(254, L'a') + L"/x", true, std::wstring(254, L'a'), 443, L"/x", true, 0},
      {L"https://" + std::wstring(255, L'a') + L"/x", false, L"", 0, L"", false, net::kErrorInsufficientBuffer},
      {L"ftp://example.com/x", false, L"", 0, L"", false, net::kInternetUnrecognizedScheme},
      {L"example.com/x", false, L"", 0, L"", false, net::kInternetUnrecognizedScheme},
      {L"https:///x", false, L"", 0, L"", false, net::kInternetInvalidUrl},
      {L"https://example.com:99999/", false, L"", 0, L"", false, net::kInternetInvalidUrl},
      {L"https://example.com:8a/", false, L"", 0, L"", false, net::kInternetInvalidUrl},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(utility::wideToUtf8(c.url.substr(0, 60)));
    CHttpClient::UrlParts parts;
    int error = -1;
    ASSERT_EQ(CHttpClient::crackUrl(c.url, parts, error), c.ok);
    EXPECT_EQ(error, c.error);
    if (!c.ok) continue;
    EXPECT_EQ(parts.host, c.host);
    EXPECT_EQ(parts.port, c.port);
    EXPECT_EQ(parts.objectName, c.objectName);
    EXPECT_EQ(parts.secure, c.secure);
  }
}

TEST(DownloadFailure, CausesTheUserIsToldOf) {
  using net::DownloadFailure;
  EXPECT_EQ(net::failureForInternetError(net::kInternetCannotConnect), DownloadFailure::kNoConnection);
  EXPECT_EQ(net::failureForInternetError(net::kInternetNameNotResolved), DownloadFailure::kNoConnection);
  EXPECT_EQ(net::failureForInternetError(net::kInternetTimeout), DownloadFailure::kNoConnection);
  EXPECT_EQ(net::failureForInternetError(net::kInternetConnectionReset), DownloadFailure::kNoConnection);
  EXPECT_EQ(net::failureForInternetError(net::kInternetOperationCancelled), DownloadFailure::kUnknown);
  EXPECT_EQ(net::failureForInternetError(net::kInternetInvalidCa), DownloadFailure::kUnknown);
  using utility::FileHandle;
  EXPECT_EQ(net::failureForCreateError(FileHandle::kErrorDiskFull), DownloadFailure::kDiskFull);
  EXPECT_EQ(net::failureForCreateError(FileHandle::kErrorAccessDenied), DownloadFailure::kFolderNotWritable);
  EXPECT_EQ(net::failureForCreateError(FileHandle::kErrorPathNotFound), DownloadFailure::kFolderNotWritable);
  EXPECT_EQ(net::failureForCreateError(FileHandle::kErrorSharingViolation), DownloadFailure::kUnknown);
}

}  // namespace
