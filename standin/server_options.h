// Command line of sqlstandin.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace standin {

struct ServerOptions {
  bool help = false;  // print the usage and stop
  std::string dataDir;
  std::string listenAddress = "127.0.0.1";  // numeric IPv4 or IPv6 address
  int port = 1433;
  // A named instance, found through the SQL Server Browser protocol on UDP
  // port 1434 of the listen address; empty: the default instance (no Browser).
  std::string instanceName;
  // TDS encryption: a certificate from these PEM files, or one made on the
  // first start in the data folder; --no-encryption leaves the server unable to
  // encrypt, --force-encryption makes it refuse clients that do not.
  std::string tlsCertFile;
  std::string tlsKeyFile;
  bool noEncryption = false;
  bool forceEncryption = false;
  std::map<std::string, std::string> logins;  // lower-case name → password
  std::string keytab;
};

// Parses argv; on error returns nullopt and sets `error` to a usage message.
std::optional<ServerOptions> ParseServerOptions(int argc, char** argv, std::string& error);

// What --help prints.
std::string ServerUsageText();

}  // namespace standin
