// Columns with their own collations: labelled with it on the wire, their text
// sent in its code page, compared the way it compares.
#include <gtest/gtest.h>

#include <cstring>

#include "odbc_client.h"
#include "shared_server.h"

namespace standin_test {
namespace {

constexpr char kCollatedScript[] = R"sql(
CREATE TABLE Collated (id int NOT NULL PRIMARY KEY,
  he varchar(20) COLLATE Hebrew_CI_AI, zh varchar(20) COLLATE Chinese_PRC_CI_AS,
  ru varchar(20) COLLATE Cyrillic_General_CI_AS, el varchar(20) COLLATE Greek_CI_AS,
  ch char(6) COLLATE Chinese_PRC_CI_AS, tx text COLLATE Cyrillic_General_CI_AS, jp varchar(20) COLLATE Japanese_CI_AS,
  bin varchar(10) COLLATE Latin1_General_BIN)
INSERT INTO Collated VALUES (1, N'שלום', N'中文字', N'Привет', N'Καλημέρα', N'中文', N'Текст', N'日本語', 'Abc')
CREATE TABLE Compared (id int NOT NULL PRIMARY KEY, plain varchar(20), wide nvarchar(20), fixed char(8),
  ai varchar(20) COLLATE Latin1_General_CI_AI, cs varchar(20) COLLATE Latin1_General_CS_AS,
  bin varchar(20) COLLATE Latin1_General_BIN, bin2 nvarchar(20) COLLATE Latin1_General_BIN2)
INSERT INTO Compared VALUES (1, 'ABC', N'ÉCOLE', 'Abc', N'Café', 'Abc', 'Abc', N'Abc')
INSERT INTO Compared VALUES (2, 'b', N'école', 'b', 'cafe', 'abc', 'b', N'b')
INSERT INTO Compared VALUES (3, 'abc  ', N'Zebra', 'C', 'CAFÉ', 'ABC', 'abc', N'C')
)sql";

class Collations : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static bool created = false;
    if (created) return;
    OdbcConnection c;
    ASSERT_TRUE(SQL_SUCCEEDED(c.Connect(FixtureConnectString())));
    OdbcStatement(c).Run(kCollatedScript);
    created = true;
  }
  void SetUp() override { ASSERT_TRUE(SQL_SUCCEEDED(connection_.Connect(FixtureConnectString()))); }
  std::optional<std::string> Scalar(const std::string& sql) {
    OdbcStatement s(connection_);
    if (!SQL_SUCCEEDED(s.Execute(sql))) throw std::runtime_error(sql + ": " + s.Diagnostics());
    if (!s.Fetch()) return std::nullopt;
    return s.Text(1);
  }
  OdbcConnection connection_;
};

struct TextCase {
  const char* column;
  const char* utf8;
};

class CollatedText : public Collations, public testing::WithParamInterface<TextCase> {};

TEST_P(CollatedText, ReadBackInTheColumnsCodePage) {
  // FreeTDS decodes char data by the collation the column is labelled with; a
  // Latin label would turn these into '?'.
  EXPECT_EQ(Scalar(std::string("Select ") + GetParam().column + " from Collated where id = 1"), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Columns, CollatedText,
    testing::Values(TextCase{"he", "שלום"}, TextCase{"zh", "中文字"}, TextCase{"ru", "Привет"},
                    TextCase{"el", "Καλημέρα"}, TextCase{"ch", "中文  "}, TextCase{"tx", "Текст"},
                    TextCase{"jp", "日本語"}),
    [](const testing::TestParamInfo<TextCase>& info) { return std::string(info.param.column); });

TEST_F(Collations, WideReadsAgree) {
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(s.Execute("Select ru from Collated where id = 1")));
  ASSERT_TRUE(s.Fetch());
  SQLWCHAR wide[32] = {};
  SQLLEN indicator = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetData(s.get(), 1, SQL_C_WCHAR, wide, sizeof wide, &indicator)));
  EXPECT_EQ(indicator, 12);
  EXPECT_EQ(wide[0], 0x041F);  // П
}

TEST_F(Collations, ParameterTextRoundTrips) {
  OdbcStatement s(connection_);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLPrepare(s.get(), (SQLCHAR*)"INSERT INTO Collated (id, zh, he) VALUES (2, ?, ?)", SQL_NTS)));
  const char16_t zh[] = u"汉字";
  const char16_t he[] = u"עברית";
  SQLLEN zhLength = sizeof zh - 2, heLength = sizeof he - 2;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0,
                                             (SQLPOINTER)zh, sizeof zh, &zhLength)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(s.get(), 2, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 20, 0,
                                             (SQLPOINTER)he, sizeof he, &heLength)));
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(s.get()))) << s.Diagnostics();
  EXPECT_EQ(Scalar("Select zh from Collated where id = 2"), "汉字");
  EXPECT_EQ(Scalar("Select he from Collated where id = 2"), "עברית");
}

TEST_F(Collations, CharactersTheCodePageLacksBecomeQuestionMarks) {
  OdbcStatement s(connection_);
  s.Run("INSERT INTO Collated (id, he) VALUES (3, N'Привет')");
  EXPECT_EQ(Scalar("Select he from Collated where id = 3"), "??????");
}

TEST_F(Collations, ComparedAsTheCollationSays) {
  OdbcStatement(connection_).Run("INSERT INTO Collated (id, he) VALUES (4, N'שָׁלוֹם')");
  EXPECT_EQ(Scalar("Select count(*) from Collated where he = N'שלום'"), "2") << "accent-insensitive";
  EXPECT_EQ(Scalar("Select count(*) from Collated where ru = N'привет'"), "1") << "case-insensitive";
  EXPECT_EQ(Scalar("Select count(*) from Collated where el = N'ΚΑΛΗΜΈΡΑ'"), "1") << "case-insensitive";
  EXPECT_EQ(Scalar("Select count(*) from Collated where el = N'Καλημερα'"), "0") << "accent-sensitive";
  EXPECT_EQ(Scalar("Select count(*) from Collated where bin = 'abc'"), "0") << "binary";
}

struct ComparisonCase {
  const char* name;
  const char* query;
  const char* expected;
};

class Comparisons : public Collations, public testing::WithParamInterface<ComparisonCase> {};

TEST_P(Comparisons, AsSqlServerCompares) {
  const auto expected = GetParam().expected ? std::optional<std::string>(GetParam().expected) : std::nullopt;
  EXPECT_EQ(Scalar(GetParam().query), expected) << GetParam().query;
}

// Columns without COLLATE take the default SQL_Latin1_General_CP1_CI_AS; trailing
// blanks never count in = or <, but do in LIKE.
INSTANTIATE_TEST_SUITE_P(
    Cases, Comparisons,
    testing::Values(
        ComparisonCase{"DefaultIgnoresCase", "SELECT count(*) FROM Compared WHERE plain = 'abc'", "2"},
        ComparisonCase{"DefaultNationalIgnoresCase", "SELECT count(*) FROM Compared WHERE wide = N'école'", "2"},
        ComparisonCase{"DefaultKeepsAccents", "SELECT count(*) FROM Compared WHERE wide = N'ecole'", "0"},
        ComparisonCase{"AccentInsensitive", "SELECT count(*) FROM Compared WHERE ai = 'cafe'", "3"},
        ComparisonCase{"CaseSensitive", "SELECT count(*) FROM Compared WHERE cs = 'abc'", "1"},
        ComparisonCase{"Binary", "SELECT count(*) FROM Compared WHERE bin = 'abc'", "1"},
        ComparisonCase{"TrailingBlanksDefault", "SELECT count(*) FROM Compared WHERE plain = 'ABC     '", "2"},
        ComparisonCase{"TrailingBlanksBinary", "SELECT count(*) FROM Compared WHERE bin = 'Abc   '", "1"},
        ComparisonCase{"TrailingBlanksBinary2", "SELECT count(*) FROM Compared WHERE bin2 = N'b '", "1"},
        ComparisonCase{"CharPaddingCompares", "SELECT count(*) FROM Compared WHERE fixed = 'abc'", "1"},
        ComparisonCase{"Literals", "SELECT CASE WHEN 'a' = 'A' THEN 1 ELSE 0 END", "1"},
        ComparisonCase{"LiteralTrailingBlanks", "SELECT CASE WHEN 'a' = 'a  ' THEN 1 ELSE 0 END", "1"},
        ComparisonCase{"LiteralOrder", "SELECT CASE WHEN 'a' < 'B' THEN 1 ELSE 0 END", "1"},
        ComparisonCase{"Variables", "DECLARE @x varchar(10) = 'abc'; SELECT CASE WHEN @x = 'ABC ' THEN 1 ELSE 0 END", "1"},
        ComparisonCase{"VariableInList", "DECLARE @s varchar(5) = 'OPEN'; SELECT CASE WHEN @s IN ('open', 'shut') THEN 1 ELSE 0 END", "1"},
        ComparisonCase{"LiteralExplicitCollation", "SELECT CASE WHEN 'a' = 'A' COLLATE Latin1_General_BIN THEN 1 ELSE 0 END", "0"},
        ComparisonCase{"LiteralBetween", "SELECT CASE WHEN 'm' BETWEEN 'A' AND 'Z' THEN 1 ELSE 0 END", "1"},
        ComparisonCase{"LikeIgnoresCase", "SELECT count(*) FROM Compared WHERE plain LIKE 'AB%'", "2"},
        ComparisonCase{"LikeNational", "SELECT count(*) FROM Compared WHERE wide LIKE N'é%'", "2"},
        ComparisonCase{"LikeCaseSensitive", "SELECT count(*) FROM Compared WHERE cs LIKE 'a%'", "1"},
        ComparisonCase{"LikeBinary", "SELECT count(*) FROM Compared c WHERE c.bin NOT LIKE 'A%'", "2"},
        ComparisonCase{"ExplicitCollation", "SELECT count(*) FROM Compared WHERE plain = 'abc' COLLATE Latin1_General_CS_AS", "1"},
        ComparisonCase{"ExplicitDatabaseDefault", "SELECT count(*) FROM Compared WHERE cs = 'abc' COLLATE DATABASE_DEFAULT", "3"},
        ComparisonCase{"LikeKeepsTrailingBlanks", "SELECT CASE WHEN 'a ' LIKE 'a' THEN 1 ELSE 0 END", "0"},
        ComparisonCase{"LikeSets", "SELECT count(*) FROM Compared WHERE plain LIKE '[a-b]%'", "3"},
        ComparisonCase{"LikeEscape", "SELECT CASE WHEN '5%' LIKE '5!%' ESCAPE '!' THEN 1 ELSE 0 END", "1"},
        ComparisonCase{"Distinct", "SELECT count(DISTINCT plain) FROM Compared", "2"},
        ComparisonCase{"GroupBy", "SELECT count(*) FROM (SELECT plain FROM Compared GROUP BY plain) g", "2"},
        ComparisonCase{"OrderBy", "SELECT TOP 1 wide FROM Compared ORDER BY wide DESC", "Zebra"},
        ComparisonCase{"OrderByCaseSensitive", "SELECT TOP 1 cs FROM Compared ORDER BY cs, id", "abc"},
        ComparisonCase{"OrderByBinary", "SELECT TOP 1 bin FROM Compared ORDER BY bin", "Abc"}),
    [](const testing::TestParamInfo<ComparisonCase>& info) { return std::string(info.param.name); });

// LEN counts characters without trailing blanks; DATALENGTH the bytes of the
// type: two a UTF-16 code unit for Unicode, the code page's for char data.
INSTANTIATE_TEST_SUITE_P(
    Lengths, Comparisons,
    testing::Values(
        ComparisonCase{"LenIgnoresTrailingBlanks", "SELECT LEN('ab  ')", "2"},
        ComparisonCase{"DataLengthKeepsTrailingBlanks", "SELECT DATALENGTH('ab  ')", "4"},
        ComparisonCase{"DataLengthUnicodeLiteral", "SELECT DATALENGTH(N'abc')", "6"},
        ComparisonCase{"DataLengthUnicodeVariable", "DECLARE @n nvarchar(10) = N'héllo'; SELECT DATALENGTH(@n)", "10"},
        ComparisonCase{"DataLengthNVarCharColumn", "SELECT DATALENGTH(wide) FROM Compared WHERE id = 1", "10"},
        ComparisonCase{"DataLengthQualifiedColumn", "SELECT DATALENGTH(c.wide) FROM Compared AS c WHERE id = 2", "10"},
        ComparisonCase{"DataLengthSurrogatePair", "SELECT DATALENGTH(N'a😀')", "6"},
        ComparisonCase{"DataLengthVarCharColumn", "SELECT DATALENGTH(ai) FROM Compared WHERE id = 1", "4"},
        ComparisonCase{"DataLengthCharColumnPadded", "SELECT DATALENGTH(fixed) FROM Compared WHERE id = 1", "8"},
        ComparisonCase{"DataLengthDoubleByteCodePage", "SELECT DATALENGTH(zh) FROM Collated WHERE id = 1", "6"},
        ComparisonCase{"LenOfDoubleByteText", "SELECT LEN(zh) FROM Collated WHERE id = 1", "3"},
        ComparisonCase{"DataLengthBinary", "SELECT DATALENGTH(0x0102FF)", "3"},
        ComparisonCase{"DataLengthNull", "SELECT DATALENGTH(CAST(NULL AS nvarchar(5)))", nullptr}),
    [](const testing::TestParamInfo<ComparisonCase>& info) { return std::string(info.param.name); });

struct DuplicateCase {
  const char* name;
  const char* ddl;
  int native;
  const char* message;
};

class CaseVariantKeys : public Collations, public testing::WithParamInterface<DuplicateCase> {};

// A key in the default collation holds 'a' or 'A', not both.
TEST_P(CaseVariantKeys, RefuseTheOtherCase) {
  OdbcStatement(connection_).Run(GetParam().ddl);
  const std::string table = std::string("Keys") + GetParam().name;
  OdbcStatement(connection_).Run("INSERT INTO " + table + " VALUES ('a')");
  OdbcStatement s(connection_);
  EXPECT_EQ(s.Execute("INSERT INTO " + table + " VALUES ('A ')"), SQL_ERROR);
  const auto records = s.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, GetParam().native);
  EXPECT_EQ(records[0].text.substr(records[0].text.rfind(']') + 1), GetParam().message);
  EXPECT_EQ(Scalar("SELECT count(*) FROM " + table), "1");
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CaseVariantKeys,
    testing::Values(
        DuplicateCase{"Pk", "CREATE TABLE KeysPk (k varchar(5) CONSTRAINT PK_KeysPk PRIMARY KEY)", 2627,
                      "Violation of PRIMARY KEY constraint 'PK_KeysPk'. Cannot insert duplicate key in object "
                      "'dbo.KeysPk'. The duplicate key value is (A )."},
        DuplicateCase{"Index", "CREATE TABLE KeysIndex (k nvarchar(5)) CREATE UNIQUE INDEX UX_KeysIndex ON KeysIndex (k)", 2601,
                      "Cannot insert duplicate key row in object 'dbo.KeysIndex' with unique index 'UX_KeysIndex'. "
                      "The duplicate key value is (A )."}),
    [](const testing::TestParamInfo<DuplicateCase>& info) { return std::string(info.param.name); });

TEST_F(Collations, BinaryKeyTakesBothCases) {
  OdbcStatement(connection_).Run("CREATE TABLE KeysBinary (k varchar(5) COLLATE Latin1_General_BIN PRIMARY KEY)"
                                 " INSERT INTO KeysBinary VALUES ('a') INSERT INTO KeysBinary VALUES ('A')");
  EXPECT_EQ(Scalar("SELECT count(*) FROM KeysBinary"), "2");
}

// A database created with its own collation gives it to columns declared
// without COLLATE and to comparisons of literals.
TEST_F(Collations, DatabaseCollationIsTheDefault) {
  OdbcConnection master;
  ASSERT_TRUE(SQL_SUCCEEDED(master.Connect(SharedServer().ConnectString("master"))));
  OdbcStatement(master).Run("CREATE DATABASE CaseSensitive COLLATE Latin1_General_CS_AS");
  OdbcConnection db;
  ASSERT_TRUE(SQL_SUCCEEDED(db.Connect(SharedServer().ConnectString("CaseSensitive"))));
  OdbcStatement(db).Run("CREATE TABLE Names (name varchar(10), other varchar(10) COLLATE Latin1_General_CI_AS)"
                        " INSERT INTO Names VALUES ('abc', 'abc')");
  auto scalar = [&](const std::string& sql) {
    OdbcStatement s(db);
    EXPECT_TRUE(SQL_SUCCEEDED(s.Execute(sql))) << s.Diagnostics();
    return s.Fetch() ? s.Text(1) : std::nullopt;
  };
  EXPECT_EQ(scalar("SELECT count(*) FROM Names WHERE name = 'ABC'"), "0");
  EXPECT_EQ(scalar("SELECT count(*) FROM Names WHERE other = 'ABC'"), "1");
  EXPECT_EQ(scalar("SELECT CASE WHEN 'a' = 'A' THEN 1 ELSE 0 END"), "0");
  EXPECT_EQ(scalar("SELECT CASE WHEN 'a' = 'a ' THEN 1 ELSE 0 END"), "1");
  OdbcStatement bad(master);
  EXPECT_EQ(bad.Execute("CREATE DATABASE BadCollation COLLATE Klingon_CI_AS"), SQL_ERROR);
  const auto records = bad.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, 448);
}

TEST_F(Collations, UnknownCollationRefused) {
  OdbcStatement s(connection_);
  EXPECT_EQ(s.Execute("CREATE TABLE BadCollation (a varchar(5) COLLATE Klingon_CI_AS)"), SQL_ERROR);
  const auto records = s.DiagnosticRecords();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records[0].native, 448);
  EXPECT_NE(records[0].text.find("Invalid collation 'Klingon_CI_AS'."), std::string::npos);
  OdbcStatement query(connection_);
  EXPECT_EQ(query.Execute("SELECT 1 FROM Compared WHERE plain = 'a' COLLATE Klingon_CI_AS"), SQL_ERROR);
  const auto queryRecords = query.DiagnosticRecords();
  ASSERT_FALSE(queryRecords.empty());
  EXPECT_EQ(queryRecords[0].native, 448);
  EXPECT_NE(queryRecords[0].text.find("Invalid collation 'Klingon_CI_AS'."), std::string::npos);
}

}  // namespace
}  // namespace standin_test
