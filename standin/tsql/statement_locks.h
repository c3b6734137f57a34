// The table locks a statement takes before it runs, and the permissions it needs (storage/lock_table.h), as
// SQL Server's READ COMMITTED takes them: tables it reads shared for the
// statement, the table it changes exclusively to the end of the transaction
// (with the database's writer resource, SQLite having one writer). Catalog
// views and procedures, #temp tables and views themselves take none.
#pragma once

#include <vector>

#include "session_state.h"
#include "storage/lock_table.h"
#include "tsql/tsql_parser.h"

namespace standin {

struct StatementAccess {
  std::vector<LockRequest> locks;
  bool noWait = false;  // NOWAIT hint: fail at once rather than wait
  // The permissions the statement needs: (SELECT / INSERT / UPDATE / DELETE, stored object name).
  std::vector<std::pair<std::string, std::string>> permissions;
};

StatementAccess AccessOf(const Statement& statement, const ParsedBatch& batch, SessionState& session);

}  // namespace standin
