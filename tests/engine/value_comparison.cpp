#include "value_comparison.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "engine/value_literals.h"

namespace talvoro::test {
namespace {

using engine::ValueKind;

// "12.3400" → "12.34", "-0.00" → "0", "+5" → "5", "1E3" is left alone.
std::string CanonicalDecimal(std::string s) {
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  if (s.find('.') != std::string::npos && s.find_first_of("eE") == std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  bool negative = !s.empty() && s[0] == '-';
  std::string digits = negative ? s.substr(1) : s;
  std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return "0";
  if (digits[first] == '.') --first;
  digits = digits.substr(first);
  return negative ? "-" + digits : digits;
}

// (y, m, d, h, mi, s, ms) of a date text; time-only values are on 1899-12-30.
std::optional<std::string> CanonicalDate(const std::string& text, bool keepMillis) {
  std::string t = text;
  if (!t.empty() && t.back() == 'Z') t.pop_back();
  std::replace(t.begin(), t.end(), 'T', ' ');
  SQL_TIMESTAMP_STRUCT v{};
  if (!engine::ParseTimestampText(t, v)) return std::nullopt;
  char out[64];
  std::snprintf(out, sizeof out, "%04d-%02u-%02u %02u:%02u:%02u.%03u", v.year, v.month, v.day,
                v.hour, v.minute, v.second, keepMillis ? v.fraction / 1000000 : 0u);
  return std::string(out);
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!s.empty() && s.front() == '{') s.erase(0, 1);
  if (!s.empty() && s.back() == '}') s.pop_back();
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Mismatch(const std::optional<std::string>& source, const std::string& destination) {
  return "source " + (source ? "'" + *source + "'" : std::string("NULL")) + " but destination " +
         destination;
}

std::string CellText(const nlohmann::json& cell) {
  if (cell.is_boolean()) return cell.get<bool>() ? "1" : "0";
  if (cell.is_number_integer()) return std::to_string(cell.get<long long>());
  if (cell.is_number()) {
    std::string out;
    engine::AppendDoubleLiteral(cell.get<double>(), out);
    return out;
  }
  if (cell.is_string()) return cell.get<std::string>();
  return cell.dump();
}

// Compares two non-NULL texts for a kind; `exactDates`/`exactFloats` say how
// closely the reader reports them.
bool Same(ValueKind kind, const std::string& source, const std::string& destination,
          bool exactDates, bool exactFloats) {
  switch (kind) {
    case ValueKind::Integer:
    case ValueKind::Exact: {
      std::string s = source == "True" ? "1" : source == "False" ? "0" : source;
      std::string d = destination == "true" ? "1" : destination == "false" ? "0" : destination;
      if (CanonicalDecimal(s) == CanonicalDecimal(d)) return true;
      // A reader may print a decimal as a double.
      return !exactFloats && std::fabs(std::strtod(s.c_str(), nullptr) -
                                       std::strtod(d.c_str(), nullptr)) <=
                                 1e-9 * std::fabs(std::strtod(s.c_str(), nullptr));
    }
    case ValueKind::Double: {
      double s = std::strtod(source.c_str(), nullptr), d = std::strtod(destination.c_str(), nullptr);
      return exactFloats ? s == d : std::fabs(s - d) <= 1e-9 * std::fabs(s);
    }
    case ValueKind::Real: {
      float s = std::strtof(source.c_str(), nullptr), d = std::strtof(destination.c_str(), nullptr);
      return exactFloats ? s == d : std::fabs(s - d) <= 1e-6f * std::fabs(s);
    }
    case ValueKind::DateTime:
    case ValueKind::DateText: {
      auto s = CanonicalDate(source, exactDates), d = CanonicalDate(destination, exactDates);
      return s && d && *s == *d;
    }
    case ValueKind::Binary:
      return Lower(source) == Lower(destination);
    case ValueKind::Guid:
      return Upper(source) == Upper(destination);
    case ValueKind::Text:
    case ValueKind::WideText:
      return source == destination;
  }
  return false;
}

}  // namespace

std::string CompareWithReader(ValueKind kind, const std::optional<std::string>& source,
                              const nlohmann::json& cell) {
  if (!source || cell.is_null()) {
    return (!source && cell.is_null()) ? std::string() : Mismatch(source, cell.dump());
  }
  return Same(kind, *source, CellText(cell), true, true) ? std::string()
                                                         : Mismatch(source, cell.dump());
}

namespace {

// A character outside the Basic Multilingual Plane as mdb-export prints it: "??".
std::string AstralAsQuestionMarks(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if ((static_cast<unsigned char>(text[i]) & 0xF8) == 0xF0 && i + 3 < text.size()) {
      out += "??";
      i += 4;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

// mdb-export's known ways of printing a value it holds: dates rounded to the
// second and only for 1900 to 2099 (others print as "1900-01-00 00:00:00"),
// GUIDs as the hex of their text (one dash short), empty texts as NULL, and
// characters beyond U+FFFF as "??". mdb-reader checks these cells exactly.
bool ExportPrintsItThisWay(ValueKind kind, const std::optional<std::string>& source,
                           const std::optional<std::string>& cell) {
  if (!source) return false;
  if ((kind == ValueKind::Text || kind == ValueKind::WideText) && source->empty() && !cell) return true;
  if (!cell) return false;
  if (kind == ValueKind::Text || kind == ValueKind::WideText) {
    return AstralAsQuestionMarks(*source) == *cell;
  }
  if (kind == ValueKind::Guid && cell->size() % 2 == 0) {
    std::string decoded;
    for (std::size_t i = 0; i + 1 < cell->size(); i += 2) {
      decoded.push_back(static_cast<char>(std::stoi(cell->substr(i, 2), nullptr, 16)));
    }
    // mdbtools leaves out the dash between the fourth and fifth groups.
    auto digits = [](std::string t) {
      t = Upper(t);
      t.erase(std::remove(t.begin(), t.end(), '-'), t.end());
      return t;
    };
    return digits(decoded) == digits(*source);
  }
  if (kind == ValueKind::DateTime || kind == ValueKind::DateText) {
    SQL_TIMESTAMP_STRUCT s{}, d{};
    std::string text = *source;
    if (!engine::ParseTimestampText(text, s)) return false;
    if (*cell == "1900-01-00 00:00:00") return s.year < 1900 || s.year >= 2100;
    if (!engine::ParseTimestampText(*cell, d)) return false;
    auto seconds = [](const SQL_TIMESTAMP_STRUCT& t) {
      return ((static_cast<long long>(t.year) * 400 + t.month * 32 + t.day) * 24 + t.hour) * 3600LL +
             t.minute * 60 + t.second;
    };
    long long gap = seconds(d) - seconds(s);
    return gap == 0 || (gap == 1 && s.fraction >= 500000000u);
  }
  return false;
}

}  // namespace

std::string CompareWithExport(ValueKind kind, const std::optional<std::string>& source,
                              const std::optional<std::string>& cell) {
  if (ExportPrintsItThisWay(kind, source, cell)) return std::string();
  if (!source || !cell) {
    return (!source && !cell) ? std::string() : Mismatch(source, cell ? "'" + *cell + "'" : "NULL");
  }
  return Same(kind, *source, *cell, false, false) ? std::string() : Mismatch(source, "'" + *cell + "'");
}

}  // namespace talvoro::test
