// The sockets sqlstandin listens on: TCP for TDS and, with a named instance,
// UDP for the SQL Server Browser, both on the address given by --listen.
#pragma once

#include <string>

namespace standin {

// A bound socket of `type` (SOCK_STREAM listening, or SOCK_DGRAM) on a numeric
// IPv4 or IPv6 address and `port` (0: any free port). -1 with `error` set on failure.
int OpenBoundSocket(const std::string& address, int port, int type, std::string& error);

// The port a bound socket got.
int BoundPort(int fd);

// "127.0.0.2:1433", "[::1]:1433".
std::string EndpointText(const std::string& address, int port);

}  // namespace standin
