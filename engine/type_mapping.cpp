#include "type_mapping.h"

#include <sqlext.h>
#include <sqlucode.h>
#include <strings.h>

#include <algorithm>

#include "sql_names.h"

namespace talvoro::engine {
namespace {

// Jet's Text holds at most 255 characters; longer texts go to Memo.
constexpr long kLongestText = 255;
// Jet's Decimal holds at most 28 digits.
constexpr long kWidestDecimal = 28;
// "2024-01-01 12:00:00.1234567 +01:00"
constexpr long kDateTimeOffsetLength = 34;

constexpr char kNotNull[] = "NOT NULL";
constexpr char kNull[] = "NULL";

bool Is(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// "smallint identity" → "smallint": identity columns keep their base type.
std::string_view BaseTypeName(std::string_view typeName) {
  constexpr std::string_view kIdentity = " identity";
  if (typeName.size() > kIdentity.size() &&
      Is(typeName.substr(typeName.size() - kIdentity.size()), kIdentity)) {
    typeName.remove_suffix(kIdentity.size());
  }
  // "decimal() identity" reports its base as "decimal()".
  if (typeName.size() > 2 && typeName.substr(typeName.size() - 2) == "()") typeName.remove_suffix(2);
  return typeName;
}

ColumnMapping Plain(std::string type, const char* key, const char* nullable, ValueKind kind) {
  ColumnMapping m;
  m.typeText = std::move(type);
  m.form = DefinitionForm::Plain;
  m.keyNullability = key;
  m.nullableNullability = nullable;
  m.valueKind = kind;
  return m;
}

ColumnMapping Sized(std::string type, long size, ValueKind kind) {
  ColumnMapping m = Plain(std::move(type), kNotNull, kNull, kind);
  m.form = DefinitionForm::Sized;
  m.size = size;
  return m;
}

ColumnMapping Memo(ValueKind kind) { return Plain("Memo", kNotNull, kNull, kind); }

// Character kinds: Text up to 255 characters, Memo beyond and for (max) (size 0).
ColumnMapping Character(std::string type, long size, ValueKind kind) {
  if (size <= 0 || size > kLongestText) return Memo(kind);
  return Sized(std::move(type), size, kind);
}

ColumnMapping Decimal(const ColumnInfo& c, const char* nullable) {
  long precision = c.columnSize;
  long scale = std::max<long>(0, c.decimalDigits);
  if (precision <= 0) precision = 18;
  if (precision > kWidestDecimal) {
    // Jet cannot hold these digits as a number: keep them exactly as text
    // (sign, digits and the decimal point).
    return Sized("VARCHAR", precision + 2, ValueKind::Text);
  }
  return Plain("DECIMAL(" + std::to_string(precision) + "," + std::to_string(scale) + ")", kNotNull,
               nullable, ValueKind::Exact);
}

}  // namespace

std::string SourceTypeText(std::string_view typeName) {
  for (std::string_view known : KnownSourceTypeNames) {
    if (typeName == known) return std::string(typeName);
  }
  return "text ";
}

ColumnMapping MapColumn(const ColumnInfo& c) {
  const std::string_view base = BaseTypeName(c.typeName);
  const bool nullable = Is(c.isNullable, "YES");

  // Types recognised by name first: some drivers report the newer date and time
  // types, xml and sql_variant under character codes.
  if (Is(base, "datetime") || Is(base, "smalldatetime") || Is(base, "datetime2")) {
    ColumnMapping m = Plain("datetime", kNotNull, kNull, ValueKind::DateTime);
    // Whatever precision the catalog reports, only values with such digits count.
    m.finerThanMillisecond = Is(base, "datetime2");
    return m;
  }
  if (Is(base, "date") || Is(base, "time")) {
    ColumnMapping m = Plain("datetime", kNotNull, kNull, ValueKind::DateText);
    m.finerThanMillisecond = Is(base, "time");
    return m;
  }
  if (Is(base, "datetimeoffset")) return Sized("VARCHAR", kDateTimeOffsetLength, ValueKind::Text);
  if (Is(base, "xml")) return Memo(ValueKind::WideText);
  if (Is(base, "sql_variant")) return Memo(ValueKind::Text);
  if (Is(base, "uniqueidentifier")) return Plain("GUID", kNotNull, kNull, ValueKind::Guid);
  if (Is(base, "money") || Is(base, "smallmoney")) {
    return Plain("Money", kNotNull, kNull, ValueKind::Exact);
  }

  switch (c.dataType) {
    case SQL_VARCHAR:
    case SQL_CHAR:
      return Character(SourceTypeText(base), c.columnSize, ValueKind::Text);
    case SQL_WVARCHAR:
    case SQL_WCHAR:
      return Character("VARCHAR", c.columnSize, ValueKind::WideText);
    case SQL_WLONGVARCHAR:
      return Memo(ValueKind::WideText);
    case SQL_LONGVARCHAR:
      return Plain("memo", kNotNull, kNull, ValueKind::Text);
    case SQL_BIT:
      // Yes/No cannot hold NULL: a nullable bit keeps its NULLs as a Byte of 0/1.
      return nullable ? Plain("byte", kNotNull, kNull, ValueKind::Integer)
                      : Plain("bit", kNotNull, kNull, ValueKind::Integer);
    case SQL_TINYINT:
      return Plain("byte", "", kNull, ValueKind::Integer);
    case SQL_SMALLINT:
      return Plain("smallint", kNotNull, kNull, ValueKind::Integer);
    case SQL_INTEGER:
      return Plain("int", "", kNull, ValueKind::Integer);
    case SQL_BIGINT:
      return Plain("DECIMAL(19,0)", kNotNull, kNull, ValueKind::Integer);
    case SQL_DECIMAL:
      return Decimal(c, kNull);
    case SQL_NUMERIC:
      return Decimal(c, "");
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Plain("DOUBLE", kNotNull, kNull, ValueKind::Double);
    case SQL_REAL:
      return Plain("REAL", kNotNull, kNull, ValueKind::Real);
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return Plain("OLEObject", "", kNull, ValueKind::Binary);
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return Plain("datetime", kNotNull, kNull, ValueKind::DateTime);
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_DATE:
    case SQL_TIME:
      return Plain("datetime", kNotNull, kNull, ValueKind::DateText);
    case SQL_GUID:
      return Plain("GUID", kNotNull, kNull, ValueKind::Guid);
    default:
      // Anything else keeps its text form.
      return Memo(ValueKind::Text);
  }
}

bool IsIdentityColumn(const ColumnInfo& c) {
  constexpr std::string_view kIdentity = "identity";
  const std::string_view type = c.typeName;
  return type.size() > kIdentity.size() && Is(type.substr(type.size() - kIdentity.size()), kIdentity);
}

bool MapAutoNumber(const ColumnInfo& c, ColumnMapping& m) {
  if (!IsIdentityColumn(c)) return false;
  if (c.dataType != SQL_INTEGER && c.dataType != SQL_SMALLINT && c.dataType != SQL_TINYINT) return false;
  m = Plain(kAutoNumberType, "", kNull, ValueKind::Integer);
  return true;
}

KeyRole KeyRoleOf(const std::string& columnName, const std::vector<std::string>& keyColumns) {
  if (std::find(keyColumns.begin(), keyColumns.end(), columnName) == keyColumns.end()) {
    return KeyRole::None;
  }
  return keyColumns.size() == 1 ? KeyRole::SingleKey : KeyRole::KeyPart;
}

std::string BuildColumnDefinition(const ColumnInfo& column, const ColumnMapping& m, KeyRole role) {
  const bool nullable = Is(column.isNullable, "YES");
  std::string keyMarker;
  std::string nullability;
  switch (role) {
    case KeyRole::SingleKey:
      keyMarker = "PRIMARY KEY";
      nullability = m.keyNullability;
      break;
    case KeyRole::KeyPart:
      // The key itself is a table constraint; the column is required like any
      // column of a key.
      nullability = kNotNull;
      break;
    case KeyRole::None:
      nullability = nullable ? m.nullableNullability : std::string(kNotNull);
      break;
  }
  std::string definition = QuoteDestinationName(column.columnName);
  definition += ' ';
  definition += m.typeText;
  if (m.form == DefinitionForm::Sized) {
    definition += '(';
    definition += std::to_string(m.size);
    definition += ')';
  } else {
    definition += ' ';
  }
  definition += keyMarker;
  definition += ' ';
  definition += nullability;
  return definition;
}

}  // namespace talvoro::engine
