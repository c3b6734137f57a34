// The demo script's own promises: the same text on every run, the row counts it
// advertises, and batches split where sqlcmd would split them.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "sales_script.h"
#include "sql_batches.h"

namespace sales_demo {
namespace {

std::string Script() {
  std::ostringstream out;
  WriteSalesScript(out);
  return out.str();
}

TEST(SalesScriptTest, IsTheSameEveryTimeAndHasTheAdvertisedRows) {
  const std::string script = Script();
  EXPECT_EQ(script, Script());

  std::map<std::string, int> inserts;
  std::istringstream lines(script);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("INSERT INTO ", 0) != 0) continue;
    ++inserts[line.substr(12, line.find(" (") - 12)];
  }
  const std::map<std::string, int> expected = {
      {"Customers", kCustomerCount}, {"Employees", kEmployeeCount},
      {"Products", kProductCount},   {"Orders", kOrderCount},
      {"[Order Details]", kOrderDetailCount}, {"counter", kCounterCount},
      {"TypeSamples", kTypeSampleCount}};
  EXPECT_EQ(inserts, expected);
}

TEST(SqlBatchesTest, SplitsAtGoLinesOnly) {
  const auto batches = SplitSqlBatches(
      "CREATE DATABASE Sales\r\n"
      "go\r\n"
      "\n"
      "USE Sales\n"
      "  GO  \n"
      "INSERT INTO t VALUES (1)\n"
      "GO 3\n"
      "SELECT 'GO' -- GO\n"
      "GOTO done\n"
      "GO\n"
      "GO\n"
      "SELECT 1");
  ASSERT_EQ(batches.size(), 5u);
  EXPECT_EQ(batches[0].text, "CREATE DATABASE Sales\r\n");
  EXPECT_EQ(batches[0].firstLine, 1);
  EXPECT_EQ(batches[1].text, "USE Sales\n");
  EXPECT_EQ(batches[1].firstLine, 4);
  EXPECT_EQ(batches[2].repeat, 3);
  EXPECT_EQ(batches[3].text, "SELECT 'GO' -- GO\nGOTO done\n");
  EXPECT_EQ(batches[3].firstLine, 8);
  EXPECT_EQ(batches[4].text, "SELECT 1\n");  // no GO after the last batch
  EXPECT_TRUE(SplitSqlBatches("\n  \nGO\n").empty());
}

}  // namespace
}  // namespace sales_demo
