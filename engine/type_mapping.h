// Source column → destination column: the Access type of a catalog row, its
// definition text in the "Create Table" statement, and how its values are read
// and written during the row copy. No value is lost: every source type maps to
// a destination type that holds all of its values.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "column_info.h"

namespace talvoro::engine {

// The source type names that may stand as a destination type text.
inline constexpr std::array<std::string_view, 25> KnownSourceTypeNames = {
    "int identity", "bigint", "binary", "bit", "char", "datetime", "decimal", "float", "image",
    "int", "money", "nchar", "numeric", "nvarchar", "real", "smalldatetime", "smallint",
    "smallmoney", "sql_variant", "text", "timestamp", "tinyint", "uniqueidentifier", "varbinary",
    "varchar"};

// How a column's values are read from the source and written as literals.
enum class ValueKind {
  Integer,   // 64-bit integer, bare digits (int kinds, bigint, bit)
  Exact,     // the driver's text form, bare (decimal, numeric, money)
  Double,    // shortest round-trip text of a double
  Real,      // a float written so that it reads back exactly
  DateTime,  // date-time structure → 'd/m/yyyy[ h:mm:ss[.fff]]'
  DateText,  // date or time read as text, then written like DateTime
  Text,      // character text (UTF-8), quoted
  WideText,  // Unicode text read as UTF-16, written as UTF-8, quoted
  Binary,    // bytes → quoted hexadecimal
  Guid,      // '{...}'
};

enum class DefinitionForm {
  Sized,  // "name" TYPE(size)<key marker> <nullability>
  Plain,  // "name" TYPE <key marker> <nullability>
};

struct ColumnMapping {
  std::string typeText;           // the destination type, e.g. "VARCHAR", "DECIMAL(19,0)", "Memo"
  DefinitionForm form = DefinitionForm::Plain;
  long size = 0;                  // for the sized form
  std::string keyNullability;     // for the key column
  std::string nullableNullability;  // for a nullable non-key column ("NOT NULL" otherwise)
  ValueKind valueKind = ValueKind::Text;
  // datetime2 and time with digits below the millisecond, which Access does not keep.
  bool finerThanMillisecond = false;
};

// The type-text rule: TYPE_NAME when it is one of KnownSourceTypeNames, "text " otherwise.
std::string SourceTypeText(std::string_view typeName);

ColumnMapping MapColumn(const ColumnInfo& column);

// An identity column: its TYPE_NAME ends in "identity" ("int identity").
bool IsIdentityColumn(const ColumnInfo& column);

// The destination type of an AutoNumber column (a Long Integer that numbers new rows).
inline constexpr char kAutoNumberType[] = "COUNTER";

// The AutoNumber form of an identity column's mapping, when the AutoNumber's Long
// Integer holds every value of the source type (tinyint, smallint, int); false
// otherwise (bigint, decimal and numeric identities stay plain numbers).
bool MapAutoNumber(const ColumnInfo& column, ColumnMapping& mapping);

// What the table's key makes of a column.
enum class KeyRole {
  None,       // not part of the key
  SingleKey,  // the table's one key column: carries "PRIMARY KEY" itself
  KeyPart,    // one column of a key of several: the key is a table constraint
};

KeyRole KeyRoleOf(const std::string& columnName, const std::vector<std::string>& keyColumns);

// The column's definition text. The name stands between double quotes (inner ones
// doubled) in every form.
std::string BuildColumnDefinition(const ColumnInfo& column, const ColumnMapping& mapping,
                                  KeyRole role);

}  // namespace talvoro::engine
