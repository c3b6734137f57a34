#include "access_defaults.h"

#include <strings.h>

#include <cctype>

#include "value_literals.h"

namespace talvoro::engine {
namespace {

bool Is(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Position of the ')' matching the '(' at `open`, skipping string literals; npos if none.
std::size_t MatchingParenthesis(std::string_view s, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < s.size(); ++i) {
    if (s[i] == '\'') {
      for (++i; i < s.size(); ++i) {
        if (s[i] == '\'' && (i + 1 >= s.size() || s[i + 1] != '\'')) break;
        if (s[i] == '\'') ++i;
      }
    } else if (s[i] == '(') {
      ++depth;
    } else if (s[i] == ')' && --depth == 0) {
      return i;
    }
  }
  return std::string_view::npos;
}

// SQL Server keeps a default inside parentheses, often two: ((0)).
std::string_view Unwrap(std::string_view s) {
  s = Trim(s);
  while (s.size() >= 2 && s.front() == '(' && MatchingParenthesis(s, 0) == s.size() - 1) {
    s = Trim(s.substr(1, s.size() - 2));
  }
  return s;
}

struct Number {
  std::string text;  // sign and digits as written
  bool whole = true;  // no fraction and no exponent
};

bool ReadNumber(std::string_view s, Number& number) {
  s = Unwrap(s);
  std::string sign;
  while (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    if (s.front() == '-') sign = sign.empty() ? "-" : "";
    s = Unwrap(s.substr(1));
  }
  std::size_t i = 0, digits = 0;
  while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  bool whole = true;
  if (i < s.size() && s[i] == '.') {
    ++i;
    whole = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    whole = false;
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponentDigits = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  if (i != s.size()) return false;
  number.text = sign + std::string(s);
  number.whole = whole;
  return true;
}

// 'text' or N'text' with '' for a quote, and nothing else.
bool ReadString(std::string_view s, std::string& text) {
  if (!s.empty() && (s.front() == 'N' || s.front() == 'n')) s.remove_prefix(1);
  if (s.size() < 2 || s.front() != '\'' || s.back() != '\'') return false;
  text.clear();
  for (std::size_t i = 1; i + 1 < s.size(); ++i) {
    if (s[i] == '\'') {
      if (i + 2 >= s.size() || s[i + 1] != '\'') return false;
      ++i;
    }
    text.push_back(s[i]);
  }
  return true;
}

// A call without arguments, "getdate()", or a bare CURRENT_TIMESTAMP: its name.
bool ReadFunction(std::string_view s, std::string& name) {
  std::size_t i = 0;
  while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
  if (i == 0) return false;
  name = std::string(s.substr(0, i));
  std::string_view rest = Trim(s.substr(i));
  if (rest.empty()) return Is(name, "CURRENT_TIMESTAMP");
  return rest.front() == '(' && Trim(rest.substr(1, rest.size() - 1)) == ")";
}

// Characters of the Access expression "text": quotes, and each " doubled.
std::size_t AccessStringLength(std::string_view text) {
  std::size_t units = 2;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b & 0xC0) == 0x80) continue;  // continuation byte
    units += b >= 0xF0 ? 2 : 1;
    if (text[i] == '"') ++units;
  }
  return units;
}

enum class Target { Boolean, Whole, Number, Text, Date, Time, DateTime, None };

Target TargetOf(const ColumnInfo& column, const ColumnMapping& m) {
  std::string_view type = column.typeName;
  switch (m.valueKind) {
    case ValueKind::Integer:
      return Is(m.typeText, "bit") ? Target::Boolean : Target::Whole;
    case ValueKind::Exact:
    case ValueKind::Double:
    case ValueKind::Real:
      return Target::Number;
    case ValueKind::Text:
    case ValueKind::WideText:
      return Target::Text;
    case ValueKind::DateTime:
    case ValueKind::DateText:
      if (Is(type, "date")) return Target::Date;
      if (Is(type, "time")) return Target::Time;
      return Target::DateTime;
    case ValueKind::Binary:
    case ValueKind::Guid:
      break;
  }
  return Target::None;
}

DefaultTranslation Carried(std::string sql) { return {std::move(sql), {}}; }

DefaultTranslation NotCarried(const ColumnInfo& column, const std::string& why) {
  return {{}, "the default " + column.columnDef + " of column \"" + column.columnName + "\" is not carried: " + why};
}

DefaultTranslation FromNumber(const ColumnInfo& column, Target target, const Number& number) {
  switch (target) {
    case Target::Boolean:
      if (!number.whole) break;
      return Carried(number.text.find_first_not_of("-+0") == std::string::npos ? "False" : "True");
    case Target::Whole:
      if (!number.whole) return NotCarried(column, "a whole-number column cannot hold a fraction");
      return Carried(number.text);
    case Target::Number:
      return Carried(number.text);
    case Target::Text: {
      std::string sql;
      AppendTextLiteral(number.text, sql);
      return Carried(sql);
    }
    default:
      break;
  }
  return NotCarried(column, "Access has no equivalent for this column's type");
}

}  // namespace

DefaultTranslation TranslateDefault(const ColumnInfo& column, const ColumnMapping& mapping) {
  const std::string_view expression = Unwrap(column.columnDef);
  if (expression.empty() || Is(expression, "NULL")) return {};
  const Target target = TargetOf(column, mapping);

  Number number;
  if (ReadNumber(expression, number)) return FromNumber(column, target, number);

  std::string text;
  if (ReadString(expression, text)) {
    if (target == Target::Text) {
      if (AccessStringLength(text) > kMaxAccessDefaultLength) {
        return NotCarried(column, "Access keeps defaults of at most 255 characters");
      }
      std::string sql;
      AppendTextLiteral(text, sql);
      return Carried(sql);
    }
    // SQL Server turns a number in quotes into the number.
    if (ReadNumber(text, number) && target != Target::None && target != Target::Date &&
        target != Target::Time && target != Target::DateTime) {
      return FromNumber(column, target, number);
    }
    return NotCarried(column, "Access has no equivalent");
  }

  std::string function;
  if (ReadFunction(expression, function)) {
    const bool now = Is(function, "getdate") || Is(function, "sysdatetime") || Is(function, "CURRENT_TIMESTAMP");
    if (now && target == Target::DateTime) return Carried("Now()");
    if (now && target == Target::Date) return Carried("Date()");
    if (now && target == Target::Time) return Carried("Time()");
    if (Is(function, "getutcdate") || Is(function, "sysutcdatetime")) {
      return NotCarried(column, "Access has no function for the time in UTC");
    }
  }
  return NotCarried(column, "Access has no equivalent");
}

}  // namespace talvoro::engine
