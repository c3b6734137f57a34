// Kestrin1 killed (SIGKILL) at random moments of a conversion of several
// tables with many commits, through the real stand-in, FreeTDS and our driver,
// as many times as fit in about a minute. After every kill all three readers
// accept the file, every table reported converted is there with every row, and
// the table being copied holds a prefix of its source rows.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

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
constexpr auto kTestBudget = std::chrono::seconds(60);

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

  std::unique_ptr<ChildProcess> Start() {
    return std::make_unique<ChildProcess>(
        std::vector<std::string>{TALVORO_BUILD_DIR "/app/Kestrin1", "--database", kDatabase, "--dest",
                                 dest_, "--sql-login", kSqlLogin, "--all", "--overwrite",
                                 "--commit-interval", "50"},
        out_, err_);
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

TEST_F(ConversionKillTest, EveryKilledFileIsReadableAndHoldsWhatWasReported) {
  // One whole run, for how long a conversion takes here.
  const auto whole = Clock::now();
  auto run = Start();
  std::optional<int> exit = run->WaitFor(std::chrono::minutes(5));
  ASSERT_EQ(exit, std::optional<int>(0)) << ReadText(out_) << ReadText(err_);
  const auto duration = Clock::now() - whole;
  ASSERT_EQ(ReportedConverted(ReadText(out_)).size(), kTables.size()) << ReadText(out_);

  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  std::uniform_int_distribution<long> moment(
      0, std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
  const auto start = Clock::now();
  int kills = 0, withFile = 0;
  while (Clock::now() - start < kTestBudget || kills < 5) {
    SCOPED_TRACE("kill " + std::to_string(kills + 1) + ", seed " + std::to_string(seed));
    run = Start();
    const auto delay = std::chrono::milliseconds(moment(random));
    std::this_thread::sleep_for(delay);
    run->Kill(SIGKILL);
    run->WaitFor(std::chrono::seconds(30));
    run.reset();
    ++kills;
    // Killed before the run made the file: nothing to read.
    if (!std::filesystem::exists(dest_)) continue;
    ++withFile;
    const std::string printed = ReadText(out_);
    FileAcceptance file = ReadersAccept(dest_);
    ASSERT_TRUE(file.ok) << "killed after " << delay.count() << " ms:\n" << file.problems << printed;
    for (const auto& [table, rows] : ReportedConverted(printed)) {
      EXPECT_EQ(file.rowCounts[table], rows) << table << ", killed after " << delay.count() << " ms";
    }
    ExpectPrefixesOfTheSource(file);
    if (HasFatalFailure()) return;
  }
  std::cout << kills << " kills (" << withFile << " with a file) in "
            << std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count()
            << " s; a whole conversion took "
            << std::chrono::duration_cast<std::chrono::milliseconds>(duration).count() << " ms; seed " << seed
            << "\n";
}

}  // namespace
}  // namespace talvoro::test
