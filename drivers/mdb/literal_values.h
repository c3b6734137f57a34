// Turns a literal of an INSERT into the value its column stores, exactly:
// numbers keep every digit a Currency or Decimal column can hold, dates are read
// day first, hexadecimal text fills binary columns, GUID text fills Replication IDs.
#pragma once

#include "jet/jet.h"
#include "sql_statement.h"

namespace mdb {

// Throws SqlError naming the column: 22003 (out of range), 22001 (text or bytes too
// long), 22007 (not a date), 22018 (a value the column cannot take), 23000 (NULL in
// a required column).
jet::Value ToColumnValue(const Literal& literal, const jet::ColumnDef& column);

// The same into `into`; a text value reuses the room `into` already has (rows
// are converted by the million).
void StoreColumnValue(const Literal& literal, const jet::ColumnDef& column, jet::Value& into);

}  // namespace mdb
