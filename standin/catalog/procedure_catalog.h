// sp_stored_procedures and sp_sproc_columns: the catalog procedures FreeTDS
// calls for SQLProcedures and SQLProcedureColumns, with SQL Server's result
// shapes, over the database's stored procedures.
#pragma once

#include <string>

#include "catalog/catalog_procedures.h"

namespace standin {

// NotCatalog for any other name; else writes the result set and a DONEINPROC.
CatalogOutcome RunProcedureCatalog(const std::string& name, const ProcedureArgs& args, SessionState& session,
                                   ReplyWriter& w);

}  // namespace standin
