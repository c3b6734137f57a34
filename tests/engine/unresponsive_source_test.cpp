// A source server that stops answering in the middle of a conversion: paused
// (SIGSTOP) or killed, through the real FreeTDS and our real driver. Every wait
// is bounded by the run's source time-out (kept short here); once the server has
// not answered, the remaining tables fail at once with one clear reason, and the
// command line reports the same and exits 1.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "engine/conversion_run.h"
#include "file_acceptance.h"
#include "odbc/data_sources.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char kDatabase[] = "Halting";
constexpr int kRowsPerTable = 20000;  // 18 MB a table: more than loopback sockets buffer
constexpr int kTimeoutSeconds = 2;
// How long a run may take before the test gives up on it: far above what the
// time-outs allow, so that only a wait without a limit reaches it.
constexpr auto kGuard = std::chrono::seconds(120);
const std::vector<std::string> kTables = {"First", "Second", "Third"};
const std::string kNotTried = "the server (local) does not answer; the table was not tried";

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Acts on the server at a chosen moment of the run.
class FaultObserver : public engine::ConversionObserver {
 public:
  FaultObserver(pid_t server, int signal, std::size_t table, bool atFirstRows)
      : server_(server), signal_(signal), table_(table), atFirstRows_(atFirstRows) {}

  void OnTableStarted(std::size_t index, std::size_t, const std::string&) override {
    current_ = index;
    if (!atFirstRows_ && index == table_) Fire();
  }
  void OnRowsCopied(const std::string&, std::uint64_t) override {
    if (atFirstRows_ && current_ == table_) Fire();
  }

  bool fired() const { return fired_; }
  Clock::time_point firedAt() const { return firedAt_; }

 private:
  void Fire() {
    if (fired_) return;
    fired_ = true;
    firedAt_ = Clock::now();
    kill(server_, signal_);
  }

  pid_t server_;
  int signal_;
  std::size_t table_;
  bool atFirstRows_;
  std::size_t current_ = 0;
  bool fired_ = false;
  Clock::time_point firedAt_;
};

class UnresponsiveSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<SourceServer>();
    server_->Execute("", {std::string("CREATE DATABASE ") + kDatabase});
    // Rows large enough that a table does not fit in the sockets' buffers: the
    // copy still needs the server when it stops.
    const std::string text(900, 'r');
    for (const std::string& table : kTables) {
      std::vector<std::string> statements = {"CREATE TABLE " + table +
                                             " (id int NOT NULL PRIMARY KEY, note varchar(1000) NULL)"};
      for (int done = 0; done < kRowsPerTable;) {
        std::string sql = "INSERT INTO " + table + " VALUES ";
        for (int i = 0; i < 500; ++i, ++done) {
          sql += (i ? ",(" : "(") + std::to_string(done) + ",'" + text + "')";
        }
        statements.push_back(sql);
      }
      server_->Execute(kDatabase, statements);
    }
    settings_.databaseName = kDatabase;
    settings_.destPath = dir_.File("halting.mdb");
    settings_.authMode = "sql";
    settings_.loginName = kSqlLogin;
    settings_.password = kSqlPassword;
    settings_.sourceTimeoutSeconds = kTimeoutSeconds;
    odbc::RegisterSourceDsn(kDatabase, "dsns");
  }
  void TearDown() override {
    if (server_) kill(server_->process().pid(), SIGCONT);
  }

  // Runs the conversion of every table with `observer`; fails the test (and
  // wakes the server, so the run can end) when it does not end within kGuard.
  engine::ConversionResult Run(FaultObserver& observer, double& secondsAfterFault) {
    auto run = std::async(std::launch::async, [&] {
      return engine::RunConversion(kTables, settings_, observer);
    });
    if (run.wait_for(kGuard) != std::future_status::ready) {
      ADD_FAILURE() << "the run still waited after " << kGuard.count() << " s";
      kill(server_->process().pid(), SIGCONT);
    }
    engine::ConversionResult result = run.get();
    secondsAfterFault = std::chrono::duration<double>(Clock::now() - observer.firedAt()).count();
    return result;
  }

  // The file holds what the outcomes say, and all three readers accept it.
  void ExpectFileMatchesOutcomes(const engine::ConversionResult& result) {
    FileAcceptance file = ReadersAccept(settings_.destPath);
    EXPECT_TRUE(file.ok) << file.problems;
    for (const engine::TableOutcome& t : result.tables) {
      if (!t.created) continue;
      EXPECT_EQ(file.rowCounts[t.destName], t.rowsCopied) << t.sourceName;
    }
  }

  std::unique_ptr<SourceServer> server_;
  TempDir dir_{"talvoro-halting"};
  engine::ConversionSettings settings_;
};

TEST_F(UnresponsiveSourceTest, PausedMidTableTheRestFailAtOnceAndAResumedServerConverts) {
  FaultObserver pause(server_->process().pid(), SIGSTOP, 0, /*atFirstRows=*/true);
  double seconds = 0;
  engine::ConversionResult result = Run(pause, seconds);
  ASSERT_TRUE(pause.fired());
  std::cout << "paused mid-table: the run ended " << seconds << " s after the pause\n"
            << engine::CompletionText(result) << "\n";
  ASSERT_EQ(result.tables.size(), 3u);
  EXPECT_FALSE(result.tables[0].converted);
  EXPECT_NE(result.tables[0].failure.find("the server (local) does not answer: "), std::string::npos)
      << result.tables[0].failure;
  EXPECT_EQ(result.tables[1].failure, kNotTried);
  EXPECT_EQ(result.tables[2].failure, kNotTried);
  EXPECT_NE(engine::CompletionText(result).find("Third: " + kNotTried), std::string::npos);
  kill(server_->process().pid(), SIGCONT);
  ExpectFileMatchesOutcomes(result);

  // Resumed, the same server converts every table.
  FaultObserver none(server_->process().pid(), 0, 99, false);
  std::filesystem::remove(settings_.destPath);
  result = engine::RunConversion(kTables, settings_, none);
  EXPECT_TRUE(result.AllConverted()) << engine::CompletionText(result);
  ExpectFileMatchesOutcomes(result);
}

TEST_F(UnresponsiveSourceTest, PausedBeforeATableTheLogonWaitIsBounded) {
  FaultObserver pause(server_->process().pid(), SIGSTOP, 1, /*atFirstRows=*/false);
  double seconds = 0;
  engine::ConversionResult result = Run(pause, seconds);
  std::cout << "paused before the second table: the run ended " << seconds << " s after the pause\n";
  ASSERT_EQ(result.tables.size(), 3u);
  EXPECT_TRUE(result.tables[0].converted) << result.tables[0].failure;
  EXPECT_EQ(result.tables[0].rowsCopied, static_cast<std::uint64_t>(kRowsPerTable));
  EXPECT_FALSE(result.tables[1].created);
  EXPECT_NE(result.tables[1].failure.find("the server (local) does not answer: "), std::string::npos)
      << result.tables[1].failure;
  EXPECT_EQ(result.tables[2].failure, kNotTried);
  kill(server_->process().pid(), SIGCONT);
  ExpectFileMatchesOutcomes(result);
}

TEST_F(UnresponsiveSourceTest, KilledMidTableTheRestFailAtOnce) {
  FaultObserver killer(server_->process().pid(), SIGKILL, 0, /*atFirstRows=*/true);
  double seconds = 0;
  engine::ConversionResult result = Run(killer, seconds);
  std::cout << "killed mid-table: the run ended " << seconds << " s after the kill\n";
  ASSERT_EQ(result.tables.size(), 3u);
  EXPECT_FALSE(result.tables[0].converted);
  EXPECT_NE(result.tables[0].failure.find("the server (local) does not answer: "), std::string::npos)
      << result.tables[0].failure;
  EXPECT_EQ(result.tables[1].failure, kNotTried);
  EXPECT_EQ(result.tables[2].failure, kNotTried);
  ExpectFileMatchesOutcomes(result);
}

TEST_F(UnresponsiveSourceTest, TheCommandLineReportsItAndExitsOne) {
  setenv("KESTRIN1_PASSWORD", kSqlPassword, 1);
  const std::string out = dir_.File("out.txt"), err = dir_.File("err.txt");
  ChildProcess kestrin1({TALVORO_BUILD_DIR "/app/Kestrin1", "--database", kDatabase, "--dest",
                         settings_.destPath, "--sql-login", kSqlLogin, "--all", "--source-timeout",
                         std::to_string(kTimeoutSeconds)},
                        out, err);
  // The file appears when the run starts, after the logon check and the table list.
  const auto start = Clock::now();
  while (!std::filesystem::exists(settings_.destPath) && SecondsSince(start) < 60) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(server_->process().pid(), SIGSTOP);
  const auto paused = Clock::now();
  std::optional<int> exit = kestrin1.WaitFor(kGuard);
  kill(server_->process().pid(), SIGCONT);
  ASSERT_TRUE(exit.has_value()) << "Kestrin1 still waited after " << kGuard.count() << " s";
  std::cout << "command line, paused at the start of the run: it ended " << SecondsSince(paused)
            << " s after the pause\n";
  const std::string printed = ReadText(out);
  EXPECT_EQ(*exit, 1) << printed << ReadText(err);
  EXPECT_NE(printed.find("the server (local) does not answer"), std::string::npos) << printed;
  EXPECT_NE(printed.find("Third FAILED: " + kNotTried), std::string::npos) << printed;
  unsetenv("KESTRIN1_PASSWORD");
}

}  // namespace
}  // namespace talvoro::test
