// A CHECK constraint's definition, as sys.check_constraints gives it, written as
// the Access expression that means the same: a validation rule. Pure text work,
// no connection: what has no Access equivalent (CASE, CONVERT, subqueries,
// T-SQL's integer division, functions Access lacks) is refused with the reason.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace talvoro::engine {

struct CheckTranslation {
  bool translated = false;
  std::string expression;            // e.g. [Discount]>=0 And [Discount]<=1
  std::vector<std::string> columns;  // the columns it names, each once, in order of appearance
  // For a CHECK on one column whose every condition starts with that column: the
  // field rule, written as Access writes one (>=0 And <=1); empty otherwise.
  std::string fieldRule;
  std::string problem;               // why it was not translated
};

// `destName` gives the name a source column has in the Access table (the same
// name when not given).
CheckTranslation TranslateCheck(std::string_view definition,
                                const std::function<std::string(const std::string&)>& destName = {});

// A table's CHECK constraints as clauses of the driver's CREATE TABLE: a
// column's (its field rule) to follow that column's definition, the table's to
// follow the last definition; what has no Access equivalent is a note.
struct CheckClauses {
  std::vector<std::pair<std::string, std::string>> columnClauses;  // source column, " CONSTRAINT ... CHECK (...)"
  std::string tableClauses;                                         // ", CONSTRAINT ... CHECK (...)" each
  std::vector<std::string> notes;
  std::string ForColumn(const std::string& sourceColumn) const;
};
struct NamedCheck {
  std::string name;
  std::string definition;
};
CheckClauses PlanCheckClauses(const std::vector<NamedCheck>& checks,
                              const std::function<std::string(const std::string&)>& destName,
                              const std::function<std::string(const std::string&)>& quoteName);

// A T-SQL LIKE pattern as an Access one: % → *, _ → ?, [^...] → [!...], and
// Access's own wildcards *, ? and # bracketed where T-SQL took them literally.
// Empty with `problem` set when the pattern has no Access equivalent.
std::string TranslateLikePattern(std::string_view pattern, std::string& problem);

}  // namespace talvoro::engine
