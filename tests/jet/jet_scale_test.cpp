// Sizes that push the structures past one page: 255 columns, 300 tables,
// 100,000 rows, composite keys; and the connect-per-row pattern of the driver.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "jet/jet.h"
#include "jet_file_checks.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using jet::ColumnType;
using jet::Value;

TEST(JetScale, TwoHundredFiftyFiveColumnsSpanSeveralDefinitionPages) {
  TempDir dir;
  std::string path = dir.File("wide.mdb");
  jet::TableDef d;
  d.name = "Wide table with a rather long name of sixty-four characters 1234";
  ASSERT_EQ(d.name.size(), 64u);
  const ColumnType types[] = {ColumnType::Long, ColumnType::Text, ColumnType::Double, ColumnType::Memo,
                              ColumnType::Boolean};
  for (int i = 0; i < 255; ++i) {
    jet::ColumnDef c;
    c.name = "Column " + std::to_string(i) + " with a long descriptive name, quotes \" ' and blanks";
    c.type = types[i % 5];
    c.length = 20;
    d.columns.push_back(c);
  }
  d.primaryKey = {d.columns[0].name, d.columns[1].name};
  std::vector<std::vector<Value>> rows;
  for (int r = 0; r < 20; ++r) {
    std::vector<Value> row;
    for (int i = 0; i < 255; ++i) {
      switch (i % 5) {
        case 0: row.emplace_back(std::in_place_type<std::int64_t>, r * 1000 + i); break;
        case 1: row.push_back((r + i) % 3 || i == 1 ? Value(std::string("v") + std::to_string(i)) : Value(jet::Null{})); break;
        case 2: row.emplace_back(std::in_place_type<double>, r * 0.5 + i); break;
        case 3: row.emplace_back(std::in_place_type<std::string>, r % 2 ? 10 : 70, 'm'); break;
        case 4: row.emplace_back(std::in_place_type<bool>, r % 2 == 0); break;
      }
    }
    rows.push_back(row);
  }
  {
    auto db = jet::Database::Create(path);
    jet::Table& t = db->CreateTable(d);
    for (const auto& r : rows) t.Insert(r);
  }
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  jet::Table* t = db->FindTable(d.name);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->definition().columns.size(), 255u);
  EXPECT_EQ(t->definition().columns[254].name, d.columns[254].name);
  EXPECT_EQ(ReadAll(*t), rows);
  nlohmann::json doc = ExpectReadersAccept(path);
  const nlohmann::json* table = FindReaderTable(doc, d.name);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ((*table)["columns"].size(), 255u);
  EXPECT_EQ((*table)["rows"].size(), rows.size());
  EXPECT_EQ((*table)["rows"][3][d.columns[252].name], 3 * 0.5 + 252);
}

TEST(JetScale, ThreeHundredTablesInTheCatalog) {
  TempDir dir;
  std::string path = dir.File("many.mdb");
  std::vector<std::string> names;
  {
    auto db = jet::Database::Create(path);
    for (int i = 0; i < 300; ++i) {
      jet::TableDef d;
      d.name = "Table " + std::to_string(1000 - i) + (i % 2 ? " é" : " ж");
      d.columns = {{"Id", ColumnType::Long}, {"Note", ColumnType::Memo}};
      d.primaryKey = {"Id"};
      jet::Table& t = db->CreateTable(d);
      t.Insert({std::int64_t{i}, std::string(i % 3 ? 10 : 100, 'n')});
      names.push_back(d.name);
    }
  }
  auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
  EXPECT_EQ(db->TableNames(), names);
  jet::Table* last = db->FindTable(names.back());
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(ReadAll(*last).size(), 1u);
  MdbToolsRead tools = ReadWithMdbTools(path);
  EXPECT_TRUE(tools.ok) << tools.problems;
  EXPECT_EQ(tools.tables.size(), 300u);
  MdbReaderRead reader = ReadWithMdbReader(path);
  EXPECT_TRUE(reader.ok) << reader.problems;
  EXPECT_EQ(ExportWithMdbTools(path, names[150]).rows.size(), 1u);
}

TEST(JetScale, HundredThousandRowsWithACompositeTextAndNumberKey) {
  TempDir dir;
  std::string path = dir.File("big.mdb");
  constexpr int kRows = 100000;
  jet::TableDef d;
  d.name = "Orders";
  d.columns = {{"Region", ColumnType::Text, 30}, {"No", ColumnType::Long}, {"Amount", ColumnType::Currency},
               {"Note", ColumnType::Text, 100}};
  d.primaryKey = {"Region", "No"};
  const char* regions[] = {"North", "süd", "Ost", "West", "Zentrum"};
  {
    auto db = jet::Database::Create(path);
    jet::Table& t = db->CreateTable(d);
    for (int i = 0; i < kRows; ++i)
      t.Insert({std::string(regions[i % 5]), std::int64_t{(i * 7919) % kRows}, jet::Currency{i * 100},
                i % 10 ? Value(std::string("note ") + std::to_string(i)) : Value(jet::Null{})});
    // The same number in another region is fine; the same pair (any letter case) is not.
    EXPECT_THROW(t.Insert({std::string("SÜD"), std::int64_t{(1 * 7919) % kRows}, jet::Null{}, jet::Null{}}), jet::Error);
  }
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  jet::Table* t = db->FindTable("orders");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->rowCount(), static_cast<std::uint64_t>(kRows));
  auto rows = ReadAll(*t);
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  EXPECT_EQ(std::get<std::string>(rows[99999][3]), "note 99999");
  MdbReaderRead reader = ReadWithMdbReader(path, false);
  EXPECT_TRUE(reader.ok) << reader.problems;
  MdbExport exported = ExportWithMdbTools(path, "Orders");
  EXPECT_TRUE(exported.ok) << exported.problems;
  EXPECT_EQ(exported.rows.size(), static_cast<std::size_t>(kRows));
}

TEST(JetScale, ConnectPerRowAppendsWithoutRewritingTheFile) {
  TempDir dir;
  std::string path = dir.File("per-row.mdb");
  {
    auto db = jet::Database::Create(path);
    jet::TableDef d;
    d.name = "People";
    d.columns = {{"Id", ColumnType::Long}, {"Name", ColumnType::Text, 50}, {"Bio", ColumnType::Memo}};
    d.primaryKey = {"Id"};
    db->CreateTable(d);
  }
  for (int i = 0; i < 300; ++i) {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    db->FindTable("People")->Insert(
        {std::int64_t{i}, std::string("person ") + std::to_string(i), std::string(i % 50 == 0 ? 5000 : 20, 'b')});
    db->Flush();
  }
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  // Rows already on disk never move, so each session that adds rows after a flush
  // starts a data page of its own: the file grows by about a page per session (and
  // the memo pages), never by rewriting what it holds.
  EXPECT_LT(st.st_size, (64 + 300 + 20) * 4096) << "each session should add about one page";
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  auto rows = ReadAll(*db->FindTable("People"));
  ASSERT_EQ(rows.size(), 300u);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(std::get<std::int64_t>(rows[i][0]), i);
  nlohmann::json doc = ExpectReadersAccept(path);
  EXPECT_EQ((*FindReaderTable(doc, "People"))["rows"].size(), 300u);
}

// An open database that gives back its cached pages between inserts (as the
// driver does with a file nobody uses) reads them again and loses nothing.
TEST(JetScale, TrimmedCacheBetweenInsertsKeepsEveryRow) {
  TempDir dir;
  std::string path = dir.File("trimmed.mdb");
  constexpr int kRows = 20000;
  {
    auto db = jet::Database::Create(path);
    jet::TableDef d;
    d.name = "Log";
    d.columns = {{"Id", ColumnType::Long}, {"Text", ColumnType::Text, 100}};
    d.primaryKey = {"Id"};
    jet::Table& table = db->CreateTable(d);
    for (int i = 0; i < kRows; ++i) {
      table.Insert({std::int64_t{i}, std::string("entry number ") + std::to_string(i)});
      if (i % 1000 == 999) {
        db->Flush(jet::Durability::Written);
        db->TrimCache(i % 2000 == 999 ? 0 : 4);
      }
    }
  }
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  auto rows = ReadAll(*db->FindTable("Log"));
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(kRows));
  for (int i = 0; i < kRows; ++i) ASSERT_EQ(std::get<std::int64_t>(rows[i][0]), i);
  nlohmann::json doc = ExpectReadersAccept(path);
  EXPECT_EQ((*FindReaderTable(doc, "Log"))["rows"].size(), static_cast<std::size_t>(kRows));
}

}  // namespace
}  // namespace talvoro::test
