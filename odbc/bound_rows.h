// Reading a result set a block of rows per fetch: every column bound to an
// array (SQL_ATTR_ROW_ARRAY_SIZE), so a million rows cost a thousand driver
// calls instead of seven million SQLGetData calls. Only for result sets whose
// values all have a bounded size; a value that would not fit its slot is an
// error, never cut short. The arrays belong to the caller and may change from
// one fetch to the next, so a block can be fetched where it is used next.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <string>
#include <vector>

#include "database.h"

namespace talvoro::odbc {

struct BoundColumnType {
  SQLSMALLINT cType = SQL_C_CHAR;
  std::size_t width = 0;       // bytes a value may take, its terminator included
  std::size_t terminator = 0;  // 1 for SQL_C_CHAR, 2 for SQL_C_WCHAR, 0 otherwise
};

// Where a fetch puts one column: rows() values `width` bytes apart, and a
// length (bytes, its terminator not counted) or SQL_NULL_DATA per row.
struct FetchTarget {
  char* values = nullptr;
  SQLLEN* lengths = nullptr;
};

class BoundRows {
 public:
  // Sets `source`'s open result to `rows` rows a fetch, column j as types[j].
  BoundRows(Recordset& source, std::vector<BoundColumnType> types, std::size_t rows);
  // Unbinds, and returns the statement to one row a fetch.
  ~BoundRows();
  BoundRows(const BoundRows&) = delete;
  BoundRows& operator=(const BoundRows&) = delete;

  std::size_t rows() const { return rows_; }
  const std::vector<BoundColumnType>& types() const { return types_; }

  // Fetches the next block into `into` (one target per column); the number of
  // rows it holds, 0 past the last one. A failure is thrown after the rows
  // fetched before it were handed out: this call returns them and the next
  // one throws.
  std::size_t Fetch(const std::vector<FetchTarget>& into);

 private:
  [[noreturn]] void ThrowFetchError(const std::string& what);
  bool ValueFits(const std::vector<FetchTarget>& into, std::size_t row) const;

  Recordset& source_;
  std::vector<BoundColumnType> types_;
  std::size_t rows_;
  std::vector<FetchTarget> bound_;  // what each column is bound to now
  std::vector<SQLUSMALLINT> status_;
  SQLULEN fetched_ = 0;
  std::vector<DiagnosticRecord> pendingFailure_;
  std::string pendingWhat_;
  bool failed_ = false;
};

}  // namespace talvoro::odbc
