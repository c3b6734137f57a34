// Checks a new table's definition against what Jet 4 allows and builds its
// physical column layout.
#pragma once

#include <string>
#include <string_view>

#include "jet/jet.h"
#include "jet/table_definition.h"

namespace jet {

// Throws InvalidDefinition or LimitExceeded with a message naming the problem.
void ValidateTableDef(const TableDef& def);

// Columns, primary key (real and logical index) of a new user table; maps and
// index roots are filled in by the caller.
TableDefinition PhysicalDefinition(const TableDef& def);

// Case-insensitive comparison of names, as Access compares object names.
bool SameName(std::string_view a, std::string_view b);

}  // namespace jet
