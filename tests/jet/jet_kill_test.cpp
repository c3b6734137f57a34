// A writer killed at random moments, also inside Flush: every file it leaves is
// read by both independent readers and holds a prefix of the rows written, with
// at least every row flushed before.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "jet/jet.h"
#include "jet_file_checks.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using jet::ColumnType;

// Writes rows 0, 1, 2, ... forever, flushing after every few; after each flush it
// records the number of rows flushed in `progress` (one byte per flush).
[[noreturn]] void Writer(const std::string& path, int progressFd, unsigned seed) {
  try {
    std::mt19937 random(seed);
    auto db = jet::Database::Open(path, jet::OpenMode::ReadWrite);
    jet::Table* t = db->FindTable("Log");
    std::int64_t next = static_cast<std::int64_t>(t->rowCount());
    for (;;) {
      int batch = 1 + static_cast<int>(random() % 40);
      for (int i = 0; i < batch; ++i, ++next) {
        std::size_t memo = random() % 10 == 0 ? 3000 + random() % 9000 : random() % 80;
        t->Insert({next, std::string("row ") + std::to_string(next), std::string(memo, 'a' + next % 26)});
      }
      db->Flush();
      std::int64_t flushed = next;
      if (write(progressFd, &flushed, sizeof flushed) != sizeof flushed) _exit(3);
    }
  } catch (...) {
    _exit(2);
  }
}

TEST(JetKill, EveryKilledWriterLeavesAReadablePrefix) {
  TempDir dir;
  std::string path = dir.File("killed.mdb");
  {
    auto db = jet::Database::Create(path);
    jet::TableDef d;
    d.name = "Log";
    d.columns = {{"Seq", ColumnType::Long}, {"Text", ColumnType::Text, 40}, {"Memo", ColumnType::Memo}};
    d.primaryKey = {"Seq"};
    db->CreateTable(d);
  }
  std::mt19937 random(20261210);
  std::int64_t lastFlushed = 0;
  for (int round = 0; round < 12; ++round) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipeFds[0]);
      Writer(path, pipeFds[1], static_cast<unsigned>(round));
    }
    close(pipeFds[1]);
    std::this_thread::sleep_for(std::chrono::microseconds(20000 + random() % 150000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own, status " << status;
    std::int64_t flushed;
    while (read(pipeFds[0], &flushed, sizeof flushed) == sizeof flushed) lastFlushed = flushed;
    close(pipeFds[0]);

    SCOPED_TRACE("round " + std::to_string(round));
    nlohmann::json doc = ExpectReadersAccept(path);
    const nlohmann::json* table = FindReaderTable(doc, "Log");
    ASSERT_NE(table, nullptr);
    const auto& rows = (*table)["rows"];
    ASSERT_GE(static_cast<std::int64_t>(rows.size()), lastFlushed);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      ASSERT_EQ(rows[i]["Seq"].get<std::int64_t>(), static_cast<std::int64_t>(i));
      ASSERT_EQ(rows[i]["Text"].get<std::string>(), "row " + std::to_string(i));
    }
    MdbExport exported = ExportWithMdbTools(path, "Log");
    EXPECT_EQ(exported.rows.size(), rows.size());
    auto db = jet::Database::Open(path, jet::OpenMode::ReadOnly);
    EXPECT_EQ(ReadAll(*db->FindTable("Log")).size(), rows.size());
  }
  EXPECT_GT(lastFlushed, 0);
}

}  // namespace
}  // namespace talvoro::test
