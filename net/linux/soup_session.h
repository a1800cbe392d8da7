// The platform HTTP client's session and connections: trusted roots, certificate checks and
// time-outs.
#pragma once

#include <gio/gio.h>
#include <libsoup/soup.h>

namespace net::soup {

// A new session on the thread-default context: the deployment's trusted roots (the system's when
// it names none), certificate and host-name checks on, |connectSeconds| to connect, bodies as
// sent (no content decoding). Null, logged, when the trusted roots do not load.
SoupSession* newSession(unsigned connectSeconds);

// One request's connection: once it stands, waiting for data is bounded by the receive time-out
// instead of the connect time-out.
struct ConnectionState {
  unsigned receiveSeconds = 0;
  bool connected = false;  // a connection to the server (or the proxy) stood
};
// Follows the connection of |message| into |state| (which must outlive the request).
void watchConnection(SoupMessage* message, ConnectionState* state);
// Stops following it (before |state| goes).
void unwatchConnection(SoupMessage* message, ConnectionState* state);

}  // namespace net::soup
