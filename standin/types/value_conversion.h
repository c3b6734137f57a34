// Values written in statements (literals and evaluated expressions) and their
// conversion into the stored form of a column, with SQL Server's errors.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "types/sql_type.h"

namespace standin {

struct Value {
  enum class Kind { Null, Integer, Decimal, Float, String, Binary, Default };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::string text;  // Decimal: the literal digits; String: UTF-8
  std::vector<uint8_t> bytes;
  bool national = false;  // N'...'
  std::optional<SqlType> declaredType;  // set for CONVERT/CAST results (sql_variant keeps it)

  static Value Null() { return {}; }
  static Value Int(int64_t v) { Value x; x.kind = Kind::Integer; x.integer = v; return x; }
  static Value Str(std::string s, bool national = false) {
    Value x; x.kind = Kind::String; x.text = std::move(s); x.national = national; return x;
  }
};

// A value in the form SQLite keeps for the column.
struct StoredValue {
  enum class Kind { Null, Integer, Real, Text, Blob };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::string text;
  std::vector<uint8_t> blob;
};

struct ConversionError {
  int number = 0;
  std::string text;
};

// Converts `v` for a column of type `t`. On failure returns nullopt and fills `error`.
std::optional<StoredValue> ConvertToColumn(const Value& v, const SqlType& t, ConversionError& error);

// Canonical "[-]digits[.digits]" with exactly `scale` decimals, or nullopt when
// the text is no number or needs more than `precision` digits.
std::optional<std::string> NormalizeDecimal(const std::string& text, int precision, int scale);
// Canonical upper-case GUID text, or nullopt.
std::optional<std::string> NormalizeGuid(const std::string& text);

}  // namespace standin
