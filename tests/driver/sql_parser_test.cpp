// The statements the converter and people send, and the syntax errors they get.
#include <gtest/gtest.h>

#include "plain_insert.h"
#include "sql_error.h"
#include "sql_parser.h"

namespace mdb {
namespace {

struct ColumnCase {
  std::string sql;
  std::string table;
  // name, type word, size, scale (-2 = none), primary key, nullability
  struct Col {
    std::string name, word;
    long long size, scale;
    bool key;
    Nullability nullability;
  };
  std::vector<Col> columns;
  std::vector<std::string> keyColumns;
  std::string keyName;
};

constexpr long long kNone = -2;

class CreateTableParse : public testing::TestWithParam<ColumnCase> {};

TEST_P(CreateTableParse, ReadsEveryColumn) {
  const ColumnCase& c = GetParam();
  Statement s = ParseStatement(c.sql);
  auto* create = std::get_if<CreateTableStatement>(&s);
  ASSERT_NE(create, nullptr);
  EXPECT_EQ(create->table, c.table);
  ASSERT_EQ(create->columns.size(), c.columns.size());
  for (std::size_t i = 0; i < c.columns.size(); ++i) {
    const auto& got = create->columns[i];
    const auto& want = c.columns[i];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.type.word, want.word);
    EXPECT_EQ(got.type.size.value_or(kNone), want.size);
    EXPECT_EQ(got.type.scale.value_or(kNone), want.scale);
    EXPECT_EQ(got.primaryKey, want.key);
    EXPECT_EQ(got.nullability, want.nullability);
  }
  EXPECT_EQ(create->keyColumns, c.keyColumns);
  EXPECT_EQ(create->keyName, c.keyName);
}

using N = Nullability;
INSTANTIATE_TEST_SUITE_P(
    Forms, CreateTableParse,
    testing::Values(
        // The converter's Orders table, blanks exactly as it leaves them.
        ColumnCase{"Create Table Orders(\"OrderID\" int PRIMARY KEY , \"Customer\" VARCHAR(40) "
                   "NULL, \"Notes\" TEXT  NULL, \"Placed\" datetime  NOT NULL)",
                   "Orders",
                   {{"OrderID", "int", kNone, kNone, true, N::Unspecified},
                    {"Customer", "VARCHAR", 40, kNone, false, N::Null},
                    {"Notes", "TEXT", kNone, kNone, false, N::Null},
                    {"Placed", "datetime", kNone, kNone, false, N::NotNull}},
                   {},
                   ""},
        // Sized key without a blank before PRIMARY KEY; long-text form with a bare name;
        // "text " with a blank before the size; a nullable numeric ending in two blanks.
        ColumnCase{"Create Table T(\"code\" char(10)PRIMARY KEY NOT NULL, notes Memo  NULL, "
                   "\"t\" text (12) NULL, \"n\" integer  )",
                   "T",
                   {{"code", "char", 10, kNone, true, N::NotNull},
                    {"notes", "Memo", kNone, kNone, false, N::Null},
                    {"t", "text", 12, kNone, false, N::Null},
                    {"n", "integer", kNone, kNone, false, N::Unspecified}},
                   {},
                   ""},
        ColumnCase{"create table [My Table] ([a]]b] DECIMAL(10,2) not null, \"q\"\"x\" REAL, "
                   "g GUID, CONSTRAINT pk_t PRIMARY KEY ([a]]b], \"q\"\"x\"));",
                   "My Table",
                   {{"a]b", "DECIMAL", 10, 2, false, N::NotNull},
                    {"q\"x", "REAL", kNone, kNone, false, N::Unspecified},
                    {"g", "GUID", kNone, kNone, false, N::Unspecified}},
                   {"a]b", "q\"x"},
                   "pk_t"},
        ColumnCase{"CREATE TABLE dbo.t (a double precision, b varchar(max), PRIMARY KEY (a))",
                   "t",
                   {{"a", "double precision", kNone, kNone, false, N::Unspecified},
                    {"b", "varchar", -1, kNone, false, N::Unspecified}},
                   {"a"},
                   ""}));

TEST(InsertParse, StaffRowFromTheConverter) {
  Statement s = ParseStatement("INSERT INTO Staff values(7, 'O''Brien', '9/3/2004', NULL )");
  auto* insert = std::get_if<InsertStatement>(&s);
  ASSERT_NE(insert, nullptr);
  EXPECT_EQ(insert->table, "Staff");
  ASSERT_EQ(insert->values.size(), 4u);
  EXPECT_EQ(insert->values[0].kind, Literal::Kind::Number);
  EXPECT_EQ(insert->values[0].text, "7");
  EXPECT_EQ(insert->values[1].kind, Literal::Kind::String);
  EXPECT_EQ(insert->values[1].text, "O'Brien");
  EXPECT_EQ(insert->values[2].text, "9/3/2004");
  EXPECT_EQ(insert->values[3].kind, Literal::Kind::Null);
}

TEST(InsertParse, SignsColumnListsAndSpecialLiterals) {
  Statement s = ParseStatement(
      "insert into \"t\" (a, [b], \"c\") VALUES (-1.5e-3, +.5, 0xC0FFEE, true, '''', 'ü€')");
  auto& insert = std::get<InsertStatement>(s);
  EXPECT_EQ(insert.columns, (std::vector<std::string>{"a", "b", "c"}));
  ASSERT_EQ(insert.values.size(), 6u);
  EXPECT_TRUE(insert.values[0].negative);
  EXPECT_EQ(insert.values[0].text, "1.5e-3");
  EXPECT_FALSE(insert.values[1].negative);
  EXPECT_EQ(insert.values[1].text, ".5");
  EXPECT_EQ(insert.values[2].kind, Literal::Kind::HexNumber);
  EXPECT_EQ(insert.values[2].text, "C0FFEE");
  EXPECT_EQ(insert.values[3].kind, Literal::Kind::Boolean);
  EXPECT_EQ(insert.values[4].text, "'");
  EXPECT_EQ(insert.values[5].text, "ü€");
}

// The one-pass path for the converter's INSERTs reads exactly what the general
// parser reads, and leaves every other form to it.
TEST(PlainInsert, ReadsWhatTheGeneralParserReads) {
  for (std::string sql : {
           "INSERT INTO [Order Details] values(10248, 11, 14.0000, 12, 0 )",
           "INSERT INTO Staff values(7, 'Customer name number 0000005', '6/6/2005 5:5:35.050', NULL )",
           "insert into \"t\" VALUES(-1.5e-3, .5, -7, 5., 'ü€', '', null);",
           "  INSERT\tINTO t\nvalues ( 1 , 'a' )  ",
       }) {
    SCOPED_TRACE(sql);
    std::optional<InsertStatement> plain(std::in_place);
    ASSERT_TRUE(ParsePlainInsert(sql, *plain));
    Statement general = ParseStatement(sql);
    const auto& expected = std::get<InsertStatement>(general);
    EXPECT_EQ(plain->table, expected.table);
    EXPECT_TRUE(plain->columns.empty());
    ASSERT_EQ(plain->values.size(), expected.values.size());
    for (std::size_t i = 0; i < expected.values.size(); ++i) {
      EXPECT_EQ(plain->values[i].kind, expected.values[i].kind) << i;
      EXPECT_EQ(plain->values[i].text, expected.values[i].text) << i;
      EXPECT_EQ(plain->values[i].negative, expected.values[i].negative) << i;
      EXPECT_EQ(plain->values[i].offset, expected.values[i].offset) << i;
    }
  }
  for (std::string sql : {
           "INSERT INTO t (a) values(1)", "INSERT INTO dbo.t values(1)", "INSERT INTO t values('O''Brien')",
           "INSERT INTO t values(0x1F)", "INSERT INTO t values(+1)", "INSERT INTO t values(- 1)",
           "INSERT INTO t values(TRUE)", "INSERT INTO t values(1) -- note", "INSERT INTO t values(12abc)",
           "INSERT INTO t values(1", "INSERT INTO t values(1,)", "INSERT INTO t values(1) x",
           "INSERT INTO [] values(1)", "INSERT INTO [a]]b] values(1)", "INSERT INTO t values('open)",
           "SELECT * FROM t"}) {
    InsertStatement insert;
    EXPECT_FALSE(ParsePlainInsert(sql, insert)) << sql;
  }
}

TEST(SelectParse, StarFromAnyQuoting) {
  for (std::string sql : {"SELECT * FROM Orders", "select * from [Orders];", "Select*From \"Orders\""}) {
    Statement s = ParseStatement(sql);
    ASSERT_TRUE(std::holds_alternative<SelectStatement>(s)) << sql;
    EXPECT_EQ(std::get<SelectStatement>(s).table, "Orders") << sql;
    EXPECT_FALSE(std::get<SelectStatement>(s).countOnly) << sql;
  }
}

TEST(SelectParse, CountOfRows) {
  for (std::string sql : {"SELECT COUNT(*) FROM Orders", "select count ( * ) from [Orders];"}) {
    Statement s = ParseStatement(sql);
    ASSERT_TRUE(std::holds_alternative<SelectStatement>(s)) << sql;
    EXPECT_EQ(std::get<SelectStatement>(s).table, "Orders") << sql;
    EXPECT_TRUE(std::get<SelectStatement>(s).countOnly) << sql;
  }
  EXPECT_THROW(ParseStatement("SELECT COUNT(id) FROM Orders"), SqlError);
}

struct ErrorCase {
  std::string sql;
  std::string message;  // expected part of the message
};

class SyntaxErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(SyntaxErrors, NamePositionAndCause) {
  try {
    ParseStatement(GetParam().sql);
    FAIL() << "accepted: " << GetParam().sql;
  } catch (const SqlError& e) {
    EXPECT_EQ(e.sqlstate(), "42000");
    EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SyntaxErrors,
    testing::Values(
        ErrorCase{"", "empty statement"},
        ErrorCase{"DROP TABLE x", "position 1: expected CREATE TABLE, CREATE INDEX, ALTER TABLE, INSERT INTO or SELECT"},
        ErrorCase{"Create Table T(", "position 16: expected a column name, found the end"},
        // The converter's statement cut short by a catalog scan that ended early.
        ErrorCase{"Create Table T(\"a\" int  NULL, ", "position 31: expected a column name"},
        ErrorCase{"Create Table T(\"a\" int) x", "position 25: unexpected 'x' after the statement"},
        ErrorCase{"Create Table T(\"a\" int NULL \"b\" int)", "expected ',' or ')' after column \"a\""},
        ErrorCase{"Create Table T(\"a)", "position 16: unterminated quoted name"},
        ErrorCase{"INSERT INTO T values('abc)", "unterminated string literal"},
        ErrorCase{"INSERT INTO T values(1, )", "position 25: expected a value"},
        ErrorCase{"INSERT INTO T values(1 2)", "expected ')', found '2'"},
        ErrorCase{"INSERT INTO T values(- 'x')", "expected a number after the sign"},
        ErrorCase{"INSERT INTO T values(12abc)", "malformed number"},
        ErrorCase{"INSERT INTO Tü values(1, !)", "position 26: unexpected character '!'"},
        ErrorCase{"SELECT a FROM T", "expected '*'"},
        ErrorCase{"Create Table T(a int, PRIMARY KEY (a), PRIMARY KEY (a))",
                  "more than one PRIMARY KEY constraint"},
        ErrorCase{"Create Table T(a int DEFAULT)", "expected a constant or a function such as Now() after DEFAULT"},
        ErrorCase{"Create Table T(a int DEFAULT 1 DEFAULT 2)", "DEFAULT given twice"},
        ErrorCase{"CREATE INDEX i ON T (a) WITH NOTHING", "expected PRIMARY, DISALLOW NULL or IGNORE NULL"},
        ErrorCase{"CREATE UNIQUE INDEX ON T (a)", "expected ON, found 'T'"},
        ErrorCase{"ALTER TABLE T ADD CONSTRAINT c CHECK (a)", "expected FOREIGN KEY"},
        ErrorCase{"ALTER TABLE T ADD CONSTRAINT c FOREIGN KEY (a) REFERENCES U ON DELETE SET NULL",
                  "expected CASCADE or NO ACTION"}));

TEST(SchemaStatements, DefaultsAreKeptAsAccessExpressions) {
  Statement s = ParseStatement(
      "CREATE TABLE T (a INT DEFAULT ((0)), b VARCHAR(9) DEFAULT 'it''s \"x\"', c DATETIME DEFAULT now(), "
      "d BIT DEFAULT false, e INT DEFAULT - 5, f INT DEFAULT 0x1F, g MONEY NOT NULL DEFAULT 1.25, h TEXT(3) DEFAULT \"USA\")");
  auto& create = std::get<CreateTableStatement>(s);
  std::vector<std::string> got;
  for (const auto& c : create.columns) got.push_back(c.defaultExpression.value_or("<none>"));
  EXPECT_EQ(got, (std::vector<std::string>{"0", "\"it's \"\"x\"\"\"", "Now()", "False", "-5", "31", "1.25", "\"USA\""}));
  EXPECT_EQ(create.columns[6].nullability, Nullability::NotNull);
}

TEST(SchemaStatements, CreateIndexAndForeignKeys) {
  Statement s = ParseStatement("create unique index ByName on dbo.People (Last desc, First ASC, Born) with disallow null");
  auto& index = std::get<CreateIndexStatement>(s);
  EXPECT_EQ(index.name, "ByName");
  EXPECT_EQ(index.table, "People");
  EXPECT_TRUE(index.unique);
  ASSERT_EQ(index.columns.size(), 3u);
  EXPECT_FALSE(index.columns[0].ascending);
  EXPECT_TRUE(index.columns[1].ascending && index.columns[2].ascending);
  EXPECT_TRUE(index.disallowNull);
  EXPECT_FALSE(index.primary || index.ignoreNull);

  Statement f = ParseStatement(
      "ALTER TABLE [Order Details] ADD CONSTRAINT FK_1 FOREIGN KEY (OrderID, Line) REFERENCES Orders (ID, L) "
      "ON UPDATE NO ACTION ON DELETE CASCADE;");
  auto& fk = std::get<AddForeignKeyStatement>(f);
  EXPECT_EQ(fk.table, "Order Details");
  EXPECT_EQ(fk.name, "FK_1");
  EXPECT_EQ(fk.columns, (std::vector<std::string>{"OrderID", "Line"}));
  EXPECT_EQ(fk.referencedTable, "Orders");
  EXPECT_EQ(fk.referencedColumns, (std::vector<std::string>{"ID", "L"}));
  EXPECT_FALSE(fk.cascadeUpdates);
  EXPECT_TRUE(fk.cascadeDeletes);
  EXPECT_TRUE(fk.enforce);
  EXPECT_FALSE(std::get<AddForeignKeyStatement>(
                   ParseStatement("ALTER TABLE a ADD CONSTRAINT f FOREIGN KEY (x) REFERENCES b (y) NOT ENFORCED"))
                   .enforce);
}

}  // namespace
}  // namespace mdb
