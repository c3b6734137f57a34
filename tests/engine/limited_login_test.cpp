// A conversion by a read-only login (db_datareader, no VIEW DEFINITION) through
// the command line: every row arrives, the defaults and CHECK constraints the
// login may not read are named once in the notes, and the file passes every
// reader. The same database converted by its owner keeps them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "file_acceptance.h"
#include "run_command.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

const std::string kKestrin1 = TALVORO_BUILD_DIR "/app/Kestrin1";

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(LimitedLogin, ConvertsEveryRowAndNamesTheUnreadableDefinitionsOnce) {
  SourceServer server;
  server.Execute("", {"CREATE DATABASE Shop"});
  server.Execute("Shop", {
      "CREATE TABLE Item (id int PRIMARY KEY, price money NOT NULL CONSTRAINT DF_Item_price DEFAULT 0,"
      " qty int NULL DEFAULT 1, CONSTRAINT CK_Item_price CHECK (price >= 0))",
      "CREATE TABLE Note (id int PRIMARY KEY, body nvarchar(40) NULL)",
      "INSERT INTO Item (id, price, qty) VALUES (1, 2.5, 3), (2, 0, NULL)",
      "INSERT INTO Note VALUES (1, N'first'), (2, N'second'), (3, NULL)",
      "CREATE LOGIN shop_reader WITH PASSWORD = 'Reader-1'",
      "CREATE USER shop_reader FOR LOGIN shop_reader",
      "ALTER ROLE db_datareader ADD MEMBER shop_reader",
  });
  TempDir dir("talvoro-limited");
  const std::string dest = dir.File("shop.mdb");
  const std::string note = "the login may not see definitions (it lacks the VIEW DEFINITION permission): 2 column "
                           "defaults and 1 CHECK constraint of the source could not be read and are not carried";

  setenv("KESTRIN1_PASSWORD", "Reader-1", 1);
  CommandResult r = RunCommand({kKestrin1, "--database", "Shop", "--dest", dest, "--sql-login", "shop_reader", "--all"});
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(Occurrences(r.out, note), 1u) << r.out;
  FileAcceptance file = ReadersAccept(dest);
  ASSERT_TRUE(file.ok) << file.problems;
  EXPECT_EQ(file.rowCounts["Item"], 2u);
  EXPECT_EQ(file.rowCounts["Note"], 3u);

  // The owner reads the definitions: no such note.
  setenv("KESTRIN1_PASSWORD", kSqlPassword, 1);
  r = RunCommand({kKestrin1, "--database", "Shop", "--dest", dest, "--sql-login", kSqlLogin, "--all", "--overwrite"});
  unsetenv("KESTRIN1_PASSWORD");
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("VIEW DEFINITION"), std::string::npos) << r.out;
  file = ReadersAccept(dest);
  EXPECT_TRUE(file.ok) << file.problems;
}

}  // namespace
}  // namespace talvoro::test
