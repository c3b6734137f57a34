// Install scripts in the style of published sample databases load unmodified:
// hundreds of GO batches, comments, mixed quoting, alias types, IF EXISTS ...
// DROP guards, variables and loops, identity inserts, constraints added after
// the tables, stored modules; then the catalog shows what they built.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

constexpr int kProducts = 120;
constexpr int kOrders = 300;  // one GO batch each

std::string TradeScript() {
  std::ostringstream s;
  s << R"sql(/*
 * Northwind-style sample database, written the way published install scripts are:
 * guards before every object, alias types, constraints added after the tables.
 */
SET NOCOUNT ON
GO
USE [master]
GO
IF EXISTS (SELECT name FROM sys.databases WHERE name = N'Trade')
  DROP DATABASE [Trade]
GO
CREATE DATABASE [Trade] ON PRIMARY
( NAME = N'Trade', FILENAME = N'C:\Data\Trade.mdf' , SIZE = 3072KB , FILEGROWTH = 1024KB )
 LOG ON ( NAME = N'Trade_log', FILENAME = N'C:\Data\Trade_log.ldf' , SIZE = 1024KB , FILEGROWTH = 10%)
 COLLATE SQL_Latin1_General_CP1_CI_AS
GO
ALTER DATABASE [Trade] SET COMPATIBILITY_LEVEL = 100
GO
IF EXISTS (SELECT * FROM sysobjects WHERE id = OBJECT_ID(N'dbo.Order Lines') AND OBJECTPROPERTY(id, N'IsUserTable') = 1)
  DROP TABLE [dbo].[Order Lines]
GO
USE "Trade"
GO
PRINT 'Creating types...'
GO
EXEC sp_addtype N'ShortName', N'nvarchar(40)', N'NOT NULL'
EXEC sp_addtype Phone, 'varchar(24)', 'NULL'
GO
CREATE TYPE [dbo].[Flag] FROM [bit] NOT NULL
GO
IF OBJECT_ID('dbo.Suppliers', 'U') IS NOT NULL DROP TABLE dbo.Suppliers
GO
CREATE TABLE [dbo].[Suppliers](
	[SupplierID] [int] IDENTITY(1,1) NOT NULL,
	[CompanyName] [ShortName],
	[Phone] [Phone] NULL,
	[Active] [Flag] CONSTRAINT [DF_Suppliers_Active] DEFAULT ((1)),
 CONSTRAINT [PK_Suppliers] PRIMARY KEY CLUSTERED
(
	[SupplierID] ASC
)WITH (PAD_INDEX = OFF, STATISTICS_NORECOMPUTE = OFF, IGNORE_DUP_KEY = OFF, ALLOW_ROW_LOCKS = ON, ALLOW_PAGE_LOCKS = ON) ON [PRIMARY]
) ON [PRIMARY]
GO
CREATE TABLE "Goods" (
  "GoodID" int IDENTITY (1, 1) NOT NULL ,
  "Name" ShortName ,
  "SupplierID" int NULL ,
  "Price" money NULL CONSTRAINT "DF_Goods_Price" DEFAULT (0),
  "Notes" ntext NULL
) ON [PRIMARY] TEXTIMAGE_ON [PRIMARY]
GO
CREATE TABLE [Orders] (
	[OrderID] [int] IDENTITY (10248, 1) NOT NULL ,
	[OrderDate] [datetime] NULL ,
	[Freight] [money] NULL ,
	[ShipName] [nvarchar] (40) NULL
) ON [PRIMARY]
GO
CREATE TABLE [dbo].[Order Lines] (
	[OrderID] [int] NOT NULL ,
	[GoodID] [int] NOT NULL ,
	[UnitPrice] [money] NOT NULL ,
	[Quantity] [smallint] NOT NULL
) ON [PRIMARY]
GO
ALTER TABLE [dbo].[Goods] WITH NOCHECK ADD
	CONSTRAINT [PK_Goods] PRIMARY KEY  CLUSTERED ( [GoodID] )  ON [PRIMARY]
GO
ALTER TABLE Orders ADD CONSTRAINT PK_Orders PRIMARY KEY (OrderID)
ALTER TABLE [Order Lines] ADD CONSTRAINT [PK_Order_Lines] PRIMARY KEY ([OrderID], [GoodID])
GO
ALTER TABLE [dbo].[Orders] ADD CONSTRAINT [DF_Orders_Freight] DEFAULT (0) FOR [Freight]
GO
-- Rows with their own identity values.
SET IDENTITY_INSERT [dbo].[Suppliers] ON
GO
INSERT [dbo].[Suppliers] ([SupplierID], [CompanyName], [Phone]) VALUES (1, N'Exotic Liquids', N'(171) 555-2222')
INSERT "Suppliers" ("SupplierID", "CompanyName", "Phone", "Active") VALUES (2, 'New Orleans Cajun Delights', NULL, 0)
GO
SET IDENTITY_INSERT [dbo].[Suppliers] OFF
GO
)sql";
  s << "SET IDENTITY_INSERT Goods ON\nGO\n";
  for (int i = 1; i <= kProducts; ++i) {
    s << "INSERT INTO Goods (GoodID, Name, SupplierID, Price, Notes) VALUES (" << i << ", N'Good " << i << "', "
      << 1 + i % 2 << ", $" << i << "." << (i % 100 < 10 ? "0" : "") << i % 100 << ", "
      << (i % 10 == 0 ? "NULL" : "N'Note for good " + std::to_string(i) + "'") << ")\n";
    if (i % 40 == 0) s << "GO\n";
  }
  s << "SET IDENTITY_INSERT Goods OFF\nGO\n";
  for (int i = 0; i < kOrders; ++i) {
    s << "-- order " << i << "\nINSERT INTO Orders (OrderDate, ShipName) VALUES ('1996-07-" << 10 + i % 20
      << "', N'Ship " << i << "')\nINSERT [Order Lines] VALUES (" << 10248 + i << ", " << 1 + i % kProducts << ", $"
      << 10 + i % 7 << ".50, " << 1 + i % 12 << ")\nGO\n";
  }
  s << R"sql(ALTER TABLE [dbo].[Goods] ADD
	CONSTRAINT [FK_Goods_Suppliers] FOREIGN KEY
	(
		[SupplierID]
	) REFERENCES [dbo].[Suppliers] (
		[SupplierID]
	)
GO
ALTER TABLE [dbo].[Order Lines] WITH CHECK ADD CONSTRAINT [FK_Order_Lines_Orders] FOREIGN KEY([OrderID])
REFERENCES [dbo].[Orders] ([OrderID]) ON DELETE CASCADE
GO
ALTER TABLE [dbo].[Order Lines] CHECK CONSTRAINT [FK_Order_Lines_Orders]
GO
ALTER TABLE [Order Lines] ADD CONSTRAINT [FK_Order_Lines_Goods] FOREIGN KEY ([GoodID]) REFERENCES [Goods] ([GoodID])
GO
CREATE INDEX [ShipName] ON [dbo].[Orders]([ShipName]) ON [PRIMARY]
GO
 CREATE  INDEX [OrderDate] ON [dbo].[Orders]([OrderDate] DESC) WITH  FILLFACTOR = 90 ON [PRIMARY]
GO
if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[Ten Most Expensive Goods]') and OBJECTPROPERTY(id, N'IsProcedure') = 1)
drop procedure [dbo].[Ten Most Expensive Goods]
GO
create procedure "Ten Most Expensive Goods" AS
SET ROWCOUNT 10
SELECT Goods.Name AS TenMostExpensiveGoods, Goods.Price
FROM Goods
ORDER BY Goods.Price DESC
GO
CREATE TRIGGER trg_Orders_Stamp ON Orders AFTER INSERT AS
BEGIN
  SET NOCOUNT ON;
  UPDATE Orders SET OrderDate = getdate() WHERE OrderDate IS NULL;
END
GO
CREATE FUNCTION dbo.LineTotal (@price money, @quantity smallint) RETURNS money AS
BEGIN
  RETURN @price * @quantity
END
GO
DECLARE @count int, @message nvarchar(100)
SELECT @count = COUNT(*) FROM Goods
SET @message = N'Goods loaded: ' + CAST(@count AS nvarchar(10))
IF @count <> 120
BEGIN
  RAISERROR('Expected 120 goods, found %d', 16, 1, @count) WITH NOWAIT
END
ELSE
  PRINT @message
GO
DECLARE @i int
SET @i = 0
WHILE @i < 5
BEGIN
  SET @i = @i + 1
  IF @i = 3 CONTINUE
  INSERT INTO Orders (OrderDate, ShipName) VALUES ('1997-01-01', N'Loop ' + CAST(@i AS nvarchar(5)))
END
GO
UPDATE STATISTICS [Orders]
GO
EXEC sys.sp_addextendedproperty @name=N'MS_Description', @value=N'Who delivers the goods' , @level0type=N'SCHEMA',
  @level0name=N'dbo', @level1type=N'TABLE',@level1name=N'Suppliers'
GO
GRANT SELECT ON [dbo].[Goods] TO [public]
GO
IF NOT EXISTS (SELECT * FROM sys.views WHERE name = N'Cheap Goods')
  EXEC dbo.sp_executesql @statement = N'CREATE VIEW [Cheap Goods] AS SELECT GoodID, Name FROM Goods WHERE Price < 10'
GO
DECLARE @table sysname = N'Audit'
EXEC ('CREATE TABLE ' + @table + ' (id int IDENTITY PRIMARY KEY, note nvarchar(50) DEFAULT (''none''))')
EXEC sp_executesql N'INSERT INTO Audit DEFAULT VALUES INSERT INTO Audit (note) VALUES (@note)', N'@note nvarchar(50)', N'loaded'
GO
CHECKPOINT
GO
)sql";
  return s.str();
}

std::vector<std::string> SplitAtGo(const std::string& script) {
  std::vector<std::string> batches;
  std::istringstream in(script);
  std::string line, batch;
  while (std::getline(in, line)) {
    if (line == "GO") {
      batches.push_back(batch);
      batch.clear();
    } else {
      batch += line + "\n";
    }
  }
  if (batch.find_first_not_of(" \n") != std::string::npos) batches.push_back(batch);
  return batches;
}

class InstallScript : public testing::Test {
 protected:
  static std::string TradeConnectString() {
    static bool loaded = false;
    if (!loaded) {
      OdbcConnection master;
      if (!SQL_SUCCEEDED(master.Connect(SharedServer().ConnectString("master")))) throw std::runtime_error("no master");
      OdbcStatement runner(master);
      const auto batches = SplitAtGo(TradeScript());
      if (batches.size() < 300) throw std::runtime_error("the script should have several hundred batches");
      for (const auto& batch : batches) {
        SQLRETURN rc = runner.Execute(batch);
        while (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) rc = SQLMoreResults(runner.get());
        if (rc != SQL_NO_DATA) throw std::runtime_error("batch failed: " + batch + "\n" + runner.Diagnostics());
        runner.Close();
      }
      loaded = true;
    }
    return SharedServer().ConnectString("Trade");
  }

  void SetUp() override { ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(TradeConnectString()))); }

  std::string Scalar(const std::string& sql) {
    OdbcStatement s(connection_);
    if (!SQL_SUCCEEDED(s.Execute(sql))) return "error: " + s.Diagnostics();
    if (!s.Fetch()) return "no row";
    const auto v = s.Text(1);
    return v ? *v : "NULL";
  }

  OdbcConnection connection_;
};

struct QueryCase {
  const char* name;
  const char* sql;
  const char* value;
};

class InstallScriptQueries : public InstallScript, public testing::WithParamInterface<QueryCase> {};

TEST_P(InstallScriptQueries, GiveSqlServersAnswer) { EXPECT_EQ(Scalar(GetParam().sql), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(
    Catalog, InstallScriptQueries,
    testing::Values(
        QueryCase{"Goods", "SELECT COUNT(*) FROM Goods", "120"},
        QueryCase{"OrdersWithLoop", "SELECT COUNT(*) FROM Orders", "304"},
        QueryCase{"LoopSkippedThree", "SELECT COUNT(*) FROM Orders WHERE ShipName = N'Loop 3'", "0"},
        QueryCase{"IdentitySeed", "SELECT MIN(OrderID) FROM Orders", "10248"},
        QueryCase{"ExplicitIdentity", "SELECT CompanyName FROM Suppliers WHERE SupplierID = 2", "New Orleans Cajun Delights"},
        QueryCase{"AliasTypeDefault", "SELECT CAST(Active AS int) FROM Suppliers WHERE SupplierID = 1", "1"},
        QueryCase{"MoneyLiteral", "SELECT Price FROM Goods WHERE GoodID = 7", "7.0700"},
        QueryCase{"UserTables", "SELECT COUNT(*) FROM sys.tables", "5"},
        QueryCase{"ViewByDynamicSql", "SELECT COUNT(*) FROM [Cheap Goods]", "9"},
        QueryCase{"TableByDynamicSql", "SELECT MIN(note) + '/' + MAX(note) FROM Audit", "loaded/none"},
        QueryCase{"ForeignKeys", "SELECT COUNT(*) FROM sys.objects WHERE type = 'F'", "3"},
        QueryCase{"Defaults", "SELECT COUNT(*) FROM sys.default_constraints", "4"},
        QueryCase{"KeysInSysobjects", "SELECT COUNT(*) FROM dbo.sysobjects WHERE xtype = 'PK'", "5"},
        QueryCase{"Procedure", "SELECT type_desc FROM sys.objects WHERE name = 'Ten Most Expensive Goods'", "SQL_STORED_PROCEDURE"},
        QueryCase{"TriggerParent", "SELECT OBJECT_NAME_OF_PARENT FROM (SELECT o.name AS OBJECT_NAME_OF_PARENT FROM sys.triggers t "
                                   "JOIN sys.objects o ON o.object_id = t.parent_id)", "Orders"},
        QueryCase{"Function", "SELECT OBJECTPROPERTY(OBJECT_ID('dbo.LineTotal'), 'IsScalarFunction')", "1"},
        QueryCase{"ObjectIdOfTable", "SELECT CASE WHEN OBJECT_ID(N'[dbo].[Order Lines]', N'U') > 0 THEN 'yes' END", "yes"},
        QueryCase{"SysDatabases", "SELECT COUNT(*) FROM sys.databases WHERE name IN (N'Trade', N'master')", "2"},
        QueryCase{"OldSysdatabases", "SELECT COUNT(*) FROM master..sysdatabases WHERE name = 'master'", "1"},
        QueryCase{"DbId", "SELECT CASE WHEN DB_ID('NoSuchDb') IS NULL THEN name END FROM sys.databases "
                          "WHERE database_id = DB_ID('Trade') AND database_id = DB_ID()", "Trade"},
        QueryCase{"ObjectIdOfNothing", "SELECT OBJECT_ID('NoSuchThing')", "NULL"},
        QueryCase{"InformationSchemaTables",
                  "SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_TYPE = 'BASE TABLE' AND TABLE_CATALOG = 'Trade'", "5"},
        QueryCase{"InformationSchemaColumns",
                  "SELECT DATA_TYPE + '/' + IS_NULLABLE FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = 'Goods' AND "
                  "COLUMN_NAME = 'Name'", "nvarchar/NO"},
        QueryCase{"ColLength", "SELECT COL_LENGTH('Goods', 'Name')", "80"},
        QueryCase{"LenIgnoresTrailingBlanks", "SELECT LEN('abc   ')", "3"},
        QueryCase{"DataLength", "SELECT DATALENGTH(0x010203)", "3"},
        QueryCase{"SelectAlias", "SELECT answer FROM (SELECT answer = 6 * 7)", "42"},
        QueryCase{"Variables", "DECLARE @n int = 2 SET @n = @n * 21 SELECT @n", "42"},
        QueryCase{"CaseInsideIf", "IF 1 = 1 SELECT CASE WHEN 1 = 2 THEN 'a' ELSE 'b' END ELSE SELECT 'c'", "b"},
        QueryCase{"UpdateWithCaseInBlock",
                  "SET NOCOUNT ON BEGIN UPDATE Goods SET Price = CASE WHEN GoodID = 0 THEN 0 ELSE Price END WHERE GoodID = 5 "
                  "SELECT Price FROM Goods WHERE GoodID = 5 END", "5.0500"},
        QueryCase{"IfElse", "IF EXISTS (SELECT * FROM Goods WHERE GoodID = 999) SELECT 'found' ELSE SELECT 'missing'", "missing"}),
    [](const testing::TestParamInfo<QueryCase>& info) { return std::string(info.param.name); });

TEST_F(InstallScript, CatalogFunctionsSeeAliasTypesAndKeys) {
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Suppliers", SQL_NTS, nullptr, 0)));
  std::vector<std::string> columns;
  while (s.Fetch()) columns.push_back(*s.Text(4) + "|" + *s.Text(6) + "|" + *s.Text(11) + "|" + s.Text(13).value_or("NULL"));
  EXPECT_EQ(columns, (std::vector<std::string>{"SupplierID|int identity|0|NULL", "CompanyName|ShortName|0|NULL",
                                               "Phone|Phone|1|NULL", "Active|Flag|0|((1))"}));
  s.Close();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLForeignKeys(s.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                                           (SQLCHAR*)"Order Lines", SQL_NTS)));
  std::vector<std::string> keys;
  while (s.Fetch()) keys.push_back(*s.Text(3) + "|" + *s.Text(12) + "|" + *s.Text(11));
  EXPECT_EQ(keys, (std::vector<std::string>{"Goods|FK_Order_Lines_Goods|1", "Orders|FK_Order_Lines_Orders|0"}));
  s.Close();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLStatistics(s.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Orders", SQL_NTS, SQL_INDEX_ALL,
                                          SQL_QUICK)));
  std::vector<std::string> indexes;
  while (s.Fetch()) {
    const auto index = s.Text(6);  // NULL on the table's own row
    if (index) indexes.push_back(*index + "|" + *s.Text(7) + "|" + *s.Text(10));
  }
  EXPECT_EQ(indexes, (std::vector<std::string>{"PK_Orders|1|A", "OrderDate|3|D", "ShipName|3|A"}));
}

TEST_F(InstallScript, PrintAndRaiserrorReachTheClient) {
  OdbcStatement s(connection_);
  EXPECT_EQ(s.Execute("PRINT N'hello ' + 'there'"), SQL_SUCCESS_WITH_INFO);
  auto records = s.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_NE(records[0].text.find("hello there"), std::string::npos) << records[0].text;
  s.Close();
  SQLRETURN rc = s.Execute("RAISERROR('Bad %s number %d', 16, 1, N'order', 42) SELECT 1");
  bool sawError = rc == SQL_ERROR;
  std::string text;
  if (sawError) text = s.DiagnosticRecords()[0].text;
  while (rc != SQL_NO_DATA && rc != SQL_INVALID_HANDLE) {
    rc = SQLMoreResults(s.get());
    if (rc == SQL_ERROR && !sawError) {
      sawError = true;
      text = s.DiagnosticRecords()[0].text;
    }
  }
  EXPECT_TRUE(sawError);
  EXPECT_NE(text.find("Bad order number 42"), std::string::npos) << text;
}

TEST_F(InstallScript, ModulesAndTypesCanBeDroppedAgain) {
  OdbcStatement s(connection_);
  s.Run("CREATE PROCEDURE dbo.Temporary AS SELECT 1");
  s.Run("EXEC Temporary");  // known, not run
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sys.procedures WHERE name = 'Temporary'"), "1");
  s.Run("DROP PROCEDURE IF EXISTS dbo.Temporary");
  s.Run("DROP PROCEDURE IF EXISTS dbo.Temporary");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sys.procedures WHERE name = 'Temporary'"), "0");
  EXPECT_EQ(s.Execute("DROP TYPE Flag"), SQL_ERROR) << "a column still uses it";
  EXPECT_EQ(s.DiagnosticRecords()[0].native, 3732);
  s.Close();
  s.Run("CREATE TYPE Unused FROM varchar(3)");
  s.Run("DROP TYPE Unused");
  EXPECT_EQ(s.Execute("CREATE TABLE UsesUnknown (a Unused)"), SQL_ERROR);
  EXPECT_EQ(s.DiagnosticRecords()[0].native, 2715);
}

}  // namespace
}  // namespace standin_test
