#include "tsql/index_filter.h"

#include "storage/sqlite_handle.h"
#include "storage/sqlite_rewriter.h"

namespace standin {
namespace {

std::string Bracketed(const std::string& name) {
  std::string out = "[";
  for (char c : name) {
    out += c;
    if (c == ']') out += ']';
  }
  return out + "]";
}

// SQL Server writes numbers in parentheses and strings as typed: (5), N'x'.
std::string ServerConstant(const FilterConstant& v) {
  if (v.kind == FilterConstant::Kind::Number) return "(" + v.text + ")";
  std::string out = v.national ? "N'" : "'";
  for (char c : v.text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string SqliteConstant(const FilterConstant& v) {
  return v.kind == FilterConstant::Kind::Number ? v.text : SqliteString(v.text);
}

}  // namespace

std::string FilterDefinition(const IndexFilter& filter) {
  std::string out;
  for (const auto& t : filter) {
    if (!out.empty()) out += " AND ";
    const std::string column = Bracketed(t.column);
    if (t.op == "IS NULL" || t.op == "IS NOT NULL") {
      out += column + " " + t.op;
    } else if (t.op == "IN") {
      std::string alternatives;
      for (const auto& v : t.values) alternatives += (alternatives.empty() ? "" : " OR ") + column + "=" + ServerConstant(v);
      out += filter.size() > 1 && t.values.size() > 1 ? "(" + alternatives + ")" : alternatives;
    } else {
      out += column + t.op + ServerConstant(t.values.front());
    }
  }
  return "(" + out + ")";
}

std::string FilterSqlitePredicate(const IndexFilter& filter) {
  std::string out;
  for (const auto& t : filter) {
    if (!out.empty()) out += " AND ";
    const std::string column = SqliteQuote(t.column);
    if (t.op == "IS NULL" || t.op == "IS NOT NULL") {
      out += column + " " + t.op;
    } else if (t.op == "IN") {
      std::string list;
      for (const auto& v : t.values) list += (list.empty() ? "" : ", ") + SqliteConstant(v);
      out += column + " IN (" + list + ")";
    } else {
      out += column + " " + t.op + " " + SqliteConstant(t.values.front());
    }
  }
  return out;
}

}  // namespace standin
