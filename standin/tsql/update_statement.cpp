#include <strings.h>

#include "catalog/schema_metadata.h"
#include "storage/sqlite_column_value.h"
#include "storage/sqlite_handle.h"
#include "tsql/statement_handlers.h"

namespace standin {

// The new values are computed by SQLite first (they may refer to the old row),
// then converted to each column's type and written row by row.
void RunUpdate(StatementContext& ctx, const UpdateStmt& s) {
  ctx.CheckDatabasePart(s.table);
  Database& db = ctx.session.db();
  const auto object = db.FindObject(s.table.name);
  if (!object) ThrowSqlError(208, "Invalid object name '" + s.table.name + "'.");
  if (object->isView) ThrowSqlError(4405, "View or function '" + object->name + "' is not updatable.");
  const auto columns = db.TableColumns(object->name);
  std::vector<const ColumnMeta*> targets;
  for (const auto& [name, range] : s.assignments) {
    const ColumnMeta* found = nullptr;
    for (const auto& c : columns)
      if (strcasecmp(c.name.c_str(), name.c_str()) == 0) found = &c;
    if (!found) ThrowSqlError(207, "Invalid column name '" + name + "'.");
    if (found->identity) ThrowSqlError(8102, "Cannot update identity column '" + found->name + "'.");
    if (found->type.kind == TypeKind::Timestamp) ThrowSqlError(272, "Cannot update a timestamp column.");
    targets.push_back(found);
  }
  const ColumnMeta* timestamp = nullptr;
  for (const auto& c : columns)
    if (c.type.kind == TypeKind::Timestamp) timestamp = &c;

  std::string select = "SELECT rowid";
  for (const auto& [name, range] : s.assignments) {
    const SqlToken& first = ctx.batch.tokens[range.begin];
    const bool isDefault = range.end - range.begin == 1 && first.IsWord("DEFAULT");
    select += ", " + (isDefault ? std::string("NULL") : "(" + ctx.Rewrite(ctx.batch.tokens, range) + ")");
  }
  select += " FROM " + SqliteQuote(object->name);
  if (!s.where.empty()) select += " WHERE " + ctx.Rewrite(ctx.batch.tokens, s.where);

  std::string update = "UPDATE " + SqliteQuote(object->name) + " SET ";
  for (size_t i = 0; i < targets.size(); ++i) update += (i ? ", " : "") + SqliteQuote(targets[i]->name) + " = ?";
  if (timestamp) update += ", " + SqliteQuote(timestamp->name) + " = ?";
  update += " WHERE rowid = ?";

  uint64_t rows = 0;
  ctx.Atomically([&] {
    try {
      std::vector<std::pair<int64_t, std::vector<Value>>> changes;
      {
        SqliteStatement q(db.handle(), select);
        while (q.Step()) {
          std::vector<Value> values;
          for (size_t i = 0; i < targets.size(); ++i) {
            const auto& range = s.assignments[i].second;
            const bool isDefault = range.end - range.begin == 1 && ctx.batch.tokens[range.begin].IsWord("DEFAULT");
            values.push_back(isDefault ? Value::Null() : ValueFromSqliteColumn(q.get(), static_cast<int>(i + 1)));
          }
          changes.emplace_back(q.Int(0), std::move(values));
        }
      }
      SqliteStatement u(db.handle(), update);
      for (const auto& [rowid, values] : changes) {
        u.Reset();
        for (size_t i = 0; i < targets.size(); ++i) {
          const ColumnMeta& c = *targets[i];
          if (values[i].kind == Value::Kind::Null && !c.nullable)
            ThrowSqlError(515, "Cannot insert the value NULL into column '" + c.name + "', table '" + db.name() +
                                   ".dbo." + object->name + "'; column does not allow nulls. UPDATE fails.", 2);
          ConversionError error;
          const auto stored = ConvertToColumn(values[i], c.type, error);
          if (!stored) ThrowSqlError(error.number, error.text);
          BindStoredValue(u.get(), static_cast<int>(i + 1), *stored);
        }
        int next = static_cast<int>(targets.size()) + 1;
        if (timestamp) {
          const int64_t ts = db.NextTimestamp();
          StoredValue v;
          v.kind = StoredValue::Kind::Blob;
          for (int b = 7; b >= 0; --b) v.blob.push_back(static_cast<uint8_t>(ts >> (8 * b)));
          BindStoredValue(u.get(), next++, v);
        }
        sqlite3_bind_int64(u.get(), next, rowid);
        const int rc = sqlite3_step(u.get());
        if (rc != SQLITE_DONE) {
          const int extended = sqlite3_extended_errcode(db.handle());
          if (extended == SQLITE_CONSTRAINT_PRIMARYKEY || extended == SQLITE_CONSTRAINT_ROWID ||
              extended == SQLITE_CONSTRAINT_UNIQUE) {
            const DuplicateKey d = DescribeDuplicateKey(db.handle(), object->name, sqlite3_errmsg(db.handle()));
            ThrowSqlError(d.number, d.text);
          }
          throw SqliteError(extended, sqlite3_errmsg(db.handle()));
        }
        ++rows;
      }
    } catch (const SqliteError& e) {
      throw SqlError{TranslateSqliteError(e)};
    }
  });
  ctx.DoneCount(kCmdUpdate, rows);
}

}  // namespace standin
