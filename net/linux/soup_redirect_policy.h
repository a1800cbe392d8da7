// The redirect policy of the platform HTTP client: every hop of a redirect chain is checked
// before it is requested.
#pragma once

#include <gio/gio.h>
#include <libsoup/soup.h>

namespace net::soup {

// One request's redirect state: the scheme of the hop before, the rules, and a refused hop's
// error code (0 while none was refused).
struct RedirectPolicy {
  bool secure = false;
  bool httpsOnly = false;
  int refused = 0;
  GCancellable* cancellable = nullptr;  // cancelled when a hop is refused
};

// Checks every hop of |message| against |policy| (which must outlive the request): http and https
// only, never from https back to plain http (the certificate check would be gone), https only
// when the rules say so. A refused hop is logged and ends the request.
void watchRedirects(SoupMessage* message, RedirectPolicy* policy);
// Stops the checks (before |policy| goes).
void unwatchRedirects(SoupMessage* message, RedirectPolicy* policy);

}  // namespace net::soup
