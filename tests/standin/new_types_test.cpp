// sql_variant, datetimeoffset, xml and hierarchyid: created, filled, read back
// through FreeTDS in their own TDS encodings, and described by sp_columns.
#include <gtest/gtest.h>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

constexpr char kNewTypesScript[] = R"sql(
CREATE TABLE NewTypes (id int NOT NULL PRIMARY KEY, v sql_variant, dto datetimeoffset, dto3 datetimeoffset(3),
  x xml, h hierarchyid)
INSERT INTO NewTypes VALUES (1, 42, '2024-02-29 13:45:30.1234567 +05:30', '2024-02-29 23:45:30.123 -08:00',
  N'<a b="1">é</a>', '/1/2/')
INSERT INTO NewTypes VALUES (2, NULL, NULL, NULL, NULL, NULL)
INSERT INTO NewTypes (id, v, h) VALUES (3, N'text', '/'), (4, CAST('2024-02-29 13:45:30.123' AS datetime), '/0/'),
  (5, 12.5, '/3/'), (6, CAST(1.25 AS money), '/16/'), (7, 'abc', '/98/'), (8, 0x0102, '/-1/'),
  (9, CAST('6F9619FF-8B86-D011-B42D-00C04FC964FF' AS uniqueidentifier), '/1.1/'), (10, 3.5e0, '/4/5/'),
  (11, CAST(12.345 AS decimal(9,3)), '/1104/'), (12, CAST('2024-02-29' AS date), '/-100/'),
  (13, CAST(7 AS bigint), '/80/'), (14, CAST('x' AS nchar(3)), '/15/')
)sql";

class NewTypes : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
    OdbcStatement(c).Run(kNewTypesScript);
  }
  void SetUp() override { ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(FixtureConnectString()))); }
  // Column `column` of every row, ordered by id, read with one SQLGetData call
  // each (FreeTDS reports sql_variant text as truncated on every call, however
  // large the buffer, so reading on until SQL_SUCCESS would never end).
  std::vector<std::optional<std::string>> Column(const std::string& column, SQLSMALLINT cType = SQL_C_CHAR) {
    OdbcStatement s(connection_);
    if (!SQL_SUCCEEDED(s.Execute("Select " + column + " from NewTypes order by id"))) throw std::runtime_error(s.Diagnostics());
    std::vector<std::optional<std::string>> values;
    while (s.Fetch()) {
      char buf[512] = {};
      SQLLEN indicator = 0;
      const SQLRETURN rc = SQLGetData(s.get(), 1, cType, buf, sizeof buf, &indicator);
      if (!SQL_SUCCEEDED(rc)) throw std::runtime_error(s.Diagnostics());
      if (indicator == SQL_NULL_DATA) values.emplace_back();
      else if (cType == SQL_C_BINARY) values.emplace_back(Hex(buf, static_cast<size_t>(indicator)));
      else values.emplace_back(buf);
    }
    return values;
  }
  static std::string Hex(const char* data, size_t size) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < size; ++i) {
      out += digits[static_cast<unsigned char>(data[i]) >> 4];
      out += digits[static_cast<unsigned char>(data[i]) & 15];
    }
    return out;
  }
  OdbcConnection connection_;
};

TEST_F(NewTypes, VariantKeepsItsBaseType) {
  const auto v = Column("v");
  ASSERT_EQ(v.size(), 14u);
  const std::vector<std::optional<std::string>> expected = {
      "42", std::nullopt, "text", "2024-02-29 13:45:30.123", "12.5", "1.2500", "abc", "0102",
      "6F9619FF-8B86-D011-B42D-00C04FC964FF", "3.5", "12.345", "2024-02-29", "7", "x  "};
  EXPECT_EQ(v, expected);
}

TEST_F(NewTypes, DateTimeOffsetKeepsLocalTimeAndOffset) {
  const auto dto = Column("dto");
  EXPECT_EQ(dto[0], "2024-02-29 13:45:30.1234567 +05:30");
  EXPECT_FALSE(dto[1].has_value());
  EXPECT_EQ(Column("dto3")[0], "2024-02-29 23:45:30.123 -08:00");
}

TEST_F(NewTypes, XmlComesAsUnicodeText) {
  const auto x = Column("x");
  EXPECT_EQ(x[0], "<a b=\"1\">é</a>");
  EXPECT_FALSE(x[1].has_value());
}

TEST_F(NewTypes, HierarchyIdTravelsInItsBinaryForm) {
  // SQL Server's bytes for these paths, as a client reads them in hex.
  const std::vector<std::optional<std::string>> expected = {"5b40", std::nullopt, "",       "48",     "78",
                                                            "c110", "e02540",     "3f80",   "62c0",   "8630",
                                                            "f00088", "1bec64",   "e00440", "be"};
  // FreeTDS describes the CLR type as SQL_LONGVARBINARY and hands out its bytes.
  EXPECT_EQ(Column("h", SQL_C_BINARY), expected);
}

TEST_F(NewTypes, DescribedWithTheirTypes) {
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("Select v, dto, x, h from NewTypes"))) << s.Diagnostics();
  const SQLSMALLINT expected[] = {-150 /* SQL_SS_VARIANT */, -155 /* SQL_SS_TIMESTAMPOFFSET */, -152 /* SQL_SS_XML */,
                                  SQL_LONGVARBINARY /* how FreeTDS shows a CLR type */};
  for (SQLUSMALLINT i = 1; i <= 4; ++i) {
    SQLCHAR name[64];
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDescribeCol(s.get(), i, name, sizeof name, &length, &type, &size, &digits, &nullable)));
    EXPECT_EQ(type, expected[i - 1]) << name;
  }
}

TEST_F(NewTypes, ListedBySpColumns) {
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"NewTypes", SQL_NTS, nullptr, 0)));
  std::vector<std::string> rows;
  while (s.Fetch()) rows.push_back(*s.Text(4) + " " + *s.Text(5) + " " + *s.Text(6) + " " + s.Text(7).value_or("NULL"));
  const std::vector<std::string> expected = {"id 4 int 10", "v -150 sql_variant 8000", "dto -9 datetimeoffset 34",
                                             "dto3 -9 datetimeoffset 30", "x -10 xml 1073741823", "h -3 hierarchyid 892"};
  EXPECT_EQ(rows, expected);
}

TEST_F(NewTypes, BadValuesRefused) {
  OdbcStatement s(connection_);
  EXPECT_EQ(s.Execute("INSERT INTO NewTypes (id, h) VALUES (20, 'no/path')"), SQL_ERROR);
  EXPECT_EQ(s.DiagnosticRecords().at(0).native, 6522);
  EXPECT_EQ(s.Execute("INSERT INTO NewTypes (id, dto) VALUES (21, '2024-02-30 10:00 +01:00')"), SQL_ERROR);
  EXPECT_EQ(s.DiagnosticRecords().at(0).native, 241);
}

}  // namespace
}  // namespace standin_test
