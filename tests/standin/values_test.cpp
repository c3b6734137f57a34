// Values as SQL Server keeps them: empty binaries, CONVERT and CAST with their
// styles and errors, read back through FreeTDS.
#include <gtest/gtest.h>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

class Values : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(FixtureConnectString())))
        << DescribeDiagnostics(SQL_HANDLE_DBC, connection_.dbc());
  }
  std::optional<std::string> Scalar(const std::string& sql) {
    OdbcStatement s(connection_);
    if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(sql + ": " + s.Diagnostics());
    if (!s.Fetch()) return std::nullopt;
    return s.Text(1);
  }
  OdbcConnection connection_;
};

TEST_F(Values, EmptyBinaryIsNotNull) {
  OdbcStatement s(connection_);
  s.Run("CREATE TABLE EmptyBinary (id int, b varbinary(10), i image)");
  s.Run("INSERT INTO EmptyBinary VALUES (1, 0x, 0x), (2, NULL, NULL)");
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("Select b, i, 0x from EmptyBinary order by id"))) << s.Diagnostics();
  unsigned char bytes[4];
  SQLLEN indicator = 0;
  ASSERT_TRUE(s.Fetch());
  for (SQLUSMALLINT column : {1, 2, 3}) {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(s.get(), column, SQL_C_BINARY, bytes, sizeof bytes, &indicator)));
    EXPECT_EQ(indicator, 0) << "column " << column;
  }
  ASSERT_TRUE(s.Fetch());
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(s.get(), 1, SQL_C_BINARY, bytes, sizeof bytes, &indicator)));
  EXPECT_EQ(indicator, SQL_NULL_DATA);
  s.Close();
  EXPECT_EQ(Scalar("Select count(*) from EmptyBinary where b is null"), "1");
  s.Run("UPDATE EmptyBinary SET b = 0x WHERE id = 2");
  EXPECT_EQ(Scalar("Select count(*) from EmptyBinary where b is null"), "0");
}

}  // namespace
}  // namespace standin_test
