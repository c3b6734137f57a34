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
  if (!same) {
    columns_.assign(columns.size(), Column{});
    for (std::size_t j = 0; j < columns.size(); ++j) {
      const BoundType type = BoundTypeOf(columns[j].valueKind);
      columns_[j].kind = columns[j].valueKind;
      columns_[j].cType = type.cType;
      columns_[j].sqlType = type.sqlType;
      columns_[j].fixedSize = type.fixedSize;
    }
  }
  for (Column& column : columns_) {
    column.longest = 0;
    column.slot = 1;
    column.lengths.clear();
    column.values.clear();
    column.arena.clear();
  }
  rows_ = 0;
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
      const std::size_t at = column.values.size();
      column.values.resize(at + column.fixedSize);
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

void RowBlock::BindTo(odbc::ParameterArrayInsert& insert) {
  for (std::size_t j = 0; j < columns_.size(); ++j) {
    Column& column = columns_[j];
    insert.Bind(static_cast<SQLUSMALLINT>(j + 1), column.cType, column.sqlType, column.values.data(),
                static_cast<SQLLEN>(column.fixedSize != 0 ? column.fixedSize : column.slot), column.lengths.data());
  }
}

void RowBlock::ReleaseLargeBuffers() {
  for (Column& column : columns_) {
    if (column.values.capacity() > kKeptBytes) std::string().swap(column.values);
    if (column.arena.capacity() > kKeptBytes) std::string().swap(column.arena);
  }
}

}  // namespace talvoro::engine
