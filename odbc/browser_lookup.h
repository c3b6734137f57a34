// The TCP port of a named instance, asked of the SQL Server Browser service
// (SSRP, UDP port 1434), as FreeTDS asks it: so that the converter's own
// pre-login questions reach "dbhost\SALES" too.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace talvoro::odbc {

// nullopt when no answer comes by `deadline` or the answer names no TCP port.
std::optional<int> BrowserInstancePort(const std::string& host, const std::string& instance,
                                       std::chrono::steady_clock::time_point deadline);

// The port in an SSRP SVR_RESP text ("ServerName;H;InstanceName;SALES;...;tcp;1234;;"),
// for the instance asked about.
std::optional<int> TcpPortInBrowserAnswer(const std::string& answer, const std::string& instance);

}  // namespace talvoro::odbc
