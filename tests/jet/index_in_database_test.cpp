// Indexes as the engine maintains them in a real file: after inserts in random
// order, every primary key and catalog index of the written file is a valid tree
// whose entries are exactly the rows' keys, whose pages are exactly those of its
// usage map, and whose unique-entry count is right. The independent readers open
// the file without complaint.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <set>

#include "index_memory_page_store.h"
#include "index_tree_check.h"
#include "jet/index_key_encoder.h"
#include "jet/table_definition.h"
#include "jet/usage_map.h"
#include "jet_file_checks.h"
#include "temp_dir.h"

namespace jet {
namespace {

using testing::CheckedEntry;
using testing::IndexTreeCheck;
using testing::MemoryPageStore;

ColumnDef Col(const char* name, ColumnType type, std::uint16_t length = 0) {
  ColumnDef c;
  c.name = name;
  c.type = type;
  c.length = length;
  return c;
}

TEST(IndexInDatabase, EveryIndexOfTheWrittenFileIsAValidTree) {
  talvoro::test::TempDir dir("talvoro-index");
  const std::string path = dir.File("keys.mdb");

  std::mt19937 random(11);
  std::vector<std::int64_t> ids(40000);
  std::iota(ids.begin(), ids.end(), -20000);
  std::shuffle(ids.begin(), ids.end(), random);
  const char* names[] = {"Zo\xC3\xAB", "zoe", "\xC3\x89lodie", "O'Neil", "\xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0",
                         "\xE6\x9D\xB1\xE4\xBA\xAC", "anne-marie", "Anne Marie", "\xC3\x85sa", "Bj\xC3\xB6rk"};
  std::vector<std::pair<std::string, std::int64_t>> people;
  for (int seq = 0; seq < 300; ++seq)
    for (const char* n : names) people.emplace_back(n, seq);
  std::shuffle(people.begin(), people.end(), random);

  const ColumnDef id = Col("Id", ColumnType::Long);
  const ColumnDef name = Col("Name", ColumnType::Text, 50);
  const ColumnDef seq = Col("Seq", ColumnType::Long);
  {
    auto db = Database::Create(path);
    Table& numbers = db->CreateTable(TableDef{"Numbers", {id, Col("Label", ColumnType::Text, 20)}, {"Id"}});
    for (std::int64_t v : ids) numbers.Insert({v, std::string("n") + std::to_string(v)});
    EXPECT_THROW(numbers.Insert({ids[5], std::string("again")}), Error);
    Table& persons = db->CreateTable(TableDef{"People", {name, seq}, {"Name", "Seq"}});
    for (const auto& [n, s] : people) persons.Insert({n, s});
    // Differs only in letter case: the same key in the General sort order.
    EXPECT_THROW(persons.Insert({std::string("ZOE"), std::int64_t{3}}), Error);
    for (int i = 0; i < 250; ++i) db->CreateTable(TableDef{"Extra table " + std::to_string(i), {id}, {"Id"}});
    db->Flush();
  }
  talvoro::test::ExpectReadersAccept(path, /*withRows=*/false);

  // The keys each user table's primary key must hold, by row count.
  std::map<std::uint32_t, std::multiset<Bytes>> expectedKeys;
  {
    IndexKeyEncoder byId({{id, true}});
    auto& keys = expectedKeys[static_cast<std::uint32_t>(ids.size())];
    for (std::int64_t v : ids) keys.insert(byId.Key(std::vector<Value>{v}));
    IndexKeyEncoder byName({{name, true}, {seq, true}});
    auto& nameKeys = expectedKeys[static_cast<std::uint32_t>(people.size())];
    for (const auto& [n, s] : people) nameKeys.insert(byName.Key(std::vector<Value>{n, s}));
  }

  MemoryPageStore store = MemoryPageStore::FromFile(path);
  std::set<std::uint32_t> continuations;
  for (std::uint32_t p = 0; p < store.pageCount(); ++p) {
    const std::uint8_t* page = store.ReadPage(p);
    if (page[0] == 0x02) continuations.insert(page[4] | (page[5] << 8) | (page[6] << 16) | (page[7] << 24));
  }
  std::size_t checkedIndexes = 0, deepIndexes = 0, checkedUserKeys = 0;
  for (std::uint32_t tdef = 1; tdef < store.pageCount(); ++tdef) {
    if (store.ReadPage(tdef)[0] != 0x02 || continuations.count(tdef)) continue;
    const TableDefinition def = ReadTableDefinition(store, tdef);
    for (const RealIndex& ri : def.realIndexes) {
      SCOPED_TRACE("index rooted at page " + std::to_string(ri.root) + " of table " + std::to_string(tdef));
      IndexTreeCheck check(store, tdef);
      const std::vector<CheckedEntry> entries = check.Run(ri.root);
      ASSERT_EQ(entries.size(), def.rowCount);
      std::size_t distinct = 0;
      for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i == 0 || entries[i].key != entries[i - 1].key) ++distinct;
        const std::uint8_t* data = store.ReadPage(entries[i].pointer >> 8);
        ASSERT_EQ(data[0], 0x01) << "entry " << i << " points to a page that is not a data page";
        ASSERT_EQ(data[4] | (data[5] << 8) | (data[6] << 16) | (data[7] << 24), static_cast<int>(tdef));
        ASSERT_LT(entries[i].pointer & 0xFF, data[12] | (data[13] << 8)) << "row number past the page's rows";
      }
      EXPECT_EQ(ri.uniqueCount, distinct);
      const std::vector<std::uint32_t> mapPages = UsageMap(store, ri.map).Pages();
      EXPECT_EQ(std::set<std::uint32_t>(mapPages.begin(), mapPages.end()), check.pages()) << "index usage map";
      if (def.tableType == format::kTableTypeUser && expectedKeys.count(def.rowCount)) {
        std::multiset<Bytes> found;
        for (const CheckedEntry& e : entries) found.insert(e.key);
        EXPECT_EQ(found, expectedKeys[def.rowCount]);
        ++checkedUserKeys;
      }
      ++checkedIndexes;
      if (check.depth() >= 1) ++deepIndexes;
    }
  }
  EXPECT_EQ(checkedUserKeys, 2u);
  EXPECT_GE(checkedIndexes, 2u + 250u + 3u);
  EXPECT_GE(deepIndexes, 3u) << "both primary keys and the catalog's name index span several pages";
}

}  // namespace
}  // namespace jet
