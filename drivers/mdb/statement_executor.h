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

// The values an application bound to the '?' markers of an INSERT, for one row
// of parameters.
class ParameterValues {
 public:
  // Stores marker `parameter`'s value for `column` into `into`, with the same
  // conversion and the same refusals (SqlError) as a literal of that value.
  virtual void Store(int parameter, const jet::ColumnDef& column, jet::Value& into) = 0;

 protected:
  ~ParameterValues() = default;
};

// Throws SqlError; engine errors arrive as SqlError too (see SqlErrorFromJet).
// An INSERT with '?' markers takes their values from `parameters` (07002
// without them).
ExecutionResult Execute(const Statement& statement, jet::Database& database,
                        ParameterValues* parameters = nullptr);

// An INSERT executed for many rows of parameters (an array of them), its table
// looked up once. Row() throws SqlError as Execute does.
class RepeatedInsert {
 public:
  RepeatedInsert(const InsertStatement& insert, jet::Database& database);
  void Row(ParameterValues& parameters);

 private:
  const InsertStatement& insert_;
  jet::Table* table_ = nullptr;
};

// The result columns a SELECT will have, without reading rows (for SQLPrepare).
std::vector<jet::ColumnDef> SelectColumns(const SelectStatement& select, jet::Database& database);

// The SQLSTATE and message for an engine error.
SqlError SqlErrorFromJet(const jet::Error& error);

}  // namespace mdb
