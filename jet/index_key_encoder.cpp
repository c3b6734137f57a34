#include "jet/index_key_encoder.h"

#include <bit>
#include <cstring>
#include <string>

#include "jet/sort_order_general.h"
#include "jet/text_codec.h"

namespace jet {
namespace {

constexpr std::size_t kMaxKeyColumns = 10;

constexpr std::uint8_t kAscendingStart = 0x7F;
constexpr std::uint8_t kAscendingNull = 0x00;
constexpr std::uint8_t kDescendingStart = 0x80;
constexpr std::uint8_t kDescendingNull = 0xFF;

[[noreturn]] void Mismatch(const IndexKeyColumn& column) {
  throw Error(ErrorCode::TypeMismatch, "value of the wrong type for key column \"" + column.column.name + "\"");
}

[[noreturn]] void OutOfRange(const IndexKeyColumn& column) {
  throw Error(ErrorCode::ValueOutOfRange, "value out of range for key column \"" + column.column.name + "\"");
}

void AppendBigEndian(std::uint64_t value, int bytes, Bytes& out) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void Invert(Bytes& out, std::size_t from) {
  for (std::size_t i = from; i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(~out[i]);
}

// Two's complement, big-endian, sign bit flipped; descending inverts all.
void AppendInteger(std::int64_t value, int bytes, bool ascending, Bytes& out) {
  const std::size_t from = out.size();
  AppendBigEndian(static_cast<std::uint64_t>(value), bytes, out);
  out[from] ^= 0x80;
  if (!ascending) Invert(out, from);
}

// IEEE big-endian: non-negative flips the sign bit, negative inverts every byte;
// descending inverts the result.
void AppendFloat(std::uint64_t bits, int bytes, bool ascending, Bytes& out) {
  const std::size_t from = out.size();
  AppendBigEndian(bits, bytes, out);
  const bool negative = (out[from] & 0x80) != 0;
  if (!negative) out[from] ^= 0x80;
  if (negative == ascending) Invert(out, from);
}

// "General binary": 8-byte segments, each followed by 0x09 if more follow, else by
// the count of real bytes (short last segment zero-padded). Descending inverts the
// data and the last length byte, never the 0x09 bytes.
void AppendGeneralBinary(const std::uint8_t* data, std::size_t length, bool ascending, Bytes& out) {
  std::size_t pos = 0;
  while (length - pos > 8) {
    const std::size_t from = out.size();
    out.insert(out.end(), data + pos, data + pos + 8);
    if (!ascending) Invert(out, from);
    out.push_back(0x09);
    pos += 8;
  }
  if (length - pos > 0) {
    const std::size_t from = out.size();
    const std::size_t rest = length - pos;
    out.insert(out.end(), data + pos, data + length);
    out.insert(out.end(), 8 - rest, 0);
    out.push_back(static_cast<std::uint8_t>(rest));
    if (!ascending) Invert(out, from);
  }
}

// Jet 4 "legacy numeric": sign byte then the 16-byte magnitude, big-endian.
// Ascending: FF|magnitude (>= 0), 00|~magnitude (< 0). Descending keeps Jet's
// quirk: FF|~magnitude (>= 0), 00|magnitude (< 0).
void AppendDecimal(const Decimal& value, const IndexKeyColumn& column, bool ascending, Bytes& out) {
  unsigned __int128 unscaled = value.unscaled;
  const std::uint8_t scale = column.column.scale;
  static constexpr unsigned __int128 kMax = [] {
    unsigned __int128 m = 1;
    for (int i = 0; i < 28; ++i) m *= 10;
    return m - 1;
  }();
  if (value.scale < scale) {
    for (int i = value.scale; i < scale; ++i) {
      if (unscaled > kMax / 10) OutOfRange(column);
      unscaled *= 10;
    }
  } else if (value.scale > scale) {
    // Extra fraction digits are rounded half away from zero, as the row stores them.
    unsigned __int128 divisor = 1;
    for (int i = scale; i < value.scale && divisor <= kMax; ++i) divisor *= 10;
    const unsigned __int128 remainder = unscaled % divisor;
    unscaled /= divisor;
    if (remainder * 2 >= divisor) ++unscaled;
  }
  if (unscaled > kMax) OutOfRange(column);
  const bool negative = value.negative && unscaled != 0;
  const std::size_t from = out.size();
  out.push_back(0);
  AppendBigEndian(static_cast<std::uint64_t>(unscaled >> 64), 8, out);
  AppendBigEndian(static_cast<std::uint64_t>(unscaled), 8, out);
  if (negative == ascending) Invert(out, from);
  out[from] = negative ? 0x00 : 0xFF;
}

template <typename T>
const T* Get(const Value& value, const IndexKeyColumn& column) {
  const T* v = std::get_if<T>(&value);
  if (v == nullptr) Mismatch(column);
  return v;
}

}  // namespace

IndexKeyEncoder::IndexKeyEncoder(std::vector<IndexKeyColumn> columns) : columns_(std::move(columns)) {
  if (columns_.empty() || columns_.size() > kMaxKeyColumns)
    throw Error(ErrorCode::InvalidDefinition, "an index has 1 to 10 columns");
  for (const IndexKeyColumn& c : columns_) {
    if (c.column.type == ColumnType::Ole)
      throw Error(ErrorCode::InvalidDefinition,
                  "column \"" + c.column.name + "\" (OLE Object) cannot be part of an index");
  }
}

void IndexKeyEncoder::AppendKey(std::span<const Value> keyValues, Bytes& out) const {
  if (keyValues.size() != columns_.size())
    throw Error(ErrorCode::WrongValueCount, "an index key needs " + std::to_string(columns_.size()) +
                                                " values, got " + std::to_string(keyValues.size()));
  for (std::size_t i = 0; i < columns_.size(); ++i) AppendColumn(columns_[i], keyValues[i], out);
}

Bytes IndexKeyEncoder::Key(std::span<const Value> keyValues) const {
  Bytes out;
  AppendKey(keyValues, out);
  return out;
}

void IndexKeyEncoder::AppendColumn(const IndexKeyColumn& column, const Value& value, Bytes& out) {
  const bool asc = column.ascending;
  const ColumnType type = column.column.type;

  // Yes/No is never NULL in an index: NULL counts as No.
  if (type == ColumnType::Boolean) {
    bool yes = false;
    if (const bool* b = std::get_if<bool>(&value)) {
      yes = *b;
    } else if (!std::holds_alternative<Null>(value)) {
      Mismatch(column);
    }
    out.push_back(asc ? kAscendingStart : kDescendingStart);
    out.push_back(yes == asc ? 0x00 : 0xFF);
    return;
  }
  if (std::holds_alternative<Null>(value)) {
    out.push_back(asc ? kAscendingNull : kDescendingNull);
    return;
  }
  out.push_back(asc ? kAscendingStart : kDescendingStart);

  switch (type) {
    case ColumnType::Byte: {
      const std::int64_t v = *Get<std::int64_t>(value, column);
      if (v < 0 || v > 255) OutOfRange(column);
      out.push_back(static_cast<std::uint8_t>(asc ? v : ~v));
      return;
    }
    case ColumnType::Integer: {
      const std::int64_t v = *Get<std::int64_t>(value, column);
      if (v < INT16_MIN || v > INT16_MAX) OutOfRange(column);
      AppendInteger(v, 2, asc, out);
      return;
    }
    case ColumnType::Long: {
      const std::int64_t v = *Get<std::int64_t>(value, column);
      if (v < INT32_MIN || v > INT32_MAX) OutOfRange(column);
      AppendInteger(v, 4, asc, out);
      return;
    }
    case ColumnType::Currency:
      AppendInteger(Get<Currency>(value, column)->scaled, 8, asc, out);
      return;
    case ColumnType::Single: {
      const float f = static_cast<float>(*Get<double>(value, column));
      AppendFloat(std::bit_cast<std::uint32_t>(f), 4, asc, out);
      return;
    }
    case ColumnType::Double:
      AppendFloat(std::bit_cast<std::uint64_t>(*Get<double>(value, column)), 8, asc, out);
      return;
    case ColumnType::DateTime:
      AppendFloat(std::bit_cast<std::uint64_t>(Get<DateTime>(value, column)->days), 8, asc, out);
      return;
    case ColumnType::Guid: {
      // Textual order: the first three groups are stored little-endian in the row.
      const auto& b = Get<Guid>(value, column)->bytes;
      const std::uint8_t text[16] = {b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6],
                                     b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
      AppendGeneralBinary(text, 16, asc, out);
      return;
    }
    case ColumnType::Binary: {
      const Bytes& bytes = *Get<Bytes>(value, column);
      AppendGeneralBinary(bytes.data(), bytes.size(), asc, out);
      return;
    }
    case ColumnType::Decimal:
      AppendDecimal(*Get<Decimal>(value, column), column, asc, out);
      return;
    case ColumnType::Text:
    case ColumnType::Memo:
    {
      thread_local std::u16string text;  // reused: keys are encoded row after row
      if (!Utf8ToUtf16(*Get<std::string>(value, column), text))
        throw Error(ErrorCode::ValueOutOfRange, "text for key column \"" + column.column.name + "\" is not valid UTF-8");
      AppendGeneralSortKey(text, asc, out);
      return;
    }
    case ColumnType::Boolean:
    case ColumnType::Ole:
      break;
  }
  Mismatch(column);
}

}  // namespace jet
