#include "source_logon.h"

#include "data_sources.h"

namespace talvoro::odbc {

void OpenSourceDatabase(Database& db, const SourceLogon& logon) {
  if (logon.UsesSqlLogin()) {
    db.OpenDataSource(kSourceDsn, logon.loginName, logon.password);
  } else {
    db.OpenDataSource(kSourceDsn);
  }
}

}  // namespace talvoro::odbc
