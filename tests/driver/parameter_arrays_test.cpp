// INSERT with '?' markers through the real driver manager: values bound in every
// C type land in every column type exactly as the same value written as a
// literal does (or are refused with the same SQLSTATE and message), and arrays
// of parameters run row by row, stopping at a refused row with its status,
// count and diagnostic row number, the rows before it kept.
#include <cstring>

#include "driver_fixture.h"

namespace talvoro::test {
namespace {

// A statement handle freed on every way out.
class Statement {
 public:
  explicit Statement(SQLHDBC dbc) { SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_); }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
  SQLHSTMT get() const { return stmt_; }
  OdbcOutcome Check(SQLRETURN rc) const { return Diagnose(rc, SQL_HANDLE_STMT, stmt_); }

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

OdbcOutcome Prepare(const Statement& s, const std::string& sql) {
  return s.Check(SQLPrepare(s.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS));
}

// One value in a C type, and the literal that writes the same value.
struct BoundCase {
  const char* name;
  SQLSMALLINT cType;
  SQLSMALLINT sqlType;
  std::vector<char> bytes;
  SQLLEN indicator;  // a length, SQL_NTS or SQL_NULL_DATA
  const char* literal;
};

template <typename T>
std::vector<char> Bytes(const T& value) {
  std::vector<char> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::vector<char> Text(const std::string& text) { return std::vector<char>(text.begin(), text.end() + 1); }

std::vector<BoundCase> Cases() {
  SQL_TIMESTAMP_STRUCT stamp{2004, 3, 9, 14, 30, 0, 123000000};
  SQL_TIMESTAMP_STRUCT early{50, 1, 1, 0, 0, 0, 0};
  SQL_DATE_STRUCT date{2004, 3, 9};
  SQLGUID guid{0x6F9619FF, 0x8B86, 0xD011, {0xB4, 0x2D, 0x00, 0xC0, 0x4F, 0xC9, 0x64, 0xFF}};
  const std::u16string wide = u"\u00fc\u20ac";
  std::vector<char> wideBytes(reinterpret_cast<const char*>(wide.data()),
                              reinterpret_cast<const char*>(wide.data() + wide.size()));
  // ASCII runs around a pair of surrogates and a lone one (which becomes U+FFFD).
  const std::u16string mixed = u"ab \u00fc cd \U0001F600 e" + std::u16string(1, static_cast<char16_t>(0xD800)) + u"fg";
  std::vector<char> mixedBytes(reinterpret_cast<const char*>(mixed.data()),
                               reinterpret_cast<const char*>(mixed.data() + mixed.size()));
  return {
      {"sbigint", SQL_C_SBIGINT, SQL_BIGINT, Bytes<std::int64_t>(300), 0, "300"},
      {"sbigint negative", SQL_C_SBIGINT, SQL_BIGINT, Bytes<std::int64_t>(-5), 0, "-5"},
      {"sbigint huge", SQL_C_SBIGINT, SQL_BIGINT, Bytes<std::int64_t>(INT64_MIN), 0, "-9223372036854775808"},
      {"slong", SQL_C_SLONG, SQL_INTEGER, Bytes<std::int32_t>(70000), 0, "70000"},
      {"sshort", SQL_C_SSHORT, SQL_SMALLINT, Bytes<std::int16_t>(-2), 0, "-2"},
      {"utinyint", SQL_C_UTINYINT, SQL_TINYINT, Bytes<unsigned char>(7), 0, "7"},
      {"double", SQL_C_DOUBLE, SQL_DOUBLE, Bytes(0.1), 0, "0.1"},
      {"double large", SQL_C_DOUBLE, SQL_DOUBLE, Bytes(1e300), 0, "1e+300"},
      {"float", SQL_C_FLOAT, SQL_REAL, Bytes(2.5f), 0, "2.5"},
      {"bit", SQL_C_BIT, SQL_BIT, Bytes<unsigned char>(1), 0, "TRUE"},
      {"char nts", SQL_C_CHAR, SQL_VARCHAR, Text("12.5"), SQL_NTS, "'12.5'"},
      {"char length", SQL_C_CHAR, SQL_VARCHAR, Text("abcdefgh"), 6, "'abcdef'"},
      {"char decimal", SQL_C_CHAR, SQL_DECIMAL, Text("-1234.50"), SQL_NTS, "-1234.50"},
      {"wchar", SQL_C_WCHAR, SQL_WVARCHAR, wideBytes, static_cast<SQLLEN>(wideBytes.size()), "'\u00fc\u20ac'"},
      {"wchar mixed", SQL_C_WCHAR, SQL_WVARCHAR, mixedBytes, static_cast<SQLLEN>(mixedBytes.size()),
       "'ab \u00fc cd \U0001F600 e\uFFFDfg'"},
      {"binary", SQL_C_BINARY, SQL_VARBINARY, {1, '\xAB'}, 2, "'01ab'"},
      {"binary long", SQL_C_BINARY, SQL_VARBINARY, {1, 2, 3, 4, 5}, 5, "'0102030405'"},
      {"timestamp", SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, Bytes(stamp), 0, "'2004-03-09 14:30:00.123'"},
      {"timestamp early", SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, Bytes(early), 0, "'0050-01-01 00:00:00'"},
      {"date", SQL_C_TYPE_DATE, SQL_TYPE_DATE, Bytes(date), 0, "'2004-03-09 00:00:00'"},
      {"guid", SQL_C_GUID, SQL_GUID, Bytes(guid), 0, "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'"},
      {"null", SQL_C_SLONG, SQL_INTEGER, Bytes<std::int32_t>(0), SQL_NULL_DATA, "NULL"},
  };
}

const std::vector<std::string> kColumnTypes = {
    "byte", "smallint", "int", "money", "real", "float", "datetime", "binary(4)", "varchar(5)",
    "memo", "oleobject", "uniqueidentifier", "decimal(6,2)", "bit"};

TEST_F(DriverTest, BoundValuesConvertAsTheirLiterals) {
  for (std::size_t k = 0; k < kColumnTypes.size(); ++k) {
    for (const char* prefix : {"P", "L"}) {
      OdbcOutcome created = db().Execute("CREATE TABLE " + std::string(prefix) + std::to_string(k) +
                                         " (n int, v " + kColumnTypes[k] + ")");
      ASSERT_TRUE(created.ok()) << created.message;
    }
  }
  int row = 0;
  for (const BoundCase& c : Cases()) {
    ++row;
    for (std::size_t k = 0; k < kColumnTypes.size(); ++k) {
      SCOPED_TRACE(std::string(c.name) + " into " + kColumnTypes[k]);
      const std::string n = std::to_string(row);
      OdbcOutcome literal = db().Execute("INSERT INTO L" + std::to_string(k) + " VALUES (" + n + ", " + c.literal + ")");
      Statement s(db().dbc());
      ASSERT_TRUE(Prepare(s, "INSERT INTO P" + std::to_string(k) + " VALUES (" + n + ", ?)").ok());
      std::vector<char> buffer = c.bytes;
      SQLLEN indicator = c.indicator;
      ASSERT_TRUE(s.Check(SQLBindParameter(s.get(), 1, SQL_PARAM_INPUT, c.cType, c.sqlType, 0, 0, buffer.data(),
                                           static_cast<SQLLEN>(buffer.size()), &indicator))
                      .ok());
      OdbcOutcome bound = s.Check(SQLExecute(s.get()));
      EXPECT_EQ(bound.rc, literal.rc);
      EXPECT_EQ(bound.sqlstate, literal.sqlstate);
      EXPECT_EQ(bound.message, literal.message);
    }
  }
  for (std::size_t k = 0; k < kColumnTypes.size(); ++k) {
    QueryResult bound = db().Query("SELECT * FROM P" + std::to_string(k));
    QueryResult literal = db().Query("SELECT * FROM L" + std::to_string(k));
    ASSERT_TRUE(bound.outcome.ok() && literal.outcome.ok());
    EXPECT_EQ(bound.rows, literal.rows) << kColumnTypes[k];
    EXPECT_FALSE(bound.rows.empty()) << kColumnTypes[k];
  }
}

// Column-wise arrays of five rows; the third breaks the key, so the first two
// stay and the last two are not tried.
TEST_F(DriverTest, ParameterArrayStopsAtTheRefusedRow) {
  ASSERT_TRUE(db().Execute("CREATE TABLE People (id int PRIMARY KEY, name varchar(10), score float, seen datetime)").ok());
  constexpr SQLULEN kRows = 5;
  std::int32_t ids[kRows] = {1, 2, 1, 4, 5};
  SQLLEN idLengths[kRows] = {0, 0, 0, 0, 0};
  char names[kRows][12] = {"Ann", "Bob\xc3\xa9xx", "Cy", "Di", "Ed"};
  SQLLEN nameLengths[kRows] = {SQL_NTS, 5, SQL_NTS, SQL_NULL_DATA, 2};
  double scores[kRows] = {1.5, -2.25, 3, 4, 5};
  SQLLEN scoreLengths[kRows] = {0, SQL_NULL_DATA, 0, 0, 0};
  SQL_TIMESTAMP_STRUCT seen[kRows] = {{2020, 1, 2, 3, 4, 5, 0}, {1999, 12, 31, 23, 59, 59, 999000000}, {}, {}, {}};
  SQLLEN seenLengths[kRows] = {0, 0, SQL_NULL_DATA, SQL_NULL_DATA, SQL_NULL_DATA};
  SQLUSMALLINT status[kRows] = {99, 99, 99, 99, 99};
  SQLULEN processed = 0;

  Statement s(db().dbc());
  ASSERT_TRUE(Prepare(s, "INSERT INTO People (id, name, score, seen) VALUES (?, ?, ?, ?)").ok());
  SQLSMALLINT markers = 0;
  ASSERT_TRUE(s.Check(SQLNumParams(s.get(), &markers)).ok());
  EXPECT_EQ(markers, 4);
  SQLSMALLINT type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_TRUE(s.Check(SQLDescribeParam(s.get(), 2, &type, &size, &digits, &nullable)).ok());
  EXPECT_EQ(type, SQL_VARCHAR);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(nullable, SQL_NULLABLE);

  SQLHSTMT h = s.get();
  ASSERT_TRUE(s.Check(SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(kRows), 0)).ok());
  ASSERT_TRUE(s.Check(SQLSetStmtAttr(h, SQL_ATTR_PARAM_BIND_TYPE, SQL_PARAM_BIND_BY_COLUMN, 0)).ok());
  ASSERT_TRUE(s.Check(SQLSetStmtAttr(h, SQL_ATTR_PARAM_STATUS_PTR, status, 0)).ok());
  ASSERT_TRUE(s.Check(SQLSetStmtAttr(h, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0)).ok());
  ASSERT_TRUE(s.Check(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, idLengths)).ok());
  ASSERT_TRUE(s.Check(SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0, names, 12, nameLengths)).ok());
  ASSERT_TRUE(s.Check(SQLBindParameter(h, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, scores, 0, scoreLengths)).ok());
  ASSERT_TRUE(s.Check(SQLBindParameter(h, 4, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 0, 0, seen,
                                       0, seenLengths))
                  .ok());

  OdbcOutcome run = s.Check(SQLExecute(h));
  EXPECT_EQ(run.rc, SQL_ERROR);
  EXPECT_EQ(run.sqlstate, "23000") << run.message;
  EXPECT_EQ(processed, 3u);
  EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + kRows),
            (std::vector<SQLUSMALLINT>{SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS, SQL_PARAM_ERROR, SQL_PARAM_UNUSED,
                                       SQL_PARAM_UNUSED}));
  SQLLEN rowNumber = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetDiagField(SQL_HANDLE_STMT, h, 1, SQL_DIAG_ROW_NUMBER, &rowNumber, 0, nullptr)));
  EXPECT_EQ(rowNumber, 3);

  // The rest of the array once the refused row is mended.
  ids[2] = 3;
  run = s.Check(SQLExecute(h));
  EXPECT_EQ(run.rc, SQL_ERROR) << "rows 1 and 2 are there already";
  SQLUSMALLINT ignore[kRows] = {SQL_PARAM_IGNORE, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED, SQL_PARAM_PROCEED,
                                SQL_PARAM_PROCEED};
  ASSERT_TRUE(s.Check(SQLSetStmtAttr(h, SQL_ATTR_PARAM_OPERATION_PTR, ignore, 0)).ok());
  run = s.Check(SQLExecute(h));
  ASSERT_EQ(run.rc, SQL_SUCCESS) << run.message;
  EXPECT_EQ(processed, 3u);
  SQLLEN count = -1;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLRowCount(h, &count)));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(std::vector<SQLUSMALLINT>(status, status + kRows),
            (std::vector<SQLUSMALLINT>{SQL_PARAM_UNUSED, SQL_PARAM_UNUSED, SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS,
                                       SQL_PARAM_SUCCESS}));

  QueryResult read = db().Query("SELECT * FROM People");
  ASSERT_TRUE(read.outcome.ok()) << read.outcome.message;
  EXPECT_EQ(read.rows, (std::vector<TextRow>{{"1", "Ann", "1.5", "2020-01-02 03:04:05"},
                                             {"2", "Bob\xc3\xa9", std::nullopt, "1999-12-31 23:59:59.999"},
                                             {"3", "Cy", "3", std::nullopt},
                                             {"4", std::nullopt, "4", std::nullopt},
                                             {"5", "Ed", "5", std::nullopt}}));
}

// Row-wise binding: one structure per row.
TEST_F(DriverTest, RowWiseParameterArrays) {
  ASSERT_TRUE(db().Execute("CREATE TABLE Pairs (k bigint, t memo)").ok());
  struct Row {
    std::int64_t k;
    SQLLEN kLength;
    char t[8];
    SQLLEN tLength;
  };
  Row rows[3] = {{10, 0, "ten", SQL_NTS}, {-20, 0, "twenty", 3}, {30, SQL_NULL_DATA, "", SQL_NULL_DATA}};
  Statement s(db().dbc());
  SQLHSTMT h = s.get();
  ASSERT_TRUE(Prepare(s, "INSERT INTO Pairs VALUES (?, ?)").ok());
  ASSERT_TRUE(s.Check(SQLSetStmtAttr(h, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(3), 0)).ok());
  ASSERT_TRUE(s.Check(SQLSetStmtAttr(h, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(Row)), 0)).ok());
  ASSERT_TRUE(s.Check(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &rows[0].k, 0,
                                       &rows[0].kLength))
                  .ok());
  ASSERT_TRUE(s.Check(SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, rows[0].t, 8,
                                       &rows[0].tLength))
                  .ok());
  OdbcOutcome run = s.Check(SQLExecute(h));
  ASSERT_TRUE(run.ok()) << run.message;
  QueryResult read = db().Query("SELECT * FROM Pairs");
  EXPECT_EQ(read.rows, (std::vector<TextRow>{{"10", "ten"}, {"-20", "twe"}, {std::nullopt, std::nullopt}}));
}

// What the driver does not take is refused with the SQLSTATE that says why.
TEST_F(DriverTest, UnsupportedParameterUses) {
  ASSERT_TRUE(db().Execute("CREATE TABLE T (a int, b int)").ok());
  Statement s(db().dbc());
  SQLHSTMT h = s.get();
  ASSERT_TRUE(Prepare(s, "INSERT INTO T VALUES (?, ?)").ok());
  std::int32_t value = 1;
  SQLLEN length = 0;
  ASSERT_TRUE(s.Check(SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &value, 0, &length)).ok());
  EXPECT_EQ(s.Check(SQLExecute(h)).sqlstate, "07002") << "parameter 2 is not bound";
  EXPECT_EQ(s.Check(SQLBindParameter(h, 2, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &value, 0, &length)).sqlstate,
            "HYC00");
  EXPECT_EQ(s.Check(SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_INTERVAL_DAY, SQL_INTERVAL_DAY, 0, 0, &value, 0,
                                     &length))
                .sqlstate,
            "HYC00");
  // Lengths that are not lengths, and a value without a buffer.
  const struct {
    SQLLEN length;
    bool buffer;
    const char* sqlstate;
  } refused[] = {
      {SQL_DATA_AT_EXEC, true, "HYC00"},  {SQL_LEN_DATA_AT_EXEC(4), true, "HYC00"},
      {SQL_DEFAULT_PARAM, true, "07S01"}, {-7, true, "HY090"},
      {4, false, "HY009"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.length);
    SQLLEN given = r.length;
    ASSERT_TRUE(s.Check(SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                         r.buffer ? &value : nullptr, 0, &given))
                    .ok());
    EXPECT_EQ(s.Check(SQLExecute(h)).sqlstate, r.sqlstate);
  }
  ASSERT_TRUE(s.Check(SQLFreeStmt(h, SQL_RESET_PARAMS)).ok());
  EXPECT_EQ(s.Check(SQLExecute(h)).sqlstate, "07002");
  EXPECT_EQ(db().Query("SELECT * FROM T").rows.size(), 0u);
}

}  // namespace
}  // namespace talvoro::test
