// Table hints after a table in FROM, UPDATE, INSERT INTO or DELETE:
// "WITH (TABLOCKX, HOLDLOCK)" and the older "(NOLOCK)". They change how the
// table is locked (tsql/statement_locks.h); SQLite never sees them.
#pragma once

#include <cstddef>
#include <vector>

#include "tsql/tsql_lexer.h"

namespace standin {

struct TableHints {
  bool exclusive = false;    // TABLOCKX, XLOCK
  bool holdToEnd = false;    // HOLDLOCK, SERIALIZABLE, REPEATABLEREAD, UPDLOCK, TABLOCKX in a transaction
  bool noLock = false;       // NOLOCK, READUNCOMMITTED: reads without waiting
  bool noWait = false;       // NOWAIT: fails at once where it would wait
};

// When a hint list starts at tokens[i] (before `end`): the index of its closing
// parenthesis, with the hints it holds; else 0.
size_t TableHintListEnd(const std::vector<SqlToken>& tokens, size_t i, size_t end, TableHints* hints = nullptr);

}  // namespace standin
