// Reads one SQLite result column back as a stand-in Value.
#pragma once

#include <sqlite3.h>

#include "value_conversion.h"

namespace standin {

// Integer, float, text and blob columns keep their kind; anything else is NULL.
Value ValueFromSqliteColumn(sqlite3_stmt* st, int column);

}  // namespace standin
