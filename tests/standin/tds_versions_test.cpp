// Clients asking for TDS 7.1, 7.2 and 7.3 are answered in their own version:
// no ALL_HEADERS expected from 7.1, and the types they lack sent in the older
// forms SQL Server uses (date/time as nvarchar before 7.3, (max) as text before 7.2).
#include <gtest/gtest.h>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

struct VersionCase {
  const char* version;
  SQLSMALLINT dateType;        // how c_date is described
  SQLSMALLINT varcharMaxType;  // how c_varchar_max is described
};

class TdsVersions : public testing::TestWithParam<VersionCase> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(c_.Connect(FixtureConnectString() + ";TDS_Version=" + GetParam().version)))
        << DescribeDiagnostics(SQL_HANDLE_DBC, c_.dbc());
  }
  SQLSMALLINT DescribedType(OdbcStatement& s, SQLUSMALLINT column) {
    SQLCHAR name[64];
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeCol(s.get(), column, name, sizeof name, &length, &type, &size, &digits, &nullable);
    return type;
  }
  OdbcConnection c_;
};

TEST_P(TdsVersions, ValuesOfEveryKindReadBack) {
  OdbcStatement s(c_);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("Select c_int, c_date, c_time, c_datetime2, c_varchar_max, c_nvarchar_max, "
                                      "c_varbinary_max, c_money, c_datetime, c_ntext from AllTypes where id = 1")))
      << s.Diagnostics();
  EXPECT_EQ(DescribedType(s, 2), GetParam().dateType);
  EXPECT_EQ(DescribedType(s, 5), GetParam().varcharMaxType);
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1), "-123456");
  EXPECT_EQ(s.Text(2), "2024-02-29");
  EXPECT_EQ(s.Text(3), "13:45:30.123");
  EXPECT_EQ(s.Text(4), "2024-02-29 13:45:30.1234567");
  EXPECT_EQ(s.Text(5), "max text");
  EXPECT_EQ(s.Text(6), "max ntext €");
  EXPECT_EQ(s.Text(7), "cafe");
  EXPECT_EQ(s.Text(8), "-922337203685477.5808");
  EXPECT_EQ(s.Text(9), "2024-02-29 13:45:30.123");
  EXPECT_EQ(s.Text(10), "ntext €");
}

TEST_P(TdsVersions, CatalogPreparedStatementsAndTransactions) {
  OdbcStatement s(c_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Customers", SQL_NTS, nullptr, 0)))
      << s.Diagnostics();
  int columns = 0;
  while (s.Fetch()) ++columns;
  EXPECT_EQ(columns, 5);
  s.Close();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(s.get(), (SQLCHAR*)"SELECT Name FROM Customers WHERE CustomerID = ?", SQL_NTS)));
  SQLINTEGER id = 2;
  SQLLEN length = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, &length)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(s.get()))) << s.Diagnostics();
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1), "Bob");
  s.Close();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(c_.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0)));
  s.Run("UPDATE Customers SET City = 'Lyon' WHERE CustomerID = 1");
  ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, c_.dbc(), SQL_ROLLBACK)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(c_.dbc(), SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0)));
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("Select City from Customers where CustomerID = 1")));
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1), "Paris");
}

TEST_P(TdsVersions, ErrorsArrive) {
  OdbcStatement s(c_);
  EXPECT_EQ(s.Execute("Select * from NoSuchTable"), SQL_ERROR);
  const auto records = s.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, 208);
}

INSTANTIATE_TEST_SUITE_P(Clients, TdsVersions,
                         testing::Values(VersionCase{"7.1", SQL_WVARCHAR, SQL_LONGVARCHAR},
                                         VersionCase{"7.2", SQL_WVARCHAR, SQL_VARCHAR},
                                         VersionCase{"7.3", SQL_TYPE_DATE, SQL_VARCHAR},
                                         VersionCase{"7.4", SQL_TYPE_DATE, SQL_VARCHAR}),
                         [](const testing::TestParamInfo<VersionCase>& info) {
                           std::string name = std::string("Tds") + info.param.version;
                           name.erase(name.find('.'), 1);
                           return name;
                         });

}  // namespace
}  // namespace standin_test
