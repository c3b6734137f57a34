// How every connection to the source data source "dsns" logs on.
#pragma once

#include <string>

#include "database.h"

namespace talvoro::odbc {

inline constexpr char kAuthWindows[] = "wnd";
inline constexpr char kAuthSql[] = "sql";

// How long any one request to the source may wait for the server (logon,
// statement, fetch) unless the run says otherwise.
inline constexpr int kDefaultSourceTimeoutSeconds = 30;

struct SourceLogon {
  std::string authMode;   // "wnd" (Windows authentication) or "sql" (SQL Server login)
  std::string loginName;  // used only with "sql"
  std::string password;   // used only with "sql"; never written anywhere
  int timeoutSeconds = kDefaultSourceTimeoutSeconds;  // see kDefaultSourceTimeoutSeconds

  bool UsesSqlLogin() const { return authMode == kAuthSql; }
};

// Opens `db` on "dsns": with the login name and password for "sql"; for any
// other mode with an empty login name, so the driver uses the Windows
// (Kerberos) identity. Every wait on the server (logon, each statement, every
// other request) is bounded by logon.timeoutSeconds. Throws DBException.
void OpenSourceDatabase(Database& db, const SourceLogon& logon);

}  // namespace talvoro::odbc
