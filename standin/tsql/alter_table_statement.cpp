// ALTER TABLE, CREATE INDEX and DROP INDEX.
#include <strings.h>

#include <algorithm>
#include <cstring>

#include "types/collation.h"
#include "catalog/schema_metadata.h"
#include "catalog/schema_names.h"
#include "storage/sqlite_column_value.h"
#include "storage/sqlite_handle.h"
#include "tsql/check_constraints.h"
#include "tsql/statement_handlers.h"
#include "tsql/table_constraints.h"
#include "tsql/tsql_lexer.h"

namespace standin {
namespace {

bool Same(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

ObjectMeta RequireTable(StatementContext& ctx, const ObjectName& name, int number) {
  ctx.CheckDatabasePart(name);
  const auto object = ctx.session.db().FindObject(name.name);
  if (!object || object->isView)
    ThrowSqlError(number, "Cannot find the object \"" + name.name + "\" because it does not exist or you do not have permissions.", 1);
  return *object;
}

void Run(sqlite3* db, const std::string& sql, const std::vector<std::string>& args) {
  SqliteStatement s(db, sql);
  for (size_t i = 0; i < args.size(); ++i) s.Bind(static_cast<int>(i + 1), args[i]);
  s.Step();
}

bool TableHasRows(sqlite3* db, const std::string& table) {
  SqliteStatement s(db, "SELECT 1 FROM " + SqliteQuote(table) + " LIMIT 1");
  return s.Step();
}

void AddColumns(StatementContext& ctx, const ObjectMeta& object, const AlterTableStmt& s) {
  Database& db = ctx.session.db();
  sqlite3* h = db.handle();
  auto existing = db.TableColumns(object.name);
  int ordinal = existing.empty() ? 0 : existing.back().ordinal;
  std::vector<std::string> added;
  std::vector<ColumnMeta> declared = s.columns;
  for (auto& c : declared) ResolveAliasType(ctx, c);
  TakeDatabaseCollation(ctx, declared);
  for (ColumnMeta c : declared) {
    for (const auto& e : existing)
      if (Same(e.name, c.name))
        ThrowSqlError(2705, "Column names in each table must be unique. Column name '" + c.name + "' in table '" +
                                object.name + "' is specified more than once.");
    const bool fillable = c.nullable || !c.defaultText.empty() || c.identity || c.type.kind == TypeKind::Timestamp;
    if (!fillable && TableHasRows(h, object.name))
      ThrowSqlError(4901, "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT definition "
                          "specified, or the column being added is an identity or timestamp column, or alternatively if "
                          "none of the previous conditions are satisfied the table must be empty to allow addition of "
                          "this column. Column '" + c.name + "' cannot be added to non-empty table '" + object.name +
                          "' because it does not satisfy these conditions.");
    c.ordinal = ++ordinal;
    std::string declaration = SqliteQuote(c.name) + " " + SqliteDeclType(c.type);
    if (IsCharKind(c.type.kind) || IsNCharKind(c.type.kind))
      declaration += std::string(" COLLATE ") + ColumnSqliteCollation(c.type.collation);
    SqliteExec(h, "ALTER TABLE " + SqliteQuote(object.name) + " ADD COLUMN " + declaration);
    if (c.type.collation)
      Run(h, "INSERT INTO " + Database::MetaTable("standin_collations", object.name) + " VALUES (?, ?, ?)",
          {object.name, c.name, c.type.collation->name});
    SqliteStatement column(h, "INSERT INTO " + Database::MetaTable("standin_columns", object.name) +
                                  " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    column.Bind(1, object.name);
    column.Bind(2, static_cast<int64_t>(c.ordinal));
    column.Bind(3, c.name);
    column.Bind(4, TypeName(c.type));
    column.Bind(5, static_cast<int64_t>(c.type.length));
    column.Bind(6, static_cast<int64_t>(c.type.precision));
    column.Bind(7, static_cast<int64_t>(c.type.scale));
    column.Bind(8, static_cast<int64_t>(c.identity));
    column.Bind(9, c.identitySeed);
    column.Bind(10, c.identityIncrement);
    column.Bind(11, static_cast<int64_t>(c.nullable));
    if (c.defaultText.empty()) column.BindNull(12);
    else column.Bind(12, c.defaultText);
    column.Bind(13, static_cast<int64_t>(0));
    column.Step();
    if (!c.userType.empty()) SaveColumnUserType(h, object.name, c.name, c.userType);
    // Rows already there get the default when the column cannot hold NULL.
    if (!c.defaultText.empty() && !c.nullable) {
      const LexResult lex = Tokenize(c.defaultText);
      const Value v = ctx.Evaluate(lex.tokens, TokenRange{0, lex.tokens.size() - 1});
      ConversionError error;
      const auto stored = ConvertToColumn(v, c.type, error);
      if (!stored) ThrowSqlError(error.number, error.text);
      SqliteStatement fill(h, "UPDATE " + SqliteQuote(object.name) + " SET " + SqliteQuote(c.name) + " = ?");
      switch (stored->kind) {
        case StoredValue::Kind::Integer: sqlite3_bind_int64(fill.get(), 1, stored->integer); break;
        case StoredValue::Kind::Real: sqlite3_bind_double(fill.get(), 1, stored->real); break;
        case StoredValue::Kind::Text: fill.Bind(1, stored->text); break;
        case StoredValue::Kind::Blob:
          sqlite3_bind_blob(fill.get(), 1, stored->blob.data(), static_cast<int>(stored->blob.size()), SQLITE_TRANSIENT);
          break;
        default: break;
      }
      fill.Step();
    }
    if (c.identity) {
      int64_t next = c.identitySeed, last = 0;
      bool any = false;
      SqliteStatement rows(h, "SELECT rowid FROM " + SqliteQuote(object.name) + " ORDER BY rowid");
      SqliteStatement set(h, "UPDATE " + SqliteQuote(object.name) + " SET " + SqliteQuote(c.name) + " = ? WHERE rowid = ?");
      std::vector<int64_t> ids;
      while (rows.Step()) ids.push_back(rows.Int(0));
      for (int64_t id : ids) {
        set.Reset();
        set.Bind(1, next);
        set.Bind(2, id);
        set.Step();
        last = next;
        next += c.identityIncrement;
        any = true;
      }
      if (any) Run(h, "UPDATE " + Database::MetaTable("standin_objects", object.name) + " SET identity_current = " + std::to_string(last) + " WHERE name = ?", {object.name});
    }
    added.push_back(c.name);
    existing.push_back(c);
  }
  for (const auto& c : s.constraints) {
    const bool ownDefault = c.kind == ConstraintDef::Kind::Default && !c.columns.empty() &&
                            std::any_of(added.begin(), added.end(), [&](const std::string& n) { return Same(n, c.columns[0].name); });
    AddTableConstraint(ctx, object.name, c, ownDefault, !s.noCheck);
  }
}

void DropConstraints(StatementContext& ctx, const ObjectMeta& object, const AlterTableStmt& s) {
  sqlite3* h = ctx.session.db().handle();
  for (const auto& name : s.names) {
    bool done = false;
    for (const auto& index : TableIndexes(h, object.name)) {
      if (!Same(BareName(index.name), name) || index.kind == IndexMeta::Kind::Index) continue;
      for (const auto& fk : AllForeignKeys(h))
        if (Same(fk.keyName, index.name) && Same(fk.referencedTable, object.name))
          ThrowSqlError(3725, "The constraint '" + BareName(index.name) + "' is being referenced by table '" +
                                  BareName(fk.table) + "', foreign key constraint '" + BareName(fk.name) + "'.");
      // A primary key declared in CREATE TABLE stays enforced by the SQLite table itself.
      if (!index.sqliteName.empty()) SqliteExec(h, "DROP INDEX IF EXISTS " + SqliteQuote(index.sqliteName));
      DeleteIndex(h, object.name, index.name);
      if (index.kind == IndexMeta::Kind::PrimaryKey) {
        Run(h, "UPDATE " + Database::MetaTable("standin_columns", object.name) + " SET pk_seq = 0 WHERE object_name = ?", {object.name});
        Run(h, "UPDATE " + Database::MetaTable("standin_objects", object.name) + " SET pk_name = NULL WHERE name = ?", {object.name});
      }
      done = true;
    }
    for (const auto& fk : AllForeignKeys(h)) {
      if (done || !Same(BareName(fk.name), name) || !Same(fk.table, object.name)) continue;
      DeleteForeignKey(h, fk.name);
      done = true;
    }
    for (const auto& c : TableConstraints(h, object.name)) {
      if (done || !Same(BareName(c.name), name)) continue;
      if (c.kind == "D") Run(h, "UPDATE " + Database::MetaTable("standin_columns", object.name) +
                                    " SET default_text = NULL WHERE object_name = ? AND name = ?", {object.name, c.column});
      if (c.kind == "C") DropCheckTriggers(h, c.name);
      DeleteConstraint(h, c.name);
      done = true;
    }
    if (!done && !s.ifExists) ThrowSqlError(3728, "'" + name + "' is not a constraint.");
  }
}

void CheckConstraints(StatementContext& ctx, const ObjectMeta& object, const AlterTableStmt& s) {
  sqlite3* h = ctx.session.db().handle();
  std::vector<std::string> unmatched = s.names;
  for (const auto& fk : AllForeignKeys(h)) {
    if (!Same(fk.table, object.name)) continue;
    auto it = std::find_if(unmatched.begin(), unmatched.end(), [&](const std::string& n) { return Same(n, BareName(fk.name)); });
    if (!s.all && it == unmatched.end()) continue;
    if (it != unmatched.end()) unmatched.erase(it);
    if (s.noCheck) {
      if (!fk.disabled) DropForeignKeyTriggers(h, fk.name);
      SetForeignKeyState(h, fk.name, true, true);
    } else {
      if (s.withCheck) ValidateForeignKeyRows(ctx, fk);
      if (fk.disabled) CreateForeignKeyTriggers(h, ctx.session.db().name(), fk);
      SetForeignKeyState(h, fk.name, false, s.withCheck ? false : fk.notTrusted || fk.disabled);
    }
  }
  for (const auto& c : TableConstraints(h, object.name)) {
    if (c.kind != "C") continue;
    auto it = std::find_if(unmatched.begin(), unmatched.end(), [&](const std::string& n) { return Same(n, BareName(c.name)); });
    if (!s.all && it == unmatched.end()) continue;
    if (it != unmatched.end()) unmatched.erase(it);
    // As for a foreign key: NOCHECK disables and distrusts, CHECK enables, WITH CHECK trusts again.
    const auto [disabled, notTrusted] = CheckState(h, c.name);
    if (s.noCheck) {
      if (!disabled) DropCheckTriggers(h, c.name);
      SetCheckState(h, c.name, true, true);
    } else {
      if (s.withCheck) ValidateCheckRows(ctx, c);
      if (disabled) CreateCheckTriggers(ctx, c);
      SetCheckState(h, c.name, false, s.withCheck ? false : notTrusted || disabled);
    }
  }
  if (!unmatched.empty())
    ThrowSqlError(4917, "Constraint '" + unmatched.front() + "' does not exist.");
}

void DropColumns(StatementContext& ctx, const ObjectMeta& object, const AlterTableStmt& s) {
  Database& db = ctx.session.db();
  sqlite3* h = db.handle();
  for (const auto& name : s.names) {
    const auto columns = db.TableColumns(object.name);
    const auto it = std::find_if(columns.begin(), columns.end(), [&](const ColumnMeta& c) { return Same(c.name, name); });
    if (it == columns.end()) {
      if (s.ifExists) continue;
      ThrowSqlError(4924, "ALTER TABLE DROP COLUMN failed because column '" + name + "' does not exist in table '" +
                              object.name + "'.");
    }
    auto dependent = [&](const std::string& what) {
      ThrowSqlError(5074, "The object '" + what + "' is dependent on column '" + it->name + "'.");
    };
    for (const auto& c : TableConstraints(h, object.name))
      if (Same(c.column, it->name)) dependent(BareName(c.name));
    for (const auto& index : TableIndexes(h, object.name)) {
      for (const auto& k : index.columns)
        if (Same(k.name, it->name)) dependent(BareName(index.name));
      // A filter names its columns quoted, as the SQLite predicate holds them.
      if (strcasestr(index.filterPredicate.c_str(), SqliteQuote(it->name).c_str())) dependent(BareName(index.name));
    }
    for (const auto& fk : AllForeignKeys(h)) {
      if (Same(fk.table, object.name))
        for (const auto& c : fk.columns)
          if (Same(c, it->name)) dependent(BareName(fk.name));
      if (Same(fk.referencedTable, object.name))
        for (const auto& c : fk.referencedColumns)
          if (Same(c, it->name)) dependent(BareName(fk.name));
    }
    SqliteExec(h, "ALTER TABLE " + SqliteQuote(object.name) + " DROP COLUMN " + SqliteQuote(it->name));
    Run(h, "DELETE FROM " + Database::MetaTable("standin_columns", object.name) + " WHERE object_name = ? AND name = ?",
        {object.name, it->name});
    Run(h, "DELETE FROM " + Database::MetaTable("standin_collations", object.name) + " WHERE object_name = ? AND column_name = ?",
        {object.name, it->name});
    Run(h, "DELETE FROM " + Database::MetaTable("standin_column_types", object.name) + " WHERE object_name = ? AND column_name = ?", {object.name, it->name});
    // Renumber without passing through a taken ordinal.
    Run(h, "UPDATE " + Database::MetaTable("standin_columns", object.name) + " SET ordinal = -(ordinal - 1) WHERE object_name = ? AND ordinal > " + std::to_string(it->ordinal),
        {object.name});
    Run(h, "UPDATE " + Database::MetaTable("standin_columns", object.name) + " SET ordinal = -ordinal WHERE object_name = ? AND ordinal < 0", {object.name});
  }
}

void AlterColumn(StatementContext& ctx, const ObjectMeta& object, const AlterTableStmt& s) {
  Database& db = ctx.session.db();
  sqlite3* h = db.handle();
  ColumnMeta wanted = s.columns.front();
  ResolveAliasType(ctx, wanted);
  const auto columns = db.TableColumns(object.name);
  const auto it = std::find_if(columns.begin(), columns.end(), [&](const ColumnMeta& c) { return Same(c.name, wanted.name); });
  if (it == columns.end())
    ThrowSqlError(4924, "ALTER TABLE ALTER COLUMN failed because column '" + wanted.name + "' does not exist in table '" +
                            object.name + "'.");
  // Existing values are converted to the new type; NULLs must be allowed by it.
  std::vector<std::pair<int64_t, StoredValue>> changed;
  {
    SqliteStatement rows(h, "SELECT rowid, " + SqliteQuote(it->name) + " FROM " + SqliteQuote(object.name));
    while (rows.Step()) {
      const Value v = ValueFromSqliteColumn(rows.get(), 1);
      if (v.kind == Value::Kind::Null) {
        if (!wanted.nullable)
          ThrowSqlError(515, "Cannot insert the value NULL into column '" + it->name + "', table '" + db.name() + ".dbo." +
                                 object.name + "'; column does not allow nulls. UPDATE fails.", 2);
        continue;
      }
      ConversionError error;
      const auto stored = ConvertToColumn(v, wanted.type, error);
      if (!stored) ThrowSqlError(error.number, error.text);
      changed.emplace_back(rows.Int(0), *stored);
    }
  }
  SqliteStatement set(h, "UPDATE " + SqliteQuote(object.name) + " SET " + SqliteQuote(it->name) + " = ? WHERE rowid = ?");
  for (const auto& [rowid, v] : changed) {
    set.Reset();
    switch (v.kind) {
      case StoredValue::Kind::Integer: sqlite3_bind_int64(set.get(), 1, v.integer); break;
      case StoredValue::Kind::Real: sqlite3_bind_double(set.get(), 1, v.real); break;
      case StoredValue::Kind::Text: set.Bind(1, v.text); break;
      case StoredValue::Kind::Blob:
        sqlite3_bind_blob(set.get(), 1, v.blob.data(), static_cast<int>(v.blob.size()), SQLITE_TRANSIENT);
        break;
      default: set.BindNull(1); break;
    }
    set.Bind(2, rowid);
    set.Step();
  }
  SqliteStatement meta(h, "UPDATE " + Database::MetaTable("standin_columns", object.name) + " SET type_name = ?, length = ?, precision = ?, scale = ?, nullable = ?"
                          " WHERE object_name = ? AND name = ?");
  meta.Bind(1, TypeName(wanted.type));
  meta.Bind(2, static_cast<int64_t>(wanted.type.length));
  meta.Bind(3, static_cast<int64_t>(wanted.type.precision));
  meta.Bind(4, static_cast<int64_t>(wanted.type.scale));
  meta.Bind(5, static_cast<int64_t>(wanted.nullable));
  meta.Bind(6, object.name);
  meta.Bind(7, it->name);
  meta.Step();
  if (!wanted.userType.empty()) SaveColumnUserType(h, object.name, it->name, wanted.userType);
}

}  // namespace

void RunAlterTable(StatementContext& ctx, const AlterTableStmt& s) {
  const ObjectMeta object = RequireTable(ctx, s.table, 4902);
  ctx.Atomically([&] {
    try {
      switch (s.action) {
        case AlterTableStmt::Action::AddConstraints:
          for (const auto& c : s.constraints) AddTableConstraint(ctx, object.name, c, false, !s.noCheck);
          break;
        case AlterTableStmt::Action::AddColumns: AddColumns(ctx, object, s); break;
        case AlterTableStmt::Action::DropConstraints: DropConstraints(ctx, object, s); break;
        case AlterTableStmt::Action::CheckConstraints: CheckConstraints(ctx, object, s); break;
        case AlterTableStmt::Action::DropColumns: DropColumns(ctx, object, s); break;
        case AlterTableStmt::Action::AlterColumn: AlterColumn(ctx, object, s); break;
      }
    } catch (const SqliteError& e) {
      throw SqlError{TranslateSqliteError(e)};
    }
  });
  ctx.Done(0, kCmdNone, 0);
}

void RunCreateIndex(StatementContext& ctx, const CreateIndexStmt& s) {
  // An index on a view (over a schema-bound view): accepted; the view's rows come from its tables.
  if (const auto view = ctx.session.db().FindObject(s.table.name); view && view->isView) {
    ctx.Done(0, kCmdNone, 0);
    return;
  }
  const ObjectMeta object = RequireTable(ctx, s.table, 1088);
  if (s.name.size() > 128)
    ThrowSqlError(103, "The identifier that starts with '" + s.name.substr(0, 128) + "' is too long. Maximum length is 128.", 4);
  IndexMeta index;
  index.table = object.name;
  index.name = s.name;
  index.kind = IndexMeta::Kind::Index;
  index.unique = s.unique;
  index.clustered = s.clustered == 1;
  index.columns = s.columns;
  index.sqliteName = "standin_ix_" + object.name + "_" + s.name;
  if (!s.filter.empty()) {
    // The filter names the table's columns as they are spelt there.
    IndexFilter filter = s.filter;
    const auto columns = ctx.session.db().TableColumns(object.name);
    for (auto& term : filter) {
      const auto it = std::find_if(columns.begin(), columns.end(), [&](const ColumnMeta& c) { return Same(c.name, term.column); });
      if (it == columns.end()) ThrowSqlError(207, "Invalid column name '" + term.column + "'.");
      term.column = it->name;
    }
    index.filterDefinition = FilterDefinition(filter);
    index.filterPredicate = FilterSqlitePredicate(filter);
  }
  ctx.Atomically([&] {
    try {
      AddIndex(ctx, index);
    } catch (const SqliteError& e) {
      throw SqlError{TranslateSqliteError(e)};
    }
  });
  ctx.Done(0, kCmdNone, 0);
}

void RunDropIndex(StatementContext& ctx, const DropIndexStmt& s) {
  ctx.Atomically([&] {
    sqlite3* h = ctx.session.db().handle();
    for (const auto& [table, name] : s.indexes) {
      ctx.CheckDatabasePart(table);
      const auto object = ctx.session.db().FindObject(table.name);
      std::optional<IndexMeta> found;
      if (object)
        for (const auto& index : TableIndexes(h, object->name))
          if (Same(index.name, name)) found = index;
      if (!found) {
        if (s.ifExists) continue;
        ThrowSqlError(3701, "Cannot drop the index '" + table.name + "." + name +
                                "', because it does not exist or you do not have permission.", 7);
      }
      if (found->kind != IndexMeta::Kind::Index)
        ThrowSqlError(3723, "An explicit DROP INDEX is not allowed on index '" + BareName(object->name) + "." +
                                BareName(found->name) +
                                "'. It is being used for " +
                                (found->kind == IndexMeta::Kind::PrimaryKey ? "PRIMARY KEY" : "UNIQUE KEY") +
                                " constraint enforcement.", 4);
      try {
        if (!found->sqliteName.empty()) SqliteExec(h, "DROP INDEX IF EXISTS " + SqliteQuote(found->sqliteName));
        DeleteIndex(h, object->name, found->name);
      } catch (const SqliteError& e) {
        throw SqlError{TranslateSqliteError(e)};
      }
    }
  });
  ctx.Done(0, kCmdNone, 0);
}

}  // namespace standin
