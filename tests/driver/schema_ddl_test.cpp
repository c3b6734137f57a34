// The schema statements through ODBC: COUNTER columns, DEFAULT, CREATE INDEX on a
// table with rows, ALTER TABLE ... ADD CONSTRAINT ... FOREIGN KEY, and the names
// Access cannot hold. Every file is also read by the strict Jackcess-based checker,
// whose JSON shows what Access shows in table design and the relationships window.
#include <nlohmann/json.hpp>

#include "driver_fixture.h"
#include "jetcheck_json.h"

namespace talvoro::test {
namespace {

using json = nlohmann::json;

class SchemaDdlTest : public DriverTest {
 protected:
  void Run(const std::string& sql) {
    OdbcOutcome outcome = db().Execute(sql);
    ASSERT_EQ(outcome.rc, SQL_SUCCESS) << sql << "\n" << outcome.message;
  }
  // Closes the connection and returns jetcheck's document (null without a checker).
  json CheckedFile() {
    Disconnect();
    ExpectValidFile();
    JetCheckJson check = RunJetCheckJson(path_);
    if (!check.ran) return json();
    EXPECT_TRUE(check.ok) << check.output;
    return check.document;
  }
  const json& ColumnsOf(const json& doc, const std::string& table) { return (*JetCheckNamed(doc["tables"], table))["columns"]; }
};

TEST_F(SchemaDdlTest, CounterAndDefaultsFillWhatAnInsertLeavesOut) {
  Run("CREATE TABLE Customers (Id COUNTER PRIMARY KEY, Name VARCHAR(30) NOT NULL, "
      "Country VARCHAR(20) DEFAULT 'USA' NOT NULL, Credit MONEY DEFAULT ((0)), Rating INT DEFAULT -3, "
      "Since DATETIME DEFAULT getdate_is_not_known(), Added DATETIME DEFAULT Now(), Active BIT DEFAULT TRUE, "
      "Quote VARCHAR(20) DEFAULT 'say \"hi\"')");
  Run("INSERT INTO Customers (Name) VALUES ('first')");
  Run("INSERT INTO Customers (Id, Name, Country) VALUES (10, 'explicit', 'DE')");
  Run("INSERT INTO Customers (Name, Credit) VALUES ('third', 12.5)");
  Run("INSERT INTO Customers VALUES (NULL, 'all given', 'FR', 1, 2, NULL, NULL, 0, 'q')");
  QueryResult read = db().Query("SELECT * FROM Customers");
  ASSERT_TRUE(read.outcome.ok()) << read.outcome.message;
  ASSERT_EQ(read.rows.size(), 4u);
  EXPECT_EQ(read.rows[0][0], "1");
  EXPECT_EQ(read.rows[0][2], "USA");
  EXPECT_EQ(read.rows[0][3], "0.0000");
  EXPECT_EQ(read.rows[0][4], "-3");
  EXPECT_EQ(read.rows[0][5], std::nullopt) << "a default that is not a constant is not evaluated";
  EXPECT_NE(read.rows[0][6], std::nullopt) << "Now()";
  EXPECT_EQ(read.rows[0][7], "1");
  EXPECT_EQ(read.rows[0][8], "say \"hi\"");
  EXPECT_EQ(read.rows[1][0], "10");
  EXPECT_EQ(read.rows[1][2], "DE");
  EXPECT_EQ(read.rows[2][0], "11");
  EXPECT_EQ(read.rows[3][0], "12");
  EXPECT_EQ(read.rows[3][7], "0");

  // A later connection continues the numbering.
  Disconnect();
  session_ = OdbcSession::Connect("DSN=" + dsn_);
  ASSERT_TRUE(session_);
  Run("INSERT INTO Customers (Name) VALUES ('reconnected')");
  QueryResult again = db().Query("SELECT * FROM Customers");
  ASSERT_EQ(again.rows.size(), 5u);
  EXPECT_EQ(again.rows[4][0], "13");

  OdbcOutcome seed = db().Execute("CREATE TABLE Seeded (Id AUTOINCREMENT(100, 5), Name TEXT(10))");
  EXPECT_EQ(seed.sqlstate, "42000") << seed.message;
  Run("CREATE TABLE Plain (Id AUTOINCREMENT(1, 1), Name TEXT(10))");
  OdbcOutcome twice = db().Execute("CREATE TABLE Twice (A COUNTER, B COUNTER)");
  EXPECT_EQ(twice.sqlstate, "42000") << twice.message;
  OdbcOutcome missing = db().Execute("INSERT INTO Customers (Country) VALUES ('IT')");
  EXPECT_EQ(missing.sqlstate, "23000") << "Name is required and has no default";

  json doc = CheckedFile();
  if (doc.is_null()) GTEST_SKIP() << "jetcheck is not available";
  const json& columns = ColumnsOf(doc, "Customers");
  EXPECT_EQ((*JetCheckNamed(columns, "Id"))["autoNumber"], true);
  EXPECT_EQ((*JetCheckNamed(columns, "Country"))["properties"]["DefaultValue"], "\"USA\"");
  EXPECT_EQ((*JetCheckNamed(columns, "Credit"))["properties"]["DefaultValue"], "0");
  EXPECT_EQ((*JetCheckNamed(columns, "Rating"))["properties"]["DefaultValue"], "-3");
  EXPECT_EQ((*JetCheckNamed(columns, "Added"))["properties"]["DefaultValue"], "Now()");
  EXPECT_EQ((*JetCheckNamed(columns, "Active"))["properties"]["DefaultValue"], "True");
  EXPECT_EQ((*JetCheckNamed(columns, "Quote"))["properties"]["DefaultValue"], "\"say \"\"hi\"\"\"");
  EXPECT_EQ((*JetCheckNamed(ColumnsOf(doc, "Plain"), "Id"))["autoNumber"], true);
}

TEST_F(SchemaDdlTest, IndexesAreAddedToTablesWithRows) {
  Run("CREATE TABLE Products (Id INT PRIMARY KEY, Name VARCHAR(40), Category VARCHAR(20), Price MONEY, Code VARCHAR(10))");
  for (int i = 1; i <= 500; ++i) {
    std::string category = i % 3 == 0 ? "NULL" : "'Cat " + std::to_string(i % 5) + "'";
    Run("INSERT INTO Products VALUES (" + std::to_string(i) + ", 'Product " + std::to_string(i) + "', " + category +
        ", " + std::to_string(i % 17) + ".25, " + (i % 7 == 0 ? std::string("NULL") : "'C" + std::to_string(i) + "'") + ")");
  }
  Run("CREATE UNIQUE INDEX ByName ON Products (Name DESC)");
  Run("CREATE INDEX ByCategory ON Products (Category ASC, Price DESC) WITH IGNORE NULL");
  Run("CREATE UNIQUE INDEX ByCode ON Products (Code)");  // several NULLs are allowed
  OdbcOutcome duplicate = db().Execute("CREATE UNIQUE INDEX ByCategoryOnly ON Products (Category)");
  EXPECT_EQ(duplicate.sqlstate, "23000") << duplicate.message;
  EXPECT_NE(duplicate.message.find("Category"), std::string::npos) << duplicate.message;
  OdbcOutcome required = db().Execute("CREATE INDEX NoNull ON Products (Code) WITH DISALLOW NULL");
  EXPECT_EQ(required.sqlstate, "23000") << required.message;
  OdbcOutcome again = db().Execute("CREATE INDEX byname ON Products (Price)");
  EXPECT_EQ(again.sqlstate, "42S11") << again.message;
  OdbcOutcome unknown = db().Execute("CREATE INDEX ByColour ON Products (Colour)");
  EXPECT_EQ(unknown.sqlstate, "42S22") << unknown.message;
  OdbcOutcome primary = db().Execute("CREATE INDEX Other ON Products (Code) WITH PRIMARY");
  EXPECT_EQ(primary.sqlstate, "42000") << primary.message;
  OdbcOutcome syntax = db().Execute("CREATE INDEX Bad ON Products (Name) WITH NOTHING");
  EXPECT_EQ(syntax.sqlstate, "42000") << syntax.message;
  // Inserts keep every index; the unique one refuses a repeated name.
  Run("INSERT INTO Products VALUES (501, 'Product 501', 'Cat 1', 1, 'C501')");
  OdbcOutcome repeated = db().Execute("INSERT INTO Products VALUES (502, 'PRODUCT 1', NULL, 1, NULL)");
  EXPECT_EQ(repeated.sqlstate, "23000") << "names compare without regard to case: " << repeated.message;
  // At most 32 indexes.
  for (int i = 4; i < 32; ++i) Run("CREATE INDEX I" + std::to_string(i) + " ON Products (Price" + (i % 2 ? " DESC" : "") + ", Id)");
  OdbcOutcome tooMany = db().Execute("CREATE INDEX I32 ON Products (Id DESC)");
  EXPECT_EQ(tooMany.sqlstate, "42000") << tooMany.message;
  OdbcOutcome eleven = db().Execute("CREATE TABLE Wide (A INT, B INT, C INT, D INT, E INT, F INT, G INT, H INT, I INT, J INT, K INT)");
  ASSERT_TRUE(eleven.ok());
  OdbcOutcome wide = db().Execute("CREATE INDEX All11 ON Wide (A, B, C, D, E, F, G, H, I, J, K)");
  EXPECT_EQ(wide.sqlstate, "42000") << wide.message;

  json doc = CheckedFile();
  if (doc.is_null()) GTEST_SKIP() << "jetcheck is not available";
  const json& indexes = (*JetCheckNamed(doc["tables"], "Products"))["indexes"];
  EXPECT_EQ(indexes.size(), 32u);
  const json* byName = JetCheckNamed(indexes, "ByName");
  ASSERT_NE(byName, nullptr);
  EXPECT_EQ((*byName)["unique"], true);
  EXPECT_EQ((*byName)["ascending"], json({false}));
  const json* byCategory = JetCheckNamed(indexes, "ByCategory");
  EXPECT_EQ((*byCategory)["columns"], json({"Category", "Price"}));
  EXPECT_EQ((*byCategory)["ascending"], json({true, false}));
  EXPECT_EQ((*byCategory)["ignoreNulls"], true);
  EXPECT_EQ(JetCheckNamed(indexes, "ByCategoryOnly"), nullptr);
}

TEST_F(SchemaDdlTest, ForeignKeysBecomeRelationships) {
  Run("CREATE TABLE Customers (Id COUNTER PRIMARY KEY, Name VARCHAR(30))");
  Run("CREATE TABLE Orders (Id INT PRIMARY KEY, CustomerId INT, Note VARCHAR(20))");
  Run("CREATE TABLE Details (OrderId INT, Line SMALLINT, Qty INT, CONSTRAINT PK_Details PRIMARY KEY (OrderId, Line))");
  Run("CREATE TABLE Returns (Id INT PRIMARY KEY, OrderId INT, Line SMALLINT)");
  for (int i = 1; i <= 20; ++i) {
    Run("INSERT INTO Customers (Name) VALUES ('C" + std::to_string(i) + "')");
    Run("INSERT INTO Orders VALUES (" + std::to_string(i) + ", " + (i == 7 ? std::string("NULL") : std::to_string(i)) + ", 'o')");
    Run("INSERT INTO Details VALUES (" + std::to_string(i) + ", 1, 3)");
    Run("INSERT INTO Returns VALUES (" + std::to_string(i) + ", " + std::to_string(i) + ", " + (i == 20 ? "2" : "1") + ")");
  }
  Run("ALTER TABLE Orders ADD CONSTRAINT FK_Orders_Customers FOREIGN KEY (CustomerId) REFERENCES Customers (Id) "
      "ON DELETE CASCADE");
  Run("ALTER TABLE dbo.Details ADD CONSTRAINT FK_Details_Orders FOREIGN KEY (OrderId) REFERENCES Orders "
      "ON UPDATE CASCADE ON DELETE CASCADE");
  OdbcOutcome broken = db().Execute("ALTER TABLE Returns ADD CONSTRAINT FK_Returns_Details FOREIGN KEY (OrderId, Line) "
                                    "REFERENCES Details (OrderId, Line)");
  EXPECT_EQ(broken.rc, SQL_SUCCESS_WITH_INFO) << broken.message;
  EXPECT_EQ(broken.sqlstate, "01000");
  EXPECT_NE(broken.message.find("not enforced"), std::string::npos) << broken.message;
  OdbcOutcome orphan = db().Execute("INSERT INTO Orders VALUES (100, 99, 'nobody')");
  EXPECT_EQ(orphan.sqlstate, "23000") << orphan.message;
  Run("INSERT INTO Orders VALUES (101, 20, 'somebody')");
  Run("INSERT INTO Returns VALUES (100, 77, 1)");  // not enforced
  OdbcOutcome noKey = db().Execute("ALTER TABLE Orders ADD CONSTRAINT ByNote FOREIGN KEY (Note) REFERENCES Customers (Name)");
  EXPECT_EQ(noKey.sqlstate, "42000") << noKey.message;
  OdbcOutcome taken = db().Execute("ALTER TABLE Orders ADD CONSTRAINT fk_orders_customers FOREIGN KEY (CustomerId) REFERENCES Customers");
  EXPECT_EQ(taken.sqlstate, "42000") << taken.message;
  OdbcOutcome check = db().Execute("ALTER TABLE Orders ADD CONSTRAINT CK CHECK (Id)");
  EXPECT_EQ(check.sqlstate, "42000") << check.message;
  // NOT ENFORCED: kept without referential integrity though the rows keep it; no warning.
  OdbcOutcome unenforced = db().Execute("ALTER TABLE Returns ADD CONSTRAINT FK_Returns_Orders FOREIGN KEY (OrderId) "
                                        "REFERENCES Orders (Id) NOT ENFORCED");
  EXPECT_EQ(unenforced.rc, SQL_SUCCESS) << unenforced.message;
  Run("INSERT INTO Returns VALUES (101, 555, 1)");

  json doc = CheckedFile();
  if (doc.is_null()) GTEST_SKIP() << "jetcheck is not available";
  const json& relationships = doc["relationships"];
  ASSERT_EQ(relationships.size(), 4u) << relationships.dump();
  const json* oc = JetCheckNamed(relationships, "FK_Orders_Customers");
  ASSERT_NE(oc, nullptr);
  EXPECT_EQ((*oc)["fromTable"], "Customers");
  EXPECT_EQ((*oc)["toTable"], "Orders");
  EXPECT_EQ((*oc)["toColumns"], json({"CustomerId"}));
  EXPECT_EQ((*oc)["enforced"], true);
  EXPECT_EQ((*oc)["cascadeDeletes"], true);
  const json* od = JetCheckNamed(relationships, "FK_Details_Orders");
  EXPECT_EQ((*od)["fromColumns"], json({"Id"}));
  EXPECT_EQ((*od)["cascadeUpdates"], true);
  const json* rd = JetCheckNamed(relationships, "FK_Returns_Details");
  EXPECT_EQ((*rd)["enforced"], false);
  EXPECT_EQ((*rd)["fromColumns"], json({"OrderId", "Line"}));
  const json* ro = JetCheckNamed(relationships, "FK_Returns_Orders");
  ASSERT_NE(ro, nullptr);
  EXPECT_EQ((*ro)["enforced"], false);
  const json& orderIndexes = (*JetCheckNamed(doc["tables"], "Orders"))["indexes"];
  EXPECT_EQ((*JetCheckNamed(orderIndexes, "FK_Orders_Customers"))["foreignKey"], true);
}

// CONSTRAINT name CHECK (...): a column's as its field rule, the table's as the
// table rule; enforced on insert, also by a later connection, and read back by
// jetcheck as Access's ValidationRule/ValidationText properties.
TEST_F(SchemaDdlTest, CheckConstraintsAreValidationRules) {
  Run("CREATE TABLE Stock (Id INT PRIMARY KEY, Qty INT CONSTRAINT CK_Qty CHECK (>=0 And <=100) NOT NULL, "
      "Code VARCHAR(5) CHECK (Like \"[A-Z]#\"), Low INT, High INT, CONSTRAINT CK_Range CHECK ([Low]<=[High]))");
  Run("INSERT INTO Stock VALUES (1, 5, 'A1', 1, 2)");
  const std::pair<const char*, const char*> broken[] = {
      {"INSERT INTO Stock VALUES (2, 101, 'A1', 1, 2)", "CK_Qty"},
      {"INSERT INTO Stock VALUES (3, 5, 'AA', 1, 2)", "validation rule"},
      {"INSERT INTO Stock VALUES (4, 5, 'A1', 3, 2)", "CK_Range"},
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& [sql, text] : broken) {
      OdbcOutcome outcome = db().Execute(sql);
      EXPECT_EQ(outcome.sqlstate, "23000") << sql;
      EXPECT_NE(outcome.message.find(text), std::string::npos) << outcome.message;
    }
    Disconnect();
    session_ = OdbcSession::Connect("DSN=" + dsn_);
    ASSERT_TRUE(session_);
  }
  Run("INSERT INTO Stock VALUES (5, 0, NULL, NULL, 2)");
  OdbcOutcome other = db().Execute("CREATE TABLE Bad (A INT CONSTRAINT CK_A CHECK ([B]>0), B INT)");
  EXPECT_EQ(other.sqlstate, "42000") << "a field rule names only its field: " << other.message;
  OdbcOutcome unknown = db().Execute("CREATE TABLE Bad (A INT, CHECK (Foo([A])>0))");
  EXPECT_EQ(unknown.sqlstate, "42000") << unknown.message;

  json doc = CheckedFile();
  if (doc.is_null()) GTEST_SKIP() << "jetcheck is not available";
  const json& columns = ColumnsOf(doc, "Stock");
  EXPECT_EQ((*JetCheckNamed(columns, "Qty"))["properties"]["ValidationRule"], ">=0 And <=100");
  EXPECT_EQ((*JetCheckNamed(columns, "Qty"))["properties"]["ValidationText"], "The row breaks the CHECK constraint CK_Qty");
  EXPECT_EQ((*JetCheckNamed(columns, "Code"))["properties"]["ValidationRule"], "Like \"[A-Z]#\"");
  const json& table = *JetCheckNamed(doc["tables"], "Stock");
  EXPECT_EQ(table["properties"]["ValidationRule"], "[Low]<=[High]");
  EXPECT_EQ(table["properties"]["ValidationText"], "The row breaks the CHECK constraint CK_Range");
}

TEST_F(SchemaDdlTest, NamesAccessCannotHoldAreRefused) {
  struct Case {
    std::string sql;
    std::string state;
    std::string inMessage;
  };
  const std::string longName(100, 'x');
  const Case cases[] = {
      {"CREATE TABLE \"dot.name\" (A INT)", "42000", "'.'"},
      {"CREATE TABLE [bang!] (A INT)", "42000", "'!'"},
      {"CREATE TABLE \"back`tick\" (A INT)", "42000", "'`'"},
      {"CREATE TABLE \"open[\" (A INT)", "42000", "'['"},
      {"CREATE TABLE \" lead\" (A INT)", "42000", "starts with a blank"},
      {"CREATE TABLE \"tab\there\" (A INT)", "42000", "control character"},
      {"CREATE TABLE T (\"a.b\" INT)", "42000", "'.'"},
      {"CREATE TABLE \"" + longName + "\" (A INT)", "42000", "'" + std::string(64, 'x') + "...'"},
      {"CREATE TABLE T (\"" + longName + "\" INT)", "42000", "longer than 64"},
      {"CREATE TABLE T (A INT, B INT, CONSTRAINT \"pk.x\" PRIMARY KEY (A))", "42000", "'.'"},
      {"INSERT INTO \"" + longName + "\" VALUES (1)", "42S02", "\"" + std::string(64, 'x') + "...\""},
      {"CREATE TABLE Ok (A INT)", "", ""},
      {"CREATE TABLE OK (A INT)", "42S01", "already exists"},
      {"CREATE INDEX \"i.x\" ON Ok (A)", "42000", "'.'"},
      {"ALTER TABLE Ok ADD CONSTRAINT \"f!k\" FOREIGN KEY (A) REFERENCES Ok (A)", "42000", "'!'"},
  };
  for (const auto& c : cases) {
    OdbcOutcome outcome = db().Execute(c.sql);
    if (c.state.empty()) {
      EXPECT_TRUE(outcome.ok()) << c.sql << "\n" << outcome.message;
      continue;
    }
    EXPECT_EQ(outcome.sqlstate, c.state) << c.sql << "\n" << outcome.message;
    EXPECT_NE(outcome.message.find(c.inMessage), std::string::npos) << c.sql << "\n" << outcome.message;
    EXPECT_EQ(outcome.message.find(std::string(65, 'x')), std::string::npos) << "the name is cut: " << outcome.message;
  }
  CheckedFile();
}

}  // namespace
}  // namespace talvoro::test
