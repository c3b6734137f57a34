#include "source_row_count.h"

namespace talvoro::engine {
namespace {

std::string UnicodeLiteral(const std::string& text) {
  std::string out = "N'";
  for (char c : text) {
    out.push_back(c);
    if (c == '\'') out.push_back('\'');
  }
  return out + "'";
}

}  // namespace

std::vector<std::string> SourceRowCountQueries(const odbc::SourceTable& table) {
  // index_id 0 is the heap, 1 the clustered index: each row counted once.
  const std::string where = " WHERE object_id = OBJECT_ID(" + UnicodeLiteral(table.QuotedSql()) + ") AND index_id IN (0, 1)";
  return {"SELECT SUM(rows) FROM sys.partitions" + where,
          "SELECT SUM(row_count) FROM sys.dm_db_partition_stats" + where,
          "SELECT COUNT_BIG(*) FROM " + table.QuotedSql()};
}

std::optional<std::uint64_t> CountSourceRows(const odbc::SourceLogon& logon,
                                             const odbc::SourceTable& table) {
  odbc::Database db;
  try {
    odbc::OpenSourceDatabase(db, logon);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  for (const std::string& sql : SourceRowCountQueries(table)) {
    try {
      odbc::Recordset count(db);
      count.Open(sql);
      std::int64_t rows = 0;
      // NULL: the view does not know the table (or hides it from this login).
      if (count.Fetch() && count.GetInt64(0, rows) && rows >= 0) return static_cast<std::uint64_t>(rows);
    } catch (const odbc::DBException& e) {
      // A view this server or login cannot read: the next way. A wait that ran
      // out or a lost connection would only cost the next query the same wait.
      for (const odbc::DiagnosticRecord& r : e.records())
        if (r.sqlState.rfind("HYT", 0) == 0 || r.sqlState.rfind("08", 0) == 0) return std::nullopt;
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace talvoro::engine
