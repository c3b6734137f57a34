#include "source_rows.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "odbc/bound_rows.h"
#include "value_literals.h"

namespace talvoro::engine {

void ThrowUnstorable(odbc::Recordset& source, int column, const std::string& what) {
  throw std::runtime_error("column " + source.columns()[column].name + ": " + what);
}

void ThrowUnstorableDate(odbc::Recordset& source, int column, const SQL_TIMESTAMP_STRUCT& value) {
  ThrowUnstorable(source, column,
                  "the date " + std::to_string(value.year) + "-" + std::to_string(value.month) + "-" +
                      std::to_string(value.day) + " lies outside the years 100 to 9999 that Access can store");
}

void CutTimestamp(odbc::Recordset& source, int column, SQL_TIMESTAMP_STRUCT& value, RowBuffers& buffers) {
  if (buffers.countFinerThanMillisecond && value.fraction % 1000000 != 0) ++buffers.finerThanMillisecond;
  if (!IsStorableTimestamp(value)) ThrowUnstorableDate(source, column, value);
  value.fraction -= value.fraction % 1000000;
}

namespace {

SQL_TIMESTAMP_STRUCT ReadDateText(odbc::Recordset& source, int column, const std::string& text,
                                  RowBuffers& buffers) {
  SQL_TIMESTAMP_STRUCT value{};
  if (!ParseTimestampText(text, value)) ThrowUnstorable(source, column, "unreadable date or time '" + text + "'");
  CutTimestamp(source, column, value, buffers);
  return value;
}

// Value by value: any length, any type.
class FetchedRows final : public SourceRows {
 public:
  FetchedRows(odbc::Recordset& source, const std::vector<ColumnMapping>& columns)
      : source_(source), columns_(columns), row_(columns.size()) {}

  bool Fill(RowBlock& block, RowBuffers& buffers) override {
    for (;;) {
      if (!pending_) {
        if (!Next(row_, buffers)) return block.rows() > 0;
        pending_ = true;
      }
      // A row that does not fit opens the next block.
      if (!block.Fits(row_)) return true;
      block.Append(row_);
      pending_ = false;
      for (StagedValue& value : row_) {
        if (value.text.capacity() > kKeptTextRoom) std::string().swap(value.text);
      }
      if (block.full()) return true;
    }
  }

 private:
  // A staged text keeps at most this much room once its value has moved on.
  static constexpr std::size_t kKeptTextRoom = std::size_t{1} << 20;

  bool Next(StagedRow& row, RowBuffers& buffers) {
    if (!source_.Fetch()) return false;
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      buffers.countFinerThanMillisecond = columns_[j].finerThanMillisecond;
      row[j].null = !Stage(static_cast<int>(j), columns_[j].valueKind, row[j], buffers);
    }
    return true;
  }

  bool Stage(int column, ValueKind kind, StagedValue& into, RowBuffers& buffers) {
    switch (kind) {
      case ValueKind::Integer: return source_.GetInt64(column, into.integer);
      case ValueKind::Exact:
      case ValueKind::Text:
      case ValueKind::Guid: return source_.GetText(column, into.text);
      case ValueKind::WideText: return source_.GetUtf8FromWide(column, into.text);
      case ValueKind::Binary: return source_.GetBinary(column, into.text);
      case ValueKind::Double: return source_.GetDouble(column, into.real);
      case ValueKind::Real: return source_.GetFloat(column, into.single);
      case ValueKind::DateTime: {
        if (!source_.GetTimestamp(column, into.timestamp)) return false;
        CutTimestamp(source_, column, into.timestamp, buffers);
        return true;
      }
      case ValueKind::DateText:
        if (!source_.GetText(column, buffers.value)) return false;
        into.timestamp = ReadDateText(source_, column, buffers.value, buffers);
        return true;
    }
    return false;
  }

  odbc::Recordset& source_;
  const std::vector<ColumnMapping>& columns_;
  StagedRow row_;
  bool pending_ = false;  // row_ was read but did not fit the last block
};

// A bound column may take at most this much a value, a row this much in all,
// and a block of rows this much: wider results are read value by value.
constexpr std::size_t kMaxBoundValue = 16 * 1024;
constexpr std::size_t kMaxBoundRow = 64 * 1024;
constexpr std::size_t kBoundBlockBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxBoundRows = 512;

// The bound type of a column, when its values have a bounded size. Character
// data arrives as UTF-8 (up to three bytes for a character of a code page, four
// beyond) or as UTF-16; a value longer than its slot is an error, never cut.
std::optional<odbc::BoundColumnType> BoundType(const odbc::ColumnDescription& column, ValueKind kind) {
  const std::size_t size = column.size;
  // sql_variant's text form has no declared bound (and its driver reports
  // every value as cut).
  if (column.typeName == "sql_variant") return std::nullopt;
  const bool bounded = size > 0 && size <= kMaxBoundValue;
  switch (kind) {
    case ValueKind::Integer: return odbc::BoundColumnType{SQL_C_SBIGINT, sizeof(std::int64_t), 0};
    case ValueKind::Double: return odbc::BoundColumnType{SQL_C_DOUBLE, sizeof(double), 0};
    case ValueKind::Real: return odbc::BoundColumnType{SQL_C_FLOAT, sizeof(float), 0};
    case ValueKind::DateTime: return odbc::BoundColumnType{SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT), 0};
    case ValueKind::Exact:  // sign, point and digits
      if (!bounded) return std::nullopt;
      return odbc::BoundColumnType{SQL_C_CHAR, size + 4, 1};
    case ValueKind::Guid: return odbc::BoundColumnType{SQL_C_CHAR, 40, 1};
    case ValueKind::DateText: return odbc::BoundColumnType{SQL_C_CHAR, std::max<std::size_t>(size, 40) + 1, 1};
    case ValueKind::Text:
      if (!bounded) return std::nullopt;
      return odbc::BoundColumnType{SQL_C_CHAR, 4 * size + 1, 1};
    case ValueKind::WideText:
      if (!bounded) return std::nullopt;
      return odbc::BoundColumnType{SQL_C_WCHAR, 2 * size + 2, 2};
    case ValueKind::Binary:
      if (!bounded) return std::nullopt;
      return odbc::BoundColumnType{SQL_C_BINARY, size, 0};
  }
  return std::nullopt;
}

// A block of rows per fetch, written into the block that carries them to the
// destination. Dates are checked and cut in place; a DateText column's text is
// read into the block's dates.
class BoundSourceRows final : public SourceRows {
 public:
  BoundSourceRows(odbc::Recordset& source, const std::vector<ColumnMapping>& columns,
                  std::vector<odbc::BoundColumnType> types, std::size_t rowsPerFetch)
      : source_(source), columns_(columns), rows_(source, std::move(types), rowsPerFetch) {
    for (std::size_t j = 0; j < columns_.size(); ++j) {
      const ValueKind kind = columns_[j].valueKind;
      if (kind == ValueKind::DateTime || kind == ValueKind::DateText) dateColumns_.push_back(j);
    }
  }

  bool Fill(RowBlock& block, RowBuffers& buffers) override {
    block.LayOutForFetch(columns_, rows_.types(), rows_.rows());
    const std::size_t fetched = rows_.Fetch(block.FetchTargets());
    if (fetched == 0) return false;
    for (std::size_t r = 0; r < fetched && !dateColumns_.empty(); ++r) {
      try {
        for (const std::size_t j : dateColumns_) {
          if (!block.FetchedNull(r, j)) StageDate(block, r, j, buffers);
        }
      } catch (...) {
        block.EndFetch(r);  // the rows before this one are copied
        throw;
      }
    }
    block.EndFetch(fetched);
    return true;
  }

 private:
  void StageDate(RowBlock& block, std::size_t r, std::size_t j, RowBuffers& buffers) {
    buffers.countFinerThanMillisecond = columns_[j].finerThanMillisecond;
    char* data = block.FetchedValue(r, j);
    const int column = static_cast<int>(j);
    if (columns_[j].valueKind == ValueKind::DateText) {
      buffers.value.assign(data, block.FetchedLength(r, j));
      block.SetFetchedDate(r, j, ReadDateText(source_, column, buffers.value, buffers));
      return;
    }
    SQL_TIMESTAMP_STRUCT value;
    std::memcpy(&value, data, sizeof value);
    CutTimestamp(source_, column, value, buffers);
    std::memcpy(data, &value, sizeof value);
  }

  odbc::Recordset& source_;
  const std::vector<ColumnMapping>& columns_;
  odbc::BoundRows rows_;
  std::vector<std::size_t> dateColumns_;
};

}  // namespace

std::unique_ptr<SourceRows> OpenSourceRows(odbc::Recordset& source, const std::vector<ColumnMapping>& columns) {
  std::vector<odbc::BoundColumnType> types;
  std::size_t rowWidth = 0;
  for (std::size_t j = 0; j < columns.size(); ++j) {
    const auto type = BoundType(source.columns()[j], columns[j].valueKind);
    if (!type) return std::make_unique<FetchedRows>(source, columns);
    rowWidth += type->width + sizeof(SQLLEN);
    types.push_back(*type);
  }
  if (rowWidth > kMaxBoundRow) return std::make_unique<FetchedRows>(source, columns);
  const std::size_t rowsPerFetch = std::clamp<std::size_t>(kBoundBlockBytes / std::max<std::size_t>(rowWidth, 1), 1,
                                                           kMaxBoundRows);
  return std::make_unique<BoundSourceRows>(source, columns, std::move(types), rowsPerFetch);
}

}  // namespace talvoro::engine
