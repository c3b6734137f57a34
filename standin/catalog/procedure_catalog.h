// sp_stored_procedures and sp_sproc_columns (the catalog procedures FreeTDS
// calls for SQLProcedures and SQLProcedureColumns, with SQL Server's result
// shapes) and sys.parameters, over the database's stored procedures.
#pragma once

#include <string>

#include "catalog/catalog_procedures.h"

namespace standin {

// NotCatalog for any other name; else writes the result set and a DONEINPROC.
CatalogOutcome RunProcedureCatalog(const std::string& name, const ProcedureArgs& args, SessionState& session,
                                   ReplyWriter& w);

// sys.parameters: true when rewritten SQL reads it; the refresh fills its
// table from the procedures' definitions just before such a query runs.
bool NeedsParameterList(const std::string& sql);
void RefreshParameterList(SessionState& session);

}  // namespace standin
