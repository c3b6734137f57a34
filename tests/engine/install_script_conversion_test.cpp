// A larger install script in the style of the published sample databases, run
// the way sqlcmd runs one (run_sql_script with -v variables): six schemas,
// alias types, an XML schema collection, computed, geography, hierarchyid and
// temporal columns, full-text search, a DDL trigger, data bulk-loaded from
// tab-separated UTF-8 files (one with multi-character terminators and line
// breaks inside fields), foreign keys added after the data. Then the whole
// database is converted by Kestrin1 and the file read by every reader.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "file_acceptance.h"
#include "run_command.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

const std::string kKestrin1 = TALVORO_BUILD_DIR "/app/Kestrin1";
const std::string kRunSqlScript = TALVORO_BUILD_DIR "/standin/demo/run_sql_script";
const std::string kScriptDir = TALVORO_SOURCE_DIR "/tests/engine/data/install_script/";

class InstallScriptConversionTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("KESTRIN1_PASSWORD", kSqlPassword, 1); }
  void TearDown() override { unsetenv("KESTRIN1_PASSWORD"); }

  SourceServer server_;
  TempDir dir_{"talvoro-install-script"};
};

TEST_F(InstallScriptConversionTest, ScriptWithVariablesLoadsAndTheDatabaseConvertsWhole) {
  // The data files lie in a folder of the server's machine, named by a variable.
  const std::string data = server_.process().dataDir() + "/sample data/";
  std::filesystem::create_directories(data);
  for (const auto& entry : std::filesystem::directory_iterator(kScriptDir))
    if (entry.path().extension() == ".tsv") std::filesystem::copy_file(entry.path(), data + entry.path().filename().string());

  const CommandResult install =
      RunCommand({kRunSqlScript, "--port", std::to_string(server_.port()), "--user", kSqlLogin, "--password",
                  kSqlPassword, "-v", "DatabaseName=Works2026", "DataPath=" + data, kScriptDir + "install.sql"});
  ASSERT_EQ(install.exitCode, 0) << install.out << install.err;

  const std::string dest = dir_.File("works.mdb");
  const CommandResult convert = RunCommand(
      {kKestrin1, "--database", "Works2026", "--dest", dest, "--sql-login", kSqlLogin, "--all"});
  ASSERT_EQ(convert.exitCode, 0) << convert.out << convert.err;
  for (const char* line :
       {"Person.Person converted, 3 rows", "Person.Address converted, 3 rows", "HumanResources.Employee converted, 3 rows",
        "HumanResources.Shift converted, 3 rows", "HumanResources.ShiftHistory converted, 1 rows",
        "Production.Product converted, 3 rows", "Purchasing.Vendor converted, 2 rows",
        "Sales.SalesOrderHeader converted, 2 rows", "Sales.SalesOrderDetail converted, 3 rows",
        "Security.DatabaseLog converted, 0 rows", "HumanResources.Department converted, 3 rows"})
    EXPECT_NE(convert.out.find(line), std::string::npos) << line << "\n" << convert.out;

  const FileAcceptance accepted = ReadersAccept(dest);
  ASSERT_TRUE(accepted.ok) << accepted.problems;
  EXPECT_EQ(accepted.rowCounts.at("Production_Product"), 3u);
  EXPECT_EQ(accepted.rowCounts.at("HumanResources_ShiftHistory"), 1u);

  auto table = [&](const std::string& name) -> const nlohmann::json& {
    for (const auto& t : accepted.document["tables"])
      if (t["name"] == name) return t;
    throw std::runtime_error("no table " + name);
  };
  // The hidden period columns are converted with the others, their values kept.
  const auto& shiftTable = table("HumanResources_Shift");
  std::vector<std::string> columns;
  for (const auto& c : shiftTable["columns"]) columns.push_back(c["name"]);
  EXPECT_EQ(columns, (std::vector<std::string>{"ShiftID", "Name", "StartTime", "EndTime", "ValidFrom", "ValidTo"}));
  for (const auto& row : shiftTable["rows"]) EXPECT_FALSE(row["ValidFrom"].is_null()) << row.dump();
  // Computed columns arrive as values; the line breaks inside a loaded field stay.
  EXPECT_EQ(table("Sales_SalesOrderHeader")["rows"][0]["SalesOrderNumber"], "SO43659");
  EXPECT_EQ(table("Production_Product")["rows"][2]["Name"], "Touring Tire «Ω»");
  EXPECT_EQ(table("Person_Person")["rows"][2]["FullName"], "Zoë Østergård");
  EXPECT_EQ(table("Production_Product")["rows"][1]["Description"],
            "Combed cotton.\nLine two of the description.\r\nLine three, after CR LF.");
  EXPECT_EQ(table("HumanResources_Employee")["rows"][2]["TotalLeave"], 23);
  // The geography point keeps SQL Server's serialization (SRID 4326, one point).
  const auto& spot = table("Person_Address")["rows"][1]["SpatialLocation"];
  EXPECT_FALSE(spot.is_null());
  EXPECT_NE(spot.dump().find("e6100000010c"), std::string::npos) << spot.dump();
}

}  // namespace
}  // namespace talvoro::test
