#include "net/linux/soup_redirect_policy.h"

#include "net/wininet_errors.h"
#include "utility/system/log.h"

namespace net::soup {

namespace {

void onRestarted(SoupMessage* message, gpointer data) {
  auto* policy = static_cast<RedirectPolicy*>(data);
  GUri* uri = soup_message_get_uri(message);
  const char* scheme = uri != nullptr ? g_uri_get_scheme(uri) : nullptr;
  const bool https = scheme != nullptr && g_ascii_strcasecmp(scheme, "https") == 0;
  const bool http = scheme != nullptr && g_ascii_strcasecmp(scheme, "http") == 0;
  int refused = 0;
  if (!https && !http) {
    refused = kHttpRedirectFailed;
  } else if (http && (policy->secure || policy->httpsOnly)) {
    refused = kInternetHttpsToHttpOnRedirect;
  }
  if (refused == 0) {
    policy->secure = https;
    return;
  }
  char* text = uri != nullptr ? g_uri_to_string_partial(uri, G_URI_HIDE_PASSWORD) : g_strdup("");
  common::logPrint("utility::CHttpClient::sendAndReceive", __LINE__, L"redirect to %S refused", text);
  g_free(text);
  policy->refused = refused;
  g_cancellable_cancel(policy->cancellable);
}

}  // namespace

void watchRedirects(SoupMessage* message, RedirectPolicy* policy) {
  g_signal_connect(message, "restarted", G_CALLBACK(onRestarted), policy);
}

void unwatchRedirects(SoupMessage* message, RedirectPolicy* policy) {
  g_signal_handlers_disconnect_by_data(message, policy);
}

}  // namespace net::soup
