// CHECK constraints enforced as SQL Server enforces them, through FreeTDS: a
// row whose condition is FALSE is refused with error 547 (UNKNOWN passes), the
// statement ends and the batch goes on; ALTER TABLE WITH CHECK / WITH NOCHECK,
// NOCHECK / CHECK CONSTRAINT and BULK INSERT's CHECK_CONSTRAINTS as documented.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

class CheckConstraints : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(FixtureConnectString())))
        << DescribeDiagnostics(SQL_HANDLE_DBC, connection_.dbc());
  }
  std::vector<std::string> RunBatch(const std::string& sql) { return BatchErrors(connection_, sql); }
  std::string Rows(const std::string& sql) { return QueryRows(connection_, sql); }
  std::string State(const std::string& name) {
    return Rows("SELECT is_disabled, is_not_trusted FROM sys.check_constraints WHERE name = '" + name + "'");
  }
  OdbcConnection connection_;
};

std::string Conflict(const std::string& statement, const std::string& name, const std::string& table,
                     const std::string& column = "") {
  return "547: The " + statement + " statement conflicted with the CHECK constraint \"" + name +
         "\". The conflict occurred in database \"fixture\", table \"dbo." + table + "\"" +
         (column.empty() ? "" : ", column '" + column + "'") + ".";
}

using Errors = std::vector<std::string>;

struct RowCase {
  const char* name;
  const char* statement;  // runs against Stock holding (1, 5, 1, 2, 'open')
  Errors errors;
  const char* rows;       // Stock afterwards
};

class CheckedRows : public CheckConstraints, public testing::WithParamInterface<RowCase> {};

TEST_P(CheckedRows, RefusedOnlyWhenFalse) {
  ASSERT_EQ(RunBatch("DROP TABLE IF EXISTS Stock\n"
                     "CREATE TABLE Stock (id int PRIMARY KEY, qty int CONSTRAINT CK_Stock_Qty CHECK (qty >= 0),"
                     " lo int, hi int, status varchar(10) CHECK (status IN ('open', 'closed')),"
                     " CONSTRAINT CK_Stock_Range CHECK (lo <= hi OR hi IS NULL))\n"
                     "INSERT INTO Stock VALUES (1, 5, 1, 2, 'open')"),
            Errors{});
  EXPECT_EQ(RunBatch(GetParam().statement), GetParam().errors);
  EXPECT_EQ(Rows("SELECT id, qty, lo, hi, status FROM Stock ORDER BY id"), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, CheckedRows,
    testing::Values(
        RowCase{"ColumnLevel", "INSERT INTO Stock VALUES (2, -1, 1, 2, 'open')",
                {Conflict("INSERT", "CK_Stock_Qty", "Stock", "qty")}, "1|5|1|2|open"},
        RowCase{"TableLevel", "INSERT INTO Stock VALUES (2, 1, 5, 2, 'open')",
                {Conflict("INSERT", "CK_Stock_Range", "Stock")}, "1|5|1|2|open"},
        RowCase{"UnknownPasses", "INSERT INTO Stock VALUES (2, NULL, 9, NULL, NULL)", {},
                "1|5|1|2|open;2|NULL|9|NULL|NULL"},
        RowCase{"ComparedInTheColumnsCollation", "INSERT INTO Stock VALUES (2, 0, 0, 0, 'CLOSED ')", {},
                "1|5|1|2|open;2|0|0|0|CLOSED "},
        RowCase{"Update", "UPDATE Stock SET qty = qty - 6",
                {Conflict("UPDATE", "CK_Stock_Qty", "Stock", "qty")}, "1|5|1|2|open"},
        RowCase{"UpdateOfAnotherColumn", "UPDATE Stock SET hi = 0",
                {Conflict("UPDATE", "CK_Stock_Range", "Stock")}, "1|5|1|2|open"},
        RowCase{"StatementEndsBatchGoesOn",
                "INSERT INTO Stock SELECT 2, 1, 1, 1, 'open' UNION ALL SELECT 3, -1, 1, 1, 'open'\n"
                "INSERT INTO Stock VALUES (4, 4, 1, 1, 'closed')",
                {Conflict("INSERT", "CK_Stock_Qty", "Stock", "qty")}, "1|5|1|2|open;4|4|1|1|closed"}),
    [](const testing::TestParamInfo<RowCase>& info) { return std::string(info.param.name); });

struct ConditionCase {
  const char* name;
  const char* column;     // declaration of column c
  const char* condition;  // CHECK over c, as install scripts write them
  const char* good;       // values the condition takes
  const char* bad;        // and one it refuses
};

class Conditions : public CheckConstraints, public testing::WithParamInterface<ConditionCase> {};

TEST_P(Conditions, TakeGoodRowsAndRefuseBadOnes) {
  const ConditionCase& c = GetParam();
  const std::string table = std::string("Cond") + c.name;
  ASSERT_EQ(RunBatch("CREATE TABLE " + table + " (id int IDENTITY PRIMARY KEY, c " + c.column + ", CONSTRAINT CK_" + table +
                     " CHECK " + c.condition + ")"),
            Errors{});
  EXPECT_EQ(RunBatch("INSERT INTO " + table + " (c) VALUES " + c.good), Errors{});
  EXPECT_EQ(RunBatch("INSERT INTO " + table + " (c) VALUES " + c.bad), Errors{Conflict("INSERT", "CK_" + table, table)});
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, Conditions,
    testing::Values(
        ConditionCase{"Range", "smallint", "([c]>=(0) AND [c]<=(120))", "(0), (120), (NULL)", "(121)"},
        ConditionCase{"Upper", "nchar(1)", "(upper([c])=N'F' OR upper([c])=N'M')", "(N'f'), (N'M')", "(N'x')"},
        ConditionCase{"Pattern", "varchar(5)", "([c] LIKE '[0-9][0-9][A-Z]')", "('12a'), ('99Z')", "('1a2')"},
        ConditionCase{"Since", "date", "([c]>='1930-01-01' AND [c]<=getdate())", "('1980-05-01')", "('1929-12-31')"},
        ConditionCase{"Past", "datetime", "([c]<=getdate())", "('2001-02-03T04:05:06')", "('2999-01-01')"},
        ConditionCase{"Money", "money", "([c]>(0.00))", "(0.01), (12.5)", "(0)"},
        ConditionCase{"Length", "nvarchar(10)", "(len([c])>=(2) AND isnull([c],'')<>'')", "(N'ab'), (N'abc  ')", "(N'a ')"}),
    [](const testing::TestParamInfo<ConditionCase>& info) { return std::string(info.param.name); });

// A condition with a built-in the stand-in lacks (DIFFERENCE) does not refuse
// the script: the constraint is kept and listed, as SQL Server would keep it.
TEST_F(CheckConstraints, ConditionTheStandInCannotEvaluateIsKept) {
  EXPECT_EQ(RunBatch("CREATE TABLE People (name varchar(20) CONSTRAINT CK_People_Born CHECK (difference(name, 'Smith') >= 0))\n"
                     "INSERT INTO People VALUES ('Smyth')"),
            Errors{});
  EXPECT_EQ(Rows("SELECT name FROM sys.check_constraints WHERE parent_object_id = OBJECT_ID('People')"), "CK_People_Born");
}

TEST_F(CheckConstraints, AlterTableWithCheckAndNoCheck) {
  ASSERT_EQ(RunBatch("CREATE TABLE Prices (id int PRIMARY KEY, price money)\n"
                     "INSERT INTO Prices VALUES (1, 10), (2, -3)"),
            Errors{});
  // WITH CHECK (the default) looks at the rows there are.
  EXPECT_EQ(RunBatch("ALTER TABLE Prices ADD CONSTRAINT CK_Prices_Price CHECK (price > 0)"),
            Errors{Conflict("ALTER TABLE", "CK_Prices_Price", "Prices")});
  EXPECT_EQ(Rows("SELECT count(*) FROM sys.check_constraints WHERE name = 'CK_Prices_Price'"), "0");
  // WITH NOCHECK does not, and leaves the constraint not trusted, yet enforced.
  EXPECT_EQ(RunBatch("ALTER TABLE Prices WITH NOCHECK ADD CONSTRAINT CK_Prices_Price CHECK (price > 0)"), Errors{});
  EXPECT_EQ(State("CK_Prices_Price"), "0|1");
  EXPECT_EQ(RunBatch("INSERT INTO Prices VALUES (3, 0)"), Errors{Conflict("INSERT", "CK_Prices_Price", "Prices")});
  // NOCHECK CONSTRAINT disables it; CHECK CONSTRAINT enables it, still not trusted.
  EXPECT_EQ(RunBatch("ALTER TABLE Prices NOCHECK CONSTRAINT CK_Prices_Price"), Errors{});
  EXPECT_EQ(State("CK_Prices_Price"), "1|1");
  EXPECT_EQ(RunBatch("INSERT INTO Prices VALUES (3, 0)"), Errors{});
  EXPECT_EQ(RunBatch("ALTER TABLE Prices CHECK CONSTRAINT CK_Prices_Price"), Errors{});
  EXPECT_EQ(State("CK_Prices_Price"), "0|1");
  EXPECT_EQ(RunBatch("UPDATE Prices SET price = -1 WHERE id = 1"), Errors{Conflict("UPDATE", "CK_Prices_Price", "Prices")});
  // WITH CHECK CHECK CONSTRAINT trusts it again only once every row passes.
  EXPECT_EQ(RunBatch("ALTER TABLE Prices WITH CHECK CHECK CONSTRAINT CK_Prices_Price"),
            Errors{Conflict("ALTER TABLE", "CK_Prices_Price", "Prices")});
  EXPECT_EQ(State("CK_Prices_Price"), "0|1");
  EXPECT_EQ(RunBatch("DELETE FROM Prices WHERE price <= 0\nALTER TABLE Prices WITH CHECK CHECK CONSTRAINT ALL"), Errors{});
  EXPECT_EQ(State("CK_Prices_Price"), "0|0");
  // Dropped, it no longer applies.
  EXPECT_EQ(RunBatch("ALTER TABLE Prices DROP CONSTRAINT CK_Prices_Price\nINSERT INTO Prices VALUES (4, -4)"), Errors{});
}

TEST_F(CheckConstraints, BulkInsertChecksOnlyWhenAsked) {
  ASSERT_EQ(RunBatch("CREATE TABLE BulkChecked (id int PRIMARY KEY, qty int CONSTRAINT CK_BulkChecked_Qty CHECK (qty > 0))"),
            Errors{});
  const std::string file = "bulk-checked.dat";
  std::ofstream(SharedServer().dataDir() + "/" + file, std::ios::binary) << "1\t1\r\n2\t-2\r\n";
  EXPECT_EQ(RunBatch("BULK INSERT BulkChecked FROM '" + file + "' WITH (CHECK_CONSTRAINTS)"),
            Errors{Conflict("INSERT", "CK_BulkChecked_Qty", "BulkChecked", "qty")});
  EXPECT_EQ(Rows("SELECT count(*) FROM BulkChecked"), "0");
  EXPECT_EQ(RunBatch("BULK INSERT BulkChecked FROM '" + file + "'"), Errors{});
  EXPECT_EQ(Rows("SELECT id, qty FROM BulkChecked ORDER BY id"), "1|1;2|-2");
  EXPECT_EQ(State("CK_BulkChecked_Qty"), "0|1");
  EXPECT_EQ(RunBatch("INSERT INTO BulkChecked VALUES (3, 0)"),
            Errors{Conflict("INSERT", "CK_BulkChecked_Qty", "BulkChecked", "qty")});
}

}  // namespace
}  // namespace standin_test
