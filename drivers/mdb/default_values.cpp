#include "default_values.h"

#include <ctime>
#include <string>

#include "literal_values.h"
#include "sql_tokenizer.h"

namespace mdb {
namespace {

// The local time as an OLE date (days since 1899-12-30), as Access's Now().
double OleDateNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::tm noon = local;
  noon.tm_hour = 12;
  noon.tm_min = noon.tm_sec = 0;
  double days = static_cast<double>(timegm(&noon) / 86400) + 25569.0;
  return days + (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) / 86400.0;
}

bool IsNumber(const std::string& text) {
  std::size_t i = text[0] == '-' ? 1 : 0;
  if (i >= text.size()) return false;
  bool digit = false;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-') {
      return false;
    }
  }
  return digit;
}

}  // namespace

std::optional<jet::Value> DefaultValueOf(const jet::ColumnDef& column) {
  const std::string& expression = column.defaultValue;
  if (expression.empty()) return std::nullopt;
  Literal literal;
  std::string text;
  if (IsNumber(expression)) {
    literal.kind = Literal::Kind::Number;
    literal.negative = expression[0] == '-';
    text = expression.substr(literal.negative ? 1 : 0);
  } else if (expression.size() >= 2 && expression.front() == '"' && expression.back() == '"') {
    literal.kind = Literal::Kind::String;
    for (std::size_t i = 1; i + 1 < expression.size(); ++i) {
      text += expression[i];
      if (expression[i] == '"' && expression[i + 1] == '"') ++i;
    }
  } else if (EqualsIgnoreCase(expression, "True") || EqualsIgnoreCase(expression, "False") ||
             EqualsIgnoreCase(expression, "Yes") || EqualsIgnoreCase(expression, "No")) {
    literal.kind = Literal::Kind::Boolean;
    literal.boolean = EqualsIgnoreCase(expression, "True") || EqualsIgnoreCase(expression, "Yes");
  } else if (EqualsIgnoreCase(expression, "Null")) {
    return jet::Value{jet::Null{}};
  } else if (EqualsIgnoreCase(expression, "Now()") || EqualsIgnoreCase(expression, "Date()") ||
             EqualsIgnoreCase(expression, "Time()")) {
    double now = OleDateNow();
    double day = static_cast<double>(static_cast<long long>(now));
    double value = EqualsIgnoreCase(expression, "Now()") ? now : EqualsIgnoreCase(expression, "Date()") ? day : now - day;
    if (column.type != jet::ColumnType::DateTime) return std::nullopt;
    return jet::Value{jet::DateTime{value}};
  } else {
    return std::nullopt;
  }
  literal.text = text;
  return ToColumnValue(literal, column);
}

}  // namespace mdb
