// What a user types to name a SQL Server: "host", "host\INSTANCE",
// "host,port", "tcp:host,port", an IPv4 or IPv6 address ("[::1]" or "::1").
// Pure text handling, shared by the application (to refuse a mistyped name
// before anything is registered) and by the "SQL Server" setup library (to
// turn the data source's Server= into the keys FreeTDS reads).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvoro::odbc {

// The port of a default instance.
inline constexpr int kDefaultInstancePort = 1433;

// The address "this machine's default instance" stands for. FreeTDS cannot
// resolve "(local)", and "localhost" may resolve to ::1 first, where a server
// listening on IPv4 only is not found.
inline constexpr char kThisMachineAddress[] = "127.0.0.1";

struct ServerName {
  std::string host;      // as typed, brackets of an IPv6 address removed; empty for this machine
  std::string instance;  // a named instance; empty for the default one
  int port = 0;          // after the comma; 0 when none was given
  bool thisMachine = false;  // "", "localhost", "(local)" or "."
};

struct ParsedServerName {
  std::optional<ServerName> name;  // empty when the text is not a server name
  std::string error;               // why, in words for the user
};

ParsedServerName ParseServerName(std::string_view text);

// How messages name the server: the text as the user gave it (trimmed), and
// "(local)" for an empty field, as this machine's default instance is known.
std::string ServerDisplayName(std::string_view text);

// FreeTDS's view of a parsed name.
struct FreeTdsServer {
  std::string server;  // FreeTDS "Server=": a host, or host\instance
  std::string port;    // FreeTDS "Port=": empty for a named instance (found by the Browser service)
};

// A named instance without a port is left to FreeTDS's instance lookup (the
// SQL Server Browser on UDP 1434); a given port wins over an instance name, as
// with SQL Server's own clients; anything else gets 1433, which FreeTDS would
// otherwise not assume without a freetds.conf entry.
FreeTdsServer ToFreeTdsServer(const ServerName& name);

}  // namespace talvoro::odbc
