// Connections: sharing one file, a connection per row, commit, connection strings,
// ODBC 2 applications.
#include <fstream>

#include "driver_fixture.h"

namespace talvoro::test {
namespace {

std::size_t ExportedRowCount(const std::string& path, const std::string& table) {
  MdbExport exported = ExportWithMdbTools(path, table);
  EXPECT_TRUE(exported.ok) << exported.problems;
  return exported.rows.size();
}

TEST_F(DriverTest, ConnectionsShareEveryStatementAndTheFileFollowsEachDisconnect) {
  ASSERT_TRUE(db().Execute("Create Table S(\"id\" int PRIMARY KEY , \"who\" VARCHAR(10) NULL)").ok());
  ASSERT_TRUE(db().Execute("INSERT INTO S values(1, 'first' )").ok());
  {
    // A second environment and connection of the same process, by connection string.
    auto other = OdbcSession::Connect("DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + path_);
    ASSERT_TRUE(other);
    EXPECT_EQ(other->Query("SELECT * FROM S").rows.size(), 1u);
    ASSERT_TRUE(other->Execute("INSERT INTO S values(2, 'second' )").ok());
    EXPECT_EQ(db().Execute("INSERT INTO S values(2, 'clash' )").sqlstate, "23000");
  }
  // The other connection closed: its rows are on disk while this one stays open.
  EXPECT_EQ(ExportedRowCount(path_, "S"), 2u);
  EXPECT_EQ(db().Query("SELECT * FROM S").rows.size(), 2u);
}

TEST_F(DriverTest, AConnectionPerRowAsTheRowCopyDoes) {
  ASSERT_TRUE(db().Execute("Create Table R(\"id\" int PRIMARY KEY , \"v\" VARCHAR(20) NULL)").ok());
  Disconnect();
  constexpr int kRows = 300;
  for (int i = 1; i <= kRows; ++i) {
    OdbcOutcome failure;
    auto row = OdbcSession::Connect("DSN=" + dsn_, &failure);
    ASSERT_TRUE(row) << failure.message;
    OdbcOutcome inserted = row->Execute("INSERT INTO R values(" + std::to_string(i) + ", 'row " + std::to_string(i) + "' )");
    ASSERT_TRUE(inserted.ok()) << inserted.message;
  }
  nlohmann::json document = ExpectValidFile();
  const nlohmann::json* table = FindReaderTable(document, "R");
  ASSERT_NE(table, nullptr);
  ASSERT_EQ((*table)["rows"].size(), static_cast<std::size_t>(kRows));
  EXPECT_EQ((*table)["rows"][kRows - 1], nlohmann::json({{"id", kRows}, {"v", "row 300"}}));
  EXPECT_EQ(ExportedRowCount(path_, "R"), static_cast<std::size_t>(kRows));
}

TEST_F(DriverTest, ManualCommitWritesTheFileAndRollbackIsRefused) {
  ASSERT_TRUE(db().Execute("Create Table C(\"id\" int  NULL)").ok());
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(db().dbc(), SQL_ATTR_AUTOCOMMIT,
                                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
  ASSERT_TRUE(db().Execute("INSERT INTO C values(1 )").ok());
  ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db().dbc(), SQL_COMMIT)));
  EXPECT_EQ(ExportedRowCount(path_, "C"), 1u) << "committed rows are on disk while connected";

  ASSERT_TRUE(db().Execute("INSERT INTO C values(2 )").ok());
  SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, db().dbc(), SQL_ROLLBACK);
  OdbcOutcome rollback = Diagnose(rc, SQL_HANDLE_DBC, db().dbc());
  EXPECT_EQ(rollback.rc, SQL_ERROR);
  EXPECT_EQ(rollback.sqlstate, "HYC00");
  EXPECT_NE(rollback.message.find("Rollback is not supported"), std::string::npos) << rollback.message;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_ENV, db().env(), SQL_COMMIT)));
  EXPECT_EQ(ExportedRowCount(path_, "C"), 2u);

  // Autocommit back on, as the ODBC 2 SQLTransact path and wrappers leave it.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLSetConnectAttr(db().dbc(), SQL_ATTR_AUTOCOMMIT,
                                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0)));
  EXPECT_TRUE(SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, db().dbc(), SQL_ROLLBACK))) << "nothing pending";
}

TEST_F(DriverTest, ConnectionFailuresSayWhy) {
  struct Failure {
    std::string connection, sqlstate, message;
  };
  std::string notJet = dir_.File("not a database.mdb");
  std::ofstream(notJet) << std::string(8192, 'x');
  for (const Failure& f : {
           Failure{"DRIVER={Microsoft Access Driver (*.mdb)}", "08001", "neither DBQ= nor DSN="},
           Failure{"DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + dir_.File("missing.mdb"), "08001",
                   "Could not find file"},
           Failure{"DRIVER={Microsoft Access Driver (*.mdb)};DBQ=" + notJet, "08001", "Could not open"},
       }) {
    SCOPED_TRACE(f.connection);
    OdbcOutcome failure;
    EXPECT_EQ(OdbcSession::Connect(f.connection, &failure), nullptr);
    EXPECT_EQ(failure.sqlstate, f.sqlstate) << failure.message;
    EXPECT_NE(failure.message.find(f.message), std::string::npos) << failure.message;
  }
}

TEST_F(DriverTest, DisconnectWithStatementsStillAllocated) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, db().dbc(), &stmt)));
  SQLCHAR sql[] = "Create Table Left(\"a\" int  NULL)";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, sql, SQL_NTS)));
  Disconnect();  // frees the statement with the connection; TearDown checks the file
}

TEST_F(DriverTest, SqlConnectByDataSourceName) {
  SQLHENV env;
  SQLHDBC dbc;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  SQLRETURN rc = SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>(dsn_.c_str())), SQL_NTS,
                            reinterpret_cast<SQLCHAR*>(const_cast<char*>("admin")), SQL_NTS, nullptr, 0);
  EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diagnose(rc, SQL_HANDLE_DBC, dbc).message;
  SQLCHAR name[64] = "";
  SQLSMALLINT length = 0;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length)));
  EXPECT_STREQ(reinterpret_cast<char*>(name), "ACCESS");
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
}

TEST_F(DriverTest, Odbc2ApplicationsGetOdbc2TypesAndStates) {
  ASSERT_TRUE(db().Execute("Create Table D(\"when\" datetime  NULL)").ok());
  ASSERT_TRUE(db().Execute("INSERT INTO D values('9/3/2004 14:30:00' )").ok());
  auto old = OdbcSession::Connect("DSN=" + dsn_, nullptr, SQL_OV_ODBC2);
  ASSERT_TRUE(old);
  QueryResult read = old->Query("SELECT * FROM D");
  ASSERT_TRUE(read.outcome.ok()) << read.outcome.message;
  EXPECT_EQ(read.columnTypes, std::vector<SQLSMALLINT>{SQL_TIMESTAMP});
  EXPECT_EQ(read.rows, std::vector<TextRow>{{"2004-03-09 14:30:00"}});

  SQLHSTMT stmt;
  SQLAllocStmt(old->dbc(), &stmt);
  SQLCHAR sql[] = "SELECT * FROM Nowhere";
  EXPECT_EQ(SQLExecDirect(stmt, sql, SQL_NTS), SQL_ERROR);
  SQLCHAR state[6] = "", text[512] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQLError(old->env(), old->dbc(), stmt, state, &native, text, sizeof text, &length), SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(state), "S0002");  // 42S02 as ODBC 2 names it
  EXPECT_NE(std::string(reinterpret_cast<char*>(text)).find("does not exist"), std::string::npos);
  SQLFreeStmt(stmt, SQL_DROP);
}

}  // namespace
}  // namespace talvoro::test
