// System-versioned temporal tables: the period columns (GENERATED ALWAYS AS
// ROW START/END) are set by the server, and every update or delete keeps the
// row's old version in the history table, its period closed at that moment.
#pragma once

#include <string>

#include "tsql/statement_context.h"
#include "tsql/tsql_statements.h"

namespace standin {

// The end of an open period, as SQL Server writes it: datetime2's largest value.
constexpr char kPeriodOpenEnd[] = "9999-12-31 23:59:59.9999999";

// The current UTC time as datetime2(7) text (a period's start).
std::string UtcNowText();

// After CREATE TABLE ... WITH (SYSTEM_VERSIONING = ON ...): the history table
// (made with the same columns when it does not exist) and the triggers that fill it.
void SetUpSystemVersioning(StatementContext& ctx, const CreateTableStmt& table);

}  // namespace standin
