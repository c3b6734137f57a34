#include "cell_conversion.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "date_time_text.h"
#include "exact_number.h"
#include "guid_text.h"
#include "utf8_text.h"

namespace mdb {
namespace {

using jet::ColumnType;

constexpr SQLULEN kLongSize = 1073741823;  // what Access reports for Memo and OLE Object

template <typename T>
std::string ShortestText(T value) {
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, value);
  return ec == std::errc() ? std::string(text, end) : std::string("0");
}

std::string ScaledText(unsigned __int128 magnitude, bool negative, int scale) {
  std::string digits = ToDecimalText(magnitude);
  if (scale > 0) {
    if (digits.size() <= static_cast<std::size_t>(scale))
      digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
  }
  return negative ? "-" + digits : digits;
}

std::string Hex(const jet::Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

// The value as a number, for the numeric C types.
std::optional<long double> NumericValue(const jet::Value& value) {
  if (auto* b = std::get_if<bool>(&value)) return *b ? 1.0L : 0.0L;
  if (auto* i = std::get_if<std::int64_t>(&value)) return static_cast<long double>(*i);
  if (auto* d = std::get_if<double>(&value)) return *d;
  if (auto* c = std::get_if<jet::Currency>(&value)) return static_cast<long double>(c->scaled) / 10000.0L;
  if (auto* d = std::get_if<jet::Decimal>(&value)) {
    long double v = static_cast<long double>(d->unscaled);
    for (int k = 0; k < d->scale; ++k) v /= 10.0L;
    return d->negative ? -v : v;
  }
  if (auto* s = std::get_if<std::string>(&value)) {
    auto number = ParseExactNumber(*s);
    if (number) return static_cast<long double>(ToDouble(*number));
  }
  return std::nullopt;
}

template <typename T>
SQLRETURN StoreNumber(long double v, SQLPOINTER buffer, SQLLEN* indicator, Diagnostics& diagnostics) {
  SQLRETURN rc = SQL_SUCCESS;
  if constexpr (std::is_integral_v<T>) {
    long double whole = std::trunc(v);
    if (whole < static_cast<long double>(std::numeric_limits<T>::min()) ||
        whole > static_cast<long double>(std::numeric_limits<T>::max()))
      return diagnostics.Error("22003", "Numeric value out of range for the requested C type");
    if (whole != v) rc = diagnostics.Warning("01S07", "Fractional truncation");
    if (buffer) *static_cast<T*>(buffer) = static_cast<T>(whole);
  } else {
    if (std::fabs(v) > static_cast<long double>(std::numeric_limits<T>::max()))
      return diagnostics.Error("22003", "Numeric value out of range for the requested C type");
    if (buffer) *static_cast<T*>(buffer) = static_cast<T>(v);
  }
  if (indicator) *indicator = sizeof(T);
  return rc;
}

std::optional<DateTimeParts> DateValue(const jet::Value& value) {
  if (auto* d = std::get_if<jet::DateTime>(&value)) return FromJetDateTime(*d);
  if (auto* s = std::get_if<std::string>(&value)) return ParseDateLiteral(*s);
  return std::nullopt;
}

SQLRETURN PieceOut(const char* data, std::size_t size, std::size_t unit, SQLPOINTER buffer,
                   SQLLEN bufferLength, SQLLEN* indicator, ReadProgress& progress, bool terminate,
                   Diagnostics& diagnostics) {
  if (progress.done) return SQL_NO_DATA;
  std::size_t remaining = size - std::min(size, progress.offset * unit);
  const char* from = data + progress.offset * unit;
  if (indicator) *indicator = static_cast<SQLLEN>(remaining);
  std::size_t room = bufferLength > 0 ? static_cast<std::size_t>(bufferLength) : 0;
  if (terminate) room = room >= unit ? room - unit : 0;
  room -= room % unit;
  std::size_t n = std::min(room, remaining);
  if (unit == 2 && n < remaining && n >= 2) {
    // Never split a surrogate pair between two pieces.
    char16_t last;
    std::memcpy(&last, from + n - 2, 2);
    if (last >= 0xD800 && last <= 0xDBFF) n -= 2;
  }
  if (buffer && bufferLength > 0) {
    std::memcpy(buffer, from, n);
    if (terminate && room + unit <= static_cast<std::size_t>(bufferLength))
      std::memset(static_cast<char*>(buffer) + n, 0, unit);
  }
  if (n < remaining) {
    progress.offset += n / unit;
    return diagnostics.Warning("01004", "String data, right truncated");
  }
  progress.done = true;
  return SQL_SUCCESS;
}

}  // namespace

ColumnDescription DescribeColumn(const jet::ColumnDef& column, bool odbc3) {
  ColumnDescription d;
  switch (column.type) {
    case ColumnType::Text:
      d = {SQL_VARCHAR, column.length, 0, column.length, column.length * 3, false, SQL_C_CHAR, "VARCHAR"};
      break;
    case ColumnType::Memo:
      d = {SQL_LONGVARCHAR, kLongSize, 0, static_cast<SQLLEN>(kLongSize), static_cast<SQLLEN>(kLongSize),
           false, SQL_C_CHAR, "LONGCHAR"};
      break;
    case ColumnType::Boolean: d = {SQL_BIT, 1, 0, 1, 1, false, SQL_C_BIT, "BIT"}; break;
    case ColumnType::Byte: d = {SQL_TINYINT, 3, 0, 3, 1, true, SQL_C_UTINYINT, "BYTE"}; break;
    case ColumnType::Integer: d = {SQL_SMALLINT, 5, 0, 6, 2, false, SQL_C_SSHORT, "SMALLINT"}; break;
    case ColumnType::Long: d = {SQL_INTEGER, 10, 0, 11, 4, false, SQL_C_SLONG, "INTEGER"}; break;
    case ColumnType::Currency: d = {SQL_DECIMAL, 19, 4, 21, 21, false, SQL_C_CHAR, "CURRENCY"}; break;
    case ColumnType::Single: d = {SQL_REAL, 7, 0, 14, 4, false, SQL_C_FLOAT, "REAL"}; break;
    case ColumnType::Double: d = {SQL_DOUBLE, 15, 0, 24, 8, false, SQL_C_DOUBLE, "DOUBLE"}; break;
    case ColumnType::DateTime:
      d = {odbc3 ? SQLSMALLINT{SQL_TYPE_TIMESTAMP} : SQLSMALLINT{SQL_TIMESTAMP}, 23, 3, 23, 16, false,
           odbc3 ? SQLSMALLINT{SQL_C_TYPE_TIMESTAMP} : SQLSMALLINT{SQL_C_TIMESTAMP}, "DATETIME"};
      break;
    case ColumnType::Binary:
      d = {SQL_BINARY, column.length, 0, column.length * 2, column.length, false, SQL_C_BINARY, "BINARY"};
      break;
    case ColumnType::Ole:
      d = {SQL_LONGVARBINARY, kLongSize, 0, static_cast<SQLLEN>(kLongSize), static_cast<SQLLEN>(kLongSize),
           false, SQL_C_BINARY, "LONGBINARY"};
      break;
    case ColumnType::Guid: d = {SQL_GUID, 36, 0, 38, 16, false, SQL_C_GUID, "GUID"}; break;
    case ColumnType::Decimal:
      d = {SQL_NUMERIC, column.precision, column.scale, column.precision + 2, column.precision + 2, false,
           SQL_C_CHAR, "DECIMAL"};
      break;
  }
  return d;
}

std::string CharacterForm(const jet::Value& value, const jet::ColumnDef& column) {
  struct Visitor {
    const jet::ColumnDef& column;
    std::string operator()(const jet::Null&) const { return {}; }
    std::string operator()(bool b) const { return b ? "1" : "0"; }
    std::string operator()(std::int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const {
      return column.type == ColumnType::Single ? ShortestText(static_cast<float>(d)) : ShortestText(d);
    }
    std::string operator()(const jet::Currency& c) const {
      bool negative = c.scaled < 0;
      unsigned __int128 magnitude = negative ? static_cast<unsigned __int128>(-static_cast<__int128>(c.scaled))
                                             : static_cast<unsigned __int128>(c.scaled);
      return ScaledText(magnitude, negative, 4);
    }
    std::string operator()(const jet::DateTime& d) const { return FormatDateTime(FromJetDateTime(d)); }
    std::string operator()(const jet::Decimal& d) const {
      return ScaledText(d.unscaled, d.negative && d.unscaled != 0, d.scale);
    }
    std::string operator()(const jet::Guid& g) const { return FormatGuid(g); }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const jet::Bytes& b) const { return Hex(b); }
  };
  return std::visit(Visitor{column}, value);
}

SQLRETURN ConvertCell(const jet::Value& value, const jet::ColumnDef& column, SQLSMALLINT targetType,
                      SQLPOINTER buffer, SQLLEN bufferLength, SQLLEN* indicator,
                      ReadProgress& progress, bool odbc3, Diagnostics& diagnostics) {
  if (targetType == SQL_C_DEFAULT) targetType = DescribeColumn(column, odbc3).defaultCType;
  bool pieces = targetType == SQL_C_CHAR || targetType == SQL_C_WCHAR || targetType == SQL_C_BINARY;
  if (!pieces) {
    if (progress.done) return SQL_NO_DATA;
    progress.done = true;
  }
  if (std::holds_alternative<jet::Null>(value)) {
    if (pieces) {
      if (progress.done) return SQL_NO_DATA;
      progress.done = true;
    }
    if (!indicator)
      return diagnostics.Error("22002", "Indicator variable required but not supplied (the value is NULL)");
    *indicator = SQL_NULL_DATA;
    return SQL_SUCCESS;
  }

  switch (targetType) {
    case SQL_C_CHAR: {
      std::string text = CharacterForm(value, column);
      return PieceOut(text.data(), text.size(), 1, buffer, bufferLength, indicator, progress, true,
                      diagnostics);
    }
    case SQL_C_WCHAR: {
      std::u16string text = Utf8ToUtf16(CharacterForm(value, column));
      return PieceOut(reinterpret_cast<const char*>(text.data()), text.size() * 2, 2, buffer,
                      bufferLength, indicator, progress, true, diagnostics);
    }
    case SQL_C_BINARY: {
      if (auto* bytes = std::get_if<jet::Bytes>(&value)) {
        return PieceOut(reinterpret_cast<const char*>(bytes->data()), bytes->size(), 1, buffer,
                        bufferLength, indicator, progress, false, diagnostics);
      }
      if (auto* guid = std::get_if<jet::Guid>(&value)) {
        return PieceOut(reinterpret_cast<const char*>(guid->bytes.data()), 16, 1, buffer, bufferLength,
                        indicator, progress, false, diagnostics);
      }
      std::string text = CharacterForm(value, column);
      return PieceOut(text.data(), text.size(), 1, buffer, bufferLength, indicator, progress, false,
                      diagnostics);
    }
    case SQL_C_GUID: {
      auto* guid = std::get_if<jet::Guid>(&value);
      std::optional<jet::Guid> parsed;
      if (!guid) {
        if (auto* s = std::get_if<std::string>(&value)) parsed = ParseGuid(*s);
        if (!parsed) return diagnostics.Error("07006", "Column \"" + column.name + "\" cannot be read as a GUID");
        guid = &*parsed;
      }
      if (buffer) std::memcpy(buffer, guid->bytes.data(), 16);  // SQLGUID's memory layout
      if (indicator) *indicator = 16;
      return SQL_SUCCESS;
    }
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME: {
      auto parts = DateValue(value);
      if (!parts) return diagnostics.Error("07006", "Column \"" + column.name + "\" cannot be read as a date");
      // A value no valid date comes from never reaches the application as a struct.
      if (auto* stored = std::get_if<jet::DateTime>(&value); stored && !IsRepresentableJetDateTime(*stored))
        return diagnostics.Error("22008", "Datetime field overflow: column \"" + column.name +
                                              "\" holds a value that is no valid date (the file may be damaged)");
      if (!IsValidDateTime(*parts))
        return diagnostics.Error("22007", "Invalid datetime format: column \"" + column.name + "\"");
      if (targetType == SQL_C_TYPE_TIMESTAMP || targetType == SQL_C_TIMESTAMP) {
        SQL_TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(parts->year), static_cast<SQLUSMALLINT>(parts->month),
                                static_cast<SQLUSMALLINT>(parts->day), static_cast<SQLUSMALLINT>(parts->hour),
                                static_cast<SQLUSMALLINT>(parts->minute), static_cast<SQLUSMALLINT>(parts->second),
                                static_cast<SQLUINTEGER>(parts->millisecond) * 1000000u};
        if (buffer) std::memcpy(buffer, &ts, sizeof ts);
        if (indicator) *indicator = sizeof ts;
      } else if (targetType == SQL_C_TYPE_DATE || targetType == SQL_C_DATE) {
        SQL_DATE_STRUCT d{static_cast<SQLSMALLINT>(parts->year), static_cast<SQLUSMALLINT>(parts->month),
                          static_cast<SQLUSMALLINT>(parts->day)};
        if (buffer) std::memcpy(buffer, &d, sizeof d);
        if (indicator) *indicator = sizeof d;
      } else {
        SQL_TIME_STRUCT t{static_cast<SQLUSMALLINT>(parts->hour), static_cast<SQLUSMALLINT>(parts->minute),
                          static_cast<SQLUSMALLINT>(parts->second)};
        if (buffer) std::memcpy(buffer, &t, sizeof t);
        if (indicator) *indicator = sizeof t;
      }
      return SQL_SUCCESS;
    }
    default:
      break;
  }

  auto number = NumericValue(value);
  if (!number) return diagnostics.Error("07006", "Column \"" + column.name + "\" cannot be read as a number");
  switch (targetType) {
    case SQL_C_BIT:
      if (*number != 0 && *number != 1 && !std::holds_alternative<bool>(value))
        return diagnostics.Error("22003", "Numeric value out of range for SQL_C_BIT");
      return StoreNumber<unsigned char>(*number, buffer, indicator, diagnostics);
    case SQL_C_TINYINT:
    case SQL_C_STINYINT: return StoreNumber<signed char>(*number, buffer, indicator, diagnostics);
    case SQL_C_UTINYINT: return StoreNumber<unsigned char>(*number, buffer, indicator, diagnostics);
    case SQL_C_SHORT:
    case SQL_C_SSHORT: return StoreNumber<SQLSMALLINT>(*number, buffer, indicator, diagnostics);
    case SQL_C_USHORT: return StoreNumber<SQLUSMALLINT>(*number, buffer, indicator, diagnostics);
    case SQL_C_LONG:
    case SQL_C_SLONG: return StoreNumber<SQLINTEGER>(*number, buffer, indicator, diagnostics);
    case SQL_C_ULONG: return StoreNumber<SQLUINTEGER>(*number, buffer, indicator, diagnostics);
    case SQL_C_SBIGINT: return StoreNumber<SQLBIGINT>(*number, buffer, indicator, diagnostics);
    case SQL_C_UBIGINT: return StoreNumber<SQLUBIGINT>(*number, buffer, indicator, diagnostics);
    case SQL_C_FLOAT: return StoreNumber<SQLREAL>(*number, buffer, indicator, diagnostics);
    case SQL_C_DOUBLE: return StoreNumber<SQLDOUBLE>(*number, buffer, indicator, diagnostics);
    default:
      return diagnostics.Error("HYC00", "C data type " + std::to_string(targetType) + " is not supported");
  }
}

}  // namespace mdb
