// sp_tables, sp_tableswc, sp_columns, sp_pkeys, sp_statistics and sp_fkeys: the
// catalog procedures FreeTDS calls for SQLTables, SQLColumns, SQLPrimaryKeys,
// SQLStatistics and SQLForeignKeys, with SQL Server's result shapes.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "session_state.h"
#include "protocol/tds_io.h"
#include "protocol/tds_tokens.h"
#include "types/value_conversion.h"

namespace standin {

// Arguments in call order: (lower-case "@name" or "" for positional, value).
using ProcedureArgs = std::vector<std::pair<std::string, Value>>;

enum class CatalogOutcome { NotCatalog, Done, Error };

// Writes the result set and a DONEINPROC. On Error, `error` holds the message
// and nothing has been written. `database`: the database named before the
// procedure ("[db]..sp_columns"); empty for the current one.
CatalogOutcome RunCatalogProcedure(const std::string& name, const ProcedureArgs& args, SessionState& session,
                                   const std::string& database, ReplyWriter& w, ServerMessage& error);

// T-SQL LIKE matching (%, _, [set]) without regard to letter case.
bool LikeMatch(const std::string& pattern, const std::string& text);

}  // namespace standin
