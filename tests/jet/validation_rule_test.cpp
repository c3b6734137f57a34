// Validation rules as the conversion writes them (table and field forms),
// evaluated against rows: true, false, and Null (which passes).
#include "jet/validation_rule.h"

#include <gtest/gtest.h>

#include <map>

namespace jet {
namespace {

using Row = std::map<std::string, Value>;

struct Case {
  const char* rule;
  const char* field;  // "" for a table rule
  Row row;
  bool holds;
};

TEST(ValidationRule, RulesHoldOrBreak) {
  const DateTime now{45000.5};
  const Case cases[] = {
      {">=0 And <=1", "Discount", {{"Discount", 0.5}}, true},
      {">=0 And <=1", "Discount", {{"Discount", 1.5}}, false},
      {">=0 And <=1", "Discount", {{"Discount", Null{}}}, true},
      {"[Discount]>=0 And [Discount]<=1", "", {{"Discount", -0.1}}, false},
      {">=0", "UnitPrice", {{"UnitPrice", Currency{-1}}}, false},
      {">=0", "UnitPrice", {{"UnitPrice", Currency{0}}}, true},
      {"<Now()", "BirthDate", {{"BirthDate", DateTime{30000}}}, true},
      {"<Now()", "BirthDate", {{"BirthDate", DateTime{46000}}}, false},
      {"[BirthDate]<Now()", "", {{"BirthDate", DateTime{46000}}}, false},
      {"Like \"[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]\" Or Like \"[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]\"",
       "emp_id", {{"emp_id", std::string("PMA42628M")}}, true},
      {"Like \"[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]\" Or Like \"[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]\"",
       "emp_id", {{"emp_id", std::string("P-A42628F")}}, true},
      {"Like \"[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]\" Or Like \"[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]\"",
       "emp_id", {{"emp_id", std::string("PMA02628M")}}, false},
      {"In (\"USA\",\"UK\")", "Country", {{"Country", std::string("uk")}}, true},
      {"In (\"USA\",\"UK\")", "Country", {{"Country", std::string("France")}}, false},
      {"Not In (\"USA\",\"UK\")", "Country", {{"Country", std::string("USA")}}, false},
      {"[EndDate]>=[StartDate]", "", {{"EndDate", DateTime{2}}, {"StartDate", DateTime{1}}}, true},
      {"[EndDate]>=[StartDate]", "", {{"EndDate", DateTime{1}}, {"StartDate", DateTime{2}}}, false},
      {"[EndDate]>=[StartDate]", "", {{"EndDate", Null{}}, {"StartDate", DateTime{2}}}, true},
      {"Len(RTrim([Code]))=3", "", {{"Code", std::string("AB ")}}, false},
      {"Len(RTrim([Code]))=3", "", {{"Code", std::string("ABC")}}, true},
      {"Between 1 And 10", "Qty", {{"Qty", std::int64_t{10}}}, true},
      {"Not Between -5 And 5", "Qty", {{"Qty", std::int64_t{-5}}}, false},
      {"Is Not Null", "Note", {{"Note", Null{}}}, false},
      {"[n] Mod 2=0 And Not ([a]=1 Or [a]=2)", "", {{"n", std::int64_t{4}}, {"a", std::int64_t{3}}}, true},
      {"[n] Mod 2=0", "", {{"n", std::int64_t{5}}}, false},
      {"UCase([Code])=[Code]", "", {{"Code", std::string("abc")}}, true},  // text compares without case
      {"Like \"a*b?c[*]\"", "p", {{"p", std::string("aXXbYc*")}}, true},
      {"Like \"a*b?c[*]\"", "p", {{"p", std::string("aXXbYc")}}, false},
      {"Like \"[!0-9]#\"", "p", {{"p", std::string("x7")}}, true},
  };
  for (const Case& c : cases) {
    const ValidationRule rule(c.rule, c.field);
    const bool holds = rule.Holds([&](const std::string& name) { return c.row.at(name); }, now);
    EXPECT_EQ(holds, c.holds) << c.rule << " (" << c.field << ")";
  }
}

TEST(ValidationRule, ColumnsAreListedAndUnreadableRulesRefused) {
  EXPECT_EQ(ValidationRule("[EndDate]>=[StartDate] And [enddate]<Now()").columns(),
            (std::vector<std::string>{"EndDate", "StartDate"}));
  EXPECT_EQ(ValidationRule(">=0 And <=1", "Discount").columns(), std::vector<std::string>{"Discount"});
  for (const char* bad : {"[a] >", "Foo([a])=1", "[a]=1)", "[a] Like", "\"open"}) {
    EXPECT_THROW(ValidationRule{bad}, Error) << bad;
  }
}

}  // namespace
}  // namespace jet
