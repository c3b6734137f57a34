#include "jet/row_codec.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "jet/format.h"
#include "jet/text_codec.h"

namespace jet {

using namespace format;

namespace {

using u128 = unsigned __int128;

u128 Pow10(int n) {
  u128 v = 1;
  for (int i = 0; i < n; ++i) v *= 10;
  return v;
}

const char* AlternativeName(const Value& v) {
  static const char* const kNames[] = {"NULL", "Boolean", "integer", "floating-point", "Currency",
                                       "Date/Time", "Decimal", "GUID", "text", "binary"};
  return kNames[v.index()];
}

template <typename T>
void PutLe(std::uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

std::uint8_t ColumnDecimalScale(const PhysicalColumn& c) { return c.misc[1]; }
std::uint8_t ColumnDecimalPrecision(const PhysicalColumn& c) { return c.misc[0]; }

}  // namespace

ColumnType ToColumnType(std::uint8_t code) {
  switch (code) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: case 0x08:
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0F: case 0x10:
      return static_cast<ColumnType>(code);
    default:
      throw Error(ErrorCode::NotJet4, "Unknown column type code " + std::to_string(code));
  }
}

RowEncoder::RowEncoder(const TableDefinition& def, std::vector<bool> required, std::u16string tableName)
    : def_(def),
      required_(std::move(required)),
      tableName_(Utf16ToUtf8(tableName)),
      fixedSize_(def.fixedSize()),
      varCount_(def.variableCount()) {
  required_.resize(def.columns.size(), false);
  varColumns_.assign(varCount_, 0xFFFF);
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    columnNames_.push_back(Utf16ToUtf8(def.columns[i].name));
    const auto& c = def.columns[i];
    if (!c.fixed() && c.varIndex < varCount_) varColumns_[c.varIndex] = static_cast<std::uint16_t>(i);
  }
  cells_.resize(def.columns.size());
}

void RowEncoder::Fail(ErrorCode code, std::size_t column, const std::string& why) const {
  throw Error(code, "Column '" + columnNames_[column] + "' of table '" + tableName_ + "': " + why);
}

Value RowEncoder::NormalisedValue(std::size_t column, const Value& v) const {
  const auto& c = def_.columns[column];
  if (c.type == static_cast<std::uint8_t>(ColumnType::Decimal) && std::holds_alternative<Decimal>(v)) {
    const Cell& cell = cells_[column];
    const std::uint8_t* p = scratch_.data() + cell.offset;
    Decimal d;
    d.negative = p[0] & 0x80;
    d.scale = ColumnDecimalScale(c);
    for (int w = 0; w < 4; ++w) d.unscaled = (d.unscaled << 32) | Get32(p + 1 + 4 * w);
    return d;
  }
  return v;
}

void RowEncoder::EncodeCell(std::size_t i, const Value& v) {
  const PhysicalColumn& c = def_.columns[i];
  Cell& cell = cells_[i];
  cell = Cell{};
  auto type = static_cast<ColumnType>(c.type);
  if (std::holds_alternative<Null>(v)) {
    if (required_[i]) Fail(ErrorCode::NullNotAllowed, i, "a value is required");
    return;
  }
  auto mismatch = [&]() {
    Fail(ErrorCode::TypeMismatch, i,
         std::string("a ") + AlternativeName(v) + " value cannot be stored in a " +
             std::string(ColumnTypeName(type)) + " column");
  };
  auto reserve = [&](std::size_t n) -> std::uint8_t* {
    cell.present = true;
    cell.offset = static_cast<std::uint32_t>(scratch_.size());
    cell.size = static_cast<std::uint32_t>(n);
    scratch_.resize(scratch_.size() + n);
    return scratch_.data() + cell.offset;
  };
  switch (type) {
    case ColumnType::Boolean: {
      auto* b = std::get_if<bool>(&v);
      if (!b) mismatch();
      cell.present = *b;
      return;
    }
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: {
      auto* n = std::get_if<std::int64_t>(&v);
      if (!n) mismatch();
      std::int64_t lo = type == ColumnType::Byte ? 0 : type == ColumnType::Integer ? -32768 : INT32_MIN;
      std::int64_t hi = type == ColumnType::Byte ? 255 : type == ColumnType::Integer ? 32767 : INT32_MAX;
      if (*n < lo || *n > hi) {
        Fail(ErrorCode::ValueOutOfRange, i,
             std::to_string(*n) + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
      }
      if (type == ColumnType::Byte) *reserve(1) = static_cast<std::uint8_t>(*n);
      else if (type == ColumnType::Integer) PutLe(reserve(2), static_cast<std::int16_t>(*n));
      else PutLe(reserve(4), static_cast<std::int32_t>(*n));
      return;
    }
    case ColumnType::Currency: {
      auto* m = std::get_if<Currency>(&v);
      if (!m) mismatch();
      PutLe(reserve(8), m->scaled);
      return;
    }
    case ColumnType::Single: {
      auto* d = std::get_if<double>(&v);
      if (!d) mismatch();
      if (std::isfinite(*d) && std::fabs(*d) > std::numeric_limits<float>::max()) {
        Fail(ErrorCode::ValueOutOfRange, i, "the value is too large for a Single");
      }
      PutLe(reserve(4), static_cast<float>(*d));
      return;
    }
    case ColumnType::Double: {
      auto* d = std::get_if<double>(&v);
      if (!d) mismatch();
      PutLe(reserve(8), *d);
      return;
    }
    case ColumnType::DateTime: {
      auto* d = std::get_if<DateTime>(&v);
      if (!d) mismatch();
      if (!std::isfinite(d->days)) Fail(ErrorCode::ValueOutOfRange, i, "the date is not a finite number");
      PutLe(reserve(8), d->days);
      return;
    }
    case ColumnType::Guid: {
      auto* g = std::get_if<Guid>(&v);
      if (!g) mismatch();
      std::memcpy(reserve(16), g->bytes.data(), 16);
      return;
    }
    case ColumnType::Decimal: {
      auto* d = std::get_if<Decimal>(&v);
      if (!d) mismatch();
      int colScale = ColumnDecimalScale(c);
      int precision = ColumnDecimalPrecision(c);
      u128 m = d->unscaled;
      if (m >= Pow10(29)) Fail(ErrorCode::ValueOutOfRange, i, "the Decimal value has more than 28 digits");
      if (d->scale > 28) Fail(ErrorCode::ValueOutOfRange, i, "the Decimal scale is above 28");
      if (d->scale < colScale) {
        int up = colScale - d->scale;
        if (m >= Pow10(29 - up)) Fail(ErrorCode::ValueOutOfRange, i, "the value does not fit the column's precision");
        m *= Pow10(up);
      } else if (d->scale > colScale) {
        // Extra fraction digits are rounded half away from zero, as Access does.
        u128 div = Pow10(d->scale - colScale);
        u128 rem = m % div;
        m /= div;
        if (rem * 2 >= div) ++m;
      }
      if (m >= Pow10(precision)) {
        Fail(ErrorCode::ValueOutOfRange, i,
             "the value needs more than " + std::to_string(precision) + " digits of precision");
      }
      std::uint8_t* p = reserve(17);
      p[0] = (d->negative && m != 0) ? 0x80 : 0x00;
      for (int w = 0; w < 4; ++w) Put32(p + 1 + 4 * w, static_cast<std::uint32_t>(m >> (32 * (3 - w))));
      return;
    }
    case ColumnType::Binary:
    case ColumnType::Ole: {
      auto* b = std::get_if<Bytes>(&v);
      if (!b) mismatch();
      std::size_t limit = type == ColumnType::Binary ? c.length : kMaxLongValueBytes;
      if (b->size() > limit) {
        Fail(ErrorCode::ValueOutOfRange, i,
             std::to_string(b->size()) + " bytes exceed the limit of " + std::to_string(limit));
      }
      std::uint8_t* p = reserve(b->size());
      if (!b->empty()) std::memcpy(p, b->data(), b->size());
      return;
    }
    case ColumnType::Text:
    case ColumnType::Memo: {
      auto* s = std::get_if<std::string>(&v);
      if (!s) mismatch();
      const bool compressible = (c.extraFlags & kColumnCompressible) != 0;
      if (compressible && s->size() > 2 && (type == ColumnType::Text ? s->size() <= c.length / 2u : s->size() <= 1024) &&
          IsAsciiWithoutNul(*s)) {
        // Plain ASCII text compresses to its own bytes; it needs no UTF-16 detour.
        std::uint8_t* p = reserve(2 + s->size());
        p[0] = 0xFF;
        p[1] = 0xFE;
        std::memcpy(p + 2, s->data(), s->size());
        return;
      }
      if (!Utf8ToUtf16(*s, text_)) Fail(ErrorCode::ValueOutOfRange, i, "the text is not valid UTF-8");
      if (type == ColumnType::Text && text_.size() > c.length / 2u) {
        Fail(ErrorCode::ValueOutOfRange, i,
             "the text has " + std::to_string(text_.size()) + " characters, more than the column's " +
                 std::to_string(c.length / 2));
      }
      bool compress = (c.extraFlags & kColumnCompressible) && (type == ColumnType::Text || text_.size() <= 1024);
      std::size_t before = scratch_.size();
      cell.present = true;
      cell.offset = static_cast<std::uint32_t>(before);
      AppendStoredText(text_, compress, scratch_);
      cell.size = static_cast<std::uint32_t>(scratch_.size() - before);
      if (cell.size > kMaxLongValueBytes) Fail(ErrorCode::ValueOutOfRange, i, "the text is longer than 16 MB");
      return;
    }
  }
  mismatch();
}

void RowEncoder::Prepare(const std::vector<Value>& values) {
  if (values.size() != def_.columns.size()) {
    throw Error(ErrorCode::WrongValueCount, "Table '" + tableName_ + "' has " + std::to_string(def_.columns.size()) +
                                                " columns but " + std::to_string(values.size()) + " values were given");
  }
  scratch_.clear();
  for (std::size_t i = 0; i < values.size(); ++i) EncodeCell(i, values[i]);

  // Long values stay inside the row when they are small and the row has room.
  std::size_t size = 2 + fixedSize_ + (def_.columns.size() + 7) / 8;
  if (varCount_) size += 4 + 2 * varCount_;
  for (std::size_t i = 0; i < cells_.size(); ++i) {
    const auto& c = def_.columns[i];
    if (cells_[i].present && c.fixed() && !c.isBoolean() && cells_[i].size > c.length) {
      // Only a damaged definition gives a column a slot smaller than its type.
      Fail(ErrorCode::ValueOutOfRange, i,
           "the value takes " + std::to_string(cells_[i].size) + " bytes, more than the column's " +
               std::to_string(c.length));
    }
    if (!cells_[i].present || c.fixed()) continue;
    size += c.isLong() ? kLongValueHeaderSize : cells_[i].size;
  }
  for (std::size_t i = 0; i < cells_.size(); ++i) {
    Cell& cell = cells_[i];
    if (!cell.present || !def_.columns[i].isLong()) continue;
    if (cell.size <= kMaxInlineLongValue && size + cell.size <= kMaxRowSize) {
      cell.longInline = true;
      size += cell.size;
    }
  }
  if (size > kMaxRowSize) {
    throw Error(ErrorCode::RowTooLarge, "A row of table '" + tableName_ + "' would take " + std::to_string(size) +
                                            " bytes, more than the " + std::to_string(kMaxRowSize) +
                                            " bytes a row may have");
  }
}

const std::vector<std::uint8_t>& RowEncoder::Build(const LongValueStore& store) {
  std::size_t columns = def_.columns.size();
  row_.assign(2 + fixedSize_, 0);
  Put16(row_.data(), def_.maxColumns ? def_.maxColumns : static_cast<std::uint32_t>(columns));
  std::size_t maskBytes = (std::max<std::size_t>(columns, def_.maxColumns) + 7) / 8;
  std::uint8_t mask[32] = {};
  for (std::size_t i = 0; i < columns; ++i) {
    const auto& c = def_.columns[i];
    const Cell& cell = cells_[i];
    if (!cell.present) continue;
    mask[c.number / 8] |= static_cast<std::uint8_t>(1u << (c.number % 8));
    if (c.fixed() && !c.isBoolean()) std::memcpy(row_.data() + 2 + c.fixedOffset, scratch_.data() + cell.offset, cell.size);
  }
  if (varCount_) {
    std::uint16_t offsets[256];
    for (std::uint16_t v = 0; v < varCount_; ++v) {
      offsets[v] = static_cast<std::uint16_t>(row_.size());
      std::uint16_t ci = varColumns_[v];
      if (ci == 0xFFFF || !cells_[ci].present) continue;
      const Cell& cell = cells_[ci];
      const auto& c = def_.columns[ci];
      const std::uint8_t* data = scratch_.data() + cell.offset;
      if (c.isLong()) {
        std::uint8_t header[12] = {};
        if (cell.longInline) {
          Put32(header, cell.size);
          header[3] = kLongValueInline;
        } else {
          store(c.number, {data, cell.size}, header);
          data = scratch_.data() + cell.offset;  // the store may not move scratch_, but stay safe
        }
        row_.insert(row_.end(), header, header + 12);
        if (cell.longInline) row_.insert(row_.end(), data, data + cell.size);
      } else {
        row_.insert(row_.end(), data, data + cell.size);
      }
    }
    std::size_t eod = row_.size();
    std::uint8_t tail[2 + 2 * 256 + 2];
    std::size_t t = 0;
    Put16(tail + t, static_cast<std::uint32_t>(eod));
    t += 2;
    for (int v = varCount_ - 1; v >= 0; --v) {
      Put16(tail + t, offsets[v]);
      t += 2;
    }
    Put16(tail + t, varCount_);
    t += 2;
    row_.insert(row_.end(), tail, tail + t);
  }
  row_.insert(row_.end(), mask, mask + maskBytes);
  return row_;
}

void DecodeRow(const TableDefinition& def, std::span<const std::uint8_t> row, const LongValueLoad& load,
               std::vector<Value>& out, const std::vector<bool>* wanted) {
  out.assign(def.columns.size(), Null{});
  if (row.size() < 2) return;
  std::size_t stored = Get16(row.data());
  std::size_t maskBytes = (stored + 7) / 8;
  if (maskBytes > row.size()) throw Error(ErrorCode::NotJet4, "Damaged row (null mask)");
  const std::uint8_t* mask = row.data() + row.size() - maskBytes;
  std::size_t varCount = 0, eod = 0;
  const std::uint8_t* varTable = nullptr;
  bool hasVar = def.variableCount() > 0;
  if (hasVar) {
    if (row.size() < maskBytes + 2) throw Error(ErrorCode::NotJet4, "Damaged row (variable count)");
    varCount = Get16(mask - 2);
    if (row.size() < maskBytes + 4 + 2 * varCount) throw Error(ErrorCode::NotJet4, "Damaged row (offsets)");
    varTable = mask - 2 - 2 * varCount;  // reversed: entry for index v at varTable[(varCount-1-v)*2]
    eod = Get16(varTable - 2);
  }
  auto varOffset = [&](std::size_t v) { return Get16(varTable + 2 * (varCount - 1 - v)); };
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    if (wanted && (i >= wanted->size() || !(*wanted)[i])) continue;
    const PhysicalColumn& c = def.columns[i];
    auto type = static_cast<ColumnType>(c.type);
    bool present = c.number < stored && (mask[c.number / 8] & (1u << (c.number % 8)));
    if (type == ColumnType::Boolean) {
      out[i] = present;
      continue;
    }
    if (!present) continue;
    const std::uint8_t* p;
    std::size_t len;
    if (c.fixed()) {
      p = row.data() + 2 + c.fixedOffset;
      len = c.length;
      if (2 + c.fixedOffset + len > row.size()) continue;  // a column added after the row was written
    } else {
      if (c.varIndex >= varCount) continue;
      std::size_t start = varOffset(c.varIndex);
      std::size_t end = c.varIndex + 1u < varCount ? varOffset(c.varIndex + 1) : eod;
      if (start > end || end > row.size()) throw Error(ErrorCode::NotJet4, "Damaged row (variable offsets)");
      p = row.data() + start;
      len = end - start;
    }
    switch (type) {
      case ColumnType::Byte: out[i] = static_cast<std::int64_t>(p[0]); break;
      case ColumnType::Integer: out[i] = static_cast<std::int64_t>(static_cast<std::int16_t>(Get16(p))); break;
      case ColumnType::Long: out[i] = static_cast<std::int64_t>(static_cast<std::int32_t>(Get32(p))); break;
      case ColumnType::Currency: {
        std::int64_t v;
        std::memcpy(&v, p, 8);
        out[i] = Currency{v};
        break;
      }
      case ColumnType::Single: {
        float f;
        std::memcpy(&f, p, 4);
        out[i] = static_cast<double>(f);
        break;
      }
      case ColumnType::Double: {
        double d;
        std::memcpy(&d, p, 8);
        out[i] = d;
        break;
      }
      case ColumnType::DateTime: {
        double d;
        std::memcpy(&d, p, 8);
        out[i] = DateTime{d};
        break;
      }
      case ColumnType::Guid: {
        Guid g;
        std::memcpy(g.bytes.data(), p, 16);
        out[i] = g;
        break;
      }
      case ColumnType::Decimal: {
        if (len < 17) break;
        Decimal d;
        d.negative = p[0] & 0x80;
        d.scale = c.misc[1];
        for (int w = 0; w < 4; ++w) d.unscaled = (d.unscaled << 32) | Get32(p + 1 + 4 * w);
        out[i] = d;
        break;
      }
      case ColumnType::Binary: out[i] = Bytes(p, p + len); break;
      case ColumnType::Text: out[i] = Utf16ToUtf8(DecodeStoredText({p, len})); break;
      case ColumnType::Memo:
      case ColumnType::Ole: {
        if (len < kLongValueHeaderSize) break;
        Bytes payload = load({p, len});
        if (type == ColumnType::Memo)
          out[i] = Utf16ToUtf8(DecodeStoredText(payload));
        else
          out[i] = std::move(payload);
        break;
      }
      default: break;
    }
  }
}

}  // namespace jet
