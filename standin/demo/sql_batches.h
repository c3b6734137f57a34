// Splits a T-SQL script into batches at GO lines, as sqlcmd and tsql do: a line
// holding only "GO" (any case, optionally followed by a repeat count) ends a
// batch. GO is not T-SQL; the server never sees it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sales_demo {

struct SqlBatch {
  int firstLine = 1;  // 1-based line of the script where the batch starts
  std::string text;
  int repeat = 1;     // "GO 3" runs the batch three times
  // What an error in this batch does: stop the script (":on error exit", and
  // the default) or be reported and passed over (":on error ignore").
  bool stopOnError = true;
};

// Batches holding only blanks and line breaks are dropped. A line
// ":on error exit|ignore" (as ExpandScriptVariables leaves it) sets
// stopOnError for the batch it is in and those after.
std::vector<SqlBatch> SplitSqlBatches(std::string_view script);

}  // namespace sales_demo
