// Reading a result set a block of rows per fetch: every column bound to an
// array (SQL_ATTR_ROW_ARRAY_SIZE), so a million rows cost a thousand driver
// calls instead of seven million SQLGetData calls. Only for result sets whose
// values all have a bounded size; a value that would not fit its slot is an
// error, never cut short.
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

class BoundRows {
 public:
  // Binds column j of `source`'s open result to types[j], `rows` rows a fetch.
  BoundRows(Recordset& source, std::vector<BoundColumnType> types, std::size_t rows);
  // Unbinds, and returns the statement to one row a fetch.
  ~BoundRows();
  BoundRows(const BoundRows&) = delete;
  BoundRows& operator=(const BoundRows&) = delete;

  // Fetches the next block; the number of rows it holds, 0 past the last one.
  // A failure is thrown after the rows fetched before it were handed out:
  // ready() counts them and the next call throws.
  std::size_t Fetch();

  bool IsNull(std::size_t row, std::size_t column) const {
    return columns_[column].lengths[row] == SQL_NULL_DATA;
  }
  const char* Data(std::size_t row, std::size_t column) const {
    const Column& c = columns_[column];
    return c.values.data() + row * c.type.width;
  }
  // Bytes of the value, its terminator not counted.
  std::size_t Length(std::size_t row, std::size_t column) const {
    return static_cast<std::size_t>(columns_[column].lengths[row]);
  }

 private:
  struct Column {
    BoundColumnType type;
    std::vector<char> values;
    std::vector<SQLLEN> lengths;
  };

  [[noreturn]] void ThrowFetchError(const std::string& what);
  bool ValueFits(std::size_t row) const;

  Recordset& source_;
  std::vector<Column> columns_;
  std::size_t rows_;
  std::vector<SQLUSMALLINT> status_;
  SQLULEN fetched_ = 0;
  std::vector<DiagnosticRecord> pendingFailure_;
  std::string pendingWhat_;
  bool failed_ = false;
};

}  // namespace talvoro::odbc
