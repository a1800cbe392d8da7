#include "net/linux/soup_error_map.h"

#include <gio/gio.h>

#include "net/http_client.h"
#include "net/wininet_errors.h"

namespace net::soup {

namespace {

using utility::CHttpClient;

int certificateErrorCode(GTlsCertificateFlags flags) {
  if ((flags & G_TLS_CERTIFICATE_UNKNOWN_CA) != 0) return kInternetInvalidCa;
  if ((flags & G_TLS_CERTIFICATE_BAD_IDENTITY) != 0) return kInternetSecCertCnInvalid;
  if ((flags & (G_TLS_CERTIFICATE_EXPIRED | G_TLS_CERTIFICATE_NOT_ACTIVATED)) != 0) {
    return kInternetSecCertDateInvalid;
  }
  return kInternetSecInvalidCert;
}

}  // namespace

Failure classify(const GError* error, bool connected, SoupMessage* message) {
  const int connectOrSend = connected ? CHttpClient::kStepSendRequest : CHttpClient::kStepConnect;
  if (error == nullptr) return {CHttpClient::kStepSendRequest, kInternetInternalError};
  if (error->domain == G_RESOLVER_ERROR) return {CHttpClient::kStepConnect, kInternetNameNotResolved};
  if (error->domain == G_TLS_ERROR) {
    if (error->code == G_TLS_ERROR_BAD_CERTIFICATE) {
      return {CHttpClient::kStepSendRequest,
              certificateErrorCode(soup_message_get_tls_peer_certificate_errors(message))};
    }
    return {CHttpClient::kStepSendRequest, kInternetSecurityChannelError};
  }
  if (error->domain == SOUP_SESSION_ERROR) {
    if (error->code == SOUP_SESSION_ERROR_TOO_MANY_REDIRECTS ||
        error->code == SOUP_SESSION_ERROR_REDIRECT_NO_LOCATION ||
        error->code == SOUP_SESSION_ERROR_REDIRECT_BAD_URI) {
      return {CHttpClient::kStepSendRequest, kHttpRedirectFailed};
    }
    if (error->code == SOUP_SESSION_ERROR_PARSING || error->code == SOUP_SESSION_ERROR_ENCODING) {
      return {CHttpClient::kStepQueryStatus, kHttpInvalidServerResponse};
    }
    return {CHttpClient::kStepSendRequest, kInternetInternalError};
  }
  if (error->domain == G_IO_ERROR) {
    switch (error->code) {
      case G_IO_ERROR_CANCELLED: return {CHttpClient::kStepSendRequest, kInternetOperationCancelled};
      case G_IO_ERROR_TIMED_OUT: return {connectOrSend, kInternetTimeout};
      case G_IO_ERROR_HOST_NOT_FOUND: return {CHttpClient::kStepConnect, kInternetNameNotResolved};
      case G_IO_ERROR_CONNECTION_REFUSED:
      case G_IO_ERROR_HOST_UNREACHABLE:
      case G_IO_ERROR_NETWORK_UNREACHABLE:
      case G_IO_ERROR_PROXY_FAILED:
      case G_IO_ERROR_PROXY_AUTH_FAILED:
      case G_IO_ERROR_PROXY_NEED_AUTH:
      case G_IO_ERROR_PROXY_NOT_ALLOWED: return {CHttpClient::kStepConnect, kInternetCannotConnect};
      case G_IO_ERROR_CONNECTION_CLOSED:  // also G_IO_ERROR_BROKEN_PIPE
        return {connectOrSend, kInternetConnectionReset};
      case G_IO_ERROR_PARTIAL_INPUT: return {connectOrSend, kInternetConnectionAborted};
      default: break;
    }
  }
  return {connectOrSend, kInternetInternalError};
}

}  // namespace net::soup
