// unixODBC's isql against a data source of this driver.
#include "driver_fixture.h"
#include "run_command.h"

namespace talvoro::test {
namespace {

TEST_F(DriverTest, IsqlRunsStatementsAndShowsRows) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "isql cannot load a driver built with AddressSanitizer";
#endif
  Disconnect();
  const std::string script =
      "Create Table Staff(\"id\" int PRIMARY KEY , \"name\" varchar(50) NULL, \"joined\" datetime  NULL)\n"
      "INSERT INTO Staff values(7, 'O''Brien', '9/3/2004' )\n"
      "INSERT INTO Staff values(7, 'again', NULL )\n"
      "SELECT * FROM Staff\n";
  // Prepared execution (the default) and direct execution (-e); SQLConnect and SQLDriverConnect (-k).
  for (const std::vector<std::string>& argv :
       {std::vector<std::string>{"isql", "-b", "-v", dsn_},
        std::vector<std::string>{"isql", "-b", "-v", "-e", "-3", "-k", "DSN=" + dsn_}}) {
    SCOPED_TRACE(argv.back());
    std::string input = script;
    if (argv.size() > 4) {
      // The table exists now: only the reading half again.
      input = "SELECT * FROM Staff\n";
    }
    CommandResult result = RunCommand(argv, input);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    if (argv.size() == 4) {
      EXPECT_NE(result.out.find("SQLRowCount returns 1"), std::string::npos) << result.out;
      EXPECT_NE(result.out.find("[23000]"), std::string::npos) << result.out << result.err;
    }
    EXPECT_NE(result.out.find("O'Brien"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("2004-03-09 00:00:00"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("1 rows fetched"), std::string::npos) << result.out;
  }
}

}  // namespace
}  // namespace talvoro::test
