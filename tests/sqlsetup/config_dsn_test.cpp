// SQLConfigDataSource for "SQL Server" through the real unixODBC installer, which
// loads our setup library from the sandbox's odbcinst.ini.
#include <odbcinst.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "odbc_ini_file.h"
#include "odbc_sandbox.h"

namespace talvoro::test {
namespace {

constexpr const char* kDriver = "SQL Server";

// "KEY=value\0KEY=value\0\0", the form the application hands to the installer.
std::string AttributeList(const std::vector<std::string>& entries) {
  std::string list;
  for (const auto& entry : entries) {
    list += entry;
    list += '\0';
  }
  list += '\0';
  return list;
}

struct InstallerError {
  DWORD code = 0;
  std::string message;
};

InstallerError FirstInstallerError() {
  InstallerError error;
  char message[SQL_MAX_MESSAGE_LENGTH] = {};
  WORD length = 0;
  if (SQLInstallerError(1, &error.code, message, sizeof message, &length) == SQL_SUCCESS) {
    error.message = message;
  }
  return error;
}

class ConfigDsnTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto& sandbox = OdbcSandbox::Install();
    userIni_ = sandbox.userIni;
    std::ofstream(userIni_, std::ios::trunc).flush();  // each test starts with no data sources
  }

  static BOOL Config(WORD request, const std::vector<std::string>& entries) {
    const std::string list = AttributeList(entries);
    return SQLConfigDataSource(nullptr, request, kDriver, list.c_str());
  }

  // The keys of every section named `dsn`; fails the test if there is not exactly one.
  std::map<std::string, std::string> Section(const std::string& dsn) const {
    std::map<std::string, std::string> found;
    int count = 0;
    for (const auto& [name, keys] : ReadIniFile(userIni_)) {
      if (name == dsn) {
        ++count;
        found = keys;
      }
    }
    EXPECT_EQ(count, 1) << "sections named [" << dsn << "]";
    return found;
  }

  bool HasSection(const std::string& dsn) const {
    for (const auto& [name, keys] : ReadIniFile(userIni_)) {
      if (name == dsn) return true;
    }
    return false;
  }

  std::string userIni_;
};

TEST_F(ConfigDsnTest, AddWritesWhatFreeTdsNeedsToReachTheLocalServer) {
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Server=(local)", "Trusted_Connection=yes",
                                    "Database=Sales"}));
  const std::map<std::string, std::string> expected = {
      {"Driver", "SQL Server"},  {"Server", "127.0.0.1"},       {"Port", "1433"},
      {"Trusted_Connection", "yes"}, {"Database", "Sales"}, {"ClientCharset", "UTF-8"},
      {"TDS_Version", "7.4"}, {"Encryption", "request"}, {"PacketSize", "16383"}};
  EXPECT_EQ(Section("dsns"), expected);

  // A version the caller names is kept.
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Server=(local)", "TDS_Version=7.3"}));
  EXPECT_EQ(Section("dsns")["TDS_Version"], "7.3");
}

TEST_F(ConfigDsnTest, AddingAgainReplacesTheDataSource) {
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Server=(local)", "Trusted_Connection=yes",
                                    "Database=", "Description=first"}));
  EXPECT_EQ(Section("dsns")["Database"], "");

  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Server=(local)", "Trusted_Connection=yes",
                                    "Database=Sales"}));
  auto keys = Section("dsns");
  EXPECT_EQ(keys["Database"], "Sales");
  EXPECT_EQ(keys.count("Description"), 0u) << "the old attributes must go with the old entry";

  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Server=(local)", "Trusted_Connection=yes",
                                    "Database="}));
  EXPECT_EQ(Section("dsns")["Database"], "");
}

TEST_F(ConfigDsnTest, BlanksAndQuotesAroundNamesAndValuesAreDropped) {
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns ", " Server = (local) ", "Database=\"Sales\""}));
  auto keys = Section("dsns");
  EXPECT_EQ(keys["Server"], "127.0.0.1");
  EXPECT_EQ(keys["Database"], "Sales");
}

struct ServerCase {
  const char* what;
  const char* given;
  const char* server;
  const char* port;  // nullptr: no Port key
};

class ServerFormTest : public ConfigDsnTest, public testing::WithParamInterface<ServerCase> {};

TEST_P(ServerFormTest, ServerIsWrittenInFreeTdsTerms) {
  const ServerCase& c = GetParam();
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", std::string("Server=") + c.given}));
  auto keys = Section("dsns");
  EXPECT_EQ(keys["Server"], c.server);
  if (c.port) {
    EXPECT_EQ(keys["Port"], c.port);
  } else {
    EXPECT_EQ(keys.count("Port"), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ServerFormTest,
    testing::Values(ServerCase{"Local", "(local)", "127.0.0.1", "1433"},
                    ServerCase{"LocalUpperCase", "(LOCAL)", "127.0.0.1", "1433"},
                    ServerCase{"Dot", ".", "127.0.0.1", "1433"},
                    ServerCase{"Host", "dbhost", "dbhost", "1433"},
                    ServerCase{"HostAndPort", "dbhost,2433", "dbhost", "2433"},
                    ServerCase{"LocalAndPort", "(local), 14333", "127.0.0.1", "14333"},
                    ServerCase{"LocalInstance", "(local)\\SQLEXPRESS", "127.0.0.1\\SQLEXPRESS", nullptr},
                    ServerCase{"HostInstance", "dbhost\\INST", "dbhost\\INST", nullptr},
                    ServerCase{"Localhost", "localhost", "127.0.0.1", "1433"},
                    ServerCase{"Empty", "", "127.0.0.1", "1433"},
                    ServerCase{"TcpPrefix", "tcp:dbhost,2433", "dbhost", "2433"},
                    ServerCase{"Ipv4", "10.1.2.3", "10.1.2.3", "1433"},
                    ServerCase{"Ipv6InBrackets", "[fe80::1],2433", "fe80::1", "2433"},
                    ServerCase{"PortWinsOverInstance", "dbhost\\INST,2433", "dbhost", "2433"}),
    [](const testing::TestParamInfo<ServerCase>& info) { return info.param.what; });

TEST_F(ConfigDsnTest, AnExplicitPortWinsOverTheDefaultInstancePort) {
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Port=2433", "Server=(local)"}));
  EXPECT_EQ(Section("dsns")["Port"], "2433");
}

// The converter's own freetds.conf section holds the server (and the certificate
// checks): FreeTDS refuses a data source naming both Servername and Server.
TEST_F(ConfigDsnTest, ASectionNameStandsAloneForTheServer) {
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Servername=kestrin1-source", "Encryption=require"}));
  auto keys = Section("dsns");
  EXPECT_EQ(keys["Servername"], "kestrin1-source");
  EXPECT_EQ(keys["Encryption"], "require");
  EXPECT_EQ(keys.count("Server"), 0u);
  EXPECT_EQ(keys.count("Port"), 0u);
}

TEST_F(ConfigDsnTest, ConfigChangesOnlyTheGivenKeys) {
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Server=(local)", "Database=Sales"}));
  ASSERT_TRUE(Config(ODBC_CONFIG_DSN, {"DSN=dsns", "Database=Northwind"}));
  auto keys = Section("dsns");
  EXPECT_EQ(keys["Database"], "Northwind");
  EXPECT_EQ(keys["Server"], "127.0.0.1");
  EXPECT_EQ(keys["Port"], "1433");

  // A named instance is found through the browser service, so no port may be left over.
  ASSERT_TRUE(Config(ODBC_CONFIG_DSN, {"DSN=dsns", "Server=(local)\\SQLEXPRESS"}));
  EXPECT_EQ(Section("dsns").count("Port"), 0u);
}

TEST_F(ConfigDsnTest, RemoveDeletesTheDataSourceAndOnlyThatOne) {
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Server=(local)"}));
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=other", "Server=(local)"}));
  ASSERT_TRUE(Config(ODBC_REMOVE_DSN, {"DSN=dsns", "Server=(local)", "Trusted_Connection=yes",
                                       "Database="}));
  EXPECT_FALSE(HasSection("dsns"));
  EXPECT_TRUE(HasSection("other"));
}

struct RefusedCase {
  const char* what;
  WORD request;
  std::vector<std::string> entries;
  DWORD code;
  const char* messagePart;
};

class RefusedRequestTest : public ConfigDsnTest, public testing::WithParamInterface<RefusedCase> {};

// A refused request reports why and leaves an existing data source as it was.
TEST_P(RefusedRequestTest, FailsWithAnInstallerErrorAndChangesNothing) {
  const RefusedCase& c = GetParam();
  ASSERT_TRUE(Config(ODBC_ADD_DSN, {"DSN=dsns", "Server=(local)", "Database=Sales"}));
  const auto before = Section("dsns");

  EXPECT_FALSE(Config(c.request, c.entries));
  const InstallerError error = FirstInstallerError();
  EXPECT_EQ(error.code, c.code);
  EXPECT_NE(error.message.find(c.messagePart), std::string::npos) << error.message;
  EXPECT_EQ(Section("dsns"), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedRequestTest,
    testing::Values(
        RefusedCase{"RemoveMissing", ODBC_REMOVE_DSN, {"DSN=nothere"}, ODBC_ERROR_INVALID_DSN,
                    "nothere"},
        RefusedCase{"ConfigMissing", ODBC_CONFIG_DSN, {"DSN=nothere", "Database=x"},
                    ODBC_ERROR_INVALID_DSN, "nothere"},
        RefusedCase{"NoDsn", ODBC_ADD_DSN, {"Server=(local)", "Database=x"},
                    ODBC_ERROR_INVALID_KEYWORD_VALUE, "DSN"},
        RefusedCase{"InvalidDsnName", ODBC_ADD_DSN, {"DSN=a[b]", "Server=(local)"},
                    ODBC_ERROR_INVALID_DSN, "a[b]"},
        RefusedCase{"BadPort", ODBC_ADD_DSN, {"DSN=dsns", "Server=(local),14x"},
                    ODBC_ERROR_INVALID_KEYWORD_VALUE, "(local),14x"},
        RefusedCase{"NotAHostName", ODBC_ADD_DSN, {"DSN=dsns", "Server=db host;Driver=x"},
                    ODBC_ERROR_INVALID_KEYWORD_VALUE, "db host;Driver=x"},
        // A line break would smuggle a second key into odbc.ini.
        RefusedCase{"LineBreakInValue", ODBC_ADD_DSN,
                    {"DSN=dsns", "Server=(local)", "Database=x\nDriver=/tmp/evil.so"},
                    ODBC_ERROR_INVALID_KEYWORD_VALUE, "Database"},
        // A database name cut in two by the application's separator bytes.
        RefusedCase{"EntryWithoutEquals", ODBC_ADD_DSN, {"DSN=dsns", "Database=Sal", "es"},
                    ODBC_ERROR_INVALID_KEYWORD_VALUE, "'es'"},
        RefusedCase{"KeyWithBracket", ODBC_ADD_DSN, {"DSN=dsns", "[x]=1"},
                    ODBC_ERROR_INVALID_KEYWORD_VALUE, "[x]"}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.what; });

}  // namespace
}  // namespace talvoro::test
