// A block of rows held column by column, as the Access driver takes them bound
// to the markers of one INSERT (arrays of parameters): fixed-size values
// (integers, doubles, dates) side by side, character and binary values in
// slots. A block is filled one of two ways:
// - staged: rows are staged one at a time and appended when they fit the
//   block's byte bound (slots as long as the longest value of the block), so a
//   block holding one large value stays one row long and memory stays flat;
// - fetched: the source's driver writes a block of rows straight into the
//   arrays (slots as wide as the column's declared size, wide text as UTF-16),
//   and the values go on to the destination's driver without a copy (DateText
//   columns are read into dates in the block).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "odbc/bound_rows.h"
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

  // Lays the block out for a fetch of at most `rows` rows of `columns` bound
  // as `types`; FetchTargets() then says where the fetch writes, and
  // EndFetch() how many rows the block keeps.
  void LayOutForFetch(const std::vector<ColumnMapping>& columns, const std::vector<odbc::BoundColumnType>& types,
                      std::size_t rows);
  const std::vector<odbc::FetchTarget>& FetchTargets() const { return targets_; }
  // A fetched value, for the checks made in place (a DateText column: its text).
  bool FetchedNull(std::size_t row, std::size_t column) const {
    return columns_[column].lengths[row] == SQL_NULL_DATA;
  }
  char* FetchedValue(std::size_t row, std::size_t column) {
    return targets_[column].values + row * columns_[column].fetchWidth;
  }
  std::size_t FetchedLength(std::size_t row, std::size_t column) const {
    return static_cast<std::size_t>(columns_[column].lengths[row]);
  }
  // The date read from the text of a DateText column's value.
  void SetFetchedDate(std::size_t row, std::size_t column, const SQL_TIMESTAMP_STRUCT& value);
  // The block holds the first `rows` fetched rows.
  void EndFetch(std::size_t rows);
  // Binds each column's array to the marker of the same number.
  void BindTo(odbc::ParameterArrayInsert& insert);

  // For BlockQueue: the memory the block holds, and giving back the room of an
  // exceptionally large value.
  std::size_t bytes() const;
  void ReleaseLargeBuffers();

 private:
  struct Column {
    ValueKind kind = ValueKind::Text;
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    std::size_t fixedSize = 0;  // 0: character or binary, in slots of `slot` bytes
    std::size_t longest = 0;
    std::size_t slot = 1;
    std::size_t fetchWidth = 0;   // fetched: bytes between two values of the fetch
    std::vector<SQLLEN> lengths;  // per row: bytes, or SQL_NULL_DATA
    std::string values;           // the bound array
    // Staged: character and binary values end to end, until Seal. Fetched:
    // the text a DateText column is fetched as, before it is read into dates.
    std::string arena;
  };

  std::vector<Column> columns_;
  std::vector<odbc::FetchTarget> targets_;
  std::size_t rows_ = 0;
  bool sealed_ = false;  // values are in place (after Seal or a fetch)
};

}  // namespace talvoro::engine
