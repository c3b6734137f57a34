// CREATE SCHEMA and DROP SCHEMA, and the check that a schema named in a new
// object's name exists.
#include "catalog/schema_metadata.h"
#include "catalog/schema_names.h"
#include "storage/sqlite_handle.h"
#include "tsql/statement_handlers.h"

namespace standin {

void RequireSchema(StatementContext& ctx, const std::string& storedName) {
  const std::string schema = SchemaOf(storedName);
  if (!SchemaId(ctx.session.db().handle(), schema))
    ThrowSqlError(2760, "The specified schema name \"" + schema +
                            "\" either does not exist or you do not have permission to use it.");
}

void RunCreateSchema(StatementContext& ctx, const CreateSchemaStmt& s) {
  sqlite3* db = ctx.session.db().handle();
  ctx.Atomically([&] {
    if (SchemaId(db, s.name) || SchemaNameTaken(db, s.name))
      ThrowSqlError(2714, "There is already an object named '" + s.name + "' in the database.", 6);
    SqliteStatement add(db,
                        "INSERT INTO main.standin_schemas(name, schema_id, owner)"
                        " SELECT ?1, max(?3, coalesce(max(schema_id) + 1, ?3)), ?2 FROM main.standin_schemas");
    add.Bind(1, s.name);
    add.Bind(2, s.owner.empty() ? std::string("dbo") : s.owner);
    add.Bind(3, static_cast<int64_t>(kFirstUserSchemaId));
    add.Step();
  });
  ctx.Done(0, kCmdNone, 0);
}

void RunDropSchema(StatementContext& ctx, const DropSchemaStmt& s) {
  sqlite3* db = ctx.session.db().handle();
  const auto id = SchemaId(db, s.name);
  if (!id || *id < kFirstUserSchemaId) {
    if (!id && s.ifExists) return ctx.Done(0, kCmdNone, 0);
    ThrowSqlError(3701, "Cannot drop the schema '" + s.name + "', because it does not exist or you do not have permission.");
  }
  // Objects stored under the schema's name (tables, views, modules, alias types).
  SqliteStatement used(db,
                       "SELECT name FROM main.standin_objects WHERE name LIKE ?1 ESCAPE '\\'"
                       " UNION ALL SELECT name FROM main.standin_modules WHERE name LIKE ?1 ESCAPE '\\'"
                       " UNION ALL SELECT name FROM main.standin_types WHERE name LIKE ?1 ESCAPE '\\' LIMIT 1");
  std::string prefix;
  for (char c : s.name) {
    if (c == '%' || c == '_' || c == '\\') prefix += '\\';
    prefix += c;
  }
  used.Bind(1, prefix + kSchemaSeparator + "%");
  if (used.Step())
    ThrowSqlError(3729, "Cannot drop schema '" + s.name + "' because it is being referenced by object '" +
                            BareName(used.Text(0)) + "'.");
  ctx.Atomically([&] {
    SqliteStatement drop(db, "DELETE FROM main.standin_schemas WHERE name = ?");
    drop.Bind(1, s.name);
    drop.Step();
  });
  ctx.Done(0, kCmdNone, 0);
}

}  // namespace standin
