// Files written by other programs: the Jet engine's own empty databases and a file
// made by Access are read, and a copy of each accepts new tables and rows.
#include <gtest/gtest.h>

#include <filesystem>

#include "jet/jet.h"
#include "jet_file_checks.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

class ReferenceFileTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ReferenceFileTest, EveryTableReadsAsMdbReaderReadsIt) {
  std::string path = std::string(TALVORO_JET_SAMPLES) + "/" + GetParam();
  struct {
    nlohmann::json document;
  } reference{ReadForeignFile(path)};
  ASSERT_TRUE(reference.document.contains("tables"));
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  std::vector<std::string> expected;
  for (const auto& t : reference.document["tables"])
    if (!t.value("system", false)) expected.push_back(t["name"]);
  EXPECT_EQ(db->TableNames(), expected);
  for (const auto& name : db->TableNames()) {
    jet::Table* t = db->FindTable(name);
    ASSERT_NE(t, nullptr);
    auto rows = ReadAll(*t);
    const auto& jrows = (*FindReaderTable(reference.document, name))["rows"];
    ASSERT_EQ(rows.size(), jrows.size()) << name;
    const auto& columns = t->definition().columns;
    for (std::size_t r = 0; r < rows.size(); ++r)
      for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto& j = jrows[r][columns[c].name];
        const jet::Value& v = rows[r][c];
        if (j.is_null()) {
          EXPECT_TRUE(std::holds_alternative<jet::Null>(v)) << name << " row " << r << " " << columns[c].name;
        } else if (auto* n = std::get_if<std::int64_t>(&v)) {
          EXPECT_EQ(j.get<std::int64_t>(), *n);
        } else if (auto* s = std::get_if<std::string>(&v)) {
          EXPECT_EQ(j.get<std::string>(), *s);
        }
      }
  }
}

TEST_P(ReferenceFileTest, ACopyTakesNewTablesAndRows) {
  TempDir dir;
  std::string path = dir.File("copy.mdb");
  std::filesystem::copy_file(std::string(TALVORO_JET_SAMPLES) + "/" + GetParam(), path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::size_t before;
  {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    before = db->TableNames().size();
    jet::TableDef d;
    d.name = "Added";
    d.columns = {{"Id", jet::ColumnType::Long}, {"Text", jet::ColumnType::Text, 40}, {"Memo", jet::ColumnType::Memo}};
    d.primaryKey = {"Id"};
    jet::Table& t = db->CreateTable(d);
    for (int i = 0; i < 500; ++i) t.Insert({std::int64_t{i}, std::string("added ") + std::to_string(i), std::string(i, 'm')});
    db->Flush();
  }
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  EXPECT_EQ(db->TableNames().size(), before + 1);
  EXPECT_EQ(ReadAll(*db->FindTable("Added")).size(), 500u);
  MdbToolsRead tools = ReadWithMdbTools(path);
  EXPECT_TRUE(tools.ok) << tools.problems;
  EXPECT_TRUE(ExportWithMdbTools(path, "Added").ok);
  nlohmann::json doc = ReadForeignFile(path);
  ASSERT_NE(FindReaderTable(doc, "Added"), nullptr);
  EXPECT_EQ((*FindReaderTable(doc, "Added"))["rows"].size(), 500u);
}

std::vector<std::string> SampleFiles() {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(TALVORO_JET_SAMPLES))
    if (e.path().extension() == ".mdb") files.push_back(e.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

INSTANTIATE_TEST_SUITE_P(Samples, ReferenceFileTest, ::testing::ValuesIn(SampleFiles()),
                         [](const auto& info) {
                           std::string n = info.param.substr(0, info.param.size() - 4);
                           for (auto& ch : n)
                             if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

}  // namespace
}  // namespace talvoro::test
