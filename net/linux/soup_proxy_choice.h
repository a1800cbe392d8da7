// The route of the platform HTTP client's session.
#pragma once

#include <libsoup/soup.h>

#include <string>

namespace net::soup {

// The session keeps the desktop's own proxy resolver, except where that goes direct although the
// environment names a proxy (a desktop whose own settings say "none"): then the environment's
// proxy for |scheme|, |host| and |port|.
void chooseProxy(SoupSession* session, const std::string& scheme, const std::string& host, int port);

}  // namespace net::soup
