#include "catalog/catalog_views.h"

#include <strings.h>

#include <cstring>
#include <vector>

#include "catalog/schema_names.h"
#include "types/collation.h"
#include "types/sql_type.h"
#include "storage/remembered_counts.h"
#include "storage/sqlite_handle.h"

namespace standin {
namespace {

struct ViewName {
  const char* schema;  // "" for the old names without schema
  const char* name;
  const char* view;
};

constexpr ViewName kViews[] = {
    {"sys", "objects", "standin_sys_objects"},
    {"sys", "all_objects", "standin_sys_objects"},
    {"sys", "tables", "standin_sys_tables"},
    {"sys", "views", "standin_sys_views"},
    {"sys", "procedures", "standin_sys_procedures"},
    {"sys", "parameters", "standin_sys_parameters"},  // catalog/procedure_catalog.h fills it
    {"sys", "foreign_keys", "standin_sys_foreign_keys"},
    {"sys", "indexes", "standin_sys_indexes"},
    {"sys", "partitions", "standin_sys_partitions"},
    {"sys", "dm_db_partition_stats", "standin_sys_dm_db_partition_stats"},
    {"sys", "columns", "standin_sys_columns"},
    {"sys", "default_constraints", "standin_sys_default_constraints"},
    {"sys", "check_constraints", "standin_sys_check_constraints"},
    {"sys", "key_constraints", "standin_sys_key_constraints"},
    {"sys", "triggers", "standin_sys_triggers"},
    {"sys", "types", "standin_sys_types"},
    {"sys", "schemas", "standin_sys_schemas"},
    {"", "sysobjects", "standin_sysobjects"},
    {"", "sysdatabases", "standin_sysdatabases"},
    {"sys", "databases", "standin_sys_databases"},
    {"", "syscolumns", "standin_syscolumns"},
    {"information_schema", "tables", "standin_is_tables"},
    {"information_schema", "columns", "standin_is_columns"},
    {"information_schema", "views", "standin_is_views"},
    {"information_schema", "routines", "standin_is_routines"},
    {"information_schema", "table_constraints", "standin_is_table_constraints"},
};

// Every object of the database with a stable id: tables and views, key,
// foreign-key, default and check constraints, and stored modules.
constexpr char kViewsSql[] = R"sql(
CREATE TEMP TABLE IF NOT EXISTS standin_databases(name TEXT PRIMARY KEY COLLATE NOCASE, database_id INTEGER);
CREATE TEMP VIEW IF NOT EXISTS standin_sys_databases AS
  SELECT name, database_id, NULL AS source_database_id, '2000-01-01 00:00:00.000' AS create_date,
    160 AS compatibility_level, 'SQL_Latin1_General_CP1_CI_AS' AS collation_name, 0 AS state, 'ONLINE' AS state_desc,
    0 AS is_read_only, 'FULL' AS recovery_model_desc
  FROM standin_databases;
CREATE TEMP VIEW IF NOT EXISTS standin_sysdatabases AS
  SELECT name, database_id AS dbid, 1 AS sid, 0 AS mode, 0 AS status, 0 AS status2,
    '2000-01-01 00:00:00.000' AS crdate, '2000-01-01 00:00:00.000' AS reserved, 160 AS cmptlevel,
    name || '.mdf' AS filename, 0 AS version
  FROM standin_databases;
CREATE TEMP VIEW IF NOT EXISTS standin_all_objects(object_id, name, type, parent_object_id, create_date, schema_id,
    stored_name) AS
  SELECT 100000000 + rowid, standin_bare(name) COLLATE NOCASE, CASE kind WHEN 'VIEW' THEN 'V' ELSE 'U' END, 0,
    '2000-01-01 00:00:00.000', standin_schema_id(name), name
    FROM main.standin_objects
  UNION ALL SELECT 200000000 + i.rowid, standin_bare(i.name) COLLATE NOCASE, i.kind,
    (SELECT 100000000 + o.rowid FROM main.standin_objects o WHERE o.name = i.object_name), '2000-01-01 00:00:00.000',
    standin_schema_id(i.object_name),
    CASE WHEN instr(i.object_name, char(31)) > 0 THEN substr(i.object_name, 1, instr(i.object_name, char(31))) || i.name
      ELSE i.name END
    FROM main.standin_indexes i WHERE i.kind <> 'IX'
  UNION ALL SELECT 300000000 + f.rowid, standin_bare(f.name) COLLATE NOCASE, 'F',
    (SELECT 100000000 + o.rowid FROM main.standin_objects o WHERE o.name = f.object_name), '2000-01-01 00:00:00.000',
    standin_schema_id(f.object_name), f.name
    FROM main.standin_foreign_keys f
  UNION ALL SELECT 400000000 + c.rowid, standin_bare(c.name) COLLATE NOCASE, c.kind,
    (SELECT 100000000 + o.rowid FROM main.standin_objects o WHERE o.name = c.object_name), '2000-01-01 00:00:00.000',
    standin_schema_id(c.object_name), c.name
    FROM main.standin_constraints c
  UNION ALL SELECT 500000000 + m.rowid, standin_bare(m.name) COLLATE NOCASE, m.kind,
    coalesce((SELECT 100000000 + o.rowid FROM main.standin_objects o WHERE o.name = m.parent), 0),
    replace(m.created, 'T', ' ') || '.000', standin_schema_id(m.name), m.name
    FROM main.standin_modules m;
CREATE TEMP VIEW IF NOT EXISTS standin_sys_objects AS
  SELECT name, object_id, NULL AS principal_id, schema_id, parent_object_id, type,
    CASE type WHEN 'U' THEN 'USER_TABLE' WHEN 'V' THEN 'VIEW' WHEN 'PK' THEN 'PRIMARY_KEY_CONSTRAINT'
      WHEN 'UQ' THEN 'UNIQUE_CONSTRAINT' WHEN 'F' THEN 'FOREIGN_KEY_CONSTRAINT' WHEN 'D' THEN 'DEFAULT_CONSTRAINT'
      WHEN 'C' THEN 'CHECK_CONSTRAINT' WHEN 'P' THEN 'SQL_STORED_PROCEDURE' WHEN 'TR' THEN 'SQL_TRIGGER'
      WHEN 'FN' THEN 'SQL_SCALAR_FUNCTION' WHEN 'IF' THEN 'SQL_INLINE_TABLE_VALUED_FUNCTION'
      ELSE 'SQL_TABLE_VALUED_FUNCTION' END AS type_desc,
    create_date, create_date AS modify_date, 0 AS is_ms_shipped, 0 AS is_published, 0 AS is_schema_published
  FROM standin_all_objects o WHERE standin_sees_all() OR standin_sees(coalesce(
    (SELECT p.stored_name FROM standin_all_objects p WHERE p.object_id = o.parent_object_id), o.stored_name));
CREATE TEMP VIEW IF NOT EXISTS standin_sys_tables AS SELECT * FROM standin_sys_objects WHERE type = 'U';
CREATE TEMP VIEW IF NOT EXISTS standin_sys_views AS SELECT * FROM standin_sys_objects WHERE type = 'V';
CREATE TEMP VIEW IF NOT EXISTS standin_sys_procedures AS SELECT * FROM standin_sys_objects WHERE type = 'P';
CREATE TEMP VIEW IF NOT EXISTS standin_sys_triggers AS
  SELECT name, object_id, CASE WHEN ifnull(parent_object_id, 0) = 0 THEN 0 ELSE 1 END AS parent_class,
    ifnull(parent_object_id, 0) AS parent_id, type, type_desc, create_date, modify_date,
    0 AS is_ms_shipped, 0 AS is_disabled
  FROM standin_sys_objects WHERE type = 'TR';
CREATE TEMP VIEW IF NOT EXISTS standin_sys_default_constraints AS
  SELECT s.*, (SELECT c.ordinal FROM main.standin_columns c WHERE c.object_name = d.object_name AND c.name = d.column_name)
    AS parent_column_id, CASE WHEN standin_sees_definition(d.object_name) THEN d.definition END AS definition
  FROM standin_sys_objects s JOIN main.standin_constraints d ON 400000000 + d.rowid = s.object_id WHERE s.type = 'D';
CREATE TEMP VIEW IF NOT EXISTS standin_sys_check_constraints AS
  SELECT s.*, coalesce(k.disabled, 0) AS is_disabled, 0 AS is_not_for_replication, coalesce(k.not_trusted, 0) AS is_not_trusted,
    (SELECT c.ordinal FROM main.standin_columns c WHERE c.object_name = d.object_name AND c.name = d.column_name)
      AS parent_column_id, CASE WHEN standin_sees_definition(d.object_name) THEN d.definition END AS definition
  FROM standin_sys_objects s JOIN main.standin_constraints d ON 400000000 + d.rowid = s.object_id
    LEFT JOIN main.standin_check_states k ON k.name = d.name
  WHERE s.type = 'C';
CREATE TEMP VIEW IF NOT EXISTS standin_sys_key_constraints AS
  SELECT * FROM standin_sys_objects WHERE type IN ('PK', 'UQ');
CREATE TEMP VIEW IF NOT EXISTS standin_sys_foreign_keys AS
  SELECT s.*, (SELECT 100000000 + o.rowid FROM main.standin_objects o WHERE o.name = f.ref_object) AS referenced_object_id,
    f.disabled AS is_disabled, f.not_trusted AS is_not_trusted,
    CASE f.on_delete WHEN 1 THEN 1 WHEN 2 THEN 2 WHEN 3 THEN 3 ELSE 0 END AS delete_referential_action,
    CASE f.on_update WHEN 1 THEN 1 WHEN 2 THEN 2 WHEN 3 THEN 3 ELSE 0 END AS update_referential_action
  FROM standin_sys_objects s JOIN main.standin_foreign_keys f ON 300000000 + f.rowid = s.object_id;
-- One row per index of each table, and one (heap = 1, no name) for a table
-- without a clustered index. Not a compound SELECT: the names keep their
-- declared type TEXT, which types the result column also when the first is NULL.
CREATE TEMP VIEW IF NOT EXISTS standin_index_rows AS
  SELECT 100000000 + o.rowid AS object_id, o.name AS table_name, i.name, h.heap, coalesce(i.clustered, 0) AS clustered,
    coalesce(i.is_unique, 0) AS is_unique, i.kind,
    CASE WHEN h.heap = 1 THEN 0 WHEN i.clustered = 1 THEN 1 ELSE 1 + (SELECT count(*) FROM main.standin_indexes j
      WHERE j.object_name = i.object_name AND j.clustered = 0 AND j.rowid <= i.rowid) END AS index_id
  FROM main.standin_objects o JOIN (SELECT 0 AS heap UNION ALL SELECT 1) h
    LEFT JOIN main.standin_indexes i ON h.heap = 0 AND i.object_name = o.name
  WHERE o.kind <> 'VIEW' AND (h.heap = 0 AND i.name IS NOT NULL OR h.heap = 1 AND NOT EXISTS (
    SELECT 1 FROM main.standin_indexes c WHERE c.object_name = o.name AND c.clustered = 1));
CREATE TEMP VIEW IF NOT EXISTS standin_sys_indexes AS
  SELECT r.object_id, r.name, r.index_id, CASE WHEN r.heap = 1 THEN 0 WHEN r.clustered = 1 THEN 1 ELSE 2 END AS type,
    CASE WHEN r.heap = 1 THEN 'HEAP' WHEN r.clustered = 1 THEN 'CLUSTERED' ELSE 'NONCLUSTERED' END AS type_desc,
    r.is_unique, 1 AS data_space_id, 0 AS ignore_dup_key, CASE r.kind WHEN 'PK' THEN 1 ELSE 0 END AS is_primary_key,
    CASE r.kind WHEN 'UQ' THEN 1 ELSE 0 END AS is_unique_constraint, 0 AS fill_factor, 0 AS is_padded, 0 AS is_disabled,
    0 AS is_hypothetical, 1 AS allow_row_locks, 1 AS allow_page_locks, f.definition IS NOT NULL AS has_filter,
    f.definition AS filter_definition
  FROM standin_index_rows r
    LEFT JOIN main.standin_index_filters f ON f.object_name = r.table_name AND f.index_name = r.name;
CREATE TEMP VIEW IF NOT EXISTS standin_sys_partitions AS
  SELECT 72057594037927936 + r.object_id * 1000 + r.index_id AS partition_id, r.object_id, r.index_id,
    1 AS partition_number, 72057594037927936 + r.object_id * 1000 + r.index_id AS hobt_id,
    standin_row_count(r.table_name, f.predicate) AS rows, 0 AS filestream_filegroup_id, 0 AS data_compression,
    'NONE' AS data_compression_desc
  FROM standin_index_rows r
    LEFT JOIN main.standin_index_filters f ON f.object_name = r.table_name AND f.index_name = r.name;
CREATE TEMP VIEW IF NOT EXISTS standin_sys_dm_db_partition_stats AS
  SELECT partition_id, object_id, index_id, partition_number, 1 AS in_row_data_page_count, 1 AS in_row_used_page_count,
    1 AS in_row_reserved_page_count, 0 AS lob_used_page_count, 0 AS lob_reserved_page_count,
    0 AS row_overflow_used_page_count, 0 AS row_overflow_reserved_page_count, 1 AS used_page_count,
    1 AS reserved_page_count, rows AS row_count
  FROM standin_sys_partitions;
CREATE TEMP VIEW IF NOT EXISTS standin_system_types(name, system_type_id, user_type_id, max_length, precision, scale) AS
  VALUES ('image', 34, 34, 16, 0, 0), ('text', 35, 35, 16, 0, 0), ('uniqueidentifier', 36, 36, 16, 0, 0),
    ('date', 40, 40, 3, 10, 0), ('time', 41, 41, 5, 16, 7), ('datetime2', 42, 42, 8, 27, 7),
    ('datetimeoffset', 43, 43, 10, 34, 7), ('tinyint', 48, 48, 1, 3, 0), ('smallint', 52, 52, 2, 5, 0),
    ('int', 56, 56, 4, 10, 0), ('smalldatetime', 58, 58, 4, 16, 0), ('real', 59, 59, 4, 24, 0),
    ('money', 60, 60, 8, 19, 4), ('datetime', 61, 61, 8, 23, 3), ('float', 62, 62, 8, 53, 0),
    ('sql_variant', 98, 98, 8016, 0, 0), ('ntext', 99, 99, 16, 0, 0), ('bit', 104, 104, 1, 1, 0),
    ('decimal', 106, 106, 17, 38, 38), ('numeric', 108, 108, 17, 38, 38), ('smallmoney', 122, 122, 4, 10, 4),
    ('bigint', 127, 127, 8, 19, 0), ('hierarchyid', 240, 128, 892, 0, 0), ('geometry', 240, 129, -1, 0, 0),
    ('geography', 240, 130, -1, 0, 0), ('varbinary', 165, 165, 8000, 0, 0), ('varchar', 167, 167, 8000, 0, 0),
    ('binary', 173, 173, 8000, 0, 0), ('char', 175, 175, 8000, 0, 0), ('timestamp', 189, 189, 8, 0, 0),
    ('nvarchar', 231, 231, 8000, 0, 0), ('nchar', 239, 239, 8000, 0, 0), ('xml', 241, 241, -1, 0, 0),
    ('sysname', 231, 256, 256, 0, 0);
CREATE TEMP VIEW IF NOT EXISTS standin_alias_types AS
  SELECT t.name AS stored_name, 256 + t.rowid AS user_type_id, b.system_type_id, b.name AS base_name, t.nullable
  FROM main.standin_types t
    JOIN standin_system_types b ON b.name = lower(trim(substr(t.base, 1, instr(t.base || '(', '(') - 1)));
CREATE TEMP VIEW IF NOT EXISTS standin_sys_columns AS
  SELECT 100000000 + o.rowid AS object_id, c.name, c.ordinal AS column_id,
    coalesce(a.system_type_id, st.system_type_id) AS system_type_id, coalesce(a.user_type_id, st.user_type_id) AS user_type_id,
    col_length(o.name, c.name) AS max_length, c.precision, c.scale, c.nullable AS is_nullable, c.is_identity,
    (SELECT count(k.computed) FROM main.standin_column_kinds k WHERE k.object_name = c.object_name AND k.column_name = c.name) AS is_computed,
    (SELECT count(*) FROM main.standin_column_kinds k WHERE k.object_name = c.object_name AND k.column_name = c.name AND k.hidden) AS is_hidden
  FROM main.standin_columns c JOIN main.standin_objects o ON o.name = c.object_name
    LEFT JOIN standin_system_types st ON st.name = c.type_name
    LEFT JOIN main.standin_column_types u ON u.object_name = c.object_name AND u.column_name = c.name
    LEFT JOIN standin_alias_types a ON a.stored_name = u.user_type;
CREATE TEMP VIEW IF NOT EXISTS standin_sys_types AS
  SELECT name, system_type_id, user_type_id, 4 AS schema_id, NULL AS principal_id, max_length, precision, scale,
    NULL AS collation_name, 1 AS is_nullable, 0 AS is_user_defined, 0 AS is_assembly_type, 0 AS default_object_id,
    0 AS rule_object_id, 0 AS is_table_type
  FROM standin_system_types
  UNION ALL SELECT standin_bare(stored_name) COLLATE NOCASE, system_type_id, user_type_id, standin_schema_id(stored_name),
    NULL, (SELECT max_length FROM standin_system_types WHERE name = base_name), 0, 0, NULL, nullable, 1, 0, 0, 0, 0
  FROM standin_alias_types;
CREATE TEMP VIEW IF NOT EXISTS standin_sys_schemas(name, schema_id, principal_id) AS
  VALUES ('dbo', 1, 1), ('guest', 2, 2), ('INFORMATION_SCHEMA', 3, 3), ('sys', 4, 4)
  UNION ALL SELECT name, schema_id, 1 FROM main.standin_schemas;
CREATE TEMP VIEW IF NOT EXISTS standin_sysobjects AS
  SELECT name, object_id AS id, type AS xtype, 1 AS uid, 0 AS info, 0 AS status, 0 AS base_schema_ver, 0 AS replinfo,
    parent_object_id AS parent_obj, create_date AS crdate, 0 AS ftcatid, 0 AS schema_ver, 0 AS stats_schema_ver,
    type, 0 AS userstat, 0 AS sysstat, 0 AS indexdel, create_date AS refdate, 0 AS version, 0 AS deltrig, 0 AS instrig,
    0 AS updtrig, 0 AS seltrig, 0 AS category, 0 AS cache
  FROM standin_all_objects;
CREATE TEMP VIEW IF NOT EXISTS standin_syscolumns AS
  SELECT c.name, 100000000 + o.rowid AS id, c.ordinal AS colid, col_length(o.name, c.name) AS length,
    c.precision AS prec, c.scale, c.nullable AS isnullable
  FROM main.standin_columns c JOIN main.standin_objects o ON o.name = c.object_name;
CREATE TEMP VIEW IF NOT EXISTS standin_is_tables AS
  SELECT db_name() AS TABLE_CATALOG, standin_schema(name) COLLATE NOCASE AS TABLE_SCHEMA, standin_bare(name) COLLATE NOCASE AS TABLE_NAME,
    CASE kind WHEN 'VIEW' THEN 'VIEW' ELSE 'BASE TABLE' END AS TABLE_TYPE
  FROM main.standin_objects;
CREATE TEMP VIEW IF NOT EXISTS standin_is_views AS
  SELECT TABLE_CATALOG, TABLE_SCHEMA, TABLE_NAME, NULL AS VIEW_DEFINITION, 'NONE' AS CHECK_OPTION, 'NO' AS IS_UPDATABLE
  FROM standin_is_tables WHERE TABLE_TYPE = 'VIEW';
CREATE TEMP VIEW IF NOT EXISTS standin_is_columns AS
  SELECT db_name() AS TABLE_CATALOG, standin_schema(c.object_name) COLLATE NOCASE AS TABLE_SCHEMA,
    standin_bare(c.object_name) COLLATE NOCASE AS TABLE_NAME, c.name AS COLUMN_NAME,
    c.ordinal AS ORDINAL_POSITION,
    CASE WHEN standin_sees_definition(c.object_name) THEN c.default_text END AS COLUMN_DEFAULT,
    CASE c.nullable WHEN 1 THEN 'YES' ELSE 'NO' END AS IS_NULLABLE, c.type_name AS DATA_TYPE,
    CASE WHEN c.type_name IN ('char', 'varchar', 'nchar', 'nvarchar', 'binary', 'varbinary') THEN c.length
      WHEN c.type_name IN ('text', 'image') THEN 2147483647 WHEN c.type_name = 'ntext' THEN 1073741823 END
      AS CHARACTER_MAXIMUM_LENGTH,
    CASE WHEN c.type_name IN ('char', 'varchar', 'binary', 'varbinary') THEN c.length
      WHEN c.type_name IN ('nchar', 'nvarchar') THEN CASE c.length WHEN -1 THEN -1 ELSE 2 * c.length END
      WHEN c.type_name IN ('text', 'image', 'ntext') THEN 2147483647 END AS CHARACTER_OCTET_LENGTH,
    CASE c.type_name WHEN 'int' THEN 10 WHEN 'smallint' THEN 5 WHEN 'tinyint' THEN 3 WHEN 'bigint' THEN 19
      WHEN 'decimal' THEN c.precision WHEN 'numeric' THEN c.precision WHEN 'money' THEN 19 WHEN 'smallmoney' THEN 10
      WHEN 'float' THEN 53 WHEN 'real' THEN 24 END AS NUMERIC_PRECISION,
    CASE WHEN c.type_name IN ('int', 'smallint', 'tinyint', 'bigint') THEN 0
      WHEN c.type_name IN ('decimal', 'numeric') THEN c.scale WHEN c.type_name IN ('money', 'smallmoney') THEN 4 END
      AS NUMERIC_SCALE,
    CASE WHEN c.type_name IN ('datetime') THEN 3 WHEN c.type_name IN ('smalldatetime', 'date') THEN 0
      WHEN c.type_name IN ('time', 'datetime2') THEN c.scale END AS DATETIME_PRECISION,
    NULL AS CHARACTER_SET_NAME, NULL AS COLLATION_NAME, NULL AS DOMAIN_NAME
  FROM main.standin_columns c;
CREATE TEMP VIEW IF NOT EXISTS standin_is_routines AS
  SELECT db_name() AS SPECIFIC_CATALOG, standin_schema(name) COLLATE NOCASE AS SPECIFIC_SCHEMA, standin_bare(name) COLLATE NOCASE AS SPECIFIC_NAME,
    db_name() AS ROUTINE_CATALOG, standin_schema(name) COLLATE NOCASE AS ROUTINE_SCHEMA, standin_bare(name) COLLATE NOCASE AS ROUTINE_NAME, CASE kind WHEN 'P' THEN 'PROCEDURE' ELSE 'FUNCTION' END AS ROUTINE_TYPE,
    definition AS ROUTINE_DEFINITION
  FROM main.standin_modules WHERE kind <> 'TR';
CREATE TEMP VIEW IF NOT EXISTS standin_is_table_constraints AS
  SELECT db_name() AS CONSTRAINT_CATALOG, standin_schema(object_name) COLLATE NOCASE AS CONSTRAINT_SCHEMA, standin_bare(name) AS CONSTRAINT_NAME,
    db_name() AS TABLE_CATALOG, standin_schema(object_name) COLLATE NOCASE AS TABLE_SCHEMA, standin_bare(object_name) COLLATE NOCASE AS TABLE_NAME,
    CASE kind WHEN 'PK' THEN 'PRIMARY KEY' ELSE 'UNIQUE' END AS CONSTRAINT_TYPE, 'NO' AS IS_DEFERRABLE,
    'NO' AS INITIALLY_DEFERRED
  FROM main.standin_indexes WHERE kind <> 'IX'
  UNION ALL SELECT db_name(), standin_schema(object_name) COLLATE NOCASE, standin_bare(name), db_name(), standin_schema(object_name) COLLATE NOCASE,
    standin_bare(object_name) COLLATE NOCASE, 'FOREIGN KEY', 'NO', 'NO' FROM main.standin_foreign_keys
  UNION ALL SELECT db_name(), standin_schema(object_name) COLLATE NOCASE, standin_bare(name), db_name(), standin_schema(object_name) COLLATE NOCASE,
    standin_bare(object_name) COLLATE NOCASE, 'CHECK', 'NO', 'NO'
    FROM main.standin_constraints WHERE kind = 'C';
)sql";

std::string Text(sqlite3_value* v) {
  const auto* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p), sqlite3_value_bytes(v)) : std::string();
}

// The database's name: its file's name without ".mdf".
std::string DatabaseName(sqlite3* db) {
  const char* path = sqlite3_db_filename(db, "main");
  std::string name = path ? path : "";
  const size_t slash = name.rfind('/');
  if (slash != std::string::npos) name = name.substr(slash + 1);
  if (name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".mdf") == 0) name.resize(name.size() - 4);
  return name;
}

// "[dbo].[Orders]", "Shop.dbo.Orders", "Shop..Orders" → ("Shop" or "", "Orders");
// "Sales.Orders" → ("", "Sales.Orders"), the stored name.
std::pair<std::string, std::string> SplitObjectName(const std::string& full) {
  std::vector<std::string> parts(1);
  char quote = 0;
  for (char c : full) {
    if (!quote && (c == '[' || c == '"')) { quote = c == '[' ? ']' : '"'; continue; }
    if (quote && c == quote) { quote = 0; continue; }
    if (!quote && c == '.') { parts.emplace_back(); continue; }
    parts.back() += c;
  }
  const std::string schema = parts.size() >= 2 ? parts[parts.size() - 2] : "";
  return {parts.size() >= 3 ? parts[parts.size() - 3] : "", StoredName(schema, parts.back())};
}

void DbName(sqlite3_context* ctx, int argc, sqlite3_value**) {
  if (argc > 0) {
    sqlite3_result_null(ctx);
    return;
  }
  const std::string name = DatabaseName(sqlite3_context_db_handle(ctx));
  sqlite3_result_text(ctx, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
}

// DB_ID(): the current database's id (DB_ID(name) is registered with the database).
void DbId(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const std::string name = argc > 0 ? Text(argv[0]) : DatabaseName(db);
  try {
    SqliteStatement s(db, "SELECT database_id FROM standin_databases WHERE name = ?");
    s.Bind(1, name);
    if (s.Step()) sqlite3_result_int64(ctx, s.Int(0));
    else sqlite3_result_null(ctx);
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

void ResultText(sqlite3_context* ctx, const std::optional<std::string>& text) {
  if (text) sqlite3_result_text(ctx, text->c_str(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
  else sqlite3_result_null(ctx);
}

// SCHEMA_NAME([id]): without an id, the default schema.
void SchemaName(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc > 0 && sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const int id = argc == 0 ? kDboSchemaId : sqlite3_value_int(argv[0]);
  try {
    ResultText(ctx, SchemaNameOf(sqlite3_context_db_handle(ctx), id));
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

// SCHEMA_ID([name]): without a name, the default schema's.
void SchemaIdOf(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc > 0 && sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  try {
    const auto id = argc == 0 ? std::optional<int>(kDboSchemaId) : SchemaId(sqlite3_context_db_handle(ctx), Text(argv[0]));
    if (id) sqlite3_result_int(ctx, *id);
    else sqlite3_result_null(ctx);
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

// The schema id of a stored name (catalog views).
void StoredSchemaId(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const std::string stored = Text(argv[0]);
  if (stored.find(kSchemaSeparator) == std::string::npos) return sqlite3_result_int(ctx, kDboSchemaId);
  try {
    const auto id = SchemaId(sqlite3_context_db_handle(ctx), SchemaOf(stored));
    if (id) sqlite3_result_int(ctx, *id);
    else sqlite3_result_null(ctx);
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

void StoredSchema(sqlite3_context* ctx, int, sqlite3_value** argv) { ResultText(ctx, SchemaOf(Text(argv[0]))); }
void StoredBareName(sqlite3_context* ctx, int, sqlite3_value** argv) { ResultText(ctx, BareName(Text(argv[0]))); }

// OBJECT_SCHEMA_NAME(object_id)
void ObjectSchemaName(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  try {
    SqliteStatement s(sqlite3_context_db_handle(ctx), "SELECT schema_id FROM standin_all_objects WHERE object_id = ?");
    sqlite3_bind_int64(s.get(), 1, sqlite3_value_int64(argv[0]));
    if (!s.Step() || s.IsNull(0)) return sqlite3_result_null(ctx);
    ResultText(ctx, SchemaNameOf(sqlite3_context_db_handle(ctx), static_cast<int>(s.Int(0))));
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

void ObjectId(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  sqlite3* db = sqlite3_context_db_handle(ctx);
  const auto [database, name] = SplitObjectName(Text(argv[0]));
  if (!database.empty() && strcasecmp(database.c_str(), DatabaseName(db).c_str()) != 0) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string type = argc > 1 && sqlite3_value_type(argv[1]) != SQLITE_NULL ? Text(argv[1]) : "";
  while (!type.empty() && type.back() == ' ') type.pop_back();
  try {
    SqliteStatement s(db, "SELECT object_id FROM standin_all_objects WHERE stored_name = ?1 COLLATE NOCASE"
                          " AND (?2 = '' OR type = ?2 COLLATE NOCASE) LIMIT 1");
    s.Bind(1, name);
    s.Bind(2, type);
    if (s.Step()) sqlite3_result_int64(ctx, s.Int(0));
    else sqlite3_result_null(ctx);
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

void ObjectProperty(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  std::string type;
  try {
    SqliteStatement s(sqlite3_context_db_handle(ctx), "SELECT type FROM standin_all_objects WHERE object_id = ?");
    sqlite3_bind_int64(s.get(), 1, sqlite3_value_int64(argv[0]));
    if (!s.Step()) {
      sqlite3_result_null(ctx);
      return;
    }
    type = s.Text(0);
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
    return;
  }
  const std::string property = Text(argv[1]);
  static const std::pair<const char*, std::vector<const char*>> kProperties[] = {
      {"IsUserTable", {"U"}},      {"IsTable", {"U"}},         {"IsView", {"V"}},
      {"IsProcedure", {"P"}},      {"IsTrigger", {"TR"}},      {"IsForeignKey", {"F"}},
      {"IsPrimaryKey", {"PK"}},    {"IsUniqueCnst", {"UQ"}},   {"IsDefaultCnst", {"D"}},
      {"IsCheckCnst", {"C"}},      {"IsScalarFunction", {"FN"}}, {"IsTableFunction", {"IF", "TF"}},
      {"IsInlineFunction", {"IF"}}, {"IsConstraint", {"PK", "UQ", "F", "D", "C"}}, {"IsMSShipped", {}},
      {"IsSystemTable", {}}};
  for (const auto& [name, types] : kProperties) {
    if (strcasecmp(name, property.c_str()) != 0) continue;
    bool hit = false;
    for (const char* t : types) hit |= type == t;
    sqlite3_result_int(ctx, hit ? 1 : 0);
    return;
  }
  sqlite3_result_null(ctx);
}

// Bytes a column takes, as SQL Server's COL_LENGTH reports them; -1 for (max).
void ColLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto [database, table] = SplitObjectName(Text(argv[0]));
  const std::string column = Text(argv[1]);
  try {
    SqliteStatement s(sqlite3_context_db_handle(ctx),
                      "SELECT type_name, length, precision, scale FROM main.standin_columns"
                      " WHERE object_name = ? COLLATE NOCASE AND name = ? COLLATE NOCASE");
    s.Bind(1, table);
    s.Bind(2, column);
    if (!s.Step()) {
      sqlite3_result_null(ctx);
      return;
    }
    const auto type = TypeFromStorage(s.Text(0), static_cast<int>(s.Int(1)), static_cast<int>(s.Int(2)),
                                      static_cast<int>(s.Int(3)));
    if (!type) {
      sqlite3_result_null(ctx);
      return;
    }
    int bytes = 0;
    switch (type->kind) {
      case TypeKind::Int: case TypeKind::Real: case TypeKind::SmallMoney: case TypeKind::SmallDateTime: bytes = 4; break;
      case TypeKind::SmallInt: bytes = 2; break;
      case TypeKind::TinyInt: case TypeKind::Bit: bytes = 1; break;
      case TypeKind::BigInt: case TypeKind::Float: case TypeKind::Money: case TypeKind::DateTime:
      case TypeKind::Timestamp: bytes = 8; break;
      case TypeKind::Decimal: case TypeKind::Numeric:
        bytes = type->precision <= 9 ? 5 : type->precision <= 19 ? 9 : type->precision <= 28 ? 13 : 17;
        break;
      case TypeKind::Date: bytes = 3; break;
      case TypeKind::Time: bytes = type->scale <= 2 ? 3 : type->scale <= 4 ? 4 : 5; break;
      case TypeKind::DateTime2: bytes = type->scale <= 2 ? 6 : type->scale <= 4 ? 7 : 8; break;
      case TypeKind::UniqueIdentifier: case TypeKind::Text: case TypeKind::NText: case TypeKind::Image: bytes = 16; break;
      case TypeKind::NChar: case TypeKind::NVarChar: bytes = type->IsMax() ? -1 : 2 * type->length; break;
      default: bytes = type->IsMax() ? -1 : type->length; break;
    }
    sqlite3_result_int(ctx, bytes);
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

// The rows of a table (those a filtered index covers, given its SQLite
// predicate): SQLite walks the table's smallest b-tree without decoding the
// rows, and the count is remembered until the next write to the database (as
// SQL Server keeps its partition counts), so asking again costs nothing.
void RowCount(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const std::string table = Text(argv[0]);
  const std::string predicate = sqlite3_value_type(argv[1]) == SQLITE_NULL ? "" : Text(argv[1]);
  try {
    sqlite3* db = sqlite3_context_db_handle(ctx);
    const auto rows = RememberedCount(db, RowCountKey(table, predicate), [&]() -> std::optional<std::int64_t> {
      SqliteStatement s(db, "SELECT count(*) FROM main." + SqliteQuote(table) +
                                (predicate.empty() ? "" : " WHERE " + predicate));
      return s.Step() ? s.Int(0) : 0;
    });
    sqlite3_result_int64(ctx, rows.value_or(0));
  } catch (const SqliteError& e) {
    sqlite3_result_error(ctx, e.what(), -1);
  }
}

size_t Utf8Characters(const unsigned char* p, int bytes) {
  size_t n = 0;
  for (int i = 0; i < bytes; ++i) n += (p[i] & 0xC0) != 0x80;
  return n;
}

// LEN: characters without the trailing blanks.
void Len(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(ctx);
    return;
  }
  const auto* p = sqlite3_value_text(argv[0]);
  int bytes = sqlite3_value_bytes(argv[0]);
  while (bytes > 0 && p[bytes - 1] == ' ') --bytes;
  sqlite3_result_int64(ctx, static_cast<int64_t>(Utf8Characters(p, bytes)));
}

// DATALENGTH: bytes of the value. Text counts one byte a character, as varchar
// does (the value alone does not tell nvarchar apart).
void DataLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: sqlite3_result_null(ctx); return;
    case SQLITE_BLOB: sqlite3_result_int(ctx, sqlite3_value_bytes(argv[0])); return;
    case SQLITE_INTEGER: {
      const int64_t v = sqlite3_value_int64(argv[0]);
      sqlite3_result_int(ctx, v >= INT32_MIN && v <= INT32_MAX ? 4 : 8);
      return;
    }
    case SQLITE_FLOAT: sqlite3_result_int(ctx, 8); return;
    default: {
      const auto* p = sqlite3_value_text(argv[0]);
      sqlite3_result_int64(ctx, static_cast<int64_t>(Utf8Characters(p, sqlite3_value_bytes(argv[0]))));
    }
  }
}

// DATALENGTH(x, unit) for text whose type the statement told: 'N' counts two
// bytes a UTF-16 code unit, a collation name the bytes of its code page.
void TypedDataLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) != SQLITE_TEXT) return DataLength(ctx, 1, argv);
  const std::string_view text(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                              static_cast<size_t>(sqlite3_value_bytes(argv[0])));
  const std::string unit(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])));
  if (unit == "N") {
    int64_t units = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const auto b = static_cast<unsigned char>(text[i]);
      if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;  // a character beyond the BMP is a surrogate pair
    }
    return sqlite3_result_int64(ctx, 2 * units);
  }
  const Collation* collation = FindCollation(unit);
  sqlite3_result_int64(ctx, static_cast<int64_t>(EncodeForCollation(collation ? *collation : DefaultCollation(), text).size()));
}

}  // namespace

void RegisterCatalogViews(sqlite3* db) {
  const int flags = SQLITE_UTF8;
  sqlite3_create_function(db, "db_name", -1, flags, nullptr, DbName, nullptr, nullptr);
  sqlite3_create_function(db, "schema_name", -1, flags, nullptr, SchemaName, nullptr, nullptr);
  sqlite3_create_function(db, "schema_id", -1, flags, nullptr, SchemaIdOf, nullptr, nullptr);
  sqlite3_create_function(db, "object_schema_name", 1, flags, nullptr, ObjectSchemaName, nullptr, nullptr);
  sqlite3_create_function(db, "standin_schema_id", 1, flags, nullptr, StoredSchemaId, nullptr, nullptr);
  sqlite3_create_function(db, "standin_schema", 1, flags | SQLITE_DETERMINISTIC, nullptr, StoredSchema, nullptr, nullptr);
  sqlite3_create_function(db, "standin_bare", 1, flags | SQLITE_DETERMINISTIC, nullptr, StoredBareName, nullptr, nullptr);
  sqlite3_create_function(db, "db_id", 0, flags, nullptr, DbId, nullptr, nullptr);
  sqlite3_create_function(db, "object_id", 1, flags, nullptr, ObjectId, nullptr, nullptr);
  sqlite3_create_function(db, "object_id", 2, flags, nullptr, ObjectId, nullptr, nullptr);
  sqlite3_create_function(db, "objectproperty", 2, flags, nullptr, ObjectProperty, nullptr, nullptr);
  sqlite3_create_function(db, "standin_row_count", 2, flags, nullptr, RowCount, nullptr, nullptr);
  sqlite3_create_function(db, "col_length", 2, flags, nullptr, ColLength, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_len", 1, flags | SQLITE_DETERMINISTIC, nullptr, Len, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_datalength", 1, flags | SQLITE_DETERMINISTIC, nullptr, DataLength, nullptr, nullptr);
  sqlite3_create_function(db, "tsql_datalength", 2, flags | SQLITE_DETERMINISTIC, nullptr, TypedDataLength, nullptr, nullptr);
  SqliteExec(db, kViewsSql);
}

bool NeedsDatabaseList(const std::string& sql) {
  if (sql.find("standin_sys_databases") != std::string::npos || sql.find("standin_sysdatabases") != std::string::npos)
    return true;
  for (size_t at = sql.find('_'); at != std::string::npos; at = sql.find('_', at + 1))
    if (at >= 2 && strncasecmp(sql.c_str() + at - 2, "db_id", 5) == 0) return true;
  return false;
}

void RefreshDatabaseList(sqlite3* db, const std::vector<std::string>& names) {
  SqliteExec(db, "DELETE FROM temp.standin_databases");
  SqliteStatement insert(db, "INSERT OR IGNORE INTO temp.standin_databases VALUES (?, ?)");
  // Ids as DB_ID(name) gives them: the place in the data directory's sorted list, from 1.
  for (size_t i = 0; i < names.size(); ++i) {
    insert.Reset();
    insert.Bind(1, names[i]);
    insert.Bind(2, static_cast<int64_t>(i + 1));
    insert.Step();
  }
}

std::optional<std::string> CatalogViewName(const std::string& schema, const std::string& name) {
  for (const auto& v : kViews)
    if (strcasecmp(v.schema, schema.c_str()) == 0 && strcasecmp(v.name, name.c_str()) == 0) return std::string(v.view);
  return std::nullopt;
}

}  // namespace standin
