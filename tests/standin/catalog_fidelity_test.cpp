// Catalog details through FreeTDS as SQL Server reports them: a filtered unique
// index (enforced only over the rows it covers, listed with its filter),
// disabled and untrusted foreign keys, partition row counts, alias types in
// sys.types and sys.columns, and constraint names scoped per schema.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

std::string Or(const std::optional<std::string>& v) { return v ? *v : "NULL"; }

const char kScript[] = R"sql(
CREATE SCHEMA Sales
GO
CREATE TYPE Sales.Moment FROM datetime2(3) NULL
CREATE TABLE Sales.Customer (Id int NOT NULL CONSTRAINT PK_Customer PRIMARY KEY, Email nvarchar(40) NULL,
  Region nchar(2) NULL, Joined Sales.Moment)
CREATE UNIQUE NONCLUSTERED INDEX UX_Customer_Email ON Sales.Customer (Email) WHERE Email IS NOT NULL
CREATE UNIQUE INDEX UX_Customer_Region ON Sales.Customer (Region) WHERE (Region IN (N'EU', N'US') AND Id > -1)
CREATE TABLE Sales.Orders (Id int NOT NULL PRIMARY KEY, CustomerId int NULL,
  CONSTRAINT FK_Orders_Customer FOREIGN KEY (CustomerId) REFERENCES Sales.Customer (Id))
CREATE TABLE dbo.Orders (Id int NOT NULL PRIMARY KEY, CustomerId int NULL)
CREATE TABLE dbo.Heap (a int)
INSERT INTO Sales.Customer (Id, Email, Region) VALUES (1, N'a@x', N'EU'), (2, NULL, N'AS'), (3, NULL, N'AS'), (4, N'b@x', NULL)
INSERT INTO dbo.Orders VALUES (1, 99)
ALTER TABLE dbo.Orders WITH NOCHECK ADD CONSTRAINT FK_Orders_Customer FOREIGN KEY (CustomerId) REFERENCES Sales.Customer (Id)
INSERT INTO dbo.Heap VALUES (1), (2), (3)
)sql";

class CatalogFidelity : public testing::Test {
 protected:
  static std::string ConnectString() {
    static bool built = false;
    if (!built) {
      built = true;  // once, also when it fails: the tests then fail on what is missing
      OdbcConnection master;
      if (!SQL_SUCCEEDED(master.Connect(SharedServer().ConnectString("master"))))
        throw std::runtime_error("cannot log on to the stand-in");
      OdbcStatement(master).Run("CREATE DATABASE fidelity");
      OdbcConnection db;
      if (!SQL_SUCCEEDED(db.Connect(SharedServer().ConnectString("fidelity")))) throw std::runtime_error("no database");
      OdbcStatement script(db);
      const std::string text = kScript;
      const size_t go = text.find("\nGO\n");
      script.Run(text.substr(0, go));
      script.Run(text.substr(go + 4));
    }
    return SharedServer().ConnectString("fidelity");
  }

  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(ConnectString())))
        << DescribeDiagnostics(SQL_HANDLE_DBC, connection_.dbc());
  }

  std::vector<std::string> Query(const std::string& sql) {
    OdbcStatement s(connection_);
    if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(sql + ": " + s.Diagnostics());
    SQLSMALLINT n = 0;
    SQLNumResultCols(s.get(), &n);
    std::vector<std::string> out;
    while (s.Fetch()) {
      std::string line;
      for (SQLSMALLINT i = 1; i <= n; ++i) line += (i > 1 ? "|" : "") + Or(s.Text(static_cast<SQLUSMALLINT>(i)));
      out.push_back(line);
    }
    return out;
  }

  void Run(const std::string& sql) { OdbcStatement(connection_).Run(sql); }

  // "native: text" of the first error of a statement that must fail.
  std::string Failure(const std::string& sql) {
    OdbcStatement s(connection_);
    SQLRETURN rc = s.Execute(sql);
    while (SQL_SUCCEEDED(rc)) rc = SQLMoreResults(s.get());
    if (rc != SQL_ERROR) return "no error";
    const auto records = s.DiagnosticRecords();
    if (records.empty()) return "no record";
    const std::string& text = records[0].text;
    const size_t prefix = text.rfind("[SQL Server]");
    return std::to_string(records[0].native) + ": " + (prefix == std::string::npos ? text : text.substr(prefix + 12));
  }

  OdbcConnection connection_;
};

TEST_F(CatalogFidelity, FilteredIndexListedWithItsFilter) {
  EXPECT_EQ(Query("SELECT i.name, i.is_unique, i.has_filter, i.filter_definition FROM sys.indexes i "
                  "WHERE i.object_id = OBJECT_ID(N'[Sales].[Customer]') ORDER BY i.index_id"),
            (std::vector<std::string>{"PK_Customer|1|0|NULL", "UX_Customer_Email|1|1|([Email] IS NOT NULL)",
                                      "UX_Customer_Region|1|1|(([Region]=N'EU' OR [Region]=N'US') AND [Id]>(-1))"}));
  // sp_statistics lists it like any index (ODBC has no column for a filter).
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLStatistics(s.get(), nullptr, 0, (SQLCHAR*)"Sales", SQL_NTS, (SQLCHAR*)"Customer",
                                          SQL_NTS, SQL_INDEX_ALL, SQL_QUICK)));
  std::vector<std::string> indexes;
  while (s.Fetch()) {
    const auto nonUnique = s.Text(4), name = s.Text(6), column = s.Text(9);  // read in column order
    if (name) indexes.push_back(*name + "|" + Or(nonUnique) + "|" + Or(column));
  }
  EXPECT_EQ(indexes, (std::vector<std::string>{"PK_Customer|0|Id", "UX_Customer_Email|0|Email",
                                               "UX_Customer_Region|0|Region"}));
}

// Unique only among the rows the filter takes: more NULL emails and more 'AS'
// regions go in; a second 'EU' does not.
TEST_F(CatalogFidelity, FilteredUniqueIndexEnforcedOverItsRowsOnly) {
  Run("INSERT INTO Sales.Customer (Id, Email, Region) VALUES (10, NULL, N'AS')");
  EXPECT_EQ(Failure("INSERT INTO Sales.Customer (Id, Email) VALUES (11, N'a@x')"),
            "2601: Cannot insert duplicate key row in object 'Sales.Customer' with unique index 'UX_Customer_Email'. "
            "The duplicate key value is (a@x).");
  EXPECT_EQ(Failure("INSERT INTO Sales.Customer (Id, Region) VALUES (12, N'EU')"),
            "2601: Cannot insert duplicate key row in object 'Sales.Customer' with unique index 'UX_Customer_Region'. "
            "The duplicate key value is (EU).");
  Run("DELETE FROM Sales.Customer WHERE Id = 10");
}

TEST_F(CatalogFidelity, FilterOutsideSqlServersGrammarRefused) {
  EXPECT_EQ(Failure("CREATE INDEX IX_Bad ON dbo.Heap (a) WHERE a = 1 OR a = 2"), "156: Incorrect syntax near the keyword 'OR'.");
  EXPECT_EQ(Failure("CREATE INDEX IX_Bad ON dbo.Heap (a) WHERE b IS NULL"), "207: Invalid column name 'b'.");
  EXPECT_EQ(Failure("ALTER TABLE Sales.Customer DROP COLUMN Region"),
            "5074: The object 'UX_Customer_Region' is dependent on column 'Region'.");
}

TEST_F(CatalogFidelity, UntrustedAndDisabledForeignKeys) {
  auto state = [&] {
    return Query("SELECT SCHEMA_NAME(schema_id), name, is_disabled, is_not_trusted FROM sys.foreign_keys ORDER BY schema_id");
  };
  EXPECT_EQ(state(), (std::vector<std::string>{"dbo|FK_Orders_Customer|0|1", "Sales|FK_Orders_Customer|0|0"}));
  // Enabled though untrusted: new rows are checked.
  EXPECT_EQ(Failure("INSERT INTO dbo.Orders VALUES (2, 98)").substr(0, 4), "547:");

  Run("ALTER TABLE Sales.Orders NOCHECK CONSTRAINT ALL");
  EXPECT_EQ(state(), (std::vector<std::string>{"dbo|FK_Orders_Customer|0|1", "Sales|FK_Orders_Customer|1|1"}));
  Run("INSERT INTO Sales.Orders VALUES (1, 77)");  // disabled: not enforced
  {
    OdbcStatement s(connection_);  // sp_fkeys still lists it
    ASSERT_TRUE(SQL_SUCCEEDED(SQLForeignKeys(s.get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, (SQLCHAR*)"Sales",
                                             SQL_NTS, (SQLCHAR*)"Orders", SQL_NTS)));
    ASSERT_TRUE(s.Fetch());
    EXPECT_EQ(Or(s.Text(12)), "FK_Orders_Customer");
  }
  EXPECT_EQ(Failure("ALTER TABLE Sales.Orders WITH CHECK CHECK CONSTRAINT FK_Orders_Customer").substr(0, 4), "547:");
  Run("ALTER TABLE Sales.Orders CHECK CONSTRAINT FK_Orders_Customer");  // enabled, rows not checked
  EXPECT_EQ(state(), (std::vector<std::string>{"dbo|FK_Orders_Customer|0|1", "Sales|FK_Orders_Customer|0|1"}));
  Run("DELETE FROM Sales.Orders WHERE Id = 1");
  Run("ALTER TABLE Sales.Orders WITH CHECK CHECK CONSTRAINT FK_Orders_Customer");  // checked and trusted again
  EXPECT_EQ(state(), (std::vector<std::string>{"dbo|FK_Orders_Customer|0|1", "Sales|FK_Orders_Customer|0|0"}));
}

// CHECK constraints keep the same states as foreign keys in sys.check_constraints.
TEST_F(CatalogFidelity, CheckConstraintStates) {
  auto state = [&] {
    return Query("SELECT name, is_disabled, is_not_trusted FROM sys.check_constraints WHERE name LIKE 'CK_Heap%' ORDER BY name");
  };
  Run("ALTER TABLE dbo.Heap ADD CONSTRAINT CK_Heap_Checked CHECK (a > 0)");
  Run("ALTER TABLE dbo.Heap WITH NOCHECK ADD CONSTRAINT CK_Heap_Unchecked CHECK (a < 100)");
  EXPECT_EQ(state(), (std::vector<std::string>{"CK_Heap_Checked|0|0", "CK_Heap_Unchecked|0|1"}));
  Run("ALTER TABLE dbo.Heap NOCHECK CONSTRAINT CK_Heap_Checked");
  EXPECT_EQ(state(), (std::vector<std::string>{"CK_Heap_Checked|1|1", "CK_Heap_Unchecked|0|1"}));
  Run("ALTER TABLE dbo.Heap WITH CHECK CHECK CONSTRAINT ALL");
  EXPECT_EQ(state(), (std::vector<std::string>{"CK_Heap_Checked|0|0", "CK_Heap_Unchecked|0|0"}));
  Run("ALTER TABLE dbo.Heap DROP CONSTRAINT CK_Heap_Checked, CK_Heap_Unchecked");
}

// Counts per heap or clustered index and per nonclustered index (a filtered one
// counts its own rows), kept exact across inserts and deletes.
TEST_F(CatalogFidelity, PartitionRowCounts) {
  const std::string sql =
      "SELECT t.name, p.index_id, p.partition_number, p.rows, s.row_count FROM sys.partitions p "
      "JOIN sys.tables t ON t.object_id = p.object_id JOIN sys.dm_db_partition_stats s ON s.partition_id = p.partition_id "
      "WHERE p.object_id IN (OBJECT_ID(N'Sales.Customer'), OBJECT_ID(N'dbo.Heap')) ORDER BY p.object_id, p.index_id";
  EXPECT_EQ(Query(sql), (std::vector<std::string>{"Customer|1|1|4|4", "Customer|2|1|2|2", "Customer|3|1|1|1",
                                                  "Heap|0|1|3|3"}));
  Run("INSERT INTO dbo.Heap VALUES (4), (5)");
  Run("DELETE FROM dbo.Heap WHERE a = 1");
  EXPECT_EQ(Query(sql).back(), "Heap|0|1|4|4");
  Run("DELETE FROM dbo.Heap WHERE a > 3");
}

// Counts are remembered between writes (asking again costs no scan), so they
// must follow every commit of any session, and a transaction's own writes.
TEST_F(CatalogFidelity, RowCountsFollowEveryCommitOfAnySession) {
  const std::string rows = "SELECT rows FROM sys.partitions WHERE object_id = OBJECT_ID(N'dbo.Heap')";
  auto cardinality = [&] {
    OdbcStatement s(connection_);
    EXPECT_TRUE(SQL_SUCCEEDED(SQLStatistics(s.get(), nullptr, 0, (SQLCHAR*)"dbo", SQL_NTS, (SQLCHAR*)"Heap", SQL_NTS,
                                            SQL_INDEX_ALL, SQL_QUICK)));
    // The table's own row comes first; CARDINALITY is column 11.
    return s.Fetch() ? Or(s.Text(11)) : std::string("none");
  };
  EXPECT_EQ(Query(rows), (std::vector<std::string>{"3"}));
  EXPECT_EQ(Query(rows), (std::vector<std::string>{"3"}));
  EXPECT_EQ(cardinality(), "3");
  {
    OdbcConnection other;
    ASSERT_TRUE(SQL_SUCCEEDED(other.Connect(ConnectString())));
    OdbcStatement(other).Run("INSERT INTO dbo.Heap VALUES (7)");
  }
  EXPECT_EQ(Query(rows), (std::vector<std::string>{"4"}));
  EXPECT_EQ(cardinality(), "4");
  Run("BEGIN TRANSACTION");
  Run("DELETE FROM dbo.Heap WHERE a = 7");
  EXPECT_EQ(Query(rows), (std::vector<std::string>{"3"})) << "the transaction's own delete";
  Run("ROLLBACK");
  EXPECT_EQ(Query(rows), (std::vector<std::string>{"4"}));
  Run("TRUNCATE TABLE dbo.Heap");
  EXPECT_EQ(Query(rows), (std::vector<std::string>{"0"}));
  EXPECT_EQ(cardinality(), "0");
  Run("INSERT INTO dbo.Heap VALUES (1), (2), (3)");
  EXPECT_EQ(Query(rows), (std::vector<std::string>{"3"}));
}

TEST_F(CatalogFidelity, AliasTypesReportTheirBase) {
  EXPECT_EQ(Query("SELECT t.name, SCHEMA_NAME(t.schema_id), t.is_user_defined, b.name FROM sys.types t "
                  "JOIN sys.types b ON b.user_type_id = t.system_type_id WHERE t.is_user_defined = 1"),
            (std::vector<std::string>{"Moment|Sales|1|datetime2"}));
  EXPECT_EQ(Query("SELECT c.name, t.name, t.is_user_defined FROM sys.columns c JOIN sys.types t "
                  "ON t.user_type_id = c.user_type_id WHERE c.object_id = OBJECT_ID(N'Sales.Customer') ORDER BY c.column_id"),
            (std::vector<std::string>{"Id|int|0", "Email|nvarchar|0", "Region|nchar|0", "Joined|Moment|1"}));
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(s.get(), nullptr, 0, (SQLCHAR*)"Sales", SQL_NTS, (SQLCHAR*)"Customer", SQL_NTS,
                                       (SQLCHAR*)"Joined", SQL_NTS)));
  ASSERT_TRUE(s.Fetch());
  // TYPE_NAME is the alias; DATA_TYPE the base's code, which for datetime2 is
  // SQL_WVARCHAR in sp_columns, as on SQL Server: only sys.types tells the base.
  EXPECT_EQ(Or(s.Text(5)), "-9");
  EXPECT_EQ(Or(s.Text(6)), "Moment");
}

// An object name, constraints included, is unique within its schema only.
TEST_F(CatalogFidelity, ConstraintNamesPerSchema) {
  EXPECT_EQ(Query("SELECT SCHEMA_NAME(schema_id), name FROM sys.objects WHERE name = 'FK_Orders_Customer' ORDER BY schema_id"),
            (std::vector<std::string>{"dbo|FK_Orders_Customer", "Sales|FK_Orders_Customer"}));
  EXPECT_EQ(Failure("ALTER TABLE Sales.Orders ADD CONSTRAINT PK_Customer UNIQUE (CustomerId)"),
            "2714: There is already an object named 'PK_Customer' in the database.");
  Run("CREATE TABLE dbo.Customer (Id int NOT NULL CONSTRAINT PK_Customer PRIMARY KEY)");
  EXPECT_EQ(Query("SELECT SCHEMA_NAME(k.schema_id), t.name FROM sys.key_constraints k "
                  "JOIN sys.tables t ON t.object_id = k.parent_object_id WHERE k.name = 'PK_Customer' ORDER BY k.schema_id"),
            (std::vector<std::string>{"dbo|Customer", "Sales|Customer"}));
  EXPECT_EQ(Failure("INSERT INTO dbo.Customer VALUES (1), (1)"),
            "2627: Violation of PRIMARY KEY constraint 'PK_Customer'. Cannot insert duplicate key in object "
            "'dbo.Customer'. The duplicate key value is (1).");
  Run("ALTER TABLE dbo.Orders DROP CONSTRAINT FK_Orders_Customer");
  EXPECT_EQ(Query("SELECT SCHEMA_NAME(schema_id) FROM sys.foreign_keys"), (std::vector<std::string>{"Sales"}));
  Run("DROP TABLE dbo.Customer");
  Run("ALTER TABLE dbo.Orders WITH NOCHECK ADD CONSTRAINT FK_Orders_Customer FOREIGN KEY (CustomerId) "
      "REFERENCES Sales.Customer (Id)");
}

}  // namespace
}  // namespace standin_test
