// Parses the driver's SQL dialect:
//   CREATE TABLE name ( column type [(n[,m])] [PRIMARY KEY] [NULL | NOT NULL], ...
//                       [, [CONSTRAINT name] PRIMARY KEY (a, b)] )
//   INSERT INTO name [(a, b)] VALUES (literal, ...)
//   SELECT * FROM name
// Keywords in any letter case, an optional trailing ';'.
#pragma once

#include <string_view>

#include "sql_statement.h"

namespace mdb {

// Throws SqlError (42000, "Syntax error at position N: ...") for anything else.
Statement ParseStatement(std::string_view sql);

}  // namespace mdb
