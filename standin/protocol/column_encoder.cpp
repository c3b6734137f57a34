#include "protocol/column_encoder.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "types/collation.h"
#include "types/date_styles.h"
#include "types/datetime_text.h"
#include "protocol/tds_tokens.h"
#include "types/text_encoding.h"
#include "storage/variant_storage.h"

namespace standin {
namespace {

enum WireType : uint8_t {
  kImage = 0x22, kText = 0x23, kGuid = 0x24, kIntN = 0x26, kDateN = 0x28, kTimeN = 0x29,
  kDateTime2N = 0x2A, kNText = 0x63, kBitN = 0x68, kDecimalN = 0x6A, kNumericN = 0x6C,
  kFloatN = 0x6D, kMoneyN = 0x6E, kDateTimeN = 0x6F, kBigVarBinary = 0xA5, kBigVarChar = 0xA7,
  kBigBinary = 0xAD, kBigChar = 0xAF, kNVarChar = 0xE7, kNChar = 0xEF,
  kDateTimeOffsetN = 0x2B, kVariant = 0x62, kXml = 0xF1, kUdt = 0xF0,
  // fixed-length types, as sql_variant names its base type
  kInt1 = 0x30, kBit = 0x32, kInt2 = 0x34, kInt4 = 0x38, kDateTim4 = 0x3A, kFlt4 = 0x3B, kMoney = 0x3C,
  kDateTime = 0x3D, kFlt8 = 0x3E, kMoney4 = 0x7A, kInt8 = 0x7F,
};

// What SQL Server names as the CLR type of hierarchyid columns.
constexpr char kHierarchyIdAssembly[] =
    "Microsoft.SqlServer.Types.SqlHierarchyId, Microsoft.SqlServer.Types, Version=11.0.0.0, Culture=neutral, "
    "PublicKeyToken=89845dcd8080cc91";
constexpr int kVariantMaxLength = 8016;
constexpr int kHierarchyIdMaxLength = 892;
constexpr char kGeographyAssembly[] =
    "Microsoft.SqlServer.Types.SqlGeography, Microsoft.SqlServer.Types, Version=11.0.0.0, Culture=neutral, "
    "PublicKeyToken=89845dcd8080cc91";
constexpr char kGeometryAssembly[] =
    "Microsoft.SqlServer.Types.SqlGeometry, Microsoft.SqlServer.Types, Version=11.0.0.0, Culture=neutral, "
    "PublicKeyToken=89845dcd8080cc91";

// A value built in memory (sql_variant wraps its base value).
struct ByteBuffer {
  std::vector<uint8_t> b;
  uint32_t version = kTds74;
  uint32_t tdsVersion() const { return version; }
  void U8(uint8_t v) { b.push_back(v); }
  void U16(uint16_t v) { Raw(&v, 2); }
  void U32(uint32_t v) { Raw(&v, 4); }
  void I32(int32_t v) { Raw(&v, 4); }
  void U64(uint64_t v) { Raw(&v, 8); }
  void Raw(const void* p, size_t n) {
    const auto* c = static_cast<const uint8_t*>(p);
    b.insert(b.end(), c, c + n);
  }
  void Bytes(const std::vector<uint8_t>& v) { Raw(v.data(), v.size()); }
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

// The collation bytes a character column is labelled with.
const std::vector<uint8_t>& CollationBytes(const SqlType& t) {
  if (!t.collation) return kCollation;
  thread_local const Collation* last = nullptr;
  thread_local std::vector<uint8_t> bytes;
  if (last != t.collation) {
    bytes = t.collation->wireBytes();
    last = t.collation;
  }
  return bytes;
}

// char/varchar/text data in the code page of the column's collation.
std::string NarrowBytes(const SqlType& t, std::string_view utf8) {
  if (t.collation && t.collation->codePage != 1252) return EncodeForCollation(*t.collation, utf8);
  return ToCp1252(utf8);
}

int DecimalWireLength(int precision) {
  return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
}

int TimeWireLength(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

void TableName(ReplyWriter& w, const std::string& table) {
  if (!Tds72Plus(w.tdsVersion())) {  // one name before 7.2
    w.UsVarchar("dbo." + (table.empty() ? std::string("T") : table));
    return;
  }
  w.U8(2);
  w.UsVarchar("dbo");
  w.UsVarchar(table.empty() ? "T" : table);
}

// The type a column travels as to a client of `version`, as SQL Server sends
// it: before 7.3 the date and time types as nvarchar of their literal length;
// before 7.2 the (max) types, xml and CLR types as text, ntext and image.
SqlType WireType(const SqlType& t, uint32_t version) {
  SqlType w = t;
  if (!Tds73Plus(version)) {
    auto text = [&](int length) { w = SqlType{TypeKind::NVarChar, length, 0, 0}; };
    const int fraction = t.scale > 0 ? t.scale + 1 : 0;
    switch (t.kind) {
      case TypeKind::Date: text(10); break;
      case TypeKind::Time: text(8 + fraction); break;
      case TypeKind::DateTime2: text(19 + fraction); break;
      case TypeKind::DateTimeOffset: text(26 + fraction); break;
      default: break;
    }
  }
  if (!Tds72Plus(version)) {
    if (w.IsMax()) {
      if (w.kind == TypeKind::VarChar) w = SqlType{TypeKind::Text, 0, 0, 0, t.collation};
      else if (w.kind == TypeKind::NVarChar) w = SqlType{TypeKind::NText, 0, 0, 0, t.collation};
      else if (w.kind == TypeKind::VarBinary) w = SqlType{TypeKind::Image, 0, 0, 0};
    }
    if (w.kind == TypeKind::Xml) w = SqlType{TypeKind::NText, 0, 0, 0};
    if (w.kind == TypeKind::HierarchyId || w.kind == TypeKind::Geography || w.kind == TypeKind::Geometry)
      w = SqlType{TypeKind::Image, 0, 0, 0};
  }
  return w;
}

bool ChangesBefore73(TypeKind k) {
  return k == TypeKind::Date || k == TypeKind::Time || k == TypeKind::DateTime2 || k == TypeKind::DateTimeOffset ||
         k == TypeKind::VarChar || k == TypeKind::NVarChar || k == TypeKind::VarBinary || k == TypeKind::Xml ||
         k == TypeKind::HierarchyId || k == TypeKind::Geography || k == TypeKind::Geometry;
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
      w.Bytes(CollationBytes(t));
      break;
    case TypeKind::NChar: case TypeKind::NVarChar:
      w.U8(t.kind == TypeKind::NChar ? kNChar : kNVarChar);
      w.U16(t.IsMax() ? 0xFFFF : static_cast<uint16_t>(2 * t.length));
      w.Bytes(CollationBytes(t));
      break;
    case TypeKind::Text: case TypeKind::NText:
      w.U8(t.kind == TypeKind::Text ? kText : kNText);
      w.I32(t.kind == TypeKind::Text ? 0x7FFFFFFF : 0x7FFFFFFE);
      w.Bytes(CollationBytes(t));
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
    case TypeKind::DateTimeOffset: w.U8(kDateTimeOffsetN); w.U8(static_cast<uint8_t>(t.scale)); break;
    case TypeKind::SqlVariant: w.U8(kVariant); w.I32(kVariantMaxLength); break;
    case TypeKind::Xml: w.U8(kXml); w.U8(0); break;  // no schema collection
    case TypeKind::HierarchyId:
      // A CLR type: maximum size, database, schema, type name, assembly.
      w.U8(kUdt);
      w.U16(kHierarchyIdMaxLength);
      w.BVarchar("");
      w.BVarchar("sys");
      w.BVarchar("hierarchyid");
      w.UsVarchar(kHierarchyIdAssembly);
      break;
    case TypeKind::Geography: case TypeKind::Geometry: {
      // Spatial CLR types are "large": a maximum size of 0xFFFF, values in PLP chunks.
      const bool geography = t.kind == TypeKind::Geography;
      w.U8(kUdt);
      w.U16(0xFFFF);
      w.BVarchar("");
      w.BVarchar("sys");
      w.BVarchar(geography ? "geography" : "geometry");
      w.UsVarchar(geography ? kGeographyAssembly : kGeometryAssembly);
      break;
    }
  }
}

// Variable-length value: USHORT length (0xFFFF = NULL), or PLP for (max) types.
// A value longer than the declared size (only computed columns can have one)
// is cut to it, so the stream stays well-formed.
template <class W>
void WriteVariable(W& w, bool plp, bool isNull, const uint8_t* data, size_t size, size_t maxBytes) {
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

template <class W>
void WriteTextPointerValue(W& w, bool isNull, const uint8_t* data, size_t size) {
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

template <class W>
void WriteDecimal(W& w, const SqlType& t, const Cell& c) {
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

template <class W>
void WriteTimeBytes(W& w, const DateTimeParts& v, int scale) {
  uint64_t units = static_cast<uint64_t>(v.hour) * 3600 + v.minute * 60 + v.second;
  int64_t fracUnit = 1000000000;
  for (int k = 0; k < scale; ++k) { units *= 10; fracUnit /= 10; }
  units += static_cast<uint64_t>(v.nanos / fracUnit);
  const int length = TimeWireLength(scale);
  for (int i = 0; i < length; ++i) w.U8(static_cast<uint8_t>(units >> (8 * i)));
}

template <class W>
void WriteDateBytes(W& w, const DateTimeParts& v) {
  const auto days = static_cast<uint32_t>(DaysFromCivil(v.year, v.month, v.day));
  w.U8(days & 0xFF);
  w.U8((days >> 8) & 0xFF);
  w.U8((days >> 16) & 0xFF);
}

template <class W>
void WriteGuid(W& w, const Cell& c) {
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

template <class W>
void WriteValue(W& w, const ResultColumn& col, const Cell& c);

Cell CellOf(const StoredValue& s) {
  Cell c;
  switch (s.kind) {
    case StoredValue::Kind::Integer: c.kind = Cell::Kind::Integer; c.integer = s.integer; break;
    case StoredValue::Kind::Real: c.kind = Cell::Kind::Real; c.real = s.real; break;
    case StoredValue::Kind::Text:
      c.kind = Cell::Kind::Text;
      c.data = reinterpret_cast<const uint8_t*>(s.text.data());
      c.size = s.text.size();
      break;
    case StoredValue::Kind::Blob: c.kind = Cell::Kind::Blob; c.data = s.blob.data(); c.size = s.blob.size(); break;
    default: break;
  }
  return c;
}

StoredValue StoredOf(const Cell& c) {
  StoredValue s;
  switch (c.kind) {
    case Cell::Kind::Integer: s.kind = StoredValue::Kind::Integer; s.integer = c.integer; break;
    case Cell::Kind::Real: s.kind = StoredValue::Kind::Real; s.real = c.real; break;
    case Cell::Kind::Text: s.kind = StoredValue::Kind::Text; s.text.assign(reinterpret_cast<const char*>(c.data), c.size); break;
    case Cell::Kind::Blob: s.kind = StoredValue::Kind::Blob; s.blob.assign(c.data, c.data + c.size); break;
    default: break;
  }
  return s;
}

// sql_variant: total length (0 for NULL), base type, its properties, then the
// base value as a column of that type would carry it, without its length prefix.
template <class W>
void WriteVariant(W& w, const Cell& c) {
  const auto v = c.kind == Cell::Kind::Null ? std::nullopt : LoadVariant(StoredOf(c));
  if (!v) { w.I32(0); return; }
  const SqlType t = WireType(v->base, w.tdsVersion());
  ByteBuffer props;
  uint8_t type = 0;
  size_t lengthPrefix = 1;
  switch (t.kind) {
    case TypeKind::Int: type = kInt4; break;
    case TypeKind::SmallInt: type = kInt2; break;
    case TypeKind::TinyInt: type = kInt1; break;
    case TypeKind::BigInt: type = kInt8; break;
    case TypeKind::Bit: type = kBit; break;
    case TypeKind::Float: type = kFlt8; break;
    case TypeKind::Real: type = kFlt4; break;
    case TypeKind::Money: type = kMoney; break;
    case TypeKind::SmallMoney: type = kMoney4; break;
    case TypeKind::DateTime: type = kDateTime; break;
    case TypeKind::SmallDateTime: type = kDateTim4; break;
    case TypeKind::UniqueIdentifier: type = kGuid; break;
    case TypeKind::Date: type = kDateN; break;
    case TypeKind::Decimal: case TypeKind::Numeric:
      type = t.kind == TypeKind::Decimal ? kDecimalN : kNumericN;
      props.U8(static_cast<uint8_t>(t.precision));
      props.U8(static_cast<uint8_t>(t.scale));
      break;
    case TypeKind::Time: case TypeKind::DateTime2: case TypeKind::DateTimeOffset:
      type = t.kind == TypeKind::Time ? kTimeN : t.kind == TypeKind::DateTime2 ? kDateTime2N : kDateTimeOffsetN;
      props.U8(static_cast<uint8_t>(t.scale));
      break;
    case TypeKind::Char: case TypeKind::VarChar: case TypeKind::NChar: case TypeKind::NVarChar: {
      const bool wide = IsNCharKind(t.kind);
      type = t.kind == TypeKind::Char ? kBigChar : t.kind == TypeKind::VarChar ? kBigVarChar
             : t.kind == TypeKind::NChar ? kNChar : kNVarChar;
      props.Bytes(CollationBytes(t));
      props.U16(static_cast<uint16_t>(wide ? 2 * t.length : t.length));
      lengthPrefix = 2;
      break;
    }
    case TypeKind::Binary: case TypeKind::VarBinary:
      type = t.kind == TypeKind::Binary ? kBigBinary : kBigVarBinary;
      props.U16(static_cast<uint16_t>(t.length));
      lengthPrefix = 2;
      break;
    default: w.I32(0); return;  // not a base type sql_variant can hold
  }
  ByteBuffer data;
  data.version = w.tdsVersion();
  WriteValue(data, ResultColumn{"", t, true, false, ""}, CellOf(v->stored));
  const size_t valueSize = data.b.size() - lengthPrefix;
  w.I32(static_cast<int32_t>(2 + props.b.size() + valueSize));
  w.U8(type);
  w.U8(static_cast<uint8_t>(props.b.size()));
  w.Raw(props.b.data(), props.b.size());
  w.Raw(data.b.data() + lengthPrefix, valueSize);
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
  const uint32_t version = w.tdsVersion();
  for (const auto& original : columns) {
    ResultColumn col = original;
    col.type = WireType(original.type, version);
    const bool timestamp = col.type.kind == TypeKind::Timestamp;
    if (Tds72Plus(version)) w.U32(timestamp ? 80 : 0);
    else w.U16(timestamp ? 80 : 0);
    uint16_t flags = col.nullable ? 0x0001 : 0;
    if (col.identity) flags |= 0x0010;
    else if (!timestamp) flags |= 0x0008;
    w.U16(flags);
    WriteTypeInfo(w, col);
    w.BVarchar(col.name);
  }
}

namespace {

template <class W>
void WriteValue(W& w, const ResultColumn& col, const Cell& c) {
  if (w.tdsVersion() < 0x73000000 && ChangesBefore73(col.type.kind)) {
    const SqlType wire = WireType(col.type, w.tdsVersion());
    if (wire.kind != col.type.kind || wire.length != col.type.length) {
      ResultColumn down = col;
      down.type = wire;
      WriteValue(w, down, c);
      return;
    }
  }
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
      static const int64_t kDay1900 = DaysFromCivil(1900, 1, 1);
      if (t.kind == TypeKind::DateTime) {
        const int64_t days = DaysFromCivil(v.year, v.month, v.day) - kDay1900;
        const int64_t ticks = (v.hour * 3600LL + v.minute * 60 + v.second) * 300 + (v.nanos * 3 + 5000000) / 10000000;
        w.U8(8);
        w.I32(static_cast<int32_t>(days));
        w.U32(static_cast<uint32_t>(ticks));
      } else if (t.kind == TypeKind::SmallDateTime) {
        const int64_t days = DaysFromCivil(v.year, v.month, v.day) - kDay1900;
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
      const std::string bytes = isNull ? std::string() : NarrowBytes(t, AsText(c, scratch));
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
    case TypeKind::DateTimeOffset: {
      if (isNull) { w.U8(0); return; }
      // Time and date travel in UTC, followed by the offset in minutes.
      const auto stored = RecognizeStoredDate(AsText(c, scratch));
      DateTimeParts v = stored ? stored->parts : DateTimeParts{};
      const int offset = stored ? stored->offsetMinutes : 0;
      int64_t seconds = v.hour * 3600LL + v.minute * 60LL + v.second - offset * 60LL;
      int64_t days = DaysFromCivil(v.year, v.month, v.day);
      while (seconds < 0) { seconds += 86400; --days; }
      while (seconds >= 86400) { seconds -= 86400; ++days; }
      CivilFromDays(days, v.year, v.month, v.day);
      v.hour = static_cast<int>(seconds / 3600);
      v.minute = static_cast<int>(seconds / 60 % 60);
      v.second = static_cast<int>(seconds % 60);
      w.U8(static_cast<uint8_t>(TimeWireLength(t.scale) + 5));
      WriteTimeBytes(w, v, t.scale);
      WriteDateBytes(w, v);
      w.U16(static_cast<uint16_t>(static_cast<int16_t>(offset)));
      return;
    }
    case TypeKind::Xml:
      wide.clear();
      if (!isNull) AppendUtf16(AsText(c, scratch), wide);
      WriteVariable(w, true, isNull, wide.data(), wide.size(), 0);
      return;
    case TypeKind::HierarchyId: case TypeKind::Geography: case TypeKind::Geometry: {
      std::string_view bytes = isNull ? std::string_view() : AsText(c, scratch);
      WriteVariable(w, true, isNull, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 0);
      return;
    }
    case TypeKind::SqlVariant:
      WriteVariant(w, c);
      return;
  }
}

}  // namespace

void WriteColumnValue(ReplyWriter& w, const ResultColumn& col, const Cell& c) { WriteValue(w, col, c); }

void WriteReturnValue(ReplyWriter& w, uint16_t ordinal, std::string_view name, const ResultColumn& column, const Cell& cell) {
  w.U8(0xAC);  // RETURNVALUE
  w.U16(ordinal);
  w.BVarchar(name);
  w.U8(0x01);  // the value of an output parameter
  ResultColumn wire = column;
  wire.type = WireType(column.type, w.tdsVersion());
  if (Tds72Plus(w.tdsVersion())) w.U32(0);  // user type
  else w.U16(0);
  w.U16(0x0009);  // nullable, updatable: as SQL Server flags a parameter
  WriteTypeInfo(w, wire);
  WriteValue(w, column, cell);
}

}  // namespace standin
