#include "catalog/schema_metadata.h"

#include "catalog/schema_names.h"

#include <strings.h>

#include <cstdio>
#include <functional>

#include "catalog/catalog_views.h"
#include "storage/database_store.h"
#include "storage/sqlite_handle.h"
#include "storage/sqlite_rewriter.h"
#include "tsql/tsql_lexer.h"

namespace standin {
namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS standin_indexes("
    " object_name TEXT NOT NULL COLLATE NOCASE, name TEXT NOT NULL COLLATE NOCASE, sqlite_name TEXT,"
    " kind TEXT NOT NULL, is_unique INTEGER NOT NULL, clustered INTEGER NOT NULL,"
    " PRIMARY KEY(object_name, name));"
    "CREATE TABLE IF NOT EXISTS standin_index_columns("
    " object_name TEXT NOT NULL COLLATE NOCASE, index_name TEXT NOT NULL COLLATE NOCASE, seq INTEGER NOT NULL,"
    " column_name TEXT NOT NULL, descending INTEGER NOT NULL, PRIMARY KEY(object_name, index_name, seq));"
    "CREATE TABLE IF NOT EXISTS standin_index_filters("
    " object_name TEXT NOT NULL COLLATE NOCASE, index_name TEXT NOT NULL COLLATE NOCASE, definition TEXT NOT NULL,"
    " predicate TEXT NOT NULL, PRIMARY KEY(object_name, index_name));"
    "CREATE TABLE IF NOT EXISTS standin_foreign_keys("
    " name TEXT PRIMARY KEY COLLATE NOCASE, object_name TEXT NOT NULL COLLATE NOCASE,"
    " ref_object TEXT NOT NULL COLLATE NOCASE, on_delete INTEGER NOT NULL, on_update INTEGER NOT NULL,"
    " disabled INTEGER NOT NULL, not_trusted INTEGER NOT NULL, key_name TEXT);"
    "CREATE TABLE IF NOT EXISTS standin_fk_columns("
    " fk_name TEXT NOT NULL COLLATE NOCASE, seq INTEGER NOT NULL, column_name TEXT NOT NULL,"
    " ref_column TEXT NOT NULL, PRIMARY KEY(fk_name, seq));"
    "CREATE TABLE IF NOT EXISTS standin_constraints("
    " name TEXT PRIMARY KEY COLLATE NOCASE, object_name TEXT NOT NULL COLLATE NOCASE, kind TEXT NOT NULL,"
    " column_name TEXT, definition TEXT);"
    "CREATE TABLE IF NOT EXISTS standin_check_states("
    " name TEXT PRIMARY KEY COLLATE NOCASE, disabled INTEGER NOT NULL, not_trusted INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS standin_types("
    " name TEXT PRIMARY KEY COLLATE NOCASE, base TEXT NOT NULL, nullable INTEGER NOT NULL);"
    "CREATE TABLE IF NOT EXISTS standin_column_types("
    " object_name TEXT NOT NULL COLLATE NOCASE, column_name TEXT NOT NULL COLLATE NOCASE, user_type TEXT NOT NULL,"
    " PRIMARY KEY(object_name, column_name));"
    "CREATE TABLE IF NOT EXISTS standin_modules("
    " name TEXT PRIMARY KEY COLLATE NOCASE, kind TEXT NOT NULL, parent TEXT COLLATE NOCASE, definition TEXT,"
    " created TEXT NOT NULL DEFAULT (datetime('now')));";

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

const char* KindText(IndexMeta::Kind k) {
  switch (k) {
    case IndexMeta::Kind::PrimaryKey: return "PK";
    case IndexMeta::Kind::UniqueConstraint: return "UQ";
    default: return "IX";
  }
}

IndexMeta::Kind KindFromText(const std::string& s) {
  if (s == "PK") return IndexMeta::Kind::PrimaryKey;
  if (s == "UQ") return IndexMeta::Kind::UniqueConstraint;
  return IndexMeta::Kind::Index;
}

void Exec(sqlite3* db, const std::string& sql, const std::vector<std::string>& args) {
  SqliteStatement s(db, sql);
  for (size_t i = 0; i < args.size(); ++i) s.Bind(static_cast<int>(i + 1), args[i]);
  s.Step();
}

std::string TriggerName(const std::string& fk, const char* suffix) { return "standin_fk_" + fk + "_" + suffix; }

// "a = NEW.b AND ..." over two column lists.
std::string Match(const std::vector<std::string>& left, const std::string& rightPrefix,
                  const std::vector<std::string>& right, const char* join = " AND ") {
  std::string out;
  for (size_t i = 0; i < left.size(); ++i)
    out += (i ? join : "") + SqliteQuote(left[i]) + " = " + rightPrefix + SqliteQuote(right[i]);
  return out;
}

std::string Conflict(const char* statement, const char* constraint, const std::string& fk, const std::string& database,
                     const std::string& table, const std::vector<std::string>& columns) {
  std::string text = std::string("The ") + statement + " statement conflicted with the " + constraint + " constraint \"" +
                     BareName(fk) + "\". The conflict occurred in database \"" + database + "\", table \"" + TwoPartName(table) + "\"";
  if (columns.size() == 1) text += ", column '" + columns[0] + "'";
  return text + ".";
}

// A #temp table's indexes, constraints and alias-typed columns are kept in
// session tables (standin_temp_*): gone with the connection, seen by no other.
std::string TemporarySchema() {
  std::string s = kSchema;
  std::string out;
  for (const char* base : {"standin_indexes", "standin_index_columns", "standin_index_filters", "standin_constraints",
                           "standin_column_types"}) {
    const std::string from = std::string("CREATE TABLE IF NOT EXISTS ") + base + "(";
    const size_t at = s.find(from);
    out += "CREATE TEMP TABLE IF NOT EXISTS " + Database::MetaTable(base, "#") + "(" +
           s.substr(at + from.size(), s.find(';', at) + 1 - at - from.size());
  }
  return out;
}

std::string Meta(const char* base, const std::string& table) { return Database::MetaTable(base, table); }

}  // namespace

void EnsureSchemaMetadata(sqlite3* db) {
  SqliteExec(db, kSchema);
  SqliteExec(db, TemporarySchema());
  RegisterCatalogViews(db);
}

std::vector<IndexMeta> TableIndexes(sqlite3* db, const std::string& table) {
  std::vector<IndexMeta> out;
  SqliteStatement s(db, "SELECT object_name, name, sqlite_name, kind, is_unique, clustered FROM " + Meta("standin_indexes", table) +
                        " WHERE object_name = ? ORDER BY rowid");
  s.Bind(1, table);
  while (s.Step()) {
    IndexMeta m;
    m.table = s.Text(0);
    m.name = s.Text(1);
    m.sqliteName = s.Text(2);
    m.kind = KindFromText(s.Text(3));
    m.unique = s.Int(4) != 0;
    m.clustered = s.Int(5) != 0;
    out.push_back(std::move(m));
  }
  SqliteStatement c(db, "SELECT column_name, descending FROM " + Meta("standin_index_columns", table) +
                            " WHERE object_name = ? AND index_name = ?"
                        " ORDER BY seq");
  for (auto& m : out) {
    c.Reset();
    c.Bind(1, m.table);
    c.Bind(2, m.name);
    while (c.Step()) m.columns.push_back({c.Text(0), c.Int(1) != 0});
  }
  SqliteStatement f(db, "SELECT definition, predicate FROM " + Meta("standin_index_filters", table) +
                            " WHERE object_name = ? AND index_name = ?");
  for (auto& m : out) {
    f.Reset();
    f.Bind(1, m.table);
    f.Bind(2, m.name);
    if (!f.Step()) continue;
    m.filterDefinition = f.Text(0);
    m.filterPredicate = f.Text(1);
  }
  return out;
}

std::vector<ForeignKeyMeta> AllForeignKeys(sqlite3* db) {
  std::vector<ForeignKeyMeta> out;
  SqliteStatement s(db, "SELECT name, object_name, ref_object, on_delete, on_update, disabled, not_trusted, key_name"
                        " FROM standin_foreign_keys ORDER BY rowid");
  while (s.Step()) {
    ForeignKeyMeta f;
    f.name = s.Text(0);
    f.table = s.Text(1);
    f.referencedTable = s.Text(2);
    f.onDelete = static_cast<ReferentialAction>(s.Int(3));
    f.onUpdate = static_cast<ReferentialAction>(s.Int(4));
    f.disabled = s.Int(5) != 0;
    f.notTrusted = s.Int(6) != 0;
    f.keyName = s.Text(7);
    out.push_back(std::move(f));
  }
  SqliteStatement c(db, "SELECT column_name, ref_column FROM standin_fk_columns WHERE fk_name = ? ORDER BY seq");
  for (auto& f : out) {
    c.Reset();
    c.Bind(1, f.name);
    while (c.Step()) {
      f.columns.push_back(c.Text(0));
      f.referencedColumns.push_back(c.Text(1));
    }
  }
  return out;
}

std::vector<ConstraintMeta> TableConstraints(sqlite3* db, const std::string& table) {
  std::vector<ConstraintMeta> out;
  SqliteStatement s(db, "SELECT name, object_name, kind, column_name, definition FROM " + Meta("standin_constraints", table) +
                        " WHERE object_name = ? ORDER BY rowid");
  s.Bind(1, table);
  while (s.Step()) out.push_back({s.Text(0), s.Text(1), s.Text(2), s.Text(3), s.Text(4)});
  return out;
}

std::optional<AliasType> FindAliasType(sqlite3* db, const std::string& name) {
  SqliteStatement s(db, "SELECT name, base, nullable FROM standin_types WHERE name = ?");
  s.Bind(1, name);
  if (!s.Step()) return std::nullopt;
  return AliasType{s.Text(0), s.Text(1), s.Int(2) != 0};
}

std::map<std::string, std::string> ColumnUserTypes(sqlite3* db, const std::string& table) {
  std::map<std::string, std::string> out;
  SqliteStatement s(db, "SELECT column_name, user_type FROM " + Meta("standin_column_types", table) + " WHERE object_name = ?");
  s.Bind(1, table);
  while (s.Step()) out[Lower(s.Text(0))] = s.Text(1);
  return out;
}

void SaveIndex(sqlite3* db, const IndexMeta& index) {
  SqliteStatement s(db, "INSERT INTO " + Meta("standin_indexes", index.table) + " VALUES (?, ?, ?, ?, ?, ?)");
  s.Bind(1, index.table);
  s.Bind(2, index.name);
  if (index.sqliteName.empty()) s.BindNull(3);
  else s.Bind(3, index.sqliteName);
  s.Bind(4, std::string(KindText(index.kind)));
  s.Bind(5, static_cast<int64_t>(index.unique));
  s.Bind(6, static_cast<int64_t>(index.clustered));
  s.Step();
  SqliteStatement c(db, "INSERT INTO " + Meta("standin_index_columns", index.table) + " VALUES (?, ?, ?, ?, ?)");
  for (size_t i = 0; i < index.columns.size(); ++i) {
    c.Reset();
    c.Bind(1, index.table);
    c.Bind(2, index.name);
    c.Bind(3, static_cast<int64_t>(i + 1));
    c.Bind(4, index.columns[i].name);
    c.Bind(5, static_cast<int64_t>(index.columns[i].descending));
    c.Step();
  }
  if (!index.filterDefinition.empty())
    Exec(db, "INSERT INTO " + Meta("standin_index_filters", index.table) + " VALUES (?, ?, ?, ?)",
         {index.table, index.name, index.filterDefinition, index.filterPredicate});
}

void SaveForeignKey(sqlite3* db, const ForeignKeyMeta& fk) {
  SqliteStatement s(db, "INSERT INTO standin_foreign_keys VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  s.Bind(1, fk.name);
  s.Bind(2, fk.table);
  s.Bind(3, fk.referencedTable);
  s.Bind(4, static_cast<int64_t>(fk.onDelete));
  s.Bind(5, static_cast<int64_t>(fk.onUpdate));
  s.Bind(6, static_cast<int64_t>(fk.disabled));
  s.Bind(7, static_cast<int64_t>(fk.notTrusted));
  s.Bind(8, fk.keyName);
  s.Step();
  SqliteStatement c(db, "INSERT INTO standin_fk_columns VALUES (?, ?, ?, ?)");
  for (size_t i = 0; i < fk.columns.size(); ++i) {
    c.Reset();
    c.Bind(1, fk.name);
    c.Bind(2, static_cast<int64_t>(i + 1));
    c.Bind(3, fk.columns[i]);
    c.Bind(4, fk.referencedColumns[i]);
    c.Step();
  }
}

void SaveConstraint(sqlite3* db, const ConstraintMeta& c) {
  Exec(db, "INSERT INTO " + Meta("standin_constraints", c.table) + " VALUES (?, ?, ?, ?, ?)", {c.name, c.table, c.kind, c.column, c.definition});
}

void SaveAliasType(sqlite3* db, const AliasType& t) {
  SqliteStatement s(db, "INSERT INTO standin_types VALUES (?, ?, ?)");
  s.Bind(1, t.name);
  s.Bind(2, t.baseDeclaration);
  s.Bind(3, static_cast<int64_t>(t.nullable));
  s.Step();
}

void SaveColumnUserType(sqlite3* db, const std::string& table, const std::string& column, const std::string& type) {
  Exec(db, "INSERT OR REPLACE INTO " + Meta("standin_column_types", table) + " VALUES (?, ?, ?)", {table, column, type});
}

void SaveModule(sqlite3* db, const ModuleMeta& m) {
  Exec(db, "INSERT INTO standin_modules(name, kind, parent, definition) VALUES (?, ?, ?, ?)",
       {m.name, m.kind, m.parent, m.definition});
}

std::vector<ModuleMeta> Modules(sqlite3* db) {
  std::vector<ModuleMeta> out;
  SqliteStatement s(db, "SELECT name, kind, parent, definition FROM standin_modules ORDER BY name");
  while (s.Step()) out.push_back({s.Text(0), s.Text(1), s.Text(2), s.Text(3)});
  return out;
}

void DeleteIndex(sqlite3* db, const std::string& table, const std::string& name) {
  Exec(db, "DELETE FROM " + Meta("standin_indexes", table) + " WHERE object_name = ? AND name = ?", {table, name});
  Exec(db, "DELETE FROM " + Meta("standin_index_columns", table) + " WHERE object_name = ? AND index_name = ?", {table, name});
  Exec(db, "DELETE FROM " + Meta("standin_index_filters", table) + " WHERE object_name = ? AND index_name = ?", {table, name});
}

void DeleteForeignKey(sqlite3* db, const std::string& name) {
  DropForeignKeyTriggers(db, name);
  Exec(db, "DELETE FROM standin_foreign_keys WHERE name = ?", {name});
  Exec(db, "DELETE FROM standin_fk_columns WHERE fk_name = ?", {name});
}

void DeleteConstraint(sqlite3* db, const std::string& name) {
  Exec(db, "DELETE FROM main.standin_check_states WHERE name = ?", {name});
  Exec(db, "DELETE FROM standin_constraints WHERE name = ?", {name});
  Exec(db, "DELETE FROM " + Meta("standin_constraints", "#") + " WHERE name = ?", {name});
}

void DeleteModule(sqlite3* db, const std::string& name) { Exec(db, "DELETE FROM standin_modules WHERE name = ?", {name}); }

void SetCheckState(sqlite3* db, const std::string& name, bool disabled, bool notTrusted) {
  if (!disabled && !notTrusted) {
    Exec(db, "DELETE FROM main.standin_check_states WHERE name = ?", {name});
    return;
  }
  Exec(db, "INSERT OR REPLACE INTO main.standin_check_states VALUES (?, ?, ?)",
       {name, disabled ? "1" : "0", notTrusted ? "1" : "0"});
}

std::pair<bool, bool> CheckState(sqlite3* db, const std::string& name) {
  SqliteStatement s(db, "SELECT disabled, not_trusted FROM main.standin_check_states WHERE name = ?");
  s.Bind(1, name);
  if (!s.Step()) return {false, false};
  return {s.Int(0) != 0, s.Int(1) != 0};
}

void DeleteTableSchema(sqlite3* db, const std::string& table) {
  Exec(db, "DELETE FROM main.standin_check_states WHERE name IN (SELECT name FROM main.standin_constraints WHERE object_name = ?)",
       {table});
  for (const auto& fk : AllForeignKeys(db))
    if (strcasecmp(fk.table.c_str(), table.c_str()) == 0) DeleteForeignKey(db, fk.name);
  for (const char* base : {"standin_indexes", "standin_index_columns", "standin_index_filters", "standin_constraints",
                           "standin_column_types"})
    Exec(db, "DELETE FROM " + Meta(base, table) + " WHERE object_name = ?", {table});
  Exec(db, "DELETE FROM standin_modules WHERE parent = ?", {table});
}

void SetForeignKeyState(sqlite3* db, const std::string& name, bool disabled, bool notTrusted) {
  SqliteStatement s(db, "UPDATE standin_foreign_keys SET disabled = ?, not_trusted = ? WHERE name = ?");
  s.Bind(1, static_cast<int64_t>(disabled));
  s.Bind(2, static_cast<int64_t>(notTrusted));
  s.Bind(3, name);
  s.Step();
}

bool SchemaNameTaken(sqlite3* db, const std::string& name) {
  SqliteStatement s(db,
                    "SELECT 1 FROM standin_objects WHERE name = ?1"
                    " UNION ALL SELECT 1 FROM standin_foreign_keys WHERE name = ?1"
                    " UNION ALL SELECT 1 FROM standin_constraints WHERE name = ?1"
                    " UNION ALL SELECT 1 FROM standin_modules WHERE name = ?1"
                    " UNION ALL SELECT 1 FROM standin_indexes WHERE name = standin_bare(?1) AND kind <> 'IX'"
                    "   AND standin_schema(object_name) = standin_schema(?1) COLLATE NOCASE"
                    " UNION ALL SELECT 1 FROM standin_temp_constraints WHERE name = ?1"
                    " UNION ALL SELECT 1 FROM standin_temp_indexes WHERE name = ?1 AND kind <> 'IX'"
                    " UNION ALL SELECT 1 FROM sqlite_master WHERE name = ?1 COLLATE NOCASE");
  s.Bind(1, name);
  return s.Step();
}

void CreateForeignKeyTriggers(sqlite3* db, const std::string& database, const ForeignKeyMeta& fk) {
  const std::string child = SqliteQuote(fk.table);
  const std::string parent = SqliteQuote(fk.referencedTable);
  std::string notNull;
  for (size_t i = 0; i < fk.columns.size(); ++i) notNull += (i ? " AND NEW." : "NEW.") + SqliteQuote(fk.columns[i]) + " IS NOT NULL";
  std::string childColumns, parentColumns, changed;
  for (size_t i = 0; i < fk.columns.size(); ++i) {
    childColumns += (i ? ", " : "") + SqliteQuote(fk.columns[i]);
    parentColumns += (i ? ", " : "") + SqliteQuote(fk.referencedColumns[i]);
    changed += (i ? " OR OLD." : "OLD.") + SqliteQuote(fk.referencedColumns[i]) + " IS NOT NEW." +
               SqliteQuote(fk.referencedColumns[i]);
  }
  const std::string parentMatchesNew = Match(fk.referencedColumns, "NEW.", fk.columns);
  const std::string childMatchesOld = Match(fk.columns, "OLD.", fk.referencedColumns);
  auto raise = [](const std::string& text) { return "SELECT RAISE(ABORT, " + SqliteString(text) + ");"; };
  auto trigger = [&](const char* suffix, const std::string& timing, const std::string& table, const std::string& when,
                     const std::string& body) {
    std::string sql = "CREATE TRIGGER " + SqliteQuote(TriggerName(fk.name, suffix)) + " " + timing + " ON " + table +
                      " FOR EACH ROW";
    if (!when.empty()) sql += " WHEN " + when;
    SqliteExec(db, sql + " BEGIN " + body + " END");
  };
  const std::string missingParent =
      notNull + " AND NOT EXISTS (SELECT 1 FROM " + parent + " WHERE " + parentMatchesNew + ")";
  trigger("ci", "BEFORE INSERT", child, missingParent,
          raise(Conflict("INSERT", "FOREIGN KEY", fk.name, database, fk.referencedTable, fk.referencedColumns)));
  trigger("cu", "BEFORE UPDATE OF " + childColumns, child, missingParent,
          raise(Conflict("UPDATE", "FOREIGN KEY", fk.name, database, fk.referencedTable, fk.referencedColumns)));

  const std::string childExists = "EXISTS (SELECT 1 FROM " + child + " WHERE " + childMatchesOld + ")";
  const std::string childRows = " WHERE " + childMatchesOld + ";";
  std::string setNull;
  for (size_t i = 0; i < fk.columns.size(); ++i) setNull += (i ? ", " : "") + SqliteQuote(fk.columns[i]) + " = NULL";
  switch (fk.onDelete) {
    case ReferentialAction::NoAction:
      trigger("pd", "BEFORE DELETE", parent, childExists,
              raise(Conflict("DELETE", "REFERENCE", fk.name, database, fk.table, fk.columns)));
      break;
    case ReferentialAction::Cascade:
      trigger("pd", "AFTER DELETE", parent, "", "DELETE FROM " + child + childRows);
      break;
    default:  // SET NULL; SET DEFAULT falls back to NULL as well
      trigger("pd", "AFTER DELETE", parent, "", "UPDATE " + child + " SET " + setNull + childRows);
      break;
  }
  switch (fk.onUpdate) {
    case ReferentialAction::NoAction:
      trigger("pu", "BEFORE UPDATE OF " + parentColumns, parent, "(" + changed + ") AND " + childExists,
              raise(Conflict("UPDATE", "REFERENCE", fk.name, database, fk.table, fk.columns)));
      break;
    case ReferentialAction::Cascade:
      trigger("pu", "AFTER UPDATE OF " + parentColumns, parent, changed,
              "UPDATE " + child + " SET " + Match(fk.columns, "NEW.", fk.referencedColumns, ", ") + childRows);
      break;
    default:
      trigger("pu", "AFTER UPDATE OF " + parentColumns, parent, changed, "UPDATE " + child + " SET " + setNull + childRows);
      break;
  }
}

void DropForeignKeyTriggers(sqlite3* db, const std::string& fkName) {
  for (const char* suffix : {"ci", "cu", "pd", "pu"})
    SqliteExec(db, "DROP TRIGGER IF EXISTS " + SqliteQuote(TriggerName(fkName, suffix)));
}

DuplicateKey DescribeDuplicateKey(sqlite3* db, const std::string& table, const std::string& sqliteMessage,
                                  const std::map<std::string, std::string>& rowText) {
  // "UNIQUE constraint failed: T.a, T.b"
  std::vector<std::string> columns;
  const size_t colon = sqliteMessage.find(": ");
  if (colon != std::string::npos) {
    std::string list = sqliteMessage.substr(colon + 2) + ", ";
    for (size_t at = 0, next; (next = list.find(", ", at)) != std::string::npos; at = next + 2) {
      std::string item = list.substr(at, next - at);
      const size_t dot = item.rfind('.');
      columns.push_back(Lower(dot == std::string::npos ? item : item.substr(dot + 1)));
    }
  }
  const std::string object = "'" + TwoPartName(table) + "'";
  for (const auto& index : TableIndexes(db, table)) {
    if (!index.unique || index.columns.size() != columns.size()) continue;
    bool same = true;
    for (const auto& k : index.columns) {
      bool found = false;
      for (const auto& c : columns) found |= c == Lower(k.name);
      same &= found;
    }
    if (!same) continue;
    std::string value;
    for (const auto& k : index.columns) {
      const auto it = rowText.find(Lower(k.name));
      if (it == rowText.end()) {
        value.clear();
        break;
      }
      value += (value.empty() ? "" : ", ") + it->second;
    }
    const std::string tail = value.empty() ? "" : " The duplicate key value is (" + value + ").";
    switch (index.kind) {
      case IndexMeta::Kind::PrimaryKey:
        return {2627, "Violation of PRIMARY KEY constraint '" + BareName(index.name) + "'. Cannot insert duplicate key in object " +
                          object + "." + tail};
      case IndexMeta::Kind::UniqueConstraint:
        return {2627, "Violation of UNIQUE KEY constraint '" + BareName(index.name) + "'. Cannot insert duplicate key in object " +
                          object + "." + tail};
      default:
        return {2601, "Cannot insert duplicate key row in object " + object + " with unique index '" + BareName(index.name) + "'." + tail};
    }
  }
  return {2627, "Violation of PRIMARY KEY constraint. Cannot insert duplicate key in object " + object + "."};
}

std::string GeneratedConstraintName(const char* prefix, const std::string& table, const std::string& column) {
  const uint64_t h = std::hash<std::string>{}(std::string(prefix) + "\n" + Lower(table) + "\n" + Lower(column));
  char hex[20];
  if (column.empty()) {
    std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(h));
    return std::string(prefix) + "__" + table.substr(0, 8) + "__" + hex;
  }
  std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(h & 0xFFFFFFFFu));
  return std::string(prefix) + "__" + table.substr(0, 9) + "__" + column.substr(0, 5) + "__" + hex;
}

}  // namespace standin

namespace standin {

std::optional<SqlType> ParseTypeDeclaration(const std::string& text, std::string& error) {
  const LexResult lex = Tokenize(text);
  const auto& t = lex.tokens;
  if (!lex.ok || t.empty() || !t[0].IsName()) {
    error = "Incorrect syntax near '" + text + "'.";
    return std::nullopt;
  }
  int args = 0;
  long long a1 = 0, a2 = 0;
  bool isMax = false;
  size_t i = 1;
  if (i < t.size() && t[i].IsSymbol("(")) {
    ++i;
    if (t[i].IsWord("MAX")) {
      isMax = true;
      ++i;
    } else if (t[i].kind == SqlToken::Kind::Number) {
      a1 = std::stoll(t[i++].text);
      args = 1;
      if (t[i].IsSymbol(",") && t[i + 1].kind == SqlToken::Kind::Number) {
        a2 = std::stoll(t[i + 1].text);
        args = 2;
        i += 2;
      }
    }
    if (!t[i].IsSymbol(")")) {
      error = "Incorrect syntax near '" + text + "'.";
      return std::nullopt;
    }
  }
  return MakeType(t[0].text, args, a1, a2, isMax, error);
}

}  // namespace standin
