// One row of the ODBC column catalog (SQLColumns), every field kept whole.
#pragma once

#include <sql.h>

#include <string>

namespace talvoro::engine {

struct ColumnInfo {
  std::string tableCat;
  std::string tableSchem;
  std::string tableName;
  std::string columnName;
  SQLSMALLINT dataType = 0;    // ODBC 3 SQL type code
  std::string typeName;        // the server's name, e.g. "int identity", "nvarchar"
  SQLINTEGER columnSize = 0;   // characters, digits or bytes; 0 for (max)
  SQLINTEGER bufferLength = 0;
  SQLSMALLINT decimalDigits = 0;
  SQLSMALLINT numPrecRadix = 0;
  SQLSMALLINT nullable = 0;
  std::string remarks;
  std::string columnDef;
  SQLSMALLINT sqlDataType = 0;
  SQLSMALLINT sqlDatetimeSub = 0;
  SQLINTEGER charOctetLength = 0;
  SQLINTEGER ordinalPosition = 0;
  std::string isNullable;      // "YES" or "NO"
};

}  // namespace talvoro::engine
