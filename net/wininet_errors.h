// Windows Internet error codes, reported through onHttpError as the target's stack reports them,
// and the system error codes the transfers log.
#pragma once

namespace net {

inline constexpr int kErrorNotEnoughMemory = 8;
inline constexpr int kErrorInsufficientBuffer = 122;

inline constexpr int kInternetTimeout = 12002;
inline constexpr int kInternetInternalError = 12004;
inline constexpr int kInternetInvalidUrl = 12005;
inline constexpr int kInternetUnrecognizedScheme = 12006;
inline constexpr int kInternetNameNotResolved = 12007;
inline constexpr int kInternetOperationCancelled = 12017;
inline constexpr int kInternetCannotConnect = 12029;
inline constexpr int kInternetConnectionAborted = 12030;
inline constexpr int kInternetConnectionReset = 12031;
inline constexpr int kInternetSecCertDateInvalid = 12037;
inline constexpr int kInternetSecCertCnInvalid = 12038;
inline constexpr int kInternetHttpsToHttpOnRedirect = 12040;
inline constexpr int kInternetInvalidCa = 12045;
inline constexpr int kInternetSecCertErrors = 12055;
inline constexpr int kInternetSecCertNoRev = 12056;
inline constexpr int kInternetSecCertRevFailed = 12057;
inline constexpr int kHttpHeaderNotFound = 12150;
inline constexpr int kHttpInvalidServerResponse = 12152;
inline constexpr int kHttpRedirectFailed = 12156;
inline constexpr int kInternetSecurityChannelError = 12157;
inline constexpr int kInternetSecInvalidCert = 12169;

}  // namespace net
