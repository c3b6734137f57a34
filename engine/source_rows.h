// Reading the source table's rows into staged values for the copy: a block of
// rows per fetch with every column bound to an array when all values have a
// bounded size, value by value with SQLGetData otherwise (long text and binary,
// sql_variant, xml).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "odbc/database.h"
#include "row_block.h"
#include "row_copy.h"
#include "type_mapping.h"

namespace talvoro::engine {

[[noreturn]] void ThrowUnstorable(odbc::Recordset& source, int column, const std::string& what);
[[noreturn]] void ThrowUnstorableDate(odbc::Recordset& source, int column, const SQL_TIMESTAMP_STRUCT& value);

// Checks and cuts a date for Access (milliseconds, years 100 to 9999), counting
// finer fractions where they may occur.
void StageTimestamp(odbc::Recordset& source, int column, SQL_TIMESTAMP_STRUCT value, StagedValue& into,
                    RowBuffers& buffers);

class SourceRows {
 public:
  virtual ~SourceRows() = default;
  // Reads the next row into `row`; false past the last one. Throws
  // odbc::DBException when the source fails.
  virtual bool Next(StagedRow& row, RowBuffers& buffers) = 0;
};

// The fastest reader `source` (just opened) allows for `columns`.
std::unique_ptr<SourceRows> OpenSourceRows(odbc::Recordset& source, const std::vector<ColumnMapping>& columns);

}  // namespace talvoro::engine
