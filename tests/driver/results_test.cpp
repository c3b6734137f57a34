// Reading results: column descriptions, C types, long values in pieces, bound columns.
#include <cstring>
#include <fstream>
#include <limits>

#include "driver_fixture.h"

namespace talvoro::test {
namespace {

class Results : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    ASSERT_TRUE(db().Execute("Create Table V(\"id\" int PRIMARY KEY , \"memo\" memo  NULL, \"name\" VARCHAR(20) NULL, "
                             "\"m\" Money  NULL, \"big\" bigint, \"when\" datetime  NULL, \"blob\" OLEObject  NULL, "
                             "\"g\" GUID  NULL, \"flag\" bit  NULL, \"d\" decimal(8,3))")
                    .ok());
    std::string memo;
    for (int i = 0; i < 1000; ++i) memo += "0123456789";
    OdbcOutcome inserted = db().Execute("INSERT INTO V values(7, '" + memo +
                                        "', 'ü€𝄞', 12.3400, 9007199254740993, '9/3/2004 14:30:05.250', "
                                        "'000102feff', '{00112233-4455-6677-8899-AABBCCDDEEFF}', 1, -1.5 )");
    ASSERT_TRUE(inserted.ok()) << inserted.message;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, db().dbc(), &stmt_)));
  }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    DriverTest::TearDown();
  }

  void Select() {
    SQLCHAR sql[] = "SELECT * FROM V";
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, sql, SQL_NTS)));
    ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  }

  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  SQLRETURN rc_ = SQL_SUCCESS;
};

TEST_F(Results, CountOfRowsIsOneRowOfOneNumber) {
  ASSERT_TRUE(db().Execute("INSERT INTO V (\"id\") values(8)").ok());
  SQLCHAR sql[] = "SELECT COUNT(*) FROM V";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt_, sql, SQL_NTS)));
  SQLSMALLINT columns = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLNumResultCols(stmt_, &columns)));
  EXPECT_EQ(columns, 1);
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  SQLBIGINT count = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt_, 1, SQL_C_SBIGINT, &count, 0, nullptr)));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(SQLFetch(stmt_), SQL_NO_DATA);
}

TEST_F(Results, LongValuesArriveInPieces) {
  Select();
  char piece[101];
  SQLLEN indicator = 0;
  std::string memo;
  SQLRETURN rc;
  int calls = 0;
  while ((rc = SQLGetData(stmt_, 2, SQL_C_CHAR, piece, sizeof piece, &indicator)) == SQL_SUCCESS_WITH_INFO) {
    EXPECT_EQ(indicator, static_cast<SQLLEN>(10000 - memo.size())) << "what is left";
    EXPECT_EQ(Diagnose(rc, SQL_HANDLE_STMT, stmt_).sqlstate, "01004");
    memo += piece;
    ++calls;
  }
  ASSERT_EQ(rc, SQL_SUCCESS);
  memo += piece;
  EXPECT_EQ(calls, 99) << "99 full pieces, then the last";
  EXPECT_EQ(memo.size(), 10000u);
  EXPECT_EQ(memo.substr(9990), "0123456789");
  EXPECT_EQ(SQLGetData(stmt_, 2, SQL_C_CHAR, piece, sizeof piece, &indicator), SQL_NO_DATA);

  // Bytes of an OLE object, in two pieces.
  unsigned char bytes[3];
  ASSERT_EQ(SQLGetData(stmt_, 7, SQL_C_BINARY, bytes, sizeof bytes, &indicator), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(indicator, 5);
  EXPECT_EQ(std::memcmp(bytes, "\x00\x01\x02", 3), 0);
  ASSERT_EQ(SQLGetData(stmt_, 7, SQL_C_BINARY, bytes, sizeof bytes, &indicator), SQL_SUCCESS);
  EXPECT_EQ(indicator, 2);
  EXPECT_EQ(std::memcmp(bytes, "\xfe\xff", 2), 0);
}

TEST_F(Results, EveryCType) {
  Select();
  SQLLEN indicator = 0;
  SQLWCHAR wide[8] = {};
  ASSERT_EQ(SQLGetData(stmt_, 3, SQL_C_WCHAR, wide, sizeof wide, &indicator), SQL_SUCCESS);
  EXPECT_EQ(indicator, 8);  // ü € and the two halves of 𝄞
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(wide)), u"ü€𝄞");

  SQLINTEGER id = 0;
  ASSERT_EQ(SQLGetData(stmt_, 1, SQL_C_SLONG, &id, 0, &indicator), SQL_SUCCESS);
  EXPECT_EQ(id, 7);
  char text[32];
  ASSERT_EQ(SQLGetData(stmt_, 4, SQL_C_CHAR, text, sizeof text, &indicator), SQL_SUCCESS);
  EXPECT_STREQ(text, "12.3400");
  EXPECT_EQ(SQLGetData(stmt_, 4, SQL_C_CHAR, text, sizeof text, &indicator), SQL_NO_DATA) << "already read";
  SQLBIGINT big = 0;
  ASSERT_EQ(SQLGetData(stmt_, 5, SQL_C_SBIGINT, &big, 0, &indicator), SQL_SUCCESS);
  EXPECT_EQ(big, 9007199254740993LL) << "exact beyond a double's 53 bits";
  SQLDOUBLE money = 0;
  ASSERT_EQ(SQLGetData(stmt_, 4, SQL_C_DOUBLE, &money, 0, &indicator), SQL_SUCCESS) << "columns in any order";
  EXPECT_EQ(money, 12.34);
  SQL_TIMESTAMP_STRUCT when{};
  ASSERT_EQ(SQLGetData(stmt_, 6, SQL_C_TYPE_TIMESTAMP, &when, sizeof when, &indicator), SQL_SUCCESS);
  EXPECT_EQ(when.year, 2004);
  EXPECT_EQ(when.month, 3);
  EXPECT_EQ(when.day, 9);
  EXPECT_EQ(when.hour, 14);
  EXPECT_EQ(when.minute, 30);
  EXPECT_EQ(when.second, 5);
  EXPECT_EQ(when.fraction, 250000000u);
  SQLGUID guid{};
  ASSERT_EQ(SQLGetData(stmt_, 8, SQL_C_GUID, &guid, sizeof guid, &indicator), SQL_SUCCESS);
  EXPECT_EQ(guid.Data1, 0x00112233u);
  EXPECT_EQ(guid.Data2, 0x4455);
  EXPECT_EQ(guid.Data4[7], 0xFF);
  unsigned char flag = 9;
  ASSERT_EQ(SQLGetData(stmt_, 9, SQL_C_BIT, &flag, 0, &indicator), SQL_SUCCESS);
  EXPECT_EQ(flag, 1);
  SQLSMALLINT small = 0;
  rc_ = SQLGetData(stmt_, 10, SQL_C_SSHORT, &small, 0, &indicator);
  EXPECT_EQ(rc_, SQL_SUCCESS_WITH_INFO) << "fraction dropped";
  EXPECT_EQ(Diagnose(rc_, SQL_HANDLE_STMT, stmt_).sqlstate, "01S07");
  EXPECT_EQ(small, -1);
  unsigned char tiny = 0;
  EXPECT_EQ(SQLGetData(stmt_, 1, SQL_C_UTINYINT, &tiny, 0, &indicator), SQL_SUCCESS);
  EXPECT_EQ(SQLGetData(stmt_, 11, SQL_C_CHAR, text, sizeof text, &indicator), SQL_ERROR);
  EXPECT_EQ(Diagnose(SQL_ERROR, SQL_HANDLE_STMT, stmt_).sqlstate, "07009");
}

TEST_F(Results, DescriptionsAndBoundColumns) {
  SQLCHAR sql[] = "SELECT * FROM V";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(stmt_, sql, SQL_NTS)));
  SQLSMALLINT count = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLNumResultCols(stmt_, &count)));
  EXPECT_EQ(count, 10) << "known after SQLPrepare";
  SQLCHAR name[32];
  SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDescribeCol(stmt_, 3, name, sizeof name, &nameLength, &type, &size, &digits, &nullable)));
  EXPECT_STREQ(reinterpret_cast<char*>(name), "name");
  EXPECT_EQ(type, SQL_VARCHAR);
  EXPECT_EQ(size, 20u);
  EXPECT_EQ(nullable, SQL_NULLABLE);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDescribeCol(stmt_, 1, name, sizeof name, &nameLength, &type, &size, &digits, &nullable)));
  EXPECT_EQ(nullable, SQL_NO_NULLS) << "key column";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLDescribeCol(stmt_, 10, name, sizeof name, &nameLength, &type, &size, &digits, &nullable)));
  EXPECT_EQ(type, SQL_NUMERIC);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(digits, 3);
  char typeName[32];
  SQLSMALLINT typeNameLength = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt_, 4, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeNameLength, nullptr)));
  EXPECT_STREQ(typeName, "CURRENCY");
  SQLLEN displaySize = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColAttribute(stmt_, 3, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &displaySize)));
  EXPECT_EQ(displaySize, 20);

  SQLINTEGER id = 0;
  SQLLEN idIndicator = 0, nameIndicator = 0;
  char text[16];
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindCol(stmt_, 1, SQL_C_SLONG, &id, 0, &idIndicator)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindCol(stmt_, 3, SQL_C_CHAR, text, sizeof text, &nameIndicator)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(stmt_)));
  ASSERT_EQ(SQLFetch(stmt_), SQL_SUCCESS);
  EXPECT_EQ(id, 7);
  EXPECT_STREQ(text, "ü€𝄞");
  EXPECT_EQ(nameIndicator, 9);
  EXPECT_EQ(SQLFetch(stmt_), SQL_NO_DATA);
}

}  // namespace
}  // namespace talvoro::test

namespace talvoro::test {
namespace {

// A date whose stored double a damaged file changed (NaN, or far outside the years
// 100..9999) is an error for that value, never an invalid struct for the caller.
class DamagedDates : public DriverTest {};

TEST_F(DamagedDates, AreRefusedAsDatetimeOverflow) {
  ASSERT_TRUE(db().Execute("CREATE TABLE D (id int PRIMARY KEY, \"when\" datetime NULL)").ok());
  // 2004-03-09 14:30 is 38055.604166... days; each row is found again by its bytes.
  ASSERT_TRUE(db().Execute("INSERT INTO D VALUES (1, '9/3/2004 14:30:00')").ok());
  ASSERT_TRUE(db().Execute("INSERT INTO D VALUES (2, '10/3/2004 14:30:00')").ok());
  ASSERT_TRUE(db().Execute("INSERT INTO D VALUES (3, '11/3/2004 14:30:00')").ok());
  Disconnect();
  std::string bytes = ReadFileText(path_);
  auto damage = [&](double original, double replacement) {
    std::string from(8, '\0'), to(8, '\0');
    std::memcpy(from.data(), &original, 8);
    std::memcpy(to.data(), &replacement, 8);
    auto at = bytes.find(from);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, 8, to);
  };
  const double day = 38055.0 + 14.5 / 24;
  damage(day, std::numeric_limits<double>::quiet_NaN());
  damage(day + 1, 1e300);
  {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  session_ = OdbcSession::Connect("DSN=" + dsn_);
  ASSERT_TRUE(session_);
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, db().dbc(), &stmt)));
  SQLCHAR sql[] = "SELECT * FROM D";
  SQLRETURN executed = SQLExecDirect(stmt, sql, SQL_NTS);
  ASSERT_TRUE(SQL_SUCCEEDED(executed)) << Diagnose(executed, SQL_HANDLE_STMT, stmt).message;
  const char* expected[] = {"22008", "22008", nullptr};
  for (const char* state : expected) {
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    SQL_TIMESTAMP_STRUCT when{};
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, 2, SQL_C_TYPE_TIMESTAMP, &when, sizeof when, &indicator);
    if (!state) {
      ASSERT_EQ(rc, SQL_SUCCESS);
      EXPECT_EQ(when.year, 2004);
      EXPECT_EQ(when.hour, 14);
      continue;
    }
    EXPECT_EQ(rc, SQL_ERROR);
    EXPECT_EQ(Diagnose(rc, SQL_HANDLE_STMT, stmt).sqlstate, state);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  session_.reset();
  path_.clear();  // the damaged file is not one the driver wrote
}

}  // namespace
}  // namespace talvoro::test
