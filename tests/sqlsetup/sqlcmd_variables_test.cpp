// sqlcmd's scripting variables in the script runner: :setvar over -v over the
// environment, names without regard to case, quoted values, line numbers kept,
// and an undefined variable stopping the script.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "sql_batches.h"
#include "sqlcmd_variables.h"

namespace sales_demo {
namespace {

struct ExpandCase {
  const char* name;
  const char* script;
  const char* commandLine;  // "Name=Value" or ""
  const char* expanded;
};

class SqlcmdVariables : public testing::TestWithParam<ExpandCase> {};

TEST_P(SqlcmdVariables, Expand) {
  const ExpandCase& c = GetParam();
  ScriptVariables commandLine;
  if (*c.commandLine) commandLine.insert(ParseVariableAssignment(c.commandLine));
  EXPECT_EQ(ExpandScriptVariables(c.script, commandLine, false), c.expanded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SqlcmdVariables,
    testing::Values(
        ExpandCase{"CommandLine", "USE $(Db)\nGO\n", "Db=Shop", "USE Shop\nGO\n"},
        ExpandCase{"SetvarWinsOverCommandLine", ":setvar Db Script\nUSE [$(db)]\n", "DB=Shop", "\nUSE [Script]\n"},
        ExpandCase{"LaterSetvarFromItsLineOn", ":setvar X 1\nSELECT $(X)\n:SETVAR X 2\nSELECT $(X)",
                   "", "\nSELECT 1\n\nSELECT 2"},
        ExpandCase{"QuotedValue", ":setvar Path \"C:\\data dir\\\"\"x\"\"\"\nBULK INSERT t FROM '$(Path)'\n", "",
                   "\nBULK INSERT t FROM 'C:\\data dir\\\"x\"'\n"},
        ExpandCase{"QuotedOnCommandLine", "PRINT '$(Greeting)'", "Greeting=\"hello world\"", "PRINT 'hello world'"},
        ExpandCase{"InsideStringsAndNames", "SELECT '$(A)' AS [$(A)]", "A=v", "SELECT 'v' AS [v]"},
        ExpandCase{"NotAReference", "SELECT '$5', '$(' + x", "", "SELECT '$5', '$(' + x"}),
    [](const testing::TestParamInfo<ExpandCase>& info) { return std::string(info.param.name); });

TEST(SqlcmdVariablesErrors, UndefinedVariableNamesItsLine) {
  try {
    ExpandScriptVariables("SELECT 1\nGO\nUSE $(Nowhere)\n", {}, false);
    FAIL() << "no error";
  } catch (const ScriptVariableError& e) {
    EXPECT_STREQ(e.what(), "line 3: 'Nowhere' scripting variable not defined.");
  }
  // ":setvar Name" alone removes the variable, also one given with -v.
  ScriptVariables commandLine{{"Db", "Shop"}};
  EXPECT_THROW(ExpandScriptVariables(":setvar Db\nUSE $(Db)\n", commandLine, false), ScriptVariableError);
  EXPECT_THROW(ParseVariableAssignment("NoValue"), ScriptVariableError);
}

TEST(SqlcmdVariablesErrors, EnvironmentIsTheLowestLayer) {
  setenv("TALVORO_TEST_SCRIPT_VAR", "fromEnvironment", 1);
  EXPECT_EQ(ExpandScriptVariables("$(TALVORO_TEST_SCRIPT_VAR)", {}), "fromEnvironment");
  EXPECT_EQ(ExpandScriptVariables("$(TALVORO_TEST_SCRIPT_VAR)", {{"TALVORO_TEST_SCRIPT_VAR", "fromV"}}), "fromV");
  unsetenv("TALVORO_TEST_SCRIPT_VAR");
}

// Commands other than :setvar, :r and :on error stop the script, naming the
// line, rather than reach the server as T-SQL.
TEST(SqlcmdVariablesErrors, UnknownCommandsAndBadArgumentsNameTheirLine) {
  struct Case {
    const char* script;
    const char* error;
  };
  for (const Case& c : {Case{"SELECT 1\n:connect other\n", "line 2: unknown sqlcmd command ':connect'"},
                        Case{"  :EXIT\n", "line 1: unknown sqlcmd command ':EXIT'"},
                        Case{":on error stop\n", "line 1: :on error wants exit or ignore"},
                        Case{":r\n", "line 1: :r wants a file name"}}) {
    try {
      ExpandScriptVariables(c.script, {}, false);
      ADD_FAILURE() << c.script << ": no error";
    } catch (const ScriptVariableError& e) {
      EXPECT_STREQ(e.what(), c.error) << c.script;
    }
  }
}

// ":on error" applies from the batch it is in onwards (sqlcmd acts on it when
// the batch runs, at its GO).
TEST(SqlcmdVariablesErrors, OnErrorMarksTheBatchesItCovers) {
  const auto batches = SplitSqlBatches(ExpandScriptVariables(
      "SELECT 1\nGO\nSELECT 2\n:On Error Ignore\nGO\nSELECT 3\nGO\n:on error exit\nSELECT 4\n", {}, false));
  ASSERT_EQ(batches.size(), 4u);
  EXPECT_TRUE(batches[0].stopOnError);
  EXPECT_FALSE(batches[1].stopOnError);
  EXPECT_FALSE(batches[2].stopOnError);
  EXPECT_TRUE(batches[3].stopOnError);
  EXPECT_EQ(batches[1].text, "SELECT 2\n");
}

}  // namespace
}  // namespace sales_demo
