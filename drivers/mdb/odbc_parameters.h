// Executing an INSERT whose values are '?' markers, once per row of the bound
// parameter arrays.
#pragma once

#include "odbc_handles.h"

namespace mdb {

// Runs `parsed` (an INSERT with `markers` markers) for every row of parameters,
// in order. A refused row stops the run: the rows before it stay inserted, its
// status is SQL_PARAM_ERROR, the later ones SQL_PARAM_UNUSED, and its
// diagnostic names it (SQL_DIAG_ROW_NUMBER); SQL_ERROR is returned. Call with
// the connection open and writable.
SQLRETURN ExecuteParameterRows(StatementHandle& statement, const Statement& parsed, int markers);

}  // namespace mdb
