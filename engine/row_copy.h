// Copies every row of a source result set into the destination table through
// one prepared "INSERT INTO name values(?, ...)" executed for blocks of rows
// bound as arrays of parameters (values exactly as the source holds them, no
// literal text). The inserts of a table go on one destination connection and
// are committed together; when a row is refused, the rows before it are
// committed and kept. The source is read on a second thread while the calling
// thread executes the blocks; callbacks come on the calling thread.
// BuildInsertStatement writes the literal statement of one row, which states
// what each row's insert means.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "odbc/database.h"
#include "type_mapping.h"

namespace talvoro::engine {

// Scratch space reused from row to row, so a row costs no allocations.
struct RowBuffers {
  std::string value;
  // Set for a column whose date-time values may hold digits below the
  // millisecond; each such value met is counted.
  bool countFinerThanMillisecond = false;
  std::uint64_t finerThanMillisecond = 0;
};

// The literal of column `column` of the current row, appended to `out`: NULL for
// a NULL of any kind.
void FormatColumnValue(odbc::Recordset& source, int column, ValueKind kind, std::string& out,
                       RowBuffers& buffers);

// "INSERT INTO" + " " + quoted name + " values" + "(" + each value followed by
// "," (all but the last), " ", and ")" after the last: the current row.
void BuildInsertStatement(odbc::Recordset& source, const std::string& quotedDestName,
                          const std::vector<ColumnMapping>& columns, std::string& statement,
                          RowBuffers& buffers);

// How often the inserts are committed during a long table, so the driver's
// transaction stays small and a long copy reaches the disk as it goes. A commit
// waits for the disk, so it goes by time rather than by a row count that would
// commit a fast table many times a second. Once commits grow slow (each writes
// the table's indexes anew), they are spaced further: at least nine times as
// long as the last one took.
inline constexpr std::chrono::milliseconds kCommitInterval{2000};

struct RowCopyResult {
  std::uint64_t rowsCopied = 0;  // committed to the destination
  // A commit failed (the disk is full, the file reached its size limit, ...):
  // rows the destination took may not be in the file; `commitFailure` says why.
  bool commitFailed = false;
  std::string commitFailure;
  // Values cut to the millisecond (columns with finerThanMillisecond); set once
  // every row is copied.
  std::uint64_t finerThanMillisecond = 0;
};

// Reads `source` to its end and inserts each row into `destName` on
// `destination`. `onRows` is called every `reportInterval` rows and at the end.
// Throws odbc::DBException (or std::runtime_error for a value the destination
// cannot hold) after committing the rows before the failing one; `copied` then
// says how many there are, unless that commit (or an earlier one) failed:
// `copied.commitFailed` is then set.
void CopyTableRows(odbc::Recordset& source, const std::string& destName,
                   const std::vector<ColumnMapping>& columns, odbc::Database& destination,
                   std::uint64_t reportInterval,
                   const std::function<void(std::uint64_t)>& onRows, RowCopyResult& copied,
                   std::chrono::milliseconds commitInterval = kCommitInterval);

}  // namespace talvoro::engine
