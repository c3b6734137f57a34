// The server names users type, as the wizard, the command line and the
// "SQL Server" setup library read them.
#include <gtest/gtest.h>

#include "odbc/server_name.h"

namespace talvoro::odbc {
namespace {

struct Accepted {
  const char* typed;
  const char* host;  // "" for this machine
  const char* instance;
  int port;
  const char* freeTdsServer;
  const char* freeTdsPort;  // "" when FreeTDS must ask the Browser service
};

TEST(ServerName, AcceptedForms) {
  const Accepted cases[] = {
      {"", "", "", 0, "127.0.0.1", "1433"},
      {"  localhost ", "", "", 0, "127.0.0.1", "1433"},
      {"LOCALHOST", "", "", 0, "127.0.0.1", "1433"},
      {"(local)", "", "", 0, "127.0.0.1", "1433"},
      {".", "", "", 0, "127.0.0.1", "1433"},
      {".\\SQLEXPRESS", "", "SQLEXPRESS", 0, "127.0.0.1\\SQLEXPRESS", ""},
      {"dbhost", "dbhost", "", 0, "dbhost", "1433"},
      {"db-01.example.com", "db-01.example.com", "", 0, "db-01.example.com", "1433"},
      {"dbhost\\SALES", "dbhost", "SALES", 0, "dbhost\\SALES", ""},
      {"dbhost,2433", "dbhost", "", 2433, "dbhost", "2433"},
      {"dbhost , 2433", "dbhost", "", 2433, "dbhost", "2433"},
      {"tcp:dbhost,2433", "dbhost", "", 2433, "dbhost", "2433"},
      {"TCP:dbhost\\SALES", "dbhost", "SALES", 0, "dbhost\\SALES", ""},
      {"dbhost\\SALES,2433", "dbhost", "SALES", 2433, "dbhost", "2433"},
      {"127.0.0.2,14330", "127.0.0.2", "", 14330, "127.0.0.2", "14330"},
      {"10.0.0.5\\SALES", "10.0.0.5", "SALES", 0, "10.0.0.5\\SALES", ""},
      {"::1", "::1", "", 0, "::1", "1433"},
      {"fe80::1%eth0,1500", "fe80::1%eth0", "", 1500, "fe80::1%eth0", "1500"},
      {"[2001:db8::7]\\SALES", "2001:db8::7", "SALES", 0, "2001:db8::7\\SALES", ""},
      {"tcp:[::1],1433", "::1", "", 1433, "::1", "1433"},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.typed);
    const ParsedServerName parsed = ParseServerName(c.typed);
    ASSERT_TRUE(parsed.name) << parsed.error;
    EXPECT_EQ(parsed.name->host, c.host);
    EXPECT_EQ(parsed.name->thisMachine, std::string(c.host).empty());
    EXPECT_EQ(parsed.name->instance, c.instance);
    EXPECT_EQ(parsed.name->port, c.port);
    const FreeTdsServer freeTds = ToFreeTdsServer(*parsed.name);
    EXPECT_EQ(freeTds.server, c.freeTdsServer);
    EXPECT_EQ(freeTds.port, c.freeTdsPort);
  }
}

TEST(ServerName, RefusedForms) {
  const std::pair<const char*, const char*> cases[] = {
      {"dbhost,", "no port from 1 to 65535"},
      {"dbhost,0", "no port from 1 to 65535"},
      {"dbhost,65536", "no port from 1 to 65535"},
      {"dbhost,14x", "no port from 1 to 65535"},
      {"dbhost\\", "no valid instance name"},
      {"dbhost\\SALES\\X", "no valid instance name"},
      {"dbhost\\AVERYLONGINSTANCENAME", "no valid instance name"},
      {"np:\\\\dbhost\\pipe\\sql\\query", "only TCP"},
      {"db host", "is not a host name or address"},
      {"dbhost;Driver=/tmp/x.so", "is not a host name or address"},
      {"d\xC3\xA9host", "is not a host name or address"},
      {"[::1", "never closes it"},
      {"[::1]x", "text after ']'"},
  };
  for (const auto& [typed, why] : cases) {
    const ParsedServerName parsed = ParseServerName(typed);
    EXPECT_FALSE(parsed.name) << typed;
    EXPECT_NE(parsed.error.find(why), std::string::npos) << typed << ": " << parsed.error;
    EXPECT_NE(parsed.error.find(std::string("'") + typed + "'"), std::string::npos) << parsed.error;
  }
}

TEST(ServerName, MessagesNameTheServerAsTyped) {
  EXPECT_EQ(ServerDisplayName(" dbhost\\SALES "), "dbhost\\SALES");
  EXPECT_EQ(ServerDisplayName(""), "(local)");
  EXPECT_EQ(ServerDisplayName("localhost"), "localhost");
}

}  // namespace
}  // namespace talvoro::odbc
