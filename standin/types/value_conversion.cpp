#include "types/value_conversion.h"

#include "types/spatial_value.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "types/date_styles.h"
#include "types/datetime_text.h"
#include "types/collation.h"
#include "types/hierarchy_id.h"
#include "types/text_encoding.h"
#include "storage/variant_storage.h"

namespace standin {
namespace {

// ASCII tests, as the C locale the server runs in has them, without a call per character.
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view TrimView(std::string_view s) {
  size_t a = 0, b = s.size();
  while (a < b && IsSpace(s[a])) ++a;
  while (b > a && IsSpace(s[b - 1])) --b;
  return s.substr(a, b - a);
}

std::string Trim(const std::string& s) { return std::string(TrimView(s)); }

// The value as text, the way SQL Server would render it for a conversion message.
std::string DisplayText(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return std::to_string(v.integer);
    case Value::Kind::Decimal: case Value::Kind::String: return v.text;
    case Value::Kind::Float: {
      char b[40];
      std::snprintf(b, sizeof b, "%.17g", v.real);
      return b;
    }
    default: return "";
  }
}

// Decimal text for any numeric value (floats with enough digits to round from).
std::optional<std::string> NumericText(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return std::to_string(v.integer);
    case Value::Kind::Decimal: return v.text;
    case Value::Kind::Float: {
      if (!std::isfinite(v.real)) return std::nullopt;
      char b[400];
      std::snprintf(b, sizeof b, "%.15f", v.real);
      return std::string(b);
    }
    case Value::Kind::String: return Trim(v.text);
    default: return std::nullopt;
  }
}

// A double from plain number text ("-12.5", "1e3"): std::from_chars when it
// takes the whole text (correctly rounded, as strtod is, and much faster),
// else strtod with its own rules. `end` as strtod gives it.
double ParseDouble(const char* text, size_t size, const char** end) {
  if (size > 0 && text[0] != '+') {
    double d = 0;
    const auto [at, ec] = std::from_chars(text, text + size, d);
    if (ec == std::errc() && at == text + size) {
      *end = at;
      return d;
    }
  }
  char* stop = nullptr;
  const double d = std::strtod(text, &stop);
  *end = stop;
  return d;
}

ConversionError ConvertFailed(const Value& v, const SqlType& t) {
  const std::string from = v.national ? "nvarchar" : "varchar";
  return {245, "Conversion failed when converting the " + from + " value '" + v.text + "' to data type " +
                   TypeName(t) + "."};
}

ConversionError Overflow(const SqlType& t) {
  const bool exact = t.kind == TypeKind::Decimal || t.kind == TypeKind::Numeric;
  return {8115, std::string("Arithmetic overflow error converting ") + (exact ? "numeric" : "expression") +
                    " to data type " + TypeName(t) + "."};
}

// Exact decimals with up to 15 significant digits round-trip through a double.
StoredValue StoredDecimal(const std::string& normal) {
  int significant = 0;
  bool leading = true;
  for (char c : normal) {
    if (!std::isdigit(static_cast<unsigned char>(c))) continue;
    if (leading && c == '0') continue;
    leading = false;
    ++significant;
  }
  StoredValue s;
  if (significant <= 15) {
    s.kind = StoredValue::Kind::Real;
    const char* end = nullptr;
    s.real = ParseDouble(normal.c_str(), normal.size(), &end);
  } else {
    s.kind = StoredValue::Kind::Text;
    s.text = normal;
  }
  return s;
}

// Bytes of the text in Windows-1252: one a character (those it lacks become '?').
size_t Cp1252Length(std::string_view utf8) {
  for (char c : utf8)
    if (static_cast<uint8_t>(c) >= 0x80) return ToCp1252(utf8).size();
  return utf8.size();
}

ConversionError Truncated() { return {8152, "String or binary data would be truncated."}; }

// Digits with an optional sign; nullopt for anything else or beyond 64 bits.
std::optional<int64_t> ParseWholeNumber(std::string_view text) {
  const std::string_view s = TrimView(text);
  if (s.empty()) return 0;  // '' converts to 0, as on SQL Server
  size_t i = 0;
  const bool negative = s[0] == '-';
  if (s[i] == '+' || s[i] == '-') ++i;
  if (i == s.size()) return std::nullopt;
  // Accumulated negatively, so INT64_MIN fits.
  int64_t r = 0;
  for (size_t k = i; k < s.size(); ++k) {
    if (!IsDigit(s[k])) return std::nullopt;
    const int digit = s[k] - '0';
    if (r < (INT64_MIN + digit) / 10) return std::nullopt;
    r = r * 10 - digit;
  }
  if (!negative) {
    if (r == INT64_MIN) return std::nullopt;
    r = -r;
  }
  return r;
}

std::optional<StoredValue> ToInteger(const Value& v, const SqlType& t, ConversionError& error) {
  int64_t value = 0;
  switch (v.kind) {
    case Value::Kind::Integer: value = v.integer; break;
    case Value::Kind::Float:
      if (!std::isfinite(v.real) || std::fabs(v.real) >= 9.3e18) { error = Overflow(t); return std::nullopt; }
      value = static_cast<int64_t>(v.real);  // toward zero
      break;
    case Value::Kind::Decimal: {
      errno = 0;
      const double d = std::strtod(v.text.c_str(), nullptr);
      if (std::fabs(d) >= 9.3e18) { error = Overflow(t); return std::nullopt; }
      const size_t dot = v.text.find('.');
      const auto whole = ParseWholeNumber(std::string_view(v.text).substr(0, dot));
      if (!whole) { error = Overflow(t); return std::nullopt; }
      value = *whole;
      break;
    }
    case Value::Kind::String: {
      const auto parsed = ParseWholeNumber(v.text);
      if (!parsed) { error = ConvertFailed(v, t); return std::nullopt; }
      value = *parsed;
      break;
    }
    default:
      error = {257, "Implicit conversion from data type varbinary to " + TypeName(t) +
                        " is not allowed. Use the CONVERT function to run this query."};
      return std::nullopt;
  }
  int64_t lo = INT64_MIN, hi = INT64_MAX;
  switch (t.kind) {
    case TypeKind::Int: lo = INT32_MIN; hi = INT32_MAX; break;
    case TypeKind::SmallInt: lo = INT16_MIN; hi = INT16_MAX; break;
    case TypeKind::TinyInt: lo = 0; hi = 255; break;
    case TypeKind::Bit: value = value != 0; break;
    default: break;
  }
  if (value < lo || value > hi) { error = Overflow(t); return std::nullopt; }
  StoredValue s;
  s.kind = StoredValue::Kind::Integer;
  s.integer = value;
  return s;
}

std::optional<StoredValue> ToBit(const Value& v, const SqlType& t, ConversionError& error) {
  if (v.kind == Value::Kind::String) {
    const std::string_view s = TrimView(v.text);
    const bool isTrue = s.size() == 4 && strncasecmp(s.data(), "TRUE", 4) == 0;
    if (isTrue || (s.size() == 5 && strncasecmp(s.data(), "FALSE", 5) == 0)) {
      StoredValue r;
      r.kind = StoredValue::Kind::Integer;
      r.integer = isTrue;
      return r;
    }
  }
  if (v.kind == Value::Kind::Float || v.kind == Value::Kind::Decimal) {
    const double d = v.kind == Value::Kind::Float ? v.real : std::strtod(v.text.c_str(), nullptr);
    StoredValue r;
    r.kind = StoredValue::Kind::Integer;
    r.integer = d != 0;
    return r;
  }
  return ToInteger(v, t, error);
}

std::optional<StoredValue> ToExactDecimal(const Value& v, const SqlType& t, ConversionError& error) {
  const auto text = NumericText(v);
  if (!text) { error = ConvertFailed(v, t); return std::nullopt; }
  const auto normal = NormalizeDecimal(*text, t.precision, t.scale);
  if (!normal) {
    if (v.kind == Value::Kind::String && !NormalizeDecimal(*text, 38, 0) && !NormalizeDecimal(*text, 38, 10))
      error = {8114, "Error converting data type " + std::string(v.national ? "nvarchar" : "varchar") +
                         " to numeric."};
    else
      error = Overflow(t);
    return std::nullopt;
  }
  return StoredDecimal(*normal);
}

std::optional<StoredValue> ToMoney(const Value& v, const SqlType& t, ConversionError& error) {
  const auto text = NumericText(v);
  std::optional<std::string> normal;
  if (text) normal = NormalizeDecimal(*text, 19, 4);
  if (!normal) {
    if (text && NormalizeDecimal(*text, 38, 4)) error = Overflow(t);
    else error = ConvertFailed(v, t);
    return std::nullopt;
  }
  // "[-]digits.dddd" → value × 10⁴
  std::string digits;
  for (char c : *normal)
    if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
  const bool negative = (*normal)[0] == '-';
  unsigned long long magnitude = std::strtoull(digits.c_str(), nullptr, 10);
  const unsigned long long limit = t.kind == TypeKind::SmallMoney ? 2147483647ULL : 9223372036854775807ULL;
  if (magnitude > limit + (negative ? 1 : 0)) { error = Overflow(t); return std::nullopt; }
  return StoredDecimal(*normal);
}

std::optional<StoredValue> ToFloat(const Value& v, const SqlType& t, ConversionError& error) {
  double d = 0;
  switch (v.kind) {
    case Value::Kind::Integer: d = static_cast<double>(v.integer); break;
    case Value::Kind::Float: d = v.real; break;
    case Value::Kind::Decimal: d = std::strtod(v.text.c_str(), nullptr); break;
    case Value::Kind::String: {
      // strtod needs the trimmed text NUL-terminated: on the stack when it is short.
      const std::string_view trimmed = TrimView(v.text);
      char small[64];
      std::string large;
      const char* s = small;
      if (trimmed.size() < sizeof small) {
        std::copy(trimmed.begin(), trimmed.end(), small);
        small[trimmed.size()] = '\0';
      } else {
        large.assign(trimmed);
        s = large.c_str();
      }
      const char* end = nullptr;
      d = ParseDouble(s, trimmed.size(), &end);
      if (trimmed.empty()) d = 0;
      else if (end == s || *end != '\0') {
        error = {8114, "Error converting data type " + std::string(v.national ? "nvarchar" : "varchar") +
                           " to float."};
        return std::nullopt;
      }
      break;
    }
    default: error = ConvertFailed(v, t); return std::nullopt;
  }
  if (!std::isfinite(d) || (t.kind == TypeKind::Real && std::fabs(d) > 3.40282347e38)) {
    error = Overflow(t);
    return std::nullopt;
  }
  if (t.kind == TypeKind::Real) d = static_cast<float>(d);
  StoredValue s;
  s.kind = StoredValue::Kind::Real;
  s.real = d;
  return s;
}

std::optional<StoredValue> ToDateTime(const Value& v, const SqlType& t, ConversionError& error) {
  if (v.kind != Value::Kind::String) {
    error = {206, "Operand type clash: " + std::string(v.kind == Value::Kind::Binary ? "varbinary" : "int") +
                      " is incompatible with " + TypeName(t)};
    return std::nullopt;
  }
  // A datetimeoffset's text keeps its local time; the offset is dropped.
  int offset = 0;
  std::string_view body = v.text;
  if (const auto before = SplitTimeZoneOffset(v.text, offset)) body = *before;
  const auto parts = ParseDateStyle(body, 0);
  if (!parts) {
    error = {241, "Conversion failed when converting date and/or time from character string."};
    return std::nullopt;
  }
  std::optional<std::string> text;
  switch (t.kind) {
    case TypeKind::DateTime: text = FormatDateTime(*parts); break;
    case TypeKind::SmallDateTime: text = FormatSmallDateTime(*parts); break;
    case TypeKind::DateTime2: text = FormatDateTime2(*parts, t.scale); break;
    case TypeKind::Date: text = FormatDate(*parts); break;
    default: text = FormatTime(*parts, t.scale); break;
  }
  if (!text) {
    error = {242, "The conversion of a " + std::string(v.national ? "nvarchar" : "varchar") + " data type to a " +
                      TypeName(t) + " data type resulted in an out-of-range value."};
    return std::nullopt;
  }
  StoredValue s;
  s.kind = StoredValue::Kind::Text;
  s.text = std::move(*text);
  return s;
}

std::string OffsetText(int minutes) {
  char b[24];
  std::snprintf(b, sizeof b, "%c%02d:%02d", minutes < 0 ? '-' : '+', std::abs(minutes) / 60, std::abs(minutes) % 60);
  return b;
}

// Stored as local time and offset: "2024-02-29 13:45:30.1234567 +05:30".
std::optional<StoredValue> ToDateTimeOffset(const Value& v, const SqlType& t, ConversionError& error) {
  if (v.kind != Value::Kind::String) {
    error = {206, std::string("Operand type clash: ") + (v.kind == Value::Kind::Binary ? "varbinary" : "int") +
                      " is incompatible with datetimeoffset"};
    return std::nullopt;
  }
  int offset = 0;
  std::string body = v.text;
  if (const auto before = SplitTimeZoneOffset(v.text, offset)) body = std::string(*before);
  const auto parts = ParseDateStyle(body, 0);
  if (!parts) {
    error = {241, "Conversion failed when converting date and/or time from character string."};
    return std::nullopt;
  }
  const auto text = FormatDateTime2(*parts, t.scale);
  if (!text) {
    error = {242, "The conversion of a " + std::string(v.national ? "nvarchar" : "varchar") +
                      " data type to a datetimeoffset data type resulted in an out-of-range value."};
    return std::nullopt;
  }
  StoredValue s;
  s.kind = StoredValue::Kind::Text;
  s.text = *text + " " + OffsetText(offset);
  return s;
}

std::optional<StoredValue> ToXml(const Value& v, ConversionError& error) {
  if (v.kind != Value::Kind::String) {
    error = {206, std::string("Operand type clash: ") + (v.kind == Value::Kind::Binary ? "varbinary" : "int") +
                      " is incompatible with xml"};
    return std::nullopt;
  }
  StoredValue s;
  s.kind = StoredValue::Kind::Text;
  s.text = v.text;
  return s;
}

// geography/geometry: a serialized value as bytes, or well-known text
// (geography's SRID then 4326, geometry's 0, as Parse gives them).
std::optional<StoredValue> ToSpatial(const Value& v, const SqlType& t, ConversionError& error) {
  const bool geography = t.kind == TypeKind::Geography;
  const std::string typeName = geography ? "geography" : "geometry";
  StoredValue s;
  s.kind = StoredValue::Kind::Blob;
  if (v.kind == Value::Kind::Binary && IsSerializedSpatial(v.bytes)) {
    s.blob = v.bytes;
    return s;
  }
  std::string problem = "24114: The input is not a valid " + typeName + " value.";
  if (v.kind == Value::Kind::String) {
    if (auto bytes = SerializeWkt(geography, v.text, geography ? kDefaultGeographySrid : 0, problem)) {
      s.blob = std::move(*bytes);
      return s;
    }
  } else if (v.kind != Value::Kind::Binary) {
    error = {206, "Operand type clash: int is incompatible with " + typeName};
    return std::nullopt;
  }
  error = {6522, "A .NET Framework error occurred during execution of user-defined routine or aggregate \"" + typeName +
                     "\": System.FormatException: " + problem};
  return std::nullopt;
}

std::optional<StoredValue> ToHierarchyId(const Value& v, ConversionError& error) {
  StoredValue s;
  s.kind = StoredValue::Kind::Blob;
  if (v.kind == Value::Kind::Binary && DecodeHierarchyId(v.bytes.data(), v.bytes.size())) {
    s.blob = v.bytes;
    return s;
  }
  const auto bytes = v.kind == Value::Kind::String ? EncodeHierarchyId(Trim(v.text)) : std::nullopt;
  if (!bytes) {
    error = {6522, "A .NET Framework error occurred during execution of user-defined routine or aggregate \"hierarchyid\": "
                   "System.FormatException: 24001: SqlHierarchyId.Parse failed because the input string '" +
                       DisplayText(v) + "' is not a valid string representation of a SqlHierarchyId node."};
    return std::nullopt;
  }
  s.blob = *bytes;
  return s;
}

std::optional<StoredValue> ToText(const Value& v, const SqlType& t, ConversionError& error) {
  if (v.kind == Value::Kind::Binary) {
    // SQL Server reinterprets the bytes; keep them when they are valid text.
    StoredValue s;
    s.kind = StoredValue::Kind::Text;
    s.text.assign(v.bytes.begin(), v.bytes.end());
    if (!IsNCharKind(t.kind)) s.text = FromCp1252(s.text);
    return s;
  }
  StoredValue s;
  s.kind = StoredValue::Kind::Text;
  s.text = DisplayText(v);
  const bool otherCodePage = t.collation && t.collation->codePage != 1252 && !IsNCharKind(t.kind);
  std::string encoded;
  if (otherCodePage) {
    // Kept as the column's code page can hold it: what it lacks becomes '?'.
    encoded = EncodeForCollation(*t.collation, s.text);
    s.text = DecodeFromCollation(*t.collation, encoded);
  }
  if (t.length > 0) {
    const size_t units = IsNCharKind(t.kind) ? Utf16Length(s.text) : otherCodePage ? encoded.size() : Cp1252Length(s.text);
    if (units > static_cast<size_t>(t.length)) {
      error = Truncated();
      return std::nullopt;
    }
    if (t.kind == TypeKind::Char || t.kind == TypeKind::NChar) s.text.append(t.length - units, ' ');
  }
  return s;
}

std::optional<StoredValue> ToBinary(const Value& v, const SqlType& t, ConversionError& error) {
  StoredValue s;
  s.kind = StoredValue::Kind::Blob;
  if (v.kind == Value::Kind::Binary) {
    s.blob = v.bytes;
  } else if (v.kind == Value::Kind::Integer && t.kind != TypeKind::Image) {
    for (int i = 7; i >= 0; --i) s.blob.push_back(static_cast<uint8_t>(v.integer >> (8 * i)));
    if (v.integer >= INT32_MIN && v.integer <= INT32_MAX) s.blob.erase(s.blob.begin(), s.blob.begin() + 4);
  } else {
    error = {257, "Implicit conversion from data type " + std::string(v.national ? "nvarchar" : "varchar") +
                      " to " + TypeName(t) + " is not allowed. Use the CONVERT function to run this query."};
    return std::nullopt;
  }
  if (t.length > 0) {
    if (s.blob.size() > static_cast<size_t>(t.length)) { error = Truncated(); return std::nullopt; }
    if (t.kind == TypeKind::Binary) s.blob.resize(t.length, 0);
  }
  return s;
}

}  // namespace

std::optional<std::string> NormalizeDecimal(const std::string& raw, int precision, int scale) {
  const std::string_view s = TrimView(raw);
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const size_t wholeAt = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  const std::string_view whole = s.substr(wholeAt, i - wholeAt);
  std::string_view frac;
  if (i < s.size() && s[i] == '.') {
    const size_t fracAt = ++i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    frac = s.substr(fracAt, i - fracAt);
  }
  if (i != s.size() || (whole.empty() && frac.empty())) return std::nullopt;
  // Round half away from zero to `scale` decimals.
  const size_t kept = std::min(frac.size(), static_cast<size_t>(scale));
  const bool roundUp = frac.size() > kept && frac[kept] >= '5';
  std::string digits;
  digits.reserve(whole.size() + static_cast<size_t>(scale) + 1);
  digits.append(whole).append(frac.substr(0, kept)).append(static_cast<size_t>(scale) - kept, '0');
  if (roundUp) {
    int k = static_cast<int>(digits.size()) - 1;
    while (k >= 0 && digits[k] == '9') digits[k--] = '0';
    if (k >= 0) ++digits[k];
    else digits.insert(digits.begin(), '1');
  }
  const size_t firstNonZero = digits.find_first_not_of('0');
  const size_t intDigits = digits.size() - scale;
  std::string intPart = digits.substr(0, intDigits);
  const size_t lead = intPart.find_first_not_of('0');
  intPart = lead == std::string::npos ? "0" : intPart.substr(lead);
  if (intPart != "0" && static_cast<int>(intPart.size()) > precision - scale) return std::nullopt;
  std::string out;
  if (negative && firstNonZero != std::string::npos) out += '-';
  out += intPart;
  if (scale > 0) out += "." + digits.substr(intDigits);
  return out;
}

std::optional<std::string> NormalizeGuid(const std::string& raw) {
  std::string s = Trim(raw);
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  if (s.size() != 36) return std::nullopt;
  for (size_t i = 0; i < s.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
    s[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
  }
  return s;
}

std::optional<StoredValue> ConvertToColumn(const Value& v, const SqlType& t, ConversionError& error) {
  if (v.kind == Value::Kind::Null) return StoredValue{};
  switch (t.kind) {
    case TypeKind::Int: case TypeKind::SmallInt: case TypeKind::TinyInt: case TypeKind::BigInt:
      return ToInteger(v, t, error);
    case TypeKind::Bit: return ToBit(v, t, error);
    case TypeKind::Decimal: case TypeKind::Numeric: return ToExactDecimal(v, t, error);
    case TypeKind::Money: case TypeKind::SmallMoney: return ToMoney(v, t, error);
    case TypeKind::Float: case TypeKind::Real: return ToFloat(v, t, error);
    case TypeKind::DateTime: case TypeKind::SmallDateTime: case TypeKind::Date: case TypeKind::Time:
    case TypeKind::DateTime2:
      return ToDateTime(v, t, error);
    case TypeKind::DateTimeOffset: return ToDateTimeOffset(v, t, error);
    case TypeKind::SqlVariant: return StoreVariant(v, error);
    case TypeKind::Xml: return ToXml(v, error);
    case TypeKind::HierarchyId: return ToHierarchyId(v, error);
    case TypeKind::Geography: case TypeKind::Geometry: return ToSpatial(v, t, error);
    case TypeKind::Char: case TypeKind::VarChar: case TypeKind::Text:
    case TypeKind::NChar: case TypeKind::NVarChar: case TypeKind::NText:
      return ToText(v, t, error);
    case TypeKind::Binary: case TypeKind::VarBinary: case TypeKind::Image:
      return ToBinary(v, t, error);
    case TypeKind::Timestamp:
      error = {273, "Cannot insert an explicit value into a timestamp column. Use INSERT with a column list to "
                    "exclude the timestamp column, or insert a DEFAULT into the timestamp column."};
      return std::nullopt;
    case TypeKind::UniqueIdentifier: {
      if (v.kind != Value::Kind::String) {
        error = {206, "Operand type clash: int is incompatible with uniqueidentifier"};
        return std::nullopt;
      }
      const auto g = NormalizeGuid(v.text);
      if (!g) {
        error = {8169, "Conversion failed when converting from a character string to uniqueidentifier."};
        return std::nullopt;
      }
      StoredValue s;
      s.kind = StoredValue::Kind::Text;
      s.text = *g;
      return s;
    }
  }
  return std::nullopt;
}

}  // namespace standin
