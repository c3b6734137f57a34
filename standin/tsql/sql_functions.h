// T-SQL built-in functions SQLite lacks (GETDATE, NEWID ...), registered on
// every connection so that defaults and queries can use them.
#pragma once

#include <sqlite3.h>

namespace standin {

void RegisterTsqlFunctions(sqlite3* db);

}  // namespace standin
