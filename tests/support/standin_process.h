// Runs build/standin/sqlstandin for a test: on a free loopback port, with a
// private data directory and the given logins; stopped when the object goes.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "temp_dir.h"

namespace talvoro::test {

class StandinProcess {
 public:
  struct Options {
    std::vector<std::pair<std::string, std::string>> logins = {{"sa", "secret"}};
    std::string keytab;                                      // --keytab when not empty
    std::vector<std::pair<std::string, std::string>> env;    // extra environment (e.g. KRB5_KTNAME)
    std::string executable = TALVORO_BUILD_DIR "/standin/sqlstandin";
    std::string listen = "127.0.0.1";  // --listen: a numeric IPv4 address
    std::string instance;              // --instance when not empty
    std::vector<std::string> extraArgs;  // e.g. --no-encryption
  };

  // Starts the server and waits until it accepts connections; throws on failure.
  StandinProcess();
  explicit StandinProcess(Options options);
  ~StandinProcess();
  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;

  int port() const { return port_; }
  const std::string& address() const { return address_; }
  const std::string& dataDir() const { return dataDir_; }
  pid_t pid() const { return pid_; }
  // True while the server process has not exited.
  bool Running();
  void Stop();

  // A DSN-less ODBC connect string for FreeTDS ("SQL Server" driver) to this server.
  std::string ConnectString(const std::string& database, const std::string& user = "sa",
                            const std::string& password = "secret") const;

 private:
  TempDir dir_;
  std::string dataDir_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string address_;
};

}  // namespace talvoro::test
