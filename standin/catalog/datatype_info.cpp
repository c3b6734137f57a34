#include "catalog/datatype_info.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "protocol/column_encoder.h"
#include "protocol/tds_tokens.h"

namespace standin {
namespace {

constexpr int kNull = -999999;  // marks a NULL field in the table below

struct TypeRow {
  const char* name;
  int dataType;
  int precision;
  const char* prefix;
  const char* suffix;
  const char* createParams;
  int caseSensitive;
  int searchable;
  int unsignedAttribute;
  int money;
  int autoIncrement;
  int minScale;
  int maxScale;
  int sqlDataType;
  int datetimeSub;
  int radix;
  int userType;
};

// As SQL Server's catalog lists them (ODBC 3 codes; sorted by DATA_TYPE below).
constexpr TypeRow kTypes[] = {
    {"sql_variant", -150, 8000, nullptr, nullptr, nullptr, 0, 2, kNull, 0, kNull, 0, 0, -150, kNull, 10, 0},
    {"datetimeoffset", -155, 34, "'", "'", "scale", 0, 3, kNull, 0, kNull, 0, 7, -155, 0, kNull, 0},
    {"time", -154, 16, "'", "'", "scale", 0, 3, kNull, 0, kNull, 0, 7, -154, 0, kNull, 0},
    {"xml", -152, 1073741823, "N'", "'", nullptr, 1, 0, kNull, 0, kNull, kNull, kNull, -152, kNull, kNull, 0},
    {"uniqueidentifier", -11, 36, "'", "'", nullptr, 0, 2, kNull, 0, kNull, kNull, kNull, -11, kNull, kNull, 0},
    {"ntext", -10, 1073741823, "N'", "'", nullptr, 0, 1, kNull, 0, kNull, kNull, kNull, -10, kNull, kNull, 0},
    {"nvarchar", -9, 4000, "N'", "'", "max length", 0, 3, kNull, 0, kNull, kNull, kNull, -9, kNull, kNull, 0},
    {"sysname", -9, 128, "N'", "'", nullptr, 0, 3, kNull, 0, kNull, kNull, kNull, -9, kNull, kNull, 18},
    {"nchar", -8, 4000, "N'", "'", "length", 0, 3, kNull, 0, kNull, kNull, kNull, -8, kNull, kNull, 0},
    {"bit", -7, 1, nullptr, nullptr, nullptr, 0, 2, kNull, 0, kNull, 0, 0, -7, kNull, kNull, 16},
    {"tinyint", -6, 3, nullptr, nullptr, nullptr, 0, 2, 1, 0, 0, 0, 0, -6, kNull, 10, 5},
    {"tinyint identity", -6, 3, nullptr, nullptr, nullptr, 0, 2, 1, 0, 1, 0, 0, -6, kNull, 10, 5},
    {"bigint", -5, 19, nullptr, nullptr, nullptr, 0, 2, 0, 0, 0, 0, 0, -5, kNull, 10, 0},
    {"bigint identity", -5, 19, nullptr, nullptr, nullptr, 0, 2, 0, 0, 1, 0, 0, -5, kNull, 10, 0},
    {"image", -4, 2147483647, "0x", nullptr, nullptr, 0, 0, kNull, 0, kNull, kNull, kNull, -4, kNull, kNull, 20},
    {"varbinary", -3, 8000, "0x", nullptr, "max length", 0, 2, kNull, 0, kNull, kNull, kNull, -3, kNull, kNull, 4},
    {"binary", -2, 8000, "0x", nullptr, "length", 0, 2, kNull, 0, kNull, kNull, kNull, -2, kNull, kNull, 3},
    {"timestamp", -2, 8, "0x", nullptr, nullptr, 0, 2, kNull, 0, kNull, kNull, kNull, -2, kNull, kNull, 80},
    {"text", -1, 2147483647, "'", "'", nullptr, 0, 1, kNull, 0, kNull, kNull, kNull, -1, kNull, kNull, 19},
    {"char", 1, 8000, "'", "'", "length", 0, 3, kNull, 0, kNull, kNull, kNull, 1, kNull, kNull, 1},
    {"numeric", 2, 38, nullptr, nullptr, "precision,scale", 0, 2, 0, 0, 0, 0, 38, 2, kNull, 10, 10},
    {"numeric() identity", 2, 38, nullptr, nullptr, "precision", 0, 2, 0, 0, 1, 0, 0, 2, kNull, 10, 10},
    {"decimal", 3, 38, nullptr, nullptr, "precision,scale", 0, 2, 0, 0, 0, 0, 38, 3, kNull, 10, 24},
    {"money", 3, 19, "$", nullptr, nullptr, 0, 2, 0, 1, 0, 4, 4, 3, kNull, 10, 11},
    {"smallmoney", 3, 10, "$", nullptr, nullptr, 0, 2, 0, 1, 0, 4, 4, 3, kNull, 10, 21},
    {"decimal() identity", 3, 38, nullptr, nullptr, "precision", 0, 2, 0, 0, 1, 0, 0, 3, kNull, 10, 24},
    {"int", 4, 10, nullptr, nullptr, nullptr, 0, 2, 0, 0, 0, 0, 0, 4, kNull, 10, 7},
    {"int identity", 4, 10, nullptr, nullptr, nullptr, 0, 2, 0, 0, 1, 0, 0, 4, kNull, 10, 7},
    {"smallint", 5, 5, nullptr, nullptr, nullptr, 0, 2, 0, 0, 0, 0, 0, 5, kNull, 10, 6},
    {"smallint identity", 5, 5, nullptr, nullptr, nullptr, 0, 2, 0, 0, 1, 0, 0, 5, kNull, 10, 6},
    {"float", 6, 53, nullptr, nullptr, nullptr, 0, 2, 0, 0, 0, kNull, kNull, 6, kNull, 2, 8},
    {"real", 7, 24, nullptr, nullptr, nullptr, 0, 2, 0, 0, 0, kNull, kNull, 7, kNull, 2, 23},
    {"varchar", 12, 8000, "'", "'", "max length", 0, 3, kNull, 0, kNull, kNull, kNull, 12, kNull, kNull, 2},
    {"date", 91, 10, "'", "'", nullptr, 0, 3, kNull, 0, kNull, kNull, kNull, 9, 1, kNull, 0},
    {"datetime2", 93, 27, "'", "'", "scale", 0, 3, kNull, 0, kNull, 0, 7, 9, 3, kNull, 0},
    {"datetime", 93, 23, "'", "'", nullptr, 0, 3, kNull, 0, kNull, 3, 3, 9, 3, kNull, 12},
    {"smalldatetime", 93, 16, "'", "'", nullptr, 0, 3, kNull, 0, kNull, 0, 0, 9, 3, kNull, 22},
};

// ODBC 2 knows the date/time types under their older codes.
int Odbc2Code(int code) { return code == 91 ? 9 : code == 92 ? 10 : code == 93 ? 11 : code; }

ResultColumn Column(const char* name, TypeKind kind, int length = 0, bool nullable = true) {
  return {name, SqlType{kind, length, 0, 0}, nullable, false, ""};
}

}  // namespace

void WriteDatatypeInfo(ReplyWriter& w, int dataType, int odbcVersion) {
  const std::vector<ResultColumn> columns = {
      Column("TYPE_NAME", TypeKind::NVarChar, 128, false), Column("DATA_TYPE", TypeKind::SmallInt, 0, false),
      Column("PRECISION", TypeKind::Int), Column("LITERAL_PREFIX", TypeKind::VarChar, 32),
      Column("LITERAL_SUFFIX", TypeKind::VarChar, 32), Column("CREATE_PARAMS", TypeKind::VarChar, 32),
      Column("NULLABLE", TypeKind::SmallInt, 0, false), Column("CASE_SENSITIVE", TypeKind::SmallInt, 0, false),
      Column("SEARCHABLE", TypeKind::SmallInt, 0, false), Column("UNSIGNED_ATTRIBUTE", TypeKind::SmallInt),
      Column("MONEY", TypeKind::SmallInt, 0, false), Column("AUTO_INCREMENT", TypeKind::SmallInt),
      Column("LOCAL_TYPE_NAME", TypeKind::NVarChar, 128), Column("MINIMUM_SCALE", TypeKind::SmallInt),
      Column("MAXIMUM_SCALE", TypeKind::SmallInt), Column("SQL_DATA_TYPE", TypeKind::SmallInt, 0, false),
      Column("SQL_DATETIME_SUB", TypeKind::SmallInt), Column("NUM_PREC_RADIX", TypeKind::Int),
      Column("INTERVAL_PRECISION", TypeKind::SmallInt), Column("USERTYPE", TypeKind::SmallInt)};
  std::vector<const TypeRow*> rows;
  for (const auto& t : kTypes) {
    const int code = odbcVersion >= 3 ? t.dataType : Odbc2Code(t.dataType);
    if (dataType == 0 || dataType == code || dataType == t.dataType) rows.push_back(&t);
  }
  std::stable_sort(rows.begin(), rows.end(), [&](const TypeRow* a, const TypeRow* b) {
    const int x = odbcVersion >= 3 ? a->dataType : Odbc2Code(a->dataType);
    const int y = odbcVersion >= 3 ? b->dataType : Odbc2Code(b->dataType);
    return x < y;
  });
  WriteColumnMetadata(w, columns);
  for (const TypeRow* t : rows) {
    const int code = odbcVersion >= 3 ? t->dataType : Odbc2Code(t->dataType);
    const std::string name = t->name;
    auto text = [](const char* s) {  // points at the literal itself, which outlives the row
      Cell c;
      if (s) {
        c.kind = Cell::Kind::Text;
        c.data = reinterpret_cast<const uint8_t*>(s);
        c.size = std::strlen(s);
      }
      return c;
    };
    auto number = [](int v) { return v == kNull ? Cell{} : Cell::Int(v); };
    const Cell cells[] = {Cell::Text(name), Cell::Int(code), Cell::Int(t->precision), text(t->prefix),
                          text(t->suffix), text(t->createParams), Cell::Int(1), Cell::Int(t->caseSensitive),
                          Cell::Int(t->searchable), number(t->unsignedAttribute), Cell::Int(t->money),
                          number(t->autoIncrement), Cell::Text(name), number(t->minScale), number(t->maxScale),
                          Cell::Int(odbcVersion >= 3 ? t->sqlDataType : code), number(t->datetimeSub),
                          number(t->radix), Cell{}, Cell::Int(t->userType)};
    w.U8(kTokRow);
    for (size_t i = 0; i < columns.size(); ++i) WriteColumnValue(w, columns[i], cells[i]);
  }
  WriteDone(w, kTokDoneInProc, kDoneMore | kDoneCount, kCmdSelect, rows.size());
}

}  // namespace standin
