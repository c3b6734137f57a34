// The INSERT that a row copy sends for every row, read in one pass over the text:
//   INSERT INTO name values(literal, ... )
// with the name bare, in double quotes or in brackets, and literals that are
// numbers (an optional minus sign directly in front), 'strings' without doubled
// quotes, or NULL. Anything else (column lists, comments, other literal forms,
// errors) is left to the general parser, which reads these statements the same
// way; this path only spares the token list.
#pragma once

#include <string_view>

#include "sql_statement.h"

namespace mdb {

// False when the statement is not of that plain form (`into` is then undefined).
// The literals view `sql`. `into` keeps the room it had for values.
bool ParsePlainInsert(std::string_view sql, InsertStatement& into);

}  // namespace mdb
