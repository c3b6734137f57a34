#include "definition_access.h"

#include "odbc/database.h"

namespace talvoro::engine {
namespace {

std::string Count(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string UnreadableDefinitionsText(long long defaults, long long checks) {
  std::string what;
  if (defaults > 0) what = Count(defaults, "column default", "column defaults");
  if (checks > 0) what += (what.empty() ? "" : " and ") + Count(checks, "CHECK constraint", "CHECK constraints");
  return "the login may not see definitions (it lacks the VIEW DEFINITION permission): " + what +
         " of the source could not be read and are not carried; the tables and rows it may read are converted";
}

std::optional<std::string> UnreadableDefinitionsNote(const odbc::SourceLogon& logon) {
  try {
    odbc::Database db;
    odbc::OpenSourceDatabase(db, logon);
    odbc::Recordset rs(db);
    rs.Open("SELECT HAS_PERMS_BY_NAME(DB_NAME(), 'DATABASE', 'VIEW DEFINITION'),"
            " (SELECT COUNT(*) FROM sys.default_constraints WHERE definition IS NULL),"
            " (SELECT COUNT(*) FROM sys.check_constraints WHERE definition IS NULL)");
    std::int64_t allowed = 1, defaults = 0, checks = 0;
    if (!rs.Fetch() || !rs.GetInt64(0, allowed) || allowed != 0) return std::nullopt;
    rs.GetInt64(1, defaults);
    rs.GetInt64(2, checks);
    if (defaults == 0 && checks == 0) return std::nullopt;
    return UnreadableDefinitionsText(defaults, checks);
  } catch (const odbc::DBException&) {
    return std::nullopt;
  }
}

}  // namespace talvoro::engine
