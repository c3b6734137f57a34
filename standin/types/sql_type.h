// SQL Server column types as the stand-in keeps them: the type itself with its
// length/precision/scale, and what the catalog procedures report for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace standin {

struct Collation;

enum class TypeKind {
  Int, SmallInt, TinyInt, BigInt, Bit,
  Decimal, Numeric, Money, SmallMoney, Float, Real,
  DateTime, SmallDateTime, Date, Time, DateTime2,
  Char, VarChar, NChar, NVarChar, Text, NText,
  Binary, VarBinary, Image, Timestamp, UniqueIdentifier,
  SqlVariant, DateTimeOffset, Xml, HierarchyId, Geography, Geometry,
};

constexpr int kMaxLength = -1;  // varchar(max), nvarchar(max), varbinary(max)

struct SqlType {
  TypeKind kind = TypeKind::Int;
  int length = 0;     // characters (char families) or bytes (binary); kMaxLength for (max)
  int precision = 0;  // decimal/numeric
  int scale = 0;      // decimal/numeric; fractional digits of time/datetime2
  const Collation* collation = nullptr;  // declared COLLATE of a character column; null: the server's

  bool IsMax() const { return length == kMaxLength; }
};

bool IsIntegerKind(TypeKind k);
bool IsCharKind(TypeKind k);      // char, varchar, text
bool IsNCharKind(TypeKind k);     // nchar, nvarchar, ntext
bool IsBinaryKind(TypeKind k);    // binary, varbinary, image
bool IsDateTimeKind(TypeKind k);  // datetime ... datetime2, datetimeoffset

// The base type name as SQL Server spells it ("int", "nvarchar" ...).
std::string TypeName(const SqlType& t);
// Full declaration, e.g. "decimal(10,2)", "nvarchar(max)".
std::string TypeDeclaration(const SqlType& t);

// Builds a type from a name and up to two size arguments as written in a
// declaration (`argCount` 0..2; `isMax` for "(max)"). Returns nullopt with `error`
// set (a SQL Server message) for unknown names or bad sizes.
std::optional<SqlType> MakeType(const std::string& name, int argCount, long long arg1, long long arg2,
                                bool isMax, std::string& error);

// A type as stored in the column metadata table.
std::optional<SqlType> TypeFromStorage(const std::string& name, int length, int precision, int scale);

// SQLite column declaration giving the right affinity for the stored form.
const char* SqliteDeclType(const SqlType& t);

// One sp_columns row's type-dependent values. Optional fields are NULL when empty.
struct CatalogTypeInfo {
  int dataType = 0;
  std::string typeName;
  std::optional<int> precision;
  std::optional<int> length;
  std::optional<int> scale;
  std::optional<int> radix;
  int sqlDataType = 0;
  std::optional<int> datetimeSub;
  std::optional<int> charOctetLength;
  int ssDataType = 0;
};
CatalogTypeInfo DescribeForCatalog(const SqlType& t, bool identity, bool nullable, int odbcVersion);

}  // namespace standin
