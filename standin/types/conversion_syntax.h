// Where CONVERT and CAST stand in T-SQL tokens: the pieces the SQLite rewrite
// needs, and the types they give the items of a select list.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "types/sql_type.h"
#include "tsql/tsql_lexer.h"
#include "tsql/tsql_statements.h"

namespace standin {

// Index of the ')' closing the '(' at `open`, or `end` when it is not closed before it.
size_t MatchingParen(const std::vector<SqlToken>& t, size_t open, size_t end);

// The type written in tokens [begin, end), e.g. "decimal(10,2)", "nvarchar(max)".
std::string TypeText(const std::vector<SqlToken>& t, size_t begin, size_t end);

// For each item of the query's outer select list: the type of a CONVERT/CAST
// that makes up the whole item (optionally aliased), else nullopt. Empty when
// the list cannot be split (SELECT *, a set operation in parentheses ...).
// The target type when tokens [range) are exactly one CONVERT/CAST call.
std::optional<SqlType> ConversionTypeOf(const std::vector<SqlToken>& t, TokenRange range);

std::vector<std::optional<SqlType>> ConvertedItemTypes(const std::vector<SqlToken>& t, TokenRange range);

}  // namespace standin
