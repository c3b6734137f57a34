// A commit that fails: the file may not grow (RLIMIT_FSIZE on Kestrin1, as a
// full disk does), or reaches the size limit (lowered through the driver's test hook). The table's outcome says that the rows could not be saved and
// how many rows the file holds for it, as the file itself tells; the file stays
// readable by all three readers and holds exactly that.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "child_process.h"
#include "file_acceptance.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

constexpr char kDatabase[] = "Crowded";
constexpr int kBigRows = 12000;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CommitFailureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SourceServer();
    server_->Execute("", {std::string("CREATE DATABASE ") + kDatabase});
    std::vector<std::string> statements = {
        "CREATE TABLE Small (id int NOT NULL PRIMARY KEY, name varchar(20) NULL)",
        "INSERT INTO Small VALUES (1, 'one'), (2, 'two'), (3, 'three')",
        "CREATE TABLE Big (id int NOT NULL PRIMARY KEY, note varchar(1000) NULL)"};
    const std::string text(800, 'b');
    for (int done = 0; done < kBigRows;) {
      std::string sql = "INSERT INTO Big VALUES ";
      for (int i = 0; i < 500; ++i, ++done) sql += (i ? ",(" : "(") + std::to_string(done) + ",'" + text + "')";
      statements.push_back(sql);
    }
    server_->Execute(kDatabase, statements);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  static SourceServer* server_;
  TempDir dir_{"talvoro-crowded"};
};

SourceServer* CommitFailureTest::server_ = nullptr;

TEST_F(CommitFailureTest, AFileThatMayNotGrowSaysWhatItHolds) {
  const std::string dest = dir_.File("crowded.mdb");
  const std::string out = dir_.File("out.txt"), err = dir_.File("err.txt");
  setenv("KESTRIN1_PASSWORD", kSqlPassword, 1);
  // Room for the empty file and the small table, not for the big one (10 MB).
  ChildProcess kestrin1({TALVORO_BUILD_DIR "/app/Kestrin1", "--database", kDatabase, "--dest", dest,
                         "--sql-login", kSqlLogin, "--table", "Small", "Big", "--commit-interval", "20"},
                        out, err, std::uint64_t{3} << 20);
  std::optional<int> exit = kestrin1.WaitFor(std::chrono::minutes(5));
  unsetenv("KESTRIN1_PASSWORD");
  ASSERT_TRUE(exit.has_value());
  const std::string printed = ReadText(out);
  EXPECT_EQ(*exit, 1) << printed << ReadText(err);
  EXPECT_NE(printed.find("Small converted, 3 rows"), std::string::npos) << printed;

  const std::string failedLine = "Big FAILED: the rows could not be saved: ";
  const std::size_t at = printed.find(failedLine);
  ASSERT_NE(at, std::string::npos) << printed;
  const std::string line = printed.substr(at, printed.find('\n', at) - at);
  std::cout << line << "\n";
  EXPECT_NE(line.find("File too large"), std::string::npos) << line;
  // What the file says: so many rows of the table, or (when not even the table's
  // creation was saved) no such table.
  std::uint64_t held = 0;
  const std::string holds = "; the file holds ";
  if (const std::size_t count = line.find(holds); count != std::string::npos) {
    held = std::stoull(line.substr(count + holds.size()));
    EXPECT_NE(line.find(" rows of this table", count), std::string::npos) << line;
    EXPECT_LT(held, static_cast<std::uint64_t>(kBigRows));
  } else {
    EXPECT_NE(line.find("; the file does not hold this table"), std::string::npos) << line;
  }
  // The completion text says the same, without "rows copied, then".
  EXPECT_NE(printed.find("\nBig: the rows could not be saved: "), std::string::npos) << printed;

  FileAcceptance file = ReadersAccept(dest);
  EXPECT_TRUE(file.ok) << file.problems;
  EXPECT_EQ(file.rowCounts["Small"], 3u);
  EXPECT_EQ(file.rowCounts.count("Big") ? file.rowCounts["Big"] : 0, held);
}

// The 2 GB limit, lowered to 2 MB for the driver Kestrin1 loads: the table that
// reaches it keeps what the outcome reports, whether the limit met an insert
// (the rows before it are saved) or a commit (the file says what it holds).
TEST_F(CommitFailureTest, TheSizeLimitKeepsWhatIsReported) {
  const std::string dest = dir_.File("limited.mdb");
  const std::string out = dir_.File("out.txt"), err = dir_.File("err.txt");
  setenv("KESTRIN1_PASSWORD", kSqlPassword, 1);
  setenv("TALVORO_MDB_TEST_PAGE_LIMIT", "600", 1);
  ChildProcess kestrin1({TALVORO_BUILD_DIR "/app/Kestrin1", "--database", kDatabase, "--dest", dest,
                         "--sql-login", kSqlLogin, "--table", "Small", "Big", "--commit-interval", "20"},
                        out, err);
  unsetenv("TALVORO_MDB_TEST_PAGE_LIMIT");
  std::optional<int> exit = kestrin1.WaitFor(std::chrono::minutes(5));
  unsetenv("KESTRIN1_PASSWORD");
  ASSERT_TRUE(exit.has_value());
  const std::string printed = ReadText(out);
  EXPECT_EQ(*exit, 1) << printed << ReadText(err);
  EXPECT_NE(printed.find("Small converted, 3 rows"), std::string::npos) << printed;
  const std::size_t at = printed.find("Big FAILED");
  ASSERT_NE(at, std::string::npos) << printed;
  const std::string line = printed.substr(at, printed.find('\n', at) - at);
  std::cout << line << "\n";
  EXPECT_NE(line.find("has reached its size limit of 2 MB"), std::string::npos) << line;
  std::uint64_t reported = 0;
  if (line.find("the rows could not be saved") != std::string::npos) {
    const std::size_t count = line.find("; the file holds ");
    if (count != std::string::npos) reported = std::stoull(line.substr(count + 17));
  } else {
    const std::string after = "Big FAILED after ";
    ASSERT_EQ(line.rfind(after, 0), 0u) << line;
    reported = std::stoull(line.substr(after.size()));
    EXPECT_NE(line.find(" rows: row " + std::to_string(reported + 1) + " refused: "), std::string::npos) << line;
  }
  EXPECT_GT(reported, 0u) << line;

  FileAcceptance file = ReadersAccept(dest);
  EXPECT_TRUE(file.ok) << file.problems;
  EXPECT_EQ(file.rowCounts["Small"], 3u);
  EXPECT_EQ(file.rowCounts["Big"], reported);
}

}  // namespace
}  // namespace talvoro::test
