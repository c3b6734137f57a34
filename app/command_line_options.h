// The command-line mode's arguments:
//   Kestrin1 [--server NAME] [--encrypt] [--trust-server-certificate | --ca-file FILE] --database NAME --dest FILE.mdb (--table NAME... | --all)
//            [--overwrite] [--sql-login NAME] [--source-timeout SECONDS]
//            [--commit-interval MILLISECONDS]
//   Kestrin1 --help
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace talvoro::app {

struct CommandLineOptions {
  bool help = false;
  std::string server;  // as typed (odbc/server_name.h); empty: this machine's default instance
  bool encrypt = false;  // the whole connection must be encrypted
  bool trustServerCertificate = false;  // accept any certificate, a self-signed one too
  std::string caFile;  // the authorities' certificates to check the server's against
  std::string database;
  std::string dest;
  std::vector<std::string> tables;  // in the order given
  bool allTables = false;
  bool overwrite = false;
  std::optional<std::string> sqlLogin;  // SQL Server authentication when set
  std::optional<int> sourceTimeoutSeconds;   // the run's default when not given
  std::optional<int> commitIntervalMs;       // the row copy's default when not given
};

struct ParsedCommandLine {
  std::optional<CommandLineOptions> options;  // empty when the arguments are wrong
  std::string error;                          // what is wrong with them
};

// `args` without the program name.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

std::string UsageText();

// Exit statuses.
inline constexpr int kExitConverted = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsageOrLogon = 2;

// The environment variable that may hold the SQL Server password.
inline constexpr char kPasswordVariable[] = "KESTRIN1_PASSWORD";

}  // namespace talvoro::app
