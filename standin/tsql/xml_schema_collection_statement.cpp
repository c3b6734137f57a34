// CREATE XML SCHEMA COLLECTION: the collection's XML schemas are kept by
// name (sys.xml_schema_collections); xml columns typed by one store their
// values as untyped xml does.
#include "catalog/schema_names.h"
#include "storage/sqlite_handle.h"
#include "tsql/statement_handlers.h"

namespace standin {

void RunCreateXmlSchemaCollection(StatementContext& ctx, const CreateXmlSchemaCollectionStmt& s) {
  ctx.CheckDatabasePart(s.name);
  RequireSchema(ctx, s.name.name);
  const Value definition = ctx.Evaluate(ctx.batch.tokens, s.definition);
  if (definition.kind != Value::Kind::String || definition.text.find('<') == std::string::npos)
    ThrowSqlError(2378, "Expected XML schema document.");
  sqlite3* db = ctx.session.db().handle();
  ctx.Atomically([&] {
    SqliteStatement exists(db, "SELECT 1 FROM standin_xml_schema_collections WHERE name = ?");
    exists.Bind(1, s.name.name);
    if (exists.Step())
      ThrowSqlError(2714, "There is already an object named '" + BareName(s.name.name) + "' in the database.");
    SqliteStatement insert(db, "INSERT INTO standin_xml_schema_collections VALUES (?, ?)");
    insert.Bind(1, s.name.name);
    insert.Bind(2, definition.text);
    insert.Step();
  });
  ctx.Done(0, kCmdNone, 0);
}

}  // namespace standin
