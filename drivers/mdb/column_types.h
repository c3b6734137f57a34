// Type words of CREATE TABLE and the Jet column each one makes.
#pragma once

#include "jet/jet.h"
#include "sql_statement.h"

namespace mdb {

// The Jet column for a column definition: name, type, length, precision, scale and
// whether it is required (NOT NULL or part of the primary key is decided by the
// caller). Throws SqlError (42000) for an unknown type word or a size it cannot
// take, naming the column.
jet::ColumnDef ColumnFromSpec(const ColumnSpec& declared);

}  // namespace mdb
