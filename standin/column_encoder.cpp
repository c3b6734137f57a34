#include "column_encoder.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "datetime_text.h"
#include "tds_tokens.h"
#include "text_encoding.h"

namespace standin {
namespace {

enum WireType : uint8_t {
  kImage = 0x22, kText = 0x23, kGuid = 0x24, kIntN = 0x26, kDateN = 0x28, kTimeN = 0x29,
  kDateTime2N = 0x2A, kNText = 0x63, kBitN = 0x68, kDecimalN = 0x6A, kNumericN = 0x6C,
  kFloatN = 0x6D, kMoneyN = 0x6E, kDateTimeN = 0x6F, kBigVarBinary = 0xA5, kBigVarChar = 0xA7,
  kBigBinary = 0xAD, kBigChar = 0xAF, kNVarChar = 0xE7, kNChar = 0xEF,
};

constexpr uint64_t kPlpNull = ~0ULL;
const uint8_t kTextPointer[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
const uint8_t kTextTimestamp[8] = {};

std::string_view AsText(const Cell& c, std::string& scratch) {
  switch (c.kind) {
    case Cell::Kind::Text: case Cell::Kind::Blob:
      return {reinterpret_cast<const char*>(c.data), c.size};
    case Cell::Kind::Integer: scratch = std::to_string(c.integer); return scratch;
    case Cell::Kind::Real: {
      char b[40];
      std::snprintf(b, sizeof b, "%.17g", c.real);
      scratch = b;
      return scratch;
    }
    default: return {};
  }
}

int64_t AsInteger(const Cell& c) {
  switch (c.kind) {
    case Cell::Kind::Integer: return c.integer;
    case Cell::Kind::Real: return static_cast<int64_t>(c.real);
    case Cell::Kind::Text: return std::strtoll(std::string(reinterpret_cast<const char*>(c.data), c.size).c_str(), nullptr, 10);
    default: return 0;
  }
}

double AsReal(const Cell& c) {
  switch (c.kind) {
    case Cell::Kind::Integer: return static_cast<double>(c.integer);
    case Cell::Kind::Real: return c.real;
    case Cell::Kind::Text: return std::strtod(std::string(reinterpret_cast<const char*>(c.data), c.size).c_str(), nullptr);
    default: return 0;
  }
}

int DecimalWireLength(int precision) {
  return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}

int TimeWireLength(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

void TableName(ReplyWriter& w, const std::string& table) {
  w.U8(2);
  w.UsVarchar("dbo");
  w.UsVarchar(table.empty() ? "T" : table);
}

void WriteTypeInfo(ReplyWriter& w, const ResultColumn& col) {
  const SqlType& t = col.type;
  switch (t.kind) {
    case TypeKind::Int: w.U8(kIntN); w.U8(4); break;
    case TypeKind::SmallInt: w.U8(kIntN); w.U8(2); break;
    case TypeKind::TinyInt: w.U8(kIntN); w.U8(1); break;
    case TypeKind::BigInt: w.U8(kIntN); w.U8(8); break;
    case TypeKind::Bit: w.U8(kBitN); w.U8(1); break;
    case TypeKind::Decimal: case TypeKind::Numeric:
      w.U8(t.kind == TypeKind::Decimal ? kDecimalN : kNumericN);
      w.U8(static_cast<uint8_t>(DecimalWireLength(t.precision)));
      w.U8(static_cast<uint8_t>(t.precision));
      w.U8(static_cast<uint8_t>(t.scale));
      break;
    case TypeKind::Money: w.U8(kMoneyN); w.U8(8); break;
    case TypeKind::SmallMoney: w.U8(kMoneyN); w.U8(4); break;
    case TypeKind::Float: w.U8(kFloatN); w.U8(8); break;
    case TypeKind::Real: w.U8(kFloatN); w.U8(4); break;
    case TypeKind::DateTime: w.U8(kDateTimeN); w.U8(8); break;
    case TypeKind::SmallDateTime: w.U8(kDateTimeN); w.U8(4); break;
    case TypeKind::Date: w.U8(kDateN); break;
    case TypeKind::Time: w.U8(kTimeN); w.U8(static_cast<uint8_t>(t.scale)); break;
    case TypeKind::DateTime2: w.U8(kDateTime2N); w.U8(static_cast<uint8_t>(t.scale)); break;
    case TypeKind::Char: case TypeKind::VarChar:
      w.U8(t.kind == TypeKind::Char ? kBigChar : kBigVarChar);
      w.U16(t.IsMax() ? 0xFFFF : static_cast<uint16_t>(t.length));
      w.Bytes(kCollation);
      break;
    case TypeKind::NChar: case TypeKind::NVarChar:
      w.U8(t.kind == TypeKind::NChar ? kNChar : kNVarChar);
      w.U16(t.IsMax() ? 0xFFFF : static_cast<uint16_t>(2 * t.length));
      w.Bytes(kCollation);
      break;
    case TypeKind::Text: case TypeKind::NText:
      w.U8(t.kind == TypeKind::Text ? kText : kNText);
      w.I32(t.kind == TypeKind::Text ? 0x7FFFFFFF : 0x7FFFFFFE);
      w.Bytes(kCollation);
      TableName(w, col.table);
      break;
    case TypeKind::Image:
      w.U8(kImage);
      w.I32(0x7FFFFFFF);
      TableName(w, col.table);
      break;
    case TypeKind::Binary: case TypeKind::VarBinary:
      w.U8(t.kind == TypeKind::Binary ? kBigBinary : kBigVarBinary);
      w.U16(t.IsMax() ? 0xFFFF : static_cast<uint16_t>(t.length));
      break;
    case TypeKind::Timestamp: w.U8(kBigBinary); w.U16(8); break;
    case TypeKind::UniqueIdentifier: w.U8(kGuid); w.U8(16); break;
  }
}

// Variable-length value: USHORT length (0xFFFF = NULL), or PLP for (max) types.
// A value longer than the declared size (only computed columns can have one)
// is cut to it, so the stream stays well-formed.
void WriteVariable(ReplyWriter& w, bool plp, bool isNull, const uint8_t* data, size_t size, size_t maxBytes) {
  if (!plp && size > maxBytes) size = maxBytes;
  if (plp) {
    if (isNull) { w.U64(kPlpNull); return; }
    w.U64(size);
    if (size > 0) {
      w.U32(static_cast<uint32_t>(size));
      w.Raw(data, size);
    }
    w.U32(0);
    return;
  }
  if (isNull) { w.U16(0xFFFF); return; }
  w.U16(static_cast<uint16_t>(size));
  w.Raw(data, size);
}

void WriteTextPointerValue(ReplyWriter& w, bool isNull, const uint8_t* data, size_t size) {
  if (isNull) { w.U8(0); return; }
  w.U8(16);
  w.Raw(kTextPointer, 16);
  w.Raw(kTextTimestamp, 8);
  w.I32(static_cast<int32_t>(size));
  w.Raw(data, size);
}

// Decimal text of a stored exact value; doubles print with the column's scale.
std::string_view DecimalText(const Cell& c, int scale, std::string& scratch) {
  if (c.kind == Cell::Kind::Real) {
    char b[400];
    std::snprintf(b, sizeof b, "%.*f", scale, c.real);
    scratch = b;
    return scratch;
  }
  return AsText(c, scratch);
}

// Money travels as value × 10⁴ in 64 bits.
int64_t ScaledMoney(const Cell& c) {
  if (c.kind == Cell::Kind::Integer) return c.integer * 10000;
  if (c.kind == Cell::Kind::Real) return std::llround(c.real * 10000.0);
  std::string scratch;
  const std::string_view s = AsText(c, scratch);
  bool negative = false;
  int64_t v = 0;
  int fraction = -1;
  for (char ch : s) {
    if (ch == '-') negative = true;
    else if (ch == '.') fraction = 0;
    else if (ch >= '0' && ch <= '9' && fraction < 4) {
      v = v * 10 - (ch - '0');  // accumulate negatively: -922337203685477.5808 fits
      if (fraction >= 0) ++fraction;
    }
  }
  for (int k = fraction < 0 ? 0 : fraction; k < 4; ++k) v *= 10;
  return negative ? v : -v;
}

void WriteDecimal(ReplyWriter& w, const SqlType& t, const Cell& c) {
  std::string scratch;
  std::string_view s = DecimalText(c, t.scale, scratch);
  bool negative = false;
  unsigned __int128 magnitude = 0;
  int fracDigits = -1;
  for (char ch : s) {
    if (ch == '-') negative = true;
    else if (ch == '.') fracDigits = 0;
    else if (ch >= '0' && ch <= '9') {
      if (fracDigits >= t.scale) continue;  // stored text never has more; be safe
      magnitude = magnitude * 10 + static_cast<unsigned>(ch - '0');
      if (fracDigits >= 0) ++fracDigits;
    }
  }
  for (int k = fracDigits < 0 ? 0 : fracDigits; k < t.scale; ++k) magnitude *= 10;
  const int length = DecimalWireLength(t.precision);
  w.U8(static_cast<uint8_t>(length));
  w.U8(negative && magnitude != 0 ? 0 : 1);
  for (int i = 0; i < length - 1; ++i) w.U8(static_cast<uint8_t>(magnitude >> (8 * i)));
}

void WriteTimeBytes(ReplyWriter& w, const DateTimeParts& v, int scale) {
  uint64_t units = static_cast<uint64_t>(v.hour) * 3600 + v.minute * 60 + v.second;
  int64_t fracUnit = 1000000000;
  for (int k = 0; k < scale; ++k) { units *= 10; fracUnit /= 10; }
  units += static_cast<uint64_t>(v.nanos / fracUnit);
  const int length = TimeWireLength(scale);
  for (int i = 0; i < length; ++i) w.U8(static_cast<uint8_t>(units >> (8 * i)));
}

void WriteDateBytes(ReplyWriter& w, const DateTimeParts& v) {
  const auto days = static_cast<uint32_t>(DaysFromCivil(v.year, v.month, v.day));
  w.U8(days & 0xFF);
  w.U8((days >> 8) & 0xFF);
  w.U8((days >> 16) & 0xFF);
}

void WriteGuid(ReplyWriter& w, const Cell& c) {
  std::string scratch;
  std::string_view s = AsText(c, scratch);
  uint8_t raw[16] = {};
  int n = 0;
  for (size_t i = 0; i + 1 < s.size() && n < 16;) {
    if (s[i] == '-') { ++i; continue; }
    raw[n++] = static_cast<uint8_t>(std::strtoul(std::string(s.substr(i, 2)).c_str(), nullptr, 16));
    i += 2;
  }
  // Data1..Data3 travel little-endian, the last eight bytes as they are.
  const uint8_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  w.U8(16);
  for (uint8_t k : order) w.U8(raw[k]);
}

}  // namespace

Cell Cell::FromStatement(sqlite3_stmt* stmt, int index) {
  Cell c;
  switch (sqlite3_column_type(stmt, index)) {
    case SQLITE_INTEGER: c.kind = Kind::Integer; c.integer = sqlite3_column_int64(stmt, index); break;
    case SQLITE_FLOAT: c.kind = Kind::Real; c.real = sqlite3_column_double(stmt, index); break;
    case SQLITE_TEXT:
      c.kind = Kind::Text;
      c.data = sqlite3_column_text(stmt, index);
      c.size = static_cast<size_t>(sqlite3_column_bytes(stmt, index));
      break;
    case SQLITE_BLOB:
      c.kind = Kind::Blob;
      c.data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, index));
      c.size = static_cast<size_t>(sqlite3_column_bytes(stmt, index));
      break;
    default: break;
  }
  return c;
}

void WriteColumnMetadata(ReplyWriter& w, const std::vector<ResultColumn>& columns) {
  w.U8(kTokColMetadata);
  w.U16(static_cast<uint16_t>(columns.size()));
  for (const auto& col : columns) {
    const bool timestamp = col.type.kind == TypeKind::Timestamp;
    w.U32(timestamp ? 80 : 0);
    uint16_t flags = col.nullable ? 0x0001 : 0;
    if (col.identity) flags |= 0x0010;
    else if (!timestamp) flags |= 0x0008;
    w.U16(flags);
    WriteTypeInfo(w, col);
    w.BVarchar(col.name);
  }
}

void WriteColumnValue(ReplyWriter& w, const ResultColumn& col, const Cell& c) {
  const SqlType& t = col.type;
  const bool isNull = c.kind == Cell::Kind::Null;
  thread_local std::vector<uint8_t> wide;
  thread_local std::string scratch;
  switch (t.kind) {
    case TypeKind::Int: case TypeKind::SmallInt: case TypeKind::TinyInt: case TypeKind::BigInt: {
      if (isNull) { w.U8(0); return; }
      const int size = t.kind == TypeKind::Int ? 4 : t.kind == TypeKind::SmallInt ? 2 : t.kind == TypeKind::TinyInt ? 1 : 8;
      const int64_t v = AsInteger(c);
      w.U8(static_cast<uint8_t>(size));
      w.Raw(&v, size);  // little-endian host
      return;
    }
    case TypeKind::Bit:
      if (isNull) { w.U8(0); return; }
      w.U8(1);
      w.U8(AsInteger(c) != 0 ? 1 : 0);
      return;
    case TypeKind::Decimal: case TypeKind::Numeric:
      if (isNull) { w.U8(0); return; }
      WriteDecimal(w, t, c);
      return;
    case TypeKind::Money: case TypeKind::SmallMoney: {
      if (isNull) { w.U8(0); return; }
      const int64_t v = ScaledMoney(c);
      if (t.kind == TypeKind::SmallMoney) {
        w.U8(4);
        w.I32(static_cast<int32_t>(v));
      } else {
        w.U8(8);
        w.I32(static_cast<int32_t>(v >> 32));
        w.U32(static_cast<uint32_t>(v & 0xFFFFFFFF));
      }
      return;
    }
    case TypeKind::Float: {
      if (isNull) { w.U8(0); return; }
      const double d = AsReal(c);
      w.U8(8);
      w.Raw(&d, 8);
      return;
    }
    case TypeKind::Real: {
      if (isNull) { w.U8(0); return; }
      const float f = static_cast<float>(AsReal(c));
      w.U8(4);
      w.Raw(&f, 4);
      return;
    }
    case TypeKind::DateTime: case TypeKind::SmallDateTime: case TypeKind::Date: case TypeKind::Time:
    case TypeKind::DateTime2: {
      if (isNull) { w.U8(0); return; }
      const DateTimeParts v = ParseStoredDateTime(AsText(c, scratch));
      if (t.kind == TypeKind::DateTime) {
        const int64_t days = DaysFromCivil(v.year, v.month, v.day) - DaysFromCivil(1900, 1, 1);
        const int64_t ticks = (v.hour * 3600LL + v.minute * 60 + v.second) * 300 + (v.nanos * 3 + 5000000) / 10000000;
        w.U8(8);
        w.I32(static_cast<int32_t>(days));
        w.U32(static_cast<uint32_t>(ticks));
      } else if (t.kind == TypeKind::SmallDateTime) {
        const int64_t days = DaysFromCivil(v.year, v.month, v.day) - DaysFromCivil(1900, 1, 1);
        w.U8(4);
        w.U16(static_cast<uint16_t>(days));
        w.U16(static_cast<uint16_t>(v.hour * 60 + v.minute));
      } else if (t.kind == TypeKind::Date) {
        w.U8(3);
        WriteDateBytes(w, v);
      } else if (t.kind == TypeKind::Time) {
        w.U8(static_cast<uint8_t>(TimeWireLength(t.scale)));
        WriteTimeBytes(w, v, t.scale);
      } else {
        w.U8(static_cast<uint8_t>(TimeWireLength(t.scale) + 3));
        WriteTimeBytes(w, v, t.scale);
        WriteDateBytes(w, v);
      }
      return;
    }
    case TypeKind::Char: case TypeKind::VarChar: case TypeKind::Text: {
      const std::string bytes = isNull ? std::string() : ToCp1252(AsText(c, scratch));
      const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
      if (t.kind == TypeKind::Text) WriteTextPointerValue(w, isNull, data, bytes.size());
      else WriteVariable(w, t.IsMax(), isNull, data, bytes.size(), static_cast<size_t>(t.length));
      return;
    }
    case TypeKind::NChar: case TypeKind::NVarChar: case TypeKind::NText: {
      wide.clear();
      if (!isNull) AppendUtf16(AsText(c, scratch), wide);
      if (t.kind == TypeKind::NText) WriteTextPointerValue(w, isNull, wide.data(), wide.size());
      else WriteVariable(w, t.IsMax(), isNull, wide.data(), wide.size(), 2 * static_cast<size_t>(t.length));
      return;
    }
    case TypeKind::Binary: case TypeKind::VarBinary: case TypeKind::Image: case TypeKind::Timestamp: {
      std::string_view bytes = isNull ? std::string_view() : AsText(c, scratch);
      const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
      if (t.kind == TypeKind::Image) WriteTextPointerValue(w, isNull, data, bytes.size());
      else WriteVariable(w, t.IsMax(), isNull, data, bytes.size(), t.kind == TypeKind::Timestamp ? 8 : static_cast<size_t>(t.length));
      return;
    }
    case TypeKind::UniqueIdentifier:
      if (isNull) { w.U8(0); return; }
      WriteGuid(w, c);
      return;
  }
}

}  // namespace standin
