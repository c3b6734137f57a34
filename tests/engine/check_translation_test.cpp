// CHECK definitions as sys.check_constraints gives them, and the Access
// validation rule each becomes (or the reason it has none).
#include "engine/check_translation.h"

#include <gtest/gtest.h>

namespace talvoro::engine {
namespace {

struct Case {
  const char* definition;
  const char* expression;  // nullptr: not translated
  std::vector<std::string> columns;
  const char* fieldRule = "";  // the rule as a field rule, when it is one
};

TEST(CheckTranslation, DefinitionsBecomeAccessExpressions) {
  const Case cases[] = {
      {"([Discount]>=(0) AND [Discount]<=(1))", "[Discount]>=0 And [Discount]<=1", {"Discount"}, ">=0 And <=1"},
      {"([UnitPrice]>=(0))", "[UnitPrice]>=0", {"UnitPrice"}, ">=0"},
      {"([BirthDate]<getdate())", "[BirthDate]<Now()", {"BirthDate"}, "<Now()"},
      {"([At]<=sysdatetime())", "[At]<=Now()", {"At"}, "<=Now()"},
      {"([emp_id] like '[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]' or [emp_id] like "
       "'[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]')",
       "[emp_id] Like \"[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]\" Or [emp_id] Like "
       "\"[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]\"",
       {"emp_id"},
       "Like \"[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]\" Or Like \"[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]\""},
      {"([Country] IN ('USA','UK'))", "[Country] In (\"USA\",\"UK\")", {"Country"}, "In (\"USA\",\"UK\")"},
      {"([Country] NOT IN (N'It''s',N'say \"hi\"'))", "[Country] Not In (\"It's\",\"say \"\"hi\"\"\")", {"Country"},
       "Not In (\"It's\",\"say \"\"hi\"\"\")"},
      {"([EndDate]>=[StartDate])", "[EndDate]>=[StartDate]", {"EndDate", "StartDate"}},
      {"(len([Code])=(3))", "Len(RTrim([Code]))=3", {"Code"}},
      {"([Qty] between (1) and (10))", "[Qty] Between 1 And 10", {"Qty"}, "Between 1 And 10"},
      {"([Qty] NOT BETWEEN (-5) AND (5))", "[Qty] Not Between -5 And 5", {"Qty"}, "Not Between -5 And 5"},
      {"([Note] IS NOT NULL OR [Kind] IS NULL)", "[Note] Is Not Null Or [Kind] Is Null", {"Note", "Kind"}},
      {"(NOT ([a]=(1) OR [b]<>(2)))", "Not ([a]=1 Or [b]<>2)", {"a", "b"}},
      {"(([a]=(1) OR [a]=(2)) AND [b]!=(0))", "([a]=1 Or [a]=2) And [b]<>0", {"a", "b"}},
      {"([Price]*(2)+[Tax]>(0.5e1))", "[Price]*2+[Tax]>0.5e1", {"Price", "Tax"}},
      {"([n]%(2)=(0))", "[n] Mod 2=0", {"n"}},
      {"(upper([Code])=[Code] AND [x]!<(0))", "UCase([Code])=[Code] And [x]>=0", {"Code", "x"}},
      // LIKE wildcards, and Access's own ones that T-SQL takes literally.
      {"([p] like 'a%b_c')", "[p] Like \"a*b?c\"", {"p"}, "Like \"a*b?c\""},
      {"([p] not like '[^0-9]*?#')", "[p] Not Like \"[!0-9][*][?][#]\"", {"p"}, "Not Like \"[!0-9][*][?][#]\""},
      {"([p] like '[%]')", "[p] Like \"[%]\"", {"p"}, "Like \"[%]\""},
      // A constant first turns the comparison round; two columns make a table rule.
      {"((0)<=[n] AND [n] IS NOT NULL)", "0<=[n] And [n] Is Not Null", {"n"}, ">=0 And Is Not Null"},
      {"([n]>=(0) OR [m]>=(0))", "[n]>=0 Or [m]>=0", {"n", "m"}},
      // No Access equivalent.
      {"([a]/(2)>(1))", nullptr, {}},
      {"(case when [a]>(1) then (1) else (0) end=(1))", nullptr, {}},
      {"(datalength([a])>(0))", nullptr, {}},
      {"([a] IN (select [b] from [t]))", nullptr, {}},
      {"([p] like 'a!%' escape '!')", nullptr, {}},
      {"([p] like '[!a]')", nullptr, {}},
      {"([a]+(1))", nullptr, {}},
  };
  for (const Case& c : cases) {
    const CheckTranslation t = TranslateCheck(c.definition);
    if (!c.expression) {
      EXPECT_FALSE(t.translated) << c.definition << " → " << t.expression;
      EXPECT_NE(t.problem, "") << c.definition;
      continue;
    }
    EXPECT_TRUE(t.translated) << c.definition << ": " << t.problem;
    EXPECT_EQ(t.expression, c.expression) << c.definition;
    EXPECT_EQ(t.columns, c.columns) << c.definition;
    EXPECT_EQ(t.fieldRule, c.fieldRule) << c.definition;
  }
}

TEST(CheckTranslation, ColumnsTakeTheirAccessNames) {
  const CheckTranslation t =
      TranslateCheck("([a.b]>=[c])", [](const std::string& name) { return name == "a.b" ? "a_b" : name; });
  EXPECT_EQ(t.expression, "[a_b]>=[c]");
  EXPECT_EQ(t.columns, (std::vector<std::string>{"a.b", "c"}));
}

}  // namespace
}  // namespace talvoro::engine
