// SQLTables, SQLColumns and SQLPrimaryKeys through FreeTDS, in ODBC 3 and ODBC 2.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

using Row = std::vector<std::optional<std::string>>;

std::vector<Row> ReadAll(OdbcStatement& s) {
  SQLSMALLINT columns = 0;
  SQLNumResultCols(s.get(), &columns);
  std::vector<Row> rows;
  while (s.Fetch()) {
    Row row;
    for (SQLSMALLINT i = 1; i <= columns; ++i) row.push_back(s.Text(i));
    rows.push_back(row);
  }
  return rows;
}

std::string Or(const std::optional<std::string>& v) { return v ? *v : "NULL"; }

TEST(Catalog, TablesListsTablesViewsAndSystemTables) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLTables(s.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0))) << s.Diagnostics();
  EXPECT_EQ(s.ColumnNames(), (std::vector<std::string>{"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "TABLE_TYPE", "REMARKS"}));
  std::map<std::string, std::string> typeByName;
  for (const auto& row : ReadAll(s)) {
    EXPECT_EQ(Or(row[0]), "fixture");
    typeByName[Or(row[2])] = Or(row[3]);
  }
  EXPECT_EQ(typeByName["AllTypes"], "TABLE");
  EXPECT_EQ(typeByName["Customers"], "TABLE");
  EXPECT_EQ(typeByName["Order Details"], "TABLE");
  EXPECT_EQ(typeByName["CustomerNames"], "VIEW");
  EXPECT_EQ(typeByName["trace_xe_action_map"], "SYSTEM TABLE");
  EXPECT_EQ(typeByName.count("standin_objects"), 0u) << "storage tables must stay hidden";
}

TEST(Catalog, TablesRestrictedToType) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLTables(s.get(), nullptr, 0, nullptr, 0, nullptr, 0, (SQLCHAR*)"VIEW", SQL_NTS)));
  const auto rows = ReadAll(s);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Or(rows[0][2]), "CustomerNames");
}

// Expected SQLColumns values: DATA_TYPE, TYPE_NAME, COLUMN_SIZE, BUFFER_LENGTH,
// DECIMAL_DIGITS, NUM_PREC_RADIX, NULLABLE, COLUMN_DEF, SQL_DATA_TYPE,
// SQL_DATETIME_SUB, CHAR_OCTET_LENGTH, IS_NULLABLE.
struct ColumnCase {
  const char* table;
  const char* column;
  int odbcVersion;
  std::vector<const char*> values;
};

class ColumnsTest : public testing::TestWithParam<ColumnCase> {};

std::map<std::pair<std::string, std::string>, Row> ColumnRows(int odbcVersion, const char* table) {
  OdbcConnection c(odbcVersion == 3 ? SQL_OV_ODBC3 : SQL_OV_ODBC2);
  if (!SQL_SUCCEEDED(c.Connect(FixtureConnectString()))) throw std::runtime_error("connect failed");
  OdbcStatement s(c);
  const SQLRETURN rc = table ? SQLColumns(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)table, SQL_NTS, nullptr, 0)
                             : SQLColumns(s.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
  if (!SQL_SUCCEEDED(rc)) throw std::runtime_error(s.Diagnostics());
  std::map<std::pair<std::string, std::string>, Row> rows;
  for (auto& row : ReadAll(s)) rows[{Or(row[2]), Or(row[3])}] = row;
  return rows;
}

TEST_P(ColumnsTest, ReportsSqlServerValues) {
  const ColumnCase& c = GetParam();
  for (const char* restriction : {static_cast<const char*>(nullptr), c.table}) {
    const auto rows = ColumnRows(c.odbcVersion, restriction);
    const auto it = rows.find({c.table, c.column});
    ASSERT_NE(it, rows.end()) << c.column << (restriction ? " (restricted)" : " (unrestricted)");
    const Row& row = it->second;
    const int resultColumns[] = {5, 6, 7, 8, 9, 10, 11, 13, 14, 15, 16, 18};
    for (size_t k = 0; k < c.values.size(); ++k)
      EXPECT_EQ(Or(row[resultColumns[k] - 1]), c.values[k]) << c.column << " result column " << resultColumns[k];
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, ColumnsTest,
    testing::Values(
        ColumnCase{"Customers", "CustomerID", 3, {"4", "int identity", "10", "4", "0", "10", "0", "NULL", "4", "NULL", "NULL", "NO"}},
        ColumnCase{"Customers", "Name", 3, {"-9", "nvarchar", "40", "80", "NULL", "NULL", "0", "NULL", "-9", "NULL", "80", "NO"}},
        ColumnCase{"Customers", "City", 3, {"12", "varchar", "30", "30", "NULL", "NULL", "1", "('Paris')", "12", "NULL", "30", "YES"}},
        ColumnCase{"Customers", "Balance", 3, {"3", "money", "19", "21", "4", "10", "1", "((0))", "3", "NULL", "NULL", "YES"}},
        ColumnCase{"Customers", "Created", 3, {"93", "datetime", "23", "16", "3", "NULL", "1", "(getdate())", "9", "3", "NULL", "YES"}},
        ColumnCase{"Customers", "Created", 2, {"11", "datetime", "23", "16", "3", "NULL", "1", "(getdate())", "9", "3", "NULL", "YES"}},
        ColumnCase{"AllTypes", "c_float", 3, {"6", "float", "53", "8", "NULL", "2"}},
        ColumnCase{"AllTypes", "c_float", 2, {"6", "float", "15", "8", "NULL", "10"}},
        ColumnCase{"AllTypes", "c_real", 3, {"7", "real", "24", "4", "NULL", "2"}},
        ColumnCase{"AllTypes", "c_decimal", 3, {"3", "decimal", "10", "12", "2", "10"}},
        ColumnCase{"AllTypes", "c_numeric", 3, {"2", "numeric", "18", "20", "0", "10"}},
        ColumnCase{"AllTypes", "c_smallmoney", 3, {"3", "smallmoney", "10", "12", "4", "10"}},
        ColumnCase{"AllTypes", "c_bit", 3, {"-7", "bit", "1", "1", "0", "NULL"}},
        ColumnCase{"AllTypes", "c_tinyint", 3, {"-6", "tinyint", "3", "1", "0", "10"}},
        ColumnCase{"AllTypes", "c_bigint", 3, {"-5", "bigint", "19", "8", "0", "10"}},
        ColumnCase{"AllTypes", "c_char", 3, {"1", "char", "10", "10", "NULL", "NULL", "1", "NULL", "1", "NULL", "10", "YES"}},
        ColumnCase{"AllTypes", "c_nchar", 3, {"-8", "nchar", "10", "20"}},
        ColumnCase{"AllTypes", "c_text", 3, {"-1", "text", "2147483647", "2147483647"}},
        ColumnCase{"AllTypes", "c_ntext", 3, {"-10", "ntext", "1073741823", "2147483646"}},
        ColumnCase{"AllTypes", "c_binary", 3, {"-2", "binary", "4", "4"}},
        ColumnCase{"AllTypes", "c_varbinary", 3, {"-3", "varbinary", "8", "8"}},
        ColumnCase{"AllTypes", "c_image", 3, {"-4", "image", "2147483647", "2147483647"}},
        ColumnCase{"AllTypes", "c_timestamp", 3, {"-2", "timestamp", "8", "8", "NULL", "NULL", "0", "NULL", "-2", "NULL", "8", "NO"}},
        ColumnCase{"AllTypes", "c_guid", 3, {"-11", "uniqueidentifier", "36", "16"}},
        ColumnCase{"AllTypes", "c_nvarchar_max", 3, {"-10", "nvarchar", "1073741823", "2147483646"}},
        ColumnCase{"AllTypes", "c_smalldatetime", 3, {"93", "smalldatetime", "16", "16", "0"}},
        ColumnCase{"AllTypes", "id", 3, {"4", "int", "10", "4", "0", "10", "0", "NULL", "4", "NULL", "NULL", "NO"}},
        ColumnCase{"Order Details", "Quantity", 3, {"5", "smallint", "5", "2", "0", "10", "0", "((1))"}},
        ColumnCase{"CustomerNames", "Name", 3, {"-9", "nvarchar", "40", "80"}}),
    [](const testing::TestParamInfo<ColumnCase>& info) {
      std::string name = std::string(info.param.table) + "_" + info.param.column + "_odbc" +
                         std::to_string(info.param.odbcVersion);
      for (auto& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

TEST(Catalog, ColumnsComeInCatalogOrder) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(s.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)));
  std::vector<std::tuple<std::string, int>> order;
  for (const auto& row : ReadAll(s)) order.emplace_back(Or(row[2]), std::stoi(Or(row[16])));
  ASSERT_FALSE(order.empty());
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), [](const auto& a, const auto& b) {
    const int byName = strcasecmp(std::get<0>(a).c_str(), std::get<0>(b).c_str());
    return byName != 0 ? byName < 0 : std::get<1>(a) < std::get<1>(b);
  }));
}

TEST(Catalog, PrimaryKeysOrderedByKeySeq) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  // The key is (OrderID, ProductID) although ProductID comes first in the table.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrimaryKeys(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Order Details", SQL_NTS)))
      << s.Diagnostics();
  const auto rows = ReadAll(s);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Or(rows[0][3]), "OrderID");
  EXPECT_EQ(Or(rows[0][4]), "1");
  EXPECT_EQ(Or(rows[1][3]), "ProductID");
  EXPECT_EQ(Or(rows[1][4]), "2");
  EXPECT_EQ(Or(rows[1][5]), "PK_Order_Details");

  s.Close();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrimaryKeys(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"CustomerNames", SQL_NTS)));
  EXPECT_TRUE(ReadAll(s).empty()) << "a view has no key";
}

}  // namespace
}  // namespace standin_test
