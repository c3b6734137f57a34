// The row copy's blocks as the destination sees them: a row the Access driver
// refuses in the middle of a block keeps the rows before it (and the progress
// reported for them), so does a source value Access cannot store in the middle
// of a block of fetched rows, and rows with large values go over whole, however
// the blocks are cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/row_copy.h"
#include "file_acceptance.h"
#include "odbc/data_sources.h"
#include "odbc/database.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

constexpr char kDatabase[] = "Copies";
constexpr int kRows = 3000;
constexpr int kRefusedRow = 2500;  // in the third block of 1024 rows
// Dates: row 700 holds a date Access cannot store, inside a block of rows the
// source hands over in one fetch.
constexpr int kDateRows = 1000;
constexpr int kUnstorableDateRow = 700;
// Rows of Large: small values between values larger than a block's byte bound.
constexpr int kLargeSizes[] = {3, 128 << 10, 3, 2 << 20, 3, 3 << 20};
constexpr int kLargeRows = 6;

std::string LargeValue(int row) {
  return std::string(static_cast<std::size_t>(kLargeSizes[row]), static_cast<char>('a' + row));
}

class RowCopyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SourceServer();
    server_->Execute("", {std::string("CREATE DATABASE ") + kDatabase});
    // Numbers: ids 1..3000, but row 2500 repeats id 7, which the destination's key refuses.
    std::vector<std::string> statements = {"CREATE TABLE Numbers (id int NOT NULL, name nvarchar(20) NULL)"};
    for (int done = 1; done <= kRows;) {
      std::string sql = "INSERT INTO Numbers VALUES ";
      for (int i = 0; i < 500; ++i, ++done) {
        const int id = done == kRefusedRow ? 7 : done;
        sql += (i ? ",(" : "(") + std::to_string(id) + (done % 3 ? ", N'n" + std::to_string(done) + "')" : ", NULL)");
      }
      statements.push_back(sql);
    }
    statements.push_back("CREATE TABLE Dates (id int NOT NULL, d datetime2 NULL)");
    for (int done = 1; done <= kDateRows;) {
      std::string sql = "INSERT INTO Dates VALUES ";
      for (int i = 0; i < 500; ++i, ++done)
        sql += (i ? ",(" : "(") + std::to_string(done) +
               (done == kUnstorableDateRow ? ", '0050-01-01')" : ", '2020-01-01 10:00:00.1234567')");
      statements.push_back(sql);
    }
    statements.push_back("CREATE TABLE Large (id int NOT NULL PRIMARY KEY, data varbinary(max) NULL)");
    for (int i = 0; i < kLargeRows; ++i) {
      std::string hex;
      for (char c : LargeValue(i)) hex += "0123456789ABCDEF"[(c >> 4) & 15], hex += "0123456789ABCDEF"[c & 15];
      statements.push_back("INSERT INTO Large VALUES (" + std::to_string(i) + ", 0x" + hex + ")");
    }
    server_->Execute(kDatabase, statements);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    path_ = dir_.File("copies.mdb");
    std::string error;
    ASSERT_TRUE(odbc::CreateDestinationFile(path_, &error)) << error;
    destination_.OpenEx("DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + path_);
    source_.set_query_timeout(0);
    source_.OpenEx(server_->process().ConnectString(kDatabase));
  }

  static SourceServer* server_;
  TempDir dir_{"talvoro-row-copy"};
  std::string path_;
  odbc::Database destination_;
  odbc::Database source_;
};

SourceServer* RowCopyTest::server_ = nullptr;

engine::ColumnMapping Mapping(engine::ValueKind kind) {
  engine::ColumnMapping mapping;
  mapping.valueKind = kind;
  return mapping;
}

TEST_F(RowCopyTest, ARefusedRowInABlockKeepsTheRowsBeforeIt) {
  destination_.ExecuteSQL("CREATE TABLE Numbers (\"id\" int PRIMARY KEY, \"name\" varchar(20) NULL)");
  odbc::Recordset rows(source_);
  rows.Open("Select * from [Numbers]");
  std::vector<std::uint64_t> reports;
  engine::RowCopyResult copied;
  try {
    engine::CopyTableRows(rows, "Numbers", {Mapping(engine::ValueKind::Integer), Mapping(engine::ValueKind::WideText)},
                          destination_, 1000, [&](std::uint64_t n) { reports.push_back(n); }, copied);
    FAIL() << "row " << kRefusedRow << " breaks the key";
  } catch (const odbc::DBException& e) {
    EXPECT_EQ(e.context(), "row " + std::to_string(kRefusedRow) + " refused");
    EXPECT_EQ(e.sqlState(), "23000") << odbc::FormatDiagnostics(e.records());
  }
  EXPECT_FALSE(copied.commitFailed);
  EXPECT_EQ(copied.rowsCopied, static_cast<std::uint64_t>(kRefusedRow - 1));
  EXPECT_EQ(reports, (std::vector<std::uint64_t>{1000, 2000}));
  destination_.Close();

  FileAcceptance file = ReadersAccept(path_);
  EXPECT_TRUE(file.ok) << file.problems;
  EXPECT_EQ(file.rowCounts["Numbers"], static_cast<std::uint64_t>(kRefusedRow - 1));
  const nlohmann::json* table = nullptr;
  for (const auto& t : file.document["tables"])
    if (t["name"] == "Numbers") table = &t;
  ASSERT_NE(table, nullptr);
  const nlohmann::json& last = (*table)["rows"][kRefusedRow - 2];
  EXPECT_EQ(last["id"], kRefusedRow - 1);
  EXPECT_TRUE(last["name"].is_null()) << "every third name is NULL";
  EXPECT_EQ((*table)["rows"][kRefusedRow - 3]["name"], "n" + std::to_string(kRefusedRow - 2));
}

TEST_F(RowCopyTest, AnUnstorableValueInAFetchedBlockKeepsTheRowsBeforeIt) {
  destination_.ExecuteSQL("CREATE TABLE Dates (\"id\" int PRIMARY KEY, \"d\" datetime NULL)");
  odbc::Recordset rows(source_);
  rows.Open("Select * from [Dates]");
  engine::RowCopyResult copied;
  engine::ColumnMapping date = Mapping(engine::ValueKind::DateTime);
  date.finerThanMillisecond = true;
  try {
    engine::CopyTableRows(rows, "Dates", {Mapping(engine::ValueKind::Integer), date}, destination_, 0, nullptr, copied);
    FAIL() << "row " << kUnstorableDateRow << " holds the year 50";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "column d: the date 50-1-1 lies outside the years 100 to 9999 that Access can store");
  }
  EXPECT_EQ(copied.rowsCopied, static_cast<std::uint64_t>(kUnstorableDateRow - 1));
  destination_.Close();
  FileAcceptance file = ReadersAccept(path_);
  EXPECT_TRUE(file.ok) << file.problems;
  EXPECT_EQ(file.rowCounts["Dates"], static_cast<std::uint64_t>(kUnstorableDateRow - 1));
}

TEST_F(RowCopyTest, LargeValuesGoOverWhole) {
  destination_.ExecuteSQL("CREATE TABLE Large (\"id\" int PRIMARY KEY, \"data\" LONGBINARY NULL)");
  odbc::Recordset rows(source_);
  rows.Open("Select * from [Large]");
  engine::RowCopyResult copied;
  engine::CopyTableRows(rows, "Large", {Mapping(engine::ValueKind::Integer), Mapping(engine::ValueKind::Binary)},
                        destination_, 0, nullptr, copied);
  EXPECT_EQ(copied.rowsCopied, static_cast<std::uint64_t>(kLargeRows));

  odbc::Recordset back(destination_);
  back.Open("SELECT * FROM Large");
  std::string expected, bytes;
  for (int i = 0; i < kLargeRows; ++i) {
    ASSERT_TRUE(back.Fetch());
    std::int64_t id = -1;
    back.GetInt64(0, id);
    EXPECT_EQ(id, i);
    ASSERT_TRUE(back.GetBinary(1, bytes));
    expected = LargeValue(i);
    EXPECT_TRUE(bytes == expected) << "row " << i << ": " << bytes.size() << " bytes";
  }
  EXPECT_FALSE(back.Fetch());
  back.Close();
  destination_.Close();
  FileAcceptance file = ReadersAccept(path_);
  EXPECT_TRUE(file.ok) << file.problems;
}

}  // namespace
}  // namespace talvoro::test
