// Index entries written by Access and by the Jet engine (files in data/, see
// data/SOURCE.md): our keys equal theirs byte for byte, our tree reads their
// pages (node with child tail, prefix-compressed leaves, descending keys with
// NULLs) and inserts into them keep the order.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "index_memory_page_store.h"
#include "jet/index_key_encoder.h"
#include "jet/index_tree.h"

namespace jet {
namespace {

using testing::MemoryPageStore;

const std::string kData = TALVORO_JET_TEST_DATA;

ColumnDef Column(const char* name, ColumnType type) {
  ColumnDef c;
  c.name = name;
  c.type = type;
  c.length = type == ColumnType::Text ? 255 : 0;
  return c;
}

struct CatalogRow {
  std::uint8_t row;  // on the catalog's data page
  std::int64_t id;
  std::int64_t parentId;
  const char* name;
};

// The catalog rows of the engine-created files (both have them in this order).
const CatalogRow kEngineCatalog[] = {
    {0, 251658241, 251658240, "Tables"},         {1, 251658242, 251658240, "Databases"},
    {2, 251658243, 251658240, "Relationships"},  {3, 268435456, 251658242, "MSysDb"},
    {4, 2, 251658241, "MSysObjects"},            {5, 3, 251658241, "MSysACEs"},
    {6, 4, 251658241, "MSysQueries"},            {7, 5, 251658241, "MSysRelationships"},
};

// Further rows Access added in compIndexTestV2000.mdb.
const CatalogRow kAccessCatalog[] = {
    {8, -2147483648LL, 251658240, "DataAccessPages"}, {9, -2147483647LL, 251658240, "Forms"},
    {10, -2147483646LL, 251658240, "Modules"},        {11, -2147483645LL, 251658240, "Reports"},
    {12, -2147483644LL, 251658240, "Scripts"},        {13, -2147483643LL, 251658240, "SysRel"},
    {14, -2147483642LL, 251658242, "AccessLayout"},   {15, 15, 251658241, "Table1"},
    {16, 21, 251658241, "MSysAccessObjects"},
};

std::vector<IndexEntry> Expected(const IndexKeyEncoder& encoder, std::uint32_t dataPage,
                                 const std::vector<CatalogRow>& rows, bool byName) {
  std::vector<IndexEntry> out;
  for (const CatalogRow& r : rows) {
    std::vector<Value> values;
    if (byName) {
      values = {r.parentId, std::string(r.name)};
    } else {
      values = {r.id};
    }
    out.push_back({encoder.Key(values), dataPage, r.row});
  }
  std::sort(out.begin(), out.end(), [](const IndexEntry& a, const IndexEntry& b) {
    if (a.key != b.key) return a.key < b.key;
    return std::pair(a.dataPage, a.row) < std::pair(b.dataPage, b.row);
  });
  return out;
}

void ExpectSameEntries(const std::vector<IndexEntry>& found, const std::vector<IndexEntry>& expected) {
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    EXPECT_EQ(found[i].key, expected[i].key) << "entry " << i;
    EXPECT_EQ(found[i].dataPage, expected[i].dataPage) << "entry " << i;
    EXPECT_EQ(found[i].row, expected[i].row) << "entry " << i;
  }
}

struct CatalogFile {
  const char* file;
  std::uint32_t dataPage;
  bool accessRows;
};

class CatalogIndexes : public ::testing::TestWithParam<CatalogFile> {};

TEST_P(CatalogIndexes, KeysEqualTheFilesEntries) {
  const CatalogFile& f = GetParam();
  MemoryPageStore store = MemoryPageStore::FromFile(kData + "/" + f.file);
  std::vector<CatalogRow> rows(std::begin(kEngineCatalog), std::end(kEngineCatalog));
  if (f.accessRows) rows.insert(rows.end(), std::begin(kAccessCatalog), std::end(kAccessCatalog));

  // MSysObjects (TDEF page 2): real index 0 = (ParentId, Name) at page 7, 1 = Id at page 8.
  const IndexKeyEncoder byName(
      {{Column("ParentId", ColumnType::Long), true}, {Column("Name", ColumnType::Text), true}});
  IndexTree nameTree(store, 7, 2);
  ExpectSameEntries(nameTree.Entries(), Expected(byName, f.dataPage, rows, true));

  const IndexKeyEncoder byId({{Column("Id", ColumnType::Long), true}});
  IndexTree idTree(store, 8, 2);
  ExpectSameEntries(idTree.Entries(), Expected(byId, f.dataPage, rows, false));
  EXPECT_TRUE(idTree.Contains(byId.Key(std::vector<Value>{std::int64_t{2}})));
  EXPECT_FALSE(idTree.Contains(byId.Key(std::vector<Value>{std::int64_t{6}})));
}

INSTANTIATE_TEST_SUITE_P(Files, CatalogIndexes,
                         ::testing::Values(CatalogFile{"emptyJet4.mdb", 17, false},
                                           CatalogFile{"compIndexTestV2000.mdb", 14, true}),
                         [](const ::testing::TestParamInfo<CatalogFile>& info) { return "file" + std::to_string(info.index); });

// Table1 of compIndexTestV2000.mdb (TDEF page 15): 512 rows, a descending index on
// the Long column CD_AGENTE (column 0, fixed offset 0) with NULLs; root page 29 is a
// node with a child tail over prefix-compressed leaves.
class AccessDescendingIndex : public ::testing::Test {
 protected:
  AccessDescendingIndex()
      : store_(MemoryPageStore::FromFile(kData + "/compIndexTestV2000.mdb")),
        encoder_({{Column("CD_AGENTE", ColumnType::Long), false}}) {}

  // CD_AGENTE of a row, read straight from the data page.
  Value ReadAgent(std::uint32_t page, std::uint8_t row) {
    const std::uint8_t* p = store_.ReadPage(page);
    auto get16 = [&](std::size_t at) { return static_cast<std::size_t>(p[at] | (p[at + 1] << 8)); };
    EXPECT_EQ(p[0], 0x01);
    EXPECT_LT(row, get16(12));
    const std::size_t start = get16(14 + 2 * row) & 0x1FFF;
    const std::size_t end = row == 0 ? kPageSize : get16(14 + 2 * (row - 1)) & 0x1FFF;
    const std::size_t columns = get16(start);
    EXPECT_EQ(columns, 3u);
    const std::uint8_t nullMask = p[end - 1];
    if (!(nullMask & 1)) return Null{};
    const std::uint8_t* v = p + start + 2;
    return static_cast<std::int64_t>(static_cast<std::int32_t>(v[0] | (v[1] << 8) | (v[2] << 16) | (v[3] << 24)));
  }

  MemoryPageStore store_;
  IndexKeyEncoder encoder_;
};

TEST_F(AccessDescendingIndex, EveryEntryIsTheKeyOfItsRow) {
  IndexTree tree(store_, 29, 15);
  const std::vector<IndexEntry> entries = tree.Entries();
  ASSERT_EQ(entries.size(), 512u);
  std::size_t nulls = 0;
  std::set<std::pair<std::uint32_t, std::uint8_t>> rows;
  for (const IndexEntry& e : entries) {
    const Value agent = ReadAgent(e.dataPage, e.row);
    if (std::holds_alternative<Null>(agent)) ++nulls;
    EXPECT_EQ(e.key, encoder_.Key(std::vector<Value>{agent})) << "row " << e.row << " of page " << e.dataPage;
    rows.insert({e.dataPage, e.row});
  }
  EXPECT_GT(nulls, 0u);
  EXPECT_EQ(rows.size(), 512u);
  const std::vector<std::uint32_t> pages = tree.Pages();
  EXPECT_EQ(pages.front(), 29u);
  EXPECT_GE(pages.size(), 3u);
}

TEST_F(AccessDescendingIndex, InsertsIntoAccessPagesKeepTheOrder) {
  IndexTree tree(store_, 29, 15);
  std::vector<IndexEntry> before = tree.Entries();
  // New rows on a made-up page: the largest, smallest and middle values, and NULL.
  const std::vector<Value> values = {std::int64_t{2000000000}, std::int64_t{-5}, std::int64_t{1234567},
                                     Null{}, std::int64_t{0}};
  std::uint8_t row = 0;
  for (const Value& v : values) {
    const Bytes key = encoder_.Key(std::vector<Value>{v});
    tree.Insert(key, 900, row);
    before.push_back({key, 900, row});
    ++row;
  }
  // Enough to split the prefix-compressed leaves.
  for (std::int64_t v = 0; v < 800; ++v) {
    const Bytes key = encoder_.Key(std::vector<Value>{std::int64_t{1200000 + v * 7}});
    tree.Insert(key, 901, static_cast<std::uint8_t>(v % 250));
    before.push_back({key, 901, static_cast<std::uint8_t>(v % 250)});
  }
  std::sort(before.begin(), before.end(), [](const IndexEntry& a, const IndexEntry& b) {
    if (a.key != b.key) return a.key < b.key;
    return std::pair(a.dataPage, a.row) < std::pair(b.dataPage, b.row);
  });
  ExpectSameEntries(tree.Entries(), before);
  EXPECT_EQ(tree.Pages().front(), 29u);
}

}  // namespace
}  // namespace jet
