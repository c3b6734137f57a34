#include "source_server.h"

#include <cstdlib>

#include "engine/sql_names.h"

namespace talvoro::test {

SourceServer::SourceServer(StandinProcess::Options options)
    : process_(std::make_unique<StandinProcess>(std::move(options))) {
  // "dsns" names Server=(local); FreeTDS takes the port from here.
  setenv("TDSPORT", std::to_string(process_->port()).c_str(), 1);
}

void SourceServer::Execute(const std::string& database, const std::vector<std::string>& statements) {
  odbc::Database db;
  db.OpenEx(process_->ConnectString(database.empty() ? "master" : database, kSqlLogin, kSqlPassword));
  for (const std::string& sql : statements) db.ExecuteSQL(sql);
}

SourceTable SourceServer::Read(const std::string& database, const std::string& table) {
  odbc::Database db;
  db.OpenEx(process_->ConnectString(database, kSqlLogin, kSqlPassword));
  odbc::Recordset rs(db);
  rs.Open("Select * from " + engine::QuoteSourceName(table));
  SourceTable result;
  for (const auto& c : rs.columns()) result.columns.push_back(c.name);
  std::string text;
  while (rs.Fetch()) {
    SourceRow row;
    for (int i = 0; i < rs.GetODBCFieldCount(); ++i) {
      if (rs.GetText(i, text)) {
        row.emplace_back(text);
      } else {
        row.emplace_back(std::nullopt);
      }
    }
    result.rows.push_back(std::move(row));
  }
  return result;
}

}  // namespace talvoro::test
