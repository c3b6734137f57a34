// One client connection: PRELOGIN and LOGIN7, then requests until the client
// leaves. Bad input ends only this connection.
#pragma once

#include <cstdint>

#include "storage/database_store.h"
#include "protocol/integrated_login.h"
#include "server_options.h"

namespace standin {

class TlsContext;

struct ServerContext {
  const ServerOptions& options;
  DataDirectory& directory;
  const IntegratedLogin& integrated;
  const TlsContext* tls = nullptr;  // no certificate: the server cannot encrypt
};

// Serves the socket until it closes; closes it.
void ServeClient(int fd, uint16_t spid, const ServerContext& server);

}  // namespace standin
