// The "dsns" data source as the application uses it: registered through
// SQLConfigDataSource("SQL Server", "DSN=dsns;Server=(local);Trusted_Connection=yes;
// Database=..."), then logged on through the real FreeTDS driver to the stand-in,
// with a SQL login or with Windows authentication (Kerberos, private KDC).
// FreeTDS's TDSPORT points "(local)" at the stand-in's port.
#include <odbcinst.h>
#include <sql.h>
#include <sqlext.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "kerberos_realm.h"
#include "odbc_batch_runner.h"
#include "odbc_sandbox.h"
#include "sales_script.h"
#include "sql_batches.h"
#include "standin_process.h"

namespace talvoro::test {
namespace {

constexpr const char* kLogin = "sa";
constexpr const char* kPassword = "Secret-1";
constexpr SQLINTEGER kIntegratedSecurity = 1203;  // SQL_COPT_SS_INTEGRATED_SECURITY

// Exactly the list the application hands over (its template expanded).
bool RegisterSource(const std::string& database) {
  std::string list = "DSN=dsns";
  for (const std::string& entry :
       {std::string("Server=(local)"), std::string("Trusted_Connection=yes"), "Database=" + database}) {
    list += '\0';
    list += entry;
  }
  list += '\0';
  list += '\0';
  return SQLConfigDataSource(nullptr, ODBC_ADD_DSN, "SQL Server", list.c_str());
}

SQLCHAR* Text(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

// An ODBC 3 environment and connection, freed on every path.
class Connection {
 public:
  Connection() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  }
  ~Connection() {
    if (open_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The logon of the application's first page: integrated security on or off, then "dsns".
  bool LogOnToDsns(bool windows, const std::string& user, const std::string& password) {
    SQLSetConnectAttr(dbc_, kIntegratedSecurity, reinterpret_cast<SQLPOINTER>(windows ? 1 : 0), SQL_IS_INTEGER);
    open_ = SQL_SUCCEEDED(SQLConnect(dbc_, Text("dsns"), SQL_NTS, Text(user), SQL_NTS, Text(password), SQL_NTS));
    return open_;
  }
  bool Open(const std::string& connectString) {
    SQLCHAR out[1024];
    SQLSMALLINT length = 0;
    open_ = SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, Text(connectString), SQL_NTS, out, sizeof out,
                                           &length, SQL_DRIVER_NOPROMPT));
    return open_;
  }
  std::string Diagnostics() const { return sales_demo::DiagnosticText(SQL_HANDLE_DBC, dbc_); }
  std::string DatabaseName() const {
    char name[256] = {};
    SQLSMALLINT length = 0;
    SQLGetInfo(dbc_, SQL_DATABASE_NAME, name, sizeof name, &length);
    return name;
  }
  void Run(const std::string& script) {
    sales_demo::RunSqlBatches(dbc_, sales_demo::SplitSqlBatches(script));
  }
  SQLHDBC get() const { return dbc_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool open_ = false;
};

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) had_ = true, old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

class SourceLogonTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The stand-in reads its keytab at each Kerberos logon, so the service key
    // for its port can be added once the port is known.
    if (KerberosRealm::Available()) realm_ = std::make_unique<KerberosRealm>();
    StandinProcess::Options options;
    options.logins = {{kLogin, kPassword}};
    if (realm_) options.keytab = realm_->serviceKeytab();
    standin_ = std::make_unique<StandinProcess>(options);
    if (realm_) {
      realm_->AddService(standin_->port());
      realm_->UseForClients();
    }
    tdsPort_ = std::make_unique<ScopedEnv>("TDSPORT", std::to_string(standin_->port()));
  }
  static void TearDownTestSuite() {
    tdsPort_.reset();
    standin_.reset();
    realm_.reset();
  }
  void RequireKerberos() {
    if (!realm_) GTEST_SKIP() << "MIT Kerberos KDC not installed";
  }

  static std::unique_ptr<KerberosRealm> realm_;
  static std::unique_ptr<StandinProcess> standin_;
  static std::unique_ptr<ScopedEnv> tdsPort_;
};
std::unique_ptr<KerberosRealm> SourceLogonTest::realm_;
std::unique_ptr<StandinProcess> SourceLogonTest::standin_;
std::unique_ptr<ScopedEnv> SourceLogonTest::tdsPort_;

TEST_F(SourceLogonTest, SqlLoginReachesTheDatabaseOfTheLastRegistration) {
  {
    Connection admin;
    ASSERT_TRUE(admin.Open(standin_->ConnectString("master", kLogin, kPassword))) << admin.Diagnostics();
    admin.Run("CREATE DATABASE Scratch\nGO\n");
  }
  const std::vector<std::pair<std::string, std::string>> registrations = {
      {"", "master"}, {"Scratch", "Scratch"}, {"", "master"}};
  for (const auto& [database, expected] : registrations) {
    ASSERT_TRUE(RegisterSource(database));
    Connection connection;
    ASSERT_TRUE(connection.LogOnToDsns(false, kLogin, kPassword)) << connection.Diagnostics();
    EXPECT_EQ(connection.DatabaseName(), expected) << "registered Database=" << database;
    // The server granted the larger packets the data source asks for.
    SQLULEN packetSize = 0;
    SQLGetConnectAttr(connection.get(), SQL_ATTR_PACKET_SIZE, &packetSize, 0, nullptr);
    EXPECT_EQ(packetSize, 16383u);
  }
}

TEST_F(SourceLogonTest, WrongPasswordIsRefusedWithTheServersMessage) {
  ASSERT_TRUE(RegisterSource(""));
  Connection connection;
  EXPECT_FALSE(connection.LogOnToDsns(false, kLogin, "wrong"));
  const std::string diagnostics = connection.Diagnostics();
  EXPECT_NE(diagnostics.find("(18456) "), std::string::npos) << diagnostics;
  EXPECT_NE(diagnostics.find("Login failed for user 'sa'."), std::string::npos) << diagnostics;
}

TEST_F(SourceLogonTest, WindowsLogonUsesTheKerberosTicket) {
  RequireKerberos();
  ASSERT_TRUE(RegisterSource(""));
  Connection connection;
  EXPECT_TRUE(connection.LogOnToDsns(true, "", "")) << connection.Diagnostics();
  EXPECT_EQ(connection.DatabaseName(), "master");

  // The catalog and copy steps connect with the bare connect string.
  Connection byString;
  EXPECT_TRUE(byString.Open("DSN=dsns")) << byString.Diagnostics();
}

TEST_F(SourceLogonTest, WindowsLogonFailsWithoutATicket) {
  RequireKerberos();
  ASSERT_TRUE(RegisterSource(""));
  const ScopedEnv noTicket("KRB5CCNAME", "FILE:" + realm_->dir() + "/no-such-ccache");
  Connection connection;
  EXPECT_FALSE(connection.LogOnToDsns(true, "", ""));
}

TEST_F(SourceLogonTest, WindowsLogonIsRefusedByAServerWithoutKeytab) {
  RequireKerberos();
  StandinProcess::Options options;
  options.logins = {{kLogin, kPassword}};
  StandinProcess plain(options);
  realm_->AddService(plain.port());  // the client gets its ticket; the server cannot check it
  const ScopedEnv port("TDSPORT", std::to_string(plain.port()));
  ASSERT_TRUE(RegisterSource(""));
  Connection connection;
  EXPECT_FALSE(connection.LogOnToDsns(true, "", ""));
  const std::string diagnostics = connection.Diagnostics();
  EXPECT_NE(diagnostics.find("(18452) "), std::string::npos) << diagnostics;
}

// One column of a one-row query, read as text (UTF-8 through ClientCharset).
std::string QueryText(SQLHDBC dbc, const std::string& sql) {
  SQLHSTMT statement = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &statement);
  std::string value = "<no row>";
  if (SQL_SUCCEEDED(SQLExecDirect(statement, Text(sql), SQL_NTS)) && SQL_SUCCEEDED(SQLFetch(statement))) {
    char buffer[4096] = {};
    SQLLEN length = 0;
    SQLGetData(statement, 1, SQL_C_CHAR, buffer, sizeof buffer, &length);
    value = length == SQL_NULL_DATA ? "<null>" : buffer;
  } else {
    value = "<error> " + sales_demo::DiagnosticText(SQL_HANDLE_STMT, statement);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
  return value;
}

// Reads every value of "Select * from <table>" as text, the way the copy step
// does; returns the row count, or -1 with `error` set.
long ReadEveryValue(SQLHDBC dbc, const std::string& table, std::string& error) {
  SQLHSTMT statement = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &statement);
  long rows = -1;
  if (SQL_SUCCEEDED(SQLExecDirect(statement, Text("Select * from [" + table + "]"), SQL_NTS))) {
    SQLSMALLINT columns = 0;
    SQLNumResultCols(statement, &columns);
    std::vector<char> buffer(1 << 20);
    SQLRETURN rc;
    for (rows = 0; SQL_SUCCEEDED(rc = SQLFetch(statement)); ++rows) {
      for (SQLUSMALLINT column = 1; column <= columns; ++column) {
        SQLLEN length = 0;
        if (!SQL_SUCCEEDED(SQLGetData(statement, column, SQL_C_CHAR, buffer.data(), buffer.size(), &length))) {
          error = "row " + std::to_string(rows + 1) + " column " + std::to_string(column) + ": " +
                  sales_demo::DiagnosticText(SQL_HANDLE_STMT, statement);
          rows = -1;
          break;
        }
      }
      if (rows < 0) break;
    }
    if (rows >= 0 && rc != SQL_NO_DATA) {
      error = sales_demo::DiagnosticText(SQL_HANDLE_STMT, statement);
      rows = -1;
    }
  } else {
    error = sales_demo::DiagnosticText(SQL_HANDLE_STMT, statement);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
  return rows;
}

// The rows of a catalog call, chosen columns joined by '|'.
std::vector<std::string> CatalogRows(SQLHSTMT statement, const std::vector<SQLUSMALLINT>& columns) {
  std::vector<std::string> rows;
  while (SQL_SUCCEEDED(SQLFetch(statement))) {
    std::string line;
    for (size_t i = 0; i < columns.size(); ++i) {
      char buffer[512] = {};
      SQLLEN length = 0;
      SQLGetData(statement, columns[i], SQL_C_CHAR, buffer, sizeof buffer, &length);
      line += (i ? "|" : "") + (length == SQL_NULL_DATA ? std::string("NULL") : std::string(buffer));
    }
    rows.push_back(line);
  }
  SQLFreeStmt(statement, SQL_CLOSE);
  return rows;
}

TEST_F(SourceLogonTest, SalesLoadsAndItsTablesAreListed) {
  {
    Connection admin;
    ASSERT_TRUE(admin.Open(standin_->ConnectString("master", kLogin, kPassword))) << admin.Diagnostics();
    std::ostringstream script;
    sales_demo::WriteSalesScript(script);
    ASSERT_NO_THROW(admin.Run(script.str()));
  }
  EXPECT_TRUE(std::filesystem::exists(standin_->dataDir() + "/Sales.mdf"));

  ASSERT_TRUE(RegisterSource("Sales"));
  Connection connection;
  const bool windows = realm_ != nullptr;  // as the application would, when it can
  ASSERT_TRUE(connection.LogOnToDsns(windows, windows ? "" : kLogin, windows ? "" : kPassword))
      << connection.Diagnostics();
  EXPECT_EQ(connection.DatabaseName(), "Sales");

  SQLHSTMT statement = SQL_NULL_HSTMT;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection.get(), &statement)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLTables(statement, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)));
  std::map<std::string, std::string> tables;  // name -> type, user objects only
  while (SQL_SUCCEEDED(SQLFetch(statement))) {
    char name[256] = {}, type[64] = {};
    SQLLEN length = 0;
    SQLGetData(statement, 3, SQL_C_CHAR, name, sizeof name, &length);
    SQLGetData(statement, 4, SQL_C_CHAR, type, sizeof type, &length);
    if (std::string(type) != "SYSTEM TABLE") tables[name] = type;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
  const std::map<std::string, std::string> expected = {
      {"Customers", "TABLE"}, {"Employees", "TABLE"}, {"Products", "TABLE"}, {"Orders", "TABLE"},
      {"Order Details", "TABLE"}, {"counter", "TABLE"}, {"TypeSamples", "TABLE"},
      {"Customer List", "VIEW"}};
  EXPECT_EQ(tables, expected);

  // Every value of every table and of the view can be read, and no row is missing.
  using namespace sales_demo;
  const std::map<std::string, long> rowCounts = {
      {"Customers", kCustomerCount}, {"Employees", kEmployeeCount}, {"Products", kProductCount},
      {"Orders", kOrderCount}, {"Order Details", kOrderDetailCount}, {"counter", kCounterCount},
      {"TypeSamples", kTypeSampleCount}, {"Customer List", kCustomerCount}};
  for (const auto& [table, count] : rowCounts) {
    std::string error;
    EXPECT_EQ(ReadEveryValue(connection.get(), table, error), count) << table << ": " << error;
  }
  // Unicode in nvarchar and code page 1252 in varchar both arrive as UTF-8.
  EXPECT_EQ(QueryText(connection.get(), "SELECT c_nvarchar FROM TypeSamples WHERE SampleID = 1"),
            "Straße – 東京 – Ελλάδα");
  EXPECT_EQ(QueryText(connection.get(), "SELECT c_varchar FROM TypeSamples WHERE SampleID = 1"),
            "Grüße aus Köln");
  EXPECT_EQ(QueryText(connection.get(), "SELECT c_int FROM TypeSamples WHERE SampleID = 4"), "<null>");
  // The limits of the types survive the script's literals.
  const std::vector<std::tuple<int, std::string, std::string>> limits = {
      {2, "c_bigint", "-9223372036854775808"}, {3, "c_bigint", "9223372036854775807"},
      {2, "c_money", "-922337203685477.5808"}, {3, "c_smallmoney", "214748.3647"},
      {3, "c_decimal", "99999999999999.9999"}, {3, "c_date", "9999-12-31"},
      {3, "c_datetime2", "9999-12-31 23:59:59.9999999"}, {2, "c_varchar", ""}};
  for (const auto& [row, column, text] : limits) {
    EXPECT_EQ(QueryText(connection.get(), "SELECT " + column + " FROM TypeSamples WHERE SampleID = " +
                                              std::to_string(row)),
              text)
        << column << " of row " << row;
  }

  // Its schema: indexes, foreign keys, identities and defaults as SQL Server reports them.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection.get(), &statement)));
  auto name = [](const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); };
  ASSERT_TRUE(SQL_SUCCEEDED(SQLStatistics(statement, nullptr, 0, nullptr, 0, name("Order Details"), SQL_NTS,
                                          SQL_INDEX_ALL, SQL_QUICK)));
  EXPECT_EQ(CatalogRows(statement, {4, 6, 7, 8, 9, 10, 11}),
            (std::vector<std::string>{"NULL|NULL|0|NULL|NULL|NULL|" + std::to_string(kOrderDetailCount),
                                      "0|PK_Order_Details|1|1|OrderID|A|" + std::to_string(kOrderDetailCount),
                                      "0|PK_Order_Details|1|2|ProductID|A|" + std::to_string(kOrderDetailCount),
                                      "1|IX_Order_Details_ProductID|3|1|ProductID|A|" + std::to_string(kOrderDetailCount)}));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLStatistics(statement, nullptr, 0, nullptr, 0, name("Orders"), SQL_NTS, SQL_INDEX_ALL,
                                          SQL_QUICK)));
  const auto orderIndexes = CatalogRows(statement, {4, 6, 7, 8, 9, 10});
  ASSERT_EQ(orderIndexes.size(), 4u);
  EXPECT_EQ(orderIndexes[1].rfind("0|PK__Orders__", 0), 0u) << orderIndexes[1];
  EXPECT_EQ(orderIndexes[2], "1|IX_Orders_CustomerID|3|1|CustomerID|A");
  EXPECT_EQ(orderIndexes[3], "1|IX_Orders_OrderDate|3|1|OrderDate|D");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLForeignKeys(statement, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                           name("Order Details"), SQL_NTS)));
  const auto keys = CatalogRows(statement, {3, 4, 7, 8, 9, 10, 11, 12});
  EXPECT_EQ(keys, (std::vector<std::string>{
                      "Orders|OrderID|Order Details|OrderID|1|1|0|FK_Order_Details_Orders",
                      "Products|ProductID|Order Details|ProductID|1|1|1|FK_Order_Details_Products"}));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLForeignKeys(statement, nullptr, 0, nullptr, 0, name("Employees"), SQL_NTS, nullptr, 0,
                                           nullptr, 0, nullptr, 0)));
  EXPECT_EQ(CatalogRows(statement, {7, 8, 12}),
            (std::vector<std::string>{"Employees|ReportsTo|FK_Employees_Employees", "Orders|EmployeeID|FK_Orders_Employees"}));
  const std::vector<std::tuple<const char*, const char*, std::string>> columns = {
      {"Orders", "OrderID", "int identity|NULL"},        {"Orders", "OrderDate", "datetime|(getdate())"},
      {"Orders", "Freight", "money|((0))"},              {"Orders", "ShipCountry", "nvarchar|('USA')"},
      {"Customers", "Country", "nvarchar|(N'USA')"},     {"Products", "Discontinued", "bit|((0))"},
      {"Products", "ReorderLevel", "tinyint|((5))"},     {"Employees", "HireDate", "smalldatetime|(getdate())"}};
  for (const auto& [table, column, expected] : columns) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(statement, nullptr, 0, nullptr, 0, name(table), SQL_NTS, name(column), SQL_NTS)));
    EXPECT_EQ(CatalogRows(statement, {6, 13}), std::vector<std::string>{expected}) << table << "." << column;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, statement);
}

}  // namespace
}  // namespace talvoro::test
