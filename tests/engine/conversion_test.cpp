// The whole conversion through the real unixODBC, FreeTDS talking to the
// stand-in, and our Access driver writing real files, each file then read by
// mdbtools and mdb-reader and compared with the source value by value.
#include <gtest/gtest.h>

#include <map>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/column_catalog.h"
#include "engine/conversion_run.h"
#include "engine/row_copy.h"
#include "engine/type_mapping.h"
#include "independent_readers.h"
#include "odbc/data_sources.h"
#include "odbc/login_check.h"
#include "odbc/source_tables.h"
#include "odbc_sandbox.h"
#include "source_server.h"
#include "temp_dir.h"
#include "value_comparison.h"

namespace talvoro::test {
namespace {

constexpr char kDatabase[] = "Conv";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A table of 256 columns: one more than Access allows, so its creation fails.
std::string TooWideTable() {
  std::string sql = "CREATE TABLE TooWide (";
  for (int i = 0; i < 256; ++i) sql += (i ? ", c" : "c") + std::to_string(i) + " int NULL";
  return sql + ")";
}

std::vector<std::string> FixtureStatements() {
  const std::string longDefault(200, 'd');
  return {
      "CREATE TABLE AllTypes (id int NOT NULL PRIMARY KEY, c_bigint bigint NULL, c_int int NULL, "
      "c_smallint smallint NULL, c_tinyint tinyint NULL, c_bit bit NULL, c_bitnn bit NOT NULL, "
      "c_decimal decimal(18,4) NULL, c_numeric numeric(10,0) NULL, c_wide numeric(38,10) NULL, "
      "c_money money NULL, c_smallmoney smallmoney NULL, c_float float NULL, c_real real NULL, "
      "c_datetime datetime NULL, c_smalldatetime smalldatetime NULL, c_date date NULL, "
      "c_time time NULL, c_datetime2 datetime2 NULL, c_char char(10) NULL, c_varchar varchar(50) NULL, "
      "c_longvarchar varchar(1000) NULL, c_nchar nchar(10) NULL, c_nvarchar nvarchar(100) NULL, "
      "c_nvarcharmax nvarchar(max) NULL, c_text text NULL, c_ntext ntext NULL, c_binary binary(4) NULL, "
      "c_varbinary varbinary(100) NULL, c_image image NULL, c_guid uniqueidentifier NULL)",
      "INSERT INTO AllTypes VALUES (1, 9223372036854775807, -2147483648, -32768, 255, 1, 1, "
      "12345678901234.5678, 9999999999, 1234567890123456789012345678.0123456789, "
      "-922337203685477.5808, 214748.3647, 3.1415926535897931, 0.1, '2024-02-29 13:45:30.997', "
      "'2024-02-29 13:46:00', '0100-01-01', '13:45:30.1234567', '9999-12-31 23:59:59.9990000', "
      "'padded', 'O''Brien', '" + std::string(1000, 'x') + "', N'Grüße', N'€ “quoted” ''x'' 😀', "
      "N'" + std::string(5000, 'y') + "', 'plain text', N'ntext ü', 0x00ABFF10, 0x0102, "
      "0x" + std::string(2000, 'e') + ", '6F9619FF-8B86-D011-B42D-00C04FC964FF')",
      "INSERT INTO AllTypes VALUES (2, -9223372036854775808, 0, 0, 0, 0, 0, -0.0001, -1, "
      "-0.0000000001, 0.0000, -214748.3648, 1e-300, -2.49999995e+10, '1753-01-01 00:00:00', "
      "'1900-01-01 00:00:00', '9999-12-31', '00:00:00', '0100-01-01 00:00:00', '', '', '', N'', "
      "N'', N'', '', N'', 0x00000000, 0x, 0x, '00000000-0000-0000-0000-000000000000')",
      "INSERT INTO AllTypes (id, c_bitnn) VALUES (3, 0)",
      "CREATE TABLE Orders (OrderID int IDENTITY(1,1) PRIMARY KEY, Customer nvarchar(40) NULL, "
      "Notes ntext NULL, Placed datetime NOT NULL)",
      "INSERT INTO Orders (Customer, Notes, Placed) VALUES (N'Alfreds', N'first order', "
      "'2004-03-09 14:30:00')",
      "INSERT INTO Orders (Customer, Notes, Placed) VALUES (NULL, NULL, '1999-12-25')",
      // Key order differs from column order.
      "CREATE TABLE [Order Details] (ProductID int NOT NULL, OrderID int NOT NULL, "
      "Quantity smallint NOT NULL, CONSTRAINT PK_OD PRIMARY KEY (OrderID, ProductID))",
      "INSERT INTO [Order Details] VALUES (7, 1, 3)",
      "INSERT INTO [Order Details] VALUES (8, 1, 5)",
      "CREATE TABLE counter (id int NOT NULL PRIMARY KEY, hits int NULL)",
      "INSERT INTO counter VALUES (1, 42)",
      "CREATE TABLE Nothing (id int NOT NULL PRIMARY KEY, name varchar(10) NULL)",
      TooWideTable(),
      "INSERT INTO TooWide (c0) VALUES (1)",
      "CREATE TABLE [it's \"q\"] ([a b] int NULL, [c\"d] nvarchar(10) NULL)",
      "INSERT INTO [it's \"q\"] VALUES (1, N'x\"y')",
      // A default text longer than a catalog buffer of 128 bytes.
      "CREATE TABLE LongDefault (id int NOT NULL, note varchar(300) NULL DEFAULT ('" + longDefault +
          "'), after_note int NULL)",
      "INSERT INTO LongDefault (id, after_note) VALUES (1, 2)",
      "CREATE TABLE LongKeyName (ThisPrimaryKeyColumnNameIsLongerThanThirty int NOT NULL "
      "PRIMARY KEY, v int NULL)",
      "INSERT INTO LongKeyName VALUES (5, 6)",
      // Row 3 holds a date Access cannot store.
      "CREATE TABLE AncientDates (id int NOT NULL, d date NULL)",
      "INSERT INTO AncientDates VALUES (1, '2001-01-01')",
      "INSERT INTO AncientDates VALUES (2, '0100-01-01')",
      "INSERT INTO AncientDates VALUES (3, '0050-06-01')",
      "INSERT INTO AncientDates VALUES (4, '2002-02-02')",
      "CREATE TABLE Staff (id int NULL, name varchar(20) NULL, joined datetime NULL, score int NULL)",
      "INSERT INTO Staff VALUES (7, 'O''Brien', '2004-03-09 14:30:00', NULL)",
      "CREATE VIEW StaffView AS SELECT id, name FROM Staff",
      "CREATE TABLE Variants (id int NOT NULL PRIMARY KEY, v sql_variant NULL, x xml NULL, dto datetimeoffset NULL)",
      "INSERT INTO Variants VALUES (1, 42, N'<a>é</a>', '2024-02-29 13:45:30.1234567 +05:30'), "
      "(2, N'text', NULL, NULL), (3, CAST('2024-02-29 13:45:30.123' AS datetime), N'<b/>', NULL)",
  };
}

// Records what the run reports.
class RecordingObserver : public engine::ConversionObserver {
 public:
  std::vector<std::string> status;
  std::vector<int> steps;
  std::vector<std::pair<int, int>> ranges;
  std::vector<int> positions;
  std::vector<std::string> finished;
  int rowReports = 0;
  int completions = 0;
  std::string completionText;

  void OnStatusText(const std::string& text) override { status.push_back(text); }
  void OnProgressRange(int lo, int hi) override { ranges.emplace_back(lo, hi); }
  void OnProgressStep(int step) override { steps.push_back(step); }
  void OnProgressPosition(int p) override { positions.push_back(p); }
  void OnRowsCopied(const std::string&, std::uint64_t) override { ++rowReports; }
  void OnTableRowCount(const std::string& table, std::uint64_t rows) override { rowCounts[table] = rows; }
  std::map<std::string, std::uint64_t> rowCounts;
  void OnTableFinished(const engine::TableOutcome& t) override { finished.push_back(t.sourceName); }
  void OnConversionFinished(const engine::ConversionResult& r) override {
    ++completions;
    completionText = engine::CompletionText(r);
    // The wizard's completion dialog shows while "dsna" still exists.
    dsnaDuringCompletion = odbc::UserDataSourceExists("dsna");
  }
  bool dsnaDuringCompletion = false;
};

class ConversionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SourceServer();
    server_->Execute("", {std::string("CREATE DATABASE ") + kDatabase});
    server_->Execute(kDatabase, FixtureStatements());
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    settings_.databaseName = kDatabase;
    settings_.destPath = dir_.File("out put.mdb");
    settings_.authMode = "sql";
    settings_.loginName = kSqlLogin;
    settings_.password = kSqlPassword;
    // As the table page does before the run.
    odbc::RegisterSourceDsn(kDatabase, "dsns");
  }

  // The value kinds of a source table's columns, as the engine maps them.
  static std::vector<engine::ValueKind> KindsOf(const std::string& table) {
    engine::ColumnCatalog catalog(odbc::SourceLogon{"sql", kSqlLogin, kSqlPassword});
    catalog.OpenColumnCatalog({"", table});
    std::vector<engine::ValueKind> kinds;
    engine::ColumnInfo c;
    while (catalog.FetchTableColumn(c)) kinds.push_back(engine::MapColumn(c).valueKind);
    return kinds;
  }

  // Every value of the destination table equals the source's, by both readers.
  void ExpectSameAsSource(const std::string& sourceName, const std::string& destName) {
    SCOPED_TRACE("table " + sourceName);
    CompareRows(sourceName, destName, server_->Read(kDatabase, sourceName));
  }

  // The first `rows` source rows, and nothing more, reached the destination.
  void ExpectSameAsSourcePrefix(const std::string& table, std::size_t rows) {
    SCOPED_TRACE("table " + table);
    SourceTable source = server_->Read(kDatabase, table);
    ASSERT_GE(source.rows.size(), rows);
    source.rows.resize(rows);
    CompareRows(table, table, source);
  }

  void CompareRows(const std::string& sourceName, const std::string& destName,
                   const SourceTable& source) {
    const std::vector<engine::ValueKind> kinds = KindsOf(sourceName);
    ASSERT_EQ(kinds.size(), source.columns.size());

    MdbReaderRead reader = ReadWithMdbReader(settings_.destPath);
    ASSERT_TRUE(reader.ok) << reader.problems;
    const nlohmann::json* table = FindReaderTable(reader.document, destName);
    ASSERT_NE(table, nullptr);
    const nlohmann::json& rows = (*table)["rows"];
    ASSERT_EQ(rows.size(), source.rows.size());

    MdbExport exported = ExportWithMdbTools(settings_.destPath, destName);
    ASSERT_TRUE(exported.ok) << exported.problems;
    ASSERT_EQ(exported.rows.size(), source.rows.size());

    for (std::size_t r = 0; r < source.rows.size(); ++r) {
      ASSERT_EQ(exported.rows[r].size(), source.columns.size());
      for (std::size_t c = 0; c < source.columns.size(); ++c) {
        const std::string& name = source.columns[c];
        ASSERT_TRUE(rows[r].contains(name)) << name;
        std::string diff = CompareWithReader(kinds[c], source.rows[r][c], rows[r][name]);
        EXPECT_TRUE(diff.empty()) << "mdb-reader, row " << r + 1 << ", " << name << ": " << diff;
        diff = CompareWithExport(kinds[c], source.rows[r][c], exported.rows[r][c]);
        EXPECT_TRUE(diff.empty()) << "mdb-export, row " << r + 1 << ", " << name << ": " << diff;
      }
    }
  }

  engine::ConversionResult Run(const std::vector<std::string>& tables, RecordingObserver& observer) {
    return engine::RunConversion(tables, settings_, observer);
  }

  static SourceServer* server_;
  TempDir dir_{"talvoro-engine"};
  engine::ConversionSettings settings_;
};

SourceServer* ConversionTest::server_ = nullptr;

TEST_F(ConversionTest, EveryTypeRoundTripsValueByValue) {
  RecordingObserver observer;
  engine::ConversionResult result = Run({"AllTypes"}, observer);
  ASSERT_EQ(result.tables.size(), 1u);
  EXPECT_TRUE(result.tables[0].converted) << result.tables[0].failure;
  EXPECT_EQ(result.tables[0].rowsCopied, 3u);
  ExpectSameAsSource("AllTypes", "AllTypes");

  // The destination types that hold every value.
  MdbReaderRead reader = ReadWithMdbReader(settings_.destPath, false);
  const nlohmann::json* table = FindReaderTable(reader.document, "AllTypes");
  ASSERT_NE(table, nullptr);
  std::map<std::string, std::string> types;
  for (const auto& c : (*table)["columns"]) types[c["name"]] = c["type"];
  const std::map<std::string, std::string> expected = {
      {"c_bigint", "numeric"},  {"c_int", "long"},           {"c_smallint", "integer"},
      {"c_tinyint", "byte"},    {"c_bit", "byte"},           {"c_bitnn", "boolean"},
      {"c_decimal", "numeric"}, {"c_wide", "text"},          {"c_money", "currency"},
      {"c_smallmoney", "currency"}, {"c_float", "double"},   {"c_real", "float"},
      {"c_datetime", "datetime"}, {"c_date", "datetime"},    {"c_time", "datetime"},
      {"c_datetime2", "datetime"}, {"c_varchar", "text"},    {"c_longvarchar", "memo"},
      {"c_nvarcharmax", "memo"}, {"c_ntext", "memo"},        {"c_image", "ole"},
      {"c_guid", "repid"},
  };
  for (const auto& [column, type] : expected) EXPECT_EQ(types[column], type) << column;
}

TEST_F(ConversionTest, WholeRunKeepsGoingAndReportsEachTable) {
  const std::vector<std::string> tables = {"Orders",    "Order Details", "counter",
                                           "Nothing",   "TooWide",       "it's \"q\"",
                                           "LongDefault", "LongKeyName"};
  RecordingObserver observer;
  engine::ConversionResult result = Run(tables, observer);

  ASSERT_EQ(result.tables.size(), tables.size());
  for (const engine::TableOutcome& t : result.tables) {
    if (t.sourceName == "TooWide") {
      EXPECT_FALSE(t.converted);
      EXPECT_FALSE(t.created);
      EXPECT_FALSE(t.failure.empty());
    } else {
      EXPECT_TRUE(t.converted) << t.sourceName << ": " << t.failure;
    }
  }
  EXPECT_FALSE(result.AllConverted());
  EXPECT_NE(observer.completionText.find("\nTooWide: "), std::string::npos) << observer.completionText;
  EXPECT_EQ(result.tables[2].destName, "countr");

  // Status line, progress and data sources as the page shows them.
  ASSERT_FALSE(observer.status.empty());
  EXPECT_EQ(observer.status.front(), "Converting Database...");
  EXPECT_EQ(observer.status[1], "Converting....Tables   Orders");
  EXPECT_EQ(observer.status.back(), "Database Conversion Compleated");
  EXPECT_EQ(observer.ranges, (std::vector<std::pair<int, int>>{{40, 650}}));
  EXPECT_EQ(observer.steps, std::vector<int>(tables.size(), 650 / 8));
  EXPECT_EQ(observer.positions, std::vector<int>{650});
  EXPECT_EQ(observer.finished, tables);
  EXPECT_EQ(observer.completions, 1);
  EXPECT_TRUE(observer.dsnaDuringCompletion);
  EXPECT_FALSE(odbc::UserDataSourceExists("dsna"));
  EXPECT_TRUE(odbc::UserDataSourceExists("dsns"));
  const std::string userIni = ReadFile(OdbcSandbox::Install().userIni);
  EXPECT_NE(userIni.find("Database=Conv"), std::string::npos) << userIni;
  EXPECT_EQ(userIni.find(kSqlPassword), std::string::npos) << "the password never lands in a file";

  MdbToolsRead tools = ReadWithMdbTools(settings_.destPath);
  ASSERT_TRUE(tools.ok) << tools.problems;
  std::vector<std::string> names = tools.tables;
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"LongDefault", "LongKeyName", "Nothing", "Order Details",
                                             "Orders", "countr", "it's \"q\""}));
  for (const engine::TableOutcome& t : result.tables) {
    if (!t.converted) continue;
    ExpectSameAsSource(t.sourceName, t.destName);
    // The source's row count came before the copy, so a display can advance within the table.
    EXPECT_EQ(observer.rowCounts[t.sourceName], t.rowsCopied) << t.sourceName;
  }
  EXPECT_EQ(observer.rowCounts.count("TooWide"), 0u) << "never created, so never counted";

  // Keys: one index each for the single and the two-column key, none without.
  MdbReaderRead reader = ReadWithMdbReader(settings_.destPath, false);
  auto indexes = [&](const std::string& name) {
    const nlohmann::json* t = FindReaderTable(reader.document, name);
    return t ? (*t)["tdef"]["realIndexCount"].get<int>() : -1;
  };
  EXPECT_EQ(indexes("Order Details"), 1);
  EXPECT_EQ(indexes("Orders"), 1);
  EXPECT_EQ(indexes("LongKeyName"), 1);
}

TEST_F(ConversionTest, RowsBeforeARefusedValueStay) {
  RecordingObserver observer;
  engine::ConversionResult result = Run({"AncientDates", "counter"}, observer);
  ASSERT_EQ(result.tables.size(), 2u);
  const engine::TableOutcome& t = result.tables[0];
  EXPECT_TRUE(t.created);
  EXPECT_FALSE(t.converted);
  EXPECT_EQ(t.rowsCopied, 2u);
  EXPECT_NE(t.failure.find("years 100 to 9999"), std::string::npos) << t.failure;
  EXPECT_TRUE(result.tables[1].converted) << result.tables[1].failure;

  ExpectSameAsSourcePrefix("AncientDates", 2);
}

TEST_F(ConversionTest, VariantXmlAndOffsetColumnsConvertAsText) {
  RecordingObserver observer;
  engine::ConversionResult result = Run({"Variants"}, observer);
  ASSERT_EQ(result.tables.size(), 1u);
  EXPECT_TRUE(result.tables[0].converted) << result.tables[0].failure;
  EXPECT_EQ(result.tables[0].rowsCopied, 3u);
  ExpectSameAsSourcePrefix("Variants", 3);
}

TEST_F(ConversionTest, EmptySelectionDoesNothing) {
  RecordingObserver observer;
  engine::ConversionResult result = Run({}, observer);
  EXPECT_TRUE(result.emptySelection);
  EXPECT_TRUE(observer.status.empty());
  EXPECT_FALSE(std::filesystem::exists(settings_.destPath));
  EXPECT_FALSE(odbc::UserDataSourceExists("dsna"));
  EXPECT_STREQ(engine::kSelectTableMessage, "Please Select a Table");
}

TEST_F(ConversionTest, InsertStatementOfTheStaffExample) {
  odbc::Database db;
  odbc::OpenSourceDatabase(db, settings_.logon());
  odbc::Recordset rs(db);
  rs.Open("Select * from [Staff]");
  ASSERT_TRUE(rs.Fetch());
  const std::vector<engine::ValueKind> kinds = KindsOf("Staff");
  std::vector<engine::ColumnMapping> columns(kinds.size());
  for (std::size_t i = 0; i < kinds.size(); ++i) columns[i].valueKind = kinds[i];
  std::string statement;
  engine::RowBuffers buffers;
  engine::BuildInsertStatement(rs, "\"Staff\"", columns, statement, buffers);
  EXPECT_EQ(statement, "INSERT INTO \"Staff\" values(7, 'O''Brien', '9/3/2004 14:30:00', NULL )");
}

TEST_F(ConversionTest, TableListHoldsTablesOnly) {
  odbc::SourceTableList list = odbc::ListSourceTables(settings_.logon());
  EXPECT_TRUE(list.error.empty()) << list.error;
  auto has = [&](const std::string& n) {
    return std::find(list.names.begin(), list.names.end(), n) != list.names.end();
  };
  EXPECT_TRUE(has("Order Details"));
  EXPECT_TRUE(has("counter"));
  EXPECT_FALSE(has("StaffView"));

  odbc::SourceTableList refused = odbc::ListSourceTables({"sql", kSqlLogin, "wrong"});
  EXPECT_TRUE(refused.names.empty());
  EXPECT_FALSE(refused.error.empty());
}

TEST_F(ConversionTest, LoginCheckWithSqlLogin) {
  odbc::LoginCheckResult ok = odbc::TestSourceLogin(odbc::AuthChoice::SqlServer, kSqlLogin, kSqlPassword);
  EXPECT_TRUE(ok.passed);
  EXPECT_EQ(ok.authMode, "sql");
  EXPECT_TRUE(ok.message.empty());

  odbc::LoginCheckResult wrong = odbc::TestSourceLogin(odbc::AuthChoice::SqlServer, kSqlLogin, "nope");
  EXPECT_FALSE(wrong.passed);
  EXPECT_EQ(wrong.authMode, "sql");
  EXPECT_EQ(wrong.message, "LOGIN Name or Password Mismatch ");
  EXPECT_NE(odbc::FormatDiagnostics(wrong.diagnostics).find("Login failed"), std::string::npos)
      << odbc::FormatDiagnostics(wrong.diagnostics);

  // Every check leaves "dsns" registered without a database.
  EXPECT_NE(ReadFile(OdbcSandbox::Install().userIni).find("Database=\n"), std::string::npos);
}

TEST_F(ConversionTest, DataSourceRequests) {
  const std::string userIni = OdbcSandbox::Install().userIni;
  EXPECT_TRUE(odbc::RegisterSourceDsn("First", "dsns"));
  EXPECT_TRUE(odbc::RegisterSourceDsn("Second", "dsns"));
  std::string ini = ReadFile(userIni);
  EXPECT_NE(ini.find("Database=Second"), std::string::npos) << ini;
  EXPECT_EQ(ini.find("Database=First"), std::string::npos) << ini;

  const std::string path = dir_.File("with blanks/a b.mdb");
  std::filesystem::create_directories(dir_.File("with blanks"));
  std::string error;
  EXPECT_TRUE(odbc::CreateDestinationFile(path, &error)) << error;
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_TRUE(ReadWithMdbTools(path).ok);
  EXPECT_FALSE(odbc::CreateDestinationFile(path, &error));
  EXPECT_FALSE(error.empty());

  EXPECT_TRUE(odbc::RegisterDestDsn(path, "dsna", ""));
  EXPECT_TRUE(odbc::UserDataSourceExists("dsna"));
  EXPECT_NE(ReadFile(userIni).find(path), std::string::npos);
  EXPECT_TRUE(odbc::RemoveDestDsn(path, "dsna", ""));
  EXPECT_FALSE(odbc::UserDataSourceExists("dsna"));
  EXPECT_FALSE(odbc::RemoveDestDsn(path, "dsna", ""));

  // A system data source "dsna" blocks the registration: only a removal is asked for.
  const std::string systemIni = OdbcSandbox::Install().sysDir + "/odbc.ini";
  {
    std::ofstream out(systemIni, std::ios::trunc);
    out << "[dsna]\nDriver=Microsoft Access Driver (*.mdb)\nDBQ=/nowhere.mdb\n";
  }
  std::string failure;
  EXPECT_TRUE(odbc::SystemDataSourceExists("DSNA"));
  EXPECT_FALSE(odbc::RegisterDestDsn(path, "dsna", "", &failure));
  EXPECT_TRUE(failure.empty());
  EXPECT_FALSE(odbc::UserDataSourceExists("dsna"));
  { std::ofstream out(systemIni, std::ios::trunc); }
  EXPECT_FALSE(odbc::SystemDataSourceExists("dsna"));
  odbc::RegisterSourceDsn(kDatabase, "dsns");
}

}  // namespace
}  // namespace talvoro::test
