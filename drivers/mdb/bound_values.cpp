#include "bound_values.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "date_time_text.h"
#include "literal_values.h"
#include "sql_error.h"

namespace mdb {
namespace {

using jet::ColumnType;
using Kind = Literal::Kind;

template <typename T>
T Read(const char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);  // row-wise structures need not be aligned
  return value;
}

std::string Named(int parameter) { return "parameter " + std::to_string(parameter + 1); }

// Bytes one element of a column-wise array takes.
SQLLEN ElementSize(const ParameterBinding& binding) {
  switch (binding.cType) {
    case SQL_C_BIT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_TINYINT: return 1;
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_SHORT: return 2;
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_LONG: return 4;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT: return 8;
    case SQL_C_FLOAT: return sizeof(float);
    case SQL_C_DOUBLE: return sizeof(double);
    case SQL_C_TYPE_TIMESTAMP: return sizeof(SQL_TIMESTAMP_STRUCT);
    case SQL_C_TYPE_DATE: return sizeof(SQL_DATE_STRUCT);
    case SQL_C_TYPE_TIME: return sizeof(SQL_TIME_STRUCT);
    case SQL_C_GUID: return sizeof(SQLGUID);
    default: return binding.bufferLength;  // character and binary data
  }
}

void StoreLiteral(Kind kind, std::string_view text, bool negative, const jet::ColumnDef& column,
                  jet::Value& into) {
  Literal literal;
  literal.kind = kind;
  literal.text = text;
  literal.negative = negative;
  StoreColumnValue(literal, column, into);
}

void StoreWhole(bool negative, std::uint64_t magnitude, const jet::ColumnDef& column, jet::Value& into) {
  if (magnitude <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    std::int64_t low = 1, high = 0;
    if (column.type == ColumnType::Long) low = std::numeric_limits<std::int32_t>::min(), high = std::numeric_limits<std::int32_t>::max();
    if (column.type == ColumnType::Integer) low = -32768, high = 32767;
    if (column.type == ColumnType::Byte) low = 0, high = 255;
    if (value >= low && value <= high) {
      into = value;
      return;
    }
  }
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, magnitude).ptr;
  StoreLiteral(Kind::Number, std::string_view(digits, static_cast<std::size_t>(end - digits)),
               negative && magnitude != 0, column, into);
}

void StoreSigned(std::int64_t value, const jet::ColumnDef& column, jet::Value& into) {
  const std::uint64_t magnitude =
      value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  StoreWhole(value < 0, magnitude, column, into);
}

void StoreFloating(double value, const jet::ColumnDef& column, jet::Value& into) {
  if (std::isfinite(value)) {
    if (column.type == ColumnType::Double ||
        (column.type == ColumnType::Single && std::fabs(value) <= FLT_MAX)) {
      into = value;
      return;
    }
  }
  // The shortest text that reads back as this double.
  char text[32];
  const char* end = std::to_chars(text, text + sizeof text, std::fabs(value)).ptr;
  StoreLiteral(Kind::Number, std::string_view(text, static_cast<std::size_t>(end - text)),
               std::signbit(value), column, into);
}

void StoreDateTime(const DateTimeParts& parts, const jet::ColumnDef& column, jet::Value& into) {
  if (column.type == ColumnType::DateTime && IsValidDateTime(parts)) {
    into = ToJetDateTime(parts);
    return;
  }
  const std::string text = FormatDateTime(parts);
  StoreLiteral(Kind::String, text, false, column, into);
}

DateTimeParts PartsOf(const SQL_TIMESTAMP_STRUCT& t) {
  // Jet keeps milliseconds: finer fractions are cut.
  return DateTimeParts{t.year, t.month, t.day, t.hour, t.minute, t.second,
                       static_cast<int>(t.fraction / 1000000)};
}

// [-]digits[.digits]: the form of exact numbers sent as text.
bool IsPlainNumber(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  bool digit = false, point = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  return digit;
}

void StoreText(std::string_view text, const ParameterBinding& binding, const jet::ColumnDef& column,
               jet::Value& into) {
  if ((binding.sqlType == SQL_DECIMAL || binding.sqlType == SQL_NUMERIC) && IsPlainNumber(text)) {
    const bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    return StoreLiteral(Kind::Number, text, negative, column, into);
  }
  StoreLiteral(Kind::String, text, false, column, into);
}

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
void Utf16ToUtf8(const char* at, std::size_t units, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < units; ++i) {
    // A run of ASCII goes over in one step (most text is mostly ASCII), four
    // units at a time where it can.
    std::size_t end = i;
    while (end + 4 <= units && (Read<std::uint64_t>(at + 2 * end) & 0xFF80FF80FF80FF80ull) == 0) end += 4;
    while (end < units && Read<char16_t>(at + 2 * end) < 0x80) ++end;
    if (end > i) {
      const std::size_t from = out.size();
      out.resize(from + (end - i));
      char* to = out.data() + from;
      for (; i < end; ++i) *to++ = static_cast<char>(Read<char16_t>(at + 2 * i));
      if (i == units) break;
    }
    char32_t c = Read<char16_t>(at + 2 * i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
      const char32_t low = Read<char16_t>(at + 2 * (i + 1));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    AppendUtf8(c, out);
  }
}

void StoreBytes(const char* at, std::size_t size, const jet::ColumnDef& column, std::string& scratch,
                jet::Value& into) {
  if (column.type == ColumnType::Ole || (column.type == ColumnType::Binary && size <= column.length)) {
    jet::Bytes* bytes = std::get_if<jet::Bytes>(&into);
    if (!bytes) bytes = &into.emplace<jet::Bytes>();
    bytes->assign(reinterpret_cast<const std::uint8_t*>(at), reinterpret_cast<const std::uint8_t*>(at) + size);
    return;
  }
  // As hexadecimal text, the form binary values take in statements.
  static constexpr char kHex[] = "0123456789abcdef";
  scratch.clear();
  for (std::size_t i = 0; i < size; ++i) {
    const auto b = static_cast<unsigned char>(at[i]);
    scratch += kHex[b >> 4];
    scratch += kHex[b & 0x0F];
  }
  StoreLiteral(Kind::String, scratch, false, column, into);
}

void StoreGuid(const SQLGUID& guid, const jet::ColumnDef& column, jet::Value& into) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  StoreLiteral(Kind::String, text, false, column, into);
}

}  // namespace

SQLSMALLINT ResolveParameterCType(SQLSMALLINT cType, SQLSMALLINT sqlType) {
  switch (cType) {
    case SQL_C_CHAR: case SQL_C_WCHAR: case SQL_C_BINARY: case SQL_C_BIT:
    case SQL_C_STINYINT: case SQL_C_UTINYINT: case SQL_C_TINYINT:
    case SQL_C_SSHORT: case SQL_C_USHORT: case SQL_C_SHORT:
    case SQL_C_SLONG: case SQL_C_ULONG: case SQL_C_LONG:
    case SQL_C_SBIGINT: case SQL_C_UBIGINT:
    case SQL_C_FLOAT: case SQL_C_DOUBLE:
    case SQL_C_TYPE_TIMESTAMP: case SQL_C_TYPE_DATE: case SQL_C_TYPE_TIME: case SQL_C_GUID:
      return cType;
    case SQL_C_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;  // ODBC 2 names of the same structures
    case SQL_C_DATE: return SQL_C_TYPE_DATE;
    case SQL_C_TIME: return SQL_C_TYPE_TIME;
    case SQL_C_DEFAULT: break;
    default: return 0;
  }
  switch (sqlType) {
    case SQL_CHAR: case SQL_VARCHAR: case SQL_LONGVARCHAR: case SQL_DECIMAL: case SQL_NUMERIC: return SQL_C_CHAR;
    case SQL_WCHAR: case SQL_WVARCHAR: case SQL_WLONGVARCHAR: return SQL_C_WCHAR;
    case SQL_BIT: return SQL_C_BIT;
    case SQL_TINYINT: return SQL_C_STINYINT;
    case SQL_SMALLINT: return SQL_C_SSHORT;
    case SQL_INTEGER: return SQL_C_SLONG;
    case SQL_BIGINT: return SQL_C_SBIGINT;
    case SQL_REAL: return SQL_C_FLOAT;
    case SQL_FLOAT: case SQL_DOUBLE: return SQL_C_DOUBLE;
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return SQL_C_BINARY;
    case SQL_TYPE_DATE: case SQL_DATE: return SQL_C_TYPE_DATE;
    case SQL_TYPE_TIME: case SQL_TIME: return SQL_C_TYPE_TIME;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return SQL_C_TYPE_TIMESTAMP;
    case SQL_GUID: return SQL_C_GUID;
    default: return 0;
  }
}

BoundParameterRow::BoundParameterRow(const std::vector<ParameterBinding>& bindings, SQLULEN bindType,
                                     SQLLEN offset)
    : bindings_(bindings), access_(bindings.size()) {
  const bool byColumn = bindType == SQL_PARAM_BIND_BY_COLUMN;
  for (std::size_t k = 0; k < bindings.size(); ++k) {
    const ParameterBinding& binding = bindings[k];
    if (!binding.bound) continue;
    Access& access = access_[k];
    if (binding.buffer) {
      access.values = static_cast<const char*>(binding.buffer) + offset;
      access.valueStep = byColumn ? static_cast<SQLULEN>(ElementSize(binding)) : bindType;
    }
    if (binding.indicator) {
      access.lengths = reinterpret_cast<const char*>(binding.indicator) + offset;
      access.lengthStep = byColumn ? sizeof(SQLLEN) : bindType;
    }
  }
}

void BoundParameterRow::Store(int parameter, const jet::ColumnDef& column, jet::Value& into) {
  if (parameter < 0 || static_cast<std::size_t>(parameter) >= bindings_.size() ||
      !bindings_[static_cast<std::size_t>(parameter)].bound)
    throw SqlError("07002", "COUNT field incorrect: no value is bound to " + Named(parameter));
  const ParameterBinding& binding = bindings_[static_cast<std::size_t>(parameter)];
  const Access& access = access_[static_cast<std::size_t>(parameter)];
  const SQLLEN length = access.lengths ? Read<SQLLEN>(access.lengths + row_ * access.lengthStep) : SQL_NTS;
  if (length < 0) {  // every special length is negative
    if (length == SQL_NULL_DATA) return StoreColumnValue(Literal{}, column, into);
    if (length == SQL_DATA_AT_EXEC || length <= SQL_LEN_DATA_AT_EXEC_OFFSET)
      throw SqlError("HYC00", "Optional feature not implemented: " + Named(parameter) +
                                  " is sent at execution (SQLPutData), which this driver does not take");
    if (length == SQL_DEFAULT_PARAM) throw SqlError("07S01", "Invalid use of default parameter: " + Named(parameter));
    if (length != SQL_NTS)
      throw SqlError("HY090", "Invalid string or buffer length " + std::to_string(length) + " of " + Named(parameter));
  }
  if (!access.values) throw SqlError("HY009", "Invalid use of null pointer: " + Named(parameter) + " has no buffer");
  const char* at = access.values + row_ * access.valueStep;

  // Character and binary data: the length given, within the buffer of an array.
  auto sized = [&](std::size_t unit) -> std::size_t {
    if (length == SQL_NTS) return std::string_view::npos;
    if (binding.bufferLength > 0 && length > binding.bufferLength)
      throw SqlError("HY090", "Invalid string or buffer length: " + Named(parameter) + " is " +
                                  std::to_string(length) + " bytes long, its buffer " +
                                  std::to_string(binding.bufferLength));
    if (length % static_cast<SQLLEN>(unit) != 0)
      throw SqlError("HY090", "Invalid string or buffer length " + std::to_string(length) + " of " + Named(parameter));
    return static_cast<std::size_t>(length) / unit;
  };
  const std::size_t limit = binding.bufferLength > 0 ? static_cast<std::size_t>(binding.bufferLength)
                                                      : std::numeric_limits<std::size_t>::max();
  switch (binding.cType) {
    case SQL_C_CHAR: {
      std::size_t size = sized(1);
      if (size == std::string_view::npos) size = strnlen(at, limit);
      return StoreText(std::string_view(at, size), binding, column, into);
    }
    case SQL_C_WCHAR: {
      std::size_t units = sized(2);
      if (units == std::string_view::npos) {
        units = 0;
        while (units < limit / 2 && Read<char16_t>(at + 2 * units) != 0) ++units;
      }
      Utf16ToUtf8(at, units, scratch_);
      return StoreText(scratch_, binding, column, into);
    }
    case SQL_C_BINARY: {
      std::size_t size = sized(1);
      if (size == std::string_view::npos) {
        if (binding.bufferLength <= 0)
          throw SqlError("HY090", "Invalid string or buffer length: binary " + Named(parameter) + " needs its length");
        size = static_cast<std::size_t>(binding.bufferLength);
      }
      return StoreBytes(at, size, column, scratch_, into);
    }
    case SQL_C_BIT: {
      Literal literal;
      literal.kind = Kind::Boolean;
      literal.boolean = Read<unsigned char>(at) != 0;
      return StoreColumnValue(literal, column, into);
    }
    case SQL_C_STINYINT:
    case SQL_C_TINYINT: return StoreSigned(Read<signed char>(at), column, into);
    case SQL_C_UTINYINT: return StoreWhole(false, Read<unsigned char>(at), column, into);
    case SQL_C_SSHORT:
    case SQL_C_SHORT: return StoreSigned(Read<std::int16_t>(at), column, into);
    case SQL_C_USHORT: return StoreWhole(false, Read<std::uint16_t>(at), column, into);
    case SQL_C_SLONG:
    case SQL_C_LONG: return StoreSigned(Read<std::int32_t>(at), column, into);
    case SQL_C_ULONG: return StoreWhole(false, Read<std::uint32_t>(at), column, into);
    case SQL_C_SBIGINT: return StoreSigned(Read<std::int64_t>(at), column, into);
    case SQL_C_UBIGINT: return StoreWhole(false, Read<std::uint64_t>(at), column, into);
    case SQL_C_FLOAT: return StoreFloating(Read<float>(at), column, into);
    case SQL_C_DOUBLE: return StoreFloating(Read<double>(at), column, into);
    case SQL_C_TYPE_TIMESTAMP: return StoreDateTime(PartsOf(Read<SQL_TIMESTAMP_STRUCT>(at)), column, into);
    case SQL_C_TYPE_DATE: {
      const auto date = Read<SQL_DATE_STRUCT>(at);
      return StoreDateTime(DateTimeParts{date.year, date.month, date.day, 0, 0, 0, 0}, column, into);
    }
    case SQL_C_TYPE_TIME: {
      const auto time = Read<SQL_TIME_STRUCT>(at);
      return StoreDateTime(DateTimeParts{1899, 12, 30, time.hour, time.minute, time.second, 0}, column, into);
    }
    case SQL_C_GUID: return StoreGuid(Read<SQLGUID>(at), column, into);
    default: break;
  }
  throw SqlError("HYC00", "Optional feature not implemented: C type " + std::to_string(binding.cType) + " of " +
                              Named(parameter));
}

}  // namespace mdb
