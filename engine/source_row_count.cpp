#include "source_row_count.h"


namespace talvoro::engine {

std::optional<std::uint64_t> CountSourceRows(const odbc::SourceLogon& logon,
                                             const odbc::SourceTable& table) {
  try {
    odbc::Database db;
    odbc::OpenSourceDatabase(db, logon);
    odbc::Recordset count(db);
    count.Open("SELECT COUNT_BIG(*) FROM " + table.QuotedSql());
    std::int64_t rows = 0;
    if (!count.Fetch() || !count.GetInt64(0, rows) || rows < 0) return std::nullopt;
    return static_cast<std::uint64_t>(rows);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace talvoro::engine
