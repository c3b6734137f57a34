// A table that another session keeps locked during the run (TABLOCKX held in an
// open transaction): its query times out, the server still answers a probe, so
// only that table fails, with a reason that says so, and the tables after it
// convert. The file is read by mdbtools, mdb-reader, jetverify and jetcheck.
#include <gtest/gtest.h>

#include "engine/conversion_run.h"
#include "file_acceptance.h"
#include "odbc/data_sources.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

constexpr char kDatabase[] = "Busy";

TEST(BusySource, ALockedTableFailsWithItsReasonAndTheNextTablesConvert) {
  SourceServer server;
  server.Execute("", {std::string("CREATE DATABASE ") + kDatabase});
  server.Execute(kDatabase, {"CREATE TABLE First (id int PRIMARY KEY, v nvarchar(10) NULL)",
                             "CREATE TABLE Held (id int PRIMARY KEY, v nvarchar(10) NULL)",
                             "CREATE TABLE Third (id int PRIMARY KEY, v nvarchar(10) NULL)",
                             "INSERT INTO First VALUES (1, N'a'), (2, N'b')",
                             "INSERT INTO Held VALUES (1, N'held')",
                             "INSERT INTO Third VALUES (1, N'c'), (2, N'd'), (3, N'e')"});
  odbc::Database holder;
  holder.OpenEx(server.process().ConnectString(kDatabase, kSqlLogin, kSqlPassword));
  holder.ExecuteSQL("BEGIN TRANSACTION");
  holder.ExecuteSQL("SELECT COUNT(*) FROM Held WITH (TABLOCKX, HOLDLOCK)");

  TempDir dir("talvoro-busy");
  engine::ConversionSettings settings;
  settings.databaseName = kDatabase;
  settings.destPath = dir.File("busy.mdb");
  settings.authMode = "sql";
  settings.loginName = kSqlLogin;
  settings.password = kSqlPassword;
  settings.sourceTimeoutSeconds = 2;
  odbc::RegisterSourceDsn(kDatabase, "dsns");
  engine::ConversionObserver quiet;
  const engine::ConversionResult result = engine::RunConversion({"First", "Held", "Third"}, settings, quiet);
  holder.ExecuteSQL("COMMIT TRANSACTION");

  ASSERT_EQ(result.tables.size(), 3u);
  EXPECT_TRUE(result.tables[0].converted) << result.tables[0].failure;
  EXPECT_FALSE(result.tables[1].converted);
  EXPECT_NE(result.tables[1].failure.find("the query timed out after 2 s while the server still answers: another "
                                          "session may hold a lock on the table: "),
            std::string::npos)
      << result.tables[1].failure;
  EXPECT_TRUE(result.tables[2].converted) << result.tables[2].failure;
  EXPECT_EQ(result.tables[2].rowsCopied, 3u);
  const std::string completion = engine::CompletionText(result);
  EXPECT_NE(completion.find("Held: the query timed out"), std::string::npos) << completion;

  const FileAcceptance file = ReadersAccept(settings.destPath);
  EXPECT_TRUE(file.ok) << file.problems;
  EXPECT_EQ(file.rowCounts.at("First"), 2u);
  EXPECT_EQ(file.rowCounts.at("Third"), 3u);
  EXPECT_EQ(file.rowCounts.count("Held"), 0u) << "a table whose rows were never read is not created";
}

}  // namespace
}  // namespace talvoro::test
