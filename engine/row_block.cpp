#include "row_block.h"

#include <algorithm>
#include <cstring>

namespace talvoro::engine {
namespace {

struct BoundType {
  SQLSMALLINT cType;
  SQLSMALLINT sqlType;
  std::size_t fixedSize;
};

// How each kind of source value is handed to the driver. Exact numbers stay
// text, so that no digit is lost on the way; SQL_DECIMAL tells the driver the
// text is a number.
BoundType BoundTypeOf(ValueKind kind) {
  switch (kind) {
    case ValueKind::Integer: return {SQL_C_SBIGINT, SQL_BIGINT, sizeof(std::int64_t)};
    case ValueKind::Exact: return {SQL_C_CHAR, SQL_DECIMAL, 0};
    case ValueKind::Double: return {SQL_C_DOUBLE, SQL_DOUBLE, sizeof(double)};
    case ValueKind::Real: return {SQL_C_FLOAT, SQL_REAL, sizeof(float)};
    case ValueKind::DateTime:
    case ValueKind::DateText: return {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT)};
    case ValueKind::Text:
    case ValueKind::WideText: return {SQL_C_CHAR, SQL_VARCHAR, 0};
    case ValueKind::Binary: return {SQL_C_BINARY, SQL_VARBINARY, 0};
    case ValueKind::Guid: return {SQL_C_CHAR, SQL_GUID, 0};
  }
  return {SQL_C_CHAR, SQL_VARCHAR, 0};
}

const void* FixedBytes(const StagedValue& value, ValueKind kind) {
  switch (kind) {
    case ValueKind::Integer: return &value.integer;
    case ValueKind::Double: return &value.real;
    case ValueKind::Real: return &value.single;
    default: return &value.timestamp;
  }
}

// Room kept in a spent block for the next one: what ordinary rows need.
constexpr std::size_t kKeptBytes = 2 * RowBlock::kMaxBytes;

}  // namespace

void RowBlock::Reset(const std::vector<ColumnMapping>& columns) {
  bool same = columns.size() == columns_.size();
  for (std::size_t j = 0; same && j < columns.size(); ++j) same = columns_[j].kind == columns[j].valueKind;
  if (!same) columns_.assign(columns.size(), Column{});
  for (std::size_t j = 0; j < columns.size(); ++j) {
    Column& column = columns_[j];
    const BoundType type = BoundTypeOf(columns[j].valueKind);
    column.kind = columns[j].valueKind;
    column.cType = type.cType;
    column.sqlType = type.sqlType;
    column.fixedSize = type.fixedSize;
    column.longest = 0;
    column.slot = 1;
    column.fetchWidth = 0;
    column.lengths.clear();
    column.arena.clear();
    // `values` keeps its bytes: rows are written over them, and a fetched
    // block is not cleared before every fetch.
  }
  targets_.clear();
  rows_ = 0;
  sealed_ = false;
}

bool RowBlock::Fits(const StagedRow& row) const {
  if (rows_ == 0) return true;
  std::size_t rowBytes = 0;
  for (std::size_t j = 0; j < columns_.size(); ++j) {
    const Column& column = columns_[j];
    if (column.fixedSize != 0) {
      rowBytes += column.fixedSize;
    } else {
      rowBytes += std::max(column.longest, row[j].null ? 0 : row[j].text.size());
    }
  }
  return (rows_ + 1) * rowBytes <= kMaxBytes;
}

void RowBlock::Append(StagedRow& row) {
  for (std::size_t j = 0; j < columns_.size(); ++j) {
    Column& column = columns_[j];
    StagedValue& value = row[j];
    if (column.fixedSize != 0) {
      const std::size_t at = rows_ * column.fixedSize;
      if (column.values.size() < at + column.fixedSize) column.values.resize(at + column.fixedSize);
      if (!value.null) std::memcpy(column.values.data() + at, FixedBytes(value, column.kind), column.fixedSize);
      column.lengths.push_back(value.null ? SQL_NULL_DATA : static_cast<SQLLEN>(column.fixedSize));
      continue;
    }
    if (value.null) {
      column.lengths.push_back(SQL_NULL_DATA);
      continue;
    }
    column.lengths.push_back(static_cast<SQLLEN>(value.text.size()));
    column.longest = std::max(column.longest, value.text.size());
    // A block's first value is taken over whole: a large value is not copied.
    if (column.arena.empty()) {
      column.arena.swap(value.text);
    } else {
      column.arena.append(value.text);
    }
  }
  ++rows_;
}

void RowBlock::Seal() {
  if (sealed_) return;
  sealed_ = true;
  for (Column& column : columns_) {
    if (column.fixedSize != 0) continue;
    column.slot = std::max<std::size_t>(column.longest, 1);
    if (rows_ == 1 && column.lengths[0] > 0) {  // the value is its own slot: no copy
      column.values.swap(column.arena);
      column.arena.clear();
      continue;
    }
    column.values.resize(rows_ * column.slot);
    std::size_t from = 0;
    for (std::size_t row = 0; row < rows_; ++row) {
      const SQLLEN length = column.lengths[row];
      if (length <= 0) continue;
      std::memcpy(column.values.data() + row * column.slot, column.arena.data() + from,
                  static_cast<std::size_t>(length));
      from += static_cast<std::size_t>(length);
    }
    column.arena.clear();
  }
}

void RowBlock::LayOutForFetch(const std::vector<ColumnMapping>& columns,
                              const std::vector<odbc::BoundColumnType>& types, std::size_t rows) {
  Reset(columns);
  targets_.resize(columns_.size());
  for (std::size_t j = 0; j < columns_.size(); ++j) {
    Column& column = columns_[j];
    const std::size_t width = types[j].width;
    column.fetchWidth = width;
    column.lengths.resize(rows);
    // Wide text goes to the destination's driver as the source's driver gives
    // it (UTF-16); a DateText column is fetched as text into `arena` and read
    // into dates in `values`.
    if (column.kind == ValueKind::WideText) {
      column.cType = SQL_C_WCHAR;
      column.sqlType = SQL_WVARCHAR;
    }
    if (column.fixedSize == 0) column.slot = width;
    const bool dates = column.kind == ValueKind::DateText;
    std::string& fetched = dates ? column.arena : column.values;
    if (fetched.size() < rows * width) fetched.resize(rows * width);
    if (dates && column.values.size() < rows * column.fixedSize) column.values.resize(rows * column.fixedSize);
    targets_[j] = odbc::FetchTarget{fetched.data(), column.lengths.data()};
  }
}

void RowBlock::SetFetchedDate(std::size_t row, std::size_t column, const SQL_TIMESTAMP_STRUCT& value) {
  Column& c = columns_[column];
  std::memcpy(c.values.data() + row * c.fixedSize, &value, sizeof value);
  c.lengths[row] = static_cast<SQLLEN>(c.fixedSize);
}

void RowBlock::EndFetch(std::size_t rows) {
  rows_ = rows;
  sealed_ = true;
}

void RowBlock::BindTo(odbc::ParameterArrayInsert& insert) {
  for (std::size_t j = 0; j < columns_.size(); ++j) {
    Column& column = columns_[j];
    insert.Bind(static_cast<SQLUSMALLINT>(j + 1), column.cType, column.sqlType, column.values.data(),
                static_cast<SQLLEN>(column.fixedSize != 0 ? column.fixedSize : column.slot), column.lengths.data());
  }
}

std::size_t RowBlock::bytes() const {
  std::size_t total = 0;
  for (const Column& column : columns_)
    total += column.values.size() + column.arena.size() + column.lengths.size() * sizeof(SQLLEN);
  return total;
}

void RowBlock::ReleaseLargeBuffers() {
  for (Column& column : columns_) {
    if (column.values.capacity() > kKeptBytes) std::string().swap(column.values);
    if (column.arena.capacity() > kKeptBytes) std::string().swap(column.arena);
  }
}

}  // namespace talvoro::engine
