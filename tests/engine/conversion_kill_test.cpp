// Kestrin1 stopped, as a kill would stop it, before chosen writes of a
// conversion of several tables with many commits, through the real stand-in,
// FreeTDS and our driver. The stops are placed by the engine's count of file
// changes (the test hook TALVORO_JET_EXIT_AT_WRITE), spread over a whole run, so
// each run of the test stops at the same kinds of moments. After every stop all
// three readers accept the file, every table reported converted is there with
// every row, and the table being copied holds a prefix of its source rows.
// (Kills at random moments, thousands of them: build/bench/kill_stress.)
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>

#include "child_process.h"
#include "file_acceptance.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kDatabase[] = "Killable";
const std::vector<std::string> kTables = {"Alpha", "Beta", "Gamma"};
constexpr int kRowsPerTable = 20000;
constexpr int kSpreadStops = 16;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class ConversionKillTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SourceServer();
    server_->Execute("", {std::string("CREATE DATABASE ") + kDatabase});
    for (const std::string& table : kTables) {
      std::vector<std::string> statements = {
          "CREATE TABLE " + table + " (id int NOT NULL PRIMARY KEY, name nvarchar(60) NULL, "
          "note ntext NULL, amount money NULL)"};
      for (int done = 0; done < kRowsPerTable;) {
        std::string sql = "INSERT INTO " + table + " VALUES ";
        for (int i = 0; i < 1000; ++i, ++done) {
          // Now and then a long value, so long-value pages are written too.
          const std::string note = done % 97 == 0 ? std::string(3000, 'n') : "note " + std::to_string(done);
          sql += (i ? ",(" : "(") + std::to_string(done) + ",N'" + table + " " + std::to_string(done) +
                 "',N'" + note + "'," + std::to_string(done) + ".25)";
        }
        statements.push_back(sql);
      }
      server_->Execute(kDatabase, statements);
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { setenv("KESTRIN1_PASSWORD", kSqlPassword, 1); }
  void TearDown() override { unsetenv("KESTRIN1_PASSWORD"); }

  // With `stopAt`, the program ends (status 137) before its stopAt-th file change.
  std::unique_ptr<ChildProcess> Start(std::uint64_t stopAt = 0, const std::string& countFile = "") {
    if (stopAt) setenv("TALVORO_JET_EXIT_AT_WRITE", std::to_string(stopAt).c_str(), 1);
    if (!countFile.empty()) setenv("TALVORO_JET_WRITE_COUNT_FILE", countFile.c_str(), 1);
    auto child = std::make_unique<ChildProcess>(
        std::vector<std::string>{TALVORO_BUILD_DIR "/app/Kestrin1", "--database", kDatabase, "--dest",
                                 dest_, "--sql-login", kSqlLogin, "--all", "--overwrite",
                                 "--commit-interval", "50"},
        out_, err_);
    unsetenv("TALVORO_JET_EXIT_AT_WRITE");
    unsetenv("TALVORO_JET_WRITE_COUNT_FILE");
    return child;
  }

  // Tables the output reports converted, with their row counts.
  static std::map<std::string, std::uint64_t> ReportedConverted(const std::string& printed) {
    std::map<std::string, std::uint64_t> reported;
    const std::regex line(R"(\] (\w+) converted, (\d+) rows)");
    for (auto it = std::sregex_iterator(printed.begin(), printed.end(), line); it != std::sregex_iterator(); ++it) {
      reported[(*it)[1]] = std::stoull((*it)[2]);
    }
    return reported;
  }

  // Every table in the file holds the first rows of its source, in order, whole.
  static void ExpectPrefixesOfTheSource(const FileAcceptance& file) {
    for (const auto& table : file.document["tables"]) {
      if (table.value("system", false)) continue;
      const std::string name = table["name"];
      const auto& rows = table["rows"];
      for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        ASSERT_EQ(row["id"], static_cast<int>(i)) << name;
        ASSERT_EQ(row["name"], name + " " + std::to_string(i)) << name;
        const std::string note = i % 97 == 0 ? std::string(3000, 'n') : "note " + std::to_string(i);
        ASSERT_EQ(row["note"], note) << name << " row " << i;
      }
    }
  }

  static SourceServer* server_;
  TempDir dir_{"talvoro-killed"};
  std::string dest_ = dir_.File("killed.mdb");
  std::string out_ = dir_.File("out.txt"), err_ = dir_.File("err.txt");
};

SourceServer* ConversionKillTest::server_ = nullptr;

TEST_F(ConversionKillTest, EveryStoppedFileIsReadableAndHoldsWhatWasReported) {
  // One whole run, for how many file changes a conversion makes.
  const std::string countFile = dir_.File("changes.txt");
  auto run = Start(0, countFile);
  std::optional<int> exit = run->WaitFor(std::chrono::minutes(5));
  ASSERT_EQ(exit, std::optional<int>(0)) << ReadText(out_) << ReadText(err_);
  ASSERT_EQ(ReportedConverted(ReadText(out_)).size(), kTables.size()) << ReadText(out_);
  std::uint64_t changes = 0;
  std::istringstream(ReadText(countFile)) >> changes;
  // (A change is one write: adjacent new pages go out together.)
  ASSERT_GT(changes, 40u);

  // The first writes (the new file), then stops spread evenly over the run.
  std::vector<std::uint64_t> stops = {1, 2, 3, 5, 8, 13};
  for (int i = 1; i <= kSpreadStops; ++i) stops.push_back(changes * i / (kSpreadStops + 1));
  for (std::uint64_t stop : stops) {
    SCOPED_TRACE("stopped before file change " + std::to_string(stop) + " of about " + std::to_string(changes));
    std::filesystem::remove(dest_);
    run = Start(stop);
    exit = run->WaitFor(std::chrono::minutes(5));
    run.reset();
    // Commits follow the clock, so a run may make a few changes less than the whole
    // one did and finish before the stop.
    ASSERT_TRUE(exit == std::optional<int>(137) || exit == std::optional<int>(0)) << ReadText(err_);
    const std::string printed = ReadText(out_);
    // Stopped before the new file's header page, written last of its first pages:
    // not a database yet, and no table was reported converted.
    if (!std::filesystem::exists(dest_) || ReadText(dest_).compare(4, 15, "Standard Jet DB") != 0) {
      EXPECT_TRUE(ReportedConverted(printed).empty()) << printed;
      continue;
    }
    FileAcceptance file = ReadersAccept(dest_);
    ASSERT_TRUE(file.ok) << file.problems << printed;
    for (const auto& [table, rows] : ReportedConverted(printed)) {
      EXPECT_EQ(file.rowCounts[table], rows) << table;
    }
    ExpectPrefixesOfTheSource(file);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
}  // namespace talvoro::test
