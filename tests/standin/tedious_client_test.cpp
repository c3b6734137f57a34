// The stand-in's TDS encryption through a second modern client: the npm
// package tedious (tools/tdsclient), which always encrypts and checks the
// server's certificate unless told to trust it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "odbc_client.h"
#include "run_command.h"
#include "standin_process.h"

namespace standin_test {
namespace {

constexpr char kScript[] = TALVORO_SOURCE_DIR "/tools/tdsclient/tdsclient.mjs";

TEST(TediousClient, EncryptsAndTrustsASelfSignedCertificateOnlyWhenTold) {
  if (!std::filesystem::exists(TALVORO_SOURCE_DIR "/tools/tdsclient/node_modules/tedious")) {
    GTEST_SKIP() << "tedious is not installed (scripts/install-deps.sh installs it)";
  }
  talvoro::test::StandinProcess server;  // a self-signed certificate is made on its first start
  EXPECT_TRUE(std::filesystem::exists(server.dataDir() + "/standin-tls-cert.pem"));
  for (const auto& [database, sql] : std::vector<std::pair<std::string, std::string>>{
           {"master", "CREATE DATABASE Demo"},
           {"Demo", "CREATE TABLE Customers (ID int PRIMARY KEY, Name nvarchar(20))"},
           {"Demo", "INSERT INTO Customers VALUES (1, N'Ann'), (2, N'Bó')"}}) {
    OdbcConnection connection;
    ASSERT_TRUE(SQL_SUCCEEDED(connection.Connect(server.ConnectString(database))));
    OdbcStatement(connection).Run(sql);
  }
  setenv("TDSCLIENT_PASSWORD", "secret", 1);
  const auto run = [&](bool trust) {
    std::vector<std::string> args = {"node", "--no-deprecation", kScript, "127.0.0.1",
                                     std::to_string(server.port()), "sa", "Demo",
                                     "SELECT ID, Name FROM Customers ORDER BY ID"};
    if (trust) args.push_back("--trust-server-certificate");
    return talvoro::test::RunCommand(args);
  };

  const auto trusted = run(true);
  ASSERT_EQ(trusted.exitCode, 0) << trusted.out << trusted.err;
  EXPECT_EQ(trusted.out,
            "{\"encrypted\":true,\"rows\":[{\"ID\":1,\"Name\":\"Ann\"},{\"ID\":2,\"Name\":\"Bó\"}]}\n");

  const auto refused = run(false);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.err.find("self-signed certificate"), std::string::npos) << refused.err;
  unsetenv("TDSCLIENT_PASSWORD");
}

}  // namespace
}  // namespace standin_test
