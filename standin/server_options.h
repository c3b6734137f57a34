// Command line of sqlstandin.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace standin {

struct ServerOptions {
  std::string dataDir;
  int port = 1433;
  std::map<std::string, std::string> logins;  // lower-case name → password
  std::string keytab;
};

// Parses argv; on error returns nullopt and sets `error` to a usage message.
std::optional<ServerOptions> ParseServerOptions(int argc, char** argv, std::string& error);

}  // namespace standin
