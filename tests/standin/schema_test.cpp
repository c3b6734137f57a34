// The whole schema of a table as FreeTDS reads it: identity columns, defaults,
// keys, indexes and foreign keys through SQLColumns, SQLStatistics,
// SQLPrimaryKeys and SQLForeignKeys; foreign keys enforced with SQL Server's errors.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

using Row = std::vector<std::optional<std::string>>;

std::string Or(const std::optional<std::string>& v) { return v ? *v : "NULL"; }

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

// A generated constraint name without its hexadecimal tail: "PK__Products__" for
// "PK__Products__1A2B3C4D5E6F7A8B", so that expectations can name it.
std::string WithoutGeneratedTail(const std::string& field) {
  if (field.size() < 6 || field.compare(2, 2, "__") != 0) return field;
  const size_t last = field.rfind("__");
  if (last == 2 || field.find_first_not_of("0123456789ABCDEF", last + 2) != std::string::npos) return field;
  return field.substr(0, last + 2);
}

// Selected columns of every row, joined: "a|b|c".
std::vector<std::string> Project(const std::vector<Row>& rows, const std::vector<int>& columns) {
  std::vector<std::string> out;
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < columns.size(); ++i) line += (i ? "|" : "") + WithoutGeneratedTail(Or(row[columns[i] - 1]));
    out.push_back(line);
  }
  return out;
}

// A shop whose schema is declared in all the ways install scripts do it.
const char kShopScript[] = R"sql(
CREATE TABLE [dbo].[Customers] (
  [CustomerID] nchar(5) NOT NULL,
  [CompanyName] nvarchar(40) NOT NULL,
  [Country] nvarchar(15) NULL CONSTRAINT [DF_Customers_Country] DEFAULT (N'USA'),
  [Email] varchar(60) NULL,
  CONSTRAINT [PK_Customers] PRIMARY KEY CLUSTERED ([CustomerID] ASC)
    WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF) ON [PRIMARY],
  CONSTRAINT [UQ_Customers_Email] UNIQUE NONCLUSTERED ([Email])
) ON [PRIMARY]
GO
CREATE TABLE Products (
  ProductID int IDENTITY(1,1) NOT NULL PRIMARY KEY NONCLUSTERED,
  ProductName nvarchar(40) NOT NULL,
  UnitPrice money NULL DEFAULT 0,
  Discontinued bit NOT NULL DEFAULT ((0)),
  Category varchar(20) NOT NULL DEFAULT 'misc',
  AddedAt datetime NOT NULL DEFAULT (getdate())
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
CREATE UNIQUE CLUSTERED INDEX IX_Products_Name ON Products (ProductName)
CREATE INDEX IX_Products_Category_Price ON dbo.Products (Category ASC, UnitPrice DESC) WITH (FILLFACTOR = 90) ON [PRIMARY]
GO
CREATE TABLE Employees (
  EmployeeID int IDENTITY(1,1) NOT NULL,
  LastName nvarchar(20) NOT NULL,
  ReportsTo int NULL)
ALTER TABLE Employees ADD CONSTRAINT PK_Employees PRIMARY KEY (EmployeeID)
ALTER TABLE Employees ADD FOREIGN KEY (ReportsTo) REFERENCES Employees (EmployeeID)
GO
CREATE TABLE Orders (
  OrderID int IDENTITY(1,1) NOT NULL CONSTRAINT PK_Orders PRIMARY KEY,
  CustomerID nchar(5) NOT NULL,
  EmployeeID int NULL,
  OrderDate datetime NULL,
  Freight money NULL,
  CONSTRAINT FK_Orders_Customers FOREIGN KEY (CustomerID) REFERENCES dbo.Customers (CustomerID))
ALTER TABLE Orders WITH CHECK ADD CONSTRAINT FK_Orders_Employees FOREIGN KEY (EmployeeID) REFERENCES Employees
ALTER TABLE Orders ADD CONSTRAINT DF_Orders_Freight DEFAULT (0) FOR Freight
ALTER TABLE Orders ADD CONSTRAINT DF_Orders_OrderDate DEFAULT getdate() FOR OrderDate
GO
CREATE TABLE [Order Details] (
  OrderID int NOT NULL,
  ProductID int NOT NULL,
  Quantity smallint NOT NULL CONSTRAINT DF_Order_Details_Quantity DEFAULT (1),
  CONSTRAINT PK_Order_Details PRIMARY KEY (OrderID, ProductID))
ALTER TABLE [Order Details] ADD CONSTRAINT FK_Order_Details_Orders FOREIGN KEY (OrderID)
  REFERENCES Orders (OrderID) ON DELETE CASCADE ON UPDATE NO ACTION
ALTER TABLE [dbo].[Order Details] WITH NOCHECK ADD CONSTRAINT [FK_Order_Details_Products] FOREIGN KEY ([ProductID])
  REFERENCES [dbo].[Products] ([ProductID]) ON UPDATE CASCADE
CREATE NONCLUSTERED INDEX IX_Details_Product ON [Order Details] (ProductID DESC, Quantity)
GO
CREATE TABLE Shipments (
  OrderID int NOT NULL, ProductID int NOT NULL, Line int NOT NULL,
  PRIMARY KEY (OrderID, ProductID, Line),
  FOREIGN KEY (OrderID, ProductID) REFERENCES [Order Details] (OrderID, ProductID))
GO
INSERT INTO Customers (CustomerID, CompanyName, Email) VALUES (N'ALFKI', N'Alfreds', 'a@x'), (N'BONAP', N'Bon app''', NULL)
INSERT INTO Products (ProductName, UnitPrice) VALUES (N'Chai', 18), (N'Chang', 19)
INSERT INTO Employees (LastName) VALUES (N'Fuller')
INSERT INTO Employees (LastName, ReportsTo) VALUES (N'Davolio', 1)
INSERT INTO Orders (CustomerID, EmployeeID) VALUES (N'ALFKI', 2), (N'BONAP', 1)
INSERT INTO [Order Details] (OrderID, ProductID) VALUES (1, 1), (1, 2), (2, 2)
)sql";

class Schema : public testing::Test {
 protected:
  static std::string ShopConnectString() {
    static bool built = false;
    if (!built) {
      OdbcConnection master;
      if (!SQL_SUCCEEDED(master.Connect(SharedServer().ConnectString("master"))))
        throw std::runtime_error("cannot log on to the stand-in");
      OdbcStatement(master).Run("CREATE DATABASE shop");
      OdbcConnection shop;
      if (!SQL_SUCCEEDED(shop.Connect(SharedServer().ConnectString("shop")))) throw std::runtime_error("no shop");
      OdbcStatement script(shop);
      // One batch per GO, as a script runner sends them.
      const std::string text = kShopScript;
      size_t start = 0;
      for (size_t go; (go = text.find("\nGO\n", start)) != std::string::npos; start = go + 4)
        script.Run(text.substr(start, go - start));
      script.Run(text.substr(start));
      built = true;
    }
    return SharedServer().ConnectString("shop");
  }

  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(ShopConnectString())))
        << DescribeDiagnostics(SQL_HANDLE_DBC, connection_.dbc());
  }

  std::vector<Row> Statistics(const char* table, SQLUSMALLINT unique = SQL_INDEX_ALL) {
    OdbcStatement s(connection_);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLStatistics(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)table, SQL_NTS, unique, SQL_QUICK)))
        << s.Diagnostics();
    return ReadAll(s);
  }

  std::vector<Row> ForeignKeys(const char* pkTable, const char* fkTable) {
    OdbcStatement s(connection_);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLForeignKeys(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)pkTable, pkTable ? SQL_NTS : 0,
                                             nullptr, 0, nullptr, 0, (SQLCHAR*)fkTable, fkTable ? SQL_NTS : 0)))
        << s.Diagnostics();
    return ReadAll(s);
  }

  // Runs a statement that must fail; returns "native: text" of the first error.
  std::string Failure(const std::string& sql) {
    OdbcStatement s(connection_);
    SQLRETURN rc = s.Execute(sql);
    while (SQL_SUCCEEDED(rc)) rc = SQLMoreResults(s.get());
    if (rc != SQL_ERROR) return "no error";
    const auto records = s.DiagnosticRecords();
    if (records.empty()) return "no record";
    // Without the driver's "[FreeTDS][SQL Server]" prefix.
    const std::string& text = records[0].text;
    const size_t prefix = text.rfind("[SQL Server]");
    return std::to_string(records[0].native) + ": " + (prefix == std::string::npos ? text : text.substr(prefix + 12));
  }

  std::optional<std::string> Scalar(const std::string& sql) {
    OdbcStatement s(connection_);
    if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(s.Diagnostics());
    if (!s.Fetch()) return std::nullopt;
    return s.Text(1);
  }

  OdbcConnection connection_;
};

TEST_F(Schema, StatisticsColumnsAsSqlServerNamesThem) {
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLStatistics(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Products", SQL_NTS, SQL_INDEX_ALL,
                                          SQL_QUICK)));
  EXPECT_EQ(s.ColumnNames(),
            (std::vector<std::string>{"TABLE_CAT", "TABLE_SCHEM", "TABLE_NAME", "NON_UNIQUE", "INDEX_QUALIFIER",
                                      "INDEX_NAME", "TYPE", "ORDINAL_POSITION", "COLUMN_NAME", "ASC_OR_DESC",
                                      "CARDINALITY", "PAGES", "FILTER_CONDITION"}));
  const auto rows = ReadAll(s);
  ASSERT_FALSE(rows.empty());
  // The table's own row first: TYPE 0 (SQL_TABLE_STAT) with the row count.
  EXPECT_EQ(Project({rows[0]}, {1, 2, 3, 4, 6, 7, 11}), (std::vector<std::string>{"shop|dbo|Products|NULL|NULL|0|2"}));
}

struct StatisticsCase {
  const char* table;
  bool uniqueOnly;
  // NON_UNIQUE|INDEX_NAME|TYPE|ORDINAL_POSITION|COLUMN_NAME|ASC_OR_DESC of the index rows.
  std::vector<std::string> rows;
};

class StatisticsTest : public Schema, public testing::WithParamInterface<StatisticsCase> {};

TEST_P(StatisticsTest, ListsIndexesInOdbcOrder) {
  const auto& c = GetParam();
  auto rows = Statistics(c.table, c.uniqueOnly ? SQL_INDEX_UNIQUE : SQL_INDEX_ALL);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(Or(rows[0][6]), "0");
  rows.erase(rows.begin());
  EXPECT_EQ(Project(rows, {4, 6, 7, 8, 9, 10}), c.rows);
  for (const auto& row : rows) EXPECT_EQ(Or(row[4]), c.table) << "INDEX_QUALIFIER is the table";
}

INSTANTIATE_TEST_SUITE_P(
    Tables, StatisticsTest,
    testing::Values(
        StatisticsCase{"Customers", false, {"0|PK_Customers|1|1|CustomerID|A", "0|UQ_Customers_Email|3|1|Email|A"}},
        StatisticsCase{"Products", false,
                       {"0|IX_Products_Name|1|1|ProductName|A", "0|PK__Products__|3|1|ProductID|A",
                        "1|IX_Products_Category_Price|3|1|Category|A", "1|IX_Products_Category_Price|3|2|UnitPrice|D"}},
        StatisticsCase{"Products", true, {"0|IX_Products_Name|1|1|ProductName|A", "0|PK__Products__|3|1|ProductID|A"}},
        StatisticsCase{"Employees", false, {"0|PK_Employees|1|1|EmployeeID|A"}},
        StatisticsCase{"Order Details", false,
                       {"0|PK_Order_Details|1|1|OrderID|A", "0|PK_Order_Details|1|2|ProductID|A",
                        "1|IX_Details_Product|3|1|ProductID|D", "1|IX_Details_Product|3|2|Quantity|A"}},
        StatisticsCase{"Order Details", true, {"0|PK_Order_Details|1|1|OrderID|A", "0|PK_Order_Details|1|2|ProductID|A"}}),
    [](const testing::TestParamInfo<StatisticsCase>& info) {
      std::string name = std::string(info.param.table) + (info.param.uniqueOnly ? "_unique" : "_all");
      for (auto& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

// The generated primary key name needs its own check: SQL Server's pattern, not a fixed value.
TEST_F(Schema, GeneratedKeyNamesFollowSqlServersPattern) {
  const auto rows = Statistics("Products", SQL_INDEX_UNIQUE);
  ASSERT_EQ(rows.size(), 3u);
  const std::string pk = Or(rows[2][5]);
  EXPECT_EQ(pk.rfind("PK__Products__", 0), 0u) << pk;
  EXPECT_EQ(pk.size(), std::string("PK__Products__").size() + 16) << pk;
  EXPECT_EQ(Project({rows[2]}, {4, 7, 8, 9, 10}), (std::vector<std::string>{"0|3|1|ProductID|A"}))
      << "a primary key declared NONCLUSTERED is TYPE 3";
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrimaryKeys(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Products", SQL_NTS)));
  const auto keys = ReadAll(s);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(Or(keys[0][5]), pk);
}

struct ForeignKeyCase {
  const char* pkTable;
  const char* fkTable;
  // PKTABLE_NAME|PKCOLUMN_NAME|FKTABLE_NAME|FKCOLUMN_NAME|KEY_SEQ|UPDATE_RULE|DELETE_RULE|FK_NAME|PK_NAME|DEFERRABILITY
  std::vector<std::string> rows;
};

class ForeignKeysTest : public Schema, public testing::WithParamInterface<ForeignKeyCase> {};

TEST_P(ForeignKeysTest, ReportsKeysAndRules) {
  const auto& c = GetParam();
  const auto rows = ForeignKeys(c.pkTable, c.fkTable);
  for (const auto& row : rows) {
    EXPECT_EQ(Or(row[0]), "shop");
    EXPECT_EQ(Or(row[1]), "dbo");
    EXPECT_EQ(Or(row[4]), "shop");
  }
  EXPECT_EQ(Project(rows, {3, 4, 7, 8, 9, 10, 11, 12, 13, 14}), c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ForeignKeysTest,
    testing::Values(
        ForeignKeyCase{"Customers", nullptr, {"Customers|CustomerID|Orders|CustomerID|1|1|1|FK_Orders_Customers|PK_Customers|7"}},
        ForeignKeyCase{"Orders", nullptr,
                       {"Orders|OrderID|Order Details|OrderID|1|1|0|FK_Order_Details_Orders|PK_Orders|7"}},
        ForeignKeyCase{nullptr, "Order Details",
                       {"Orders|OrderID|Order Details|OrderID|1|1|0|FK_Order_Details_Orders|PK_Orders|7",
                        "Products|ProductID|Order Details|ProductID|1|0|1|FK_Order_Details_Products|PK__Products__|7"}},
        ForeignKeyCase{"Order Details", "Shipments",
                       {"Order Details|OrderID|Shipments|OrderID|1|1|1|FK__Shipments__Order__|PK_Order_Details|7",
                        "Order Details|ProductID|Shipments|ProductID|2|1|1|FK__Shipments__Order__|PK_Order_Details|7"}},
        ForeignKeyCase{"Employees", "Employees",
                       {"Employees|EmployeeID|Employees|ReportsTo|1|1|1|FK__Employees__Repor__|PK_Employees|7"}},
        ForeignKeyCase{"Shipments", nullptr, {}}),
    [](const testing::TestParamInfo<ForeignKeyCase>& info) {
      std::string name = std::string(info.param.pkTable ? info.param.pkTable : "any") + "_to_" +
                         (info.param.fkTable ? info.param.fkTable : "any");
      for (auto& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

struct ColumnCase {
  const char* table;
  const char* column;
  const char* typeName;
  const char* columnDef;  // "NULL" when none
};

class ColumnDefaultsTest : public Schema, public testing::WithParamInterface<ColumnCase> {};

TEST_P(ColumnDefaultsTest, ReportsTypeNameAndDefault) {
  const auto& c = GetParam();
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)c.table, SQL_NTS, (SQLCHAR*)c.column,
                                       SQL_NTS)))
      << s.Diagnostics();
  const auto rows = ReadAll(s);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(Or(rows[0][5]), c.typeName);
  EXPECT_EQ(Or(rows[0][12]), c.columnDef);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, ColumnDefaultsTest,
    testing::Values(ColumnCase{"Products", "ProductID", "int identity", "NULL"},
                    ColumnCase{"Products", "UnitPrice", "money", "((0))"},
                    ColumnCase{"Products", "Discontinued", "bit", "((0))"},
                    ColumnCase{"Products", "Category", "varchar", "('misc')"},
                    ColumnCase{"Products", "AddedAt", "datetime", "(getdate())"},
                    ColumnCase{"Customers", "Country", "nvarchar", "(N'USA')"},
                    ColumnCase{"Orders", "Freight", "money", "((0))"},
                    ColumnCase{"Orders", "OrderDate", "datetime", "(getdate())"},
                    ColumnCase{"Order Details", "Quantity", "smallint", "((1))"}),
    [](const testing::TestParamInfo<ColumnCase>& info) {
      std::string name = std::string(info.param.table) + "_" + info.param.column;
      for (auto& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

struct ErrorCase {
  const char* name;
  const char* sql;
  const char* error;  // "native: text"
};

class SchemaErrors : public Schema, public testing::WithParamInterface<ErrorCase> {};

// The whole message, or its start where it names a generated constraint.
TEST_P(SchemaErrors, ReportedLikeSqlServer) {
  const std::string actual = Failure(GetParam().sql);
  EXPECT_EQ(actual.substr(0, std::string(GetParam().error).size()), GetParam().error) << actual;
}

INSTANTIATE_TEST_SUITE_P(
    Statements, SchemaErrors,
    testing::Values(
        ErrorCase{"InsertWithoutParent", "INSERT INTO Orders (CustomerID) VALUES (N'NOONE')",
                  "547: The INSERT statement conflicted with the FOREIGN KEY constraint \"FK_Orders_Customers\". The conflict "
                  "occurred in database \"shop\", table \"dbo.Customers\", column 'CustomerID'."},
        ErrorCase{"UpdateWithoutParent", "UPDATE Orders SET EmployeeID = 99 WHERE OrderID = 1",
                  "547: The UPDATE statement conflicted with the FOREIGN KEY constraint \"FK_Orders_Employees\". The conflict "
                  "occurred in database \"shop\", table \"dbo.Employees\", column 'EmployeeID'."},
        ErrorCase{"DeleteReferencedRow", "DELETE FROM Customers WHERE CustomerID = N'ALFKI'",
                  "547: The DELETE statement conflicted with the REFERENCE constraint \"FK_Orders_Customers\". The conflict "
                  "occurred in database \"shop\", table \"dbo.Orders\", column 'CustomerID'."},
        ErrorCase{"CompositeWithoutParent", "INSERT INTO Shipments VALUES (2, 1, 1)",
                  "547: The INSERT statement conflicted with the FOREIGN KEY constraint \"" /* name generated */},
        ErrorCase{"UniqueIndex", "INSERT INTO Products (ProductName) VALUES (N'Chai')",
                  "2601: Cannot insert duplicate key row in object 'dbo.Products' with unique index 'IX_Products_Name'. The "
                  "duplicate key value is (Chai)."},
        ErrorCase{"UniqueConstraint", "INSERT INTO Customers (CustomerID, CompanyName, Email) VALUES (N'X', N'X', 'a@x')",
                  "2627: Violation of UNIQUE KEY constraint 'UQ_Customers_Email'. Cannot insert duplicate key in object "
                  "'dbo.Customers'. The duplicate key value is (a@x)."},
        ErrorCase{"PrimaryKey", "INSERT INTO Customers (CustomerID, CompanyName) VALUES (N'ALFKI', N'X')",
                  "2627: Violation of PRIMARY KEY constraint 'PK_Customers'. Cannot insert duplicate key in object "
                  "'dbo.Customers'. The duplicate key value is (ALFKI)."},
        ErrorCase{"UniqueIndexOnDuplicates", "CREATE UNIQUE INDEX IX_Dup ON [Order Details] (ProductID)",
                  "1505: The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object "
                  "name 'dbo.Order Details' and the index name 'IX_Dup'. The duplicate key value is (2)."},
        ErrorCase{"SecondClustered", "CREATE CLUSTERED INDEX IX_Two ON Products (Category)",
                  "1902: Cannot create more than one clustered index on table 'dbo.Products'. Drop the existing clustered "
                  "index 'IX_Products_Name' before creating another."},
        ErrorCase{"ExistingIndexName", "CREATE INDEX IX_Details_Product ON [Order Details] (Quantity)",
                  "1913: The operation failed because an index or statistics with name 'IX_Details_Product' already exists "
                  "on table 'dbo.Order Details'."},
        ErrorCase{"NoCandidateKey", "ALTER TABLE Orders ADD CONSTRAINT FK_Bad FOREIGN KEY (Freight) REFERENCES Products (UnitPrice)",
                  "1776: There are no primary or candidate keys in the referenced table 'Products' that match the "
                  "referencing column list in the foreign key 'FK_Bad'."},
        ErrorCase{"DropReferencedTable", "DROP TABLE Customers",
                  "3726: Could not drop object 'dbo.Customers' because it is referenced by a FOREIGN KEY constraint."},
        ErrorCase{"TruncateReferencedTable", "TRUNCATE TABLE Customers",
                  "4712: Cannot truncate table 'Customers' because it is being referenced by a FOREIGN KEY constraint."},
        ErrorCase{"DuplicateConstraintName", "CREATE TABLE Other (a int CONSTRAINT PK_Orders PRIMARY KEY)",
                  "2714: There is already an object named 'PK_Orders' in the database."},
        ErrorCase{"SelfCascade",
                  "ALTER TABLE Employees ADD CONSTRAINT FK_Cycle FOREIGN KEY (ReportsTo) REFERENCES Employees ON DELETE CASCADE",
                  "1785: Introducing FOREIGN KEY constraint 'FK_Cycle' on table 'Employees' may cause cycles or multiple "
                  "cascade paths. Specify ON DELETE NO ACTION or ON UPDATE NO ACTION, or modify other FOREIGN KEY "
                  "constraints."},
        ErrorCase{"SecondDefault", "ALTER TABLE Orders ADD CONSTRAINT DF_Again DEFAULT (1) FOR Freight",
                  "1781: Column already has a DEFAULT bound to it."},
        ErrorCase{"DropKeyInUse", "ALTER TABLE Customers DROP CONSTRAINT PK_Customers",
                  "3725: The constraint 'PK_Customers' is being referenced by table 'Orders', foreign key constraint "
                  "'FK_Orders_Customers'."}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

TEST_F(Schema, CascadesAndNoCheckBehaveAsOnSqlServer) {
  OdbcStatement s(connection_);
  s.Run("CREATE TABLE Parent (id int PRIMARY KEY)");
  s.Run("CREATE TABLE Child (id int PRIMARY KEY, parent int)");
  s.Run("INSERT INTO Parent VALUES (1), (2)");
  s.Run("INSERT INTO Child VALUES (10, 1), (11, 1), (12, 2), (13, 99)");
  // WITH NOCHECK leaves the orphan alone, yet checks rows written later.
  s.Run("ALTER TABLE Child WITH NOCHECK ADD CONSTRAINT FK_Child_Parent FOREIGN KEY (parent) REFERENCES Parent (id) "
        "ON DELETE CASCADE ON UPDATE CASCADE");
  EXPECT_EQ(Failure("INSERT INTO Child VALUES (14, 98)").substr(0, 4), "547:");
  s.Run("DELETE FROM Parent WHERE id = 1");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Child"), "2") << "children of the deleted parent go with it";
  s.Run("UPDATE Parent SET id = 3 WHERE id = 2");
  EXPECT_EQ(Scalar("SELECT parent FROM Child WHERE id = 12"), "3") << "the new key reaches the child";
  // A disabled key checks nothing until it is enabled again.
  s.Run("ALTER TABLE Child NOCHECK CONSTRAINT FK_Child_Parent");
  s.Run("INSERT INTO Child VALUES (15, 97)");
  s.Run("ALTER TABLE Child CHECK CONSTRAINT FK_Child_Parent");
  EXPECT_EQ(Failure("INSERT INTO Child VALUES (16, 96)").substr(0, 4), "547:");
  EXPECT_EQ(Failure("ALTER TABLE Child WITH CHECK CHECK CONSTRAINT ALL").substr(0, 4), "547:")
      << "checking the rows finds the orphans";
  s.Run("ALTER TABLE Child DROP CONSTRAINT FK_Child_Parent");
  s.Run("DROP TABLE Parent");
  EXPECT_TRUE(ForeignKeys(nullptr, "Child").empty());
  s.Run("DROP TABLE Child");
}

TEST_F(Schema, AlterTableAddsAndDropsColumnsAndIndexes) {
  OdbcStatement s(connection_);
  s.Run("CREATE TABLE Grow (id int NOT NULL, name varchar(10) NULL)");
  s.Run("INSERT INTO Grow VALUES (1, 'a'), (2, 'b')");
  s.Run("ALTER TABLE Grow ADD flag bit NOT NULL CONSTRAINT DF_Grow_flag DEFAULT (1), note nvarchar(20) NULL");
  EXPECT_EQ(Scalar("SELECT SUM(CAST(flag AS int)) FROM Grow"), "2") << "rows present get the default";
  EXPECT_EQ(Failure("ALTER TABLE Grow ADD must int NOT NULL").substr(0, 5), "4901:");
  s.Run("ALTER TABLE Grow ADD CONSTRAINT PK_Grow PRIMARY KEY CLUSTERED (id)");
  s.Run("CREATE INDEX IX_Grow_Name ON Grow (name DESC)");
  // A filtered unique index is listed but does not refuse the rows its filter leaves out.
  s.Run("CREATE UNIQUE INDEX IX_Grow_Note ON Grow (note) WHERE id > 10 WITH (ONLINE = OFF)");
  s.Run("INSERT INTO Grow (id, name, note) VALUES (3, 'c', N'same'), (4, 'd', N'same')");
  EXPECT_EQ(Statistics("Grow", SQL_INDEX_UNIQUE).size(), 3u);
  s.Run("DROP INDEX IX_Grow_Note ON Grow");
  s.Run("DELETE FROM Grow WHERE id > 2");
  const auto stats = Statistics("Grow");
  ASSERT_EQ(stats.size(), 3u);
  EXPECT_EQ(Project({stats[1], stats[2]}, {4, 6, 7, 9, 10}),
            (std::vector<std::string>{"0|PK_Grow|1|id|A", "1|IX_Grow_Name|3|name|D"}));
  EXPECT_EQ(Failure("ALTER TABLE Grow DROP COLUMN name"), "5074: The object 'IX_Grow_Name' is dependent on column 'name'.");
  s.Run("DROP INDEX IX_Grow_Name ON Grow");
  s.Run("DROP INDEX IF EXISTS Grow.IX_Grow_Name");
  s.Run("ALTER TABLE Grow DROP COLUMN name");
  EXPECT_EQ(Failure("ALTER TABLE Grow ALTER COLUMN note nvarchar(40) NOT NULL").substr(0, 4), "515:");
  s.Run("UPDATE Grow SET note = N'n'");
  s.Run("ALTER TABLE Grow ALTER COLUMN note nvarchar(40) NOT NULL");
  OdbcStatement columns(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(columns.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Grow", SQL_NTS, nullptr, 0)));
  EXPECT_EQ(Project(ReadAll(columns), {4, 6, 7, 11, 13, 17}),
            (std::vector<std::string>{"id|int|10|0|NULL|1", "flag|bit|1|0|((1))|2", "note|nvarchar|40|0|NULL|3"}));
  EXPECT_EQ(Failure("ALTER TABLE Grow DROP CONSTRAINT NoSuch"), "3728: 'NoSuch' is not a constraint.");
  s.Run("ALTER TABLE Grow DROP CONSTRAINT DF_Grow_flag, PK_Grow");
  EXPECT_EQ(Statistics("Grow").size(), 1u);
}

TEST_F(Schema, CatalogOfAnotherDatabase) {
  // FreeTDS sends "[fixture]..sp_columns" for a catalog argument.
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(s.get(), (SQLCHAR*)"fixture", SQL_NTS, nullptr, 0, (SQLCHAR*)"Customers", SQL_NTS,
                                       (SQLCHAR*)"City", SQL_NTS)))
      << s.Diagnostics();
  EXPECT_EQ(Project(ReadAll(s), {1, 3, 4, 13}), (std::vector<std::string>{"fixture|Customers|City|('Paris')"}));
  s.Close();
  // SQLPrimaryKeys sends a plain sp_pkeys, which refuses another database as SQL Server's does.
  EXPECT_EQ(SQLPrimaryKeys(s.get(), (SQLCHAR*)"fixture", SQL_NTS, nullptr, 0, (SQLCHAR*)"Order Details", SQL_NTS), SQL_ERROR);
  ASSERT_FALSE(s.DiagnosticRecords().empty());
  EXPECT_EQ(s.DiagnosticRecords()[0].native, 15250);
  s.Close();
  EXPECT_EQ(SQLColumns(s.get(), (SQLCHAR*)"nosuchdb", SQL_NTS, nullptr, 0, (SQLCHAR*)"T", SQL_NTS, nullptr, 0), SQL_ERROR);
  const auto records = s.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, 911);
  s.Close();
  // A catalog pattern goes to sp_tableswc: tables of every database that matches.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLTables(s.get(), (SQLCHAR*)"%o%", SQL_NTS, nullptr, 0, (SQLCHAR*)"Customers", SQL_NTS,
                                      (SQLCHAR*)"TABLE", SQL_NTS)))
      << s.Diagnostics();
  EXPECT_EQ(Project(ReadAll(s), {1, 3}), (std::vector<std::string>{"shop|Customers"}));
}

}  // namespace
}  // namespace standin_test
