// Moves stand-in values into SQLite statements and reads result columns back.
#pragma once

#include <sqlite3.h>

#include "types/value_conversion.h"

namespace standin {

// Integer, float, text and blob columns keep their kind; anything else is NULL.
Value ValueFromSqliteColumn(sqlite3_stmt* st, int column);

// Binds a stored value to parameter `index`. An empty blob stays an empty blob
// (SQLite would take the null pointer of an empty buffer for NULL).
// `copy` false: SQLite reads `v` where it stands, so it must outlive the statement's next step.
void BindStoredValue(sqlite3_stmt* stmt, int index, const StoredValue& v, bool copy = true);

}  // namespace standin
