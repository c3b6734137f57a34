// A writer stopped before each of its file writes in turn, as a kill there would
// stop it: every file it leaves is consistent as it stands (no repair by the next
// writer) and holds a prefix of the rows written, at least every row flushed.
// The stop points come from the engine's own count of file changes, so every
// point of every flush is hit on every run. (Random kills in the thousands:
// build/bench/kill_stress.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "jet/format.h"
#include "jet/jet.h"
#include "jet/pager.h"
#include "jet/table_definition.h"
#include "jet_file_checks.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using jet::ColumnType;

std::string MemoFor(std::int64_t seq) { return std::string(seq % 13 == 0 ? 5000 : 30, static_cast<char>('a' + seq % 26)); }

void AddLogRows(jet::Table& log, std::int64_t& next, int count) {
  for (int i = 0; i < count; ++i, ++next) log.Insert({next, std::string("row ") + std::to_string(next), MemoFor(next)});
}

// Two sessions of a writer: new tables (one whose definition spans two pages),
// rows with long values, a new index and a relationship, flushes both Written and
// Synced. After each flush it sends the number of Log rows flushed.
void Workload(const std::string& path, int progressFd) {
  auto report = [&](std::int64_t flushed) {
    if (write(progressFd, &flushed, sizeof flushed) != sizeof flushed) _exit(3);
  };
  std::int64_t next = 0;
  {
    auto db = jet::Database::Create(path);
    jet::TableDef log;
    log.name = "Log";
    log.columns = {{"Seq", ColumnType::Long}, {"Text", ColumnType::Text, 40}, {"Memo", ColumnType::Memo}};
    log.primaryKey = {"Seq"};
    jet::Table& t = db->CreateTable(log);
    jet::TableDef wide;
    wide.name = "Wide";
    wide.columns.push_back({"Id", ColumnType::Long});
    for (int c = 1; c < 150; ++c) wide.columns.push_back({"Column number " + std::to_string(c), ColumnType::Long});
    wide.primaryKey = {"Id"};
    jet::Table& w = db->CreateTable(wide);
    AddLogRows(t, next, 300);
    std::vector<jet::Value> row(150, jet::Value{std::int64_t{1}});
    for (std::int64_t i = 0; i < 40; ++i) {
      row[0] = i;
      w.Insert(row);
    }
    db->Flush(jet::Durability::Synced);
    report(next);
    AddLogRows(t, next, 700);
    jet::TableDef side;
    side.name = "Side";
    side.columns = {{"Id", ColumnType::Long}, {"Seq", ColumnType::Long}};
    side.primaryKey = {"Id"};
    jet::Table& s = db->CreateTable(side);
    for (std::int64_t i = 0; i < 50; ++i) s.Insert({i, i * 3});
    jet::IndexDef bySeq;
    bySeq.name = "BySeq";
    bySeq.columns = {{"Seq", false}};
    db->CreateIndex("Side", bySeq);
    jet::RelationshipDef rel;
    rel.name = "SideLog";
    rel.table = "Side";
    rel.columns = {"Seq"};
    rel.referencedTable = "Log";
    rel.referencedColumns = {"Seq"};
    db->CreateRelationship(rel);
    db->Flush(jet::Durability::Written);
    report(next);
  }
  auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
  AddLogRows(*db->FindTable("Log"), next, 500);
  for (std::int64_t i = 40; i < 60; ++i) {
    std::vector<jet::Value> row(150, jet::Value{i});
    db->FindTable("Wide")->Insert(row);
  }
  db->Flush(jet::Durability::Synced);
  report(next);
}

struct Outcome {
  int status = 0;
  std::int64_t flushed = 0;
};

// Runs the workload in a child stopped before its `stopAt`-th file change (0: never).
Outcome RunWriter(const std::string& path, std::uint64_t stopAt, const std::string& countFile = "") {
  std::filesystem::remove(path);
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    if (stopAt) setenv("TALVORO_JET_EXIT_AT_WRITE", std::to_string(stopAt).c_str(), 1);
    if (!countFile.empty()) setenv("TALVORO_JET_WRITE_COUNT_FILE", countFile.c_str(), 1);
    try {
      Workload(path, fds[1]);
    } catch (...) {
      _exit(2);
    }
    _exit(0);
  }
  close(fds[1]);
  Outcome o;
  std::int64_t value;
  while (read(fds[0], &value, sizeof value) == sizeof value) o.flushed = value;
  close(fds[0]);
  waitpid(child, &o.status, 0);
  return o;
}

// Log holds rows 0..n-1 whole and in order, n >= flushed; returns n.
std::int64_t ExpectLogPrefix(const std::string& path, std::int64_t flushed) {
  auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
  jet::Table* log = db->FindTable("Log");
  if (!log) {
    EXPECT_EQ(flushed, 0) << "Log is missing";
    return 0;
  }
  auto rows = ReadAll(*log);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(std::get<std::int64_t>(rows[i][0]), static_cast<std::int64_t>(i));
    EXPECT_EQ(std::get<std::string>(rows[i][2]), MemoFor(static_cast<std::int64_t>(i)));
  }
  EXPECT_GE(static_cast<std::int64_t>(rows.size()), flushed);
  EXPECT_EQ(log->rowCount(), rows.size());
  return static_cast<std::int64_t>(rows.size());
}

TEST(JetKill, AWriterStoppedBeforeAnyWriteLeavesAConsistentFile) {
  TempDir dir;
  const std::string path = dir.File("stopped.mdb");
  const std::string countFile = dir.File("count");
  Outcome whole = RunWriter(path, 0, countFile);
  ASSERT_TRUE(WIFEXITED(whole.status) && WEXITSTATUS(whole.status) == 0) << whole.status;
  std::uint64_t changes = 0;
  std::ifstream(countFile) >> changes;
  // (A change is one write: adjacent new pages go out together.)
  ASSERT_GT(changes, 30u);
  ASSERT_EQ(ExpectLogPrefix(path, whole.flushed), 1500);
  ExpectReadersAccept(path);

  for (std::uint64_t stop = 1; stop <= changes; ++stop) {
    SCOPED_TRACE("stopped before file change " + std::to_string(stop) + " of " + std::to_string(changes));
    Outcome o = RunWriter(path, stop);
    ASSERT_TRUE(WIFEXITED(o.status) && WEXITSTATUS(o.status) == 137) << "status " << o.status;
    if (!std::filesystem::exists(path) || std::filesystem::file_size(path) == 0) continue;
    std::vector<std::string> problems;
    try {
      problems = jet::CheckIntegrity(path);
    } catch (const jet::Error& e) {
      // Stopped while the new file's first pages were being written: not a database yet.
      ASSERT_EQ(o.flushed, 0) << e.what();
      continue;
    }
    std::string all;
    for (const auto& p : problems) all += p + "\n";
    ASSERT_TRUE(problems.empty()) << all;
    ExpectLogPrefix(path, o.flushed);
    // The next writer takes the file as it is; every 25th stop also goes through
    // the independent readers (the strict Jackcess check included).
    if (stop % 10 == 0) {
      auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
      if (jet::Table* log = db->FindTable("Log")) {
        auto n = static_cast<std::int64_t>(log->rowCount());
        log->Insert({n, std::string("row ") + std::to_string(n), MemoFor(n)});
        db->Flush();
      }
      db.reset();
      EXPECT_TRUE(jet::CheckIntegrity(path).empty());
    }
    if (stop % 25 == 0 || stop == changes) ExpectReadersAccept(path);
    if (HasFatalFailure()) return;
  }
}

// Earlier versions wrote index pages after the definition and marked it while
// they did; a file such a writer left marked is repaired by the next writer.
TEST(JetKill, IndexesLeftInDoubtAreRepairedByTheNextWriter) {
  TempDir dir;
  std::string path = dir.File("doubt.mdb");
  {
    auto db = jet::Database::Create(path);
    jet::TableDef d;
    d.name = "Keyed";
    d.columns = {{"K", ColumnType::Long}, {"V", ColumnType::Text, 20}};
    d.primaryKey = {"K"};
    jet::Table& t = db->CreateTable(d);
    for (int i = 0; i < 100; ++i) t.Insert({std::int64_t{i}, std::string("v")});
  }
  {
    // Empty the primary key's leaf and mark the definition, as a crash would leave it.
    auto pager = jet::Pager::OpenFile(path, true);
    bool found = false;
    for (std::uint32_t p = 16; p < pager->pageCount() && !found; ++p) {
      if (pager->ReadPage(p)[0] != jet::format::kPageTdef) continue;
      jet::TableDefinition def = jet::ReadTableDefinition(*pager, p);
      if (def.columns.empty() || def.columns[0].name != u"K") continue;
      found = true;
      std::uint8_t* leaf = pager->WritablePage(def.realIndexes.at(0).root);
      std::memset(leaf, 0, jet::kPageSize);
      leaf[0] = jet::format::kPageIndexLeaf;
      leaf[1] = 0x01;
      jet::format::Put16(leaf + 2, 3616);
      jet::format::Put32(leaf + 4, p);
      jet::WriteIndexesInDoubt(*pager, p, true);
    }
    ASSERT_TRUE(found);
    pager->Flush();
  }
  auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
  jet::Table* t = db->FindTable("Keyed");
  ASSERT_NE(t, nullptr);
  EXPECT_THROW(t->Insert({std::int64_t{42}, std::string("again")}), jet::Error);
  t->Insert({std::int64_t{100}, std::string("new")});
  db->Flush();
  EXPECT_EQ(t->rowCount(), 101u);
  ExpectReadersAccept(path);
}

}  // namespace
}  // namespace talvoro::test
