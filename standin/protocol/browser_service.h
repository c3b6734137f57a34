// The SQL Server Browser (SQL Server Resolution Protocol, UDP port 1434): a
// client that knows a named instance asks here for its TCP port. sqlstandin
// answers for its one instance, as the Browser answers for each instance.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

inline constexpr int kBrowserPort = 1434;

struct BrowserInstance {
  std::string serverName;    // the machine's name, as SQL Server reports it
  std::string instanceName;  // e.g. SALES
  std::string version;       // e.g. 16.0.4096.0
  int tcpPort = 0;
};

// The reply to one request datagram, or nothing when the Browser stays silent
// (a request for another instance, one it does not know, a malformed one).
// Answered: CLNT_BCAST_EX (0x02) and CLNT_UCAST_EX (0x03) with every instance,
// CLNT_UCAST_INST (0x04, then the instance name) with that one. The dedicated
// admin connection (0x0F) has no port here, so it gets no answer either.
std::optional<std::vector<uint8_t>> BrowserReply(const std::vector<uint8_t>& request,
                                                 const BrowserInstance& instance);

// The machine's name as the Browser reports it: the host name up to its
// first '.', in capitals.
std::string BrowserServerName();

// Answers requests on a bound UDP socket, on a thread of its own, for as long
// as the process runs.
void ServeBrowserRequests(int udpSocket, BrowserInstance instance);

}  // namespace standin
