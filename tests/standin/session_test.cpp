// What belongs to one session: #temp tables, the @@ variables clients ask for
// at connect time, and SQLGetTypeInfo's sp_datatype_info_100.
#include <gtest/gtest.h>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

std::optional<std::string> Scalar(const OdbcConnection& c, const std::string& sql) {
  OdbcStatement s(c);
  if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(sql + ": " + s.Diagnostics());
  if (!s.Fetch()) return std::nullopt;
  return s.Text(1);
}

int ErrorOf(const OdbcConnection& c, const std::string& sql) {
  OdbcStatement s(c);
  if (SQL_SUCCEEDED(s.Execute(sql))) return 0;
  const auto records = s.DiagnosticRecords();
  return records.empty() ? -1 : records[0].native;
}

std::vector<std::string> TableNames(const OdbcConnection& c) {
  OdbcStatement s(c);
  if (!SQL_SUCCEEDED(SQLTables(s.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0))) throw std::runtime_error(s.Diagnostics());
  std::vector<std::string> names;
  while (s.Fetch()) names.push_back(*s.Text(3));
  return names;
}

TEST(TempTables, BelongToTheirSessionOnly) {
  OdbcConnection a, b;
  ASSERT_TRUE(SQL_SUCCEEDED(a.Connect(FixtureConnectString())));
  ASSERT_TRUE(SQL_SUCCEEDED(b.Connect(FixtureConnectString())));
  OdbcStatement(a).Run("CREATE TABLE #work (id int IDENTITY(1,1) PRIMARY KEY, name nvarchar(20))");
  OdbcStatement(a).Run("INSERT INTO #work (name) VALUES (N'one'), (N'two')");
  EXPECT_EQ(Scalar(a, "Select count(*) from #work"), "2");
  EXPECT_EQ(Scalar(a, "Select max(id) from #work"), "2");
  EXPECT_EQ(ErrorOf(b, "Select * from #work"), 208) << "invisible to another session";
  OdbcStatement(b).Run("CREATE TABLE #work (other int)");  // each session has its own
  EXPECT_EQ(Scalar(b, "Select count(*) from #work"), "0");
  const auto listed = TableNames(a);
  EXPECT_EQ(std::count(listed.begin(), listed.end(), "#work"), 0) << "not in this database's catalog";
  OdbcStatement(a).Run("DROP TABLE #work");
  EXPECT_EQ(ErrorOf(a, "Select * from #work"), 208);
}

TEST(TempTables, GoneWhenTheSessionEnds) {
  {
    OdbcConnection a;
    ASSERT_TRUE(SQL_SUCCEEDED(a.Connect(FixtureConnectString())));
    OdbcStatement(a).Run("CREATE TABLE #gone (id int)");
    OdbcStatement(a).Run("INSERT INTO #gone VALUES (1)");
  }
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  EXPECT_EQ(ErrorOf(c, "Select * from #gone"), 208);
  OdbcStatement(c).Run("CREATE TABLE #gone (id int)");
}

// Keys, indexes, defaults and added columns of a #temp table are its session's
// alone and leave with it: two sessions at once, and again after both ended.
TEST(TempTables, KeysIndexesAndDefaultsLeaveWithTheSession) {
  for (int round = 0; round < 2; ++round) {
    OdbcConnection a, b;
    ASSERT_TRUE(SQL_SUCCEEDED(a.Connect(FixtureConnectString())));
    ASSERT_TRUE(SQL_SUCCEEDED(b.Connect(FixtureConnectString())));
    for (const OdbcConnection* c : {&a, &b}) {
      OdbcStatement(*c).Run("CREATE TABLE #keyed (id int PRIMARY KEY, code varchar(5) UNIQUE, n int DEFAULT 7)");
      OdbcStatement(*c).Run("CREATE INDEX ix_keyed_n ON #keyed (n)");
    }
    OdbcStatement(a).Run("INSERT INTO #keyed (id, code) VALUES (1, 'a')");
    EXPECT_EQ(ErrorOf(a, "INSERT INTO #keyed (id, code) VALUES (1, 'b')"), 2627) << "round " << round;
    EXPECT_EQ(ErrorOf(a, "INSERT INTO #keyed (id, code) VALUES (2, 'a')"), 2627);
    EXPECT_EQ(Scalar(a, "SELECT n FROM #keyed"), "7");
    OdbcStatement(a).Run("ALTER TABLE #keyed ADD note nvarchar(10) COLLATE Latin1_General_CI_AI NULL");
    OdbcStatement(a).Run("INSERT INTO #keyed (id, code, note) VALUES (2, 'b', N'Caf\u00e9')");
    EXPECT_EQ(Scalar(a, "SELECT count(*) FROM #keyed WHERE note = N'cafe'"), "1") << "the added column's collation";
    EXPECT_EQ(Scalar(b, "SELECT count(*) FROM #keyed"), "0");
    OdbcStatement(b).Run("INSERT INTO #keyed (id, code) VALUES (1, 'a')");
    EXPECT_EQ(Scalar(b, "SELECT count(*) FROM sys.indexes WHERE name = 'ix_keyed_n'"), "0")
        << "not in the database's catalog";
  }
}

TEST(TempProcedures, BelongToTheirSession) {
  OdbcConnection a, b;
  ASSERT_TRUE(SQL_SUCCEEDED(a.Connect(FixtureConnectString())));
  ASSERT_TRUE(SQL_SUCCEEDED(b.Connect(FixtureConnectString())));
  OdbcStatement(a).Run("CREATE PROCEDURE #mine AS SELECT 1");
  OdbcStatement(a).Run("EXEC #mine");
  EXPECT_EQ(ErrorOf(b, "EXEC #mine"), 2812) << "another session does not see it";
  OdbcStatement(b).Run("CREATE PROCEDURE #mine AS SELECT 2");  // its own of the same name
  EXPECT_EQ(ErrorOf(a, "CREATE PROCEDURE #mine AS SELECT 3"), 2714);
  OdbcStatement(a).Run("DROP PROCEDURE #mine");
  EXPECT_EQ(ErrorOf(a, "EXEC #mine"), 2812);
}

TEST(Tempdb, ExistsAndHoldsTempTables) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement(c).Run("CREATE TABLE #t (id int)");
  OdbcStatement(c).Run("INSERT INTO #t VALUES (1)");
  EXPECT_EQ(Scalar(c, "SELECT count(*) FROM tempdb..#t"), "1");
  EXPECT_EQ(Scalar(c, "SELECT count(*) FROM sys.databases WHERE name = 'tempdb'"), "1");
  EXPECT_EQ(ErrorOf(c, "DROP DATABASE tempdb"), 3708) << "a system database";
  OdbcStatement(c).Run("USE tempdb");
  EXPECT_EQ(Scalar(c, "SELECT DB_NAME()"), "tempdb");
}

TEST(ResultColumns, AnExpressionWithoutAliasIsUnnamed) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("SELECT 1, N'x', 2 AS two, count(*), DB_NAME(), CAST(3 AS int), NULL, "
                                      "n = 4 FROM sys.tables")));
  EXPECT_EQ(s.ColumnNames(), (std::vector<std::string>{"", "", "two", "", "", "", "", "n"}));
}

struct VariableCase {
  const char* variable;
  const char* value;  // nullptr: any non-empty value
};

class ServerVariables : public testing::TestWithParam<VariableCase> {};

TEST_P(ServerVariables, AnsweredAsSqlServerDoes) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  const auto value = Scalar(c, std::string("SELECT ") + GetParam().variable);
  ASSERT_TRUE(value.has_value());
  if (GetParam().value) {
    EXPECT_EQ(*value, GetParam().value);
  } else {
    EXPECT_FALSE(value->empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Connect, ServerVariables,
    testing::Values(VariableCase{"@@MAX_PRECISION", "38"}, VariableCase{"@@LANGUAGE", "us_english"},
                    VariableCase{"@@TRANCOUNT", "0"}, VariableCase{"@@SPID", nullptr},
                    VariableCase{"@@SERVERNAME", nullptr}, VariableCase{"@@VERSION", nullptr},
                    VariableCase{"@@DATEFIRST", "7"}, VariableCase{"@@TEXTSIZE", "2147483647"}),
    [](const testing::TestParamInfo<VariableCase>& info) { return std::string(info.param.variable + 2); });

// SQLGetTypeInfo rows: TYPE_NAME and COLUMN_SIZE for one ODBC type.
std::vector<std::string> TypeInfo(SQLINTEGER odbcVersion, SQLSMALLINT type) {
  OdbcConnection c(odbcVersion);
  if (!SQL_SUCCEEDED(c.Connect(FixtureConnectString()))) throw std::runtime_error("connect");
  OdbcStatement s(c);
  if (!SQL_SUCCEEDED(SQLGetTypeInfo(s.get(), type))) throw std::runtime_error(s.Diagnostics());
  std::vector<std::string> rows;
  while (s.Fetch()) rows.push_back(*s.Text(1) + " " + *s.Text(2) + " " + s.Text(3).value_or("NULL"));
  return rows;
}

TEST(TypeInfo, ListsEverySqlServerType) {
  const auto all = TypeInfo(SQL_OV_ODBC3, SQL_ALL_TYPES);
  for (const char* expected : {"int 4 10", "nvarchar -9 4000", "varchar 12 8000", "sql_variant -150 8000",
                               "datetime 93 23", "money 3 19", "uniqueidentifier -11 36", "xml -152 1073741823"})
    EXPECT_NE(std::find(all.begin(), all.end(), expected), all.end()) << expected;
}

TEST(TypeInfo, OneTypeInOdbc3AndOdbc2) {
  EXPECT_EQ(TypeInfo(SQL_OV_ODBC3, SQL_VARCHAR), std::vector<std::string>{"varchar 12 8000"});
  EXPECT_EQ(TypeInfo(SQL_OV_ODBC3, SQL_TYPE_DATE), std::vector<std::string>{"date 91 10"});
  const auto odbc2 = TypeInfo(SQL_OV_ODBC2, SQL_TIMESTAMP);
  EXPECT_NE(std::find(odbc2.begin(), odbc2.end(), "datetime 11 23"), odbc2.end());
}

}  // namespace
}  // namespace standin_test
