// Kestrin1's command-line mode as a user runs it: exit statuses, messages, the
// file it writes and the data sources it leaves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "independent_readers.h"
#include "odbc/data_sources.h"
#include "run_command.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

const std::string kKestrin1 = TALVORO_BUILD_DIR "/app/Kestrin1";

class CommandLineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new SourceServer();
    server_->Execute("", {"CREATE DATABASE Shop"});
    std::string wide = "CREATE TABLE TooWide (";
    for (int i = 0; i < 256; ++i) wide += (i ? ", c" : "c") + std::to_string(i) + " int NULL";
    server_->Execute("Shop", {
        "CREATE TABLE Orders (OrderID int IDENTITY(1,1) PRIMARY KEY, Customer nvarchar(40) NULL)",
        "INSERT INTO Orders (Customer) VALUES (N'Alfreds')",
        "INSERT INTO Orders (Customer) VALUES (N'Bólido')",
        "CREATE TABLE counter (id int NOT NULL PRIMARY KEY)",
        "INSERT INTO counter VALUES (1)",
        wide + ")",
    });
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { setenv("KESTRIN1_PASSWORD", kSqlPassword, 1); }
  void TearDown() override { unsetenv("KESTRIN1_PASSWORD"); }

  CommandResult Kestrin1(std::vector<std::string> args) {
    args.insert(args.begin(), kKestrin1);
    return RunCommand(args);
  }
  std::vector<std::string> Base() { return {"--database", "Shop", "--dest", dest_, "--sql-login", "sa"}; }
  std::vector<std::string> With(std::vector<std::string> extra) {
    std::vector<std::string> args = Base();
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }

  static SourceServer* server_;
  TempDir dir_{"talvoro-cli"};
  std::string dest_ = dir_.File("shop copy.mdb");
};

SourceServer* CommandLineTest::server_ = nullptr;

TEST_F(CommandLineTest, ConvertsTheChosenTables) {
  CommandResult r = Kestrin1(With({"--table", "Orders", "counter"}));
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Database Conversion Compleated Successfully"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Orders converted, 2 rows"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("(as countr)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Successfully\nNotes:\n  counter: the table is called \"countr\"\n"), std::string::npos) << r.out;

  MdbToolsRead tools = ReadWithMdbTools(dest_);
  ASSERT_TRUE(tools.ok) << tools.problems;
  EXPECT_EQ(tools.tables, (std::vector<std::string>{"Orders", "countr"}));
  MdbReaderRead reader = ReadWithMdbReader(dest_);
  ASSERT_TRUE(reader.ok) << reader.problems;
  const nlohmann::json* orders = FindReaderTable(reader.document, "Orders");
  ASSERT_NE(orders, nullptr);
  EXPECT_EQ((*orders)["rows"][1]["Customer"], "Bólido");

  // The data sources are left as the wizard leaves them.
  EXPECT_FALSE(odbc::UserDataSourceExists("dsna"));
  EXPECT_TRUE(odbc::UserDataSourceExists("dsns"));

  // An existing file is kept unless --overwrite is given.
  r = Kestrin1(With({"--all"}));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("--overwrite"), std::string::npos) << r.err;
  r = Kestrin1(With({"--table", "counter", "--overwrite"}));
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(ReadWithMdbTools(dest_).tables, std::vector<std::string>{"countr"});
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                          std::filesystem::directory_iterator()),
            1) << "nothing set aside is left behind";
}

TEST_F(CommandLineTest, OverwriteKeepsTheOldFileWhenTheRunNeverStarts) {
  std::ofstream(dest_) << "the user's old database";
  const std::vector<std::vector<std::string>> neverStarts = {
      With({"--table", "NoSuchTable", "--overwrite"}),
      {"--database", "NoSuchDb", "--dest", dest_, "--sql-login", "sa", "--all", "--overwrite"},
  };
  for (const auto& args : neverStarts) {
    CommandResult r = Kestrin1(args);
    EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
    std::ifstream in(dest_);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()),
              "the user's old database");
  }
}

TEST_F(CommandLineTest, SomeTablesFailed) {
  CommandResult r = Kestrin1(With({"--all"}));
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_NE(r.out.find("TooWide FAILED"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\nTooWide: "), std::string::npos) << r.out;
  EXPECT_TRUE(ReadWithMdbTools(dest_).ok);
}

TEST_F(CommandLineTest, UsageAndLogonErrors) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {{"--help"}, 0, ""},
      {{"--database", "Shop"}, 2, "--dest is required"},
      {{"--database", "Shop", "--dest", "x.mdb", "--all", "--password", "secret"}, 2, "never taken"},
      {With({"--table", "NoSuchTable"}), 2, "has no table \"NoSuchTable\""},
      {{"--database", "Shop", "--dest", "x.mdb", "--all"}, 2, "LOGIN Name or Password Mismatch "},
      {{"--database", "Shop", "--dest", "/nonexistent-folder/x.mdb", "--all"}, 2,
       "Kestrin1: The folder \"/nonexistent-folder\" does not exist."},
      {{"--database", "NoSuchDb", "--dest", dest_, "--sql-login", "sa", "--all"}, 2,
       "Kestrin1: the database NoSuchDb is not on the server"},
  };
  for (const Case& c : cases) {
    CommandResult r = Kestrin1(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args.back() << "\n" << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << r.out << r.err;
  }
  EXPECT_NE(Kestrin1({"--help"}).out.find("Usage:"), std::string::npos);

  // A missing database is named first, not reported as a failed login.
  CommandResult missing =
      Kestrin1({"--database", "NoSuchDb", "--dest", dest_, "--sql-login", "sa", "--all"});
  EXPECT_EQ(missing.err.rfind("Kestrin1: the database NoSuchDb", 0), 0u) << missing.err;
  EXPECT_EQ(missing.err.find("Login failed"), std::string::npos) << missing.err;

  setenv("KESTRIN1_PASSWORD", "wrong", 1);
  CommandResult r = Kestrin1(With({"--all"}));
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("LOGIN Name or Password Mismatch "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Login failed"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dest_));
}

}  // namespace
}  // namespace talvoro::test
