// Limits and refused inserts: each error names its cause, and the file stays valid
// with the table exactly as it was.
#include <gtest/gtest.h>

#include "jet/database.h"
#include "jet/jet.h"
#include "jet_file_checks.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using jet::ColumnType;
using jet::ErrorCode;
using jet::Value;

jet::ErrorCode CodeOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    EXPECT_NE(std::string(e.what()), "");
    return e.code();
  }
  ADD_FAILURE() << "no error";
  return ErrorCode::Io;
}

jet::TableDef Simple(const std::string& name) {
  jet::TableDef d;
  d.name = name;
  d.columns = {{"K", ColumnType::Long}, {"T", ColumnType::Text, 10}};
  d.primaryKey = {"K"};
  return d;
}

struct BadDefinition {
  const char* what;
  std::function<void(jet::TableDef&)> change;
  ErrorCode code;
};

TEST(JetLimits, BadDefinitionsAreRefusedAndLeaveTheFileValid) {
  const BadDefinition cases[] = {
      {"256 columns", [](jet::TableDef& d) {
         d.columns.clear();
         for (int i = 0; i < 256; ++i) d.columns.push_back({"c" + std::to_string(i), ColumnType::Byte});
         d.primaryKey.clear();
       }, ErrorCode::LimitExceeded},
      {"65-character table name", [](jet::TableDef& d) { d.name = std::string(65, 'n'); }, ErrorCode::LimitExceeded},
      {"65-character column name", [](jet::TableDef& d) { d.columns[1].name = std::string(65, 'c'); },
       ErrorCode::LimitExceeded},
      {"Text over 255", [](jet::TableDef& d) { d.columns[1].length = 256; }, ErrorCode::LimitExceeded},
      {"Text of length 0", [](jet::TableDef& d) { d.columns[1].length = 0; }, ErrorCode::InvalidDefinition},
      {"Decimal precision 29", [](jet::TableDef& d) {
         d.columns[1] = {"D", ColumnType::Decimal, 0, 29, 2};
       }, ErrorCode::LimitExceeded},
      {"scale above precision", [](jet::TableDef& d) { d.columns[1] = {"D", ColumnType::Decimal, 0, 5, 6}; },
       ErrorCode::InvalidDefinition},
      {"duplicate column (any case)", [](jet::TableDef& d) { d.columns[1].name = "k"; }, ErrorCode::InvalidDefinition},
      {"unknown key column", [](jet::TableDef& d) { d.primaryKey = {"nope"}; }, ErrorCode::NoSuchColumn},
      {"Memo in a key", [](jet::TableDef& d) {
         d.columns[1] = {"M", ColumnType::Memo};
         d.primaryKey = {"M"};
       }, ErrorCode::InvalidDefinition},
      {"no columns", [](jet::TableDef& d) { d.columns.clear(); d.primaryKey.clear(); }, ErrorCode::InvalidDefinition},
      {"existing table", [](jet::TableDef& d) { d.name = "EXISTING"; }, ErrorCode::TableExists},
      {"'.' in a table name", [](jet::TableDef& d) { d.name = "dot.name"; }, ErrorCode::InvalidDefinition},
      {"'!' in a column name", [](jet::TableDef& d) { d.columns[1].name = "a!b"; }, ErrorCode::InvalidDefinition},
      {"'`' in a table name", [](jet::TableDef& d) { d.name = "a`b"; }, ErrorCode::InvalidDefinition},
      {"'[' in a column name", [](jet::TableDef& d) { d.columns[1].name = "a[b"; }, ErrorCode::InvalidDefinition},
      {"']' in a table name", [](jet::TableDef& d) { d.name = "a]b"; }, ErrorCode::InvalidDefinition},
      {"leading blank", [](jet::TableDef& d) { d.name = " T"; }, ErrorCode::InvalidDefinition},
      {"control character", [](jet::TableDef& d) { d.columns[1].name = "a\tb"; }, ErrorCode::InvalidDefinition},
      {"AutoNumber Text column", [](jet::TableDef& d) { d.columns[1].autoNumber = true; },
       ErrorCode::InvalidDefinition},
      {"two AutoNumber columns", [](jet::TableDef& d) {
         d.columns[0].autoNumber = true;
         d.columns[1] = {"L", ColumnType::Long};
         d.columns[1].autoNumber = true;
       }, ErrorCode::InvalidDefinition},
  };
  TempDir dir;
  std::string path = dir.File("limits.mdb");
  auto db = jet::Database::Create(path);
  db->CreateTable(Simple("Existing")).Insert({std::int64_t{1}, std::string("a")});
  for (const auto& c : cases) {
    jet::TableDef d = Simple("T");
    c.change(d);
    EXPECT_EQ(CodeOf([&] { db->CreateTable(d); }), c.code) << c.what;
  }
  // 255 columns and 64-character names are fine.
  jet::TableDef wide = Simple(std::string(64, 'w'));
  wide.columns.clear();
  for (int i = 0; i < 255; ++i) wide.columns.push_back({std::string(60, 'c') + std::to_string(1000 + i), ColumnType::Byte});
  wide.primaryKey.clear();
  db->CreateTable(wide);
  db->Flush();
  EXPECT_EQ(db->TableNames(), (std::vector<std::string>{"Existing", std::string(64, 'w')}));
  ExpectReadersAccept(path);
}

struct BadRow {
  const char* what;
  std::vector<Value> row;
  ErrorCode code;
};

TEST(JetLimits, RefusedInsertsLeaveTheTableAsItWas) {
  TempDir dir;
  std::string path = dir.File("rows.mdb");
  auto db = jet::Database::Create(path);
  jet::TableDef d;
  d.name = "Keyed";
  d.columns = {{"Name", ColumnType::Text, 20}, {"No", ColumnType::Integer}, {"Req", ColumnType::Byte, 0, 18, 0, true},
               {"Memo", ColumnType::Memo}, {"Bin", ColumnType::Binary, 4}};
  d.primaryKey = {"Name", "No"};
  jet::Table& t = db->CreateTable(d);
  t.Insert({std::string("Alpha"), std::int64_t{1}, std::int64_t{1}, std::string(100, 'm'), jet::Null{}});
  db->Flush();
  const std::string big(3000, 'x');
  const BadRow cases[] = {
      {"duplicate key, other letter case", {std::string("ALPHA"), std::int64_t{1}, std::int64_t{2}, jet::Null{}, jet::Null{}},
       ErrorCode::DuplicateKey},
      {"duplicate key with a long value", {std::string("Alpha "), std::int64_t{1}, std::int64_t{2}, std::string(9000, 'q'), jet::Null{}},
       ErrorCode::DuplicateKey},
      {"NULL in a key column", {jet::Null{}, std::int64_t{2}, std::int64_t{2}, jet::Null{}, jet::Null{}}, ErrorCode::NullNotAllowed},
      {"NULL in a required column", {std::string("B"), std::int64_t{2}, jet::Null{}, jet::Null{}, jet::Null{}},
       ErrorCode::NullNotAllowed},
      {"Integer out of range", {std::string("B"), std::int64_t{40000}, std::int64_t{2}, jet::Null{}, jet::Null{}},
       ErrorCode::ValueOutOfRange},
      {"Byte out of range", {std::string("B"), std::int64_t{2}, std::int64_t{-1}, jet::Null{}, jet::Null{}},
       ErrorCode::ValueOutOfRange},
      {"text too long", {std::string(21, 'z'), std::int64_t{2}, std::int64_t{2}, jet::Null{}, jet::Null{}},
       ErrorCode::ValueOutOfRange},
      {"invalid UTF-8", {std::string("\xff"), std::int64_t{2}, std::int64_t{2}, jet::Null{}, jet::Null{}},
       ErrorCode::ValueOutOfRange},
      {"wrong alternative", {std::string("B"), 2.0, std::int64_t{2}, jet::Null{}, jet::Null{}}, ErrorCode::TypeMismatch},
      {"too few values", {std::string("B"), std::int64_t{2}}, ErrorCode::WrongValueCount},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CodeOf([&] { t.Insert(c.row); }), c.code) << c.what;
    EXPECT_EQ(t.rowCount(), 1u) << c.what;
  }
  // A row too large for a page.
  jet::TableDef wide;
  wide.name = "Wide";
  for (int i = 0; i < 20; ++i) wide.columns.push_back({"t" + std::to_string(i), ColumnType::Text, 255});
  jet::Table& w = db->CreateTable(wide);
  std::vector<Value> row(20, Value(std::string(255, 'a')));  // about 5 KB even compressed
  EXPECT_EQ(CodeOf([&] { w.Insert(row); }), ErrorCode::RowTooLarge);
  EXPECT_EQ(w.rowCount(), 0u);

  t.Insert({std::string("Beta"), std::int64_t{1}, std::int64_t{1}, jet::Null{}, jet::Bytes{1, 2}});
  db->Flush();
  auto rows = ReadAll(t);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(std::get<std::string>(rows[1][0]), "Beta");
  nlohmann::json doc = ExpectReadersAccept(path);
  ASSERT_NE(FindReaderTable(doc, "Keyed"), nullptr);
  EXPECT_EQ((*FindReaderTable(doc, "Keyed"))["rows"].size(), 2u);
}

TEST(JetLimits, TheFileSizeLimitRefusesTheRowAndKeepsTheFile) {
  TempDir dir;
  std::string path = dir.File("full.mdb");
  auto db = jet::Database::Create(path);
  auto* jetDb = dynamic_cast<jet::JetDatabase*>(db.get());
  ASSERT_NE(jetDb, nullptr);
  jet::TableDef d = Simple("Filling");
  d.columns.push_back({"Memo", ColumnType::Memo});
  jet::Table& t = db->CreateTable(d);
  jetDb->SetPageLimit(jetDb->pager().pageCount() + 40);
  std::int64_t k = 0;
  ErrorCode code = ErrorCode::Io;
  try {
    for (; k < 100000; ++k) t.Insert({k, std::string("row"), std::string(3000 + (k % 7) * 1000, 'm')});
  } catch (const jet::Error& e) {
    code = e.code();
  }
  EXPECT_EQ(code, ErrorCode::FileFull);
  EXPECT_EQ(t.rowCount(), static_cast<std::uint64_t>(k));
  db->Flush();
  db.reset();
  auto reopened = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  EXPECT_EQ(ReadAll(*reopened->FindTable("Filling")).size(), static_cast<std::size_t>(k));
  ExpectReadersAccept(path);
}

TEST(JetLimits, OverlongNamesAreQuotedShortInMessages) {
  TempDir dir;
  auto db = jet::Database::Create(dir.File("names.mdb"));
  jet::TableDef d = Simple(std::string(64, 'a') + std::string(100, 'b'));
  try {
    db->CreateTable(d);
    ADD_FAILURE() << "no error";
  } catch (const jet::Error& e) {
    std::string message = e.what();
    EXPECT_NE(message.find(std::string(64, 'a') + "...'"), std::string::npos) << message;
    EXPECT_EQ(message.find("abb"), std::string::npos) << message;
  }
  // Names are compared without regard to case, also for non-ASCII letters.
  db->CreateTable(Simple("Äpfel"));
  EXPECT_EQ(CodeOf([&] { db->CreateTable(Simple("äPFEL")); }), ErrorCode::TableExists);
}

TEST(JetLimits, RequiredColumnsStayRequiredAfterReopening) {
  TempDir dir;
  std::string path = dir.File("required.mdb");
  {
    auto db = jet::Database::Create(path);
    jet::TableDef d = Simple("Req");
    d.columns.push_back({"Must", ColumnType::Double, 0, 18, 0, true});
    db->CreateTable(d).Insert({std::int64_t{1}, jet::Null{}, 1.5});
  }
  auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
  jet::Table* t = db->FindTable("req");
  ASSERT_NE(t, nullptr);
  const auto& columns = t->definition().columns;
  EXPECT_TRUE(columns[0].required);  // key column
  EXPECT_FALSE(columns[1].required);
  EXPECT_TRUE(columns[2].required);
  EXPECT_EQ(CodeOf([&] { t->Insert({std::int64_t{2}, std::string("x"), jet::Null{}}); }), ErrorCode::NullNotAllowed);
  EXPECT_NE(ReadWithMdbTools(path).schema.find("[Must]\t\t\tDouble NOT NULL"), std::string::npos)
      << ReadWithMdbTools(path).schema;
}

TEST(JetLimits, ReadOnlyDatabasesRefuseChanges) {
  TempDir dir;
  std::string path = dir.File("ro.mdb");
  jet::Database::Create(path)->CreateTable(Simple("T"));
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  EXPECT_EQ(CodeOf([&] { db->FindTable("t")->Insert({std::int64_t{1}, jet::Null{}}); }), ErrorCode::ReadOnly);
  EXPECT_EQ(CodeOf([&] { db->CreateTable(Simple("U")); }), ErrorCode::ReadOnly);
  EXPECT_EQ(CodeOf([&] { jet::Database::Create(path); }), ErrorCode::FileExists);
  std::string junk = dir.File("junk.mdb");
  FILE* f = fopen(junk.c_str(), "w");
  for (int i = 0; i < 5 * 4096; ++i) fputc('j', f);
  fclose(f);
  EXPECT_EQ(CodeOf([&] { jet::Database::Open(junk, jet::OpenMode::ReadOnly); }), ErrorCode::NotJet4);
  EXPECT_EQ(CodeOf([&] { jet::Database::Open(dir.File("missing.mdb"), jet::OpenMode::ReadOnly); }), ErrorCode::Io);
}

}  // namespace
}  // namespace talvoro::test
