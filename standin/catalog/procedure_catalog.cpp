#include "catalog/procedure_catalog.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <vector>

#include "catalog/schema_metadata.h"
#include "catalog/schema_names.h"
#include "protocol/column_encoder.h"
#include "storage/sqlite_handle.h"
#include "tsql/procedure_definition.h"

namespace standin {
namespace {

// One result value: NULL, a number or a text.
struct Field {
  enum class Kind { Null, Integer, Text } kind = Kind::Null;
  int64_t integer = 0;
  std::string text;
  static Field Int(int64_t v) { Field f; f.kind = Kind::Integer; f.integer = v; return f; }
  static Field Int(std::optional<int> v) { return v ? Int(static_cast<int64_t>(*v)) : Field{}; }
  static Field Str(std::string s) { Field f; f.kind = Kind::Text; f.text = std::move(s); return f; }
};
using Row = std::vector<Field>;

ResultColumn Column(const char* name, TypeKind kind, int length = 0, bool nullable = true) {
  return {name, SqlType{kind, length, 0, 0}, nullable, false, ""};
}

void WriteRows(ReplyWriter& w, const std::vector<ResultColumn>& columns, const std::vector<Row>& rows) {
  WriteColumnMetadata(w, columns);
  for (const auto& row : rows) {
    w.U8(kTokRow);
    for (size_t i = 0; i < columns.size(); ++i) {
      Cell c;
      if (row[i].kind == Field::Kind::Integer) c = Cell::Int(row[i].integer);
      else if (row[i].kind == Field::Kind::Text) c = Cell::Text(row[i].text);
      WriteColumnValue(w, columns[i], c);
    }
  }
  WriteDone(w, kTokDoneInProc, kDoneMore | kDoneCount, kCmdSelect, rows.size());
}

// An argument by name, or by its position in `order`; nullopt when absent or NULL.
std::optional<std::string> Text(const ProcedureArgs& args, const std::vector<std::string>& order, const char* name) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& effective = args[i].first.empty() && i < order.size() ? order[i] : args[i].first;
    if (strcasecmp(effective.c_str(), name) != 0) continue;
    const Value& v = args[i].second;
    if (v.kind == Value::Kind::Null) return std::nullopt;
    return v.kind == Value::Kind::Integer ? std::to_string(v.integer) : v.text;
  }
  return std::nullopt;
}

bool Matches(const std::optional<std::string>& pattern, const std::string& value) {
  return !pattern || pattern->empty() || LikeMatch(*pattern, value);
}

// "name;1": a procedure's name with its group number, as SQL Server lists it.
std::optional<std::string> WithoutGroupNumber(std::optional<std::string> name) {
  if (name) {
    const size_t semicolon = name->rfind(';');
    if (semicolon != std::string::npos) name->resize(semicolon);
  }
  return name;
}

// The stored procedures the session may see, matching the name and owner
// patterns; without an owner a plain name (no wildcard) means dbo's, as the
// other catalog procedures look up a named table.
std::vector<ModuleMeta> VisibleProcedures(SessionState& session, const std::optional<std::string>& name,
                                          const std::optional<std::string>& owner) {
  const bool named = name && !name->empty() && name->find_first_of("%_[") == std::string::npos;
  auto ownerMatches = [&](const std::string& schema) {
    if (owner && !owner->empty()) return LikeMatch(*owner, schema);
    return !named || strcasecmp(schema.c_str(), "dbo") == 0;
  };
  std::vector<ModuleMeta> found;
  for (const auto& m : Modules(session.db().handle()))
    if (m.kind == "P" && session.db().rights().Sees(m.name) && Matches(name, BareName(m.name)) &&
        ownerMatches(SchemaOf(m.name)))
      found.push_back(m);
  std::sort(found.begin(), found.end(), [](const ModuleMeta& a, const ModuleMeta& b) {
    const int bySchema = strcasecmp(SchemaOf(a.name).c_str(), SchemaOf(b.name).c_str());
    return bySchema != 0 ? bySchema < 0 : strcasecmp(BareName(a.name).c_str(), BareName(b.name).c_str()) < 0;
  });
  return found;
}

std::optional<SqlType> ParameterType(SessionState& session, const ProcedureParameter& p) {
  std::string error;
  if (const auto alias = FindAliasType(session.db().handle(), p.typeText))
    return ParseTypeDeclaration(alias->baseDeclaration, error);
  return ParseTypeDeclaration(p.typeText, error);
}

CatalogOutcome SpStoredProcedures(const ProcedureArgs& args, SessionState& session, ReplyWriter& w) {
  static const std::vector<std::string> order = {"@sp_name", "@sp_owner", "@sp_qualifier", "@fusepattern"};
  std::vector<Row> rows;
  for (const auto& m : VisibleProcedures(session, WithoutGroupNumber(Text(args, order, "@sp_name")),
                                         Text(args, order, "@sp_owner")))
    rows.push_back({Field::Str(session.db().name()), Field::Str(SchemaOf(m.name)), Field::Str(BareName(m.name) + ";1"),
                    Field::Int(-1), Field::Int(-1), Field::Int(-1), Field{}, Field::Int(2)});
  WriteRows(w,
            {Column("PROCEDURE_QUALIFIER", TypeKind::NVarChar, 128), Column("PROCEDURE_OWNER", TypeKind::NVarChar, 128),
             Column("PROCEDURE_NAME", TypeKind::NVarChar, 134), Column("NUM_INPUT_PARAMS", TypeKind::Int),
             Column("NUM_OUTPUT_PARAMS", TypeKind::Int), Column("NUM_RESULT_SETS", TypeKind::Int),
             Column("REMARKS", TypeKind::VarChar, 254), Column("PROCEDURE_TYPE", TypeKind::SmallInt)},
            rows);
  return CatalogOutcome::Done;
}

// One row per parameter, after the return value (@RETURN_VALUE, ordinal 0).
CatalogOutcome SpSprocColumns(const ProcedureArgs& args, SessionState& session, ReplyWriter& w) {
  static const std::vector<std::string> order = {"@procedure_name", "@procedure_owner", "@procedure_qualifier",
                                                 "@column_name", "@odbcver", "@fusepattern"};
  const auto column = Text(args, order, "@column_name");
  const auto odbc = Text(args, order, "@odbcver");
  const int odbcVersion = odbc ? std::atoi(odbc->c_str()) : 2;
  std::vector<Row> rows;
  auto add = [&](const ModuleMeta& m, const std::string& name, int columnType, const SqlType& type, int ordinal) {
    if (!Matches(column, name)) return;
    const CatalogTypeInfo t = DescribeForCatalog(type, false, true, odbcVersion);
    rows.push_back({Field::Str(session.db().name()), Field::Str(SchemaOf(m.name)), Field::Str(BareName(m.name) + ";1"),
                    Field::Str(name), Field::Int(columnType), Field::Int(t.dataType), Field::Str(t.typeName),
                    Field::Int(t.precision), Field::Int(t.length), Field::Int(t.scale), Field::Int(t.radix),
                    Field::Int(1), Field{}, Field{}, Field::Int(t.sqlDataType), Field::Int(t.datetimeSub),
                    Field::Int(t.charOctetLength), Field::Int(ordinal), Field::Str("YES"), Field::Int(t.ssDataType)});
  };
  for (const auto& m : VisibleProcedures(session, WithoutGroupNumber(Text(args, order, "@procedure_name")),
                                         Text(args, order, "@procedure_owner"))) {
    const auto definition = ParseProcedureDefinition(m.definition);
    if (!definition) continue;
    add(m, "@RETURN_VALUE", 5, SqlType{TypeKind::Int, 0, 0, 0}, 0);  // SQL_RETURN_VALUE
    int ordinal = 0;
    for (const auto& p : definition->parameters) {
      ++ordinal;
      const auto type = ParameterType(session, p);
      if (!type) continue;
      add(m, p.name, p.output ? 2 : 1, *type, ordinal);  // SQL_PARAM_INPUT_OUTPUT or SQL_PARAM_INPUT
    }
  }
  WriteRows(w,
            {Column("PROCEDURE_QUALIFIER", TypeKind::NVarChar, 128), Column("PROCEDURE_OWNER", TypeKind::NVarChar, 128),
             Column("PROCEDURE_NAME", TypeKind::NVarChar, 134), Column("COLUMN_NAME", TypeKind::NVarChar, 128),
             Column("COLUMN_TYPE", TypeKind::SmallInt), Column("DATA_TYPE", TypeKind::SmallInt),
             Column("TYPE_NAME", TypeKind::NVarChar, 128), Column("PRECISION", TypeKind::Int),
             Column("LENGTH", TypeKind::Int), Column("SCALE", TypeKind::SmallInt), Column("RADIX", TypeKind::SmallInt),
             Column("NULLABLE", TypeKind::SmallInt), Column("REMARKS", TypeKind::VarChar, 254),
             Column("COLUMN_DEF", TypeKind::NVarChar, 4000), Column("SQL_DATA_TYPE", TypeKind::SmallInt),
             Column("SQL_DATETIME_SUB", TypeKind::SmallInt), Column("CHAR_OCTET_LENGTH", TypeKind::Int),
             Column("ORDINAL_POSITION", TypeKind::Int), Column("IS_NULLABLE", TypeKind::VarChar, 254),
             Column("SS_DATA_TYPE", TypeKind::TinyInt)},
            rows);
  return CatalogOutcome::Done;
}

// The parameters' rows; sizes SQL Server gives per declaration, the fixed
// types' from the type list.
constexpr char kParameterSql[] = R"sql(
CREATE TEMP TABLE IF NOT EXISTS standin_parameter_list(module TEXT, name TEXT, parameter_id INTEGER, type_name TEXT,
  max_length INTEGER, precision INTEGER, scale INTEGER, is_output INTEGER);
CREATE TEMP VIEW IF NOT EXISTS standin_sys_parameters AS
  SELECT a.object_id, p.name, p.parameter_id, t.system_type_id, t.user_type_id,
    coalesce(p.max_length, t.max_length) AS max_length, coalesce(p.precision, t.precision) AS precision,
    coalesce(p.scale, t.scale) AS scale, p.is_output, 0 AS is_cursor_ref,
    0 AS has_default_value,  -- SQL Server keeps defaults here only for CLR procedures
    0 AS is_xml_document, NULL AS default_value, 0 AS xml_collection_id, 0 AS is_readonly, 1 AS is_nullable
  FROM temp.standin_parameter_list p JOIN standin_all_objects a ON a.stored_name = p.module AND a.type = 'P'
    LEFT JOIN standin_system_types t ON t.name = p.type_name
  WHERE standin_sees_all() OR standin_sees(p.module);
)sql";

}  // namespace

bool NeedsParameterList(const std::string& sql) { return sql.find("standin_sys_parameters") != std::string::npos; }

void RefreshParameterList(SessionState& session) {
  sqlite3* db = session.db().handle();
  SqliteExec(db, kParameterSql);
  SqliteExec(db, "DELETE FROM temp.standin_parameter_list");
  SqliteStatement insert(db, "INSERT INTO temp.standin_parameter_list VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
  for (const auto& m : Modules(db)) {
    if (m.kind != "P") continue;
    const auto definition = ParseProcedureDefinition(m.definition);
    if (!definition) continue;
    int id = 0;
    for (const auto& p : definition->parameters) {
      ++id;
      const auto type = ParameterType(session, p);
      if (!type) continue;
      insert.Reset();
      insert.Bind(1, m.name);
      insert.Bind(2, p.name);
      insert.Bind(3, static_cast<int64_t>(id));
      insert.Bind(4, TypeName(*type));
      const bool sized = IsCharKind(type->kind) || IsNCharKind(type->kind) || IsBinaryKind(type->kind);
      if (sized && type->kind != TypeKind::Text && type->kind != TypeKind::NText && type->kind != TypeKind::Image)
        insert.Bind(5, static_cast<int64_t>(type->IsMax() ? -1 : IsNCharKind(type->kind) ? 2 * type->length : type->length));
      if (type->kind == TypeKind::Decimal || type->kind == TypeKind::Numeric) {
        insert.Bind(5, static_cast<int64_t>(type->precision <= 9 ? 5 : type->precision <= 19 ? 9 : type->precision <= 28 ? 13 : 17));
        insert.Bind(6, static_cast<int64_t>(type->precision));
        insert.Bind(7, static_cast<int64_t>(type->scale));
      }
      insert.Bind(8, static_cast<int64_t>(p.output ? 1 : 0));
      insert.Step();
    }
  }
}

CatalogOutcome RunProcedureCatalog(const std::string& name, const ProcedureArgs& args, SessionState& session,
                                   ReplyWriter& w) {
  if (strcasecmp(name.c_str(), "sp_stored_procedures") == 0) return SpStoredProcedures(args, session, w);
  if (strcasecmp(name.c_str(), "sp_sproc_columns") == 0 || strcasecmp(name.c_str(), "sp_sproc_columns_100") == 0)
    return SpSprocColumns(args, session, w);
  return CatalogOutcome::NotCatalog;
}

}  // namespace standin
