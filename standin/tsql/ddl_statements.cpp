#include <strings.h>

#include <cstdio>
#include <functional>
#include <set>

#include "types/collation.h"
#include "catalog/schema_metadata.h"
#include "storage/sqlite_handle.h"
#include "catalog/schema_names.h"
#include "tsql/statement_handlers.h"
#include "tsql/computed_columns.h"
#include "tsql/temporal_tables.h"
#include "tsql/table_constraints.h"

namespace standin {
namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// SQL Server's generated constraint name, e.g. PK__Orders__3214EC27A1B2C3D4.
std::string GeneratedPkName(const std::string& table) {
  char hex[20];
  std::snprintf(hex, sizeof hex, "%016llX",
                static_cast<unsigned long long>(std::hash<std::string>{}(table) & 0xFFFFFFFFFFFFFFFFULL));
  return "PK__" + BareName(table).substr(0, 8) + "__" + hex;
}

bool ObjectExists(StatementContext& ctx, const std::string& name) {
  return SchemaNameTaken(ctx.session.db().handle(), name);
}

}  // namespace

void RunCreateDatabase(StatementContext& ctx, const CreateDatabaseStmt& s) {
  const Collation* collation = s.collation.empty() ? nullptr : FindCollation(s.collation);
  if (!s.collation.empty() && !collation) ThrowSqlError(448, "Invalid collation '" + s.collation + "'.");
  std::string error;
  if (!ctx.session.directory.Create(s.name, error, collation)) ThrowSqlError(error.find("already exists") != std::string::npos ? 1801 : 1802, error);
  ctx.Done(0, kCmdNone, 0);
}

void RunDropDatabase(StatementContext& ctx, const DropDatabaseStmt& s) {
  for (const auto& name : s.names) {
    if (s.ifExists && !ctx.session.directory.Find(name)) continue;
    if (strcasecmp(name.c_str(), ctx.session.db().name().c_str()) == 0)
      ThrowSqlError(3702, "Cannot drop database \"" + name + "\" because it is currently in use.");
    std::string error;
    if (!ctx.session.directory.Drop(name, error))
      ThrowSqlError(error.find("in use") != std::string::npos          ? 3702
                    : error.find("system database") != std::string::npos ? 3708
                                                                          : 3701,
                    error);
  }
  ctx.Done(0, kCmdDrop, 0);
}

void RunUse(StatementContext& ctx, const UseStmt& s) {
  const std::string old = ctx.session.db().name();
  const Collation& oldCollation = ctx.session.db().collation();
  bool opened = false;
  try {
    opened = ctx.session.OpenDatabase(s.name);
  } catch (const SqliteError& e) {
    ThrowSqlError(945, "Database '" + s.name + "' cannot be opened: " + e.what());
  }
  if (!opened) {
    std::string canonical;
    if (!ctx.session.directory.Find(s.name, &canonical))
      ThrowSqlError(911, "Database '" + s.name + "' does not exist. Make sure that the name is entered correctly.");
    // It exists, but the login has no user in it.
    ServerMessage m;
    m.number = 916;
    m.state = 1;
    m.severity = 14;
    m.text = "The server principal \"" + ctx.session.login + "\" is not able to access the database \"" + canonical +
             "\" under the current security context.";
    throw SqlError{m};
  }
  WriteEnvChange(ctx.w, 1, ctx.session.db().name(), old);
  if (&ctx.session.db().collation() != &oldCollation)
    WriteEnvChangeBytes(ctx.w, 7, ctx.session.db().collation().wireBytes(), oldCollation.wireBytes());
  ServerMessage info;
  info.number = 5701;
  info.state = 1;
  info.severity = 0;
  info.text = "Changed database context to '" + ctx.session.db().name() + "'.";
  WriteMessage(ctx.w, info);
  ctx.Done(0, kCmdNone, 0);
}

void CreateTable(StatementContext& ctx, const CreateTableStmt& stmt) {
  ctx.CheckDatabasePart(stmt.name);
  const std::string& table = stmt.name.name;
  RequireSchema(ctx, table);
  if (table.size() > 128) ThrowSqlError(103, "The identifier that starts with '" + table.substr(0, 128) + "' is too long. Maximum length is 128.");
  CreateTableStmt s = stmt;  // alias types are resolved into the copy
  for (auto& c : s.columns) ResolveAliasType(ctx, c);
  TakeDatabaseCollation(ctx, s.columns);
  for (auto& c : s.columns)
    if (!c.computed.empty()) c.type = ComputedColumnType(c.computed, s.columns);
  std::set<std::string> seen;
  int identities = 0, timestamps = 0;
  for (const auto& c : s.columns) {
    if (!seen.insert(Lower(c.name)).second)
      ThrowSqlError(2705, "Column names in each table must be unique. Column name '" + c.name + "' in table '" + table +
                              "' is specified more than once.");
    identities += c.identity;
    timestamps += c.type.kind == TypeKind::Timestamp;
  }
  if (identities > 1)
    ThrowSqlError(2744, "Multiple identity columns specified for table '" + table + "'. Only one identity column per table is allowed.");
  if (timestamps > 1) ThrowSqlError(2738, "A table can only have one timestamp column. Because table '" + table + "' already has one, the column '' cannot be added.");
  for (const auto& constraint : s.constraints)
    for (const auto& k : constraint.columns)
      if (!seen.count(Lower(k.name)))
        ThrowSqlError(1911, "Column name '" + k.name + "' does not exist in the target table or view.");

  // SQLite table: the columns with the affinity of their stored form, plus the primary key.
  std::string ddl = (Database::IsTemporary(table) ? "CREATE TEMP TABLE " : "CREATE TABLE ") + SqliteQuote(table) + " (";
  std::vector<const ColumnMeta*> pk;
  for (size_t i = 0; i < s.columns.size(); ++i) {
    const auto& c = s.columns[i];
    if (i) ddl += ", ";
    if (!c.computed.empty()) {
      ddl += GeneratedColumnDefinition(ctx, c);
      if (c.pkSeq > 0) pk.push_back(&c);
      continue;
    }
    ddl += SqliteQuote(c.name) + " " + SqliteDeclType(c.type);
    if (IsCharKind(c.type.kind) || IsNCharKind(c.type.kind))
      ddl += std::string(" COLLATE ") + ColumnSqliteCollation(c.type.collation);
    if (c.pkSeq > 0) pk.push_back(&c);
  }
  std::sort(pk.begin(), pk.end(), [](const ColumnMeta* a, const ColumnMeta* b) { return a->pkSeq < b->pkSeq; });
  if (!pk.empty()) {
    ddl += ", PRIMARY KEY (";
    for (size_t i = 0; i < pk.size(); ++i) ddl += (i ? ", " : "") + SqliteQuote(pk[i]->name);
    ddl += ")";
  }
  ddl += ")";

  const std::string pkName =
      pk.empty() ? "" : StoredNameBeside(table, s.pkName.empty() ? GeneratedPkName(table) : s.pkName);
  // A primary key is clustered unless said otherwise or another index is declared clustered.
  bool otherClustered = false;
  for (const auto& c : s.constraints)
    otherClustered |= c.kind != ConstraintDef::Kind::PrimaryKey && c.clustered == 1;
  ctx.Atomically([&] {
    sqlite3* db = ctx.session.db().handle();
    if (ObjectExists(ctx, table))
      ThrowSqlError(2714, "There is already an object named '" + BareName(table) + "' in the database.", 6);
    std::set<std::string> names;
    for (const auto& c : s.constraints) {
      if (c.kind != ConstraintDef::Kind::PrimaryKey && c.name.empty()) continue;
      const std::string name = c.kind == ConstraintDef::Kind::PrimaryKey ? pkName : StoredNameBeside(table, c.name);
      if (name.empty()) continue;
      if (Lower(name) == Lower(table) || SchemaNameTaken(db, name) || !names.insert(Lower(name)).second)
        ThrowSqlError(2714, "There is already an object named '" + BareName(name) + "' in the database.", 5);
    }
    try {
      SqliteExec(db, ddl);
      SqliteStatement object(db, "INSERT INTO " + Database::MetaTable("standin_objects", table) +
                                     "(name, kind, pk_name) VALUES (?, 'TABLE', ?)");
      object.Bind(1, table);
      if (pkName.empty()) object.BindNull(2);
      else object.Bind(2, BareName(pkName));
      object.Step();
      SqliteStatement column(db,
                             "INSERT INTO " + Database::MetaTable("standin_columns", table) +
                                 " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
      for (const auto& c : s.columns) {
        column.Reset();
        column.Bind(1, table);
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
        column.Bind(13, static_cast<int64_t>(c.pkSeq));
        column.Step();
        if (!c.userType.empty()) SaveColumnUserType(db, table, c.name, c.userType);
        if (c.type.collation) {
          SqliteStatement collation(db, "INSERT INTO " + Database::MetaTable("standin_collations", table) +
                                            " VALUES (?, ?, ?)");
          collation.Bind(1, table);
          collation.Bind(2, c.name);
          collation.Bind(3, c.type.collation->name);
          collation.Step();
        }
      }
      if (!Database::IsTemporary(table)) SaveColumnKinds(db, table, s.columns);
      // Keys first, so that foreign keys (also to this table) find them.
      for (int pass = 0; pass < 2; ++pass) {
        for (const auto& c : s.constraints) {
          const bool isKey = c.kind == ConstraintDef::Kind::PrimaryKey || c.kind == ConstraintDef::Kind::Unique;
          if (isKey != (pass == 0)) continue;
          if (c.kind == ConstraintDef::Kind::PrimaryKey) {
            ConstraintDef named = c;
            named.name = pkName;
            AddTableConstraint(ctx, table, named, true, false, c.clustered == -1 ? (otherClustered ? 0 : 1) : c.clustered);
          } else {
            AddTableConstraint(ctx, table, c, true, false);
          }
        }
      }
    } catch (const SqliteError& e) {
      throw SqlError{TranslateSqliteError(e)};
    }
  });
  if (s.systemVersioned) SetUpSystemVersioning(ctx, s);
}

void RunCreateTable(StatementContext& ctx, const CreateTableStmt& stmt) {
  CreateTable(ctx, stmt);
  ctx.Done(0, kCmdCreateTable, 0);
}

void RunCreateView(StatementContext& ctx, const CreateViewStmt& s) {
  ctx.CheckDatabasePart(s.name);
  RequireSchema(ctx, s.name.name);
  const std::string select = ctx.Rewrite(ctx.batch.tokens, s.select);
  std::string ddl = "CREATE VIEW " + SqliteQuote(s.name.name);
  if (!s.columns.empty()) {
    ddl += " (";
    for (size_t i = 0; i < s.columns.size(); ++i) ddl += (i ? ", " : "") + SqliteQuote(s.columns[i]);
    ddl += ")";
  }
  ddl += " AS " + select;
  ctx.Atomically([&] {
    if (ObjectExists(ctx, s.name.name))
      ThrowSqlError(2714, "There is already an object named '" + BareName(s.name.name) + "' in the database.", 6);
    sqlite3* db = ctx.session.db().handle();
    try {
      SqliteExec(db, ddl);
      SqliteStatement check(db, "SELECT * FROM " + SqliteQuote(s.name.name));  // names must resolve now
      SqliteStatement object(db, "INSERT INTO standin_objects(name, kind) VALUES (?, 'VIEW')");
      object.Bind(1, s.name.name);
      object.Step();
    } catch (const SqliteError& e) {
      throw SqlError{TranslateSqliteError(e)};
    }
  });
  ctx.Done(0, kCmdNone, 0);
}

void RunDropObject(StatementContext& ctx, const DropObjectStmt& s) {
  const char* what = s.view ? "view" : "table";
  ctx.Atomically([&] {
    for (const auto& name : s.names) {
      ctx.CheckDatabasePart(name);
      const auto object = ctx.session.db().FindObject(name.name);
      if (!object || object->isView != s.view) {
        if (object)
          ThrowSqlError(3705, "Cannot use DROP " + std::string(s.view ? "VIEW" : "TABLE") + " with '" + name.name +
                                  "' because '" + name.name + "' is a " + (s.view ? "table" : "view") +
                                  ". Use DROP " + (s.view ? "TABLE" : "VIEW") + ".");
        if (s.ifExists) continue;
        ThrowSqlError(3701, "Cannot drop the " + std::string(what) + " '" + name.name +
                                "', because it does not exist or you do not have permission.", 5);
      }
      sqlite3* db = ctx.session.db().handle();
      try {
        if (!s.view) {
          for (const auto& fk : AllForeignKeys(db))
            if (strcasecmp(fk.referencedTable.c_str(), object->name.c_str()) == 0 &&
                strcasecmp(fk.table.c_str(), object->name.c_str()) != 0)
              ThrowSqlError(3726, "Could not drop object 'dbo." + object->name +
                                      "' because it is referenced by a FOREIGN KEY constraint.");
          DeleteTableSchema(db, object->name);
        }
        SqliteExec(db, std::string("DROP ") + (s.view ? "VIEW " : "TABLE ") + SqliteQuote(object->name));
        SqliteStatement a(db, "DELETE FROM " + Database::MetaTable("standin_objects", object->name) + " WHERE name = ?");
        a.Bind(1, object->name);
        a.Step();
        SqliteStatement b(db, "DELETE FROM " + Database::MetaTable("standin_columns", object->name) +
                                  " WHERE object_name = ?");
        b.Bind(1, object->name);
        b.Step();
        SqliteStatement c(db, "DELETE FROM " + Database::MetaTable("standin_collations", object->name) +
                                  " WHERE object_name = ?");
        c.Bind(1, object->name);
        c.Step();
        if (!Database::IsTemporary(object->name)) {
          SqliteStatement k(db, "DELETE FROM standin_column_kinds WHERE object_name = ?");
          k.Bind(1, object->name);
          k.Step();
        }
      } catch (const SqliteError& e) {
        throw SqlError{TranslateSqliteError(e)};
      }
      ctx.session.identityInsert.erase(Lower(object->name));
    }
  });
  ctx.Done(0, kCmdDrop, 0);
}

}  // namespace standin
