// Turns a SQL Server "Server=" value into the keys FreeTDS reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sqlsetup {

// The port of a default instance.
inline constexpr int kDefaultInstancePort = 1433;

struct FreeTdsServer {
  std::string server;  // FreeTDS "Server=": a host, or host\instance
  std::string port;    // FreeTDS "Port=": empty for a named instance (found by the browser service)
};

// "(local)", "." and "" mean the default instance on this machine. FreeTDS
// cannot resolve "(local)" and, without a freetds.conf entry, assumes port 0
// rather than 1433, so both are spelled out. "host,port" is split into its
// parts; "host\instance" is left for FreeTDS's instance lookup. FreeTDS's
// TDSHOST/TDSPORT environment variables still override what is written here.
// Empty when the port is not a number from 1 to 65535.
std::optional<FreeTdsServer> ToFreeTdsServer(std::string_view value);

}  // namespace sqlsetup
