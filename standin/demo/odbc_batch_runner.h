// Runs script batches on an open ODBC connection, the way a query tool does.
#pragma once

#include <sql.h>

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sql_batches.h"

namespace sales_demo {

// A batch the server refused; what() holds the line and every diagnostic record.
class ScriptError : public std::runtime_error {
 public:
  ScriptError(int line, const std::string& diagnostics)
      : std::runtime_error("batch at line " + std::to_string(line) + ": " + diagnostics), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

// Called after each batch with the number of batches done and their total.
using BatchProgress = std::function<void(size_t done, size_t total)>;

// Called with a batch's error when its stopOnError is false; the script goes on.
using IgnoredError = std::function<void(const ScriptError&)>;

// Executes the batches in order and reads every result of each, stopping at the
// first error of a batch with stopOnError (throws ScriptError). The connection
// stays open.
void RunSqlBatches(SQLHDBC connection, const std::vector<SqlBatch>& batches,
                   const BatchProgress& progress = {}, const IgnoredError& ignored = {});

// "[SQLSTATE] (native) message" for every diagnostic record of a handle.
std::string DiagnosticText(SQLSMALLINT handleType, SQLHANDLE handle);

}  // namespace sales_demo
