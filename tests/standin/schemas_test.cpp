// MultiSchema through FreeTDS: the same table name in two schemas, foreign keys and
// alias types per schema, two- and three-part names, the catalog procedures'
// owner filter, sys.schemas and the schema functions, and SQL Server's errors.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

using Row = std::vector<std::optional<std::string>>;

std::string Or(const std::optional<std::string>& v) { return v ? *v : "NULL"; }

// Every row, the chosen columns (from 1) joined: "a|b|c".
std::vector<std::string> Lines(OdbcStatement& s, const std::vector<SQLUSMALLINT>& columns) {
  std::vector<std::string> out;
  while (s.Fetch()) {
    std::string line;
    for (size_t i = 0; i < columns.size(); ++i) line += (i ? "|" : "") + Or(s.Text(columns[i]));
    out.push_back(line);
  }
  return out;
}

const char kScript[] = R"sql(
CREATE SCHEMA Sales AUTHORIZATION dbo
GO
CREATE SCHEMA [Human Resources]
GO
CREATE TYPE Sales.Code FROM nchar(3) NOT NULL
CREATE TYPE dbo.Code FROM int NULL
CREATE TABLE Customer (Id int PRIMARY KEY, Name nvarchar(20), Region Code)
CREATE TABLE Sales.Customer (Id int PRIMARY KEY, Name nvarchar(20), Region Sales.Code)
CREATE TABLE [Human Resources].[Employee] (Id int NOT NULL, CustomerId int NULL, CONSTRAINT PK_Employee PRIMARY KEY (Id))
ALTER TABLE [Human Resources].Employee ADD CONSTRAINT FK_Employee_Customer FOREIGN KEY (CustomerId)
  REFERENCES Sales.Customer (Id)
GO
CREATE VIEW Sales.BigCustomers AS SELECT c.Id, c.Name FROM Sales.Customer c WHERE c.Id > 1
GO
INSERT INTO Customer VALUES (1, N'dbo one', 7)
INSERT INTO Sales.Customer VALUES (1, N'sales one', N'EUR'), (2, N'sales two', N'USD'), (3, N'gone', N'GBP')
INSERT INTO multi.[Human Resources].Employee (Id, CustomerId) VALUES (10, 2)
UPDATE Sales.Customer SET Name = N'sales one!' WHERE Id = 1
DELETE FROM Sales.Customer WHERE Id = 3
)sql";

class MultiSchema : public testing::Test {
 protected:
  static std::string ConnectString() {
    static bool built = false;
    if (!built) {
      OdbcConnection master;
      if (!SQL_SUCCEEDED(master.Connect(SharedServer().ConnectString("master"))))
        throw std::runtime_error("cannot log on to the stand-in");
      OdbcStatement(master).Run("CREATE DATABASE multi");
      OdbcConnection db;
      if (!SQL_SUCCEEDED(db.Connect(SharedServer().ConnectString("multi")))) throw std::runtime_error("no database");
      OdbcStatement script(db);
      const std::string text = kScript;
      size_t start = 0;
      for (size_t go; (go = text.find("\nGO\n", start)) != std::string::npos; start = go + 4)
        script.Run(text.substr(start, go - start));
      script.Run(text.substr(start));
      built = true;
    }
    return SharedServer().ConnectString("multi");
  }

  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(ConnectString())))
        << DescribeDiagnostics(SQL_HANDLE_DBC, connection_.dbc());
  }

  std::vector<std::string> Query(const std::string& sql) {
    OdbcStatement s(connection_);
    if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(sql + ": " + s.Diagnostics());
    SQLSMALLINT n = 0;
    SQLNumResultCols(s.get(), &n);
    std::vector<SQLUSMALLINT> columns;
    for (SQLSMALLINT i = 1; i <= n; ++i) columns.push_back(static_cast<SQLUSMALLINT>(i));
    return Lines(s, columns);
  }

  // "native: text" of the first error of a statement that must fail.
  std::string Failure(const std::string& sql) {
    OdbcStatement s(connection_);
    SQLRETURN rc = s.Execute(sql);
    while (SQL_SUCCEEDED(rc)) rc = SQLMoreResults(s.get());
    if (rc != SQL_ERROR) return "no error";
    const auto records = s.DiagnosticRecords();
    if (records.empty()) return "no record";
    const std::string& text = records[0].text;
    const size_t prefix = text.rfind("[SQL Server]");
    return std::to_string(records[0].native) + ": " + (prefix == std::string::npos ? text : text.substr(prefix + 12));
  }

  OdbcConnection connection_;
};

struct QueryCase {
  const char* name;
  const char* sql;
  std::vector<std::string> rows;
};

class MultiSchemaQueries : public MultiSchema, public testing::WithParamInterface<QueryCase> {};

TEST_P(MultiSchemaQueries, AnswerAsSqlServer) { EXPECT_EQ(Query(GetParam().sql), GetParam().rows) << GetParam().sql; }

INSTANTIATE_TEST_SUITE_P(
    Names, MultiSchemaQueries,
    testing::Values(
        QueryCase{"BareNameIsDbo", "SELECT Id, Name, Region FROM Customer", {"1|dbo one|7"}},
        QueryCase{"TwoPart", "SELECT Id, Name, Region FROM Sales.Customer ORDER BY Id",
                  {"1|sales one!|EUR", "2|sales two|USD"}},
        QueryCase{"Bracketed", "SELECT count(*) FROM [Sales].[Customer]", {"2"}},
        QueryCase{"ThreePart", "SELECT Name FROM multi.Sales.Customer WHERE Id = 2", {"sales two"}},
        QueryCase{"TableNameQualifiesColumns", "SELECT Customer.Name FROM Sales.Customer WHERE Customer.Id = 1",
                  {"sales one!"}},
        QueryCase{"JoinAcrossSchemas",
                  "SELECT e.Id, c.Name, d.Name FROM [Human Resources].Employee e JOIN Sales.Customer c ON c.Id = "
                  "e.CustomerId LEFT JOIN dbo.Customer d ON d.Id = c.Id",
                  {"10|sales two|NULL"}},
        QueryCase{"ViewInSchema", "SELECT Id, Name FROM Sales.BigCustomers", {"2|sales two"}},
        QueryCase{"SysSchemas", "SELECT name, schema_id FROM sys.schemas WHERE schema_id = 1 OR schema_id >= 5 ORDER BY 2",
                  {"dbo|1", "Sales|5", "Human Resources|6"}},
        QueryCase{"SchemaFunctions",
                  "SELECT SCHEMA_NAME(), SCHEMA_ID('Sales'), SCHEMA_NAME(6), "
                  "OBJECT_SCHEMA_NAME(OBJECT_ID('Sales.Customer')), "
                  "CASE WHEN OBJECT_ID('Sales.Customer') <> OBJECT_ID('Customer') THEN 'two' END, "
                  "OBJECT_ID('Sales.Nope'), CASE WHEN OBJECT_ID('[Human Resources].[Employee]', 'U') > 0 THEN 'yes' END",
                  {"dbo|5|Human Resources|Sales|two|NULL|yes"}},
        QueryCase{"SysTables",
                  "SELECT s.name, t.name FROM sys.tables t JOIN sys.schemas s ON s.schema_id = t.schema_id ORDER BY 1, 2",
                  {"dbo|Customer", "Human Resources|Employee", "Sales|Customer"}},
        QueryCase{"InformationSchema",
                  "SELECT TABLE_SCHEMA, TABLE_NAME, TABLE_TYPE FROM INFORMATION_SCHEMA.TABLES ORDER BY 1, 2",
                  {"dbo|Customer|BASE TABLE", "Human Resources|Employee|BASE TABLE", "Sales|BigCustomers|VIEW",
                   "Sales|Customer|BASE TABLE"}},
        QueryCase{"AliasTypesPerSchema",
                  "SELECT s.name, t.name FROM sys.types t JOIN sys.schemas s ON s.schema_id = t.schema_id "
                  "WHERE t.is_user_defined = 1 ORDER BY 1",
                  {"dbo|Code", "Sales|Code"}}),
    [](const testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });

struct ErrorCase {
  const char* name;
  const char* sql;
  const char* error;
};

class MultiSchemaErrors : public MultiSchema, public testing::WithParamInterface<ErrorCase> {};

TEST_P(MultiSchemaErrors, WordedAsSqlServer) { EXPECT_EQ(Failure(GetParam().sql), GetParam().error) << GetParam().sql; }

INSTANTIATE_TEST_SUITE_P(
    Errors, MultiSchemaErrors,
    testing::Values(
        ErrorCase{"InvalidObject", "SELECT * FROM Sales.Nope", "208: Invalid object name 'Sales.Nope'."},
        ErrorCase{"BareNameOfOtherSchema", "SELECT * FROM Employee", "208: Invalid object name 'Employee'."},
        ErrorCase{"NoSuchSchema", "CREATE TABLE Nope.T (a int)",
                  "2760: The specified schema name \"Nope\" either does not exist or you do not have permission to use it."},
        ErrorCase{"SchemaTwice", "CREATE SCHEMA Sales", "2714: There is already an object named 'Sales' in the database."},
        ErrorCase{"TableTwiceInSchema", "CREATE TABLE Sales.Customer (a int)",
                  "2714: There is already an object named 'Customer' in the database."},
        ErrorCase{"DropSchemaInUse", "DROP SCHEMA Sales",
                  "3729: Cannot drop schema 'Sales' because it is being referenced by object 'BigCustomers'."},
        ErrorCase{"DropNoSchema", "DROP SCHEMA Nope",
                  "3701: Cannot drop the schema 'Nope', because it does not exist or you do not have permission."},
        ErrorCase{"ForeignKeyAcrossSchemas", "INSERT INTO [Human Resources].Employee (Id, CustomerId) VALUES (11, 9)",
                  "547: The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_Employee_Customer\". The "
                  "conflict occurred in database \"multi\", table \"Sales.Customer\", column 'Id'."}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST_F(MultiSchema, SchemaComesAndGoes) {
  OdbcStatement(connection_).Run("CREATE SCHEMA Temp");
  OdbcStatement(connection_).Run("CREATE TABLE Temp.T (a int)");
  OdbcStatement(connection_).Run("DROP TABLE Temp.T");
  OdbcStatement(connection_).Run("DROP SCHEMA Temp");
  EXPECT_EQ(Query("SELECT count(*) FROM sys.schemas WHERE name = 'Temp'"), (std::vector<std::string>{"0"}));
}

// SQLTables lists every schema's tables; the other catalog calls take the
// schema as owner and report it.
TEST_F(MultiSchema, CatalogProceduresFilterAndReportTheOwner) {
  {
    OdbcStatement s(connection_);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLTables(s.get(), nullptr, 0, nullptr, 0, nullptr, 0, (SQLCHAR*)"TABLE", SQL_NTS)));
    EXPECT_EQ(Lines(s, {2, 3}), (std::vector<std::string>{"dbo|Customer", "Human Resources|Employee", "Sales|Customer"}));
  }
  {
    OdbcStatement s(connection_);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(s.get(), nullptr, 0, (SQLCHAR*)"Sales", SQL_NTS, (SQLCHAR*)"Customer", SQL_NTS,
                                         nullptr, 0)));
    EXPECT_EQ(Lines(s, {2, 3, 4, 6, 7}), (std::vector<std::string>{"Sales|Customer|Id|int|10",
                                                                   "Sales|Customer|Name|nvarchar|20",
                                                                   "Sales|Customer|Region|Code|3"}));
  }
  {
    OdbcStatement s(connection_);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Customer", SQL_NTS, nullptr, 0)));
    EXPECT_EQ(Lines(s, {2, 4, 6}), (std::vector<std::string>{"dbo|Id|int", "dbo|Name|nvarchar", "dbo|Region|Code"}))
        << "without an owner, the default schema's table";
  }
  {
    OdbcStatement s(connection_);
    ASSERT_TRUE(SQL_SUCCEEDED(
        SQLPrimaryKeys(s.get(), nullptr, 0, (SQLCHAR*)"Human Resources", SQL_NTS, (SQLCHAR*)"Employee", SQL_NTS)));
    EXPECT_EQ(Lines(s, {2, 3, 4, 6}), (std::vector<std::string>{"Human Resources|Employee|Id|PK_Employee"}));
  }
  {
    OdbcStatement s(connection_);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLPrimaryKeys(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Employee", SQL_NTS)));
    EXPECT_TRUE(Lines(s, {3}).empty()) << "a bare name is not looked up in another schema";
  }
  {
    OdbcStatement s(connection_);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLStatistics(s.get(), nullptr, 0, (SQLCHAR*)"Sales", SQL_NTS, (SQLCHAR*)"Customer",
                                            SQL_NTS, SQL_INDEX_ALL, SQL_QUICK)));
    EXPECT_EQ(Lines(s, {2, 3, 7, 11}).front(), "Sales|Customer|0|2") << "the row count of Sales' table";
  }
  {
    OdbcStatement s(connection_);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLForeignKeys(s.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                             (SQLCHAR*)"Human Resources", SQL_NTS, (SQLCHAR*)"Employee", SQL_NTS)));
    EXPECT_EQ(Lines(s, {2, 3, 4, 6, 7, 8, 12}),
              (std::vector<std::string>{"Sales|Customer|Id|Human Resources|Employee|CustomerId|FK_Employee_Customer"}));
  }
}

}  // namespace
}  // namespace standin_test
