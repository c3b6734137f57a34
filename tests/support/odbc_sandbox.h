// A private unixODBC configuration for a test process, so that tests never read or
// change the user's data sources. unixODBC caches the configuration paths on its
// first call, so this must run before any ODBC call of the process: link the test
// executable with talvoro_odbc_test_main, which installs it before the tests start.
#pragma once

#include <string>

namespace talvoro::test {

struct OdbcSandbox {
  std::string root;      // temp directory, removed at exit
  std::string sysDir;    // ODBCSYSINI: odbcinst.ini (our drivers) and an empty odbc.ini
  std::string userIni;   // ODBCINI: where the user data sources land
  std::string home;      // HOME

  // Creates the sandbox once per process and exports ODBCSYSINI, ODBCINI, HOME.
  static const OdbcSandbox& Install();
};

// The odbcinst.ini text that registers "Microsoft Access Driver (*.mdb)" and
// "SQL Server" (FreeTDS + our setup library) from the given build's library folder.
std::string DriverRegistrationIni(const std::string& libDir);

}  // namespace talvoro::test
