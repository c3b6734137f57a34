// The table locks a statement takes before it runs (storage/lock_table.h), as
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

std::vector<LockRequest> StatementLocks(const Statement& statement, const ParsedBatch& batch, SessionState& session,
                                        bool* noWait);

}  // namespace standin
