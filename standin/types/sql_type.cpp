#include "types/sql_type.h"

#include <algorithm>
#include <cctype>

namespace standin {
namespace {

struct NameEntry {
  const char* name;
  TypeKind kind;
};

constexpr NameEntry kNames[] = {
    {"int", TypeKind::Int},           {"integer", TypeKind::Int},
    {"smallint", TypeKind::SmallInt}, {"tinyint", TypeKind::TinyInt},
    {"bigint", TypeKind::BigInt},     {"bit", TypeKind::Bit},
    {"decimal", TypeKind::Decimal},   {"dec", TypeKind::Decimal},
    {"numeric", TypeKind::Numeric},   {"money", TypeKind::Money},
    {"smallmoney", TypeKind::SmallMoney}, {"float", TypeKind::Float},
    {"real", TypeKind::Real},         {"datetime", TypeKind::DateTime},
    {"smalldatetime", TypeKind::SmallDateTime}, {"date", TypeKind::Date},
    {"time", TypeKind::Time},         {"datetime2", TypeKind::DateTime2},
    {"char", TypeKind::Char},         {"character", TypeKind::Char},
    {"varchar", TypeKind::VarChar},   {"nchar", TypeKind::NChar},
    {"nvarchar", TypeKind::NVarChar}, {"text", TypeKind::Text},
    {"ntext", TypeKind::NText},       {"binary", TypeKind::Binary},
    {"varbinary", TypeKind::VarBinary}, {"image", TypeKind::Image},
    {"timestamp", TypeKind::Timestamp}, {"rowversion", TypeKind::Timestamp},
    {"uniqueidentifier", TypeKind::UniqueIdentifier}, {"sysname", TypeKind::NVarChar},
    {"sql_variant", TypeKind::SqlVariant}, {"datetimeoffset", TypeKind::DateTimeOffset},
    {"xml", TypeKind::Xml},           {"hierarchyid", TypeKind::HierarchyId},
    {"geography", TypeKind::Geography},       {"geometry", TypeKind::Geometry},
};

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

bool IsIntegerKind(TypeKind k) {
  return k == TypeKind::Int || k == TypeKind::SmallInt || k == TypeKind::TinyInt || k == TypeKind::BigInt;
}
bool IsCharKind(TypeKind k) { return k == TypeKind::Char || k == TypeKind::VarChar || k == TypeKind::Text; }
bool IsNCharKind(TypeKind k) { return k == TypeKind::NChar || k == TypeKind::NVarChar || k == TypeKind::NText; }
bool IsBinaryKind(TypeKind k) { return k == TypeKind::Binary || k == TypeKind::VarBinary || k == TypeKind::Image; }
bool IsDateTimeKind(TypeKind k) {
  return k == TypeKind::DateTime || k == TypeKind::SmallDateTime || k == TypeKind::Date ||
         k == TypeKind::Time || k == TypeKind::DateTime2 || k == TypeKind::DateTimeOffset;
}

std::string TypeName(const SqlType& t) {
  switch (t.kind) {
    case TypeKind::Int: return "int";
    case TypeKind::SmallInt: return "smallint";
    case TypeKind::TinyInt: return "tinyint";
    case TypeKind::BigInt: return "bigint";
    case TypeKind::Bit: return "bit";
    case TypeKind::Decimal: return "decimal";
    case TypeKind::Numeric: return "numeric";
    case TypeKind::Money: return "money";
    case TypeKind::SmallMoney: return "smallmoney";
    case TypeKind::Float: return "float";
    case TypeKind::Real: return "real";
    case TypeKind::DateTime: return "datetime";
    case TypeKind::SmallDateTime: return "smalldatetime";
    case TypeKind::Date: return "date";
    case TypeKind::Time: return "time";
    case TypeKind::DateTime2: return "datetime2";
    case TypeKind::Char: return "char";
    case TypeKind::VarChar: return "varchar";
    case TypeKind::NChar: return "nchar";
    case TypeKind::NVarChar: return "nvarchar";
    case TypeKind::Text: return "text";
    case TypeKind::NText: return "ntext";
    case TypeKind::Binary: return "binary";
    case TypeKind::VarBinary: return "varbinary";
    case TypeKind::Image: return "image";
    case TypeKind::Timestamp: return "timestamp";
    case TypeKind::UniqueIdentifier: return "uniqueidentifier";
    case TypeKind::SqlVariant: return "sql_variant";
    case TypeKind::DateTimeOffset: return "datetimeoffset";
    case TypeKind::Xml: return "xml";
    case TypeKind::HierarchyId: return "hierarchyid";
    case TypeKind::Geography: return "geography";
    case TypeKind::Geometry: return "geometry";
  }
  return "int";
}

std::string TypeDeclaration(const SqlType& t) {
  const std::string name = TypeName(t);
  switch (t.kind) {
    case TypeKind::Decimal:
    case TypeKind::Numeric:
      return name + "(" + std::to_string(t.precision) + "," + std::to_string(t.scale) + ")";
    case TypeKind::Time:
    case TypeKind::DateTime2:
    case TypeKind::DateTimeOffset:
      return name + "(" + std::to_string(t.scale) + ")";
    case TypeKind::Char: case TypeKind::VarChar: case TypeKind::NChar: case TypeKind::NVarChar:
    case TypeKind::Binary: case TypeKind::VarBinary:
      return name + "(" + (t.IsMax() ? std::string("max") : std::to_string(t.length)) + ")";
    default:
      return name;
  }
}

std::optional<SqlType> MakeType(const std::string& rawName, int argCount, long long arg1, long long arg2,
                                bool isMax, std::string& error) {
  const std::string name = Lower(rawName);
  const auto* entry = std::find_if(std::begin(kNames), std::end(kNames),
                                   [&](const NameEntry& e) { return name == e.name; });
  if (entry == std::end(kNames)) {
    error = "Column, parameter, or variable #1: Cannot find data type " + rawName + ".";
    return std::nullopt;
  }
  SqlType t;
  t.kind = entry->kind;
  const auto bad = [&](const std::string& text) {
    error = text;
    return std::nullopt;
  };
  switch (t.kind) {
    case TypeKind::Decimal:
    case TypeKind::Numeric:
      if (isMax) return bad("Incorrect syntax near 'max'.");
      t.precision = argCount >= 1 ? static_cast<int>(arg1) : 18;
      t.scale = argCount >= 2 ? static_cast<int>(arg2) : 0;
      if (t.precision < 1 || t.precision > 38)
        return bad("Column or parameter #1: Specified column precision " + std::to_string(t.precision) +
                   " is greater than the maximum precision of 38.");
      if (t.scale < 0 || t.scale > t.precision)
        return bad("The scale (" + std::to_string(t.scale) + ") for column must be within the range 0 to " +
                   std::to_string(t.precision) + ".");
      return t;
    case TypeKind::Float:
      if (argCount >= 1) {
        if (arg1 < 1 || arg1 > 53)
          return bad("Invalid float precision " + std::to_string(arg1) + ". It must be between 1 and 53.");
        if (arg1 <= 24) t.kind = TypeKind::Real;
      }
      return t;
    case TypeKind::Time:
    case TypeKind::DateTime2:
    case TypeKind::DateTimeOffset:
      t.scale = argCount >= 1 ? static_cast<int>(arg1) : 7;
      if (t.scale < 0 || t.scale > 7)
        return bad("Specified scale " + std::to_string(t.scale) + " is invalid.");
      return t;
    case TypeKind::Char: case TypeKind::VarChar: case TypeKind::Binary: case TypeKind::VarBinary:
    case TypeKind::NChar: case TypeKind::NVarChar: {
      const bool wide = t.kind == TypeKind::NChar || t.kind == TypeKind::NVarChar;
      const int limit = wide ? 4000 : 8000;
      if (rawName == "sysname" || Lower(rawName) == "sysname") { t.length = 128; return t; }
      if (isMax) {
        if (t.kind == TypeKind::Char || t.kind == TypeKind::NChar || t.kind == TypeKind::Binary)
          return bad("Incorrect syntax near 'max'.");
        t.length = kMaxLength;
        return t;
      }
      t.length = argCount >= 1 ? static_cast<int>(arg1) : 1;
      if (t.length < 1 || t.length > limit)
        return bad("The size (" + std::to_string(arg1) + ") given to the type '" + name +
                   "' exceeds the maximum allowed for any data type (" + std::to_string(limit) + ").");
      return t;
    }
    default:
      if (argCount > 0 || isMax) return bad("Incorrect syntax near '('.");
      return t;
  }
}

std::optional<SqlType> TypeFromStorage(const std::string& name, int length, int precision, int scale) {
  std::string ignored;
  auto t = MakeType(name, 0, 0, 0, false, ignored);
  if (!t) return std::nullopt;
  t->length = length;
  t->precision = precision;
  t->scale = scale;
  return t;
}

const char* SqliteDeclType(const SqlType& t) {
  switch (t.kind) {
    case TypeKind::Int: case TypeKind::SmallInt: case TypeKind::TinyInt: case TypeKind::BigInt:
    case TypeKind::Bit:
      return "INTEGER";
    case TypeKind::Decimal: case TypeKind::Numeric: case TypeKind::Money: case TypeKind::SmallMoney:
      // No affinity: values SQLite can hold exactly as REAL are stored so (they
      // compare and sort as numbers), longer ones as exact text.
      return "";
    case TypeKind::Float: case TypeKind::Real:
      return "REAL";
    case TypeKind::Binary: case TypeKind::VarBinary: case TypeKind::Image: case TypeKind::Timestamp:
    case TypeKind::HierarchyId: case TypeKind::Geography: case TypeKind::Geometry:
      return "BLOB";
    case TypeKind::SqlVariant:
      return "";  // each value keeps the storage class of its base type
    default:
      return "TEXT";  // dates, texts and GUIDs keep their exact text form
  }
}

CatalogTypeInfo DescribeForCatalog(const SqlType& t, bool identity, bool nullable, int odbcVersion) {
  CatalogTypeInfo c;
  c.typeName = TypeName(t);
  const bool odbc3 = odbcVersion >= 3;
  auto exact = [&](int dataType, int precision, int length, int ssNullable, int ssNotNull) {
    c.dataType = c.sqlDataType = dataType;
    c.precision = precision;
    c.length = length;
    c.scale = 0;
    c.radix = 10;
    c.ssDataType = nullable ? ssNullable : ssNotNull;
  };
  auto chars = [&](int dataType, int precision, int length, int ss) {
    c.dataType = c.sqlDataType = dataType;
    c.precision = precision;
    c.length = length;
    c.charOctetLength = length;
    c.ssDataType = ss;
  };
  switch (t.kind) {
    case TypeKind::Int: exact(4, 10, 4, 38, 56); break;
    case TypeKind::SmallInt: exact(5, 5, 2, 38, 52); break;
    case TypeKind::TinyInt: exact(-6, 3, 1, 38, 48); break;
    case TypeKind::BigInt: exact(-5, 19, 8, 108, 63); break;
    case TypeKind::Bit:
      exact(-7, 1, 1, 50, 50);
      c.radix.reset();
      break;
    case TypeKind::Decimal:
      exact(3, t.precision, t.precision + 2, 106, 55);
      c.scale = t.scale;
      if (identity) c.typeName = "decimal() identity";
      break;
    case TypeKind::Numeric:
      exact(2, t.precision, t.precision + 2, 108, 63);
      c.scale = t.scale;
      if (identity) c.typeName = "numeric() identity";
      break;
    case TypeKind::Money: exact(3, 19, 21, 110, 60); c.scale = 4; break;
    case TypeKind::SmallMoney: exact(3, 10, 12, 110, 122); c.scale = 4; break;
    case TypeKind::Float:
      exact(6, odbc3 ? 53 : 15, 8, 109, 62);
      c.scale.reset();
      c.radix = odbc3 ? 2 : 10;
      break;
    case TypeKind::Real:
      exact(7, odbc3 ? 24 : 7, 4, 109, 59);
      c.scale.reset();
      c.radix = odbc3 ? 2 : 10;
      break;
    case TypeKind::DateTime:
    case TypeKind::SmallDateTime:
      c.dataType = odbc3 ? 93 : 11;
      c.sqlDataType = 9;
      c.datetimeSub = 3;
      c.precision = t.kind == TypeKind::DateTime ? 23 : 16;
      c.length = 16;
      c.scale = t.kind == TypeKind::DateTime ? 3 : 0;
      c.ssDataType = nullable ? 111 : (t.kind == TypeKind::DateTime ? 61 : 58);
      break;
    // sp_columns describes the newer date and time types as Unicode strings of
    // their literal length, for clients that predate them.
    case TypeKind::Date: chars(-9, 10, 20, 39); break;
    case TypeKind::Time: {
      const int p = 8 + (t.scale > 0 ? t.scale + 1 : 0);
      chars(-9, p, 2 * p, 39);
      break;
    }
    case TypeKind::DateTime2: {
      const int p = 19 + (t.scale > 0 ? t.scale + 1 : 0);
      chars(-9, p, 2 * p, 39);
      break;
    }
    case TypeKind::Char: chars(1, t.length, t.length, nullable ? 39 : 47); break;
    case TypeKind::VarChar:
      if (t.IsMax()) chars(-1, 2147483647, 2147483647, 35);
      else chars(12, t.length, t.length, 39);
      break;
    case TypeKind::NChar: chars(-8, t.length, 2 * t.length, nullable ? 39 : 47); break;
    case TypeKind::NVarChar:
      if (t.IsMax()) chars(-10, 1073741823, 2147483646, 35);
      else chars(-9, t.length, 2 * t.length, 39);
      break;
    case TypeKind::Text: chars(-1, 2147483647, 2147483647, 35); break;
    case TypeKind::NText: chars(-10, 1073741823, 2147483646, 35); break;
    case TypeKind::Binary: chars(-2, t.length, t.length, nullable ? 37 : 45); break;
    case TypeKind::VarBinary:
      if (t.IsMax()) chars(-4, 2147483647, 2147483647, 34);
      else chars(-3, t.length, t.length, 37);
      break;
    case TypeKind::Image: chars(-4, 2147483647, 2147483647, 34); break;
    case TypeKind::Timestamp: chars(-2, 8, 8, 45); break;
    case TypeKind::UniqueIdentifier:
      c.dataType = c.sqlDataType = -11;
      c.precision = 36;
      c.length = 16;
      c.ssDataType = 37;
      break;
    case TypeKind::SqlVariant:
      c.dataType = c.sqlDataType = -150;
      c.precision = 8000;
      c.length = 8000;
      c.scale = 0;
      c.radix = 10;
      c.charOctetLength = 8000;
      c.ssDataType = 39;
      break;
    case TypeKind::DateTimeOffset: {
      const int p = 26 + (t.scale > 0 ? t.scale + 1 : 0);
      chars(-9, p, 2 * p, 39);
      break;
    }
    case TypeKind::Xml: chars(-10, 1073741823, 2147483646, 35); break;
    case TypeKind::HierarchyId: chars(-3, 892, 892, 37); break;
    case TypeKind::Geography: case TypeKind::Geometry: chars(-4, 2147483647, 2147483647, 34); break;
  }
  if (identity && IsIntegerKind(t.kind)) c.typeName += " identity";
  return c;
}

}  // namespace standin
