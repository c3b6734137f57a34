// Windows authentication: on Linux the SQL Server driver logs on with the
// user's Kerberos ticket when no login name is passed. Every source connection
// of the run (login check, catalog, rows) must log on that way.
#include <gtest/gtest.h>

#include <memory>

#include "engine/conversion_run.h"
#include "independent_readers.h"
#include "kerberos_realm.h"
#include "odbc/data_sources.h"
#include "odbc/login_check.h"
#include "source_server.h"
#include "temp_dir.h"

namespace talvoro::test {
namespace {

class WindowsLogonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!KerberosRealm::Available()) GTEST_SKIP() << "the MIT Kerberos KDC is not installed";
    realm_ = std::make_unique<KerberosRealm>();
    StandinProcess::Options options;
    options.keytab = realm_->serviceKeytab();
    server_ = std::make_unique<SourceServer>(options);
    realm_->AddService(server_->port());
    realm_->UseForClients();
    server_->Execute("", {"CREATE DATABASE Win"});
    server_->Execute("Win", {"CREATE TABLE Notes (id int NOT NULL PRIMARY KEY, body ntext NULL)",
                             "INSERT INTO Notes VALUES (1, N'kerberos')"});
  }
  void TearDown() override {
    server_.reset();
    realm_.reset();
  }

  std::unique_ptr<KerberosRealm> realm_;
  std::unique_ptr<SourceServer> server_;
  TempDir dir_{"talvoro-wnd"};
};

TEST_F(WindowsLogonTest, LoginCheckAndRunUseTheTicket) {
  // Texts left in the login fields do not turn this into a SQL Server logon.
  odbc::LoginCheckResult check =
      odbc::TestSourceLogin(odbc::AuthChoice::Windows, "leftover", "leftover");
  EXPECT_TRUE(check.passed) << odbc::FormatDiagnostics(check.diagnostics);
  EXPECT_EQ(check.authMode, "wnd");

  engine::ConversionSettings settings;
  settings.databaseName = "Win";
  settings.destPath = dir_.File("win.mdb");
  settings.authMode = check.authMode;
  odbc::RegisterSourceDsn(settings.databaseName, "dsns");
  engine::ConversionObserver quiet;
  engine::ConversionResult result = engine::RunConversion({"Notes"}, settings, quiet);
  ASSERT_EQ(result.tables.size(), 1u);
  EXPECT_TRUE(result.tables[0].converted) << result.tables[0].failure;

  MdbReaderRead reader = ReadWithMdbReader(settings.destPath);
  ASSERT_TRUE(reader.ok) << reader.problems;
  const nlohmann::json* notes = FindReaderTable(reader.document, "Notes");
  ASSERT_NE(notes, nullptr);
  EXPECT_EQ((*notes)["rows"][0]["body"], "kerberos");
}

TEST_F(WindowsLogonTest, NoTicketIsARefusedLogon) {
  realm_->DropTicket();
  odbc::LoginCheckResult check = odbc::TestSourceLogin(odbc::AuthChoice::Windows, "", "");
  EXPECT_FALSE(check.passed);
  EXPECT_EQ(check.authMode, "wnd");
  EXPECT_EQ(check.message, "LOGIN Name or Password Mismatch ");
}

}  // namespace
}  // namespace talvoro::test
