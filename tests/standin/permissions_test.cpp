// Logins made with CREATE LOGIN, database users, roles and grants, as SQL
// Server enforces them: a wrong password is 18456, a read-only user (member
// of db_datareader) may read but not write (229), and without VIEW DEFINITION
// it sees the tables but not the text of their defaults and CHECKs.
#include <gtest/gtest.h>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

std::optional<std::string> Scalar(const OdbcConnection& c, const std::string& sql) {
  OdbcStatement s(c);
  if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(sql + ": " + s.Diagnostics());
  if (!s.Fetch()) return std::nullopt;
  return s.Text(1);
}

Diagnostic Failure(const OdbcConnection& c, const std::string& sql) {
  OdbcStatement s(c);
  if (SQL_SUCCEEDED(s.Execute(sql))) return {};
  const auto records = s.DiagnosticRecords();
  return records.empty() ? Diagnostic{"", -1, ""} : records[0];
}

std::string TextOf(const Diagnostic& d) { return d.text.substr(d.text.rfind(']') + 1); }

class Permissions : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    OdbcConnection sa;
    ASSERT_TRUE(SQL_SUCCEEDED(sa.Connect(FixtureConnectString())));
    for (const char* sql : {
             "CREATE TABLE Priced (id int PRIMARY KEY, price money NOT NULL CONSTRAINT DF_Priced_price DEFAULT 0,"
             " CONSTRAINT CK_Priced_price CHECK (price >= 0))",
             "CREATE TABLE Private (id int PRIMARY KEY)",
             "INSERT INTO Priced (id) VALUES (1), (2)",
             "CREATE LOGIN perm_reader WITH PASSWORD = 'Read-1', CHECK_POLICY = OFF",
             "CREATE USER perm_reader FOR LOGIN perm_reader",
             "ALTER ROLE db_datareader ADD MEMBER perm_reader",
             "CREATE LOGIN perm_narrow WITH PASSWORD = 'Narrow-1'",
             "CREATE USER perm_narrow FROM LOGIN perm_narrow",
             "GRANT SELECT ON dbo.Priced TO perm_narrow",
             "CREATE LOGIN perm_viewer WITH PASSWORD = 'View-1'",
             "CREATE USER perm_viewer FOR LOGIN perm_viewer",
             "EXEC sp_addrolemember 'db_datareader', 'perm_viewer'",
             "GRANT VIEW DEFINITION TO perm_viewer",
             "CREATE USER perm_nobody WITHOUT LOGIN",
             "CREATE LOGIN perm_stranger WITH PASSWORD = 'Stranger-1'"})
      OdbcStatement(sa).Run(sql);
  }

  static std::string As(const std::string& login, const std::string& password, const char* database = "fixture") {
    return SharedServer().ConnectString(database, login, password);
  }
};

TEST_F(Permissions, LoginsAuthenticateWithTheirPassword) {
  OdbcConnection wrong;
  ASSERT_EQ(wrong.Connect(As("perm_reader", "read-1")), SQL_ERROR);
  bool refused = false;
  for (const auto& d : wrong.diagnostics())
    refused |= d.native == 18456 && TextOf(d) == "Login failed for user 'perm_reader'.";
  EXPECT_TRUE(refused) << DescribeDiagnostics(SQL_HANDLE_DBC, wrong.dbc());

  OdbcConnection stranger;  // a login without a user in the database
  EXPECT_EQ(stranger.Connect(As("perm_stranger", "Stranger-1")), SQL_ERROR);
  OdbcConnection inMaster;  // but master lets it in as guest
  EXPECT_TRUE(SQL_SUCCEEDED(inMaster.Connect(As("perm_stranger", "Stranger-1", "master"))));

  OdbcConnection sa;
  ASSERT_TRUE(SQL_SUCCEEDED(sa.Connect(FixtureConnectString())));
  EXPECT_EQ(Failure(sa, "CREATE LOGIN perm_reader WITH PASSWORD = 'x'").native, 15025);
  EXPECT_EQ(Failure(sa, "CREATE USER perm_reader FOR LOGIN perm_reader").native, 15023);
  EXPECT_EQ(Failure(sa, "CREATE USER perm_ghost FOR LOGIN no_such_login").native, 15007);
}

TEST_F(Permissions, AReaderMayReadButNotWrite) {
  OdbcConnection reader;
  ASSERT_TRUE(SQL_SUCCEEDED(reader.Connect(As("perm_reader", "Read-1"))));
  EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM Priced"), "2");
  EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM dbo.Private"), "0");
  struct Case {
    std::string sql, permission;
  };
  for (const Case& c : {Case{"INSERT INTO Priced (id) VALUES (3)", "INSERT"},
                        Case{"UPDATE Priced SET price = 1", "UPDATE"}, Case{"DELETE FROM Priced", "DELETE"}}) {
    const Diagnostic d = Failure(reader, c.sql);
    EXPECT_EQ(d.native, 229) << c.sql;
    EXPECT_EQ(TextOf(d), "The " + c.permission +
                             " permission was denied on the object 'Priced', database 'fixture', schema 'dbo'.");
  }
  const Diagnostic create = Failure(reader, "CREATE TABLE Mine (id int)");
  EXPECT_EQ(create.native, 262);
  EXPECT_EQ(TextOf(create), "CREATE TABLE permission denied in database 'fixture'.");
  EXPECT_EQ(Failure(reader, "GRANT SELECT ON Private TO perm_narrow").native, 15247);
  EXPECT_EQ(Scalar(reader, "SELECT count(*) FROM Priced"), "2") << "nothing was written";
}

// Without VIEW DEFINITION the tables are listed and the definitions are NULL,
// as SQL Server shows them; with it (or as sa) they are there.
TEST_F(Permissions, DefinitionsNeedViewDefinition) {
  struct Who {
    std::string login, password;
    bool seesDefinitions;
  };
  for (const Who& who : {Who{"perm_reader", "Read-1", false}, Who{"perm_viewer", "View-1", true},
                         Who{"sa", "secret", true}}) {
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(As(who.login, who.password))));
    // Present or NULL (the text itself is the catalog's business).
    auto expect = [&](const std::string& sql, const char* fragment) {
      const auto value = Scalar(c, sql);
      if (!who.seesDefinitions) EXPECT_EQ(value, std::nullopt) << who.login << ": " << sql;
      else if (!value || value->find(fragment) == std::string::npos) ADD_FAILURE() << who.login << ": " << sql;
    };
    EXPECT_EQ(Scalar(c, "SELECT HAS_PERMS_BY_NAME(DB_NAME(), 'DATABASE', 'VIEW DEFINITION')"),
              who.seesDefinitions ? "1" : "0") << who.login;
    EXPECT_EQ(Scalar(c, "SELECT count(*) FROM sys.tables WHERE name = 'Priced'"), "1") << who.login;
    expect("SELECT definition FROM sys.default_constraints WHERE name = 'DF_Priced_price'", "0");
    expect("SELECT definition FROM sys.check_constraints WHERE name = 'CK_Priced_price'", "price");
    expect("SELECT OBJECT_DEFINITION(OBJECT_ID('CK_Priced_price'))", "price");
    OdbcStatement columns(c);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(columns.get(), nullptr, 0, nullptr, 0, (SQLCHAR*)"Priced", SQL_NTS,
                                         (SQLCHAR*)"price", SQL_NTS)));
    ASSERT_TRUE(columns.Fetch());
    if (who.seesDefinitions) EXPECT_EQ(columns.Text(13), "((0))") << who.login;
    else EXPECT_EQ(columns.Text(13), std::nullopt) << who.login << ": COLUMN_DEF";
  }
}

// A user granted SELECT on one table sees that table only.
TEST_F(Permissions, ObjectsWithoutAnyPermissionAreNotListed) {
  OdbcConnection narrow;
  ASSERT_TRUE(SQL_SUCCEEDED(narrow.Connect(As("perm_narrow", "Narrow-1"))));
  EXPECT_EQ(Scalar(narrow, "SELECT count(*) FROM Priced"), "2");
  const Diagnostic d = Failure(narrow, "SELECT * FROM Private");
  EXPECT_EQ(d.native, 229);
  EXPECT_EQ(TextOf(d), "The SELECT permission was denied on the object 'Private', database 'fixture', schema 'dbo'.");
  EXPECT_EQ(Scalar(narrow, "SELECT count(*) FROM sys.tables WHERE name IN ('Priced', 'Private')"), "1");
  OdbcStatement tables(narrow);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLTables(tables.get(), nullptr, 0, nullptr, 0, nullptr, 0, (SQLCHAR*)"TABLE", SQL_NTS)));
  std::vector<std::string> names;
  while (tables.Fetch()) names.push_back(*tables.Text(3));
  EXPECT_EQ(names, std::vector<std::string>{"Priced"});

  OdbcConnection sa;
  ASSERT_TRUE(SQL_SUCCEEDED(sa.Connect(FixtureConnectString())));
  OdbcStatement(sa).Run("DENY SELECT ON Priced TO perm_narrow");
  EXPECT_EQ(Failure(narrow, "SELECT * FROM Priced").native, 229) << "a deny counts from the next batch";
  OdbcStatement(sa).Run("REVOKE SELECT ON Priced FROM perm_narrow");
  OdbcStatement(sa).Run("GRANT SELECT ON SCHEMA::dbo TO perm_narrow");
  EXPECT_EQ(Scalar(narrow, "SELECT count(*) FROM Private"), "0") << "a schema grant covers its tables";
}

// DROP LOGIN / USER / ROLE, each refusal with SQL Server's number and text;
// what a drop removes is gone (a dropped user's login no longer gets in).
TEST_F(Permissions, DropStatementsRemovePrincipalsOrSayWhyNot) {
  OdbcConnection sa;
  ASSERT_TRUE(SQL_SUCCEEDED(sa.Connect(FixtureConnectString())));
  for (const char* sql : {"CREATE LOGIN drop_login WITH PASSWORD = 'Drop-1'", "CREATE USER drop_login",
                          "CREATE ROLE drop_role", "ALTER ROLE drop_role ADD MEMBER drop_login",
                          "GRANT SELECT ON Priced TO drop_role", "CREATE ROLE drop_owner",
                          "CREATE SCHEMA DropOwned AUTHORIZATION drop_owner", "CREATE LOGIN drop_busy WITH PASSWORD = 'Busy-1'",
                          "CREATE USER drop_busy"})
    OdbcStatement(sa).Run(sql);
  OdbcConnection busy;
  ASSERT_TRUE(SQL_SUCCEEDED(busy.Connect(As("drop_busy", "Busy-1"))));

  struct Case {
    const char* sql;
    int native;  // 0: succeeds
    const char* text;
  };
  for (const Case& c : {
           Case{"DROP USER nobody_here", 15151,
                "Cannot drop the user 'nobody_here', because it does not exist or you do not have permission."},
           Case{"DROP ROLE nobody_here", 15151,
                "Cannot drop the role 'nobody_here', because it does not exist or you do not have permission."},
           Case{"DROP LOGIN nobody_here", 15151,
                "Cannot drop the login 'nobody_here', because it does not exist or you do not have permission."},
           Case{"DROP USER IF EXISTS nobody_here", 0, ""},
           Case{"DROP ROLE IF EXISTS nobody_here", 0, ""},
           Case{"DROP LOGIN IF EXISTS nobody_here", 0, ""},
           Case{"DROP ROLE db_datareader", 15150, "Cannot drop the role 'db_datareader'."},
           Case{"DROP USER dbo", 15150, "Cannot drop the user 'dbo'."},
           Case{"DROP ROLE drop_login", 15151,
                "Cannot drop the role 'drop_login', because it does not exist or you do not have permission."},
           Case{"DROP ROLE drop_role", 15144, "The role has members. It must be empty before it can be dropped."},
           Case{"DROP ROLE drop_owner", 15138, "The database principal owns a schema in the database, and cannot be dropped."},
           Case{"DROP LOGIN drop_busy", 15434, "Could not drop login 'drop_busy' as the user is currently logged in."},
           Case{"DROP USER drop_busy", 0, ""},  // SQL Server allows it; the session keeps going
           Case{"DROP USER drop_login", 0, ""},
           Case{"DROP ROLE drop_role", 0, ""},  // its member went with the user
           Case{"DROP SCHEMA DropOwned", 0, ""},
           Case{"DROP ROLE drop_owner", 0, ""},
           Case{"DROP LOGIN drop_login", 0, ""},
           Case{"CREATE ROLE drop_role", 0, ""},  // the name is free again
           Case{"DROP ROLE drop_role", 0, ""},
       }) {
    OdbcStatement s(sa);
    const SQLRETURN rc = s.Execute(c.sql);
    if (c.native == 0) {
      EXPECT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << c.sql << ": " << s.Diagnostics();
      continue;
    }
    ASSERT_EQ(rc, SQL_ERROR) << c.sql;
    const auto records = s.DiagnosticRecords();
    ASSERT_FALSE(records.empty()) << c.sql;
    EXPECT_EQ(records[0].native, c.native) << c.sql;
    EXPECT_EQ(TextOf(records[0]), c.text) << c.sql;
  }
  OdbcConnection gone;
  EXPECT_EQ(gone.Connect(As("drop_login", "Drop-1")), SQL_ERROR) << "the login was dropped";

  OdbcConnection reader;  // not a sysadmin: may not drop
  ASSERT_TRUE(SQL_SUCCEEDED(reader.Connect(As("perm_reader", "Read-1"))));
  EXPECT_EQ(Failure(reader, "DROP USER perm_narrow").native, 15247);
  EXPECT_EQ(Failure(reader, "DROP LOGIN perm_narrow").native, 15247);
}

// ALTER LOGIN: a new password replaces the old; a disabled login is refused
// with 18470 until it is enabled again.
TEST_F(Permissions, AlterLoginChangesPasswordAndDisables) {
  OdbcConnection sa;
  ASSERT_TRUE(SQL_SUCCEEDED(sa.Connect(FixtureConnectString())));
  for (const char* sql : {"CREATE LOGIN alter_login WITH PASSWORD = 'Old-1'", "CREATE USER alter_login",
                          "ALTER LOGIN alter_login WITH PASSWORD = 'New-1' OLD_PASSWORD = 'Old-1'",
                          "ALTER LOGIN alter_login DISABLE"})
    OdbcStatement(sa).Run(sql);
  OdbcConnection disabled;
  ASSERT_EQ(disabled.Connect(As("alter_login", "New-1")), SQL_ERROR);
  bool refused = false;
  for (const auto& d : disabled.diagnostics())
    refused |= d.native == 18470 && TextOf(d) == "Login failed for user 'alter_login'. Reason: The account is disabled.";
  EXPECT_TRUE(refused) << DescribeDiagnostics(SQL_HANDLE_DBC, disabled.dbc());

  OdbcStatement(sa).Run("ALTER LOGIN alter_login ENABLE");
  OdbcConnection oldPassword;
  EXPECT_EQ(oldPassword.Connect(As("alter_login", "Old-1")), SQL_ERROR);
  OdbcConnection enabled;
  EXPECT_TRUE(SQL_SUCCEEDED(enabled.Connect(As("alter_login", "New-1"))));
  EXPECT_EQ(Failure(sa, "ALTER LOGIN nobody_here DISABLE").native, 15151);
  EXPECT_EQ(Failure(sa, "ALTER LOGIN alter_login WITH NAME = alter_renamed").native, 50000) << "refused, not ignored";
}

// A database that is not there (911), one that is there without a user for
// the login (916, level 14), and the same at login time (4060 then 18456).
TEST_F(Permissions, MissingAndInaccessibleDatabasesAreToldApart) {
  OdbcConnection stranger;
  ASSERT_TRUE(SQL_SUCCEEDED(stranger.Connect(As("perm_stranger", "Stranger-1", "master"))));
  OdbcStatement missing(stranger);
  ASSERT_EQ(missing.Execute("USE no_such_db"), SQL_ERROR);
  auto records = missing.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, 911);
  EXPECT_EQ(TextOf(records[0]), "Database 'no_such_db' does not exist. Make sure that the name is entered correctly.");

  OdbcStatement closed(stranger);
  ASSERT_EQ(closed.Execute("USE fixture"), SQL_ERROR);
  records = closed.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, 916);
  EXPECT_EQ(TextOf(records[0]), "The server principal \"perm_stranger\" is not able to access the database \"fixture\""
                                " under the current security context.");
  EXPECT_EQ(Scalar(stranger, "SELECT DB_NAME()"), "master") << "the session stays where it was";
  // A catalog procedure of the other database asks the same.
  EXPECT_EQ(Failure(stranger, "EXEC fixture..sp_columns Priced").native, 916);
  EXPECT_EQ(Failure(stranger, "EXEC no_such_db..sp_columns Priced").native, 911);

  for (const char* database : {"fixture", "no_such_db"}) {
    OdbcConnection login;
    ASSERT_EQ(login.Connect(As("perm_stranger", "Stranger-1", database)), SQL_ERROR);
    bool cannotOpen = false;
    for (const auto& d : login.diagnostics())
      cannotOpen |= d.native == 4060 && TextOf(d) == "Cannot open database \"" + std::string(database) +
                                                         "\" requested by the login. The login failed.";
    EXPECT_TRUE(cannotOpen) << database << ": " << DescribeDiagnostics(SQL_HANDLE_DBC, login.dbc());
  }
}

}  // namespace
}  // namespace standin_test
