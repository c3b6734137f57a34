// Every type word a CREATE TABLE may carry, and the Jet column it makes.
#include <gtest/gtest.h>

#include "column_types.h"
#include "sql_error.h"
#include "sql_parser.h"

namespace mdb {
namespace {

using jet::ColumnType;

jet::ColumnDef ColumnOf(const std::string& definition) {
  Statement s = ParseStatement("Create Table T(" + definition + ")");
  return ColumnFromSpec(std::get<CreateTableStatement>(s).columns.at(0));
}

struct TypeCase {
  std::string definition;
  ColumnType type;
  int length = 0;  // Text/Binary
  int precision = 0, scale = 0;  // Decimal
  bool required = false;
};

class TypeWords : public testing::TestWithParam<TypeCase> {};

TEST_P(TypeWords, MakeTheirJetColumn) {
  const TypeCase& c = GetParam();
  jet::ColumnDef column = ColumnOf(c.definition);
  EXPECT_EQ(column.name, "c");
  EXPECT_EQ(column.type, c.type);
  if (c.type == ColumnType::Text || c.type == ColumnType::Binary) {
    EXPECT_EQ(column.length, c.length);
  }
  if (c.type == ColumnType::Decimal) {
    EXPECT_EQ(column.precision, c.precision);
    EXPECT_EQ(column.scale, c.scale);
  }
  EXPECT_EQ(column.required, c.required);
}

INSTANTIATE_TEST_SUITE_P(
    All, TypeWords,
    testing::Values(
        TypeCase{"\"c\" VARCHAR(40) NULL", ColumnType::Text, 40},
        TypeCase{"\"c\" varchar(1000) NOT NULL", ColumnType::Memo, 0, 0, 0, true},
        TypeCase{"\"c\" char(10)PRIMARY KEY NOT NULL", ColumnType::Text, 10, 0, 0, true},
        TypeCase{"\"c\" nchar(300) NULL", ColumnType::Memo},
        TypeCase{"\"c\" NVARCHAR(255) NULL", ColumnType::Text, 255},
        TypeCase{"\"c\" VARCHAR(256) NULL", ColumnType::Memo},
        TypeCase{"\"c\" text (20) NULL", ColumnType::Text, 20},
        TypeCase{"\"c\" TEXT  NULL", ColumnType::Memo},
        TypeCase{"\"c\" memo  NULL", ColumnType::Memo},
        TypeCase{"c Memo  NULL", ColumnType::Memo},
        TypeCase{"\"c\" bit  NOT NULL", ColumnType::Boolean, 0, 0, 0, true},
        TypeCase{"\"c\" byte  NULL", ColumnType::Byte},
        TypeCase{"\"c\" TINYINT", ColumnType::Byte},
        TypeCase{"\"c\" smallint  NOT NULL", ColumnType::Integer, 0, 0, 0, true},
        TypeCase{"\"c\" int  NULL", ColumnType::Long},
        TypeCase{"\"c\" INT  NOT NULL", ColumnType::Long, 0, 0, 0, true},
        TypeCase{"\"c\" integer  ", ColumnType::Long},
        TypeCase{"\"c\" INTEGER  NULL", ColumnType::Long},
        TypeCase{"\"c\" bigint", ColumnType::Decimal, 0, 19, 0},
        TypeCase{"\"c\" Money  NULL", ColumnType::Currency},
        TypeCase{"\"c\" smallmoney", ColumnType::Currency},
        TypeCase{"\"c\" real", ColumnType::Single},
        TypeCase{"\"c\" REAL  NULL", ColumnType::Single},
        TypeCase{"\"c\" float", ColumnType::Double},
        TypeCase{"\"c\" DOUBLE  NULL", ColumnType::Double},
        TypeCase{"\"c\" decimal(10,2)", ColumnType::Decimal, 0, 10, 2},
        TypeCase{"\"c\" NUMERIC(28,28)", ColumnType::Decimal, 0, 28, 28},
        TypeCase{"\"c\" DECIMAL(5)", ColumnType::Decimal, 0, 5, 0},
        TypeCase{"\"c\" datetime  NOT NULL", ColumnType::DateTime, 0, 0, 0, true},
        TypeCase{"\"c\" smalldatetime  NULL", ColumnType::DateTime},
        TypeCase{"\"c\" OLEObject  NULL", ColumnType::Ole},
        TypeCase{"\"c\" image", ColumnType::Ole},
        TypeCase{"\"c\" binary(16)", ColumnType::Binary, 16},
        TypeCase{"\"c\" varbinary(8000)", ColumnType::Ole},
        TypeCase{"\"c\" varbinary", ColumnType::Binary, 255},
        TypeCase{"\"c\" timestamp", ColumnType::Binary, 8},
        TypeCase{"\"c\" uniqueidentifier", ColumnType::Guid},
        TypeCase{"\"c\" GUID  NULL", ColumnType::Guid}));

TEST(TypeWords, UnknownOrMisSizedTypesNameTheColumn) {
  struct Bad {
    std::string definition, message;
  };
  for (const Bad& bad : {Bad{"c sql_variant", "Column \"c\": unknown type 'sql_variant'"},
                         Bad{"c varchar(0)", "text length must be 1 to 255, found 0"},
                         Bad{"c decimal(29,2)", "precision must be 1 to 28, found 29"},
                         Bad{"c decimal(5,6)", "scale must be 0 to the precision (5), found 6"},
                         Bad{"c int(4)", "type int takes no size"}}) {
    try {
      ColumnOf(bad.definition);
      ADD_FAILURE() << "accepted " << bad.definition;
    } catch (const SqlError& e) {
      EXPECT_EQ(e.sqlstate(), "42000");
      EXPECT_NE(std::string(e.what()).find(bad.message), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace mdb
