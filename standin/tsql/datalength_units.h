// DATALENGTH counts the bytes of its argument's type: two a character (UTF-16
// code unit) for nchar/nvarchar/ntext and N'' literals, the bytes of the code
// page for char/varchar/text. SQLite holds all text as UTF-8, so before the
// rewrite each DATALENGTH(x) whose x is a literal, a variable or a column gets
// that unit as a second argument: tsql_datalength(x, 'N' | 'collation name').
#pragma once

#include <string>
#include <vector>

#include "storage/database_store.h"
#include "tsql/tsql_lexer.h"
#include "tsql/tsql_statements.h"
#include "types/value_conversion.h"

namespace standin {

// The statement's tokens with units added; empty when it has no DATALENGTH.
// `variables` by lower-case name.
std::vector<SqlToken> AddDataLengthUnits(const std::vector<SqlToken>& tokens, TokenRange range, Database& db,
                                         const std::map<std::string, Value>& variables);

}  // namespace standin
