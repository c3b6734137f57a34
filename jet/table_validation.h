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

// Refuses a name Access cannot hold: empty, over 64 characters, starting with a
// blank, or holding a control character or one of . ! ` [ ] (InvalidDefinition,
// LimitExceeded). `what` starts the message ("The table").
void CheckObjectName(const std::string& name, const std::string& what);

// A name quoted for a message, cut to its first 64 characters.
std::string QuotedName(const std::string& name);

inline constexpr std::size_t kMaxDefaultValueLength = 255;

// Case-insensitive comparison of names, as Access compares object names.
bool SameName(std::string_view a, std::string_view b);

}  // namespace jet
