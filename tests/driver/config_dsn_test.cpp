// ConfigDSN through SQLConfigDataSource: creating files, adding, replacing and
// removing data sources in the private ODBC configuration.
#include <gtest/gtest.h>
#include <odbcinst.h>

#include <filesystem>

#include "independent_readers.h"
#include "odbc_sandbox.h"
#include "odbc_session.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

void ExpectEmptyValidDatabase(const std::string& path) {
  MdbToolsRead tools = ReadWithMdbTools(path);
  EXPECT_TRUE(tools.ok) << tools.problems;
  EXPECT_TRUE(tools.tables.empty());
  MdbReaderRead reader = ReadWithMdbReader(path);
  EXPECT_TRUE(reader.ok) << reader.problems;
}

TEST(CreateDb, CreatesAnEmptyFileFromEveryPathForm) {
  TempDir dir;
  struct Form {
    std::string attribute, path;
  };
  for (const Form& form : {Form{"CREATE_DB=\"" + dir.File("quoted name.mdb") + "\"", dir.File("quoted name.mdb")},
                           Form{"CREATE_DB=" + dir.File("bare name with blanks.mdb"), dir.File("bare name with blanks.mdb")},
                           Form{" CREATE_DB = \"" + dir.File("padded.mdb") + "\" ", dir.File("padded.mdb")},
                           Form{"CREATE_DB=\"" + dir.File("sorted.mdb") + "\" General", dir.File("sorted.mdb")}}) {
    SCOPED_TRACE(form.attribute);
    InstallerOutcome outcome = ConfigDataSource(ODBC_ADD_DSN, {form.attribute});
    ASSERT_TRUE(outcome.ok) << outcome.message;
    ASSERT_TRUE(std::filesystem::exists(form.path));
    ExpectEmptyValidDatabase(form.path);
  }
}

TEST(CreateDb, NeverOverwritesAnExistingFile) {
  TempDir dir;
  std::string path = dir.File("kept.mdb");
  ASSERT_TRUE(ConfigDataSource(ODBC_ADD_DSN, {"CREATE_DB=\"" + path + "\""}).ok);
  std::string before = ReadFileText(path);
  InstallerOutcome again = ConfigDataSource(ODBC_ADD_DSN, {"CREATE_DB=\"" + path + "\""});
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.code, static_cast<unsigned>(ODBC_ERROR_CREATE_DSN_FAILED));
  EXPECT_NE(again.message.find("already exists and was not overwritten"), std::string::npos) << again.message;
  EXPECT_EQ(ReadFileText(path), before);
  // The file was written under a temporary name and moved into place: nothing else is left.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"kept.mdb"});

  InstallerOutcome noFolder = ConfigDataSource(ODBC_ADD_DSN, {"CREATE_DB=" + dir.File("missing/x.mdb")});
  EXPECT_FALSE(noFolder.ok);
  EXPECT_NE(noFolder.message.find("Cannot create database"), std::string::npos) << noFolder.message;
}

TEST(DataSources, AddReplaceAndRemoveWithTrailingBlanks) {
  TempDir dir;
  const OdbcSandbox& sandbox = OdbcSandbox::Install();
  // As the converter sends them: blanks after the name and after the description.
  InstallerOutcome add = ConfigDataSource(
      ODBC_ADD_DSN, {"DSN=dsn_replace ", "DESCRIPTION= ", "DBQ=" + dir.File("first.mdb")});
  ASSERT_TRUE(add.ok) << add.message;
  std::string ini = ReadFileText(sandbox.userIni);
  EXPECT_NE(ini.find("[dsn_replace]\nDriver=Microsoft Access Driver (*.mdb)\nDESCRIPTION=\nDBQ=" +
                     dir.File("first.mdb") + "\n"),
            std::string::npos)
      << ini;

  ASSERT_TRUE(ConfigDataSource(ODBC_ADD_DSN, {"DSN=dsn_replace ", "DESCRIPTION= ", "DBQ=" + dir.File("second.mdb")}).ok);
  ini = ReadFileText(sandbox.userIni);
  EXPECT_EQ(ini.find("first.mdb"), std::string::npos) << ini;
  EXPECT_NE(ini.find("DBQ=" + dir.File("second.mdb")), std::string::npos) << ini;
  EXPECT_EQ(ini.find("[dsn_replace]"), ini.rfind("[dsn_replace]")) << "one section only:\n" << ini;

  InstallerOutcome remove = ConfigDataSource(ODBC_REMOVE_DSN, {"DSN=dsn_replace ", "DESCRIPTION= ", "DBQ=x"});
  EXPECT_TRUE(remove.ok) << remove.message;
  EXPECT_EQ(ReadFileText(sandbox.userIni).find("[dsn_replace]"), std::string::npos);

  InstallerOutcome again = ConfigDataSource(ODBC_REMOVE_DSN, {"DSN=dsn_replace "});
  EXPECT_FALSE(again.ok);
  EXPECT_NE(again.message.find("Data source \"dsn_replace\" does not exist"), std::string::npos) << again.message;
}

TEST(DataSources, RefusesMissingAndInvalidNames) {
  InstallerOutcome missing = ConfigDataSource(ODBC_ADD_DSN, {"DESCRIPTION=x", "DBQ=/tmp/x.mdb"});
  EXPECT_FALSE(missing.ok);
  EXPECT_NE(missing.message.find("DSN= is missing"), std::string::npos) << missing.message;
  InstallerOutcome invalid = ConfigDataSource(ODBC_ADD_DSN, {"DSN=bad[name]", "DBQ=/tmp/x.mdb"});
  EXPECT_FALSE(invalid.ok);
  EXPECT_NE(invalid.message.find("Invalid data source name"), std::string::npos) << invalid.message;
}

TEST(DataSources, CreateRegisterAndConnectByName) {
  TempDir dir;
  std::string path = dir.File("by name.mdb");
  ASSERT_TRUE(ConfigDataSource(ODBC_ADD_DSN, {"CREATE_DB=\"" + path + "\""}).ok);
  ASSERT_TRUE(ConfigDataSource(ODBC_ADD_DSN, {"DSN=dsn_connect ", "DESCRIPTION= ", "DBQ=" + path}).ok);
  OdbcOutcome failure;
  auto session = OdbcSession::Connect("DSN=dsn_connect", &failure);
  ASSERT_TRUE(session) << failure.message;
  EXPECT_EQ(session->completedConnectionString(), "DSN=dsn_connect;DBQ=" + path + ";");
  EXPECT_TRUE(session->Execute("Create Table T(\"a\" int  NULL)").ok());
}

}  // namespace
}  // namespace talvoro::test
