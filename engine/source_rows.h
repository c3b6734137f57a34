// Reading the source table's rows into blocks for the copy: a block of rows
// per fetch, written by the source's driver straight into the block, when all
// values have a bounded size; value by value with SQLGetData otherwise (long
// text and binary, sql_variant, xml), staged a row at a time.
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
void CutTimestamp(odbc::Recordset& source, int column, SQL_TIMESTAMP_STRUCT& value, RowBuffers& buffers);

class SourceRows {
 public:
  virtual ~SourceRows() = default;
  // Fills `block` (reset for the table's columns) with the next rows; false
  // when none are left. Throws odbc::DBException when the source fails, and
  // std::runtime_error for a value Access cannot take; the rows before the
  // failing one are then in `block`.
  virtual bool Fill(RowBlock& block, RowBuffers& buffers) = 0;
};

// The fastest reader `source` (just opened) allows for `columns`.
std::unique_ptr<SourceRows> OpenSourceRows(odbc::Recordset& source, const std::vector<ColumnMapping>& columns);

}  // namespace talvoro::engine
