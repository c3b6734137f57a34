// SQL Server's catalog as install scripts query it: the views sys.objects,
// sys.tables, sysobjects, INFORMATION_SCHEMA.TABLES ... (SQLite TEMP views over
// the standin_* metadata, one set per connection) and the functions OBJECT_ID,
// OBJECTPROPERTY, COL_LENGTH, DB_NAME, SCHEMA_NAME, LEN and DATALENGTH.
#pragma once

#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

namespace standin {

void RegisterCatalogViews(sqlite3* db);

// The SQLite view standing for a catalog view: "sys.objects" (lower case,
// "sysobjects" without schema) → "standin_sys_objects"; nullopt when unknown.
std::optional<std::string> CatalogViewName(const std::string& schema, const std::string& name);

// sys.databases and DB_ID read a list the statement refreshes first when its
// SQL mentions them.
bool NeedsDatabaseList(const std::string& sql);
void RefreshDatabaseList(sqlite3* db, const std::vector<std::string>& names);

}  // namespace standin
