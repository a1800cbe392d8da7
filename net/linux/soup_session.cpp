#include "net/linux/soup_session.h"

#include <string>

#include "deployment/deployment.h"
#include "net/linux/glib_handles.h"
#include "utility/system/log.h"

namespace net::soup {

namespace {

void applyReceiveTimeout(GIOStream* stream, unsigned seconds) {
  GIOStream* base = stream;
  GRef<GIOStream> tlsBase;
  if (G_IS_TLS_CONNECTION(stream)) {
    GIOStream* inner = nullptr;
    g_object_get(stream, "base-io-stream", &inner, nullptr);
    tlsBase.reset(inner);
    base = inner;
  }
  if (base != nullptr && G_IS_SOCKET_CONNECTION(base)) {
    g_socket_set_timeout(g_socket_connection_get_socket(G_SOCKET_CONNECTION(base)), seconds);
  }
}

void onNetworkEvent(SoupMessage*, GSocketClientEvent event, GIOStream* connection, gpointer data) {
  auto* state = static_cast<ConnectionState*>(data);
  if (event == G_SOCKET_CLIENT_CONNECTED) state->connected = true;
  if (state->connected && connection != nullptr) applyReceiveTimeout(connection, state->receiveSeconds);
}

}  // namespace

SoupSession* newSession(unsigned connectSeconds) {
  SoupSession* session = soup_session_new();
  soup_session_remove_feature_by_type(session, SOUP_TYPE_CONTENT_DECODER);
  soup_session_set_timeout(session, connectSeconds);
  const std::string& bundle = deployment::values().caBundleFile;
  if (bundle.empty()) return session;
  ErrorHolder error;
  GRef<GTlsDatabase> database(g_tls_file_database_new(bundle.c_str(), error.out()));
  if (!database) {
    common::logPrint("utility::CHttpClient::openUrl", __LINE__, L"trusted roots %S not loaded: %s", bundle.c_str(),
                     error.message().c_str());
    g_object_unref(session);
    return nullptr;
  }
  soup_session_set_tls_database(session, database.get());
  return session;
}

void watchConnection(SoupMessage* message, ConnectionState* state) {
  g_signal_connect(message, "network-event", G_CALLBACK(onNetworkEvent), state);
}

void unwatchConnection(SoupMessage* message, ConnectionState* state) {
  g_signal_handlers_disconnect_by_data(message, state);
}

}  // namespace net::soup
