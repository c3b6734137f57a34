// Column definitions and "Create Table" statements: every source type gets a
// destination type that holds all its values, names are quoted, and keys of
// several columns are kept whole.
#include "engine/type_mapping.h"

#include <gtest/gtest.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "engine/conversion_run.h"
#include "engine/sql_names.h"
#include "engine/table_creation.h"

namespace talvoro::engine {
namespace {

ColumnInfo Col(std::string name, SQLSMALLINT code, std::string typeName, SQLINTEGER size = 0,
               bool nullable = true, SQLSMALLINT digits = 0) {
  ColumnInfo c;
  c.tableName = "T";
  c.columnName = std::move(name);
  c.dataType = code;
  c.typeName = std::move(typeName);
  c.columnSize = size;
  c.decimalDigits = digits;
  c.isNullable = nullable ? "YES" : "NO";
  return c;
}

std::string Definition(const ColumnInfo& c, KeyRole role = KeyRole::None) {
  return BuildColumnDefinition(c, MapColumn(c), role);
}

struct MappingCase {
  ColumnInfo column;
  std::string definition;
  ValueKind kind;
};

TEST(TypeMapping, EverySourceTypeKeepsItsValues) {
  const MappingCase cases[] = {
      {Col("v", SQL_VARCHAR, "varchar", 50), "\"v\" varchar(50) NULL", ValueKind::Text},
      {Col("v", SQL_VARCHAR, "varchar", 1000), "\"v\" Memo  NULL", ValueKind::Text},
      {Col("v", SQL_VARCHAR, "varchar", 0), "\"v\" Memo  NULL", ValueKind::Text},  // (max)
      {Col("c", SQL_CHAR, "char", 10, false), "\"c\" char(10) NOT NULL", ValueKind::Text},
      {Col("c", SQL_CHAR, "char", 256), "\"c\" Memo  NULL", ValueKind::Text},
      {Col("u", SQL_VARCHAR, "PhoneType", 20), "\"u\" text (20) NULL", ValueKind::Text},
      {Col("n", SQL_WVARCHAR, "nvarchar", 255), "\"n\" VARCHAR(255) NULL", ValueKind::WideText},
      {Col("n", SQL_WVARCHAR, "nvarchar", 256), "\"n\" Memo  NULL", ValueKind::WideText},
      {Col("n", SQL_WVARCHAR, "nvarchar", 0), "\"n\" Memo  NULL", ValueKind::WideText},
      {Col("n", SQL_WCHAR, "nchar", 300), "\"n\" Memo  NULL", ValueKind::WideText},
      {Col("n", SQL_WCHAR, "nchar", 10), "\"n\" VARCHAR(10) NULL", ValueKind::WideText},
      {Col("t", SQL_WLONGVARCHAR, "ntext", 1073741823), "\"t\" Memo  NULL", ValueKind::WideText},
      {Col("t", SQL_LONGVARCHAR, "text", 2147483647), "\"t\" memo  NULL", ValueKind::Text},
      {Col("b", SQL_BIT, "bit", 1, false), "\"b\" bit  NOT NULL", ValueKind::Integer},
      {Col("b", SQL_BIT, "bit", 1, true), "\"b\" byte  NULL", ValueKind::Integer},
      {Col("t", SQL_TINYINT, "tinyint", 3), "\"t\" byte  NULL", ValueKind::Integer},
      {Col("s", SQL_SMALLINT, "smallint", 5), "\"s\" smallint  NULL", ValueKind::Integer},
      {Col("s", SQL_SMALLINT, "smallint identity", 5, false), "\"s\" smallint  NOT NULL",
       ValueKind::Integer},
      {Col("i", SQL_INTEGER, "int", 10), "\"i\" int  NULL", ValueKind::Integer},
      {Col("i", SQL_INTEGER, "int identity", 10, false), "\"i\" int  NOT NULL", ValueKind::Integer},
      {Col("g", SQL_BIGINT, "bigint", 19), "\"g\" DECIMAL(19,0)  NULL", ValueKind::Integer},
      {Col("d", SQL_DECIMAL, "decimal", 10, true, 2), "\"d\" DECIMAL(10,2)  NULL", ValueKind::Exact},
      {Col("d", SQL_DECIMAL, "decimal", 28, false, 10), "\"d\" DECIMAL(28,10)  NOT NULL",
       ValueKind::Exact},
      {Col("d", SQL_DECIMAL, "decimal", 38, true, 4), "\"d\" VARCHAR(40) NULL", ValueKind::Text},
      {Col("m", SQL_DECIMAL, "money", 19, true, 4), "\"m\" Money  NULL", ValueKind::Exact},
      {Col("m", SQL_DECIMAL, "smallmoney", 10, false, 4), "\"m\" Money  NOT NULL", ValueKind::Exact},
      {Col("n", SQL_NUMERIC, "numeric", 18, true, 0), "\"n\" DECIMAL(18,0)  ", ValueKind::Exact},
      {Col("n", SQL_NUMERIC, "numeric", 5, false, 2), "\"n\" DECIMAL(5,2)  NOT NULL",
       ValueKind::Exact},
      {Col("n", SQL_NUMERIC, "numeric", 30, true, 0), "\"n\" VARCHAR(32) NULL", ValueKind::Text},
      {Col("f", SQL_FLOAT, "float", 53), "\"f\" DOUBLE  NULL", ValueKind::Double},
      {Col("f", SQL_DOUBLE, "float", 53), "\"f\" DOUBLE  NULL", ValueKind::Double},
      {Col("r", SQL_REAL, "real", 24), "\"r\" REAL  NULL", ValueKind::Real},
      {Col("b", SQL_BINARY, "binary", 8), "\"b\" OLEObject  NULL", ValueKind::Binary},
      {Col("b", SQL_VARBINARY, "varbinary", 0), "\"b\" OLEObject  NULL", ValueKind::Binary},
      {Col("b", SQL_LONGVARBINARY, "image", 2147483647), "\"b\" OLEObject  NULL", ValueKind::Binary},
      {Col("b", SQL_BINARY, "timestamp", 8, false), "\"b\" OLEObject  NOT NULL", ValueKind::Binary},
      {Col("d", SQL_TYPE_TIMESTAMP, "datetime", 23, false), "\"d\" datetime  NOT NULL",
       ValueKind::DateTime},
      {Col("d", SQL_TYPE_TIMESTAMP, "smalldatetime", 16), "\"d\" datetime  NULL", ValueKind::DateTime},
      {Col("d", SQL_TYPE_TIMESTAMP, "datetime2", 27), "\"d\" datetime  NULL", ValueKind::DateTime},
      {Col("d", SQL_TYPE_DATE, "date", 10), "\"d\" datetime  NULL", ValueKind::DateText},
      {Col("d", SQL_WVARCHAR, "date", 10), "\"d\" datetime  NULL", ValueKind::DateText},
      {Col("d", SQL_TYPE_TIME, "time", 16), "\"d\" datetime  NULL", ValueKind::DateText},
      {Col("d", -155, "datetimeoffset", 34), "\"d\" VARCHAR(34) NULL", ValueKind::Text},
      {Col("g", SQL_GUID, "uniqueidentifier", 36), "\"g\" GUID  NULL", ValueKind::Guid},
      {Col("v", -150, "sql_variant", 8000), "\"v\" Memo  NULL", ValueKind::Text},
      {Col("x", -152, "xml", 0), "\"x\" Memo  NULL", ValueKind::WideText},
      {Col("h", -151, "hierarchyid", 892), "\"h\" Memo  NULL", ValueKind::Text},
  };
  for (const MappingCase& c : cases) {
    SCOPED_TRACE(c.column.typeName + " " + std::to_string(c.column.columnSize));
    EXPECT_EQ(Definition(c.column), c.definition);
    EXPECT_EQ(MapColumn(c.column).valueKind, c.kind);
  }
}

TEST(TypeMapping, KeyColumnNullability) {
  const std::pair<ColumnInfo, std::string> cases[] = {
      {Col("ID", SQL_INTEGER, "int identity", 10, false), "\"ID\" int PRIMARY KEY "},
      {Col("ID", SQL_TINYINT, "tinyint", 3, false), "\"ID\" byte PRIMARY KEY "},
      {Col("ID", SQL_BINARY, "binary", 8, false), "\"ID\" OLEObject PRIMARY KEY "},
      {Col("ID", SQL_VARCHAR, "varchar", 10, false), "\"ID\" varchar(10)PRIMARY KEY NOT NULL"},
      {Col("ID", SQL_NUMERIC, "numeric", 9, false), "\"ID\" DECIMAL(9,0) PRIMARY KEY NOT NULL"},
      {Col("ID", SQL_GUID, "uniqueidentifier", 36, false), "\"ID\" GUID PRIMARY KEY NOT NULL"},
  };
  for (const auto& [column, definition] : cases) {
    EXPECT_EQ(Definition(column, KeyRole::SingleKey), definition);
  }
  EXPECT_EQ(Definition(Col("A", SQL_INTEGER, "int", 10, false), KeyRole::KeyPart),
            "\"A\" int  NOT NULL");
}

TEST(TypeMapping, KeyRoleMatchesWholeNamesOnly) {
  const std::vector<std::string> one = {"AVeryLongPrimaryKeyColumnNameOfMoreThanThirty"};
  EXPECT_EQ(KeyRoleOf("AVeryLongPrimaryKeyColumnNameOfMoreThanThirty", one), KeyRole::SingleKey);
  EXPECT_EQ(KeyRoleOf("AVeryLongPrimaryKeyColumnNameOfMoreThanThirt", one), KeyRole::None);
  const std::vector<std::string> two = {"OrderID", "ProductID"};
  EXPECT_EQ(KeyRoleOf("OrderID", two), KeyRole::KeyPart);
  EXPECT_EQ(KeyRoleOf("ProductID", two), KeyRole::KeyPart);
  EXPECT_EQ(KeyRoleOf("orderid", two), KeyRole::None);
  EXPECT_EQ(KeyRoleOf("x", {}), KeyRole::None);
}

TEST(TypeMapping, KnownTypeNamesStandAsTheyAre) {
  EXPECT_EQ(SourceTypeText("varchar"), "varchar");
  EXPECT_EQ(SourceTypeText("VARCHAR"), "text ");
  EXPECT_EQ(SourceTypeText("PhoneType"), "text ");
}

// The statement of the Orders example, with ntext now Memo and the table name quoted.
TEST(CreateTable, OrdersExample) {
  const ColumnInfo columns[] = {
      Col("OrderID", SQL_INTEGER, "int identity", 10, false),
      Col("Customer", SQL_WVARCHAR, "nvarchar", 40, true),
      Col("Notes", SQL_WLONGVARCHAR, "ntext", 1073741823, true),
      Col("Placed", SQL_TYPE_TIMESTAMP, "datetime", 23, false),
  };
  const std::vector<std::string> keys = {"OrderID"};
  std::string statement = BeginCreateTable(DestinationTableName("Orders"));
  int count = 0;
  for (const ColumnInfo& c : columns) {
    BuildCreateTable(statement, BuildColumnDefinition(c, MapColumn(c), KeyRoleOf(c.columnName, keys)),
                     count, 4, PrimaryKeyConstraint(keys));
  }
  EXPECT_EQ(statement,
            "Create Table \"Orders\"(\"OrderID\" int PRIMARY KEY , \"Customer\" VARCHAR(40) NULL, "
            "\"Notes\" Memo  NULL, \"Placed\" datetime  NOT NULL)");
}

TEST(CreateTable, CompositeKeyIsATableConstraintInKeyOrder) {
  const std::vector<std::string> keys = {"ProductID", "OrderID"};  // key order, not column order
  const ColumnInfo columns[] = {
      Col("OrderID", SQL_INTEGER, "int", 10, false),
      Col("ProductID", SQL_INTEGER, "int", 10, false),
      Col("Quantity", SQL_SMALLINT, "smallint", 5, false),
  };
  std::string statement = BeginCreateTable("Order Details");
  int count = 0;
  for (const ColumnInfo& c : columns) {
    BuildCreateTable(statement, BuildColumnDefinition(c, MapColumn(c), KeyRoleOf(c.columnName, keys)),
                     count, 3, PrimaryKeyConstraint(keys));
  }
  EXPECT_EQ(statement,
            "Create Table \"Order Details\"(\"OrderID\" int  NOT NULL, \"ProductID\" int  NOT NULL, "
            "\"Quantity\" smallint  NOT NULL, PRIMARY KEY (\"ProductID\", \"OrderID\"))");
}

TEST(CreateTable, SingleColumnTable) {
  std::string statement = BeginCreateTable("T");
  int count = 0;
  BuildCreateTable(statement, "\"a\" int  NULL", count, 1);
  EXPECT_EQ(statement, "Create Table \"T\"(\"a\" int  NULL)");
  EXPECT_EQ(count, 1);
}

TEST(Names, QuotesAreDoubledInsideQuotedNames) {
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"Orders", "\"Orders\"", "[Orders]"},
      {"Order Details", "\"Order Details\"", "[Order Details]"},
      {"say \"hi\"", "\"say \"\"hi\"\"\"", "[say \"hi\"]"},
      {"a]b", "\"a]b\"", "[a]]b]"},
      {"it's", "\"it's\"", "[it's]"},
  };
  for (const auto& [name, destination, source] : cases) {
    EXPECT_EQ(QuoteDestinationName(name), destination);
    EXPECT_EQ(QuoteSourceName(name), source);
  }
  EXPECT_EQ(Definition(Col("My \"Col\"", SQL_INTEGER, "int", 10)), "\"My \"\"Col\"\"\" int  NULL");
  EXPECT_EQ(Definition(Col("long text", SQL_WVARCHAR, "nvarchar", 4000)), "\"long text\" Memo  NULL");
}

TEST(RunTexts, StatusAndTableNames) {
  EXPECT_EQ(ConvertingTableStatus("Orders"), "Converting....Tables   Orders");
  EXPECT_EQ(DestinationTableName("counter"), "countr");
  EXPECT_EQ(DestinationTableName("Counter"), "Counter");
  EXPECT_EQ(DestinationTableName("counters"), "counters");
}

// A source table quotes itself for T-SQL and names its Access table; dbo keeps the bare name.
TEST(RunTexts, SourceTablesKnowTheirSchema) {
  struct Case {
    odbc::SourceTable table;
    const char* display;
    const char* quoted;
    const char* destination;
  };
  const Case cases[] = {
      {{"dbo", "counter"}, "counter", "[dbo].[counter]", "countr"},
      {{"", "Orders"}, "Orders", "[Orders]", "Orders"},
      {{"DBO", "dot.name"}, "dot.name", "[DBO].[dot.name]", "dot.name"},
      {{"Sales", "Customer"}, "Sales.Customer", "[Sales].[Customer]", "Sales_Customer"},
      {{"Odd]Schema", "a]b"}, "Odd]Schema.a]b", "[Odd]]Schema].[a]]b]", "Odd]Schema_a]b"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.table.Display(), c.display);
    EXPECT_EQ(c.table.QuotedSql(), c.quoted);
    EXPECT_EQ(DestinationTableName(c.table), c.destination) << "made legal by the run, not here";
  }
}

TEST(RunTexts, CompletionTextNamesEachFailedTable) {
  ConversionResult all;
  all.tables.push_back({"A", "A", true, 3, true, "", false, {}, {}});
  EXPECT_EQ(CompletionText(all), "Database Conversion Compleated Successfully");

  ConversionResult some = all;
  some.tables.push_back({"B", "B", false, 0, false, "[42S01] table exists", false, {}, {}});
  some.tables.push_back({"C", "C", true, 10, false, "row 11 refused: [23000] duplicate key", false, {}, {}});
  some.tables.push_back({"D", "D", true, 4, false,
                         "the rows could not be saved: [HY000] disk full; the file holds 4 rows of this table", true, {}, {}});
  const std::string text = CompletionText(some);
  EXPECT_NE(text.find("\nB: [42S01] table exists"), std::string::npos) << text;
  EXPECT_NE(text.find("\nC: 10 rows copied, then row 11 refused"), std::string::npos) << text;
  EXPECT_NE(text.find("\nD: the rows could not be saved: [HY000] disk full; the file holds 4 rows"),
            std::string::npos) << text;
  EXPECT_EQ(text.find("\nA:"), std::string::npos) << text;
  EXPECT_EQ(some.Failed().size(), 3u);
}

}  // namespace
}  // namespace talvoro::engine
