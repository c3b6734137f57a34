// Access validation rules: an expression parsed once and evaluated against each
// new row, as the engine Access uses does. A table rule names its columns
// ([EndDate]>=[StartDate]); a field rule leaves the field implied where an
// operand would start a condition (>=0 And <=1, Like "A*", In ("USA","UK"),
// Is Not Null). A rule whose result is Null passes, as in Access.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jet/jet.h"

namespace jet {

struct RuleNode;

class ValidationRule {
 public:
  // Throws Error(InvalidDefinition) naming what it cannot read. `field`: the
  // column a field rule belongs to; empty for a table rule.
  ValidationRule(std::string_view text, std::string_view field = {});
  ~ValidationRule();
  ValidationRule(ValidationRule&&) noexcept;
  ValidationRule& operator=(ValidationRule&&) noexcept;

  // The columns the rule reads, each once.
  const std::vector<std::string>& columns() const { return columns_; }

  // False when the row breaks the rule. `column` gives a cell by column name;
  // `now` stands for Now() (Date() is its day).
  bool Holds(const std::function<Value(const std::string& column)>& column, DateTime now) const;

 private:
  std::unique_ptr<RuleNode> root_;
  std::vector<std::string> columns_;
};

// The validation rules of a table: each column's field rule, then the table's
// rule, as the engine checks a new row.
class RowRules {
 public:
  // Throws Error(InvalidDefinition) for a rule it cannot read or one that names a
  // column the table does not have.
  explicit RowRules(const TableDef& table);

  // Throws Error(RuleBroken) with the broken rule's ValidationText (a text naming
  // the rule when it has none). `row` holds the table's columns in order.
  void Check(const TableDef& table, const std::vector<Value>& row) const;

 private:
  struct Rule {
    ValidationRule rule;
    std::string text;
  };
  std::vector<Rule> rules_;
};

// Access's Like: * any run, ? one character, # one digit, [a-z] [!a-z] sets;
// letters compared without case.
bool AccessLike(std::string_view text, std::string_view pattern);

}  // namespace jet
