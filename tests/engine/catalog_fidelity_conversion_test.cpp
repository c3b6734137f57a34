// Catalog details real servers report beyond ODBC's catalog functions, through
// the stand-in and FreeTDS, in a database of several schemas: a filtered unique
// index is not carried (made whole it would refuse rows the source holds), a
// plain filtered index covers every row, a disabled foreign key becomes a
// relationship without referential integrity, a CHECK added WITH NOCHECK is not carried,
// alias types map by their base type per schema (a date alias is Date/Time),
// and the progress total comes from the catalog's partition counts. The file is
// read by mdbtools, mdb-reader, jetverify and jetcheck --strict.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "engine/conversion_run.h"
#include "engine/source_row_count.h"
#include "independent_readers.h"
#include "jetcheck_json.h"
#include "odbc/data_sources.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

constexpr char kDatabase[] = "Fidelity";

class CountingObserver : public engine::ConversionObserver {
 public:
  void OnTableRowCount(const std::string& table, std::uint64_t rows) override { rowCounts[table] = rows; }
  std::map<std::string, std::uint64_t> rowCounts;
};

class CatalogFidelityConversion : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SourceServer();
    server_->Execute("", {std::string("CREATE DATABASE ") + kDatabase});
    server_->Execute(kDatabase, {
        "CREATE SCHEMA Sales",
        "CREATE SCHEMA Stock",
        // One alias name, two schemas, two bases.
        "CREATE TYPE Sales.Moment FROM datetime2(3) NULL",
        "CREATE TYPE Stock.Moment FROM date NULL",
        "CREATE TABLE Sales.Customer (Id int NOT NULL PRIMARY KEY, Code nchar(2) NOT NULL, Active bit NOT NULL, "
        "Joined Sales.Moment)",
        "CREATE UNIQUE INDEX UX_Customer_Code ON Sales.Customer (Code) WHERE Active = 1",
        // Rows 2 and 3 repeat an active code: the filtered index allows them, a whole one would not.
        "INSERT INTO Sales.Customer VALUES (1, N'A1', 1, '2024-02-29 13:45:30.123'), (2, N'A1', 0, NULL), "
        "(3, N'A1', 0, '2001-01-01 00:00:00'), (4, N'B2', 1, NULL), (5, N'C3', 1, NULL)",
        "DELETE FROM Sales.Customer WHERE Id = 5",
        "CREATE TABLE Stock.Item (Id int NOT NULL PRIMARY KEY, Added Stock.Moment, CustomerId int NULL, "
        "CONSTRAINT FK_Item_Customer FOREIGN KEY (CustomerId) REFERENCES Sales.Customer (Id))",
        "CREATE INDEX IX_Item_Added ON Stock.Item (Added) WHERE Added IS NOT NULL",
        "INSERT INTO Stock.Item VALUES (1, '2024-05-01', 1)",
        "ALTER TABLE Stock.Item NOCHECK CONSTRAINT FK_Item_Customer",
        "INSERT INTO Stock.Item VALUES (2, NULL, 99)",
        // Row 2 breaks it: Access would refuse that row.
        "ALTER TABLE Stock.Item WITH NOCHECK ADD CONSTRAINT CK_Item_Id CHECK (Id < 2)",
    });
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    settings_.databaseName = kDatabase;
    settings_.destPath = dir_.File("fidelity.mdb");
    settings_.authMode = "sql";
    settings_.loginName = kSqlLogin;
    settings_.password = kSqlPassword;
    odbc::RegisterSourceDsn(kDatabase, "dsns");  // as the table page does before the run
  }

  static const engine::TableOutcome& Outcome(const engine::ConversionResult& r, const std::string& source) {
    const auto it = std::find_if(r.tables.begin(), r.tables.end(),
                                 [&](const engine::TableOutcome& t) { return t.sourceName == source; });
    if (it == r.tables.end()) throw std::runtime_error("no outcome for " + source);
    return *it;
  }

  static bool HasNote(const engine::TableOutcome& t, const std::string& text) {
    return std::any_of(t.notes.begin(), t.notes.end(), [&](const std::string& n) { return n.find(text) != std::string::npos; });
  }

  static std::string Notes(const engine::TableOutcome& t) {
    std::string all;
    for (const auto& n : t.notes) all += "\n  " + n;
    return all;
  }

  static SourceServer* server_;
  TempDir dir_{"talvoro-fidelity"};
  engine::ConversionSettings settings_;
};

SourceServer* CatalogFidelityConversion::server_ = nullptr;

TEST_F(CatalogFidelityConversion, CarriesWhatAccessCanHoldAndSaysWhatNot) {
  CountingObserver observer;
  const engine::ConversionResult result =
      engine::RunConversion(std::vector<odbc::SourceTable>{{"Sales", "Customer"}, {"Stock", "Item"}}, settings_, observer);
  const engine::TableOutcome& customer = Outcome(result, "Sales.Customer");
  const engine::TableOutcome& item = Outcome(result, "Stock.Item");
  ASSERT_TRUE(customer.converted) << customer.failure;
  ASSERT_TRUE(item.converted) << item.failure;
  EXPECT_EQ(customer.rowsCopied, 4u);
  EXPECT_EQ(item.rowsCopied, 2u);
  // The progress totals, from the partition counts (after an insert and a delete).
  EXPECT_EQ(observer.rowCounts, (std::map<std::string, std::uint64_t>{{"Sales.Customer", 4}, {"Stock.Item", 2}}));

  EXPECT_TRUE(HasNote(customer, "index \"UX_Customer_Code\" is not carried: it is unique only among the rows WHERE "
                                "([Active]=(1)), and Access has no filtered indexes"))
      << Notes(customer);
  EXPECT_TRUE(HasNote(item, "index \"IX_Item_Added\" covers only the rows WHERE ([Added] IS NOT NULL) on the server; "
                            "in Access it covers every row"))
      << Notes(item);
  EXPECT_TRUE(HasNote(item, "foreign key \"FK_Item_Customer\" to \"Sales.Customer\" is kept but not enforced: it is "
                            "disabled on the server (NOCHECK CONSTRAINT)"))
      << Notes(item);
  EXPECT_TRUE(std::any_of(item.notes.begin(), item.notes.end(), [](const std::string& n) {
    return n.rfind("CHECK constraint \"CK_Item_Id\"", 0) == 0 &&
           n.find("is not carried: it was added WITH NOCHECK") != std::string::npos;
  })) << Notes(item);

  // Every row is there (the repeated active code included); both Moment aliases are Date/Time.
  const MdbReaderRead reader = ReadWithMdbReader(settings_.destPath);
  ASSERT_TRUE(reader.ok) << reader.problems;
  std::map<std::string, std::string> types;
  for (const char* table : {"Sales_Customer", "Stock_Item"}) {
    const nlohmann::json* t = FindReaderTable(reader.document, table);
    ASSERT_NE(t, nullptr) << table;
    for (const auto& c : (*t)["columns"]) types[std::string(table) + "." + c["name"].get<std::string>()] = c["type"];
  }
  EXPECT_EQ(types["Sales_Customer.Joined"], "datetime");
  EXPECT_EQ(types["Stock_Item.Added"], "datetime");
  const nlohmann::json& customers = (*FindReaderTable(reader.document, "Sales_Customer"))["rows"];
  ASSERT_EQ(customers.size(), 4u);
  EXPECT_EQ(std::count_if(customers.begin(), customers.end(), [](const nlohmann::json& r) { return r["Code"] == "A1"; }), 3);
  for (const char* table : {"Sales_Customer", "Stock_Item"}) {
    const MdbExport exported = ExportWithMdbTools(settings_.destPath, table);
    EXPECT_TRUE(exported.ok) << table << ": " << exported.problems;
  }

  // The file holds the plain index (whole), not the filtered unique one, and the disabled key unenforced.
  const JetCheckJson check = RunJetCheckJson(settings_.destPath);
  ASSERT_TRUE(check.ran) << "jetcheck is needed for indexes and relationships";
  ASSERT_TRUE(check.ok) << check.output;
  const nlohmann::json* fk = JetCheckNamed(check.document["relationships"], "FK_Item_Customer");
  ASSERT_NE(fk, nullptr) << check.document["relationships"].dump();
  EXPECT_EQ((*fk)["enforced"], false);
  EXPECT_EQ((*fk)["toTable"], "Stock_Item");
  const nlohmann::json* customerTable = JetCheckNamed(check.document["tables"], "Sales_Customer");
  const nlohmann::json* itemTable = JetCheckNamed(check.document["tables"], "Stock_Item");
  ASSERT_NE(customerTable, nullptr);
  ASSERT_NE(itemTable, nullptr);
  EXPECT_EQ(JetCheckNamed((*customerTable)["indexes"], "UX_Customer_Code"), nullptr);
  EXPECT_NE(JetCheckNamed((*itemTable)["indexes"], "IX_Item_Added"), nullptr) << (*itemTable)["indexes"].dump();
}

// Catalog first; COUNT_BIG(*) only when no view answers. Every statement names the schema.
TEST_F(CatalogFidelityConversion, RowTotalQueriesNameTheSchema) {
  const odbc::SourceTable table{"Sales", "Custo]mer"};
  EXPECT_EQ(engine::SourceRowCountQueries(table),
            (std::vector<std::string>{
                "SELECT SUM(rows) FROM sys.partitions WHERE object_id = OBJECT_ID(N'[Sales].[Custo]]mer]') AND "
                "index_id IN (0, 1)",
                "SELECT SUM(row_count) FROM sys.dm_db_partition_stats WHERE object_id = "
                "OBJECT_ID(N'[Sales].[Custo]]mer]') AND index_id IN (0, 1)",
                "SELECT COUNT_BIG(*) FROM [Sales].[Custo]]mer]"}));
  EXPECT_EQ(engine::CountSourceRows(settings_.logon(), {"Stock", "Item"}), std::optional<std::uint64_t>(2));
}

}  // namespace
}  // namespace talvoro::test
