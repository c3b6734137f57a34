// sqlstandin: a small SQL Server stand-in (TDS 7.4 over SQLite) for tests and demos.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "client_session.h"
#include "storage/database_store.h"
#include "protocol/integrated_login.h"
#include "protocol/browser_service.h"
#include "protocol/listen_socket.h"
#include "protocol/tls_session.h"
#include "server_options.h"

using namespace standin;

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseServerOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(ServerUsageText().c_str(), stdout);
    return 0;
  }
  // A client that vanishes mid-reply must not take the server with it.
  std::signal(SIGPIPE, SIG_IGN);

  mkdir(options->dataDir.c_str(), 0755);
  DataDirectory directory(options->dataDir);
  if (!directory.Find("master") && !directory.Create("master", error)) {
    std::fprintf(stderr, "sqlstandin: cannot create the master database in %s: %s\n", options->dataDir.c_str(),
                 error.c_str());
    return 1;
  }

  // tempdb starts empty on every start, as SQL Server's does.
  if (const auto old = directory.Find("tempdb")) {
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((*old + suffix).c_str());
  }
  if (!directory.Create("tempdb", error))
    std::fprintf(stderr, "sqlstandin: cannot create tempdb in %s: %s\n", options->dataDir.c_str(), error.c_str());

  // Ready before the first client: "listening" means able to encrypt too.
  std::unique_ptr<TlsContext> tls;
  try {
    if (!options->tlsCertFile.empty()) {
      tls = TlsContext::FromFiles(options->tlsCertFile, options->tlsKeyFile);
    } else if (!options->noEncryption) {
      tls = TlsContext::SelfSigned(options->dataDir, BrowserServerName());
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sqlstandin: %s\n", e.what());
    return 1;
  }

  const int listener = OpenBoundSocket(options->listenAddress, options->port, SOCK_STREAM, error);
  if (listener < 0) {
    std::fprintf(stderr, "sqlstandin: %s\n", error.c_str());
    return 1;
  }
  const int port = BoundPort(listener);
  if (!options->instanceName.empty()) {
    // Clients find a named instance's port through the Browser on UDP 1434.
    const int browser = OpenBoundSocket(options->listenAddress, kBrowserPort, SOCK_DGRAM, error);
    if (browser < 0) {
      std::fprintf(stderr, "sqlstandin: the SQL Server Browser port: %s\n", error.c_str());
      return 1;
    }
    ServeBrowserRequests(browser, {BrowserServerName(), options->instanceName, "16.0.4096.0", port});
  }
  // Tests start the server with --port 0 and read the chosen port from this line.
  std::printf("sqlstandin listening on %s\n", EndpointText(options->listenAddress, port).c_str());
  std::fflush(stdout);

  const IntegratedLogin integrated(options->keytab);
  const ServerContext context{*options, directory, integrated, tls.get()};
  std::atomic<uint16_t> nextSpid{51};
  for (;;) {
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      std::fprintf(stderr, "sqlstandin: accept failed: %s\n", std::strerror(errno));
      usleep(100000);  // e.g. out of descriptors: wait for connections to close
      continue;
    }
    const int yes = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    uint16_t spid = nextSpid++;
    if (spid < 51) spid = nextSpid = 51;  // wrapped around
    std::thread([client, spid, &context] { ServeClient(client, spid, context); }).detach();
  }
}
