// The value an INSERT gives a column it does not name: the column's DefaultValue
// when that is a constant Access expression (a number, a "string", True/False,
// Null) or Now(), Date() or Time(); other expressions are not evaluated.
#pragma once

#include <optional>

#include "jet/jet.h"

namespace mdb {

// nullopt when the column has no default, or one that is not evaluated here.
// Throws SqlError when the default does not fit the column.
std::optional<jet::Value> DefaultValueOf(const jet::ColumnDef& column);

}  // namespace mdb
