// "Select * from" a table of every type, read with SQLGetData as text and as
// typed values, compared with what the fixture inserted.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

// Reads AllTypes (ordered by id) once per test program.
struct AllTypesResult {
  std::vector<std::string> names;
  std::vector<std::vector<std::optional<std::string>>> rows;  // as SQL_C_CHAR
};

const AllTypesResult& ReadAllTypes() {
  static AllTypesResult result;
  if (!result.rows.empty()) return result;
  OdbcConnection c;
  if (!SQL_SUCCEEDED(c.Connect(FixtureConnectString()))) throw std::runtime_error("connect failed");
  OdbcStatement s(c);
  if (!SQL_SUCCEEDED(s.Execute("Select * from AllTypes order by id"))) throw std::runtime_error(s.Diagnostics());
  result.names = s.ColumnNames();
  while (s.Fetch()) {
    std::vector<std::optional<std::string>> row;
    for (size_t i = 1; i <= result.names.size(); ++i) row.push_back(s.Text(static_cast<SQLUSMALLINT>(i)));
    result.rows.push_back(row);
  }
  return result;
}

size_t ColumnIndex(const std::string& name) {
  const auto& names = ReadAllTypes().names;
  const auto it = std::find(names.begin(), names.end(), name);
  if (it == names.end()) throw std::runtime_error("no column " + name);
  return static_cast<size_t>(it - names.begin());
}

struct TextCase {
  const char* column;
  const char* text;
  SQLSMALLINT sqlType;  // SQLDescribeCol in ODBC 3
};

class TextValues : public testing::TestWithParam<TextCase> {};

TEST_P(TextValues, MatchWhatWasInserted) {
  const TextCase& c = GetParam();
  const auto& r = ReadAllTypes();
  ASSERT_EQ(r.rows.size(), 2u);
  const size_t i = ColumnIndex(c.column);
  ASSERT_TRUE(r.rows[0][i].has_value()) << c.column;
  EXPECT_EQ(*r.rows[0][i], c.text) << c.column;
  if (std::string(c.column) != "c_timestamp") {
    EXPECT_FALSE(r.rows[1][i].has_value()) << c.column << " should be NULL";
  }
}

TEST_P(TextValues, DescribedWithTheirSqlType) {
  const TextCase& c = GetParam();
  OdbcConnection conn;
  ASSERT_TRUE(SQL_SUCCEEDED(conn.Connect(FixtureConnectString())));
  OdbcStatement s(conn);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute(std::string("Select ") + c.column + " from AllTypes")));
  SQLCHAR name[128];
  SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDescribeCol(s.get(), 1, name, sizeof name, &length, &type, &size, &digits, &nullable)));
  EXPECT_EQ(type, c.sqlType) << c.column;
}

INSTANTIATE_TEST_SUITE_P(
    AllTypes, TextValues,
    testing::Values(TextCase{"c_int", "-123456", SQL_INTEGER}, TextCase{"c_smallint", "-1234", SQL_SMALLINT},
                    TextCase{"c_tinyint", "200", SQL_TINYINT}, TextCase{"c_bigint", "9007199254740993", SQL_BIGINT},
                    TextCase{"c_bit", "1", SQL_BIT}, TextCase{"c_decimal", "12345678.91", SQL_NUMERIC},
                    TextCase{"c_numeric", "123456789012345678", SQL_NUMERIC},
                    TextCase{"c_money", "-922337203685477.5808", SQL_DECIMAL},
                    TextCase{"c_smallmoney", "214748.3647", SQL_DECIMAL},
                    TextCase{"c_float", "3.1415926535897931", SQL_DOUBLE}, TextCase{"c_real", "1.5", SQL_REAL},
                    TextCase{"c_datetime", "2024-02-29 13:45:30.123", SQL_TYPE_TIMESTAMP},
                    TextCase{"c_smalldatetime", "2024-02-29 13:46:00", SQL_TYPE_TIMESTAMP},
                    TextCase{"c_date", "2024-02-29", SQL_TYPE_DATE},
                    TextCase{"c_time", "13:45:30.123", -154 /* SQL_SS_TIME2 */},
                    TextCase{"c_datetime2", "2024-02-29 13:45:30.1234567", SQL_TYPE_TIMESTAMP},
                    TextCase{"c_char", "abc       ", SQL_CHAR}, TextCase{"c_varchar", "O'Brien", SQL_VARCHAR},
                    TextCase{"c_nchar", "été       ", SQL_WCHAR}, TextCase{"c_nvarchar", "Grüße €", SQL_WVARCHAR},
                    TextCase{"c_varchar_max", "max text", SQL_VARCHAR},
                    TextCase{"c_nvarchar_max", "max ntext €", SQL_WVARCHAR},
                    TextCase{"c_text", "long text é", SQL_LONGVARCHAR}, TextCase{"c_ntext", "ntext €", SQL_WLONGVARCHAR},
                    TextCase{"c_binary", "00abcdef", SQL_BINARY}, TextCase{"c_varbinary", "0102fe", SQL_VARBINARY},
                    TextCase{"c_varbinary_max", "cafe", SQL_VARBINARY},
                    TextCase{"c_image", "89504e470d0a", SQL_LONGVARBINARY},
                    TextCase{"c_guid", "6F9619FF-8B86-D011-B42D-00C04FC964FF", SQL_GUID}),
    [](const testing::TestParamInfo<TextCase>& info) { return std::string(info.param.column); });

class TypedValues : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(FixtureConnectString())));
    statementHolder_ = std::make_unique<OdbcStatement>(connection_);
    OdbcStatement& statement_ = statement();
    ASSERT_TRUE(SQL_SUCCEEDED(statement_.Execute("Select * from AllTypes where id = 1"))) << statement().Diagnostics();
    ASSERT_TRUE(statement_.Fetch());
  }
  SQLUSMALLINT Col(const char* name) { return static_cast<SQLUSMALLINT>(ColumnIndex(name) + 1); }
  template <class T>
  T Get(const char* column, SQLSMALLINT cType) {
    T value{};
    SQLLEN indicator = 0;
    EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(statement().get(), Col(column), cType, &value, sizeof value, &indicator)))
        << column << "\n" << statement().Diagnostics();
    return value;
  }
  OdbcConnection connection_;
  OdbcStatement& statement() { return *statementHolder_; }
  std::unique_ptr<OdbcStatement> statementHolder_;
};

TEST_F(TypedValues, Numbers) {
  EXPECT_EQ(Get<SQLINTEGER>("c_int", SQL_C_SLONG), -123456);
  EXPECT_EQ(Get<SQLSMALLINT>("c_smallint", SQL_C_SSHORT), -1234);
  EXPECT_EQ(Get<SQLCHAR>("c_tinyint", SQL_C_UTINYINT), 200);
  EXPECT_EQ(Get<SQLBIGINT>("c_bigint", SQL_C_SBIGINT), 9007199254740993LL);
  EXPECT_EQ(Get<SQLCHAR>("c_bit", SQL_C_BIT), 1);
  EXPECT_DOUBLE_EQ(Get<double>("c_decimal", SQL_C_DOUBLE), 12345678.91);
  EXPECT_DOUBLE_EQ(Get<double>("c_smallmoney", SQL_C_DOUBLE), 214748.3647);
  EXPECT_DOUBLE_EQ(Get<double>("c_float", SQL_C_DOUBLE), 3.1415926535897931);
  EXPECT_FLOAT_EQ(Get<float>("c_real", SQL_C_FLOAT), 1.5f);
}

TEST_F(TypedValues, DatesAndTimes) {
  const auto dt = Get<SQL_TIMESTAMP_STRUCT>("c_datetime", SQL_C_TYPE_TIMESTAMP);
  EXPECT_EQ(std::make_tuple(dt.year, dt.month, dt.day, dt.hour, dt.minute, dt.second, dt.fraction),
            std::make_tuple(2024, 2, 29, 13, 45, 30, 123000000u));
  const auto sdt = Get<SQL_TIMESTAMP_STRUCT>("c_smalldatetime", SQL_C_TYPE_TIMESTAMP);
  EXPECT_EQ(std::make_tuple(sdt.hour, sdt.minute, sdt.second), std::make_tuple(13, 46, 0));
  const auto dt2 = Get<SQL_TIMESTAMP_STRUCT>("c_datetime2", SQL_C_TYPE_TIMESTAMP);
  EXPECT_EQ(dt2.fraction, 123456700u);
  const auto d = Get<SQL_DATE_STRUCT>("c_date", SQL_C_TYPE_DATE);
  EXPECT_EQ(std::make_tuple(d.year, d.month, d.day), std::make_tuple(2024, 2, 29));
}

TEST_F(TypedValues, BinaryAndUnicode) {
  unsigned char bytes[16] = {};
  SQLLEN indicator = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(statement().get(), Col("c_varbinary"), SQL_C_BINARY, bytes, sizeof bytes, &indicator)));
  EXPECT_EQ(indicator, 3);
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 3), (std::vector<unsigned char>{0x01, 0x02, 0xFE}));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(statement().get(), Col("c_timestamp"), SQL_C_BINARY, bytes, sizeof bytes, &indicator)));
  EXPECT_EQ(indicator, 8);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(statement().get(), Col("c_guid"), SQL_C_BINARY, bytes, sizeof bytes, &indicator)));
  EXPECT_EQ(indicator, 16);
  EXPECT_EQ(bytes[0], 0xFF) << "Data1 travels little-endian";
  SQLWCHAR wide[32] = {};
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(statement().get(), Col("c_nvarchar"), SQL_C_WCHAR, wide, sizeof wide, &indicator)));
  EXPECT_EQ(indicator, 14);
  EXPECT_EQ(wide[6], 0x20AC);
}

TEST(LongValues, ReadWholeInChunks) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  s.Run("CREATE TABLE LongValues (id int, t text, nt ntext, img image, vm nvarchar(max))");
  const std::string big(20000, 'x');
  std::string hex = "0x";
  for (int i = 0; i < 10000; ++i) hex += "A5";
  s.Run("INSERT INTO LongValues VALUES (1, '" + big + "', N'" + big + "', " + hex + ", N'" + big + "')");
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("Select * from LongValues")));
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(2), big);
  EXPECT_EQ(s.Text(3), big);
  const auto image = s.Text(4);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->size(), 20000u);
  EXPECT_EQ(image->substr(0, 4), "a5a5");
  EXPECT_EQ(s.Text(5), big);
}

}  // namespace
}  // namespace standin_test
