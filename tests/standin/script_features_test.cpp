// What larger install scripts need, through FreeTDS: errors scoped as SQL
// Server scopes them (most end only their statement, a conversion failure or a
// missing object ends the batch), division by zero, BULK INSERT of character
// files from the server's disk, and the column kinds and objects such scripts
// declare (computed, spatial, temporal, typed xml, DDL triggers, full-text).
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
  std::string Rows(const std::string& sql) { return QueryRows(connection_, sql); }
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

TEST_F(Scripts, ComputedColumnsAreReadAndCannotBeWritten) {
  ASSERT_TRUE(RunBatch("CREATE TABLE Lines (id int PRIMARY KEY, qty smallint, price money, first nvarchar(10),"
                       " last nvarchar(10), total AS qty * price PERSISTED, name AS (first + N' ' + last),"
                       " code AS CONVERT(varchar(12), id) + 'x')\n"
                       "INSERT INTO Lines (id, qty, price, first, last) VALUES (1, 3, 2.5, N'Ann', N'Lee')\n"
                       "INSERT INTO Lines VALUES (2, 2, 1, N'Bo', N'Li')")
                  .empty());
  EXPECT_EQ(Rows("SELECT total, name, code FROM Lines ORDER BY id"), "7.5000|Ann Lee|1x;2.0000|Bo Li|2x");
  EXPECT_EQ(RunBatch("INSERT INTO Lines (id, total) VALUES (3, 1)"), std::vector<int>{271});
  EXPECT_EQ(Rows("SELECT name, is_computed FROM sys.columns WHERE object_id = OBJECT_ID('Lines') AND column_id > 4"),
            "last|0;total|1;name|1;code|1");
  OdbcStatement columns(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(columns.Execute("EXEC sp_columns Lines")));
  std::string types;
  while (columns.Fetch()) types += columns.Text(6).value_or("?") + " ";
  EXPECT_EQ(types, "int smallint money nvarchar nvarchar money nvarchar varchar ");
}

TEST_F(Scripts, SpatialColumnsHoldSqlServersSerialization) {
  ASSERT_TRUE(RunBatch("CREATE TABLE Places (id int PRIMARY KEY, spot geography NULL, shape geometry NULL)\n"
                       "INSERT INTO Places VALUES (1, geography::Point(47.651, -122.349, 4326),"
                       " geometry::STGeomFromText('POINT (3 4)', 0))\n"
                       "INSERT INTO Places VALUES (2, 'POINT(-122.349 47.651)', NULL)\n"
                       "INSERT INTO Places VALUES (3, 0xE6100000010C17D9CEF753D34740D34D6210585F5EC0, NULL)")
                  .empty());
  // FreeTDS hands CLR types out as binary only: read their bytes as varbinary.
  EXPECT_EQ(Rows("SELECT id, CONVERT(varbinary(max), spot), CONVERT(varbinary(max), shape) FROM Places ORDER BY id"),
            "1|e6100000010c17d9cef753d347407593180456965ec0|00000000010c00000000000008400000000000001040;"
            "2|e6100000010c17d9cef753d347407593180456965ec0|NULL;"
            "3|e6100000010c17d9cef753d34740d34d6210585f5ec0|NULL");
  EXPECT_EQ(RunBatch("INSERT INTO Places VALUES (4, geography::Point(91, 0, 4326), NULL)"), std::vector<int>{6522});
  OdbcStatement columns(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(columns.Execute("EXEC sp_columns Places")));
  std::string types;
  while (columns.Fetch()) types += columns.Text(6).value_or("?") + "/" + columns.Text(5).value_or("?") + " ";
  EXPECT_EQ(types, "int/4 geography/-4 geometry/-4 ");
}

TEST_F(Scripts, TemporalTablesKeepOldVersionsAndHideTheirPeriod) {
  ASSERT_TRUE(RunBatch("CREATE TABLE Shift (id tinyint IDENTITY PRIMARY KEY, name nvarchar(20) NOT NULL,"
                       " ValidFrom datetime2 GENERATED ALWAYS AS ROW START HIDDEN NOT NULL,"
                       " ValidTo datetime2 GENERATED ALWAYS AS ROW END HIDDEN NOT NULL,"
                       " PERIOD FOR SYSTEM_TIME (ValidFrom, ValidTo))"
                       " WITH (SYSTEM_VERSIONING = ON (HISTORY_TABLE = dbo.ShiftHistory))\n"
                       "INSERT INTO Shift VALUES (N'Day')\nINSERT INTO Shift (name) VALUES (N'Night')\n"
                       "UPDATE Shift SET name = N'Evening' WHERE id = 2\nDELETE FROM Shift WHERE id = 1")
                  .empty());
  EXPECT_EQ(Rows("SELECT * FROM Shift"), "2|Evening");
  EXPECT_EQ(Rows("SELECT id, name, ValidTo FROM Shift"), "2|Evening|9999-12-31 23:59:59.9999999");
  EXPECT_EQ(Rows("SELECT id, name, CASE WHEN ValidFrom <= ValidTo AND ValidTo < '9999-01-01' THEN 'closed' END"
                 " FROM ShiftHistory ORDER BY id"),
            "1|Day|closed;2|Night|closed");
  EXPECT_EQ(Rows("SELECT name, is_hidden FROM sys.columns WHERE object_id = OBJECT_ID('Shift')"),
            "id|0;name|0;ValidFrom|1;ValidTo|1");
  EXPECT_EQ(RunBatch("INSERT INTO Shift (name, ValidFrom) VALUES (N'x', '2020-01-01')"), std::vector<int>{13536});
}

TEST_F(Scripts, ScriptObjectsAreAcceptedAndKept) {
  EXPECT_TRUE(RunBatch("CREATE SCHEMA Docs").empty());
  EXPECT_TRUE(RunBatch("CREATE XML SCHEMA COLLECTION Docs.Info AS N'<xsd:schema xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
                       "<xsd:element name=\"phone\" type=\"xsd:string\"/></xsd:schema>'")
                  .empty());
  EXPECT_TRUE(RunBatch("CREATE TABLE Docs.Card (id int NOT NULL CONSTRAINT PK_Card PRIMARY KEY,"
                       " info xml(CONTENT Docs.Info) NULL, more xml(Docs.Info) NULL)\n"
                       "INSERT INTO Docs.Card VALUES (1, N'<phone>555</phone>', NULL)")
                  .empty());
  EXPECT_TRUE(RunBatch("CREATE FULLTEXT CATALOG CardCatalog AS DEFAULT").empty());
  EXPECT_TRUE(RunBatch("CREATE FULLTEXT INDEX ON Docs.Card(info LANGUAGE 1033) KEY INDEX PK_Card ON CardCatalog"
                       " WITH CHANGE_TRACKING AUTO")
                  .empty());
  EXPECT_TRUE(RunBatch("CREATE TRIGGER LogDdl ON DATABASE FOR DDL_DATABASE_LEVEL_EVENTS AS\n"
                       "BEGIN\n  SET NOCOUNT ON;\n  DECLARE @data XML;\n  SET @data = EVENTDATA();\nEND")
                  .empty());
  EXPECT_TRUE(RunBatch("CREATE VIEW Docs.vCard WITH SCHEMABINDING AS SELECT c.id, c.info FROM Docs.Card c").empty());
  EXPECT_TRUE(RunBatch("CREATE UNIQUE CLUSTERED INDEX IX_vCard ON Docs.vCard (id)").empty());
  EXPECT_EQ(Rows("SELECT id, info FROM Docs.vCard"), "1|<phone>555</phone>");
  EXPECT_EQ(Rows("SELECT name, parent_class, parent_id FROM sys.triggers WHERE name = 'LogDdl'"), "LogDdl|0|0");
}

struct BuiltInCase {
  const char* expression;
  const char* value;
};

class BuiltIns : public Scripts, public testing::WithParamInterface<BuiltInCase> {};

TEST_P(BuiltIns, GiveSqlServersValue) {
  EXPECT_EQ(Rows(std::string("SELECT ") + GetParam().expression), GetParam().value) << GetParam().expression;
}

INSTANTIATE_TEST_SUITE_P(
    Strings, BuiltIns,
    testing::Values(BuiltInCase{"REPLICATE('ab', 3), REPLICATE('x', -1)", "ababab|NULL"},
                    BuiltInCase{"SPACE(3) + 'x'", "   x"},
                    BuiltInCase{"STUFF('abcdef', 2, 3, 'XY'), STUFF('abc', 5, 1, 'x')", "aXYef|NULL"},
                    BuiltInCase{"REVERSE(N'abç')", "çba"},
                    BuiltInCase{"CHARINDEX('C', 'abcabc', 4), CHARINDEX('z', 'abc')", "6|0"},
                    BuiltInCase{"PATINDEX('%[0-9]%', 'ab3d'), PATINDEX('ab%', 'abc'), PATINDEX('%x', 'abc')", "3|1|0"},
                    BuiltInCase{"QUOTENAME('a]b'), QUOTENAME('it''s', '''')", "[a]]b]|'it''s'"},
                    BuiltInCase{"STR(3.14159, 6, 2), STR(123456, 3)", "  3.14|***"},
                    BuiltInCase{"LEFT(N'ñandú', 2), RIGHT('abcdef', 2)", "ña|ef"},
                    BuiltInCase{"OBJECT_NAME(OBJECT_ID('Customers'))", "Customers"},
                    BuiltInCase{"CASE WHEN CHECKSUM('abc', 1) = CHECKSUM('ABC  ', 1) THEN 'same' END", "same"}),
    [](const testing::TestParamInfo<BuiltInCase>& info) { return "Case" + std::to_string(info.index); });

TEST_F(Scripts, ScopeIdentityIsTheLastIdentityInserted) {
  EXPECT_EQ(Rows("SET NOCOUNT ON\nCREATE TABLE #ids (id int IDENTITY(5, 1), v int)\n"
                 "INSERT INTO #ids (v) VALUES (1)\nINSERT INTO #ids (v) VALUES (2)\n"
                 "SELECT SCOPE_IDENTITY(), @@IDENTITY"),
            "6|6");
}

// Values at the edges of what each column takes, as a bulk load converts them
// from text: the largest integers, signs and blanks around numbers, rounding of
// decimals and datetime ticks, text measured in its code page or UTF-16 units.
TEST_F(Scripts, BulkInsertConvertsValuesAtTheirLimits) {
  ASSERT_TRUE(RunBatch("CREATE TABLE #limits (n int IDENTITY PRIMARY KEY, big bigint, ratio float, amount decimal(10,2),"
                       " stamp datetime, code varchar(3), label nvarchar(4), flag bit)")
                  .empty());
  const std::string aou = "\xC3\xA4\xC3\xB6\xC3\xBC", smiley = "\xF0\x9F\x98\x80";  // U+1F600: two UTF-16 units
  const std::string file = WriteDataFile(
      "limits.dat", "0\t-9223372036854775808\t+1.5\t 12.345 \t2024-02-29 23:59:59.999\t" + aou + "\t" + smiley +
                        "ab\t true \r\n"
                        "0\t9223372036854775807\t-2.5e3\t-0.004\t2024-01-02T03:04:05.5\tabc\tx\tFALSE\r\n"
                        "0\t9223372036854775808\t1\t1\t2024-01-01\ta\tb\t1\r\n"  // beyond bigint
                        "0\t1\t1e400\t1\t2024-01-01\ta\tb\t1\r\n"                  // beyond float
                        "0\t1\t1\t1\t2024-01-01\t" + aou + "x\tb\t1\r\n"           // 4 characters for varchar(3)
                        "0\t1\t1\t1\t2024-01-01\ta\t" + smiley + "abc\t1\r\n");    // 5 units for nvarchar(4)
  EXPECT_EQ(RunBatch("BULK INSERT #limits FROM '" + file + "' WITH (CODEPAGE = '65001')"),
            (std::vector<int>{4864, 4864, 4863, 4863}));
  EXPECT_EQ(Rows("SELECT big, ratio, amount, stamp, code, label, flag FROM #limits ORDER BY n"),
            "-9223372036854775808|1.5|12.35|2024-03-01 00:00:00.000|" + aou + "|" + smiley + "ab|1;" +
                "9223372036854775807|-2500|0.00|2024-01-02 03:04:05.500|abc|x|0");
}

}  // namespace
}  // namespace standin_test
