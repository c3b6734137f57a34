// T-SQL's string built-ins that SQLite lacks or spells differently, over UTF-8
// text counted in characters: REPLICATE, SPACE, STUFF, REVERSE, CHARINDEX and
// PATINDEX (case-insensitive, as the server's default collation compares),
// QUOTENAME, STR, LEFT/RIGHT (as tsql_left/tsql_right: LEFT is a join word to
// SQLite), OBJECT_NAME and CHECKSUM.
#pragma once

#include <sqlite3.h>

namespace standin {

void RegisterStringFunctions(sqlite3* db);

}  // namespace standin
