// The script runner as sqlcmd runs install scripts: ":r" pulls in other files
// (nested, relative to the current directory, $(Name) in the path), ":on error
// ignore" lets a failing batch pass, ":on error exit" stops at it, and the exit
// status says whether the script went through.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "odbc_client.h"
#include "run_command.h"
#include "shared_server.h"
#include "temp_dir.h"

namespace standin_test {
namespace {

using talvoro::test::CommandResult;
using talvoro::test::RunCommand;
using talvoro::test::TempDir;

const std::string kRunSqlScript = TALVORO_BUILD_DIR "/standin/demo/run_sql_script";

void Write(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Runs `script` (written to main.sql) from `dir` as the current directory.
CommandResult RunScript(const TempDir& dir, const std::string& script, std::vector<std::string> variables = {}) {
  Write(dir.File("main.sql"), script);
  std::vector<std::string> argv = {kRunSqlScript, "--port", std::to_string(SharedServer().port()), "--user", "sa",
                                   "--password", "secret", "--database", "fixture"};
  if (!variables.empty()) {
    argv.push_back("-v");
    argv.insert(argv.end(), variables.begin(), variables.end());
  }
  argv.push_back("main.sql");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  CommandResult result = RunCommand(argv);
  std::filesystem::current_path(previous);
  return result;
}

std::string Steps(const std::string& table) {
  OdbcConnection c;
  if (!SQL_SUCCEEDED(c.Connect(FixtureConnectString()))) return "cannot connect";
  OdbcStatement s(c);
  if (!SQL_SUCCEEDED(s.Execute("SELECT step FROM " + table + " ORDER BY step"))) return s.Diagnostics();
  std::string steps;
  while (s.Fetch()) steps += *s.Text(1);
  return steps;
}

TEST(ScriptRunner, IncludesNestedFilesAndObeysOnError) {
  TempDir dir("talvoro-script-runner");
  Write(dir.File("parts/first.sql"), "INSERT INTO RunnerSteps VALUES (1)\nGO\n:r parts/second.sql\n");
  Write(dir.File("parts/second.sql"), ":setvar Step 2\nINSERT INTO RunnerSteps VALUES ($(Step))\nGO\n");
  const CommandResult run = RunScript(dir,
                                      "CREATE TABLE RunnerSteps (step int)\n"
                                      "GO\n"
                                      ":r \"$(Here)/parts/first.sql\"\n"
                                      ":on error ignore\n"
                                      "INSERT INTO NoSuchTable VALUES (1)\n"
                                      "GO\n"
                                      "INSERT INTO RunnerSteps VALUES ($(Step) + 1)\n"
                                      "GO\n"
                                      ":on error exit\n"
                                      "INSERT INTO NoSuchTable VALUES (2)\n"
                                      "GO\n"
                                      "INSERT INTO RunnerSteps VALUES (4)\n"
                                      "GO\n",
                                      {"Here=" + dir.path()});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(Steps("RunnerSteps"), "123") << "the included files ran, the ignored error passed, the other stopped it";
  EXPECT_NE(run.err.find("(ignored)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Invalid object name 'NoSuchTable'"), std::string::npos) << run.err;

  // A batch of an included file that fails is named by that file's line.
  Write(dir.File("parts/broken.sql"), "SELECT 1\nGO\nSELECT * FROM NoSuchTable\n");
  const CommandResult broken = RunScript(dir, "SELECT 1\nGO\n:r parts/broken.sql\nGO\n");
  EXPECT_EQ(broken.exitCode, 1);
  EXPECT_NE(broken.err.find("batch at parts/broken.sql line 3: "), std::string::npos) << broken.err;
}

TEST(ScriptRunner, ExitStatusTellsWhetherTheScriptWentThrough) {
  struct Case {
    const char* script;
    int exitCode;
    const char* message;  // in what it prints
  };
  for (const Case& c : {Case{"SELECT 1\nGO\n", 0, "done, 1 batches"},
                        Case{"SELECT * FROM NoSuchTable\nGO\nSELECT 1\n", 1, "batch at line 1"},  // stops by default
                        Case{":on error ignore\nSELECT * FROM NoSuchTable\nGO\nSELECT 1\n", 0, "done, 2 batches"},
                        Case{"SELECT 1\nGO\n:r missing.sql\n", 1, "line 3: cannot read missing.sql"},
                        Case{"SELECT 1\n:quit\n", 1, "line 2: unknown sqlcmd command ':quit'"}}) {
    TempDir dir("talvoro-script-runner");
    const CommandResult run = RunScript(dir, c.script);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.script << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.script << run.err;
  }
}

}  // namespace
}  // namespace standin_test
