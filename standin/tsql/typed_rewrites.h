// Rewrites that depend on the SQL Server type of a literal, variable or column,
// which SQLite's values do not carry (all text is UTF-8 to it):
// - DATALENGTH counts the bytes of its argument's type: two a character (UTF-16
//   code unit) for nchar/nvarchar/ntext and N'' literals, the code page's bytes
//   for char/varchar/text. DATALENGTH(x) gets that unit as a second argument:
//   tsql_datalength(x, 'N' | 'collation name').
// - LIKE compares in the column's collation: `column LIKE pattern` over a
//   case-sensitive or binary column becomes `column MATCH pattern`, SQLite's
//   operator for the match() function, which the stand-in defines as a
//   case-sensitive LIKE (like() itself ignores case, as the default collation).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "storage/database_store.h"
#include "tsql/tsql_lexer.h"
#include "tsql/tsql_statements.h"
#include "types/value_conversion.h"

namespace standin {

// The statement's tokens rewritten; empty when nothing needed it.
// `variables` by lower-case name.
std::vector<SqlToken> AddTypedRewrites(const std::vector<SqlToken>& tokens, TokenRange range, Database& db,
                                       const std::map<std::string, Value>& variables);

}  // namespace standin
