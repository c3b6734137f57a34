// The WHERE clause of a filtered index. SQL Server allows only simple
// comparisons of a column with a constant, IS [NOT] NULL and IN (constants),
// joined by AND; the predicate is kept as terms so that it can be written both
// as SQL Server lists it (sys.indexes.filter_definition) and as the WHERE of
// the SQLite partial index that enforces a unique one over the rows it covers.
#pragma once

#include <string>
#include <vector>

namespace standin {

struct FilterConstant {
  enum class Kind { Number, String } kind = Kind::Number;
  std::string text;        // digits with their sign, or the string without quotes
  bool national = false;   // N'...'
};

struct FilterTerm {
  std::string column;
  std::string op;          // "=", "<>", "<", "<=", ">", ">=", "IS NULL", "IS NOT NULL", "IN"
  std::vector<FilterConstant> values;  // one for comparisons, the list for IN, none for IS [NOT] NULL
};

using IndexFilter = std::vector<FilterTerm>;  // joined by AND; empty: no filter

// "([Email] IS NOT NULL)", "([Qty]>(0) AND [Region]=N'EU')", IN as ORs of "=".
std::string FilterDefinition(const IndexFilter& filter);
// The same predicate for SQLite: "\"Email\" IS NOT NULL AND ...".
std::string FilterSqlitePredicate(const IndexFilter& filter);

}  // namespace standin
