// The T-SQL front end: SQL Server's errors, defaults and identities,
// transactions, and prepared statements (sp_prepexec) as FreeTDS sends them.
#include <gtest/gtest.h>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

class TSql : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(FixtureConnectString())))
        << DescribeDiagnostics(SQL_HANDLE_DBC, connection_.dbc());
  }
  std::optional<std::string> Scalar(const std::string& sql) {
    OdbcStatement s(connection_);
    if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(s.Diagnostics());
    if (!s.Fetch()) return std::nullopt;
    return s.Text(1);
  }
  OdbcConnection connection_;
};

struct ErrorCase {
  const char* name;
  const char* sql;
  int native;
  const char* text;
  const char* state;  // ODBC 3 SQLSTATE, or "" when any
};

class TSqlErrors : public TSql, public testing::WithParamInterface<ErrorCase> {};

TEST_P(TSqlErrors, ReportedLikeSqlServer) {
  const ErrorCase& c = GetParam();
  OdbcStatement s(connection_);
  SQLRETURN rc = s.Execute(c.sql);
  while (SQL_SUCCEEDED(rc)) rc = SQLMoreResults(s.get());  // errors may follow earlier results
  ASSERT_EQ(rc, SQL_ERROR) << c.sql;
  const auto records = s.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, c.native) << records[0].text;
  EXPECT_NE(records[0].text.find(c.text), std::string::npos) << records[0].text;
  if (*c.state) {
    EXPECT_EQ(records[0].state, c.state);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Statements, TSqlErrors,
    testing::Values(
        ErrorCase{"UnknownTable", "Select * from NoSuchTable", 208, "Invalid object name 'NoSuchTable'.", "42S02"},
        ErrorCase{"UnknownColumn", "Select nosuch from Customers", 207, "Invalid column name 'nosuch'.", "42S22"},
        ErrorCase{"Syntax", "Select * from Customers where", 102, "Incorrect syntax near", "42000"},
        ErrorCase{"BadCreate", "CREATE TABLE Bad (a int,, b int)", 102, "Incorrect syntax near ','.", "42000"},
        ErrorCase{"UnknownType", "CREATE TABLE Bad (a intt)", 2715, "Cannot find data type intt.", ""},
        ErrorCase{"Unclosed", "Select 'abc", 105, "Unclosed quotation mark", ""},
        ErrorCase{"DuplicateKey", "INSERT INTO AllTypes (id) VALUES (1)", 2627, "Violation of PRIMARY KEY constraint", "23000"},
        ErrorCase{"NullIntoNotNull", "INSERT INTO Customers (Name) VALUES (NULL)", 515,
                  "Cannot insert the value NULL into column 'Name', table 'fixture.dbo.Customers'", "23000"},
        ErrorCase{"ExplicitIdentity", "INSERT INTO Customers (CustomerID, Name) VALUES (7, N'x')", 544,
                  "IDENTITY_INSERT is set to OFF", ""},
        ErrorCase{"TooLong", "INSERT INTO Customers (Name, City) VALUES (N'x', '0123456789012345678901234567890')", 8152,
                  "String or binary data would be truncated.", ""},
        ErrorCase{"BadInt", "INSERT INTO AllTypes (id, c_int) VALUES (50, 'abc')", 245,
                  "Conversion failed when converting the varchar value 'abc' to data type int.", ""},
        ErrorCase{"IntOverflow", "INSERT INTO AllTypes (id, c_tinyint) VALUES (50, 256)", 8115, "Arithmetic overflow", ""},
        ErrorCase{"BadDate", "INSERT INTO AllTypes (id, c_datetime) VALUES (50, '2023-02-30')", 241,
                  "Conversion failed when converting date and/or time from character string.", ""},
        ErrorCase{"ExistingTable", "CREATE TABLE Customers (a int)", 2714, "There is already an object named 'Customers'", ""},
        ErrorCase{"DropMissing", "DROP TABLE NoSuchTable", 3701, "Cannot drop the table 'NoSuchTable'", ""},
        ErrorCase{"UseMissing", "USE nosuchdb", 911, "Database 'nosuchdb' does not exist.", ""},
        ErrorCase{"ExistingDatabase", "CREATE DATABASE fixture", 1801, "Database 'fixture' already exists.", ""},
        ErrorCase{"UnknownProcedure", "EXEC sp_nothing", 2812, "Could not find stored procedure 'sp_nothing'.", ""},
        ErrorCase{"ValueCount", "INSERT INTO Customers (Name, City) VALUES (N'x')", 109, "more columns in the INSERT statement", ""}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST_F(TSql, FailedInsertLeavesNoRows) {
  OdbcStatement s(connection_);
  s.Run("CREATE TABLE Atomic (id int PRIMARY KEY)");
  EXPECT_EQ(s.Execute("INSERT INTO Atomic VALUES (1), (2), (1)"), SQL_ERROR);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Atomic"), "0");
  // A duplicate key ends only its statement; the rest of the batch runs, as on SQL Server.
  SQLRETURN rc = s.Execute("INSERT INTO Atomic VALUES (1) INSERT INTO Atomic VALUES (1) INSERT INTO Atomic VALUES (2)");
  bool sawError = rc == SQL_ERROR;
  while (rc != SQL_NO_DATA && rc != SQL_INVALID_HANDLE) {
    rc = SQLMoreResults(s.get());
    sawError |= rc == SQL_ERROR;
  }
  EXPECT_TRUE(sawError);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Atomic"), "2");
  // A conversion error ends the whole batch.
  s.Close();
  rc = s.Execute("INSERT INTO Atomic VALUES ('x') INSERT INTO Atomic VALUES (3)");
  while (rc != SQL_NO_DATA && rc != SQL_INVALID_HANDLE) rc = SQLMoreResults(s.get());
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Atomic"), "2");
}

TEST_F(TSql, DefaultsAndIdentity) {
  OdbcStatement s(connection_);
  s.Run("CREATE TABLE Defaults (id int IDENTITY(10,5) PRIMARY KEY, name varchar(10) DEFAULT 'none', n int DEFAULT ((-3)), "
        "at datetime DEFAULT getdate(), g uniqueidentifier DEFAULT newid())");
  s.Run("INSERT INTO Defaults DEFAULT VALUES");
  s.Run("INSERT INTO Defaults (name) VALUES ('given')");
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("SELECT id, name, n, at, g FROM Defaults ORDER BY id")));
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1), "10");
  EXPECT_EQ(s.Text(2), "none");
  EXPECT_EQ(s.Text(3), "-3");
  EXPECT_EQ(s.Text(4)->size(), 23u);
  EXPECT_EQ(s.Text(5)->size(), 36u);
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1), "15");
  EXPECT_EQ(s.Text(2), "given");
  s.Close();
  s.Run("SET IDENTITY_INSERT Defaults ON INSERT INTO Defaults (id, name) VALUES (100, 'x') SET IDENTITY_INSERT Defaults OFF");
  s.Run("INSERT INTO Defaults (name) VALUES ('after')");
  EXPECT_EQ(Scalar("SELECT MAX(id) FROM Defaults"), "105");
}

TEST_F(TSql, QuotedNamesAndSelectVariants) {
  EXPECT_EQ(Scalar("Select * from [Order Details]"), std::nullopt);
  EXPECT_EQ(Scalar("SELECT [Name] FROM [dbo].[Customers] WHERE \"CustomerID\" = 2"), "Bob");
  EXPECT_EQ(Scalar("SELECT TOP 1 Name FROM fixture.dbo.Customers ORDER BY CustomerID DESC"), "Bob");
  EXPECT_EQ(Scalar("Select * from CustomerNames where Name = N'Ann'"), "1");
  EXPECT_EQ(Scalar("SELECT City FROM Customers WHERE CustomerID = 1"), "Paris");
  EXPECT_EQ(Scalar("SELECT 6 * 7"), "42");
  EXPECT_EQ(Scalar("SELECT Name + N' from ' + City FROM Customers WHERE CustomerID = 1"), "Ann from Paris");
}

TEST_F(TSql, ComputedTextOfAnyLength) {
  // The first value decides the declared size; a later, longer one must not break the stream.
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("SELECT hex(zeroblob(n)) FROM (SELECT 10 AS n UNION ALL SELECT 5000) ORDER BY n")));
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1)->size(), 20u);
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1)->size(), 4000u);
  s.Close();
  EXPECT_EQ(Scalar("SELECT hex(zeroblob(5000))")->size(), 10000u);
}

TEST_F(TSql, UpdateConvertsAndChecks) {
  OdbcStatement s(connection_);
  s.Run("CREATE TABLE Upd (id int PRIMARY KEY, price money NOT NULL, at datetime, note varchar(5))");
  s.Run("INSERT INTO Upd VALUES (1, 10, '2020-01-01', 'a'), (2, 20, NULL, 'b')");
  s.Run("UPDATE Upd SET price = price * 2, at = '2021-06-30 10:00' WHERE id = 2");
  EXPECT_EQ(Scalar("SELECT price FROM Upd WHERE id = 2"), "40.0000");
  EXPECT_EQ(Scalar("SELECT at FROM Upd WHERE id = 2"), "2021-06-30 10:00:00.000");
  EXPECT_EQ(s.Execute("UPDATE Upd SET note = 'too long'"), SQL_ERROR);
  EXPECT_EQ(s.Execute("UPDATE Upd SET price = NULL"), SQL_ERROR);
  EXPECT_EQ(s.Execute("UPDATE Upd SET id = 1"), SQL_ERROR);
  EXPECT_EQ(Scalar("SELECT SUM(price) FROM Upd"), "50") << "failed updates change nothing";
  // Exact numbers compare and sort as numbers, not as text.
  s.Run("INSERT INTO Upd VALUES (3, 9.5, NULL, 'c')");
  EXPECT_EQ(Scalar("SELECT id FROM Upd WHERE price > 15"), "2");
  EXPECT_EQ(Scalar("SELECT TOP 1 id FROM Upd ORDER BY price"), "3");
}

TEST_F(TSql, TransactionsCommitAndRollBack) {
  OdbcStatement s(connection_);
  s.Run("CREATE TABLE Txn (id int)");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(connection_.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0)));
  s.Run("INSERT INTO Txn VALUES (1)");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection_.dbc(), SQL_ROLLBACK)));
  s.Run("INSERT INTO Txn VALUES (2)");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, connection_.dbc(), SQL_COMMIT)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(connection_.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0)));
  EXPECT_EQ(Scalar("SELECT SUM(id) FROM Txn"), "2");
  s.Run("BEGIN TRANSACTION INSERT INTO Txn VALUES (5) ROLLBACK");
  EXPECT_EQ(Scalar("SELECT SUM(id) FROM Txn"), "2");
}

TEST_F(TSql, PreparedStatementsWithParameters) {
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(s.get(), (SQLCHAR*)"SELECT Name FROM Customers WHERE CustomerID = ?", SQL_NTS)));
  SQLINTEGER id = 2;
  SQLLEN length = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &length)));
  for (SQLINTEGER wanted : {2, 1}) {
    id = wanted;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(s.get()))) << s.Diagnostics();
    ASSERT_TRUE(s.Fetch());
    EXPECT_EQ(s.Text(1), wanted == 2 ? "Bob" : "Ann");
    s.Close();
  }
}

TEST_F(TSql, UseSwitchesDatabase) {
  OdbcStatement s(connection_);
  s.Run("CREATE DATABASE Other");
  s.Run("USE Other");
  s.Run("CREATE TABLE OnlyHere (a int)");
  SQLCHAR name[64] = {};
  SQLINTEGER length = 0;
  SQLGetConnectAttr(connection_.dbc(), SQL_ATTR_CURRENT_CATALOG, name, sizeof name, &length);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "Other");
  s.Run("USE fixture");
  EXPECT_EQ(s.Execute("Select * from OnlyHere"), SQL_ERROR);
  s.Run("DROP DATABASE Other");
}

}  // namespace
}  // namespace standin_test
