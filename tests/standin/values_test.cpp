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

struct ConvertCase {
  const char* name;
  const char* expression;
  const char* text;  // read as SQL_C_CHAR; nullptr for NULL
};

class Conversions : public Values, public testing::WithParamInterface<ConvertCase> {};

TEST_P(Conversions, GiveSqlServersResult) {
  const ConvertCase& c = GetParam();
  const auto value = Scalar(std::string("Select ") + c.expression);
  if (!c.text) {
    EXPECT_FALSE(value.has_value()) << c.expression;
    return;
  }
  ASSERT_TRUE(value.has_value()) << c.expression;
  EXPECT_EQ(*value, c.text) << c.expression;
}

#define DT "CAST('2024-02-29 13:45:30.123' AS datetime)"
INSTANTIATE_TEST_SUITE_P(
    Styles, Conversions,
    testing::Values(
        ConvertCase{"Style0", "CONVERT(varchar(30), " DT ")", "Feb 29 2024  1:45PM"},
        ConvertCase{"Style1", "CONVERT(varchar(10), " DT ", 1)", "02/29/24"},
        ConvertCase{"Style3", "CONVERT(varchar(10), " DT ", 3)", "29/02/24"},
        ConvertCase{"Style101", "CONVERT(varchar(10), " DT ", 101)", "02/29/2024"},
        ConvertCase{"Style102", "CONVERT(varchar(10), " DT ", 102)", "2024.02.29"},
        ConvertCase{"Style103", "CONVERT(varchar(10), " DT ", 103)", "29/02/2024"},
        ConvertCase{"Style104", "CONVERT(varchar(10), " DT ", 104)", "29.02.2024"},
        ConvertCase{"Style106", "CONVERT(varchar(11), " DT ", 106)", "29 Feb 2024"},
        ConvertCase{"Style107", "CONVERT(varchar(12), " DT ", 107)", "Feb 29, 2024"},
        ConvertCase{"Style108", "CONVERT(varchar(8), " DT ", 108)", "13:45:30"},
        ConvertCase{"Style109", "CONVERT(varchar(30), " DT ", 109)", "Feb 29 2024  1:45:30:123PM"},
        ConvertCase{"Style110", "CONVERT(varchar(10), " DT ", 110)", "02-29-2024"},
        ConvertCase{"Style112", "CONVERT(varchar(8), " DT ", 112)", "20240229"},
        ConvertCase{"Style113", "CONVERT(varchar(30), " DT ", 113)", "29 Feb 2024 13:45:30:123"},
        ConvertCase{"Style120", "CONVERT(varchar(19), " DT ", 120)", "2024-02-29 13:45:30"},
        ConvertCase{"Style121", "CONVERT(varchar(23), " DT ", 121)", "2024-02-29 13:45:30.123"},
        ConvertCase{"Style126", "CONVERT(varchar(30), " DT ", 126)", "2024-02-29T13:45:30.123"},
        ConvertCase{"Style126Datetime2", "CONVERT(varchar(30), CAST('2024-02-29 13:45:30.1234567' AS datetime2), 126)",
                    "2024-02-29T13:45:30.1234567"},
        ConvertCase{"DateDefault", "CONVERT(varchar(30), CAST('2024-02-29' AS date))", "2024-02-29"},
        ConvertCase{"ReadDayFirst", "CONVERT(datetime, '29/02/2024', 103)", "2024-02-29 00:00:00.000"},
        ConvertCase{"ReadGerman", "CONVERT(datetime, '29.02.2024 13:45', 104)", "2024-02-29 13:45:00.000"},
        ConvertCase{"ReadMonthName", "CAST('Feb 29 2024 1:45PM' AS datetime)", "2024-02-29 13:45:00.000"},
        ConvertCase{"ReadDayMonthName", "CAST('29 February 2024' AS date)", "2024-02-29"},
        ConvertCase{"ReadCompact", "CONVERT(date, '20240229', 112)", "2024-02-29"},
        ConvertCase{"ReadIso", "CONVERT(datetime2(3), '2024-02-29T13:45:30.5', 126)", "2024-02-29 13:45:30.500"},
        ConvertCase{"DaysToDatetime", "CONVERT(datetime, 45000)", "2023-03-17 00:00:00.000"}),
    [](const testing::TestParamInfo<ConvertCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Types, Conversions,
    testing::Values(
        ConvertCase{"ToDecimal", "CAST(12.345 AS decimal(5,2))", "12.35"},
        ConvertCase{"ToInt", "CONVERT(int, '42')", "42"},
        ConvertCase{"FloatToInt", "CAST(3.99 AS int)", "3"},
        ConvertCase{"ToMoney", "CONVERT(money, '$1,234.50')", "1234.5000"},
        ConvertCase{"ToFloat", "CONVERT(float, '1.5e3')", "1500"},
        ConvertCase{"ToBit", "CONVERT(bit, 'true')", "1"},
        ConvertCase{"IntToText", "CONVERT(varchar(20), 12345) + 'x'", "12345x"},
        ConvertCase{"CutText", "CONVERT(varchar(3), 'abcdef')", "abc"},
        ConvertCase{"PadChar", "CONVERT(char(5), 'ab')", "ab   "},
        ConvertCase{"NumberTooLong", "CONVERT(varchar(2), 12345)", "*"},
        ConvertCase{"TextToBinary", "CONVERT(varbinary(4), 'AB')", "4142"},
        ConvertCase{"BinaryToText", "CONVERT(varchar(10), 0x414243)", "ABC"},
        ConvertCase{"BinaryToHexText", "CONVERT(varchar(10), 0x414243, 1)", "0x414243"},
        ConvertCase{"HexTextToBinary", "CONVERT(varbinary(4), '0x0A0B', 1)", "0a0b"},
        ConvertCase{"BinaryToInt", "CONVERT(int, 0x0000010A)", "266"},
        ConvertCase{"IntToBinary", "CONVERT(binary(2), 258)", "0102"},
        ConvertCase{"ToGuid", "CONVERT(uniqueidentifier, '6f9619ff-8b86-d011-b42d-00c04fc964ff')",
                    "6F9619FF-8B86-D011-B42D-00C04FC964FF"},
        ConvertCase{"TryConvertFails", "TRY_CONVERT(int, 'abc')", nullptr},
        ConvertCase{"NullStaysNull", "CAST(NULL AS int)", nullptr},
        ConvertCase{"Rounded", "CONVERT(decimal(6,1), 2.25) AS total", "2.3"}),
    [](const testing::TestParamInfo<ConvertCase>& info) { return std::string(info.param.name); });
#undef DT

struct ConvertError {
  const char* name;
  const char* sql;
  int native;
  const char* text;
};

class ConversionErrors : public Values, public testing::WithParamInterface<ConvertError> {};

TEST_P(ConversionErrors, ReportedLikeSqlServer) {
  const ConvertError& c = GetParam();
  OdbcStatement s(connection_);
  SQLRETURN rc = s.Execute(c.sql);
  while (SQL_SUCCEEDED(rc)) {
    while (s.Fetch()) {
    }
    rc = SQLMoreResults(s.get());
  }
  ASSERT_EQ(rc, SQL_ERROR) << c.sql;
  const auto records = s.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, c.native) << records[0].text;
  EXPECT_EQ(records[0].text, std::string("[FreeTDS][SQL Server]") + c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Conversions, ConversionErrors,
    testing::Values(
        ConvertError{"BadDate", "Select CONVERT(datetime, 'not a date')", 241,
                     "Conversion failed when converting date and/or time from character string."},
        ConvertError{"BadInt", "Select CONVERT(int, 'abc')", 245,
                     "Conversion failed when converting the varchar value 'abc' to data type int."},
        ConvertError{"BadDecimal", "Select CAST('x1' AS decimal(10,2))", 8114,
                     "Error converting data type varchar to numeric."},
        ConvertError{"UnknownType", "Select CONVERT(nosuchtype, 1)", 243, "Type nosuchtype is not a defined system type."},
        ConvertError{"IntToDate", "Select CONVERT(date, 5)", 529,
                     "Explicit conversion from data type int to date is not allowed."},
        ConvertError{"InsertBadDate", "INSERT INTO AllTypes (id, c_datetime) VALUES (99, CONVERT(datetime, '31/02/2024', 103))", 241,
                     "Conversion failed when converting date and/or time from character string."}),
    [](const testing::TestParamInfo<ConvertError>& info) { return std::string(info.param.name); });

TEST_F(Values, ConvertedColumnsCarryTheirType) {
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute(
      "Select CONVERT(money, 12.5) AS m, CAST('2024-01-02' AS datetime) d, CONVERT(nvarchar(7), 'x'), CAST(1 AS bigint)")))
      << s.Diagnostics();
  const SQLSMALLINT expected[] = {SQL_DECIMAL, SQL_TYPE_TIMESTAMP, SQL_WVARCHAR, SQL_BIGINT};
  for (SQLUSMALLINT i = 1; i <= 4; ++i) {
    SQLCHAR name[64];
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDescribeCol(s.get(), i, name, sizeof name, &length, &type, &size, &digits, &nullable)));
    EXPECT_EQ(type, expected[i - 1]) << "column " << i;
    if (i == 3) {
      EXPECT_EQ(size, 7u);
    }
  }
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1), "12.5000");
  EXPECT_EQ(s.Text(2), "2024-01-02 00:00:00.000");
}

TEST_F(Values, ConvertInStoredValues) {
  OdbcStatement s(connection_);
  s.Run("CREATE TABLE ConvertTarget (d datetime)");
  s.Run("INSERT INTO ConvertTarget VALUES (CONVERT(datetime, '31/01/2024', 103))");
  s.Run("CREATE VIEW ConvertView AS SELECT CONVERT(varchar(10), d, 104) AS german FROM ConvertTarget");
  EXPECT_EQ(Scalar("Select german from ConvertView"), "31.01.2024");
  EXPECT_EQ(Scalar("Select count(*) from ConvertTarget where d = CONVERT(datetime, '2024-01-31')"), "1");
}

}  // namespace
}  // namespace standin_test
