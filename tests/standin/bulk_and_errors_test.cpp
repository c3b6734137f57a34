// Errors scoped as SQL Server scopes them (most end only their statement, a
// conversion failure or a missing object ends the batch), division by zero,
// and BULK INSERT of character files from the server's disk, through FreeTDS.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

class Scripts : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(FixtureConnectString())))
        << DescribeDiagnostics(SQL_HANDLE_DBC, connection_.dbc());
  }
  // Runs a batch to its end; the native numbers of every error it reported.
  std::vector<int> RunBatch(const std::string& sql) {
    OdbcStatement s(connection_);
    std::vector<int> natives;
    SQLRETURN rc = s.Execute(sql);
    for (;;) {
      if (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO)
        for (const auto& d : s.DiagnosticRecords())
          if (d.native > 0 && d.native != 5701 && d.native != 5703) natives.push_back(d.native);
      if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE) break;
      rc = SQLMoreResults(s.get());
    }
    return natives;
  }
  // Every row of a query, fields joined by '|', rows by ';' (NULL as "NULL").
  std::string Rows(const std::string& sql) {
    OdbcStatement s(connection_);
    if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(s.Diagnostics());
    SQLSMALLINT columns = 0;
    SQLNumResultCols(s.get(), &columns);
    std::string out;
    while (s.Fetch()) {
      if (!out.empty()) out += ';';
      for (SQLUSMALLINT c = 1; c <= columns; ++c) out += (c > 1 ? "|" : "") + s.Text(c).value_or("NULL");
    }
    return out;
  }
  OdbcConnection connection_;
};

struct ScopeCase {
  const char* name;
  const char* failing;  // runs between two good inserts
  int native;
  bool batchGoesOn;
};

class ErrorScope : public Scripts, public testing::WithParamInterface<ScopeCase> {};

TEST_P(ErrorScope, EndsTheStatementOrTheBatch) {
  const ScopeCase& c = GetParam();
  ASSERT_TRUE(RunBatch("CREATE TABLE #scope (id int PRIMARY KEY, small tinyint)").empty());
  const auto natives = RunBatch(std::string("INSERT INTO #scope VALUES (1, 1)\n") + c.failing +
                                "\nINSERT INTO #scope VALUES (3, 3)\nPRINT 'after'");
  ASSERT_EQ(natives, std::vector<int>{c.native});
  EXPECT_EQ(Rows("SELECT id FROM #scope ORDER BY id"), c.batchGoesOn ? "1;3" : "1");
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ErrorScope,
    testing::Values(
        ScopeCase{"DivideByZero", "SELECT 10 / (SELECT COUNT(*) - 1 FROM #scope)", 8134, true},
        ScopeCase{"ModuloByZero", "UPDATE #scope SET small = small % 0", 8134, true},
        ScopeCase{"DuplicateKey", "INSERT INTO #scope VALUES (1, 2)", 2627, true},
        ScopeCase{"OverflowInOneRowOfTen",
                  "INSERT INTO #scope VALUES (10,1),(11,1),(12,1),(13,1),(14,1),(15,1),(16,1),(17,1),(18,1),(19,256)",
                  8115, true},
        ScopeCase{"NullIntoKey", "INSERT INTO #scope VALUES (NULL, 1)", 515, true},
        ScopeCase{"MissingBulkFile", "BULK INSERT #scope FROM 'no-such-file.tsv'", 4860, true},
        ScopeCase{"ConversionAbortsTheBatch", "INSERT INTO #scope VALUES ('two', 2)", 245, false},
        ScopeCase{"MissingObjectAbortsTheBatch", "SELECT * FROM NoSuchTable", 208, false}),
    [](const testing::TestParamInfo<ScopeCase>& info) { return std::string(info.param.name); });

TEST_F(Scripts, DivisionKeepsTSqlPrecedenceAndTypes) {
  EXPECT_EQ(Rows("SELECT 7/2, -7/2, 7%3, -7%3, 2*3/4, 10/2/5, (1+1)/2, 1+6/3, 7.0/2, 2-6/-3"),
            "3|-3|1|-1|1|1|1|3|3.5|4");
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM AllTypes WHERE id / 2 = 1 OR NULL / 0 IS NULL"), "2");
}

// A data file in the server's data folder, named relative to it.
std::string WriteDataFile(const std::string& name, const std::string& bytes) {
  std::ofstream(SharedServer().dataDir() + "/" + name, std::ios::binary) << bytes;
  return name;
}

struct BulkCase {
  const char* name;
  const char* file;     // bytes of the data file
  const char* options;  // WITH (...) or ""
  const char* rows;     // the table afterwards
  std::vector<int> natives;  // errors reported
};

class BulkInsert : public Scripts, public testing::WithParamInterface<BulkCase> {};

TEST_P(BulkInsert, LoadsTheFile) {
  const BulkCase& c = GetParam();
  ASSERT_TRUE(RunBatch("CREATE TABLE #bulk (id int IDENTITY(100,1) PRIMARY KEY, name nvarchar(20) NOT NULL,"
                       " qty smallint NULL DEFAULT 7, note varchar(40) NULL)")
                  .empty());
  const std::string file = WriteDataFile(std::string(c.name) + ".dat", c.file);
  EXPECT_EQ(RunBatch("BULK INSERT #bulk FROM '" + file + "' " + c.options), c.natives);
  EXPECT_EQ(Rows("SELECT id, name, qty, note FROM #bulk ORDER BY id"), c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BulkInsert,
    testing::Values(
        BulkCase{"DefaultsTabAndCrLf", "1\tAnn\t3\tx\r\n2\tBob\t\t\r\n", "", "100|Ann|3|x;101|Bob|7|NULL", {}},
        BulkCase{"KeepNullsAndIdentity", "5\tAnn\t\tx\r\n9\tBob\t2\t\r\n", "WITH (KEEPNULLS, KEEPIDENTITY, TABLOCK)",
                 "5|Ann|NULL|x;9|Bob|2|NULL", {}},
        BulkCase{"HeaderLineFeedUtf8", "id,name,qty,note\n0,Zoë,1,\xE2\x82\xAC\n0,Åsa,2,b\n",
                 "WITH (FIELDTERMINATOR = ',', ROWTERMINATOR = '0x0a', CODEPAGE = '65001', FIRSTROW = 2)",
                 "100|Zoë|1|€;101|Åsa|2|b", {}},
        BulkCase{"LastRowWithoutTerminator", "0\tAnn\t1\tx\r\n0\tBob\t2\ty", "", "100|Ann|1|x;101|Bob|2|y", {}},
        BulkCase{"MultiCharacterTerminatorsKeepLineBreaks", "0|~|Ann|~|1|~|two\nlines\r\n|##|\n0|~|Bob|~|2|~|z|##|\n",
                 "WITH (FIELDTERMINATOR = '|~|', ROWTERMINATOR = '|##|\\n', CODEPAGE = '65001', DATAFILETYPE = 'char')",
                 "100|Ann|1|two\nlines\r\n;101|Bob|2|z", {}},
        BulkCase{"BadRowsLeftOut", "0\tAnn\tmany\tx\r\n0\tBob\t2\ty\r\n0\tCy\t3\t0123456789012345678901234567890123456789X\r\n",
                 "", "101|Bob|2|y", {4864, 4863}},
        BulkCase{"TooManyBadRows", "0\tAnn\tmany\tx\r\n0\tBob\t2\ty\r\n", "WITH (MAXERRORS = 0)", "", {4864, 4865}},
        BulkCase{"EndsInsideARow", "0\tAnn\t1\tx\r\n0\tBob", "", "", {4832}},
        BulkCase{"DuplicateKeyFailsTheLoad", "1\tAnn\t1\tx\r\n1\tBob\t2\ty\r\n", "WITH (KEEPIDENTITY)", "", {2627}}),
    [](const testing::TestParamInfo<BulkCase>& info) { return std::string(info.param.name); });

TEST_F(Scripts, BulkInsertReadsWideCharFilesAndAbsolutePaths) {
  RunBatch("CREATE TABLE #wide (name nvarchar(20), city nvarchar(20))");
  std::string utf16 = "\xFF\xFE";  // "Zoë\tΑθήνα\r\n" in UTF-16LE
  for (char16_t ch : std::u16string(u"Zo\u00EB\t\u0391\u03B8\u03AE\u03BD\u03B1\r\n")) {
    utf16 += static_cast<char>(ch & 0xFF);
    utf16 += static_cast<char>(ch >> 8);
  }
  const std::string path = SharedServer().dataDir() + "/" + WriteDataFile("wide.dat", utf16);
  EXPECT_TRUE(RunBatch("BULK INSERT #wide FROM '" + path + "' WITH (DATAFILETYPE = 'widechar')").empty());
  EXPECT_EQ(Rows("SELECT name, city FROM #wide"), "Zoë|Αθήνα");
}

TEST_F(Scripts, BulkInsertChecksForeignKeysOnlyWhenAsked) {
  ASSERT_TRUE(RunBatch("CREATE TABLE BulkParent (id int PRIMARY KEY)\n"
                       "CREATE TABLE BulkChild (id int PRIMARY KEY, parent int CONSTRAINT FK_BulkChild_Parent"
                       " REFERENCES BulkParent (id))\nINSERT INTO BulkParent VALUES (1)")
                  .empty());
  const std::string file = WriteDataFile("children.dat", "1\t1\r\n2\t99\r\n");
  EXPECT_EQ(RunBatch("BULK INSERT BulkChild FROM '" + file + "' WITH (CHECK_CONSTRAINTS)"), std::vector<int>{547});
  EXPECT_EQ(Rows("SELECT COUNT(*) FROM BulkChild"), "0");
  EXPECT_TRUE(RunBatch("BULK INSERT dbo.BulkChild FROM '" + file + "'").empty());
  EXPECT_EQ(Rows("SELECT id, parent FROM BulkChild ORDER BY id"), "1|1;2|99");
  EXPECT_EQ(Rows("SELECT is_not_trusted FROM sys.foreign_keys WHERE name = 'FK_BulkChild_Parent'"), "1");
  // The key is enforced again for later rows.
  EXPECT_EQ(RunBatch("INSERT INTO BulkChild VALUES (3, 98)"), std::vector<int>{547});
}

}  // namespace
}  // namespace standin_test
