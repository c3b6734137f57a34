#include "catalog/catalog_procedures.h"

#include "catalog/schema_names.h"

#include <strings.h>

#include <algorithm>
#include <map>
#include <cctype>
#include <optional>

#include "protocol/column_encoder.h"
#include "catalog/datatype_info.h"
#include "catalog/principals.h"
#include "catalog/schema_metadata.h"
#include "catalog/procedure_catalog.h"
#include "storage/remembered_counts.h"
#include "storage/sqlite_handle.h"

namespace standin {
namespace {

// The database a catalog procedure runs in: the session's, or the one named
// in "[db]..sp_columns".
struct CatalogScope {
  Database& database;
  DataDirectory& directory;
  Database& db() { return database; }
};

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsTextKind(TypeKind k) { return k == TypeKind::NVarChar || k == TypeKind::VarChar || k == TypeKind::Char; }

// System tables listed by sp_tables (owned by "sys"), as a real server lists some.
const char* const kSystemTables[] = {"trace_xe_action_map", "trace_xe_event_map"};

struct Field {
  bool null = true;
  int64_t integer = 0;
  std::string text;
  static Field Int(int64_t v) { Field f; f.null = false; f.integer = v; return f; }
  static Field Int(std::optional<int> v) { return v ? Int(static_cast<int64_t>(*v)) : Field{}; }
  static Field Str(std::string s) { Field f; f.null = false; f.text = std::move(s); return f; }
};
using Row = std::vector<Field>;

ResultColumn Sysname(const char* name, bool nullable = true) {
  return {name, SqlType{TypeKind::NVarChar, 128, 0, 0}, nullable, false, ""};
}
ResultColumn Varchar(const char* name, int length, bool nullable = true) {
  return {name, SqlType{TypeKind::VarChar, length, 0, 0}, nullable, false, ""};
}
ResultColumn Integer(const char* name, TypeKind kind, bool nullable = true) {
  return {name, SqlType{kind, 0, 0, 0}, nullable, false, ""};
}

void WriteResult(ReplyWriter& w, const std::vector<ResultColumn>& columns, const std::vector<Row>& rows) {
  WriteColumnMetadata(w, columns);
  for (const auto& row : rows) {
    w.U8(kTokRow);
    for (size_t i = 0; i < columns.size(); ++i) {
      const Field& f = row[i];
      Cell c;
      if (!f.null) c = IsTextKind(columns[i].type.kind) ? Cell::Text(f.text) : Cell::Int(f.integer);
      WriteColumnValue(w, columns[i], c);
    }
  }
  WriteDone(w, kTokDoneInProc, kDoneMore | kDoneCount, kCmdSelect, rows.size());
}

// Finds a parameter by name or position.
std::optional<Value> Arg(const ProcedureArgs& args, const std::vector<std::string>& order, const std::string& name) {
  size_t position = 0;
  for (const auto& [argName, value] : args) {
    const std::string& effective = argName.empty() && position < order.size() ? order[position] : argName;
    ++position;
    if (strcasecmp(effective.c_str(), name.c_str()) == 0) {
      if (value.kind == Value::Kind::Null) return std::nullopt;
      return value;
    }
  }
  return std::nullopt;
}

std::optional<std::string> TextArg(const ProcedureArgs& args, const std::vector<std::string>& order,
                                   const std::string& name) {
  const auto v = Arg(args, order, name);
  if (!v) return std::nullopt;
  if (v->kind == Value::Kind::Integer) return std::to_string(v->integer);
  return v->text;
}

bool LikeAt(const std::string& p, size_t pi, const std::string& t, size_t ti) {
  while (pi < p.size()) {
    const char pc = p[pi];
    if (pc == '%') {
      while (pi < p.size() && p[pi] == '%') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = ti; k <= t.size(); ++k)
        if (LikeAt(p, pi, t, k)) return true;
      return false;
    }
    if (ti >= t.size()) return false;
    if (pc == '_') { ++pi; ++ti; continue; }
    if (pc == '[') {
      const size_t close = p.find(']', pi + 2);
      if (close != std::string::npos) {
        std::string set = p.substr(pi + 1, close - pi - 1);
        bool negate = !set.empty() && set[0] == '^';
        if (negate) set.erase(0, 1);
        bool hit = false;
        const char tc = static_cast<char>(std::tolower(static_cast<unsigned char>(t[ti])));
        for (size_t k = 0; k < set.size(); ++k) {
          const char lo = static_cast<char>(std::tolower(static_cast<unsigned char>(set[k])));
          if (k + 2 < set.size() && set[k + 1] == '-') {
            const char hi = static_cast<char>(std::tolower(static_cast<unsigned char>(set[k + 2])));
            if (tc >= lo && tc <= hi) hit = true;
            k += 2;
          } else if (tc == lo) {
            hit = true;
          }
        }
        if (hit == negate) return false;
        pi = close + 1;
        ++ti;
        continue;
      }
    }
    if (std::tolower(static_cast<unsigned char>(pc)) != std::tolower(static_cast<unsigned char>(t[ti]))) return false;
    ++pi;
    ++ti;
  }
  return ti == t.size();
}

bool NameLess(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }

// A qualifier other than the current database is refused, as on SQL Server.
bool CheckQualifier(const std::optional<std::string>& qualifier, CatalogScope& s, ServerMessage& error) {
  if (!qualifier || qualifier->empty() || strcasecmp(qualifier->c_str(), s.db().name().c_str()) == 0) return true;
  error = {15250, 1, 16, "The database name component of the object qualifier must be the name of the current database.", "", 1};
  return false;
}

std::vector<ResultColumn> TablesColumns() {
  return {Sysname("TABLE_QUALIFIER"), Sysname("TABLE_OWNER"), Sysname("TABLE_NAME"), Varchar("TABLE_TYPE", 32),
          Varchar("REMARKS", 254)};
}

std::vector<std::string> TypeList(const std::optional<std::string>& typeList) {
  std::vector<std::string> types;
  if (!typeList) return types;
  std::string item;
  bool quoted = false;
  for (char c : *typeList + ",") {
    if (c == '\'') { quoted = !quoted; continue; }
    if (c == ',' && !quoted) {
      size_t a = item.find_first_not_of(' '), b = item.find_last_not_of(' ');
      if (a != std::string::npos) types.push_back(item.substr(a, b - a + 1));
      item.clear();
      continue;
    }
    item += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return types;
}

struct TableEntry { std::string qualifier, type, owner, name; };

// An owner argument: a pattern when given; when not, a named table is looked
// up in the default schema (dbo) and a pattern spans every schema.
bool OwnerMatches(const std::optional<std::string>& owner, const std::string& schema, bool tableNamed) {
  if (owner && !owner->empty()) return LikeMatch(*owner, schema);
  return !tableNamed || strcasecmp(schema.c_str(), "dbo") == 0;
}

// The table (not view) `name` of the schema `owner` asks for.
std::optional<ObjectMeta> FindTable(Database& db, const std::optional<std::string>& owner, const std::string& name) {
  auto object = db.FindObject(StoredName(owner ? *owner : std::string(), name));
  if (object && object->isView) object.reset();
  return object;
}

// The tables, views and system tables of one database matching the patterns.
void CollectTables(Database& db, const std::optional<std::string>& name, const std::optional<std::string>& owner,
                   const std::vector<std::string>& types, std::vector<TableEntry>& entries) {
  auto wanted = [&](const char* type) {
    return types.empty() || std::find(types.begin(), types.end(), type) != types.end();
  };
  auto matches = [](const std::optional<std::string>& pattern, const std::string& value) {
    return !pattern || pattern->empty() || LikeMatch(*pattern, value);
  };
  for (const auto& object : db.Objects()) {
    const char* type = object.isView ? "VIEW" : "TABLE";
    const std::string schema = SchemaOf(object.name), bare = BareName(object.name);
    if (wanted(type) && matches(name, bare) && matches(owner, schema))
      entries.push_back({db.name(), type, schema, bare});
  }
  if (wanted("SYSTEM TABLE") && matches(owner, "sys"))
    for (const char* sys : kSystemTables)
      if (matches(name, sys)) entries.push_back({db.name(), "SYSTEM TABLE", "sys", sys});
}

void WriteTables(ReplyWriter& w, std::vector<TableEntry>& entries) {
  std::sort(entries.begin(), entries.end(), [](const TableEntry& a, const TableEntry& b) {
    if (a.type != b.type) return a.type < b.type;
    if (strcasecmp(a.qualifier.c_str(), b.qualifier.c_str()) != 0) return NameLess(a.qualifier, b.qualifier);
    if (strcasecmp(a.owner.c_str(), b.owner.c_str()) != 0) return NameLess(a.owner, b.owner);
    return NameLess(a.name, b.name);
  });
  std::vector<Row> rows;
  for (const auto& e : entries)
    rows.push_back({Field::Str(e.qualifier), Field::Str(e.owner), Field::Str(e.name), Field::Str(e.type), {}});
  WriteResult(w, TablesColumns(), rows);
}

CatalogOutcome SpTables(const ProcedureArgs& args, CatalogScope& s, ReplyWriter& w, ServerMessage& error) {
  static const std::vector<std::string> order = {"@table_name", "@table_owner", "@table_qualifier", "@table_type",
                                                 "@fusepattern"};
  const auto name = TextArg(args, order, "@table_name");
  const auto owner = TextArg(args, order, "@table_owner");
  const auto qualifier = TextArg(args, order, "@table_qualifier");
  const auto typeList = TextArg(args, order, "@table_type");
  // SQLTables(SQL_ALL_CATALOGS): one row per database.
  if (qualifier && *qualifier == "%" && name && name->empty() && owner && owner->empty()) {
    std::vector<Row> rows;
    for (const auto& db : s.directory.ListNames()) rows.push_back({Field::Str(db), {}, {}, {}, {}});
    WriteResult(w, TablesColumns(), rows);
    return CatalogOutcome::Done;
  }
  if (!CheckQualifier(qualifier, s, error)) return CatalogOutcome::Error;
  std::vector<TableEntry> entries;
  CollectTables(s.db(), name, owner, TypeList(typeList), entries);
  WriteTables(w, entries);
  return CatalogOutcome::Done;
}

// sp_tableswc: sp_tables with a pattern for the database as well.
CatalogOutcome SpTablesWc(const ProcedureArgs& args, CatalogScope& s, ReplyWriter& w, ServerMessage&) {
  static const std::vector<std::string> order = {"@table_name", "@table_owner", "@table_qualifier", "@table_type",
                                                 "@fusepattern"};
  const auto name = TextArg(args, order, "@table_name");
  const auto owner = TextArg(args, order, "@table_owner");
  const auto qualifier = TextArg(args, order, "@table_qualifier");
  const auto types = TypeList(TextArg(args, order, "@table_type"));
  std::vector<TableEntry> entries;
  for (const auto& dbName : s.directory.ListNames()) {
    if (qualifier && !qualifier->empty() && !LikeMatch(*qualifier, dbName)) continue;
    if (strcasecmp(dbName.c_str(), s.db().name().c_str()) == 0) {
      CollectTables(s.db(), name, owner, types, entries);
      continue;
    }
    std::string canonical;
    const auto path = s.directory.Find(dbName, &canonical);
    if (!path) continue;
    try {
      Database other(*path, canonical);
      CollectTables(other, name, owner, types, entries);
    } catch (const std::exception&) {
      // a database that cannot be opened lists nothing
    }
  }
  WriteTables(w, entries);
  return CatalogOutcome::Done;
}

CatalogOutcome SpColumns(const ProcedureArgs& args, CatalogScope& s, ReplyWriter& w, ServerMessage& error) {
  static const std::vector<std::string> order = {"@table_name", "@table_owner", "@table_qualifier", "@column_name",
                                                 "@odbcver"};
  const auto name = TextArg(args, order, "@table_name");
  const auto owner = TextArg(args, order, "@table_owner");
  const auto qualifier = TextArg(args, order, "@table_qualifier");
  const auto column = TextArg(args, order, "@column_name");
  const auto odbcArg = Arg(args, order, "@odbcver");
  int odbcVersion = 2;
  if (odbcArg) odbcVersion = odbcArg->kind == Value::Kind::Integer ? static_cast<int>(odbcArg->integer)
                                                                   : std::atoi(odbcArg->text.c_str());
  if (!CheckQualifier(qualifier, s, error)) return CatalogOutcome::Error;
  const std::vector<ResultColumn> columns = {
      Sysname("TABLE_QUALIFIER"), Sysname("TABLE_OWNER"), Sysname("TABLE_NAME", false), Sysname("COLUMN_NAME", false),
      Integer("DATA_TYPE", TypeKind::SmallInt, false), Sysname("TYPE_NAME", false), Integer("PRECISION", TypeKind::Int),
      Integer("LENGTH", TypeKind::Int), Integer("SCALE", TypeKind::SmallInt), Integer("RADIX", TypeKind::SmallInt),
      Integer("NULLABLE", TypeKind::SmallInt, false), Varchar("REMARKS", 254),
      {"COLUMN_DEF", SqlType{TypeKind::NVarChar, 4000, 0, 0}, true, false, ""},
      Integer("SQL_DATA_TYPE", TypeKind::SmallInt, false), Integer("SQL_DATETIME_SUB", TypeKind::SmallInt),
      Integer("CHAR_OCTET_LENGTH", TypeKind::Int), Integer("ORDINAL_POSITION", TypeKind::Int, false),
      Varchar("IS_NULLABLE", 254), Integer("SS_DATA_TYPE", TypeKind::TinyInt)};
  std::vector<ObjectMeta> objects;
  const bool named = name && !name->empty() && name->find_first_of("%_[") == std::string::npos;
  for (auto& o : s.db().Objects())
    if ((!name || name->empty() || LikeMatch(*name, BareName(o.name))) && OwnerMatches(owner, SchemaOf(o.name), named))
      objects.push_back(o);
  std::sort(objects.begin(), objects.end(), [](const ObjectMeta& a, const ObjectMeta& b) {
    const std::string sa = SchemaOf(a.name), sb = SchemaOf(b.name);
    if (strcasecmp(sa.c_str(), sb.c_str()) != 0) return NameLess(sa, sb);
    return NameLess(BareName(a.name), BareName(b.name));
  });
  WriteColumnMetadata(w, columns);
  uint64_t count = 0;
  for (const auto& object : objects) {
    std::vector<ColumnMeta> metas;
    try {
      metas = s.db().ObjectColumns(object);
    } catch (const std::exception&) {
      continue;  // a view whose tables were dropped lists no columns
    }
    const auto userTypes = object.isView ? std::map<std::string, std::string>()
                                         : ColumnUserTypes(s.db().handle(), object.name);
    for (const auto& c : metas) {
      if (column && !column->empty() && !LikeMatch(*column, c.name)) continue;
      CatalogTypeInfo info = DescribeForCatalog(c.type, c.identity, c.nullable, odbcVersion);
      // A column of an alias type reports the alias's name.
      const auto alias = userTypes.find(Lower(c.name));
      if (alias != userTypes.end()) info.typeName = BareName(alias->second) + (c.identity ? " identity" : "");
      const Row row = {Field::Str(s.db().name()), Field::Str(SchemaOf(object.name)), Field::Str(BareName(object.name)),
                       Field::Str(c.name),
                       Field::Int(info.dataType), Field::Str(info.typeName), Field::Int(info.precision),
                       Field::Int(info.length), Field::Int(info.scale), Field::Int(info.radix),
                       Field::Int(c.nullable ? 1 : 0), {},
                       c.defaultText.empty() || !s.db().rights().SeesDefinition(object.name)
                           ? Field{} : Field::Str(c.defaultText),
                       Field::Int(info.sqlDataType),
                       Field::Int(info.datetimeSub), Field::Int(info.charOctetLength), Field::Int(c.ordinal),
                       Field::Str(c.nullable ? "YES" : "NO"), Field::Int(info.ssDataType)};
      w.U8(kTokRow);
      for (size_t i = 0; i < columns.size(); ++i) {
        Cell cell;
        if (!row[i].null) cell = IsTextKind(columns[i].type.kind) ? Cell::Text(row[i].text) : Cell::Int(row[i].integer);
        WriteColumnValue(w, columns[i], cell);
      }
      ++count;
    }
  }
  WriteDone(w, kTokDoneInProc, kDoneMore | kDoneCount, kCmdSelect, count);
  return CatalogOutcome::Done;
}

CatalogOutcome SpPkeys(const ProcedureArgs& args, CatalogScope& s, ReplyWriter& w, ServerMessage& error) {
  static const std::vector<std::string> order = {"@table_name", "@table_owner", "@table_qualifier"};
  const auto name = TextArg(args, order, "@table_name");
  const auto owner = TextArg(args, order, "@table_owner");
  const auto qualifier = TextArg(args, order, "@table_qualifier");
  if (!name) {
    error = {201, 4, 16, "Procedure or function 'sp_pkeys' expects parameter '@table_name', which was not supplied.", "sp_pkeys", 0};
    return CatalogOutcome::Error;
  }
  if (!CheckQualifier(qualifier, s, error)) return CatalogOutcome::Error;
  std::vector<Row> rows;
  const auto object = FindTable(s.db(), owner, *name);
  if (object) {
    auto columns = s.db().TableColumns(object->name);
    std::sort(columns.begin(), columns.end(), [](const ColumnMeta& a, const ColumnMeta& b) { return a.pkSeq < b.pkSeq; });
    for (const auto& c : columns) {
      if (c.pkSeq == 0) continue;
      rows.push_back({Field::Str(s.db().name()), Field::Str(SchemaOf(object->name)), Field::Str(BareName(object->name)),
                      Field::Str(c.name), Field::Int(c.pkSeq), Field::Str(BareName(object->pkName))});
    }
  }
  WriteResult(w,
              {Sysname("TABLE_QUALIFIER"), Sysname("TABLE_OWNER"), Sysname("TABLE_NAME", false),
               Sysname("COLUMN_NAME", false), Integer("KEY_SEQ", TypeKind::SmallInt, false), Sysname("PK_NAME")},
              rows);
  return CatalogOutcome::Done;
}

// Rows of a table's storage, from SQLite's page statistics (NULL when unavailable).
std::optional<int> Pages(Database& db, const std::string& btree) {
  const auto pages = RememberedCount(db.handle(), "pages of " + btree, [&]() -> std::optional<std::int64_t> {
    try {
      SqliteStatement st(db.handle(), "SELECT count(*) FROM dbstat WHERE name = ?");
      st.Bind(1, btree);
      if (st.Step()) return st.Int(0);
    } catch (const std::exception&) {
    }
    return std::nullopt;
  });
  if (!pages) return std::nullopt;
  return static_cast<int>(*pages);
}

CatalogOutcome SpStatistics(const ProcedureArgs& args, CatalogScope& s, ReplyWriter& w, ServerMessage& error) {
  static const std::vector<std::string> order = {"@table_name", "@table_owner", "@table_qualifier", "@index_name",
                                                 "@is_unique", "@accuracy"};
  const auto name = TextArg(args, order, "@table_name");
  const auto owner = TextArg(args, order, "@table_owner");
  const auto qualifier = TextArg(args, order, "@table_qualifier");
  const auto indexName = TextArg(args, order, "@index_name");
  const auto isUnique = TextArg(args, order, "@is_unique");
  if (!name) {
    error = {201, 4, 16, "Procedure or function 'sp_statistics' expects parameter '@table_name', which was not supplied.",
             "sp_statistics", 0};
    return CatalogOutcome::Error;
  }
  if (!CheckQualifier(qualifier, s, error)) return CatalogOutcome::Error;
  const std::vector<ResultColumn> columns = {
      Sysname("TABLE_QUALIFIER"), Sysname("TABLE_OWNER"), Sysname("TABLE_NAME", false),
      Integer("NON_UNIQUE", TypeKind::SmallInt), Sysname("INDEX_QUALIFIER"), Sysname("INDEX_NAME"),
      Integer("TYPE", TypeKind::SmallInt, false), Integer("SEQ_IN_INDEX", TypeKind::SmallInt), Sysname("COLUMN_NAME"),
      {"COLLATION", SqlType{TypeKind::Char, 1, 0, 0}, true, false, ""}, Integer("CARDINALITY", TypeKind::Int),
      Integer("PAGES", TypeKind::Int), Varchar("FILTER_CONDITION", 128)};
  std::vector<Row> rows;
  const auto object = FindTable(s.db(), owner, *name);
  if (object) {
    const std::string db = s.db().name();
    const Field schema = Field::Str(SchemaOf(object->name)), bare = Field::Str(BareName(object->name));
    const auto rowTotal = RememberedCount(s.db().handle(), RowCountKey(object->name, ""), [&]() -> std::optional<std::int64_t> {
      SqliteStatement count(s.db().handle(), "SELECT count(*) FROM " + SqliteQuote(object->name));
      return count.Step() ? count.Int(0) : 0;
    });
    const Field cardinality = Field::Int(rowTotal.value_or(0));
    const Field tablePages = Field::Int(Pages(s.db(), object->name));
    // The table's own statistics come first (NON_UNIQUE NULL sorts first).
    rows.push_back({Field::Str(db), schema, bare, {}, {}, {}, Field::Int(0), {}, {}, {},
                    cardinality, tablePages, {}});
    auto indexes = TableIndexes(s.db().handle(), object->name);
    std::sort(indexes.begin(), indexes.end(), [](const IndexMeta& a, const IndexMeta& b) {
      if (a.unique != b.unique) return a.unique;  // NON_UNIQUE 0 before 1
      if (a.clustered != b.clustered) return a.clustered;  // TYPE 1 before 3
      return NameLess(a.name, b.name);
    });
    for (const auto& index : indexes) {
      if (isUnique && (*isUnique == "Y" || *isUnique == "y") && !index.unique) continue;
      if (indexName && !indexName->empty() && !LikeMatch(*indexName, BareName(index.name))) continue;
      const Field pages = index.clustered || index.sqliteName.empty() ? tablePages : Field::Int(Pages(s.db(), index.sqliteName));
      for (size_t k = 0; k < index.columns.size(); ++k)
        rows.push_back({Field::Str(db), schema, bare, Field::Int(index.unique ? 0 : 1), bare, Field::Str(BareName(index.name)), Field::Int(index.clustered ? 1 : 3),
                        Field::Int(static_cast<int64_t>(k + 1)), Field::Str(index.columns[k].name),
                        Field::Str(index.columns[k].descending ? "D" : "A"), cardinality, pages, {}});
    }
  }
  WriteResult(w, columns, rows);
  return CatalogOutcome::Done;
}

// ODBC's rule numbers as SQL Server's sp_fkeys reports them.
int RuleNumber(ReferentialAction a) {
  switch (a) {
    case ReferentialAction::Cascade: return 0;
    case ReferentialAction::SetNull: return 2;
    case ReferentialAction::SetDefault: return 3;
    default: return 1;
  }
}

CatalogOutcome SpFkeys(const ProcedureArgs& args, CatalogScope& s, ReplyWriter& w, ServerMessage& error) {
  static const std::vector<std::string> order = {"@pktable_name", "@pktable_owner", "@pktable_qualifier",
                                                 "@fktable_name", "@fktable_owner", "@fktable_qualifier"};
  const auto pkTable = TextArg(args, order, "@pktable_name");
  const auto pkOwner = TextArg(args, order, "@pktable_owner");
  const auto fkTable = TextArg(args, order, "@fktable_name");
  const auto fkOwner = TextArg(args, order, "@fktable_owner");
  if ((!pkTable || pkTable->empty()) && (!fkTable || fkTable->empty())) {
    error = {15252, 1, 16, "The primary or foreign key table name must be given.", "sp_fkeys", 0};
    return CatalogOutcome::Error;
  }
  if (!CheckQualifier(TextArg(args, order, "@pktable_qualifier"), s, error) ||
      !CheckQualifier(TextArg(args, order, "@fktable_qualifier"), s, error))
    return CatalogOutcome::Error;
  // One side's table: its name when given, its owner by OwnerMatches.
  auto sideOk = [](const std::optional<std::string>& t, const std::optional<std::string>& o, const std::string& stored) {
    const bool named = t && !t->empty();
    return (!named || strcasecmp(t->c_str(), BareName(stored).c_str()) == 0) && OwnerMatches(o, SchemaOf(stored), named);
  };
  struct Line {
    const ForeignKeyMeta* fk;
    size_t seq;
  };
  const auto keys = AllForeignKeys(s.db().handle());
  std::vector<Line> lines;
  for (const auto& fk : keys)
    if (sideOk(pkTable, pkOwner, fk.referencedTable) && sideOk(fkTable, fkOwner, fk.table))
        for (size_t k = 0; k < fk.columns.size(); ++k) lines.push_back({&fk, k});
  // By the other side's table, then KEY_SEQ, as SQL Server orders them.
  const bool byFkTable = pkTable && !pkTable->empty();
  std::stable_sort(lines.begin(), lines.end(), [&](const Line& a, const Line& b) {
    const std::string& ta = byFkTable ? a.fk->table : a.fk->referencedTable;
    const std::string& tb = byFkTable ? b.fk->table : b.fk->referencedTable;
    const std::string sa = SchemaOf(ta), sb = SchemaOf(tb);
    if (strcasecmp(sa.c_str(), sb.c_str()) != 0) return NameLess(sa, sb);
    if (strcasecmp(BareName(ta).c_str(), BareName(tb).c_str()) != 0) return NameLess(BareName(ta), BareName(tb));
    if (a.seq != b.seq) return a.seq < b.seq;
    return NameLess(a.fk->name, b.fk->name);
  });
  const std::string db = s.db().name();
  std::vector<Row> rows;
  for (const auto& l : lines)
    rows.push_back({Field::Str(db), Field::Str(SchemaOf(l.fk->referencedTable)), Field::Str(BareName(l.fk->referencedTable)),
                    Field::Str(l.fk->referencedColumns[l.seq]), Field::Str(db), Field::Str(SchemaOf(l.fk->table)),
                    Field::Str(BareName(l.fk->table)),
                    Field::Str(l.fk->columns[l.seq]), Field::Int(static_cast<int64_t>(l.seq + 1)),
                    Field::Int(RuleNumber(l.fk->onUpdate)), Field::Int(RuleNumber(l.fk->onDelete)), Field::Str(BareName(l.fk->name)),
                    Field::Str(BareName(l.fk->keyName)), Field::Int(7)});
  WriteResult(w,
              {Sysname("PKTABLE_QUALIFIER"), Sysname("PKTABLE_OWNER"), Sysname("PKTABLE_NAME", false),
               Sysname("PKCOLUMN_NAME", false), Sysname("FKTABLE_QUALIFIER"), Sysname("FKTABLE_OWNER"),
               Sysname("FKTABLE_NAME", false), Sysname("FKCOLUMN_NAME", false), Integer("KEY_SEQ", TypeKind::SmallInt, false),
               Integer("UPDATE_RULE", TypeKind::SmallInt), Integer("DELETE_RULE", TypeKind::SmallInt), Sysname("FK_NAME"),
               Sysname("PK_NAME"), Integer("DEFERRABILITY", TypeKind::SmallInt)},
              rows);
  return CatalogOutcome::Done;
}

}  // namespace

bool LikeMatch(const std::string& pattern, const std::string& text) { return LikeAt(pattern, 0, text, 0); }

CatalogOutcome RunCatalogProcedure(const std::string& name, const ProcedureArgs& args, SessionState& session,
                                   const std::string& database, ReplyWriter& w, ServerMessage& error) {
  // The server's types do not depend on the database they are asked in.
  if (strcasecmp(name.c_str(), "sp_datatype_info") == 0 || strcasecmp(name.c_str(), "sp_datatype_info_90") == 0 ||
      strcasecmp(name.c_str(), "sp_datatype_info_100") == 0) {
    static const std::vector<std::string> order = {"@data_type", "@odbcver"};
    const auto type = Arg(args, order, "@data_type");
    const auto odbc = Arg(args, order, "@odbcver");
    auto number = [](const std::optional<Value>& v, int fallback) {
      if (!v) return fallback;
      return v->kind == Value::Kind::Integer ? static_cast<int>(v->integer) : std::atoi(v->text.c_str());
    };
    WriteDatatypeInfo(w, number(type, 0), number(odbc, 2));
    return CatalogOutcome::Done;
  }
  // SQLProcedures, SQLProcedureColumns (the current database only).
  if (database.empty() || strcasecmp(database.c_str(), session.db().name().c_str()) == 0) {
    const CatalogOutcome outcome = RunProcedureCatalog(name, args, session, w);
    if (outcome != CatalogOutcome::NotCatalog) return outcome;
  }
  using Procedure = CatalogOutcome (*)(const ProcedureArgs&, CatalogScope&, ReplyWriter&, ServerMessage&);
  static const std::pair<const char*, Procedure> kProcedures[] = {
      {"sp_tables", SpTables},     {"sp_tableswc", SpTablesWc}, {"sp_columns", SpColumns},
      {"sp_pkeys", SpPkeys},       {"sp_statistics", SpStatistics}, {"sp_fkeys", SpFkeys}};
  Procedure procedure = nullptr;
  for (const auto& [n, p] : kProcedures)
    if (strcasecmp(n, name.c_str()) == 0) procedure = p;
  if (!procedure) return CatalogOutcome::NotCatalog;
  if (database.empty() || strcasecmp(database.c_str(), session.db().name().c_str()) == 0) {
    CatalogScope scope{session.db(), session.directory};
    return procedure(args, scope, w, error);
  }
  // "[other]..sp_columns" runs in that database, as on SQL Server.
  std::string canonical;
  const auto path = session.directory.Find(database, &canonical);
  if (!path) {
    error = {911, 1, 16, "Database '" + database + "' does not exist. Make sure that the name is entered correctly.", "", 1};
    return CatalogOutcome::Error;
  }
  session.directory.Acquire(canonical);
  try {
    Database other(*path, canonical);
    // A login that is not a sysadmin sees the other database with its own rights there.
    if (!session.sysadmin) {
      AccessRights rights = LoadAccessRights(other.handle(), session.login, strcasecmp(canonical.c_str(), "master") == 0);
      if (!rights.hasAccess) {
        error = {916, 1, 14,
                 "The server principal \"" + session.login + "\" is not able to access the database \"" + canonical +
                     "\" under the current security context.",
                 "", 1};
        session.directory.Release(canonical);
        return CatalogOutcome::Error;
      }
      other.SetRights(std::move(rights));
    }
    CatalogScope scope{other, session.directory};
    const CatalogOutcome outcome = procedure(args, scope, w, error);
    session.directory.Release(canonical);
    return outcome;
  } catch (...) {
    session.directory.Release(canonical);
    throw;
  }
}

}  // namespace standin
