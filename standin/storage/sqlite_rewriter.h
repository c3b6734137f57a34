// Turns a T-SQL query or expression into SQLite's dialect: names quoted,
// N'' strings plain, 0x literals as X'', TOP n as LIMIT, dbo. prefixes dropped,
// a few built-ins renamed, variables replaced by their values.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tsql/tsql_lexer.h"
#include "tsql/tsql_statements.h"

namespace standin {

// Returns the SQLite literal for a variable, or nullopt when it is not declared.
using VariableResolver = std::function<std::optional<std::string>(const std::string& name)>;

struct RewriteResult {
  std::string sql;
  bool ok = true;
  std::string undeclaredVariable;
};

RewriteResult RewriteForSqlite(const std::vector<SqlToken>& tokens, TokenRange range, const VariableResolver& vars);

// SQLite text for a literal string.
std::string SqliteString(const std::string& text);

}  // namespace standin
