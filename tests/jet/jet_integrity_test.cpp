// Row ids that never move, and the integrity check that would see them move: files
// written over many flushes and sessions pass the engine's own check and the strict
// readers; files damaged on purpose are caught by the check, refused cleanly when
// they cannot be opened, and never changed by a session that only reads.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "jet/data_page.h"
#include "jet/format.h"
#include "jet/jet.h"
#include "jet/pager.h"
#include "jet/table_definition.h"
#include "jet_file_checks.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using jet::ColumnType;
namespace fs = std::filesystem;

jet::TableDef LogTable(const std::string& name) {
  jet::TableDef d;
  d.name = name;
  d.columns = {{"Seq", ColumnType::Long}, {"Text", ColumnType::Text, 40}, {"Memo", ColumnType::Memo}};
  d.primaryKey = {"Seq"};
  return d;
}

void AppendRows(jet::Table& t, std::int64_t from, std::int64_t count) {
  for (std::int64_t i = from; i < from + count; ++i)
    t.Insert({i, "row " + std::to_string(i), std::string(i % 7 == 0 ? 5000 : 20, static_cast<char>('a' + i % 26))});
}

void ExpectSound(const std::string& path) {
  EXPECT_EQ(jet::CheckIntegrity(path), std::vector<std::string>{});
  ExpectReadersAccept(path);
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The definition page of the user table whose first column is `firstColumn`.
std::uint32_t FindTdef(jet::Pager& pager, const std::u16string& firstColumn) {
  for (std::uint32_t p = 16; p < pager.pageCount(); ++p) {
    if (pager.ReadPage(p)[0] != jet::format::kPageTdef) continue;
    jet::TableDefinition def = jet::ReadTableDefinition(pager, p);
    if (!def.columns.empty() && def.columns[0].name == firstColumn) return p;
  }
  ADD_FAILURE() << "no table definition found";
  return 0;
}

TEST(RowIds, OneCreateTableOnANewFileIsFoundThroughTheCatalogIndexes) {
  TempDir dir;
  std::string path = dir.File("one.mdb");
  jet::Database::Create(path)->CreateTable(LogTable("Only"));
  ExpectSound(path);
}

TEST(RowIds, StayValidOverManySessionsAndFlushes) {
  TempDir dir;
  std::string path = dir.File("sessions.mdb");
  jet::Database::Create(path)->CreateTable(LogTable("Log"));
  std::int64_t next = 0;
  for (int session = 0; session < 4; ++session) {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    jet::Table* t = db->FindTable("Log");
    ASSERT_NE(t, nullptr);
    // Flushes inside a session, and a table created between them, as a long conversion does.
    for (int part = 0; part < 3; ++part, next += 100) {
      AppendRows(*t, next, 100);
      db->Flush(part % 2 ? jet::Durability::Written : jet::Durability::Synced);
    }
    db->CreateTable(LogTable("Side " + std::to_string(session)));
  }
  ExpectSound(path);
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  auto rows = ReadAll(*db->FindTable("Log"));
  ASSERT_EQ(rows.size(), static_cast<std::size_t>(next));
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(std::get<std::int64_t>(rows[i][0]), static_cast<std::int64_t>(i));
}

// Each kind of damage the check must report, made on a sound file.
struct Damage {
  const char* name;
  const char* expected;  // a part of the problem line
  std::function<void(jet::Pager&, std::uint32_t tdef, const jet::TableDefinition&)> apply;
};

class IntegrityCheckFinds : public ::testing::TestWithParam<Damage> {};

TEST_P(IntegrityCheckFinds, TheDamage) {
  TempDir dir;
  std::string path = dir.File("damaged.mdb");
  {
    auto db = jet::Database::Create(path);
    AppendRows(db->CreateTable(LogTable("Log")), 0, 400);
  }
  ASSERT_EQ(jet::CheckIntegrity(path), std::vector<std::string>{});
  {
    auto pager = jet::Pager::OpenFile(path, true);
    std::uint32_t tdef = FindTdef(*pager, u"Seq");
    GetParam().apply(*pager, tdef, jet::ReadTableDefinition(*pager, tdef));
    pager->Flush();
  }
  auto problems = jet::CheckIntegrity(path);
  ASSERT_FALSE(problems.empty());
  std::string all;
  for (const auto& p : problems) all += p + "\n";
  EXPECT_NE(all.find(GetParam().expected), std::string::npos) << all;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, IntegrityCheckFinds,
    ::testing::Values(
        Damage{"RowCount", "the definition counts 401 rows, the owned pages hold 400",
               [](jet::Pager& p, std::uint32_t tdef, jet::TableDefinition def) {
                 def.rowCount += 1;
                 jet::WriteTableState(p, tdef, def);
               }},
        Damage{"EntryPointsElsewhere", "which is not a live row of the table",
               [](jet::Pager& p, std::uint32_t, const jet::TableDefinition& def) {
                 // The first leaf entry's row number (last byte of the entry) made 200.
                 std::uint8_t* leaf = p.WritablePage(def.realIndexes.at(0).root);
                 while (leaf[0] == jet::format::kPageIndexNode) {
                   std::uint32_t child = jet::format::Get32(leaf + 20);
                   leaf = p.WritablePage(child);
                 }
                 std::size_t end = 0;
                 for (std::size_t bit = 1; bit <= 3616 && end == 0; ++bit)
                   if (leaf[27 + bit / 8] & (1u << (bit % 8))) end = bit;
                 leaf[480 + end - 1] = 200;
               }},
        Damage{"FreeSpace", "free bytes, its rows leave",
               [](jet::Pager& p, std::uint32_t tdef, const jet::TableDefinition&) {
                 for (std::uint32_t page = 16; page < p.pageCount(); ++page) {
                   const std::uint8_t* d = p.ReadPage(page);
                   if (d[0] == jet::format::kPageData && jet::format::Get32(d + 4) == tdef) {
                     std::uint8_t* w = p.WritablePage(page);
                     jet::format::Put16(w + 2, jet::format::Get16(w + 2) + 8);
                     return;
                   }
                 }
               }},
        Damage{"LongValueChain", "long value of",
               [](jet::Pager& p, std::uint32_t, const jet::TableDefinition&) {
                 // A long-value row cut short: its chain no longer holds its length.
                 for (std::uint32_t page = 16; page < p.pageCount(); ++page) {
                   const std::uint8_t* d = p.ReadPage(page);
                   if (d[0] == jet::format::kPageData && jet::format::Get32(d + 4) == jet::kLvalOwner &&
                       jet::DataPageRowCount(d) > 0) {
                     std::uint8_t* w = p.WritablePage(page);
                     jet::format::Put16(w + 14, jet::format::Get16(w + 14) + 16);
                     return;
                   }
                 }
               }}),
    [](const auto& info) { return std::string(info.param.name); });

// A writer that dies before its first flush leaves pages nobody refers to; the next
// writer gives them back, and the file is sound.
TEST(SpaceLeftBehind, PagesPastTheLastFlushAreGivenBackByTheNextWriter) {
  TempDir dir;
  std::string path = dir.File("killed.mdb");
  {
    auto db = jet::Database::Create(path);
    AppendRows(db->CreateTable(LogTable("Log")), 0, 10);
  }
  const auto before = fs::file_size(path);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    AppendRows(*db->FindTable("Log"), 10, 60000);  // more than the cache holds: pages reach the file
    _exit(0);                                      // no flush, no destructor
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_GT(fs::file_size(path), before + 1024 * 1024);
  ExpectSound(path);
  {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
    ASSERT_EQ(ReadAll(*db->FindTable("Log")).size(), 10u) << "the writer flushed before it died";
  }
  {
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    AppendRows(*db->FindTable("Log"), 10, 1);
  }
  EXPECT_LT(fs::file_size(path), before + 64 * 1024);
  ExpectSound(path);
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  EXPECT_EQ(ReadAll(*db->FindTable("Log")).size(), 11u);
}

// Damaged copies of a sound file: opening them either works or fails with a clear
// jet::Error, never crashes, and a session that only reads leaves the bytes alone.
TEST(DamagedFiles, AreRefusedCleanlyAndNeverWrittenByReaders) {
  TempDir dir;
  std::string good = dir.File("good.mdb");
  {
    auto db = jet::Database::Create(good);
    AppendRows(db->CreateTable(LogTable("Log")), 0, 300);
  }
  const std::string original = Bytes(good);
  std::mt19937 random(13);
  std::string path = dir.File("copy.mdb");
  auto write = [&](const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  auto readAll = [&](jet::OpenMode mode) {
    try {
      auto db = jet::Database::Open(path, mode);
      for (const auto& name : db->TableNames())
        if (jet::Table* t = db->FindTable(name)) ReadAll(*t);
    } catch (const jet::Error&) {
    }
  };
  // Cut short, at page boundaries and inside a page.
  for (std::size_t size : {std::size_t{12288}, std::size_t{3 * 4096 + 100}}) {
    write(original.substr(0, size));
    EXPECT_THROW(jet::Database::Open(path, jet::OpenMode::ReadWrite), jet::Error) << size;
    EXPECT_EQ(Bytes(path), original.substr(0, size));
  }
  write(original.substr(0, original.size() / 2));
  readAll(jet::OpenMode::ReadOnly);
  EXPECT_EQ(Bytes(path), original.substr(0, original.size() / 2));
  // Random bytes changed on the system pages and the table's pages.
  for (int round = 0; round < 150; ++round) {
    std::string damaged = original;
    for (int n = 0; n < 1 + static_cast<int>(random() % 8); ++n) {
      std::size_t at = random() % damaged.size();
      if (round % 2 == 0) at = random() % (16 * 4096);
      damaged[at] = static_cast<char>(random());
    }
    write(damaged);
    SCOPED_TRACE("round " + std::to_string(round));
    readAll(jet::OpenMode::ReadOnly);
    readAll(jet::OpenMode::ReadWrite);
    EXPECT_EQ(Bytes(path), damaged) << "a session that only read changed the file";
  }
}

TEST(DamagedFiles, FailingToOpenSaysWhatTheFileIs) {
  TempDir dir;
  std::string path = dir.File("cut.mdb");
  {
    auto db = jet::Database::Create(path);
    db->CreateTable(LogTable("Log"));
  }
  std::string bytes = Bytes(path);
  // The catalog's definition page overwritten with zeros.
  std::fill(bytes.begin() + 2 * 4096, bytes.begin() + 3 * 4096, '\0');
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  try {
    jet::Database::Open(path, jet::OpenMode::ReadWrite);
    FAIL() << "opened";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.code(), jet::ErrorCode::NotJet4);
    EXPECT_NE(std::string(e.what()).find("is not a Jet 4 database, or damaged"), std::string::npos) << e.what();
  }
  EXPECT_EQ(Bytes(path), bytes);
}

}  // namespace
}  // namespace talvoro::test
