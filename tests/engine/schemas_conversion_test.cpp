// A database whose tables live in several schemas, converted by the command
// line through the stand-in and FreeTDS: every schema's tables are listed and
// read (the same name in two schemas stays two tables), a table outside dbo is
// called Schema_Table in the file with a note, a foreign key across schemas
// becomes a relationship, and alias types resolve per schema. The file is then
// read by mdbtools, mdb-reader, jetverify and jetcheck --strict.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "independent_readers.h"
#include "jetcheck_json.h"
#include "run_command.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using nlohmann::json;

const std::string kKestrin1 = TALVORO_BUILD_DIR "/app/Kestrin1";

class SchemasConversionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SourceServer();
    server_->Execute("", {"CREATE DATABASE Multi"});
    server_->Execute("Multi", {
        "CREATE SCHEMA Sales AUTHORIZATION dbo",
        "CREATE SCHEMA [Human Resources]",
        "CREATE TYPE Sales.Code FROM nchar(3) NOT NULL",
        "CREATE TYPE dbo.Code FROM int NULL",
        "CREATE TABLE Customer (Id int PRIMARY KEY, Name nvarchar(20) NULL, Region Code)",
        "CREATE TABLE Sales.Customer (Id int PRIMARY KEY, Name nvarchar(20) NULL, Region Sales.Code)",
        // Takes the name Sales.Customer would get in the file.
        "CREATE TABLE Sales_Customer (Note nvarchar(10) NULL)",
        "CREATE TABLE [Human Resources].[Employee] (Id int NOT NULL PRIMARY KEY, CustomerId int NULL)",
        "ALTER TABLE [Human Resources].[Employee] ADD CONSTRAINT FK_Employee_Customer FOREIGN KEY (CustomerId) "
        "REFERENCES Sales.Customer (Id)",
        "INSERT INTO Customer VALUES (1, N'dbo one', 7)",
        "INSERT INTO Sales.Customer VALUES (1, N'sales one', N'EUR'), (2, N'sales two', N'USD')",
        "INSERT INTO Sales_Customer VALUES (N'plain')",
        "INSERT INTO [Human Resources].Employee VALUES (10, 2), (11, NULL)",
    });
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { setenv("KESTRIN1_PASSWORD", kSqlPassword, 1); }
  void TearDown() override { unsetenv("KESTRIN1_PASSWORD"); }

  CommandResult Kestrin1(std::vector<std::string> extra) {
    std::vector<std::string> args = {kKestrin1, "--database", "Multi", "--dest", dest_, "--sql-login", "sa"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCommand(args);
  }

  static SourceServer* server_;
  TempDir dir_{"talvoro-schemas"};
  std::string dest_ = dir_.File("multi.mdb");
};

SourceServer* SchemasConversionTest::server_ = nullptr;

// The rows of a table as mdb-reader reads them, one JSON value per row.
std::vector<json> ReaderRows(const MdbReaderRead& read, const std::string& table) {
  const json* t = FindReaderTable(read.document, table);
  if (!t) return {};
  return std::vector<json>((*t)["rows"].begin(), (*t)["rows"].end());
}

TEST_F(SchemasConversionTest, EverySchemaArrivesUnderItsAccessName) {
  const CommandResult r = Kestrin1({"--all"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  for (const char* line : {"Sales.Customer converted, 2 rows", "Human Resources.Employee converted, 2 rows",
                           "Customer converted, 1 rows", "(as Sales_Customer_2)",
                           "Sales.Customer: the table is called \"Sales_Customer_2\"",
                           "Human Resources.Employee: the table is called \"Human Resources_Employee\""})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  EXPECT_EQ(r.out.find("\n  Customer: "), std::string::npos) << "dbo's Customer keeps its name\n" << r.out;

  MdbToolsRead tools = ReadWithMdbTools(dest_);
  ASSERT_TRUE(tools.ok) << tools.problems;
  std::vector<std::string> tables = tools.tables;
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ(tables, (std::vector<std::string>{"Customer", "Human Resources_Employee", "Sales_Customer",
                                              "Sales_Customer_2"}));
  for (const std::string& table : tools.tables) {
    MdbExport exported = ExportWithMdbTools(dest_, table);
    EXPECT_TRUE(exported.ok) << table << ": " << exported.problems;
  }

  // Each schema's rows in its own table; the alias type Code is int in dbo, nchar(3) in Sales.
  const MdbReaderRead reader = ReadWithMdbReader(dest_);
  ASSERT_TRUE(reader.ok) << reader.problems;
  const auto dbo = ReaderRows(reader, "Customer");
  ASSERT_EQ(dbo.size(), 1u);
  EXPECT_EQ(dbo[0]["Name"], "dbo one");
  EXPECT_EQ(dbo[0]["Region"], 7);
  const auto sales = ReaderRows(reader, "Sales_Customer_2");
  ASSERT_EQ(sales.size(), 2u);
  EXPECT_EQ(sales[1]["Name"], "sales two");
  EXPECT_EQ(sales[1]["Region"], "USD");
  EXPECT_EQ(ReaderRows(reader, "Sales_Customer").size(), 1u);
  EXPECT_EQ(ReaderRows(reader, "Human Resources_Employee").size(), 2u);

  // The foreign key across schemas is a relationship like any other.
  const JetCheckJson check = RunJetCheckJson(dest_);
  ASSERT_TRUE(check.ran) << "jetcheck is needed for the relationships";
  ASSERT_TRUE(check.ok) << check.output;
  const json* fk = JetCheckNamed(check.document["relationships"], "FK_Employee_Customer");
  ASSERT_NE(fk, nullptr) << check.document["relationships"].dump();
  EXPECT_EQ((*fk)["fromTable"], "Sales_Customer_2");
  EXPECT_EQ((*fk)["toTable"], "Human Resources_Employee");
  EXPECT_EQ((*fk)["toColumns"], json({"CustomerId"}));
  EXPECT_EQ((*fk)["enforced"], true);
}

TEST_F(SchemasConversionTest, TableOptionTakesSchemaDotTableOrABareDboName) {
  CommandResult r = Kestrin1({"--table", "Sales.Customer", "Customer"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  MdbToolsRead tools = ReadWithMdbTools(dest_);
  ASSERT_TRUE(tools.ok) << tools.problems;
  std::vector<std::string> tables = tools.tables;
  std::sort(tables.begin(), tables.end());
  EXPECT_EQ(tables, (std::vector<std::string>{"Customer", "Sales_Customer"}));
  const MdbReaderRead reader = ReadWithMdbReader(dest_);
  ASSERT_TRUE(reader.ok) << reader.problems;
  EXPECT_EQ(ReaderRows(reader, "Sales_Customer").size(), 2u);

  r = Kestrin1({"--table", "Employee", "--overwrite"});
  EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
  EXPECT_NE(r.err.find("has no table \"Employee\""), std::string::npos) << "a bare name is a dbo table\n" << r.err;
}

}  // namespace
}  // namespace talvoro::test
