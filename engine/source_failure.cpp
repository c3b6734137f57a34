#include "source_failure.h"

#include <algorithm>

#include "odbc/server_messages.h"

namespace talvoro::engine {

bool ServerDoesNotAnswer(const odbc::DBException& e) { return odbc::ServerDidNotAnswer(e.records()); }

bool QueryTimedOut(const odbc::DBException& e) {
  for (const odbc::DiagnosticRecord& r : e.records())
    if (r.sqlState == "HYT00" || r.sqlState == "HYT01" || r.nativeError == 20003) return true;
  return false;
}

std::string QueryTimedOutText(int timeoutSeconds) {
  return "the query timed out after " + std::to_string(timeoutSeconds) +
         " s while the server still answers: another session may hold a lock on the table";
}

bool SourceAnswersProbe(const odbc::SourceLogon& logon) {
  // Long enough for a loaded server, short enough not to hold up the run.
  constexpr int kProbeSeconds = 5;
  odbc::SourceLogon quick = logon;
  quick.timeoutSeconds = std::min(logon.timeoutSeconds, kProbeSeconds);
  try {
    odbc::Database db;
    odbc::OpenSourceDatabase(db, quick);
    odbc::Recordset probe(db);
    probe.Open("SELECT 1");
    return probe.Fetch();
  } catch (const odbc::DBException&) {
    return false;
  }
}

std::string ServerNotAnsweringText(std::string_view server) {
  return odbc::ServerNotAnsweringText(server);
}

}  // namespace talvoro::engine
