#include "tsql/temporal_tables.h"

#include <sys/time.h>

#include <cstdio>
#include <ctime>

#include "catalog/schema_names.h"
#include "storage/sqlite_handle.h"
#include "tsql/statement_handlers.h"

namespace standin {

std::string UtcNowText() {
  timeval tv{};
  gettimeofday(&tv, nullptr);
  tm parts{};
  const time_t seconds = tv.tv_sec;
  gmtime_r(&seconds, &parts);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%06ld0", parts.tm_year + 1900, parts.tm_mon + 1,
                parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<long>(tv.tv_usec));
  return buf;
}

void SetUpSystemVersioning(StatementContext& ctx, const CreateTableStmt& table) {
  const std::string& name = table.name.name;
  const ColumnMeta* start = nullptr;
  const ColumnMeta* end = nullptr;
  for (const auto& c : table.columns) {
    if (c.generated == "ROW START") start = &c;
    if (c.generated == "ROW END") end = &c;
  }
  if (!start || !end)
    ThrowSqlError(13510, "Cannot set SYSTEM_VERSIONING to ON when SYSTEM_TIME period is not defined.");

  ObjectName history = table.historyTable;
  if (history.name.empty()) history.name = StoredName(SchemaOf(name), "MSSQL_TemporalHistoryFor_" + BareName(name));
  if (!ctx.session.db().FindObject(history.name)) {
    // The history table holds the same columns, without keys, identities or defaults.
    CreateTableStmt h;
    h.name = history;
    for (ColumnMeta c : table.columns) {
      c.identity = false;
      c.pkSeq = 0;
      c.defaultText.clear();
      c.computed.clear();
      c.generated.clear();
      c.hidden = false;
      c.userType.clear();
      h.columns.push_back(std::move(c));
    }
    CreateTable(ctx, h);
  }

  std::string columns, oldValues;
  for (const auto& c : table.columns) {
    if (!c.computed.empty()) continue;
    columns += (columns.empty() ? "" : ", ") + SqliteQuote(c.name);
    oldValues += (oldValues.empty() ? "" : ", ") + (&c == end ? std::string("tsql_sysutcdatetime()") : "OLD." + SqliteQuote(c.name));
  }
  const std::string keep = "INSERT INTO " + SqliteQuote(history.name) + " (" + columns + ") VALUES (" + oldValues + ");";
  ctx.Atomically([&] {
    sqlite3* db = ctx.session.db().handle();
    SqliteExec(db, "CREATE TRIGGER " + SqliteQuote("standin_versions_u_" + name) + " AFTER UPDATE ON " +
                       SqliteQuote(name) + " BEGIN " + keep + " UPDATE " + SqliteQuote(name) + " SET " +
                       SqliteQuote(start->name) + " = tsql_sysutcdatetime() WHERE rowid = NEW.rowid; END");
    SqliteExec(db, "CREATE TRIGGER " + SqliteQuote("standin_versions_d_" + name) + " AFTER DELETE ON " +
                       SqliteQuote(name) + " BEGIN " + keep + " END");
  });
}

}  // namespace standin
