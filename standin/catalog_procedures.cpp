#include "catalog_procedures.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "column_encoder.h"
#include "datatype_info.h"

namespace standin {
namespace {

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
      if (!f.null) c = columns[i].type.kind == TypeKind::NVarChar || columns[i].type.kind == TypeKind::VarChar
                           ? Cell::Text(f.text)
                           : Cell::Int(f.integer);
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
bool CheckQualifier(const std::optional<std::string>& qualifier, SessionState& s, ServerMessage& error) {
  if (!qualifier || qualifier->empty() || strcasecmp(qualifier->c_str(), s.db().name().c_str()) == 0) return true;
  error = {15250, 1, 16, "The database name component of the object qualifier must be the name of the current database.", "", 1};
  return false;
}

std::vector<ResultColumn> TablesColumns() {
  return {Sysname("TABLE_QUALIFIER"), Sysname("TABLE_OWNER"), Sysname("TABLE_NAME"), Varchar("TABLE_TYPE", 32),
          Varchar("REMARKS", 254)};
}

CatalogOutcome SpTables(const ProcedureArgs& args, SessionState& s, ReplyWriter& w, ServerMessage& error) {
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
  std::vector<std::string> types;
  if (typeList) {
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
  }
  auto wanted = [&](const char* type) {
    return types.empty() || std::find(types.begin(), types.end(), type) != types.end();
  };
  auto matches = [](const std::optional<std::string>& pattern, const std::string& value) {
    return !pattern || pattern->empty() || LikeMatch(*pattern, value);
  };
  struct Entry { std::string type, owner, name; };
  std::vector<Entry> entries;
  for (const auto& object : s.db().Objects()) {
    const char* type = object.isView ? "VIEW" : "TABLE";
    if (wanted(type) && matches(name, object.name) && matches(owner, "dbo")) entries.push_back({type, "dbo", object.name});
  }
  if (wanted("SYSTEM TABLE") && matches(owner, "sys"))
    for (const char* sys : kSystemTables)
      if (matches(name, sys)) entries.push_back({"SYSTEM TABLE", "sys", sys});
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.type != b.type) return a.type < b.type;
    if (strcasecmp(a.owner.c_str(), b.owner.c_str()) != 0) return NameLess(a.owner, b.owner);
    return NameLess(a.name, b.name);
  });
  std::vector<Row> rows;
  for (const auto& e : entries)
    rows.push_back({Field::Str(s.db().name()), Field::Str(e.owner), Field::Str(e.name), Field::Str(e.type), {}});
  WriteResult(w, TablesColumns(), rows);
  return CatalogOutcome::Done;
}

CatalogOutcome SpColumns(const ProcedureArgs& args, SessionState& s, ReplyWriter& w, ServerMessage& error) {
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
  if (!owner || owner->empty() || LikeMatch(*owner, "dbo")) {
    for (auto& o : s.db().Objects())
      if (!name || name->empty() || LikeMatch(*name, o.name)) objects.push_back(o);
  }
  std::sort(objects.begin(), objects.end(), [](const ObjectMeta& a, const ObjectMeta& b) { return NameLess(a.name, b.name); });
  WriteColumnMetadata(w, columns);
  uint64_t count = 0;
  for (const auto& object : objects) {
    std::vector<ColumnMeta> metas;
    try {
      metas = s.db().ObjectColumns(object);
    } catch (const std::exception&) {
      continue;  // a view whose tables were dropped lists no columns
    }
    for (const auto& c : metas) {
      if (column && !column->empty() && !LikeMatch(*column, c.name)) continue;
      const CatalogTypeInfo info = DescribeForCatalog(c.type, c.identity, c.nullable, odbcVersion);
      const Row row = {Field::Str(s.db().name()), Field::Str("dbo"), Field::Str(object.name), Field::Str(c.name),
                       Field::Int(info.dataType), Field::Str(info.typeName), Field::Int(info.precision),
                       Field::Int(info.length), Field::Int(info.scale), Field::Int(info.radix),
                       Field::Int(c.nullable ? 1 : 0), {},
                       c.defaultText.empty() ? Field{} : Field::Str(c.defaultText), Field::Int(info.sqlDataType),
                       Field::Int(info.datetimeSub), Field::Int(info.charOctetLength), Field::Int(c.ordinal),
                       Field::Str(c.nullable ? "YES" : "NO"), Field::Int(info.ssDataType)};
      w.U8(kTokRow);
      for (size_t i = 0; i < columns.size(); ++i) {
        Cell cell;
        if (!row[i].null) cell = columns[i].type.kind == TypeKind::NVarChar || columns[i].type.kind == TypeKind::VarChar
                                     ? Cell::Text(row[i].text)
                                     : Cell::Int(row[i].integer);
        WriteColumnValue(w, columns[i], cell);
      }
      ++count;
    }
  }
  WriteDone(w, kTokDoneInProc, kDoneMore | kDoneCount, kCmdSelect, count);
  return CatalogOutcome::Done;
}

CatalogOutcome SpPkeys(const ProcedureArgs& args, SessionState& s, ReplyWriter& w, ServerMessage& error) {
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
  const auto object = s.db().FindObject(*name);
  if (object && !object->isView && (!owner || owner->empty() || strcasecmp(owner->c_str(), "dbo") == 0)) {
    auto columns = s.db().TableColumns(object->name);
    std::sort(columns.begin(), columns.end(), [](const ColumnMeta& a, const ColumnMeta& b) { return a.pkSeq < b.pkSeq; });
    for (const auto& c : columns) {
      if (c.pkSeq == 0) continue;
      rows.push_back({Field::Str(s.db().name()), Field::Str("dbo"), Field::Str(object->name), Field::Str(c.name),
                      Field::Int(c.pkSeq), Field::Str(object->pkName)});
    }
  }
  WriteResult(w,
              {Sysname("TABLE_QUALIFIER"), Sysname("TABLE_OWNER"), Sysname("TABLE_NAME", false),
               Sysname("COLUMN_NAME", false), Integer("KEY_SEQ", TypeKind::SmallInt, false), Sysname("PK_NAME")},
              rows);
  return CatalogOutcome::Done;
}

}  // namespace

bool LikeMatch(const std::string& pattern, const std::string& text) { return LikeAt(pattern, 0, text, 0); }

CatalogOutcome RunCatalogProcedure(const std::string& name, const ProcedureArgs& args, SessionState& session,
                                   ReplyWriter& w, ServerMessage& error) {
  if (strcasecmp(name.c_str(), "sp_tables") == 0) return SpTables(args, session, w, error);
  if (strcasecmp(name.c_str(), "sp_columns") == 0) return SpColumns(args, session, w, error);
  if (strcasecmp(name.c_str(), "sp_pkeys") == 0) return SpPkeys(args, session, w, error);
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
  return CatalogOutcome::NotCatalog;
}

}  // namespace standin
