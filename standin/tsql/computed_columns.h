// Computed columns (name AS expression [PERSISTED]): SQLite generated columns
// over the rewritten expression, with the type SQL Server would derive.
#pragma once

#include <string>
#include <vector>

#include "storage/database_store.h"
#include "tsql/statement_context.h"

namespace standin {

// The column's type: a CAST/CONVERT's target, else judged from the columns the
// expression uses (text joined with '+' gives text of their summed lengths;
// money, decimal, float, bigint, int win in that order; a date stays a date).
SqlType ComputedColumnType(const std::string& expression, const std::vector<ColumnMeta>& columns);

// The SQLite column definition: "name" TYPE GENERATED ALWAYS AS (...) VIRTUAL|STORED.
std::string GeneratedColumnDefinition(StatementContext& ctx, const ColumnMeta& c);

// Records the computed, hidden and period columns of a new table.
void SaveColumnKinds(sqlite3* db, const std::string& table, const std::vector<ColumnMeta>& columns);

}  // namespace standin
