#include "literal_values.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "date_time_text.h"
#include "exact_number.h"
#include "guid_text.h"
#include "sql_error.h"
#include "sql_tokenizer.h"
#include "utf8_text.h"

namespace mdb {
namespace {

using jet::ColumnType;
using Kind = Literal::Kind;

constexpr std::int64_t kPowersOfTen[] = {1, 10, 100, 1000, 10000};

std::string Shown(const Literal& literal) {
  std::string text;
  switch (literal.kind) {
    case Kind::Null: return "NULL";
    case Kind::Boolean: return literal.boolean ? "TRUE" : "FALSE";
    case Kind::Parameter: return "?";
    case Kind::HexNumber: text = "0x" + std::string(literal.text); break;
    case Kind::Number: text = (literal.negative ? "-" : "") + std::string(literal.text); break;
    case Kind::String: text = "'" + std::string(literal.text) + "'"; break;
  }
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

std::string TypeName(const jet::ColumnDef& column) {
  switch (column.type) {
    case ColumnType::Boolean: return "Yes/No";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Long: return "Long Integer";
    case ColumnType::Currency: return "Currency";
    case ColumnType::Single: return "Single";
    case ColumnType::Double: return "Double";
    case ColumnType::DateTime: return "Date/Time";
    case ColumnType::Binary: return "Binary(" + std::to_string(column.length) + ")";
    case ColumnType::Text: return "Text(" + std::to_string(column.length) + ")";
    case ColumnType::Ole: return "OLE Object";
    case ColumnType::Memo: return "Memo";
    case ColumnType::Guid: return "Replication ID";
    case ColumnType::Decimal:
      return "Decimal(" + std::to_string(column.precision) + "," + std::to_string(column.scale) + ")";
  }
  return "?";
}

[[noreturn]] void Refuse(const char* sqlstate, const Literal& literal, const jet::ColumnDef& column,
                         const std::string& why) {
  throw SqlError(sqlstate, "Value " + Shown(literal) + " for column \"" + column.name + "\" (" +
                               TypeName(column) + ") " + why);
}

// A number as written, or a number inside quotes (Access converts such text too).
ExactNumber NumberOf(const Literal& literal, const jet::ColumnDef& column) {
  std::optional<ExactNumber> number;
  if (literal.kind == Kind::Number) {
    number = ParseExactNumber(literal.text, literal.negative);
  } else if (literal.kind == Kind::String) {
    number = ParseExactNumber(literal.text);
  } else if (literal.kind == Kind::Boolean) {
    // Access's True is -1.
    number = ExactNumber{literal.boolean, literal.boolean ? "1" : "", 0};
  }
  if (!number) Refuse("22018", literal, column, "is not a number");
  return *number;
}

// Plain digits with an optional fraction, as the converter writes its numbers,
// are read straight from the text; anything else (exponents, quoted numbers,
// more digits) takes the exact general path. Every row goes through here.
struct PlainNumber {
  std::int64_t whole = 0;     // at most 14 digits
  std::int64_t fraction = 0;  // the first `fractionDigits` digits after the point
  int fractionDigits = 0;     // at most 4
};

std::optional<PlainNumber> ReadPlainNumber(const Literal& literal) {
  if (literal.kind != Kind::Number) return std::nullopt;
  std::string_view text = literal.text;
  PlainNumber number;
  std::size_t i = 0, wholeDigits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++wholeDigits) {
    if (wholeDigits == 14) return std::nullopt;
    number.whole = number.whole * 10 + (text[i] - '0');
  }
  if (i < text.size()) {
    if (text[i] != '.') return std::nullopt;
    for (++i; i < text.size(); ++i, ++number.fractionDigits) {
      if (text[i] < '0' || text[i] > '9' || number.fractionDigits == 4) return std::nullopt;
      number.fraction = number.fraction * 10 + (text[i] - '0');
    }
  }
  if (wholeDigits == 0 && number.fractionDigits == 0) return std::nullopt;
  return number;
}

jet::Value WholeNumber(const Literal& literal, const jet::ColumnDef& column, long long low,
                       long long high) {
  auto outOfRange = [&] {
    Refuse("22003", literal, column,
           "is out of range (" + std::to_string(low) + " to " + std::to_string(high) + ")");
  };
  if (auto plain = ReadPlainNumber(literal); plain && plain->fractionDigits == 0) {
    std::int64_t value = literal.negative ? -plain->whole : plain->whole;
    if (value < low || value > high) outOfRange();
    return value;
  }
  ExactNumber number = NumberOf(literal, column);
  // Fractions round half to even, as Access converts them.
  auto magnitude = ScaledMagnitude(number, 0, Rounding::HalfEven, 20);
  if (!magnitude || *magnitude > static_cast<unsigned __int128>(1) << 63) outOfRange();
  __int128 value = static_cast<__int128>(*magnitude);
  if (number.negative) value = -value;
  if (value < low || value > high) outOfRange();
  return static_cast<std::int64_t>(value);
}

jet::Value Boolean(const Literal& literal, const jet::ColumnDef& column) {
  if (literal.kind == Kind::Boolean) return literal.boolean;
  if (literal.kind == Kind::String) {
    std::string_view t = literal.text;
    if (EqualsIgnoreCase(t, "true") || EqualsIgnoreCase(t, "yes") || EqualsIgnoreCase(t, "on"))
      return true;
    if (EqualsIgnoreCase(t, "false") || EqualsIgnoreCase(t, "no") || EqualsIgnoreCase(t, "off"))
      return false;
  }
  if (auto plain = ReadPlainNumber(literal)) return plain->whole != 0 || plain->fraction != 0;
  ExactNumber number = NumberOf(literal, column);
  return !number.digits.empty();  // any non-zero number is Yes
}

jet::Value Currency(const Literal& literal, const jet::ColumnDef& column) {
  if (auto plain = ReadPlainNumber(literal)) {
    // 14 whole digits and 4 decimals always fit the currency range.
    std::int64_t scaled = plain->whole * 10000 + plain->fraction * kPowersOfTen[4 - plain->fractionDigits];
    return jet::Currency{literal.negative ? -scaled : scaled};
  }
  ExactNumber number = NumberOf(literal, column);
  auto magnitude = ScaledMagnitude(number, 4, Rounding::HalfEven, 20);
  const unsigned __int128 limit = static_cast<unsigned __int128>(1) << 63;
  if (!magnitude || *magnitude > limit || (!number.negative && *magnitude == limit))
    Refuse("22003", literal, column,
           "is out of range (-922337203685477.5808 to 922337203685477.5807)");
  jet::Currency value;
  value.scaled = number.negative ? static_cast<std::int64_t>(-static_cast<__int128>(*magnitude))
                                 : static_cast<std::int64_t>(*magnitude);
  return value;
}

jet::Value Decimal(const Literal& literal, const jet::ColumnDef& column) {
  ExactNumber number = NumberOf(literal, column);
  auto magnitude =
      ScaledMagnitude(number, column.scale, Rounding::HalfAwayFromZero, column.precision);
  if (!magnitude) {
    int whole = column.precision - column.scale;
    Refuse("22003", literal, column,
           "is out of range (at most " + std::to_string(whole) + " digit" +
               (whole == 1 ? "" : "s") + " before the decimal point)");
  }
  jet::Decimal value;
  value.unscaled = *magnitude;
  value.negative = number.negative && *magnitude != 0;
  value.scale = column.scale;
  return value;
}

// A number as written is read in place (from_chars rounds correctly, as the
// general path does); quoted numbers and what from_chars refuses go the general way.
double DoubleOf(const Literal& literal, const jet::ColumnDef& column) {
  if (literal.kind == Kind::Number) {
    double value = 0;
    const char* end = literal.text.data() + literal.text.size();
    auto [stop, error] = std::from_chars(literal.text.data(), end, value);
    if (error == std::errc() && stop == end) return literal.negative ? -value : value;
  }
  return ToDouble(NumberOf(literal, column));
}

jet::Value Floating(const Literal& literal, const jet::ColumnDef& column) {
  double value = DoubleOf(literal, column);
  double limit = column.type == ColumnType::Single ? FLT_MAX : DBL_MAX;
  if (!std::isfinite(value) || std::fabs(value) > limit)
    Refuse("22003", literal, column, "is out of range");
  return value;
}

jet::Value Date(const Literal& literal, const jet::ColumnDef& column) {
  if (literal.kind == Kind::Number) {  // a day number, as Access stores it
    ExactNumber number = NumberOf(literal, column);
    double days = ToDouble(number);
    if (!(days >= -657434.0 && days < 2958466.0))
      Refuse("22003", literal, column, "is out of range (years 100 to 9999)");
    return jet::DateTime{days};
  }
  if (literal.kind != Kind::String) Refuse("22018", literal, column, "is not a date");
  auto parts = ParseDateLiteral(literal.text);
  if (!parts)
    Refuse("22007", literal, column,
           "is not a valid date (expected day/month/year with an optional h:m:s time)");
  return ToJetDateTime(*parts);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

jet::Value Bytes(const Literal& literal, const jet::ColumnDef& column) {
  if (literal.kind != Kind::String && literal.kind != Kind::HexNumber)
    Refuse("22018", literal, column, "is not hexadecimal text");
  std::string_view hex = literal.text;
  if (literal.kind == Kind::String && hex.size() >= 2 && hex[0] == '0' &&
      (hex[1] == 'x' || hex[1] == 'X'))
    hex.remove_prefix(2);
  if (hex.size() % 2 != 0)
    Refuse("22018", literal, column, "is not hexadecimal text (odd number of digits)");
  jet::Bytes bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int high = HexValue(hex[i]), low = HexValue(hex[i + 1]);
    if (high < 0 || low < 0)
      Refuse("22018", literal, column, "is not hexadecimal text (two digits per byte)");
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  if (column.type == ColumnType::Binary && bytes.size() > column.length)
    Refuse("22001", literal, column,
           "is too long: " + std::to_string(bytes.size()) + " bytes, the column holds " +
               std::to_string(column.length));
  return bytes;
}

void StoreText(const Literal& literal, const jet::ColumnDef& column, jet::Value& into) {
  std::string* text = std::get_if<std::string>(&into);
  if (!text) text = &into.emplace<std::string>();
  if (literal.kind == Kind::String) {
    text->assign(literal.text);
  } else if (literal.kind == Kind::Number) {
    text->assign(literal.negative ? "-" : "");
    text->append(literal.text);
  } else if (literal.kind == Kind::Boolean) {
    text->assign(literal.boolean ? "True" : "False");
  } else {
    text->assign("0x");
    text->append(literal.text);
  }
  std::optional<std::size_t> length = ValidUtf16Length(*text);
  if (!length) Refuse("22018", literal, column, "is not valid UTF-8 text");
  if (column.type == ColumnType::Text && *length > column.length)
    Refuse("22001", literal, column,
           "is too long: " + std::to_string(*length) + " characters, the column holds " +
               std::to_string(column.length));
}

jet::Value Guid(const Literal& literal, const jet::ColumnDef& column) {
  if (literal.kind != Kind::String) Refuse("22018", literal, column, "is not a GUID");
  auto guid = ParseGuid(literal.text);
  if (!guid) Refuse("22018", literal, column, "is not a GUID ({xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx})");
  return *guid;
}

}  // namespace

void StoreColumnValue(const Literal& literal, const jet::ColumnDef& column, jet::Value& into) {
  if (literal.kind == Kind::Null) {
    if (column.required && !column.autoNumber)  // a Null AutoNumber gets the next number
      throw SqlError("23000", "Column \"" + column.name + "\" is required: NULL is not allowed");
    into = jet::Null{};
    return;
  }
  switch (column.type) {
    case ColumnType::Boolean: into = Boolean(literal, column); return;
    case ColumnType::Byte: into = WholeNumber(literal, column, 0, 255); return;
    case ColumnType::Integer: into = WholeNumber(literal, column, -32768, 32767); return;
    case ColumnType::Long:
      into = WholeNumber(literal, column, std::numeric_limits<std::int32_t>::min(),
                         std::numeric_limits<std::int32_t>::max());
      return;
    case ColumnType::Currency: into = Currency(literal, column); return;
    case ColumnType::Single:
    case ColumnType::Double: into = Floating(literal, column); return;
    case ColumnType::DateTime: into = Date(literal, column); return;
    case ColumnType::Binary:
    case ColumnType::Ole: into = Bytes(literal, column); return;
    case ColumnType::Text:
    case ColumnType::Memo: StoreText(literal, column, into); return;
    case ColumnType::Guid: into = Guid(literal, column); return;
    case ColumnType::Decimal: into = Decimal(literal, column); return;
  }
  Refuse("22018", literal, column, "cannot be stored");
}

jet::Value ToColumnValue(const Literal& literal, const jet::ColumnDef& column) {
  jet::Value value;
  StoreColumnValue(literal, column, value);
  return value;
}

}  // namespace mdb
