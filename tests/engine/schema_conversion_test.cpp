// The whole schema through the real stack: the stand-in's catalog read by
// FreeTDS, our Access driver writing identity columns as AutoNumbers, defaults,
// secondary indexes and relationships, and names Access can hold; the file then
// read by jetcheck (schema facts), mdbtools and mdb-reader.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/conversion_run.h"
#include "independent_readers.h"
#include "jetcheck_json.h"
#include "odbc/data_sources.h"
#include "odbc_sandbox.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using nlohmann::json;

constexpr char kDatabase[] = "SchemaSrc";

// Seventy characters: six more than Access holds.
const std::string kLongName = "Quarterly figures of every region and every product line, kept for ages";

std::vector<std::string> SchemaFixture() {
  std::string wideIndex = "CREATE INDEX IX_Wide_All ON Wide (";
  std::string wideColumns;
  for (int i = 0; i < 11; ++i) {
    wideIndex += (i ? ", c" : "c") + std::to_string(i);
    wideColumns += ", c" + std::to_string(i) + " int NULL";
  }
  // One index more than Access allows on a table, with its primary key.
  std::vector<std::string> manyIndexes;
  for (int i = 0; i < 32; ++i) {
    manyIndexes.push_back("CREATE INDEX IX_Many_" + std::to_string(i) + " ON Wide (c" + std::to_string(i % 11) +
                          (i / 11 == 1 ? " DESC" : "") + (i / 11 == 2 ? ", WideID" : "") + ")");
  }
  std::vector<std::string> statements = {
      "CREATE TABLE Regions (RegionID int NOT NULL PRIMARY KEY, Name nvarchar(30) NOT NULL)",
      "INSERT INTO Regions VALUES (1, N'North')",
      "CREATE TABLE Customers (CustomerID nchar(5) NOT NULL CONSTRAINT PK_Customers PRIMARY KEY, "
      "CompanyName nvarchar(40) NOT NULL, Country nvarchar(15) NULL CONSTRAINT DF_Customers_Country "
      "DEFAULT (N'USA'), Email varchar(60) NULL CONSTRAINT UQ_Customers_Email UNIQUE)",
      "INSERT INTO Customers (CustomerID, CompanyName, Email) VALUES (N'ALFKI', N'Alfreds', 'a@x')",
      "INSERT INTO Customers (CustomerID, CompanyName, Email) VALUES (N'BONAP', N'Bon app''', NULL)",
      "CREATE TABLE Products (ProductID int IDENTITY(1,1) NOT NULL PRIMARY KEY, ProductName nvarchar(40) "
      "NOT NULL, UnitPrice money NULL DEFAULT 0, Discount real NULL DEFAULT ((0.5)), Discontinued bit NOT "
      "NULL DEFAULT ((1)), Stock smallint NULL DEFAULT ((-5)), Category varchar(20) NOT NULL DEFAULT "
      "'misc', AddedAt datetime NOT NULL DEFAULT (getdate()), AddedOn date NULL DEFAULT (getdate()), "
      "Code uniqueidentifier NULL DEFAULT newid(), UtcAdded datetime NULL DEFAULT getutcdate(), "
      "Weight int NULL CONSTRAINT CK_Products_Weight CHECK (Weight > 0), Blurb varchar(400) NULL)",
      "CREATE UNIQUE INDEX IX_Products_Name ON Products (ProductName)",
      "CREATE INDEX IX_Products_Category_Price ON Products (Category ASC, UnitPrice DESC)",
      "CREATE INDEX IX_Products_Blurb ON Products (Blurb)",
      "SET IDENTITY_INSERT Products ON",
      "INSERT INTO Products (ProductID, ProductName, Category, AddedAt) VALUES (1, N'Chai', 'tea', "
      "'2024-01-01')",
      "INSERT INTO Products (ProductID, ProductName, Category, AddedAt) VALUES (2, N'Chang', 'tea', "
      "'2024-01-02')",
      "INSERT INTO Products (ProductID, ProductName, Category, AddedAt) VALUES (10, N'Tofu', 'food', "
      "'2024-01-03')",
      "SET IDENTITY_INSERT Products OFF",
      "CREATE TABLE Employees (EmployeeID int IDENTITY(1,1) NOT NULL PRIMARY KEY, LastName nvarchar(20) "
      "NOT NULL, ReportsTo int NULL CONSTRAINT FK_Employees_Boss REFERENCES Employees (EmployeeID))",
      "INSERT INTO Employees (LastName) VALUES (N'Fuller')",
      "INSERT INTO Employees (LastName, ReportsTo) VALUES (N'Davolio', 1)",
      "CREATE TABLE Orders (OrderID int IDENTITY(100,1) NOT NULL CONSTRAINT PK_Orders PRIMARY KEY, "
      "CustomerID nchar(5) NOT NULL, EmployeeID int NULL, RegionID int NULL, "
      "CONSTRAINT FK_Orders_Customers FOREIGN KEY (CustomerID) REFERENCES Customers (CustomerID), "
      "CONSTRAINT FK_Orders_Regions FOREIGN KEY (RegionID) REFERENCES Regions (RegionID))",
      "ALTER TABLE Orders ADD CONSTRAINT FK_Orders_Employees FOREIGN KEY (EmployeeID) REFERENCES Employees",
      "INSERT INTO Orders (CustomerID, EmployeeID, RegionID) VALUES (N'ALFKI', 2, 1)",
      "INSERT INTO Orders (CustomerID, EmployeeID, RegionID) VALUES (N'BONAP', 1, NULL)",
      "CREATE TABLE [Order Details] (OrderID int NOT NULL, ProductID int NOT NULL, Quantity smallint NOT "
      "NULL DEFAULT 1, CONSTRAINT PK_Order_Details PRIMARY KEY (OrderID, ProductID))",
      "ALTER TABLE [Order Details] ADD CONSTRAINT FK_Details_Orders FOREIGN KEY (OrderID) REFERENCES Orders "
      "(OrderID) ON DELETE CASCADE ON UPDATE CASCADE",
      "ALTER TABLE [Order Details] ADD CONSTRAINT FK_Details_Products FOREIGN KEY (ProductID) REFERENCES "
      "Products (ProductID)",
      "CREATE INDEX IX_Details_Product ON [Order Details] (ProductID DESC, Quantity)",
      "INSERT INTO [Order Details] (OrderID, ProductID) VALUES (100, 1)",
      "INSERT INTO [Order Details] (OrderID, ProductID, Quantity) VALUES (100, 2, 4)",
      "INSERT INTO [Order Details] (OrderID, ProductID) VALUES (101, 10)",
      // A composite key whose columns are listed in another order than the key's.
      "CREATE TABLE Shipments (OrderID int NOT NULL, ProductID int NOT NULL, Line int NOT NULL, "
      "PRIMARY KEY (OrderID, ProductID, Line), CONSTRAINT FK_Shipments_Details FOREIGN KEY (ProductID, "
      "OrderID) REFERENCES [Order Details] (ProductID, OrderID))",
      "INSERT INTO Shipments VALUES (100, 2, 1)",
      // Rows that break the key, added before it and not checked.
      "CREATE TABLE Audit (AuditID int NOT NULL PRIMARY KEY, OrderID int NULL)",
      "INSERT INTO Audit VALUES (1, 100)",
      "INSERT INTO Audit VALUES (2, 999)",
      "ALTER TABLE Audit WITH NOCHECK ADD CONSTRAINT FK_Audit_Orders FOREIGN KEY (OrderID) REFERENCES "
      "Orders (OrderID)",
      "CREATE TABLE Readings (ReadingID int NOT NULL PRIMARY KEY, TakenAt datetime2(7) NOT NULL, "
      "TimeOfDay time(7) NULL, Coarse datetime2(3) NULL)",
      "INSERT INTO Readings VALUES (1, '2024-01-01 12:00:00.1234567', '10:00:00.0000001', "
      "'2024-01-01 12:00:00.123')",
      "INSERT INTO Readings VALUES (2, '2024-01-01 12:00:00.1230000', '10:00:00', NULL)",
      "CREATE TABLE BigIds (BigID bigint IDENTITY(1,1) NOT NULL PRIMARY KEY, Note varchar(10) NULL)",
      "INSERT INTO BigIds (Note) VALUES ('x')",
      "CREATE TABLE Wide (WideID int NOT NULL PRIMARY KEY" + wideColumns + ")",
      wideIndex + ")",
      "INSERT INTO Wide (WideID) VALUES (1)",
      // Keys longer than an Access index entry holds.
      "CREATE TABLE LongKeys (KeyID int NOT NULL PRIMARY KEY, k1 nvarchar(255) NULL, k2 nvarchar(255) NULL, "
      "k3 nvarchar(255) NULL, k4 nvarchar(255) NULL)",
      "CREATE INDEX IX_LongKeys_All ON LongKeys (k1, k2, k3, k4)",
      "INSERT INTO LongKeys VALUES (1, N'" + std::string(255, 'k') + "', N'" + std::string(255, 'l') + "', N'" +
          std::string(255, 'm') + "', N'" + std::string(255, 'n') + "')",
      // Names Access cannot hold as they are.
      "CREATE TABLE [dot.name!] ([a.b] int NULL, [A_B] int NULL, [ lead] int NULL, [x`y] int NULL, "
      "[" + std::string(70, 'c') + "] int NULL)",
      "INSERT INTO [dot.name!] VALUES (1, 2, 3, 4, 5)",
      "CREATE TABLE [DOT_NAME_] (id int NOT NULL PRIMARY KEY)",
      "INSERT INTO [DOT_NAME_] VALUES (7)",
      "CREATE TABLE [" + kLongName + "] (id int NULL)",
      "INSERT INTO [" + kLongName + "] VALUES (8)",
      "CREATE TABLE counter (id int NOT NULL PRIMARY KEY)",
      // Keys the conversion widens (smallint and tinyint identities become Long
      // AutoNumbers), referred to by columns of the source's narrower types.
      "CREATE TABLE jobs (job_id smallint IDENTITY(1,1) NOT NULL PRIMARY KEY, job_desc varchar(50) NOT NULL)",
      "INSERT INTO jobs (job_desc) VALUES ('New Hire')",
      "CREATE TABLE Grades (GradeID tinyint IDENTITY(1,1) NOT NULL PRIMARY KEY, Label varchar(10) NULL)",
      "INSERT INTO Grades (Label) VALUES ('A')",
      "CREATE TABLE employee (emp_id char(9) NOT NULL PRIMARY KEY, job_id smallint NOT NULL CONSTRAINT "
      "FK_employee_jobs REFERENCES jobs (job_id), grade tinyint NULL CONSTRAINT FK_employee_Grades "
      "REFERENCES Grades (GradeID), bonus smallint NULL)",
      "INSERT INTO employee VALUES ('PMA42628M', 1, 1, 5)",
      // CHECK constraints of each common form: field rules and table rules.
      "CREATE TABLE Rules (RuleID int NOT NULL PRIMARY KEY, "
      "Discount real NULL CONSTRAINT CK_Rules_Discount CHECK ([Discount]>=(0) AND [Discount]<=(1)), "
      "UnitPrice money NULL CONSTRAINT CK_Rules_UnitPrice CHECK ([UnitPrice]>=(0)), "
      "BirthDate datetime NULL CONSTRAINT CK_Rules_BirthDate CHECK ([BirthDate]<getdate()), "
      "emp_id char(9) NULL CONSTRAINT CK_emp_id CHECK ([emp_id] like "
      "'[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]' or [emp_id] like '[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]'), "
      "Country nvarchar(15) NULL CONSTRAINT CK_Rules_Country CHECK ([Country] IN ('USA','UK')), "
      "StartDate datetime NULL, EndDate datetime NULL, "
      "Code varchar(5) NULL CONSTRAINT CK_Rules_Code CHECK (len([Code])=(3)), "
      "Half int NULL CONSTRAINT CK_Rules_Half CHECK ([Half]/(2)>(0)), "
      "CONSTRAINT CK_Rules_Dates CHECK ([EndDate]>=[StartDate]))",
      "INSERT INTO Rules VALUES (1, 0.5, 10, '1990-01-01', 'PMA42628M', N'USA', '2024-01-01', '2024-02-01', 'ABC', 4)",
  };
  statements.insert(statements.end(), manyIndexes.begin(), manyIndexes.end());
  return statements;
}

class SchemaConversionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SourceServer();
    server_->Execute("", {std::string("CREATE DATABASE ") + kDatabase});
    server_->Execute(kDatabase, SchemaFixture());
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    settings_.databaseName = kDatabase;
    settings_.destPath = dir_.File("schema.mdb");
    settings_.authMode = "sql";
    settings_.loginName = kSqlLogin;
    settings_.password = kSqlPassword;
    odbc::RegisterSourceDsn(kDatabase, "dsns");
  }

  engine::ConversionResult Run(const std::vector<std::string>& tables) {
    engine::ConversionObserver quiet;
    return engine::RunConversion(tables, settings_, quiet);
  }

  static const engine::TableOutcome& Outcome(const engine::ConversionResult& r, const std::string& name) {
    for (const auto& t : r.tables) {
      if (t.sourceName == name) return t;
    }
    throw std::runtime_error("no outcome for " + name);
  }

  // The note of `table` that holds every one of `parts`.
  static bool HasNote(const engine::ConversionResult& r, const std::string& table,
                      const std::vector<std::string>& parts) {
    for (const std::string& note : Outcome(r, table).notes) {
      if (std::all_of(parts.begin(), parts.end(), [&](const std::string& p) { return note.find(p) != std::string::npos; }))
        return true;
    }
    return false;
  }

  static SourceServer* server_;
  TempDir dir_{"talvoro-schema"};
  engine::ConversionSettings settings_;
};

SourceServer* SchemaConversionTest::server_ = nullptr;

// mdbtools (every table exported) and mdb-reader, then jetverify and jetcheck --strict.
void ExpectReadersAccept(const std::string& path) {
  MdbToolsRead tools = ReadWithMdbTools(path);
  EXPECT_TRUE(tools.ok) << tools.problems;
  for (const std::string& table : tools.tables) {
    MdbExport exported = ExportWithMdbTools(path, table);
    EXPECT_TRUE(exported.ok) << table << ": " << exported.problems;
  }
  MdbReaderRead reader = ReadWithMdbReader(path);
  EXPECT_TRUE(reader.ok) << reader.problems;
}

const json& Named(const json& list, const std::string& name) {
  static const json none;
  const json* found = JetCheckNamed(list, name);
  EXPECT_NE(found, nullptr) << name << " in " << list.dump().substr(0, 1500);
  return found ? *found : none;
}

TEST_F(SchemaConversionTest, IdentityDefaultsIndexesAndRelationshipsArrive) {
  const std::vector<std::string> tables = {"Customers", "Products", "Employees", "Orders", "Order Details",
                                           "Shipments", "Audit",    "Readings",  "BigIds", "Wide",
                                           "LongKeys"};
  const engine::ConversionResult result = Run(tables);
  for (const auto& t : result.tables) EXPECT_TRUE(t.converted) << t.sourceName << ": " << t.failure;
  const std::string notes = engine::ConversionNotesText(result);
  SCOPED_TRACE(notes);

  const JetCheckJson check = RunJetCheckJson(settings_.destPath);
  ASSERT_TRUE(check.ran) << "jetcheck is needed for the schema facts";
  ASSERT_TRUE(check.ok) << check.output;
  const json& doc = check.document;

  // AutoNumbers; a bigint identity stays a plain number and says so.
  const json& products = Named(doc["tables"], "Products");
  EXPECT_EQ(Named(products["columns"], "ProductID")["autoNumber"], true);
  EXPECT_EQ(Named(Named(doc["tables"], "Employees")["columns"], "EmployeeID")["autoNumber"], true);
  EXPECT_EQ(Named(Named(doc["tables"], "BigIds")["columns"], "BigID")["autoNumber"], false);
  EXPECT_TRUE(HasNote(result, "BigIds", {"\"BigID\"", "AutoNumber"}));

  // Defaults as Access expressions; those without an equivalent are listed.
  const std::vector<std::pair<std::string, std::string>> defaults = {
      {"UnitPrice", "0"},        {"Discount", "0.5"},       {"Discontinued", "True"},
      {"Stock", "-5"},           {"Category", "\"misc\""},  {"AddedAt", "Now()"},
      {"AddedOn", "Date()"}};
  for (const auto& [column, value] : defaults) {
    EXPECT_EQ(Named(products["columns"], column)["properties"]["DefaultValue"], value) << column;
  }
  EXPECT_EQ(Named(Named(doc["tables"], "Customers")["columns"], "Country")["properties"]["DefaultValue"], "\"USA\"");
  for (const char* column : {"Code", "UtcAdded", "ProductName"}) {
    EXPECT_FALSE(Named(products["columns"], column)["properties"].contains("DefaultValue")) << column;
  }
  EXPECT_TRUE(HasNote(result, "Products", {"newid()", "\"Code\""}));
  EXPECT_TRUE(HasNote(result, "Products", {"getutcdate()", "\"UtcAdded\""}));
  EXPECT_EQ(Named(products["columns"], "Weight")["properties"]["ValidationRule"], ">0") << "a CHECK is a validation rule";

  // Secondary indexes, unique and not, several columns, descending.
  const json& productIndexes = products["indexes"];
  EXPECT_EQ(Named(productIndexes, "IX_Products_Name")["unique"], true);
  EXPECT_EQ(Named(productIndexes, "IX_Products_Name")["columns"], json({"ProductName"}));
  EXPECT_EQ(Named(productIndexes, "IX_Products_Category_Price")["unique"], false);
  EXPECT_EQ(Named(productIndexes, "IX_Products_Category_Price")["columns"], json({"Category", "UnitPrice"}));
  EXPECT_EQ(Named(productIndexes, "IX_Products_Category_Price")["ascending"], json({true, false}));
  EXPECT_EQ(Named(Named(doc["tables"], "Order Details")["indexes"], "IX_Details_Product")["ascending"],
            json({false, true}));
  EXPECT_EQ(Named(Named(doc["tables"], "Customers")["indexes"], "UQ_Customers_Email")["unique"], true);
  EXPECT_EQ(JetCheckNamed(productIndexes, "IX_Products_Blurb"), nullptr);
  EXPECT_TRUE(HasNote(result, "Products", {"IX_Products_Blurb", "Memo"}));
  EXPECT_TRUE(HasNote(result, "Wide", {"IX_Wide_All", "at most 10"}));
  const json& wideIndexes = Named(doc["tables"], "Wide")["indexes"];
  EXPECT_EQ(wideIndexes.size(), 32u) << "the primary key and 31 more";
  // The catalog lists indexes by name: the last of them is the one left out.
  EXPECT_NE(JetCheckNamed(wideIndexes, "IX_Many_31"), nullptr);
  EXPECT_EQ(JetCheckNamed(wideIndexes, "IX_Many_9"), nullptr);
  EXPECT_TRUE(HasNote(result, "Wide", {"IX_Many_9", "at most 32"}));
  EXPECT_EQ(JetCheckNamed(Named(doc["tables"], "LongKeys")["indexes"], "IX_LongKeys_All"), nullptr);
  EXPECT_TRUE(HasNote(result, "LongKeys", {"IX_LongKeys_All", "bytes"}));

  // Relationships between chosen tables: self-reference, composite, cascades, and
  // one whose rows break it (kept, not enforced); the one to a table not chosen is listed.
  const json& relationships = doc["relationships"];
  const json& boss = Named(relationships, "FK_Employees_Boss");
  EXPECT_EQ(boss["fromTable"], "Employees");
  EXPECT_EQ(boss["toTable"], "Employees");
  EXPECT_EQ(boss["toColumns"], json({"ReportsTo"}));
  EXPECT_EQ(boss["enforced"], true);
  const json& details = Named(relationships, "FK_Details_Orders");
  EXPECT_EQ(details["fromTable"], "Orders");
  EXPECT_EQ(details["toTable"], "Order Details");
  EXPECT_EQ(details["cascadeDeletes"], true);
  EXPECT_EQ(details["cascadeUpdates"], true);
  EXPECT_EQ(Named(relationships, "FK_Details_Products")["cascadeDeletes"], false);
  const json& shipments = Named(relationships, "FK_Shipments_Details");
  EXPECT_EQ(shipments["fromColumns"], json({"OrderID", "ProductID"}));
  EXPECT_EQ(shipments["toColumns"], json({"OrderID", "ProductID"}));
  EXPECT_EQ(shipments["enforced"], true);
  EXPECT_EQ(Named(relationships, "FK_Audit_Orders")["enforced"], false);
  EXPECT_TRUE(HasNote(result, "Audit", {"FK_Audit_Orders", "not enforced"}));
  EXPECT_EQ(Named(relationships, "FK_Orders_Customers")["enforced"], true);
  EXPECT_EQ(Named(relationships, "FK_Orders_Employees")["enforced"], true);
  EXPECT_EQ(JetCheckNamed(relationships, "FK_Orders_Regions"), nullptr);
  EXPECT_TRUE(HasNote(result, "Orders", {"FK_Orders_Regions", "Regions", "not among the converted tables"}));

  // Values below the millisecond, counted: one datetime2(7) and one time(7) value.
  EXPECT_TRUE(HasNote(result, "Readings", {"2 datetime2 or time values"}));
  EXPECT_TRUE(Outcome(result, "Customers").notes.empty()) << notes;

  ExpectReadersAccept(settings_.destPath);

  // The next AutoNumber is one above the largest value copied.
  ASSERT_TRUE(odbc::RegisterDestDsn(settings_.destPath, "dsna", ""));
  {
    odbc::Database db;
    db.OpenEx(odbc::kDestConnectString);
    db.ExecuteSQL("INSERT INTO \"Products\" (\"ProductName\") VALUES ('Ikura')");
    odbc::Recordset rs(db);
    rs.Open("SELECT * FROM \"Products\"");
    std::int64_t largest = 0, id = 0;
    std::string name, category;
    while (rs.Fetch()) {
      rs.GetInt64(0, id);
      rs.GetText(1, name);
      if (name == "Ikura") {
        EXPECT_EQ(id, 11);
        rs.GetText(6, category);
        EXPECT_EQ(category, "misc") << "the default applies to the new row";
      }
      largest = std::max(largest, id);
    }
    EXPECT_EQ(largest, 11);
  }
  EXPECT_TRUE(odbc::RemoveDestDsn(settings_.destPath, "dsna", ""));
  ExpectReadersAccept(settings_.destPath);
}

// The referencing table comes first: its columns follow keys not yet created.
TEST_F(SchemaConversionTest, ColumnsFollowTheKeysTheConversionWidened) {
  const engine::ConversionResult result = Run({"employee", "jobs", "Grades"});
  for (const auto& t : result.tables) EXPECT_TRUE(t.converted) << t.sourceName << ": " << t.failure;
  const std::string notes = engine::ConversionNotesText(result);
  SCOPED_TRACE(notes);
  EXPECT_TRUE(HasNote(result, "employee", {"\"job_id\" is a Long Integer", "\"jobs\"", "AutoNumber"}));
  EXPECT_TRUE(HasNote(result, "employee", {"\"grade\" is a Long Integer", "\"Grades\"", "AutoNumber"}));
  EXPECT_FALSE(HasNote(result, "employee", {"\"bonus\""})) << "a column that refers to nothing keeps its type";

  const JetCheckJson check = RunJetCheckJson(settings_.destPath);
  ASSERT_TRUE(check.ran) << "jetcheck is needed for the schema facts";
  ASSERT_TRUE(check.ok) << check.output;
  const json& relationships = check.document["relationships"];
  for (const auto& [name, key] : {std::pair{"FK_employee_jobs", "jobs"}, std::pair{"FK_employee_Grades", "Grades"}}) {
    const json& rel = Named(relationships, name);
    EXPECT_EQ(rel["fromTable"], key) << name;
    EXPECT_EQ(rel["toTable"], "employee") << name;
    EXPECT_EQ(rel["enforced"], true) << name;
  }
  const json& columns = Named(check.document["tables"], "employee")["columns"];
  EXPECT_EQ(Named(columns, "job_id")["type"], Named(columns, "grade")["type"]);
  EXPECT_NE(Named(columns, "bonus")["type"], Named(columns, "job_id")["type"]) << columns.dump();
  ExpectReadersAccept(settings_.destPath);
}

// Each CHECK form as a validation rule (read back by jetcheck), then enforced by
// our driver: a row breaking it refused with its text, a row keeping it stored.
TEST_F(SchemaConversionTest, CheckConstraintsBecomeValidationRules) {
  const engine::ConversionResult result = Run({"Rules"});
  ASSERT_TRUE(result.AllConverted()) << result.tables[0].failure;
  const std::string notes = engine::ConversionNotesText(result);
  SCOPED_TRACE(notes);
  EXPECT_TRUE(HasNote(result, "Rules", {"CK_Rules_Half", "is not carried", "division"}));

  const JetCheckJson check = RunJetCheckJson(settings_.destPath);
  ASSERT_TRUE(check.ran) << "jetcheck is needed for the schema facts";
  ASSERT_TRUE(check.ok) << check.output;
  const json& rules = Named(check.document["tables"], "Rules");
  const std::vector<std::pair<std::string, std::string>> fieldRules = {
      {"Discount", ">=0 And <=1"},
      {"UnitPrice", ">=0"},
      {"BirthDate", "<Now()"},
      {"emp_id", "Like \"[A-Z][A-Z][A-Z][1-9][0-9][0-9][0-9][0-9][FM]\" Or Like "
                 "\"[A-Z]-[A-Z][1-9][0-9][0-9][0-9][0-9][FM]\""},
      {"Country", "In (\"USA\",\"UK\")"}};
  for (const auto& [column, rule] : fieldRules) {
    const json& props = Named(rules["columns"], column)["properties"];
    EXPECT_EQ(props["ValidationRule"], rule) << column;
    EXPECT_NE(props.value("ValidationText", std::string()).find("CK_"), std::string::npos) << props.dump();
  }
  const json& tableProps = rules["properties"];
  EXPECT_EQ(tableProps["ValidationRule"], "(Len(RTrim([Code]))=3) And ([EndDate]>=[StartDate])") << rules.dump();
  EXPECT_NE(tableProps.value("ValidationText", std::string()).find("CK_Rules_Dates"), std::string::npos);
  ExpectReadersAccept(settings_.destPath);

  ASSERT_TRUE(odbc::RegisterDestDsn(settings_.destPath, "dsna", ""));
  {
    odbc::Database db;
    db.OpenEx(odbc::kDestConnectString);
    struct Insert {
      const char* values;  // after RuleID
      const char* broken;  // the constraint the text names; nullptr: the row is stored
    };
    const Insert inserts[] = {
        {"Discount) VALUES (%d, 1.5)", "CK_Rules_Discount"},
        {"Discount) VALUES (%d, 1)", nullptr},
        {"UnitPrice) VALUES (%d, -0.01)", "CK_Rules_UnitPrice"},
        {"BirthDate) VALUES (%d, '2999-01-01')", "CK_Rules_BirthDate"},
        {"BirthDate) VALUES (%d, '1999-01-01')", nullptr},
        {"emp_id) VALUES (%d, 'PMA02628M')", "CK_emp_id"},
        {"emp_id) VALUES (%d, 'P-A42628F')", nullptr},
        {"Country) VALUES (%d, 'France')", "CK_Rules_Country"},
        {"Country) VALUES (%d, 'UK')", nullptr},
        {"Code) VALUES (%d, 'AB ')", "CK_Rules_Dates"},
        {"StartDate, EndDate) VALUES (%d, '2024-02-01', '2024-01-01')", "CK_Rules_Dates"},
        {"StartDate, EndDate, Code) VALUES (%d, '2024-01-01', '2024-01-01', 'XYZ')", nullptr},
    };
    int id = 100;
    for (const Insert& insert : inserts) {
      char sql[200];
      std::snprintf(sql, sizeof sql, insert.values, ++id);
      const std::string statement = std::string("INSERT INTO \"Rules\" (RuleID, ") + sql;
      if (!insert.broken) {
        EXPECT_NO_THROW(db.ExecuteSQL(statement)) << statement;
        continue;
      }
      try {
        db.ExecuteSQL(statement);
        ADD_FAILURE() << "stored: " << statement;
      } catch (const odbc::DBException& e) {
        EXPECT_EQ(e.sqlState(), "23000") << statement;
        EXPECT_NE(std::string(e.what()).find(insert.broken), std::string::npos) << statement << ": " << e.what();
      }
    }
    odbc::Recordset count(db);
    count.Open("SELECT COUNT(*) FROM \"Rules\"");
    std::int64_t rows = 0;
    ASSERT_TRUE(count.Fetch() && count.GetInt64(0, rows));
    EXPECT_EQ(rows, 6) << "the copied row and the five that keep their rules";
  }
  EXPECT_TRUE(odbc::RemoveDestDsn(settings_.destPath, "dsna", ""));
  ExpectReadersAccept(settings_.destPath);
}

TEST_F(SchemaConversionTest, NamesAccessCannotHoldAreReplacedAndListed) {
  const engine::ConversionResult result = Run({"dot.name!", "DOT_NAME_", kLongName, "counter"});
  for (const auto& t : result.tables) EXPECT_TRUE(t.converted) << t.sourceName << ": " << t.failure;
  SCOPED_TRACE(engine::ConversionNotesText(result));

  EXPECT_EQ(Outcome(result, "dot.name!").destName, "dot_name_");
  EXPECT_EQ(Outcome(result, "DOT_NAME_").destName, "DOT_NAME__2");
  EXPECT_EQ(Outcome(result, kLongName).destName, kLongName.substr(0, 64));
  EXPECT_EQ(Outcome(result, "counter").destName, "countr");
  for (const auto& t : result.tables) {
    EXPECT_TRUE(HasNote(result, t.sourceName, {"the table is called \"" + t.destName + "\""})) << t.sourceName;
  }
  const std::vector<std::pair<std::string, std::string>> columns = {
      {"a.b", "a_b"}, {"A_B", "A_B_2"}, {" lead", "_lead"}, {"x`y", "x_y"}, {std::string(70, 'c'), std::string(64, 'c')}};
  for (const auto& [source, dest] : columns) {
    if (source != dest) {
      EXPECT_TRUE(HasNote(result, "dot.name!", {"\"" + source + "\" is called \"" + dest + "\""})) << source;
    }
  }

  MdbToolsRead tools = ReadWithMdbTools(settings_.destPath);
  ASSERT_TRUE(tools.ok) << tools.problems;
  std::vector<std::string> names = tools.tables;
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"DOT_NAME__2", kLongName.substr(0, 64), "countr", "dot_name_"}));

  MdbReaderRead reader = ReadWithMdbReader(settings_.destPath);
  ASSERT_TRUE(reader.ok) << reader.problems;
  const nlohmann::json* table = FindReaderTable(reader.document, "dot_name_");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ((*table)["rows"].size(), 1u);
  const json& row = (*table)["rows"][0];
  int expected = 1;
  for (const auto& [source, dest] : columns) EXPECT_EQ(row[dest], expected++) << dest;
  MdbExport exported = ExportWithMdbTools(settings_.destPath, "dot_name_");
  EXPECT_TRUE(exported.ok) << exported.problems;
}

}  // namespace
}  // namespace talvoro::test
