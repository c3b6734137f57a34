#include "tsql/table_constraints.h"

#include <strings.h>

#include <algorithm>

#include "catalog/schema_names.h"
#include "storage/sqlite_handle.h"
#include "storage/sqlite_rewriter.h"
#include "tsql/check_constraints.h"

namespace standin {
namespace {

bool Same(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

const ColumnMeta* FindColumn(const std::vector<ColumnMeta>& columns, const std::string& name) {
  for (const auto& c : columns)
    if (Same(c.name, name)) return &c;
  return nullptr;
}

std::string UniqueName(sqlite3* db, const std::string& wanted) {
  std::string name = wanted;
  for (int n = 2; SchemaNameTaken(db, name); ++n) name = wanted + std::to_string(n);
  return name;
}

// "(a, b)" of the first duplicated key, for SQL Server's "The duplicate key value is (...)".
std::string FirstDuplicate(sqlite3* db, const std::string& table, const std::vector<KeyColumn>& columns,
                           const std::string& predicate) {
  std::string list;
  for (size_t i = 0; i < columns.size(); ++i) list += (i ? ", " : "") + SqliteQuote(columns[i].name);
  try {
    SqliteStatement s(db, "SELECT " + list + " FROM " + SqliteQuote(table) +
                              (predicate.empty() ? "" : " WHERE " + predicate) + " GROUP BY " + list +
                              " HAVING count(*) > 1 LIMIT 1");
    if (!s.Step()) return "";
    std::string out = "(";
    for (size_t i = 0; i < columns.size(); ++i)
      out += (i ? ", " : "") + (s.IsNull(static_cast<int>(i)) ? std::string("<NULL>") : s.Text(static_cast<int>(i)));
    return out + ")";
  } catch (const SqliteError&) {
    return "";
  }
}

void AddForeignKey(StatementContext& ctx, const std::string& table, const ConstraintDef& c, const std::string& name,
                   bool checkRows, bool noCheck) {
  Database& db = ctx.session.db();
  sqlite3* h = db.handle();
  ctx.CheckDatabasePart(c.referenced);
  const auto parent = db.FindObject(c.referenced.name);
  if (!parent || parent->isView)
    ThrowSqlError(1767, "Foreign key '" + name + "' references invalid table '" + c.referenced.name + "'.");
  const auto childColumns = db.TableColumns(table);
  const auto parentColumns = db.TableColumns(parent->name);
  ForeignKeyMeta fk;
  fk.name = name;
  fk.table = table;
  fk.referencedTable = parent->name;
  fk.onDelete = c.onDelete;
  fk.onUpdate = c.onUpdate;
  fk.notTrusted = noCheck;
  for (const auto& k : c.columns) {
    const ColumnMeta* col = FindColumn(childColumns, k.name);
    if (!col)
      ThrowSqlError(1769, "Foreign key '" + name + "' references invalid column '" + k.name + "' in referencing table '" +
                              table + "'.");
    fk.columns.push_back(col->name);
  }
  std::vector<std::string> wanted = c.referencedColumns;
  if (wanted.empty()) {
    std::vector<const ColumnMeta*> pk;
    for (const auto& p : parentColumns)
      if (p.pkSeq > 0) pk.push_back(&p);
    if (pk.empty())
      ThrowSqlError(1773, "Foreign key '" + name + "' has implicit reference to object '" + parent->name +
                              "' which does not have a primary key defined on it.");
    std::sort(pk.begin(), pk.end(), [](const ColumnMeta* a, const ColumnMeta* b) { return a->pkSeq < b->pkSeq; });
    for (const auto* p : pk) wanted.push_back(p->name);
  }
  for (const auto& w : wanted) {
    const ColumnMeta* col = FindColumn(parentColumns, w);
    if (!col)
      ThrowSqlError(1770, "Foreign key '" + name + "' references invalid column '" + w + "' in referenced table '" +
                              parent->name + "'.");
    fk.referencedColumns.push_back(col->name);
  }
  if (fk.columns.size() != fk.referencedColumns.size())
    ThrowSqlError(8139, "Number of referencing columns in foreign key differs from number of referenced columns, table '" +
                            table + "'.");
  // The referenced columns must be exactly a primary key or a unique constraint or index.
  for (const auto& index : TableIndexes(h, parent->name)) {
    if (!index.unique || index.columns.size() != fk.referencedColumns.size()) continue;
    bool all = true;
    for (const auto& k : index.columns)
      all &= std::any_of(fk.referencedColumns.begin(), fk.referencedColumns.end(),
                         [&](const std::string& r) { return Same(r, k.name); });
    if (all) {
      fk.keyName = index.name;
      break;
    }
  }
  if (fk.keyName.empty())
    ThrowSqlError(1776, "There are no primary or candidate keys in the referenced table '" + parent->name +
                            "' that match the referencing column list in the foreign key '" + BareName(name) + "'.");
  for (size_t i = 0; i < fk.columns.size(); ++i) {
    const ColumnMeta* a = FindColumn(childColumns, fk.columns[i]);
    const ColumnMeta* b = FindColumn(parentColumns, fk.referencedColumns[i]);
    const bool sameKind = a->type.kind == b->type.kind ||
                          (IsCharKind(a->type.kind) && IsCharKind(b->type.kind)) ||
                          (IsNCharKind(a->type.kind) && IsNCharKind(b->type.kind)) ||
                          (IsBinaryKind(a->type.kind) && IsBinaryKind(b->type.kind));
    if (!sameKind)
      ThrowSqlError(1778, "Column '" + parent->name + "." + b->name + "' is not the same data type as referencing column '" +
                              table + "." + a->name + "' in foreign key '" + name + "'.");
  }
  if (Same(table, parent->name) &&
      (fk.onDelete != ReferentialAction::NoAction || fk.onUpdate != ReferentialAction::NoAction))
    ThrowSqlError(1785, "Introducing FOREIGN KEY constraint '" + name + "' on table '" + table +
                            "' may cause cycles or multiple cascade paths. Specify ON DELETE NO ACTION or ON UPDATE NO "
                            "ACTION, or modify other FOREIGN KEY constraints.");
  if (checkRows) ValidateForeignKeyRows(ctx, fk);
  SaveForeignKey(h, fk);
  CreateForeignKeyTriggers(h, db.name(), fk);
}

}  // namespace

void ValidateForeignKeyRows(StatementContext& ctx, const ForeignKeyMeta& fk) {
  std::string notNull, match;
  for (size_t i = 0; i < fk.columns.size(); ++i) {
    notNull += (i ? " AND c." : "c.") + SqliteQuote(fk.columns[i]) + " IS NOT NULL";
    match += (i ? " AND p." : "p.") + SqliteQuote(fk.referencedColumns[i]) + " = c." + SqliteQuote(fk.columns[i]);
  }
  SqliteStatement orphan(ctx.session.db().handle(),
                         "SELECT 1 FROM " + SqliteQuote(fk.table) + " c WHERE " + notNull + " AND NOT EXISTS (SELECT 1 FROM " +
                             SqliteQuote(fk.referencedTable) + " p WHERE " + match + ") LIMIT 1");
  if (!orphan.Step()) return;
  std::string text = "The ALTER TABLE statement conflicted with the FOREIGN KEY constraint \"" + BareName(fk.name) +
                     "\". The conflict occurred in database \"" + ctx.session.db().name() + "\", table \"" +
                     TwoPartName(fk.referencedTable) + "\"";
  if (fk.referencedColumns.size() == 1) text += ", column '" + fk.referencedColumns[0] + "'";
  ThrowSqlError(547, text + ".", 0);
}

void ResolveAliasType(StatementContext& ctx, ColumnMeta& column) {
  if (column.userType.empty()) return;
  const auto alias = FindAliasType(ctx.session.db().handle(), column.userType);
  std::string error;
  const auto type = alias ? ParseTypeDeclaration(alias->baseDeclaration, error) : std::nullopt;
  if (!type)
    ThrowSqlError(2715, "Column, parameter, or variable #" + std::to_string(column.ordinal) + ": Cannot find data type " +
                            column.userType + ".", 6);
  column.type = *type;
  column.userType = alias->name;
  if (!column.nullabilityGiven) column.nullable = alias->nullable && column.pkSeq == 0;
  if (column.identity && !IsIntegerKind(column.type.kind) &&
      !((column.type.kind == TypeKind::Decimal || column.type.kind == TypeKind::Numeric) && column.type.scale == 0))
    ThrowSqlError(2749, "Identity column '" + column.name +
                            "' must be of data type int, bigint, smallint, tinyint, or decimal or numeric with a scale of 0, and constrained to be nonnullable.");
}

void TakeDatabaseCollation(StatementContext& ctx, std::vector<ColumnMeta>& columns) {
  const Collation& database = ctx.session.db().collation();
  if (&database == &DefaultCollation()) return;  // columns without a collation have the server's
  for (auto& c : columns)
    if (!c.type.collation && (IsCharKind(c.type.kind) || IsNCharKind(c.type.kind))) c.type.collation = &database;
}

void AddIndex(StatementContext& ctx, IndexMeta index) {
  Database& db = ctx.session.db();
  sqlite3* h = db.handle();
  const auto columns = db.TableColumns(index.table);
  for (auto& k : index.columns) {
    const ColumnMeta* c = FindColumn(columns, k.name);
    if (!c) ThrowSqlError(1911, "Column name '" + k.name + "' does not exist in the target table or view.");
    k.name = c->name;
  }
  for (const auto& other : TableIndexes(h, index.table)) {
    if (Same(other.name, index.name))
      ThrowSqlError(1913, "The operation failed because an index or statistics with name '" + BareName(index.name) +
                              "' already exists on table 'dbo." + index.table + "'.");
    if (index.clustered && other.clustered)
      ThrowSqlError(1902, "Cannot create more than one clustered index on table 'dbo." + index.table +
                              "'. Drop the existing clustered index '" + other.name + "' before creating another.");
  }
  if (!index.sqliteName.empty()) {
    std::string sql = std::string("CREATE ") + (index.unique ? "UNIQUE " : "") + "INDEX " + SqliteQuote(index.sqliteName) +
                      " ON " + SqliteQuote(index.table) + " (";
    for (size_t i = 0; i < index.columns.size(); ++i)
      sql += (i ? ", " : "") + SqliteQuote(index.columns[i].name) + (index.columns[i].descending ? " DESC" : "");
    // A filtered index covers, and keeps unique, only the rows its filter takes: a SQLite partial index.
    sql += ")";
    if (!index.filterPredicate.empty()) sql += " WHERE " + index.filterPredicate;
    try {
      SqliteExec(h, sql);
    } catch (const SqliteError& e) {
      if ((e.code & 0xFF) != SQLITE_CONSTRAINT) throw;
      std::string text = "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object name 'dbo." +
                         index.table + "' and the index name '" + BareName(index.name) + "'.";
      const std::string duplicate = FirstDuplicate(h, index.table, index.columns, index.filterPredicate);
      if (!duplicate.empty()) text += " The duplicate key value is " + duplicate + ".";
      ThrowSqlError(1505, text);
    }
  }
  SaveIndex(h, index);
}

void AddTableConstraint(StatementContext& ctx, const std::string& table, const ConstraintDef& c, bool inCreateTable,
                        bool checkRows, int clustered) {
  Database& db = ctx.session.db();
  sqlite3* h = db.handle();
  const std::string firstColumn = c.columns.empty() ? std::string() : c.columns[0].name;
  // Constraint names are kept with the table's schema: unique within it only.
  std::string name;
  auto generated = [&](const char* prefix, const std::string& column) {
    return UniqueName(h, StoredNameBeside(table, GeneratedConstraintName(prefix, BareName(table), column)));
  };
  if (c.name.empty()) {
    switch (c.kind) {
      case ConstraintDef::Kind::PrimaryKey: name = generated("PK", ""); break;
      case ConstraintDef::Kind::Unique: name = generated("UQ", ""); break;
      case ConstraintDef::Kind::ForeignKey: name = generated("FK", firstColumn); break;
      case ConstraintDef::Kind::Default: name = generated("DF", firstColumn); break;
      case ConstraintDef::Kind::Check: name = generated("CK", firstColumn); break;
    }
  } else if (BareName(c.name).size() > 128) {
    ThrowSqlError(103, "The identifier that starts with '" + BareName(c.name).substr(0, 128) +
                           "' is too long. Maximum length is 128.", 4);
  } else {
    name = StoredNameBeside(table, c.name);
    if (SchemaNameTaken(h, name) && !(inCreateTable && c.kind == ConstraintDef::Kind::PrimaryKey))
      ThrowSqlError(2714, "There is already an object named '" + BareName(name) + "' in the database.", 5);
  }
  const int cluster = clustered != -1 ? clustered : c.clustered;

  switch (c.kind) {
    case ConstraintDef::Kind::PrimaryKey: {
      IndexMeta index;
      index.table = table;
      index.name = BareName(name);  // an index is named within its table; the schema check above covered it
      index.kind = IndexMeta::Kind::PrimaryKey;
      index.unique = true;
      index.clustered = cluster != 0;
      index.columns = c.columns;
      if (inCreateTable) {
        SaveIndex(h, index);  // the SQLite table's own PRIMARY KEY enforces it
        break;
      }
      const auto object = db.FindObject(table);
      if (object && !object->pkName.empty())
        ThrowSqlError(1779, "Table '" + table + "' already has a primary key defined on it.");
      const auto columns = db.TableColumns(table);
      for (const auto& k : c.columns) {
        const ColumnMeta* col = FindColumn(columns, k.name);
        if (!col) ThrowSqlError(1911, "Column name '" + k.name + "' does not exist in the target table or view.");
        if (col->nullable)
          ThrowSqlError(8111, "Cannot define PRIMARY KEY constraint on nullable column in table '" + table + "'.");
      }
      if (index.clustered)
        for (const auto& other : TableIndexes(h, table))
          if (other.clustered) index.clustered = false;  // PRIMARY KEY falls back to nonclustered
      index.sqliteName = "standin_pk_" + table;
      AddIndex(ctx, index);
      SqliteStatement pkSeq(h, "UPDATE " + Database::MetaTable("standin_columns", table) + " SET pk_seq = ? WHERE object_name = ? AND name = ? COLLATE NOCASE");
      for (size_t i = 0; i < c.columns.size(); ++i) {
        pkSeq.Reset();
        pkSeq.Bind(1, static_cast<int64_t>(i + 1));
        pkSeq.Bind(2, table);
        pkSeq.Bind(3, c.columns[i].name);
        pkSeq.Step();
      }
      SqliteStatement pkName(h, "UPDATE " + Database::MetaTable("standin_objects", table) + " SET pk_name = ? WHERE name = ?");
      pkName.Bind(1, BareName(name));
      pkName.Bind(2, table);
      pkName.Step();
      break;
    }
    case ConstraintDef::Kind::Unique: {
      IndexMeta index;
      index.table = table;
      index.name = BareName(name);
      index.kind = IndexMeta::Kind::UniqueConstraint;
      index.unique = true;
      index.clustered = cluster == 1;
      index.columns = c.columns;
      index.sqliteName = "standin_uq_" + table + "_" + name;
      AddIndex(ctx, index);
      break;
    }
    case ConstraintDef::Kind::ForeignKey:
      AddForeignKey(ctx, table, c, name, checkRows, !checkRows && !inCreateTable);
      break;
    case ConstraintDef::Kind::Default: {
      const auto columns = db.TableColumns(table);
      const ColumnMeta* col = FindColumn(columns, firstColumn);
      if (!col)
        ThrowSqlError(1752, "Column '" + firstColumn + "' in table '" + table + "' is invalid for creating a default constraint.");
      if (!inCreateTable) {
        if (!col->defaultText.empty()) ThrowSqlError(1781, "Column already has a DEFAULT bound to it.");
        SqliteStatement s(h, "UPDATE " + Database::MetaTable("standin_columns", table) + " SET default_text = ? WHERE object_name = ? AND name = ?");
        s.Bind(1, c.expression);
        s.Bind(2, table);
        s.Bind(3, col->name);
        s.Step();
      }
      SaveConstraint(h, {name, table, "D", col->name, c.expression});
      break;
    }
    case ConstraintDef::Kind::Check: {
      // Enforced from now on; existing rows are checked unless added WITH NOCHECK,
      // which leaves it not trusted.
      const ConstraintMeta check{name, table, "C", firstColumn, c.expression};
      SaveConstraint(h, check);
      if (!inCreateTable && checkRows) ValidateCheckRows(ctx, check);
      CreateCheckTriggers(ctx, check);
      if (!inCreateTable && !checkRows) SetCheckState(h, name, false, true);
      break;
    }
  }
}

}  // namespace standin
