// sqlstandin: a small SQL Server stand-in (TDS 7.4 over SQLite) for tests and demos.
#include <arpa/inet.h>
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
#include <thread>

#include "client_session.h"
#include "storage/database_store.h"
#include "protocol/integrated_login.h"
#include "server_options.h"

using namespace standin;

int main(int argc, char** argv) {
  std::string error;
  const auto options = ParseServerOptions(argc, argv, error);
  if (!options) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
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

  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int yes = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(options->port));
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 64) != 0) {
    std::fprintf(stderr, "sqlstandin: cannot listen on 127.0.0.1:%d: %s\n", options->port, std::strerror(errno));
    return 1;
  }
  socklen_t length = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length);
  // Tests start the server with --port 0 and read the chosen port from this line.
  std::printf("sqlstandin listening on 127.0.0.1:%u\n", ntohs(addr.sin_port));
  std::fflush(stdout);

  const IntegratedLogin integrated(options->keytab);
  const ServerContext context{*options, directory, integrated};
  std::atomic<uint16_t> nextSpid{51};
  for (;;) {
    const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      std::fprintf(stderr, "sqlstandin: accept failed: %s\n", std::strerror(errno));
      usleep(100000);  // e.g. out of descriptors: wait for connections to close
      continue;
    }
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    uint16_t spid = nextSpid++;
    if (spid < 51) spid = nextSpid = 51;  // wrapped around
    std::thread([client, spid, &context] { ServeClient(client, spid, context); }).detach();
  }
}
