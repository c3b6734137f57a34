// Parses the driver's SQL dialect:
//   CREATE TABLE name ( column type [(n[,m])] [PRIMARY KEY] [NULL | NOT NULL]
//                       [DEFAULT constant | DEFAULT function()], ...
//                       [, [CONSTRAINT name] PRIMARY KEY (a, b)] )
//     (type COUNTER or AUTOINCREMENT makes an AutoNumber column)
//   CREATE [UNIQUE] INDEX name ON table (a [ASC | DESC], ...)
//                       [WITH PRIMARY | DISALLOW NULL | IGNORE NULL]
//   ALTER TABLE table ADD CONSTRAINT name FOREIGN KEY (a, ...) REFERENCES other [(b, ...)]
//                       [ON UPDATE CASCADE | NO ACTION] [ON DELETE CASCADE | NO ACTION]
//   INSERT INTO name [(a, b)] VALUES (literal, ...)
//   SELECT * FROM name
//   SELECT COUNT(*) FROM name
// Keywords in any letter case, an optional trailing ';'.
#pragma once

#include <string_view>

#include "sql_statement.h"

namespace mdb {

// Throws SqlError (42000, "Syntax error at position N: ...") for anything else.
// The statement keeps a copy of the text its literals view.
Statement ParseStatement(std::string_view sql);

// The same without the copy, into `into`: the literals view `sql`, which must
// outlive the statement. For a statement executed at once (every row of a copy);
// `into` keeps its room from one statement to the next.
void ParseStatementInPlace(std::string_view sql, Statement& into);

}  // namespace mdb
