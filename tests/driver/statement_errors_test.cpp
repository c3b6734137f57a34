// Refused statements: the SQLSTATE and a message naming the cause, and nothing
// changed in the database or the file.
#include "driver_fixture.h"

namespace talvoro::test {
namespace {

struct Refusal {
  std::string sql, sqlstate, message;
};

class RefusedStatements : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    ASSERT_TRUE(db().Execute("Create Table T(\"id\" int PRIMARY KEY , \"name\" VARCHAR(5) NOT NULL, \"b\" byte  NULL, "
                             "\"m\" Money  NULL, \"d\" datetime  NULL)")
                    .ok());
    ASSERT_TRUE(db().Execute("INSERT INTO T values(1, 'one', 1, 1.5, '1/2/2003' )").ok());
  }
};

TEST_F(RefusedStatements, ReportStateAndCauseAndChangeNothing) {
  std::string wide = "Create Table Wide(";
  std::string wideRow = "INSERT INTO Wide values(";
  for (int i = 0; i < 20; ++i) {
    wide += "\"t" + std::to_string(i) + "\" VARCHAR(255) NULL" + (i < 19 ? ", " : ")");
    wideRow += "'" + std::string(250, static_cast<char>('a' + i)) + "'" + (i < 19 ? ", " : " )");
  }
  ASSERT_TRUE(db().Execute(wide).ok());

  for (const Refusal& r : {
           Refusal{"Create Table T(\"x\" int  NULL)", "42S01", "Table \"T\" already exists"},
           Refusal{"create table t (x int)", "42S01", "already exists"},
           Refusal{"INSERT INTO Missing values(1 )", "42S02", "Table \"Missing\" does not exist"},
           Refusal{"SELECT * FROM Missing", "42S02", "Table \"Missing\" does not exist"},
           Refusal{"INSERT INTO T values(2, 'two', 256, NULL, NULL )", "22003",
                   "Value 256 for column \"b\" (Byte) is out of range (0 to 255)"},
           Refusal{"INSERT INTO T values(2, 'two', 1, 922337203685477.5808, NULL )", "22003", "column \"m\""},
           Refusal{"INSERT INTO T values(2, 'too long', 1, NULL, NULL )", "22001", "too long: 8 characters"},
           Refusal{"INSERT INTO T values(2, 'two', 1, NULL, '30/2/2004' )", "22007", "is not a valid date"},
           Refusal{"INSERT INTO T values(1, 'dup', NULL, NULL, NULL )", "23000", "uplicate"},
           Refusal{"INSERT INTO T values(2, NULL, NULL, NULL, NULL )", "23000",
                   "Column \"name\" is required: NULL is not allowed"},
           Refusal{"INSERT INTO T values(NULL, 'x', NULL, NULL, NULL )", "23000", "Column \"id\" is required"},
           Refusal{"INSERT INTO T values(2, 'two' )", "21S01", "has 5 columns but 2 values were given"},
           Refusal{"INSERT INTO T values(2, 'two', 1, NULL NULL )", "42000", "Syntax error at position 40"},
           Refusal{"UPDATE T SET b = 2", "42000", "Syntax error at position 1"},
           Refusal{"Create Table U(\"a\" sql_variant  NULL)", "42000", "Column \"a\": unknown type 'sql_variant'"},
           Refusal{"Create Table U(\"a\" int  NULL, \"A\" int  NULL)", "42S21", "Column \"A\" is defined twice"},
           Refusal{"Create Table U(\"a\" int PRIMARY KEY , \"b\" int PRIMARY KEY )", "42000",
                   "more than one PRIMARY KEY"},
           Refusal{wideRow, "54000", "ow"},
       }) {
    SCOPED_TRACE(r.sql.substr(0, 120));
    OdbcOutcome outcome = db().Execute(r.sql);
    EXPECT_EQ(outcome.rc, SQL_ERROR);
    EXPECT_EQ(outcome.sqlstate, r.sqlstate) << outcome.message;
    EXPECT_NE(outcome.message.find(r.message), std::string::npos) << outcome.message;
    EXPECT_NE(outcome.message.find("[Talvoro][Jet 4 driver]"), std::string::npos) << outcome.message;
  }

  // The refused table never appeared and T holds its one row.
  EXPECT_EQ(db().Query("SELECT * FROM U").outcome.sqlstate, "42S02");
  QueryResult rows = db().Query("SELECT * FROM T");
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0], (TextRow{"1", "one", "1", "1.5000", "2003-02-01 00:00:00"}));
  EXPECT_TRUE(db().Execute("INSERT INTO T values(2, 'two', 2, NULL, NULL )").ok()) << "still usable";

  Disconnect();
  nlohmann::json document = ExpectValidFile();
  MdbExport exported = ExportWithMdbTools(path_, "T");
  ASSERT_TRUE(exported.ok) << exported.problems;
  EXPECT_EQ(exported.rows.size(), 2u);
  const nlohmann::json* wideTable = FindReaderTable(document, "Wide");
  ASSERT_NE(wideTable, nullptr);
  EXPECT_TRUE((*wideTable)["rows"].empty());
  EXPECT_EQ(FindReaderTable(document, "U"), nullptr);
}

TEST_F(RefusedStatements, DiagnosticFieldsMatchTheRecord) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, db().dbc(), &stmt)));
  SQLCHAR sql[] = "INSERT INTO Nowhere values(1 )";
  ASSERT_EQ(SQLExecDirect(stmt, sql, SQL_NTS), SQL_ERROR);
  SQLINTEGER count = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &count, 0, nullptr)));
  EXPECT_EQ(count, 1);
  SQLCHAR state[6] = "";
  SQLSMALLINT length = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &length)));
  EXPECT_STREQ(reinterpret_cast<char*>(state), "42S02");
  // Only the length, as some clients ask first.
  SQLSMALLINT messageLength = 0;
  SQLINTEGER native = 0;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, nullptr, 0, &messageLength)));
  EXPECT_EQ(messageLength, static_cast<SQLSMALLINT>(std::string("[Talvoro][Jet 4 driver]Table \"Nowhere\" does not exist").size()));
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

}  // namespace
}  // namespace talvoro::test
