#include <strings.h>

#include <cctype>
#include <map>

#include "protocol/column_encoder.h"
#include "catalog/schema_metadata.h"
#include "types/conversion_syntax.h"
#include "storage/sqlite_handle.h"
#include "tsql/statement_handlers.h"

namespace standin {
namespace {

// Type of a computed column, judged by its first value.
ResultColumn ComputedColumn(const char* name, sqlite3_stmt* stmt, int i, bool haveRow) {
  ResultColumn c;
  c.name = name ? name : "";
  c.nullable = true;
  const int type = haveRow ? sqlite3_column_type(stmt, i) : SQLITE_NULL;
  const char* declared = sqlite3_column_decltype(stmt, i);
  if (type == SQLITE_INTEGER) {
    const int64_t v = sqlite3_column_int64(stmt, i);
    c.type.kind = v >= INT32_MIN && v <= INT32_MAX ? TypeKind::Int : TypeKind::BigInt;
  } else if (type == SQLITE_FLOAT) {
    c.type.kind = TypeKind::Float;
  } else if (type == SQLITE_TEXT) {
    // Longer first values make it a (max) column; later longer values are cut.
    const bool big = sqlite3_column_bytes(stmt, i) > 4000;
    c.type = SqlType{TypeKind::NVarChar, big ? kMaxLength : 4000, 0, 0};
  } else if (type == SQLITE_BLOB) {
    const bool big = sqlite3_column_bytes(stmt, i) > 8000;
    c.type = SqlType{TypeKind::VarBinary, big ? kMaxLength : 8000, 0, 0};
  } else if (declared && strcasecmp(declared, "TEXT") == 0) {
    c.type = SqlType{TypeKind::NVarChar, 4000, 0, 0};
  } else {
    c.type.kind = TypeKind::Int;
  }
  return c;
}

// SQLite names an expression without an alias by its text; SQL Server leaves
// such a column unnamed. A name stays when it is an alias ("AS name" in the
// query) or a plain name (a column of a view or derived table).
std::string ComputedName(const char* name, const std::string& sql) {
  if (!name || !*name) return "";
  const std::string n = name;
  const bool plain = !std::isdigit(static_cast<unsigned char>(n[0])) && strcasecmp(name, "NULL") != 0 &&
                     n.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_#@$") ==
                         std::string::npos;
  if (plain) return n;
  for (size_t at = sql.find(n); at != std::string::npos; at = sql.find(n, at + 1)) {
    size_t before = at;
    if (before > 0 && sql[before - 1] == '"') --before;
    while (before > 0 && sql[before - 1] == ' ') --before;
    if (before >= 2 && strncasecmp(sql.c_str() + before - 2, "AS", 2) == 0 &&
        (before == 2 || !std::isalnum(static_cast<unsigned char>(sql[before - 3]))))
      return n;
  }
  return "";
}

}  // namespace

void RunQuery(StatementContext& ctx, const QueryStmt& s) {
  Database& db = ctx.session.db();
  if (s.kind != QueryStmt::Kind::Select) {
    ctx.CheckDatabasePart(s.table);
    const auto object = db.FindObject(s.table.name);
    if (!object) ThrowSqlError(208, "Invalid object name '" + s.table.name + "'.");
    if (object->isView) ThrowSqlError(4405, "View or function '" + object->name + "' is not updatable.");
    if (s.kind == QueryStmt::Kind::Truncate)
      for (const auto& fk : AllForeignKeys(db.handle()))
        if (strcasecmp(fk.referencedTable.c_str(), object->name.c_str()) == 0)
          ThrowSqlError(4712, "Cannot truncate table '" + object->name +
                                  "' because it is being referenced by a FOREIGN KEY constraint.");
    if (ctx.session.fmtonly) { ctx.Done(0, kCmdDelete, 0); return; }
    const std::string sql = s.kind == QueryStmt::Kind::Truncate ? "DELETE FROM " + SqliteQuote(object->name)
                                                                : ctx.Rewrite(ctx.batch.tokens, s.range);
    uint64_t changed = 0;
    ctx.Atomically([&] {
      try {
        SqliteStatement st(db.handle(), sql);
        st.Step();
        changed = static_cast<uint64_t>(sqlite3_changes(db.handle()));
      } catch (const SqliteError& e) {
        throw SqlError{TranslateSqliteError(e)};
      }
    });
    if (s.kind == QueryStmt::Kind::Truncate) ctx.Done(0, kCmdDelete, 0);
    else ctx.DoneCount(kCmdDelete, changed);
    return;
  }

  SqliteStatement st;
  const std::string sql = ctx.Rewrite(ctx.batch.tokens, s.range);
  try {
    st = SqliteStatement(db.handle(), sql);
  } catch (const SqliteError& e) {
    throw SqlError{TranslateSqliteError(e)};
  }
  sqlite3_stmt* stmt = st.get();
  const int count = sqlite3_column_count(stmt);
  if (count == 0) { ctx.Done(0, kCmdSelect, 0); return; }

  bool haveRow = false;
  if (!ctx.session.fmtonly) {
    try {
      haveRow = st.Step();
    } catch (const SqliteError& e) {
      throw SqlError{TranslateSqliteError(e)};
    }
  }
  // Columns that come straight from a table carry that column's SQL Server type.
  std::map<std::string, std::vector<ColumnMeta>> tables;
  std::vector<ResultColumn> columns;
  // Items written as CONVERT/CAST carry their target type.
  auto converted = ConvertedItemTypes(ctx.batch.tokens, s.range);
  if (converted.size() != static_cast<size_t>(count)) converted.clear();
  for (int i = 0; i < count; ++i) {
    const char* originTable = sqlite3_column_table_name(stmt, i);
    const char* originColumn = sqlite3_column_origin_name(stmt, i);
    const char* name = sqlite3_column_name(stmt, i);
    bool typed = false;
    if (originTable && originColumn) {
      auto it = tables.find(originTable);
      if (it == tables.end()) it = tables.emplace(originTable, db.TableColumns(originTable)).first;
      for (const auto& meta : it->second) {
        if (strcasecmp(meta.name.c_str(), originColumn) != 0) continue;
        columns.push_back({name ? name : meta.name, meta.type, meta.nullable, meta.identity, originTable});
        typed = true;
        break;
      }
    }
    if (!typed && !converted.empty() && converted[i]) {
      columns.push_back({ComputedName(name, sql), *converted[i], true, false, ""});
      typed = true;
    }
    if (!typed) {
      columns.push_back(ComputedColumn(name, stmt, i, haveRow));
      columns.back().name = ComputedName(name, sql);
    }
  }
  WriteColumnMetadata(ctx.w, columns);
  uint64_t rows = 0;
  while (haveRow) {
    ctx.w.U8(kTokRow);
    for (int i = 0; i < count; ++i) WriteColumnValue(ctx.w, columns[i], Cell::FromStatement(stmt, i));
    ++rows;
    if (ctx.w.attention()) {
      // The client cancelled: stop reading and acknowledge.
      WriteDone(ctx.w, kTokDone, kDoneAttention, kCmdSelect, 0);
      ctx.cancelled = true;
      return;
    }
    try {
      haveRow = st.Step();
    } catch (const SqliteError& e) {
      throw SqlError{TranslateSqliteError(e)};
    }
  }
  ctx.DoneCount(kCmdSelect, rows);
}

}  // namespace standin
