// Runs a parsed statement against an open database. Every check that can refuse
// the statement runs before the engine is asked to change anything, and the engine
// itself adds a row or a table whole or not at all, so a refused statement changes
// nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/jet.h"
#include "sql_error.h"
#include "sql_statement.h"

namespace mdb {

struct ResultSet {
  std::vector<jet::ColumnDef> columns;
  std::vector<std::vector<jet::Value>> rows;
};

struct ExecutionResult {
  long long rowCount = -1;               // rows inserted; -1 when not applicable
  std::optional<ResultSet> resultSet;    // SELECT only
  std::vector<std::string> warnings;     // done, but not quite as asked (01000)
};

// Throws SqlError; engine errors arrive as SqlError too (see SqlErrorFromJet).
ExecutionResult Execute(const Statement& statement, jet::Database& database);

// The result columns a SELECT will have, without reading rows (for SQLPrepare).
std::vector<jet::ColumnDef> SelectColumns(const SelectStatement& select, jet::Database& database);

// The SQLSTATE and message for an engine error.
SqlError SqlErrorFromJet(const jet::Error& error);

}  // namespace mdb
