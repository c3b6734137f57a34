// Parses a batch of T-SQL into statements. Syntax errors come back in SQL
// Server's words ("Incorrect syntax near 'x'.", error 102).
#pragma once

#include <string>
#include <vector>

#include "tsql/tsql_lexer.h"
#include "tsql/tsql_statements.h"

namespace standin {

struct ParsedBatch {
  std::string sql;
  std::vector<SqlToken> tokens;
  std::vector<Statement> statements;
  bool ok = true;
  int errorNumber = 0;
  std::string error;
};

ParsedBatch ParseBatch(std::string sql);

// SQL Server's COLUMN_DEF form of a default: "((0))", "('x')", "(getdate())".
std::string NormalizeDefault(const std::string& expression);

}  // namespace standin
