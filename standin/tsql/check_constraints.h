// Enforcing CHECK constraints as SQL Server does: a row whose condition is FALSE
// is refused with error 547 (UNKNOWN passes). The condition is T-SQL, rewritten
// for SQLite as WHERE clauses are, and checked by SQLite triggers after each
// inserted or updated row: unlike SQLite's own CHECK, a trigger can be added to
// a table with rows, dropped while the constraint is disabled (NOCHECK) or a
// bulk load skips it, and created again.
#pragma once

#include <string>

#include "catalog/schema_metadata.h"
#include "tsql/statement_context.h"

namespace standin {

// Creates the triggers of an enabled constraint. False when SQLite cannot
// evaluate its condition (a built-in the stand-in lacks): the constraint is then
// kept and listed but not enforced, and the reason goes to the server's log.
bool CreateCheckTriggers(StatementContext& ctx, const ConstraintMeta& check);
void DropCheckTriggers(sqlite3* db, const std::string& checkName);

// Fails with error 547 (ALTER TABLE wording) when a row of the table breaks it
// (a condition SQLite cannot evaluate checks nothing).
void ValidateCheckRows(StatementContext& ctx, const ConstraintMeta& check);

}  // namespace standin
