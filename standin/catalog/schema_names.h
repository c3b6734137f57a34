// Schemas over one SQLite file: a table, view, module or alias type of the
// default schema dbo is stored under its bare name, one of another schema
// under "Schema<US>Name", joined by the unit separator (0x1F): a dot may stand
// in a name ([dot.name] in dbo), that control character does not. One file keeps transactions, WAL and the triggers that
// enforce foreign keys working across schemas (SQLite's attached databases
// would not: a trigger cannot reach into another database).
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <string_view>

namespace standin {

// Ids SQL Server gives its built-in schemas; created schemas count from 5.
constexpr int kDboSchemaId = 1;
constexpr int kFirstUserSchemaId = 5;
constexpr char kSchemaSeparator = '\x1F';

// True for an empty schema or dbo (the default schema of every login here).
bool IsDefaultSchema(std::string_view schema);
// The stored name of `name` in `schema`.
std::string StoredName(std::string_view schema, std::string_view name);
// The schema of a stored name ("dbo" for a bare one) and the name within it.
std::string SchemaOf(std::string_view stored);
std::string BareName(std::string_view stored);
// The stored name of a constraint `name` of the stored table `table`: SQL Server
// scopes constraint names, like every object name, per schema. A name already
// stored (with its schema) is returned as it is.
std::string StoredNameBeside(std::string_view table, std::string_view name);
// "Schema.Name" as SQL Server prints a two-part name in messages.
std::string TwoPartName(std::string_view stored);
// A text with every stored name in it written as T-SQL writes it ("Sales.Customer").
std::string WrittenNames(std::string text);

// Created schemas are kept in standin_schemas(name, schema_id, owner).
// A schema's id (built-in or created), nullopt when there is none of that name.
std::optional<int> SchemaId(sqlite3* db, std::string_view schema);
// The name of a schema id, nullopt when there is none.
std::optional<std::string> SchemaNameOf(sqlite3* db, int id);

}  // namespace standin
