// Two sessions at once, as SQL Server's READ COMMITTED (locking) isolation
// serves them: a reader waits for another session's uncommitted change until
// commit, rollback, its LOCK_TIMEOUT (error 1222) or the client's cancel.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

using namespace std::chrono_literals;

std::optional<std::string> Scalar(const OdbcConnection& c, const std::string& sql) {
  OdbcStatement s(c);
  if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(sql + ": " + s.Diagnostics());
  if (!s.Fetch()) return std::nullopt;
  return s.Text(1);
}

// The first diagnostic of a failing statement (native 0 when it succeeded).
Diagnostic Failure(const OdbcConnection& c, const std::string& sql) {
  OdbcStatement s(c);
  if (SQL_SUCCEEDED(s.Execute(sql))) return {};
  const auto records = s.DiagnosticRecords();
  return records.empty() ? Diagnostic{"", -1, ""} : records[0];
}

class TwoSessions : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(a.Connect(FixtureConnectString())));
    ASSERT_TRUE(SQL_SUCCEEDED(b.Connect(FixtureConnectString())));
    const std::string suffix = testing::UnitTest::GetInstance()->current_test_info()->name();
    table = "Locked_" + suffix;
    other = "Free_" + suffix;
    for (const std::string& t : {table, other}) {
      OdbcStatement(a).Run("IF OBJECT_ID('" + t + "') IS NOT NULL DROP TABLE " + t);
      OdbcStatement(a).Run("CREATE TABLE " + t + " (id int PRIMARY KEY, v int)");
      OdbcStatement(a).Run("INSERT INTO " + t + " VALUES (1, 1)");
    }
  }
  void TearDown() override { Scalar(a, "SELECT @@TRANCOUNT"); }

  // Runs `sql` on session b in the background.
  std::future<std::optional<std::string>> ReadOnB(const std::string& sql) {
    return std::async(std::launch::async, [this, sql] { return Scalar(b, sql); });
  }

  OdbcConnection a, b;
  std::string table, other;
};

TEST_F(TwoSessions, ReaderWaitsForTheCommitAndSeesTheCommittedValue) {
  OdbcStatement(a).Run("BEGIN TRANSACTION");
  OdbcStatement(a).Run("UPDATE " + table + " SET v = 2 WHERE id = 1");
  auto read = ReadOnB("SELECT v FROM " + table + " WHERE id = 1");
  EXPECT_EQ(read.wait_for(400ms), std::future_status::timeout) << "the reader must wait for the writer";
  EXPECT_EQ(Scalar(a, "SELECT v FROM " + other), "1") << "another table is not locked";
  OdbcStatement(a).Run("COMMIT TRANSACTION");
  ASSERT_EQ(read.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(read.get(), "2");
}

TEST_F(TwoSessions, RollbackReleasesAndTheOldValueStays) {
  OdbcStatement(a).Run("BEGIN TRANSACTION");
  OdbcStatement(a).Run("UPDATE " + table + " SET v = 5 WHERE id = 1");
  auto read = ReadOnB("SELECT v FROM " + table + " WHERE id = 1");
  EXPECT_EQ(read.wait_for(300ms), std::future_status::timeout);
  OdbcStatement(a).Run("ROLLBACK TRANSACTION");
  ASSERT_EQ(read.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(read.get(), "1");
}

TEST_F(TwoSessions, BothHoldTransactionsAtOnce) {
  OdbcStatement(a).Run("BEGIN TRANSACTION");
  OdbcStatement(a).Run("UPDATE " + table + " SET v = 3 WHERE id = 1");
  OdbcStatement(b).Run("BEGIN TRANSACTION");
  EXPECT_EQ(Scalar(b, "SELECT v FROM " + other + " WHERE id = 1"), "1");
  EXPECT_EQ(Scalar(b, "SELECT @@TRANCOUNT"), "1");
  OdbcStatement(b).Run("COMMIT TRANSACTION");
  EXPECT_EQ(Scalar(a, "SELECT v FROM " + table + " WHERE id = 1"), "3") << "a writer reads its own change";
  OdbcStatement(a).Run("COMMIT TRANSACTION");
}

// Readers and writers alike give up after LOCK_TIMEOUT; the statement ends,
// the connection and its batch go on.
TEST_F(TwoSessions, LockTimeoutEndsTheStatementOnly) {
  OdbcStatement(a).Run("BEGIN TRANSACTION");
  OdbcStatement(a).Run("INSERT INTO " + table + " VALUES (2, 2)");
  OdbcStatement(b).Run("SET LOCK_TIMEOUT 200");
  EXPECT_EQ(Scalar(b, "SELECT @@LOCK_TIMEOUT"), "200");
  for (const std::string& sql : {"SELECT count(*) FROM " + table, "UPDATE " + table + " SET v = 9",
                                 "DELETE FROM " + table + " WHERE id = 1"}) {
    const auto start = std::chrono::steady_clock::now();
    const Diagnostic d = Failure(b, sql);
    EXPECT_EQ(d.native, 1222) << sql;
    EXPECT_EQ(d.text.substr(d.text.rfind(']') + 1), "Lock request time out period exceeded.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  }
  {
    OdbcStatement s(b);
    SQLRETURN rc = s.Execute("SELECT v FROM " + table + "; SET LOCK_TIMEOUT 300");
    bool sawError = rc == SQL_ERROR;
    while (rc != SQL_NO_DATA && rc != SQL_INVALID_HANDLE) sawError |= (rc = SQLMoreResults(s.get())) == SQL_ERROR;
    EXPECT_TRUE(sawError);
  }
  EXPECT_EQ(Scalar(b, "SELECT @@LOCK_TIMEOUT"), "300") << "the batch goes on after 1222";
  OdbcStatement(b).Run("SET LOCK_TIMEOUT 0");
  EXPECT_EQ(Failure(b, "SELECT v FROM " + table).native, 1222) << "0 fails at once";
  OdbcStatement(a).Run("COMMIT TRANSACTION");
  EXPECT_EQ(Scalar(b, "SELECT count(*) FROM " + table), "2");
}

TEST_F(TwoSessions, TablockxHoldlockKeepsTheTableBusyUntilTheTransactionEnds) {
  OdbcStatement(a).Run("BEGIN TRANSACTION");
  EXPECT_EQ(Scalar(a, "SELECT count(*) FROM " + table + " WITH (TABLOCKX, HOLDLOCK)"), "1");
  OdbcStatement(b).Run("SET LOCK_TIMEOUT 100");
  EXPECT_EQ(Failure(b, "SELECT v FROM " + table).native, 1222);
  EXPECT_EQ(Scalar(b, "SELECT v FROM " + table + " WITH (NOLOCK)"), "1") << "NOLOCK reads past the lock";
  EXPECT_EQ(Scalar(b, "SELECT count(*) FROM sys.columns WHERE object_id = OBJECT_ID('" + table + "')"), "2")
      << "the catalog takes no table lock";
  OdbcStatement(a).Run("COMMIT TRANSACTION");
  EXPECT_EQ(Scalar(b, "SELECT v FROM " + table), "1");
}

// Two sessions each waiting for the other: the one that closes the circle is
// the victim (1205), its transaction rolled back, and the other goes on.
TEST_F(TwoSessions, ADeadlockChoosesAVictimAndTheOtherGoesOn) {
  OdbcStatement(a).Run("BEGIN TRANSACTION");
  EXPECT_EQ(Scalar(a, "SELECT count(*) FROM " + table + " WITH (TABLOCKX, HOLDLOCK)"), "1");
  OdbcStatement(b).Run("BEGIN TRANSACTION");
  EXPECT_EQ(Scalar(b, "SELECT count(*) FROM " + other + " WITH (TABLOCKX, HOLDLOCK)"), "1");
  auto aWaits = std::async(std::launch::async, [this] { return Scalar(a, "SELECT v FROM " + other); });
  EXPECT_EQ(aWaits.wait_for(300ms), std::future_status::timeout);
  const Diagnostic d = Failure(b, "SELECT v FROM " + table);
  EXPECT_EQ(d.native, 1205) << d.text;
  EXPECT_NE(d.text.find("was deadlocked on lock resources with another process and has been chosen as the "
                        "deadlock victim. Rerun the transaction."),
            std::string::npos)
      << d.text;
  EXPECT_EQ(Scalar(b, "SELECT @@TRANCOUNT"), "0") << "the victim's transaction is rolled back";
  ASSERT_EQ(aWaits.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(aWaits.get(), "1");
  OdbcStatement(a).Run("COMMIT TRANSACTION");
}

// A client's query time-out sends an attention: the waiting statement stops at
// once and the session stays usable.
TEST_F(TwoSessions, QueryTimeoutCancelsAWaitingStatement) {
  OdbcStatement(a).Run("BEGIN TRANSACTION");
  OdbcStatement(a).Run("UPDATE " + table + " SET v = 7");
  OdbcStatement s(b);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetStmtAttr(s.get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(1), 0)));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(s.Execute("SELECT v FROM " + table), SQL_ERROR);
  const auto records = s.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].state, "HYT00") << s.Diagnostics();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
  s.Close();
  EXPECT_EQ(Scalar(b, "SELECT v FROM " + other), "1") << "the session goes on";
  OdbcStatement(a).Run("COMMIT TRANSACTION");
  EXPECT_EQ(Scalar(b, "SELECT v FROM " + table), "7");
}

}  // namespace
}  // namespace standin_test
