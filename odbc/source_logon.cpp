#include "source_logon.h"

#include "data_sources.h"

namespace talvoro::odbc {

void OpenSourceDatabase(Database& db, const SourceLogon& logon) {
  db.set_login_timeout(logon.timeoutSeconds);
  db.set_connection_timeout(logon.timeoutSeconds);
  db.set_query_timeout(logon.timeoutSeconds);
  if (logon.UsesSqlLogin()) {
    db.OpenDataSource(kSourceDsn, logon.loginName, logon.password);
  } else {
    db.OpenDataSource(kSourceDsn);
  }
}

}  // namespace talvoro::odbc
