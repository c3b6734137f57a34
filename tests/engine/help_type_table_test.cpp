// The help's table of types says what the type mapping really does: each row is
// checked against MapColumn for the source types it names.
#include <gtest/gtest.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <fstream>
#include <iterator>
#include <map>
#include <regex>

#include "engine/type_mapping.h"

namespace talvoro::engine {
namespace {

// The rows of the help's type table: source cell -> Access cell.
std::map<std::string, std::string> HelpTypeRows() {
  std::ifstream in(TALVORO_HELP_FILE);
  const std::string html((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::map<std::string, std::string> rows;
  const std::regex row("<tr><td>([^<]*)</td><td>([^<]*)</td></tr>");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), row); it != std::sregex_iterator(); ++it)
    rows[(*it)[1]] = (*it)[2];
  return rows;
}

ColumnInfo Col(SQLSMALLINT code, std::string typeName, SQLINTEGER size = 0, bool nullable = true,
               SQLSMALLINT digits = 0) {
  ColumnInfo c;
  c.columnName = "c";
  c.dataType = code;
  c.typeName = std::move(typeName);
  c.columnSize = size;
  c.decimalDigits = digits;
  c.isNullable = nullable ? "YES" : "NO";
  return c;
}

TEST(HelpTypeTable, EveryRowMatchesTheMapping) {
  struct Case {
    ColumnInfo column;
    std::string helpSource;  // the row's first cell
    std::string helpAccess;  // the row's second cell
    std::string typeText;    // what the mapping sends to the Access driver
  };
  const std::string shortText = "char, varchar, nchar, nvarchar (up to 255 characters)";
  const std::string longText =
      "char, varchar, nchar, nvarchar (longer, or max), text, ntext, xml, sql_variant";
  const Case cases[] = {
      {Col(SQL_VARCHAR, "varchar", 40), shortText, "Text of the same length", "varchar"},
      {Col(SQL_WVARCHAR, "nvarchar", 255), shortText, "Text of the same length", "VARCHAR"},
      {Col(SQL_WVARCHAR, "nvarchar", 0), longText, "Memo", "Memo"},
      {Col(SQL_VARCHAR, "varchar", 256), longText, "Memo", "Memo"},
      {Col(SQL_LONGVARCHAR, "text"), longText, "Memo", "memo"},
      {Col(SQL_WLONGVARCHAR, "ntext"), longText, "Memo", "Memo"},
      {Col(SQL_WLONGVARCHAR, "xml"), longText, "Memo", "Memo"},
      {Col(SQL_TINYINT, "tinyint"), "tinyint", "Byte", "byte"},
      {Col(SQL_SMALLINT, "smallint"), "smallint", "Integer", "smallint"},
      {Col(SQL_INTEGER, "int"), "int", "Long Integer", "int"},
      {Col(SQL_BIGINT, "bigint"), "bigint", "Decimal (19 digits), so no value is lost", "DECIMAL(19,0)"},
      {Col(SQL_DECIMAL, "decimal", 28, true, 4), "decimal, numeric (up to 28 digits)",
       "Decimal of the same precision and scale", "DECIMAL(28,4)"},
      {Col(SQL_NUMERIC, "numeric", 38, true, 2), "decimal, numeric (more than 28 digits)",
       "Text holding the exact digits", "VARCHAR"},
      {Col(SQL_DECIMAL, "money", 19, true, 4), "money, smallmoney", "Currency", "Money"},
      {Col(SQL_FLOAT, "float", 53), "float", "Double", "DOUBLE"},
      {Col(SQL_REAL, "real", 24), "real", "Single", "REAL"},
      {Col(SQL_BIT, "bit", 1, false), "bit NOT NULL", "Yes/No", "bit"},
      {Col(SQL_BIT, "bit", 1, true), "bit NULL",
       "Byte (0 or 1; NULL stays NULL, which Yes/No cannot hold)", "byte"},
      {Col(SQL_TYPE_TIMESTAMP, "datetime"), "datetime, smalldatetime, datetime2, date, time",
       "Date/Time", "datetime"},
      {Col(SQL_TYPE_DATE, "date"), "datetime, smalldatetime, datetime2, date, time", "Date/Time",
       "datetime"},
      {Col(SQL_WVARCHAR, "datetimeoffset", 34), "datetimeoffset",
       "Text (the value with its offset, e.g. 2024-05-01 10:00:00.0000000 +02:00)", "VARCHAR"},
      {Col(SQL_GUID, "uniqueidentifier"), "uniqueidentifier", "Replication ID (GUID)", "GUID"},
      {Col(SQL_BINARY, "timestamp", 8), "binary, varbinary, image, timestamp",
       "OLE Object (the bytes unchanged)", "OLEObject"},
      {Col(SQL_LONGVARBINARY, "image"), "binary, varbinary, image, timestamp",
       "OLE Object (the bytes unchanged)", "OLEObject"},
      {Col(-151, "hierarchyid"), "any other type", "Memo (its text form)", "Memo"},
  };
  const std::map<std::string, std::string> rows = HelpTypeRows();
  ASSERT_FALSE(rows.empty()) << "no type table in " << TALVORO_HELP_FILE;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column.typeName + " " + c.column.isNullable);
    EXPECT_EQ(MapColumn(c.column).typeText, c.typeText);
    const auto row = rows.find(c.helpSource);
    ASSERT_NE(row, rows.end()) << "the help has no row for " << c.helpSource;
    EXPECT_EQ(row->second, c.helpAccess);
  }
}

}  // namespace
}  // namespace talvoro::engine
