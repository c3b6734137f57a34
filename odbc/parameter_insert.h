// A prepared INSERT with '?' markers, executed for a block of rows at a time
// through column-wise arrays of parameters (SQL_ATTR_PARAMSET_SIZE): one call
// into the driver per block instead of one statement text per row.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <string>
#include <vector>

#include "database.h"

namespace talvoro::odbc {

// A row of the array was refused: `rowsBefore` rows before it were inserted.
class RowRefused : public DBException {
 public:
  RowRefused(std::size_t rowsBefore, std::vector<DiagnosticRecord> records)
      : DBException("statement refused", std::move(records)), rowsBefore_(rowsBefore) {}
  std::size_t rowsBefore() const { return rowsBefore_; }

 private:
  std::size_t rowsBefore_;
};

class ParameterArrayInsert {
 public:
  ParameterArrayInsert(Database& db, const std::string& sql);  // throws DBException
  ~ParameterArrayInsert();
  ParameterArrayInsert(const ParameterArrayInsert&) = delete;
  ParameterArrayInsert& operator=(const ParameterArrayInsert&) = delete;

  // Binds marker `number` (from 1) to an array of values `elementSize` bytes
  // apart, with one length or SQL_NULL_DATA per row in `lengths`.
  void Bind(SQLUSMALLINT number, SQLSMALLINT cType, SQLSMALLINT sqlType, void* values, SQLLEN elementSize,
            SQLLEN* lengths);
  // Inserts the first `rows` rows of the bound arrays, in order. Throws
  // RowRefused when the driver refuses one (the rows before it are inserted),
  // DBException when the whole call fails.
  void Execute(std::size_t rows);

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  std::vector<SQLUSMALLINT> status_;
  SQLULEN processed_ = 0;
};

}  // namespace talvoro::odbc
