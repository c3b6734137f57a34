// A block of rows held column by column, as the Access driver takes them bound
// to the markers of one INSERT (arrays of parameters): fixed-size values
// (integers, doubles, dates) side by side, character and binary values in
// slots as long as the longest of the block. Rows are staged one at a time
// and appended when they fit the block's byte bound, so a block holding one
// large value stays one row long and memory stays flat.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "odbc/parameter_insert.h"
#include "type_mapping.h"

namespace talvoro::engine {

// One value of the row being read, before it joins a block.
struct StagedValue {
  bool null = true;
  std::int64_t integer = 0;
  double real = 0;
  float single = 0;
  SQL_TIMESTAMP_STRUCT timestamp{};
  std::string text;  // character (UTF-8) and binary values
};
using StagedRow = std::vector<StagedValue>;

class RowBlock {
 public:
  // Rows a block takes at most, and the bytes its bound arrays may take
  // (a single row may exceed it: it then forms a block of its own).
  static constexpr std::size_t kMaxRows = 1024;
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 20;

  // Empties the block and lays it out for `columns` (kept when they are the same).
  void Reset(const std::vector<ColumnMapping>& columns);
  std::size_t rows() const { return rows_; }
  bool full() const { return rows_ == kMaxRows; }

  // Whether `row` joins this block without passing its byte bound.
  bool Fits(const StagedRow& row) const;
  // Adds `row` (its texts may be taken over).
  void Append(StagedRow& row);
  // Lays the character and binary values out in slots; call before BindTo.
  void Seal();
  // Binds each column's array to the marker of the same number.
  void BindTo(odbc::ParameterArrayInsert& insert);

  // For BlockQueue: gives back the room of an exceptionally large value.
  void ReleaseLargeBuffers();

 private:
  struct Column {
    ValueKind kind = ValueKind::Text;
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    std::size_t fixedSize = 0;  // 0: character or binary, in slots of `slot` bytes
    std::size_t longest = 0;
    std::size_t slot = 1;
    std::vector<SQLLEN> lengths;  // per row: bytes, or SQL_NULL_DATA
    std::string values;           // the bound array
    std::string arena;            // character and binary values end to end, until Seal
  };

  std::vector<Column> columns_;
  std::size_t rows_ = 0;
};

}  // namespace talvoro::engine
