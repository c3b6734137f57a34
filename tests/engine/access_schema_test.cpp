// Names Access can hold and column defaults as Access expressions.
#include <gtest/gtest.h>

#include <sql.h>
#include <sqlext.h>

#include "engine/access_defaults.h"
#include "engine/access_names.h"
#include "engine/conversion_run.h"
#include "engine/type_mapping.h"

namespace talvoro::engine {
namespace {

struct NameCase {
  std::string source;
  std::string legal;
};

TEST(AccessNames, IllegalCharactersAreReplacedAndLongNamesCut) {
  const std::string sixtyFour(64, 'n');
  const NameCase cases[] = {
      {"Orders", "Orders"},
      {"Order Details", "Order Details"},
      {"it's \"q\"", "it's \"q\""},
      {"dot.name!", "dot_name_"},
      {"a`b[c]d", "a_b_c_d"},
      {" leading", "_leading"},
      {"tab\there", "tab_here"},
      {"", "_"},
      {sixtyFour + "tail", sixtyFour},
      // Characters, not bytes: 64 two-byte characters fit.
      {std::string(32, 'x') + "ü" + std::string(40, 'y'), std::string(32, 'x') + "ü" + std::string(31, 'y')},
      // A character outside the BMP counts twice, as in Jet's UTF-16.
      {std::string(63, 'z') + "😀", std::string(63, 'z')},
      {std::string("bad\xff" "byte"), "bad_byte"},
  };
  for (const NameCase& c : cases) EXPECT_EQ(LegalAccessName(c.source), c.legal) << c.source;
}

TEST(AccessNames, ClaimsAreUniqueWithoutRegardToCase) {
  AccessNameScope scope;
  scope.Reserve("MSysObjects");
  EXPECT_EQ(scope.Claim("a.b"), "a_b");
  EXPECT_EQ(scope.Claim("A_B"), "A_B_2");
  EXPECT_EQ(scope.Claim("a!b"), "a_b_3");
  EXPECT_EQ(scope.Claim("msysobjects"), "msysobjects_2");
  EXPECT_EQ(scope.Claim("Ärger"), "Ärger");
  EXPECT_EQ(scope.Claim("äRGER"), "äRGER_2");
  const std::string longName(70, 'L');
  EXPECT_EQ(scope.Claim(longName), std::string(64, 'L'));
  EXPECT_EQ(scope.Claim(longName + "x"), std::string(62, 'L') + "_2");
  EXPECT_TRUE(scope.Holds("a_B"));
  EXPECT_FALSE(scope.Holds("c"));
}

ColumnInfo Column(SQLSMALLINT type, const std::string& typeName, const std::string& def, long size = 10) {
  ColumnInfo c;
  c.columnName = "c";
  c.dataType = type;
  c.typeName = typeName;
  c.columnSize = static_cast<SQLINTEGER>(size);
  c.isNullable = "YES";
  c.columnDef = def;
  return c;
}

struct DefaultCase {
  ColumnInfo column;
  std::string sql;       // empty: none
  bool listed = false;   // a default that is not carried
};

TEST(AccessDefaults, MeaningsAccessShares) {
  ColumnInfo bitNotNull = Column(SQL_BIT, "bit", "((1))");
  bitNotNull.isNullable = "NO";
  ColumnInfo bitZero = bitNotNull;
  bitZero.columnDef = "((0))";
  const DefaultCase cases[] = {
      {Column(SQL_INTEGER, "int", "((0))"), "0"},
      {Column(SQL_SMALLINT, "smallint", "((-5))"), "-5"},
      {Column(SQL_SMALLINT, "smallint", "(-(5))"), "-5"},
      {Column(SQL_DECIMAL, "money", "((1.50))"), "1.50"},
      {Column(SQL_DOUBLE, "float", "((2.5E3))"), "2.5E3"},
      {Column(SQL_INTEGER, "int", "('7')"), "7"},
      {Column(SQL_INTEGER, "int", "((1.5))"), "", true},
      {bitNotNull, "True"},
      {bitZero, "False"},
      {Column(SQL_BIT, "bit", "((1))"), "1"},  // a nullable bit is a Byte
      {Column(SQL_WVARCHAR, "nvarchar", "(N'USA')"), "'USA'"},
      {Column(SQL_VARCHAR, "varchar", "('it''s (here)')"), "'it''s (here)'"},
      {Column(SQL_VARCHAR, "varchar", "('')"), "''"},
      {Column(SQL_VARCHAR, "varchar", "((42))"), "'42'"},
      {Column(SQL_VARCHAR, "varchar", "('" + std::string(254, 'd') + "')", 300), "", true},
      {Column(SQL_VARCHAR, "varchar", "('" + std::string(253, 'd') + "')", 300),
       "'" + std::string(253, 'd') + "'"},
      {Column(SQL_TYPE_TIMESTAMP, "datetime", "(getdate())"), "Now()"},
      {Column(SQL_TYPE_TIMESTAMP, "datetime2", "(sysdatetime())"), "Now()"},
      {Column(SQL_TYPE_TIMESTAMP, "datetime", "(CURRENT_TIMESTAMP)"), "Now()"},
      {Column(SQL_TYPE_DATE, "date", "(getdate())"), "Date()"},
      {Column(SQL_TYPE_TIME, "time", "(getdate())"), "Time()"},
      {Column(SQL_TYPE_TIMESTAMP, "datetime", "(getutcdate())"), "", true},
      {Column(SQL_TYPE_TIMESTAMP, "datetime", "('2000-01-01')"), "", true},
      {Column(SQL_GUID, "uniqueidentifier", "(newid())"), "", true},
      {Column(SQL_VARCHAR, "varchar", "(suser_sname())"), "", true},
      {Column(SQL_VARCHAR, "varchar", "(getdate())"), "", true},
      {Column(SQL_INTEGER, "int", "((1)+(2))"), "", true},
      {Column(SQL_VARBINARY, "varbinary", "(0x00)"), "", true},
      {Column(SQL_INTEGER, "int", "(NULL)"), ""},
      {Column(SQL_INTEGER, "int", ""), ""},
  };
  for (const DefaultCase& c : cases) {
    const DefaultTranslation t = TranslateDefault(c.column, MapColumn(c.column));
    EXPECT_EQ(t.sql, c.sql) << c.column.typeName << " " << c.column.columnDef;
    EXPECT_EQ(!t.problem.empty(), c.listed) << c.column.typeName << " " << c.column.columnDef << ": " << t.problem;
    if (c.listed) {
      EXPECT_NE(t.problem.find(c.column.columnDef), std::string::npos) << t.problem;
    }
  }
}

TEST(AccessDefaults, IdentityColumnsBecomeAutoNumbersWhereALongHoldsThem) {
  for (auto [type, name, autoNumber] : {std::tuple{SQL_INTEGER, "int identity", true},
                                        std::tuple{SQL_SMALLINT, "smallint identity", true},
                                        std::tuple{SQL_TINYINT, "tinyint identity", true},
                                        std::tuple{SQL_BIGINT, "bigint identity", false},
                                        std::tuple{SQL_NUMERIC, "numeric() identity", false},
                                        std::tuple{SQL_INTEGER, "int", false}}) {
    ColumnInfo c = Column(static_cast<SQLSMALLINT>(type), name, "");
    ColumnMapping m = MapColumn(c);
    EXPECT_EQ(MapAutoNumber(c, m), autoNumber) << name;
    if (autoNumber) {
      EXPECT_EQ(BuildColumnDefinition(c, m, KeyRole::SingleKey), "\"c\" COUNTER PRIMARY KEY ");
    }
  }
}

TEST(RunTexts, NotesNameTheirTable) {
  ConversionResult result;
  result.tables.resize(2);
  result.tables[0].sourceName = "Orders";
  result.tables[0].converted = true;
  result.tables[0].notes = {"first", "second"};
  result.tables[1].sourceName = "Plain";
  result.tables[1].converted = true;
  EXPECT_EQ(ConversionNotesText(result), "Orders: first\nOrders: second");
  EXPECT_EQ(CompletionText(result), "Database Conversion Compleated Successfully");
  result.tables[0].notes.clear();
  EXPECT_EQ(ConversionNotesText(result), "");
}

}  // namespace
}  // namespace talvoro::engine
