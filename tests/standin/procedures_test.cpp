// Stored procedures run as SQL Server runs them: parameters with defaults and
// OUTPUT, RETURN's status, EXEC in T-SQL and the ODBC call syntax through the
// real FreeTDS driver, nesting, SQL Server's errors and EXECUTE permission.
#include <gtest/gtest.h>

#include <cstring>

#include "odbc_client.h"
#include "raw_tds_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

// Every row of every result of `sql`, each row's columns joined by '|'.
std::vector<std::string> Rows(const OdbcConnection& c, const std::string& sql) {
  OdbcStatement s(c);
  SQLRETURN rc = s.Execute(sql);
  if (!SQL_SUCCEEDED(rc)) throw std::runtime_error(sql + ": " + s.Diagnostics());
  std::vector<std::string> rows;
  do {
    SQLSMALLINT columns = 0;
    SQLNumResultCols(s.get(), &columns);
    while (columns > 0 && s.Fetch()) {
      std::string row;
      for (SQLUSMALLINT i = 1; i <= columns; ++i) row += (i > 1 ? "|" : "") + s.Text(i).value_or("NULL");
      rows.push_back(row);
    }
    rc = SQLMoreResults(s.get());
    if (rc == SQL_ERROR) throw std::runtime_error(sql + ": " + s.Diagnostics());
  } while (SQL_SUCCEEDED(rc));
  return rows;
}

Diagnostic Failure(const OdbcConnection& c, const std::string& sql) {
  OdbcStatement s(c);
  SQLRETURN rc = s.Execute(sql);
  while (SQL_SUCCEEDED(rc)) rc = SQLMoreResults(s.get());
  const auto records = s.DiagnosticRecords();
  if (rc != SQL_ERROR || records.empty()) return {};
  return records[0];
}

std::string TextOf(const Diagnostic& d) { return d.text.substr(d.text.rfind(']') + 1); }

class Procedures : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool ready = false;  // the error cases' suite shares this fixture
    if (ready) return;
    ready = true;
    OdbcConnection sa;
    ASSERT_TRUE(SQL_SUCCEEDED(sa.Connect(FixtureConnectString())));
    for (const char* sql : {
             "CREATE TABLE ProcStock (id int PRIMARY KEY, name nvarchar(20))",
             "INSERT INTO ProcStock VALUES (1, N'bolt'), (2, N'nut')",
             // Defaults, an OUTPUT parameter and RETURN; the body's SELECT goes to the client.
             "CREATE PROCEDURE dbo.proc_scale\n"
             "  @value int,\n"
             "  @label nvarchar(5) = N'none',\n"
             "  @doubled int = NULL OUTPUT\n"
             "WITH RECOMPILE\n"
             "AS\n"
             "BEGIN\n"
             "  SET NOCOUNT ON;\n"
             "  SELECT @label AS label, @value AS value;\n"
             "  SET @doubled = @value * 2;\n"
             "  IF @value < 0 RETURN -1;\n"
             "  RETURN 7;\n"
             "END",
             "CREATE PROC proc_list (@from int) AS SELECT name FROM ProcStock WHERE id >= @from ORDER BY id",
             "CREATE PROCEDURE proc_peek AS SELECT @outside",
             "CREATE PROCEDURE proc_count AS SELECT count(*) FROM ProcStock; RETURN 3",
             "CREATE PROCEDURE proc_greet @name nvarchar(10), @greeting nvarchar(20) OUTPUT, @when date OUTPUT AS"
             " SELECT @greeting = N'Grüße ' + @name, @when = '2024-02-29'",
             "CREATE SCHEMA ProcSales",
             "CREATE PROCEDURE ProcSales.proc_scale @n int AS RETURN @n + 100",
             "CREATE PROCEDURE proc_short_insert AS INSERT INTO ProcStock VALUES (9)",
             "CREATE PROCEDURE proc_raise AS RAISERROR('stop', 16, 3)",
             "CREATE PROCEDURE proc_duplicate AS INSERT INTO ProcStock VALUES (1, N'again')",
             "CREATE PROCEDURE proc_big AS RETURN 3000000000",
             "CREATE PROCEDURE proc_bad AS BEGIN SELECT @@NESTLEVEL; SELECT CONVERT(int, 'x'); INSERT INTO ProcStock VALUES (5, N'no') END",
             "CREATE PROCEDURE proc_outer @n int, @total int OUT AS\n"
             "  DECLARE @d int, @rc int\n"
             "  EXEC @rc = proc_scale @n, @doubled = @d OUTPUT\n"
             "  SET @total = @d + @rc\n"
             "  RETURN @rc + 1",
             "CREATE PROCEDURE proc_deeper @n int AS BEGIN SET @n = @n + 1; EXEC proc_deeper @n END",
             "CREATE LOGIN proc_caller WITH PASSWORD = 'Call-1'",
             "CREATE USER proc_caller FOR LOGIN proc_caller"})
      OdbcStatement(sa).Run(sql);
  }
};

TEST_F(Procedures, ExecPassesArgumentsAndReturnsStatusAndOutput) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  EXPECT_EQ(Rows(c, "DECLARE @d int, @rc int;\n"
                    "EXEC @rc = proc_scale 21, @doubled = @d OUTPUT;\n"
                    "SELECT @rc, @d"),
            (std::vector<std::string>{"none|21", "7|42"}));
  EXPECT_EQ(Rows(c, "DECLARE @d int = 5;\n"
                    "EXEC proc_scale @value = '-3', @label = N'abcdefgh', @doubled = @d OUT;\n"
                    "SELECT @d"),
            (std::vector<std::string>{"abcde|-3", "-6"}))
      << "converted to the declared types, text cut to the parameter's length";
  EXPECT_EQ(Rows(c, "DECLARE @d int = 5, @rc int;\n"
                    "EXEC @rc = proc_scale @value = 1, @label = DEFAULT, @doubled = @d;\n"
                    "SELECT @d, @rc"),
            (std::vector<std::string>{"none|1", "5|7"}))
      << "without OUTPUT the caller's variable keeps its value";
  EXPECT_EQ(Rows(c, "proc_list 2"), (std::vector<std::string>{"nut"})) << "a bare name starting the batch";
  EXPECT_EQ(Rows(c, "DECLARE @t int, @rc int; EXEC @rc = proc_outer 4, @t OUTPUT; SELECT @t, @rc"),
            (std::vector<std::string>{"none|4", "15|8"}))
      << "a procedure calling a procedure";
}

// proc_scale sets NOCOUNT ON; the caller's setting is back after it: the
// UPDATE after it reports its row count.
TEST_F(Procedures, SetOptionsOfTheBodyEndWithIt) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("EXEC proc_scale 1; UPDATE ProcStock SET name = name WHERE id = 1"))) << s.Diagnostics();
  ASSERT_TRUE(s.Fetch());
  ASSERT_EQ(SQLMoreResults(s.get()), SQL_SUCCESS);
  SQLLEN rows = -1;
  SQLRowCount(s.get(), &rows);
  EXPECT_EQ(rows, 1);
}

TEST_F(Procedures, TheBodyDoesNotSeeTheCallersVariables) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  const Diagnostic d = Failure(c, "DECLARE @outside int = 1; EXEC proc_peek");
  EXPECT_EQ(d.native, 137);
  EXPECT_EQ(TextOf(d), "Must declare the scalar variable \"@outside\".");
}

struct ErrorCase {
  const char* name;
  const char* sql;
  int number;
  const char* text;
};

class ProcedureErrors : public Procedures, public testing::WithParamInterface<ErrorCase> {};

TEST_P(ProcedureErrors, AreSqlServers) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  const Diagnostic d = Failure(c, GetParam().sql);
  EXPECT_EQ(d.native, GetParam().number) << d.text;
  EXPECT_EQ(TextOf(d), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ProcedureErrors,
    testing::Values(
        ErrorCase{"NotFound", "EXEC proc_missing", 2812, "Could not find stored procedure 'proc_missing'."},
        ErrorCase{"NotSupplied", "EXEC proc_scale", 201,
                  "Procedure or function 'proc_scale' expects parameter '@value', which was not supplied."},
        ErrorCase{"DefaultWithoutOne", "EXEC proc_scale @value = DEFAULT", 201,
                  "Procedure or function 'proc_scale' expects parameter '@value', which was not supplied."},
        ErrorCase{"TooMany", "EXEC proc_scale 1, N'a', NULL, 4", 8144,
                  "Procedure or function proc_scale has too many arguments specified."},
        ErrorCase{"NotAParameter", "EXEC proc_scale @value = 1, @nope = 2", 8145,
                  "@nope is not a parameter for procedure proc_scale."},
        ErrorCase{"OutputOfAnInput", "DECLARE @x int = 1; EXEC proc_scale @value = @x OUTPUT", 8162,
                  "The formal parameter \"@value\" was not declared as an OUTPUT parameter, but the actual parameter "
                  "passed in requested output."},
        ErrorCase{"PositionalAfterNamed", "EXEC proc_scale @value = 1, N'x'", 119,
                  "Must pass parameter number 2 and subsequent parameters as '@name = value'. After the form "
                  "'@name = value' has been used, all subsequent parameters must be passed in the form '@name = value'."},
        ErrorCase{"ReturnOverflow", "EXEC proc_big", 8115, "Arithmetic overflow error converting expression to data type int."},
        ErrorCase{"Nesting", "EXEC proc_deeper 0", 217,
                  "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32)."}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return std::string(info.param.name); });

// A missing argument, and a statement-ending error as the body's last
// statement, end only their statement: the caller's batch goes on.
// The ERROR token itself (read over a bare socket): SQL Server's state and
// class, and the procedure named where the call or its body failed.
struct TokenCase {
  const char* sql;
  int32_t number;
  int state;
  int severity;
  const char* procedure;
};

TEST_F(Procedures, CallErrorsCarrySqlServersStateClassAndProcedure) {
  const TokenCase cases[] = {{"EXEC proc_missing", 2812, 62, 16, ""},
                             {"EXEC proc_scale", 201, 4, 16, "proc_scale"},
                             {"EXEC proc_list 1, 2", 8144, 2, 16, "proc_list"},
                             {"EXEC proc_list @nope = 1", 8145, 2, 16, "proc_list"},
                             {"DECLARE @x int; EXEC proc_list @x OUTPUT", 8162, 2, 16, "proc_list"},
                             {"EXEC proc_list @from = 1, 2", 119, 1, 15, "proc_list"},
                             {"EXEC proc_short_insert", 213, 1, 16, "proc_short_insert"},  // from the body
                             {"EXEC proc_raise", 50000, 3, 16, "proc_raise"}};
  RawTdsClient client(SharedServer().port());
  ASSERT_TRUE(HasLoginAck(client.Login("sa", "secret", "fixture")));
  for (const auto& c : cases) {
    client.SendBatch(c.sql);
    const std::vector<uint8_t> reply = client.ReadMessage();
    size_t e = 0;
    while (e < reply.size() && reply[e] == 0xFD) e += 13;  // the DECLARE's DONE
    ASSERT_GT(reply.size(), e + 12) << c.sql;
    ASSERT_EQ(reply[e], 0xAA) << c.sql;
    int32_t number;
    std::memcpy(&number, reply.data() + e + 3, 4);
    EXPECT_EQ(number, c.number) << c.sql;
    EXPECT_EQ(reply[e + 7], c.state) << c.sql;
    EXPECT_EQ(reply[e + 8], c.severity) << c.sql;
    size_t at = e + 9;
    at += 2 + 2 * (reply[at] | (reply[at + 1] << 8));  // message
    at += 1 + 2 * reply[at];                            // server
    std::string procedure;
    for (size_t k = 0; k < reply[at]; ++k) procedure += static_cast<char>(reply[at + 1 + 2 * k]);
    EXPECT_EQ(procedure, c.procedure) << c.sql;
  }
}

TEST_F(Procedures, StatementErrorsEndOnlyTheirStatement) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  EXPECT_EQ(Failure(c, "EXEC proc_scale; INSERT INTO ProcStock VALUES (3, N'after')").native, 201);
  EXPECT_EQ(Failure(c, "EXEC proc_duplicate; INSERT INTO ProcStock VALUES (4, N'after')").native, 2627);
  EXPECT_EQ(Rows(c, "SELECT name FROM ProcStock WHERE id IN (3, 4)"), (std::vector<std::string>{"after", "after"}))
      << "the batch went on";
  OdbcStatement(c).Run("DELETE FROM ProcStock WHERE id IN (3, 4)");
}

// An error that ends a batch (a failed conversion) ends the caller's batch
// too, and the connection goes on.
TEST_F(Procedures, ABatchEndingErrorInTheBodyEndsTheCallersBatch) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("EXEC proc_bad; INSERT INTO ProcStock VALUES (6, N'no')")));
  ASSERT_TRUE(s.Fetch());
  EXPECT_EQ(s.Text(1), "1") << "@@NESTLEVEL inside the procedure";
  EXPECT_EQ(SQLMoreResults(s.get()), SQL_ERROR);
  EXPECT_EQ(s.DiagnosticRecords().at(0).native, 245);
  s.Close();
  EXPECT_EQ(Rows(c, "SELECT count(*) FROM ProcStock WHERE id >= 5"), (std::vector<std::string>{"0"}));
}

// {? = call p(?, ?, ?)}: FreeTDS sends an RPC by name; the status and the
// output parameters arrive in the bound buffers once the results are read.
TEST_F(Procedures, OdbcCallSyntaxFillsBoundBuffers) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  for (const SQLSMALLINT direction : {SQL_PARAM_OUTPUT, SQL_PARAM_INPUT_OUTPUT}) {
    OdbcStatement s(c);
    SQLINTEGER status = -99, value = 21, doubled = -99;
    SQLLEN statusInd = 0, valueInd = 0, labelInd = SQL_NTS, doubledInd = direction == SQL_PARAM_OUTPUT ? 0 : SQL_NULL_DATA;
    SQLCHAR label[16] = "tag";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &status, 0, &statusInd)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &value, 0, &valueInd)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_WVARCHAR, 5, 0, label, sizeof label, &labelInd)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 4, direction, SQL_C_SLONG, SQL_INTEGER, 0, 0, &doubled, 0, &doubledInd)));
    ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("{? = call proc_scale(?, ?, ?)}"))) << s.Diagnostics();
    ASSERT_TRUE(s.Fetch());
    EXPECT_EQ(s.Text(1), "tag");
    EXPECT_EQ(s.Text(2), "21");
    SQLRETURN rc;
    while ((rc = SQLMoreResults(s.get())) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
    }
    EXPECT_EQ(rc, SQL_NO_DATA) << s.Diagnostics();
    EXPECT_EQ(status, 7);
    EXPECT_EQ(doubled, 42) << "direction " << direction;
  }
}

TEST_F(Procedures, OutputParametersOfOtherTypesArriveAsDeclared) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  SQLCHAR name[16] = "Jürgen", greeting[64] = "", when[16] = "";
  SQLLEN nameInd = SQL_NTS, greetingInd = 0, whenInd = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_WVARCHAR, 10, 0, name, 0, &nameInd)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 2, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_WVARCHAR, 20, 0, greeting, sizeof greeting, &greetingInd)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 3, SQL_PARAM_OUTPUT, SQL_C_CHAR, SQL_TYPE_DATE, 10, 0, when, sizeof when, &whenInd)));
  const SQLRETURN rc = s.Execute("{call proc_greet(?, ?, ?)}");
  ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << s.Diagnostics();
  while (SQL_SUCCEEDED(SQLMoreResults(s.get()))) {
  }
  EXPECT_STREQ(reinterpret_cast<char*>(greeting), "Grüße Jürgen");
  EXPECT_STREQ(reinterpret_cast<char*>(when), "2024-02-29");
}

// The same name in two schemas: each call reaches the one it names.
TEST_F(Procedures, SchemaQualifiedNamesReachTheirSchemasProcedure) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  EXPECT_EQ(Rows(c, "DECLARE @rc int; EXEC @rc = ProcSales.proc_scale 1; SELECT @rc"), (std::vector<std::string>{"101"}));
  EXPECT_EQ(Rows(c, "EXEC dbo.proc_scale 1"), (std::vector<std::string>{"none|1"}));
  OdbcStatement s(c);
  SQLINTEGER status = -99, n = 5;
  SQLLEN statusInd = 0, nInd = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &status, 0, &statusInd)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &n, 0, &nInd)));
  const SQLRETURN rc = s.Execute("{? = call ProcSales.proc_scale(?)}");
  ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << s.Diagnostics();
  while (SQL_SUCCEEDED(SQLMoreResults(s.get()))) {
  }
  EXPECT_EQ(status, 105);
}

TEST_F(Procedures, OdbcCallWithoutParametersAndPreparedExec) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  {
    OdbcStatement s(c);
    SQLINTEGER status = -99;
    SQLLEN statusInd = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &status, 0, &statusInd)));
    ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("{? = call proc_count}"))) << s.Diagnostics();
    ASSERT_TRUE(s.Fetch());
    EXPECT_EQ(s.Text(1), "2");
    while (SQL_SUCCEEDED(SQLMoreResults(s.get()))) {
    }
    EXPECT_EQ(status, 3);
  }
  EXPECT_EQ(Rows(c, "{call proc_scale(5)}"), (std::vector<std::string>{"none|5"}));
  OdbcStatement s(c);
  SQLINTEGER from = 1;
  SQLLEN fromInd = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(s.get(), (SQLCHAR*)"EXEC proc_list ?", SQL_NTS)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &from, 0, &fromInd)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(s.get()))) << s.Diagnostics();
  std::vector<std::string> names;
  while (s.Fetch()) names.push_back(*s.Text(1));
  EXPECT_EQ(names, (std::vector<std::string>{"bolt", "nut"}));
}

// sp_executesql called by name hands back the parameters its definitions
// declare OUTPUT, as any procedure does.
TEST_F(Procedures, SpExecuteSqlReturnsItsOutputParameters) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  SQLCHAR statement[] = "SET @x = @x * 3", definitions[] = "@x int OUTPUT";
  SQLLEN statementInd = SQL_NTS, definitionsInd = SQL_NTS, xInd = 0;
  SQLINTEGER x = 5;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_WVARCHAR, 100, 0, statement, 0, &statementInd)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_WVARCHAR, 100, 0, definitions, 0, &definitionsInd)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 3, SQL_PARAM_INPUT_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &x, 0, &xInd)));
  const SQLRETURN rc = s.Execute("{call sp_executesql(?, ?, ?)}");
  ASSERT_TRUE(SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) << s.Diagnostics();
  while (SQL_SUCCEEDED(SQLMoreResults(s.get()))) {
  }
  EXPECT_EQ(x, 15);
}

TEST_F(Procedures, AnRpcErrorReachesTheClient) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  const Diagnostic d = Failure(c, "{call proc_list(1, 2)}");
  EXPECT_EQ(d.native, 8144) << d.text;
}

TEST_F(Procedures, AreListedInTheCatalog) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  EXPECT_EQ(Rows(c, "SELECT SCHEMA_NAME(schema_id) FROM sys.procedures WHERE name = 'proc_scale' ORDER BY schema_id"),
            (std::vector<std::string>{"dbo", "ProcSales"}));
  EXPECT_EQ(Rows(c, "SELECT count(*) FROM sys.objects WHERE name = 'proc_list' AND type = 'P'"), (std::vector<std::string>{"1"}));
  EXPECT_EQ(Rows(c, "SELECT p.name, p.parameter_id, t.name, p.max_length, p.is_output FROM sys.parameters p"
                    " JOIN sys.procedures r ON r.object_id = p.object_id JOIN sys.types t ON t.user_type_id = p.user_type_id"
                    " WHERE r.name = 'proc_scale' AND r.schema_id = 1 ORDER BY p.parameter_id"),
            (std::vector<std::string>{"@value|1|int|4|0", "@label|2|nvarchar|10|0", "@doubled|3|int|4|1"}));
  EXPECT_EQ(Rows(c, "SELECT CHARINDEX('RETURN 7', OBJECT_DEFINITION(OBJECT_ID('proc_scale'))) > 0"),
            (std::vector<std::string>{"1"}));
}

// SQLProcedures and SQLProcedureColumns: FreeTDS calls sp_stored_procedures and sp_sproc_columns.
TEST_F(Procedures, OdbcCatalogListsProceduresAndTheirParameters) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
  OdbcStatement s(c);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLProcedures(s.get(), nullptr, 0, (SQLCHAR*)"dbo", SQL_NTS, (SQLCHAR*)"proc_sc%", SQL_NTS))) << s.Diagnostics();
  std::vector<std::string> procedures;
  while (s.Fetch()) procedures.push_back(*s.Text(2) + "." + *s.Text(3));
  EXPECT_EQ(procedures, (std::vector<std::string>{"dbo.proc_scale;1"}));
  s.Close();
  ASSERT_TRUE(SQL_SUCCEEDED(SQLProcedureColumns(s.get(), nullptr, 0, (SQLCHAR*)"dbo", SQL_NTS, (SQLCHAR*)"proc_scale", SQL_NTS, nullptr, 0)))
      << s.Diagnostics();
  std::vector<std::string> columns;
  while (s.Fetch()) columns.push_back(*s.Text(4) + "|" + *s.Text(5) + "|" + *s.Text(7) + "|" + *s.Text(18));
  EXPECT_EQ(columns, (std::vector<std::string>{"@RETURN_VALUE|5|int|0", "@value|1|int|1", "@label|1|nvarchar|2",
                                               "@doubled|2|int|3"}));
}

TEST_F(Procedures, NeedTheExecutePermission) {
  OdbcConnection caller;
  ASSERT_TRUE(SQL_SUCCEEDED(caller.Connect(SharedServer().ConnectString("fixture", "proc_caller", "Call-1"))));
  const Diagnostic d = Failure(caller, "EXEC proc_list 1");
  EXPECT_EQ(d.native, 229);
  EXPECT_EQ(TextOf(d), "The EXECUTE permission was denied on the object 'proc_list', database 'fixture', schema 'dbo'.");
  OdbcConnection sa;
  ASSERT_TRUE(SQL_SUCCEEDED(sa.Connect(FixtureConnectString())));
  OdbcStatement(sa).Run("GRANT EXECUTE ON dbo.proc_list TO proc_caller");
  EXPECT_EQ(Rows(caller, "EXEC proc_list 2"), (std::vector<std::string>{"nut"}))
      << "the body reads a table the caller may not read itself";
  EXPECT_EQ(Failure(caller, "SELECT name FROM ProcStock").native, 229);
}

}  // namespace
}  // namespace standin_test
