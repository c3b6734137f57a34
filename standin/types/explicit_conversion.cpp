#include "types/explicit_conversion.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "types/date_styles.h"
#include "types/text_encoding.h"

namespace standin {
namespace {

constexpr char kErrorPrefix[] = "standin-error:";
constexpr int kDefaultConvertLength = 30;

ConversionError NotAllowed(const char* from, const SqlType& t) {
  return {529, std::string("Explicit conversion from data type ") + from + " to " + TypeName(t) + " is not allowed."};
}

const char* SourceName(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return "int";
    case Value::Kind::Decimal: return "numeric";
    case Value::Kind::Float: return "float";
    case Value::Kind::Binary: return "varbinary";
    default: return v.national ? "nvarchar" : "varchar";
  }
}

// SQL Server writes exponents with at least three digits: 1e+010.
std::string WideExponent(std::string s) {
  const size_t e = s.find_first_of("eE");
  if (e == std::string::npos || e + 2 > s.size()) return s;
  const size_t digits = e + 2;
  while (s.size() - digits < 3) s.insert(digits, "0");
  return s;
}

std::string FloatText(double d, std::optional<int> style) {
  char b[64];
  if (!style) {
    const auto r = std::to_chars(b, b + sizeof b, d);  // shortest text that reads back the same
    return std::string(b, r.ptr);
  }
  switch (*style) {
    case 1: std::snprintf(b, sizeof b, "%.7e", d); return WideExponent(b);
    case 2: std::snprintf(b, sizeof b, "%.15e", d); return WideExponent(b);
    case 3: std::snprintf(b, sizeof b, "%.17g", d); return b;
    default: std::snprintf(b, sizeof b, "%.6g", d); return WideExponent(b);
  }
}

std::string HexText(const std::vector<uint8_t>& bytes, bool prefix) {
  static const char* hex = "0123456789ABCDEF";
  std::string s = prefix ? "0x" : "";
  for (uint8_t b : bytes) {
    s += hex[b >> 4];
    s += hex[b & 15];
  }
  return s;
}

std::optional<std::vector<uint8_t>> ParseHex(std::string_view s) {
  if (s.size() % 2) return std::nullopt;
  std::vector<uint8_t> out;
  for (size_t i = 0; i < s.size(); i += 2) {
    unsigned v = 0;
    const auto r = std::from_chars(s.data() + i, s.data() + i + 2, v, 16);
    if (r.ec != std::errc() || r.ptr != s.data() + i + 2) return std::nullopt;
    out.push_back(static_cast<uint8_t>(v));
  }
  return out;
}

// Cuts `utf8` to at most `units` characters of the target (UTF-16 units for
// national types, one per character otherwise) without splitting a character.
std::string CutToUnits(const std::string& utf8, size_t units, bool wide) {
  size_t used = 0, i = 0;
  while (i < utf8.size()) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    const size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 4;
    const size_t need = wide && len == 4 ? 2 : 1;
    if (used + need > units) break;
    used += need;
    i += len;
  }
  return utf8.substr(0, i);
}

size_t UnitCount(const std::string& utf8, bool wide) {
  if (wide) return Utf16Length(utf8);
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

std::optional<StoredValue> ToCharacters(const Value& v, const SqlType& t, std::optional<int> style,
                                        ConversionError& error) {
  const bool wide = IsNCharKind(t.kind);
  std::string text;
  bool numeric = false;
  switch (v.kind) {
    case Value::Kind::String:
      text = v.text;
      if (const auto d = RecognizeStoredDate(v.text)) {
        const bool oldType = d->kind == DateKind::DateTime || d->kind == DateKind::SmallDateTime;
        if (style || oldType) {
          const auto styled = FormatDateStyle(*d, style.value_or(0));
          if (!styled) {
            error = {281, std::to_string(*style) + " is not a valid style number when converting from datetime to a character string."};
            return std::nullopt;
          }
          text = *styled;
        }
      }
      break;
    case Value::Kind::Integer: text = std::to_string(v.integer); numeric = true; break;
    case Value::Kind::Decimal: text = v.text; numeric = true; break;
    case Value::Kind::Float: text = FloatText(v.real, style); numeric = true; break;
    case Value::Kind::Binary:
      if (style == 1 || style == 2) text = HexText(v.bytes, style == 1);
      else if (wide) text = FromUtf16(v.bytes.data(), v.bytes.size());
      else text = FromCp1252(std::string(v.bytes.begin(), v.bytes.end()));
      break;
    default: break;
  }
  if (t.length > 0) {
    const size_t units = UnitCount(text, wide);
    if (units > static_cast<size_t>(t.length)) {
      if (numeric && wide) {
        error = {8115, "Arithmetic overflow error converting expression to data type " + TypeName(t) + "."};
        return std::nullopt;
      }
      text = numeric ? "*" : CutToUnits(text, static_cast<size_t>(t.length), wide);
    }
    if (t.kind == TypeKind::Char || t.kind == TypeKind::NChar) text.append(t.length - UnitCount(text, wide), ' ');
  }
  StoredValue s;
  s.kind = StoredValue::Kind::Text;
  s.text = std::move(text);
  return s;
}

std::optional<StoredValue> ToBytes(const Value& v, const SqlType& t, std::optional<int> style, ConversionError& error) {
  std::vector<uint8_t> bytes;
  bool rightAligned = false;  // numbers keep their low-order bytes
  switch (v.kind) {
    case Value::Kind::Binary: bytes = v.bytes; break;
    case Value::Kind::String:
      if (style == 1 || style == 2) {
        std::string_view hex = v.text;
        if (style == 1) {
          if (hex.size() < 2 || hex[0] != '0' || (hex[1] != 'x' && hex[1] != 'X')) hex = "?";
          else hex.remove_prefix(2);
        }
        const auto parsed = ParseHex(hex);
        if (!parsed) {
          error = {8114, std::string("Error converting data type ") + SourceName(v) + " to " + TypeName(t) + "."};
          return std::nullopt;
        }
        bytes = *parsed;
      } else if (v.national) {
        bytes = ToUtf16(v.text);
      } else {
        const std::string narrow = ToCp1252(v.text);
        bytes.assign(narrow.begin(), narrow.end());
      }
      break;
    case Value::Kind::Integer: {
      const int size = v.integer >= INT32_MIN && v.integer <= INT32_MAX ? 4 : 8;
      for (int i = size - 1; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(v.integer >> (8 * i)));
      rightAligned = true;
      break;
    }
    default:
      error = NotAllowed(SourceName(v), t);
      return std::nullopt;
  }
  const int length = t.kind == TypeKind::Timestamp ? 8 : t.length;
  if (length > 0) {
    const auto n = static_cast<size_t>(length);
    if (bytes.size() > n) {
      if (rightAligned) bytes.erase(bytes.begin(), bytes.end() - static_cast<long>(n));
      else bytes.resize(n);
    }
    if ((t.kind == TypeKind::Binary || t.kind == TypeKind::Timestamp) && bytes.size() < n) {
      if (rightAligned) bytes.insert(bytes.begin(), n - bytes.size(), 0);
      else bytes.resize(n, 0);
    }
  }
  StoredValue s;
  s.kind = StoredValue::Kind::Blob;
  s.blob = std::move(bytes);
  return s;
}

std::optional<StoredValue> ToDate(const Value& v, const SqlType& t, std::optional<int> style, ConversionError& error) {
  DateTimeParts parts;
  if (v.kind == Value::Kind::String) {
    if (style && !IsDateStyle(*style)) {
      error = {9809, "The style " + std::to_string(*style) + " is not supported for conversions from " + SourceName(v) +
                         " to " + TypeName(t) + "."};
      return std::nullopt;
    }
    if (t.kind == TypeKind::DateTimeOffset) return ConvertToColumn(v, t, error);
    int offset = 0;
    std::string body = v.text;
    if (const auto before = SplitTimeZoneOffset(v.text, offset)) body = std::string(*before);
    const auto parsed = ParseDateStyle(body, style.value_or(0));
    if (!parsed) {
      error = {241, "Conversion failed when converting date and/or time from character string."};
      return std::nullopt;
    }
    Value canonical = Value::Str(*FormatDateTime2(*parsed, 7), v.national);
    return ConvertToColumn(canonical, t, error);
  }
  if ((v.kind == Value::Kind::Integer || v.kind == Value::Kind::Float || v.kind == Value::Kind::Decimal) &&
      (t.kind == TypeKind::DateTime || t.kind == TypeKind::SmallDateTime)) {
    // Numbers count days from 1900-01-01; a fraction is part of a day.
    const double days = v.kind == Value::Kind::Integer ? static_cast<double>(v.integer)
                        : v.kind == Value::Kind::Float ? v.real
                                                       : std::strtod(v.text.c_str(), nullptr);
    const double whole = std::floor(days);
    if (std::fabs(whole) > 3e6) {
      error = {8115, "Arithmetic overflow error converting expression to data type " + TypeName(t) + "."};
      return std::nullopt;
    }
    CivilFromDays(DaysFromCivil(1900, 1, 1) + static_cast<int64_t>(whole), parts.year, parts.month, parts.day);
    const auto nanos = static_cast<int64_t>(std::llround((days - whole) * 86400e9));
    parts.hour = static_cast<int>(nanos / 3600000000000LL);
    parts.minute = static_cast<int>(nanos / 60000000000LL % 60);
    parts.second = static_cast<int>(nanos / 1000000000LL % 60);
    parts.nanos = nanos % 1000000000LL;
    const auto text = t.kind == TypeKind::DateTime ? FormatDateTime(parts) : FormatSmallDateTime(parts);
    if (!text) {
      error = {8115, "Arithmetic overflow error converting expression to data type " + TypeName(t) + "."};
      return std::nullopt;
    }
    StoredValue s;
    s.kind = StoredValue::Kind::Text;
    s.text = *text;
    return s;
  }
  error = NotAllowed(SourceName(v), t);
  return std::nullopt;
}

std::optional<StoredValue> ToGuid(const Value& v, const SqlType& t, ConversionError& error) {
  if (v.kind == Value::Kind::Binary) {
    if (v.bytes.size() < 16) {
      error = {8169, "Conversion failed when converting from a character string to uniqueidentifier."};
      return std::nullopt;
    }
    const auto& b = v.bytes;
    char s[40];
    std::snprintf(s, sizeof s, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", b[3], b[2], b[1],
                  b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    StoredValue r;
    r.kind = StoredValue::Kind::Text;
    r.text = s;
    return r;
  }
  if (v.kind != Value::Kind::String) {
    error = NotAllowed(SourceName(v), t);
    return std::nullopt;
  }
  return ConvertToColumn(v, t, error);
}

std::optional<StoredValue> ToNumber(const Value& v, const SqlType& t, ConversionError& error) {
  if (v.kind == Value::Kind::Binary) {
    if (!IsIntegerKind(t.kind) && t.kind != TypeKind::Bit) {
      error = NotAllowed("varbinary", t);
      return std::nullopt;
    }
    // The low-order bytes of the big-endian value, as SQL Server reads them.
    uint64_t raw = 0;
    const size_t size = t.kind == TypeKind::BigInt ? 8 : t.kind == TypeKind::Int ? 4 : t.kind == TypeKind::SmallInt ? 2 : 1;
    const size_t from = v.bytes.size() > size ? v.bytes.size() - size : 0;
    for (size_t i = from; i < v.bytes.size(); ++i) raw = (raw << 8) | v.bytes[i];
    int64_t value = 0;
    switch (size) {
      case 8: value = static_cast<int64_t>(raw); break;
      case 4: value = static_cast<int32_t>(raw); break;
      case 2: value = static_cast<int16_t>(raw); break;
      default: value = static_cast<uint8_t>(raw); break;
    }
    StoredValue s;
    s.kind = StoredValue::Kind::Integer;
    s.integer = t.kind == TypeKind::Bit ? value != 0 : value;
    return s;
  }
  if (v.kind == Value::Kind::String && (t.kind == TypeKind::Money || t.kind == TypeKind::SmallMoney)) {
    // Money accepts a currency sign and thousands separators.
    Value plain = v;
    plain.text.clear();
    for (char c : v.text)
      if (c != '$' && c != ',') plain.text += c;
    return ConvertToColumn(plain, t, error);
  }
  return ConvertToColumn(v, t, error);
}

}  // namespace

std::optional<SqlType> ParseTargetType(std::string_view text, ConversionError& error) {
  size_t i = 0;
  std::string name;
  while (i < text.size() && text[i] != '(') name += text[i++];
  while (!name.empty() && std::isspace(static_cast<unsigned char>(name.back()))) name.pop_back();
  if (name == "double precision") name = "float";
  int argCount = 0;
  long long args[2] = {0, 0};
  bool isMax = false;
  if (i < text.size()) {
    ++i;
    std::string inside;
    while (i < text.size() && text[i] != ')') inside += text[i++];
    std::string lowered;
    for (char c : inside)
      if (!std::isspace(static_cast<unsigned char>(c))) lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lowered == "max") {
      isMax = true;
    } else {
      size_t at = 0;
      while (at < lowered.size() && argCount < 2) {
        const size_t comma = lowered.find(',', at);
        args[argCount++] = std::atoll(lowered.substr(at, comma - at).c_str());
        if (comma == std::string::npos) break;
        at = comma + 1;
      }
    }
  }
  std::string message;
  auto type = MakeType(name, argCount, args[0], args[1], isMax, message);
  if (!type) {
    error = message.rfind("Column, parameter", 0) == 0 ? ConversionError{243, "Type " + name + " is not a defined system type."}
                                                         : ConversionError{102, message};
    return std::nullopt;
  }
  const bool sized = type->kind == TypeKind::Char || type->kind == TypeKind::VarChar || type->kind == TypeKind::NChar ||
                     type->kind == TypeKind::NVarChar || type->kind == TypeKind::Binary ||
                     type->kind == TypeKind::VarBinary;
  if (sized && argCount == 0 && !isMax) type->length = kDefaultConvertLength;
  return type;
}

std::optional<StoredValue> ConvertExplicitly(const Value& v, const SqlType& t, std::optional<int> style,
                                             ConversionError& error) {
  if (v.kind == Value::Kind::Null) return StoredValue{};
  if (IsCharKind(t.kind) || IsNCharKind(t.kind)) return ToCharacters(v, t, style, error);
  if (IsBinaryKind(t.kind) || t.kind == TypeKind::Timestamp) return ToBytes(v, t, style, error);
  if (IsDateTimeKind(t.kind)) return ToDate(v, t, style, error);
  if (t.kind == TypeKind::UniqueIdentifier) return ToGuid(v, t, error);
  return ToNumber(v, t, error);
}

std::string EncodeConversionError(const ConversionError& e) {
  return kErrorPrefix + std::to_string(e.number) + ":" + e.text;
}

std::optional<ConversionError> DecodeConversionError(std::string_view text) {
  const std::string_view prefix = kErrorPrefix;
  if (text.substr(0, prefix.size()) != prefix) return std::nullopt;
  text.remove_prefix(prefix.size());
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  ConversionError e;
  e.number = std::atoi(std::string(text.substr(0, colon)).c_str());
  e.text = std::string(text.substr(colon + 1));
  return e;
}

}  // namespace standin
