// Arguments of Kestrin1's command-line mode.
#include "command_line_options.h"

#include <gtest/gtest.h>

namespace talvoro::app {
namespace {

using Args = std::vector<std::string>;

TEST(CommandLineOptions, AcceptedForms) {
  auto p = ParseCommandLine({"--database", "Sales", "--dest", "o.mdb", "--table", "A", "B",
                             "--table", "Order Details", "--overwrite"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->database, "Sales");
  EXPECT_EQ(p.options->dest, "o.mdb");
  EXPECT_EQ(p.options->tables, (Args{"A", "B", "Order Details"}));
  EXPECT_TRUE(p.options->overwrite);
  EXPECT_FALSE(p.options->sqlLogin);

  p = ParseCommandLine({"--database=Sales", "--dest=o.mdb", "--all", "--sql-login", "sa"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_TRUE(p.options->allTables);
  EXPECT_EQ(p.options->sqlLogin.value_or(""), "sa");
  EXPECT_EQ(p.options->server, "");
  EXPECT_FALSE(p.options->sourceTimeoutSeconds);
  EXPECT_FALSE(p.options->commitIntervalMs);

  p = ParseCommandLine({"--database", "S", "--dest", "o.mdb", "--all", "--source-timeout", "5",
                        "--commit-interval=250"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->sourceTimeoutSeconds.value_or(0), 5);
  EXPECT_EQ(p.options->commitIntervalMs.value_or(0), 250);

  p = ParseCommandLine({"--server", "dbhost\\SALES", "--database", "S", "--dest", "o.mdb", "--all"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_EQ(p.options->server, "dbhost\\SALES");

  p = ParseCommandLine({"--encrypt", "--ca-file", "ca.pem", "--database", "S", "--dest", "o.mdb", "--all"});
  ASSERT_TRUE(p.options) << p.error;
  EXPECT_TRUE(p.options->encrypt);
  EXPECT_EQ(p.options->caFile, "ca.pem");
  EXPECT_FALSE(p.options->trustServerCertificate);

  p = ParseCommandLine({"--help"});
  ASSERT_TRUE(p.options);
  EXPECT_TRUE(p.options->help);
}

TEST(CommandLineOptions, RefusedForms) {
  const std::pair<Args, std::string> cases[] = {
      {{"--dest", "o.mdb", "--all"}, "--database is required"},
      {{"--database", "S", "--all"}, "--dest is required"},
      {{"--database", "S", "--dest", "o.mdb"}, "give the tables with --table NAME or --all"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--table", "A"}, "either --table or --all"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--password", "x"}, "never taken as an argument"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--bogus"}, "unknown argument: --bogus"},
      {{"--database"}, "--database needs"},
      {{"--database", "S", "--dest", "o.mdb", "--table"}, "--table needs"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--sql-login"}, "--sql-login needs"},
      {{"--database", "S", "--dest", "o.mdb", "--all=yes"}, "takes no value"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--source-timeout", "0"}, "from 1 to 3600"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--source-timeout", "-3"}, "from 1 to 3600"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--source-timeout"}, "from 1 to 3600"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--commit-interval=9"}, "from 10 to 3600000"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--commit-interval", "1e3"}, "from 10 to 3600000"},
      {{"--server"}, "--server needs a server name"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--ca-file"}, "--ca-file needs"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--trust-server-certificate=yes"}, "takes no value"},
      {{"--database", "S", "--dest", "o.mdb", "--all", "--encrypt", "--ca-file", "ca.pem",
        "--trust-server-certificate"},
       "--ca-file and --trust-server-certificate contradict each other"},
      {{"--server", "dbhost,99999", "--database", "S", "--dest", "o.mdb", "--all"},
       "The server name 'dbhost,99999' has no port from 1 to 65535"},
  };
  for (const auto& [args, error] : cases) {
    auto p = ParseCommandLine(args);
    EXPECT_FALSE(p.options);
    EXPECT_NE(p.error.find(error), std::string::npos) << p.error;
  }
}

}  // namespace
}  // namespace talvoro::app
