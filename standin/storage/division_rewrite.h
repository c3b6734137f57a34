// SQLite answers NULL to a division by zero; SQL Server raises error 8134.
// Before an expression reaches SQLite, every "x / y" and "x % y" becomes
// tsql_divide(x, y) / tsql_modulo(x, y), functions that raise the error.
#pragma once

#include <vector>

#include "tsql/tsql_lexer.h"
#include "tsql/tsql_statements.h"

namespace standin {

// The tokens of `range` with each division and modulo turned into a call,
// respecting T-SQL precedence (unary signs bind tighter, * / % share a level
// and group to the left). Returns nothing when the range holds neither.
std::vector<SqlToken> WrapDivisions(const std::vector<SqlToken>& tokens, TokenRange range);

}  // namespace standin
