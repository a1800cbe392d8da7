// Which call of the target's stack a libsoup failure stands for, and its Windows Internet code.
#pragma once

#include <glib.h>
#include <libsoup/soup.h>

namespace net::soup {

struct Failure {
  int step;  // CHttpClient::kStep...
  int code;  // a Windows Internet error code
};

// |connected|: a connection stood before the failure (a time-out or reset then belongs to the
// request, not to the connect).
Failure classify(const GError* error, bool connected, SoupMessage* message);

}  // namespace net::soup
