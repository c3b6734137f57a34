// HIDDEN columns (a temporal table's period columns may be declared so) are
// left out of SELECT *: over a single table that hides some, the star becomes
// the list of its visible columns before SQLite sees it. Named, they are read
// like any other column.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tsql/tsql_lexer.h"
#include "tsql/tsql_statements.h"

namespace standin {

// The visible columns of a table (by stored name) that hides some; nullopt otherwise.
using VisibleColumns = std::function<std::optional<std::vector<std::string>>(const std::string& storedTable)>;

// The tokens with each "SELECT [DISTINCT] [TOP n] * FROM table" star spelled
// out; empty when nothing changed.
std::vector<SqlToken> ExpandHiddenStars(const std::vector<SqlToken>& tokens, TokenRange range,
                                        const VisibleColumns& visible);

}  // namespace standin
