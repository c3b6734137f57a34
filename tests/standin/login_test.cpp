// Logons through FreeTDS: SQL logins, refused passwords and databases, and the
// refusal of integrated logons when no keytab was given.
#include <gtest/gtest.h>

#include "odbc_client.h"
#include "raw_tds_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

struct LoginCase {
  const char* name;
  const char* user;
  const char* password;
  const char* database;
  int expectedNative;  // 0: the logon succeeds
  const char* expectedText;
};

class LoginTest : public testing::TestWithParam<LoginCase> {};

TEST_P(LoginTest, AnswersLikeSqlServer) {
  const LoginCase& c = GetParam();
  auto& server = SharedServer();
  OdbcConnection connection;
  const SQLRETURN rc = connection.Connect(server.ConnectString(c.database, c.user, c.password));
  if (c.expectedNative == 0) {
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << DescribeDiagnostics(SQL_HANDLE_DBC, connection.dbc());
    SQLCHAR name[128] = {};
    SQLSMALLINT length = 0;
    SQLGetInfo(connection.dbc(), SQL_DATABASE_NAME, name, sizeof name, &length);
    EXPECT_STREQ(reinterpret_cast<char*>(name), c.database);
    return;
  }
  ASSERT_EQ(rc, SQL_ERROR);
  bool found = false;
  for (const auto& d : connection.diagnostics()) {
    if (d.native == c.expectedNative) {
      found = true;
      EXPECT_NE(d.text.find(c.expectedText), std::string::npos) << d.text;
    }
  }
  EXPECT_TRUE(found) << DescribeDiagnostics(SQL_HANDLE_DBC, connection.dbc());
}

INSTANTIATE_TEST_SUITE_P(
    Logins, LoginTest,
    testing::Values(LoginCase{"RightPassword", "sa", "secret", "fixture", 0, ""},
                    LoginCase{"NameIgnoresCase", "SA", "secret", "master", 0, ""},
                    LoginCase{"WrongPassword", "sa", "Secret", "fixture", 18456, "Login failed for user 'sa'."},
                    LoginCase{"UnknownLogin", "bob", "secret", "fixture", 18456, "Login failed for user 'bob'."},
                    LoginCase{"UnknownDatabase", "sa", "secret", "nosuchdb", 4060,
                              "Cannot open database \"nosuchdb\" requested by the login."},
                    LoginCase{"DatabaseNameWithPath", "sa", "secret", "../fixture", 4060, "Cannot open database"}),
    [](const testing::TestParamInfo<LoginCase>& info) { return std::string(info.param.name); });

TEST(IntegratedLogin, RefusedWithoutKeytab) {
  RawTdsClient client(SharedServer().port());
  const auto reply = client.Login("", "", "master", {0x60, 0x82, 0x01, 0x00, 0x06, 0x09});
  EXPECT_EQ(ErrorNumbers(reply), std::vector<int32_t>{18452});
  EXPECT_FALSE(HasLoginAck(reply));
}

TEST(IntegratedLogin, SqlLoginOverRawSocketStillWorks) {
  RawTdsClient client(SharedServer().port());
  EXPECT_TRUE(HasLoginAck(client.Login("sa", "secret", "master")));
}

}  // namespace
}  // namespace standin_test
