// SQLGetInfo and SQLGetFunctions: what the driver manager and clients ask about the driver.
#include <algorithm>
#include <cstring>
#include <variant>

#include "odbc_guard.h"
#include "odbc_handles.h"

using namespace mdb;

namespace {

// Every function the library exports. The driver manager disables any function
// whose bit SQLGetFunctions leaves clear, so this list must match exports.
constexpr SQLUSMALLINT kFunctions[] = {
    SQL_API_SQLALLOCHANDLE,   SQL_API_SQLFREEHANDLE,     SQL_API_SQLSETENVATTR,   SQL_API_SQLGETENVATTR,
    SQL_API_SQLCONNECT,       SQL_API_SQLDRIVERCONNECT,  SQL_API_SQLDISCONNECT,   SQL_API_SQLEXECDIRECT,
    SQL_API_SQLPREPARE,       SQL_API_SQLEXECUTE,        SQL_API_SQLROWCOUNT,     SQL_API_SQLNUMRESULTCOLS,
    SQL_API_SQLDESCRIBECOL,   SQL_API_SQLCOLATTRIBUTE,   SQL_API_SQLBINDCOL,      SQL_API_SQLFETCH,
    SQL_API_SQLGETDATA,       SQL_API_SQLFREESTMT,       SQL_API_SQLCLOSECURSOR,  SQL_API_SQLCANCEL,
    SQL_API_SQLNUMPARAMS,     SQL_API_SQLMORERESULTS,    SQL_API_SQLNATIVESQL,    SQL_API_SQLGETINFO,
    SQL_API_SQLGETFUNCTIONS,  SQL_API_SQLSETCONNECTATTR, SQL_API_SQLGETCONNECTATTR, SQL_API_SQLSETSTMTATTR,
    SQL_API_SQLGETSTMTATTR,   SQL_API_SQLENDTRAN,        SQL_API_SQLGETDIAGREC,   SQL_API_SQLGETDIAGFIELD,
    SQL_API_SQLERROR,         SQL_API_SQLTABLES,         SQL_API_SQLBINDPARAMETER, SQL_API_SQLDESCRIBEPARAM,
};

using InfoValue = std::variant<std::string, SQLUSMALLINT, SQLUINTEGER>;

std::optional<InfoValue> Info(SQLUSMALLINT type, const ConnectionHandle& connection) {
  switch (type) {
    case SQL_DRIVER_NAME: return std::string("libtalvoro-mdb.so");
    case SQL_DRIVER_VER: return std::string("01.00.0000");
    case SQL_DRIVER_ODBC_VER: return std::string("03.00");
    case SQL_ODBC_VER: return std::string("03.00");
    case SQL_DBMS_NAME: return std::string("ACCESS");
    case SQL_DBMS_VER: return std::string("04.00.0000");
    case SQL_SERVER_NAME: return std::string("ACCESS");
    case SQL_DATA_SOURCE_NAME: return connection.dataSourceName;
    case SQL_DATABASE_NAME: return connection.lease ? connection.lease.path() : std::string();
    case SQL_USER_NAME: return std::string("admin");
    case SQL_DATA_SOURCE_READ_ONLY:
      return std::string(connection.accessMode == SQL_MODE_READ_ONLY ? "Y" : "N");
    case SQL_ACCESSIBLE_TABLES: return std::string("Y");
    case SQL_ACCESSIBLE_PROCEDURES: return std::string("N");
    case SQL_PROCEDURES: return std::string("N");
    case SQL_IDENTIFIER_QUOTE_CHAR: return std::string("\"");
    case SQL_SEARCH_PATTERN_ESCAPE: return std::string("\\");
    case SQL_CATALOG_NAME_SEPARATOR: return std::string(".");
    case SQL_CATALOG_TERM: return std::string("");
    case SQL_SCHEMA_TERM: return std::string("");
    case SQL_TABLE_TERM: return std::string("table");
    case SQL_PROCEDURE_TERM: return std::string("");
    case SQL_CATALOG_NAME: return std::string("N");
    case SQL_COLUMN_ALIAS: return std::string("N");
    case SQL_EXPRESSIONS_IN_ORDERBY: return std::string("N");
    case SQL_ORDER_BY_COLUMNS_IN_SELECT: return std::string("N");
    case SQL_LIKE_ESCAPE_CLAUSE: return std::string("N");
    case SQL_MULT_RESULT_SETS: return std::string("N");
    case SQL_MULTIPLE_ACTIVE_TXN: return std::string("Y");
    case SQL_NEED_LONG_DATA_LEN: return std::string("N");
    case SQL_OUTER_JOINS: return std::string("N");
    case SQL_ROW_UPDATES: return std::string("N");
    case SQL_INTEGRITY: return std::string("N");
    case SQL_DESCRIBE_PARAMETER: return std::string("N");
    case SQL_MAX_ROW_SIZE_INCLUDES_LONG: return std::string("N");
    case SQL_KEYWORDS: return std::string("");
    case SQL_SPECIAL_CHARACTERS: return std::string("");
    case SQL_XOPEN_CLI_YEAR: return std::string("1995");
    case SQL_COLLATION_SEQ: return std::string("General");
    case SQL_CURSOR_COMMIT_BEHAVIOR:
    case SQL_CURSOR_ROLLBACK_BEHAVIOR: return SQLUSMALLINT{SQL_CB_PRESERVE};
    case SQL_TXN_CAPABLE: return SQLUSMALLINT{SQL_TC_ALL};
    case SQL_DEFAULT_TXN_ISOLATION: return SQLUINTEGER{SQL_TXN_READ_COMMITTED};
    case SQL_TXN_ISOLATION_OPTION: return SQLUINTEGER{SQL_TXN_READ_COMMITTED};
    case SQL_MAX_DRIVER_CONNECTIONS:
    case SQL_MAX_CONCURRENT_ACTIVITIES: return SQLUSMALLINT{0};
    case SQL_MAX_COLUMN_NAME_LEN:
    case SQL_MAX_TABLE_NAME_LEN:
    case SQL_MAX_IDENTIFIER_LEN:
    case SQL_MAX_CURSOR_NAME_LEN: return SQLUSMALLINT{64};
    case SQL_MAX_COLUMNS_IN_TABLE:
    case SQL_MAX_COLUMNS_IN_SELECT: return SQLUSMALLINT{255};
    case SQL_MAX_COLUMNS_IN_INDEX: return SQLUSMALLINT{10};
    case SQL_MAX_SCHEMA_NAME_LEN:
    case SQL_MAX_CATALOG_NAME_LEN:
    case SQL_MAX_PROCEDURE_NAME_LEN:
    case SQL_MAX_USER_NAME_LEN:
    case SQL_MAX_COLUMNS_IN_GROUP_BY:
    case SQL_MAX_COLUMNS_IN_ORDER_BY:
    case SQL_MAX_TABLES_IN_SELECT: return SQLUSMALLINT{0};
    case SQL_MAX_ROW_SIZE: return SQLUINTEGER{4052};
    case SQL_MAX_STATEMENT_LEN:
    case SQL_MAX_CHAR_LITERAL_LEN:
    case SQL_MAX_BINARY_LITERAL_LEN:
    case SQL_MAX_INDEX_SIZE: return SQLUINTEGER{0};
    case SQL_IDENTIFIER_CASE:
    case SQL_QUOTED_IDENTIFIER_CASE: return SQLUSMALLINT{SQL_IC_MIXED};
    case SQL_NULL_COLLATION: return SQLUSMALLINT{SQL_NC_LOW};
    case SQL_CONCAT_NULL_BEHAVIOR: return SQLUSMALLINT{SQL_CB_NULL};
    case SQL_CORRELATION_NAME: return SQLUSMALLINT{SQL_CN_NONE};
    case SQL_NON_NULLABLE_COLUMNS: return SQLUSMALLINT{SQL_NNC_NON_NULL};
    case SQL_FILE_USAGE: return SQLUSMALLINT{SQL_FILE_CATALOG};
    case SQL_GROUP_BY: return SQLUSMALLINT{SQL_GB_NOT_SUPPORTED};
    case SQL_ODBC_API_CONFORMANCE: return SQLUSMALLINT{SQL_OAC_LEVEL1};
    case SQL_ODBC_SQL_CONFORMANCE: return SQLUSMALLINT{SQL_OSC_MINIMUM};
    case SQL_ODBC_SAG_CLI_CONFORMANCE: return SQLUSMALLINT{SQL_OSCC_COMPLIANT};
    case SQL_ODBC_INTERFACE_CONFORMANCE: return SQLUINTEGER{SQL_OIC_CORE};
    case SQL_SQL_CONFORMANCE: return SQLUINTEGER{SQL_SC_SQL92_ENTRY};
    case SQL_GETDATA_EXTENSIONS: return SQLUINTEGER{SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND};
    case SQL_SCROLL_OPTIONS: return SQLUINTEGER{SQL_SO_FORWARD_ONLY};
    case SQL_SCROLL_CONCURRENCY: return SQLUINTEGER{SQL_SCCO_READ_ONLY};
    case SQL_CURSOR_SENSITIVITY: return SQLUINTEGER{SQL_INSENSITIVE};
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1: return SQLUINTEGER{SQL_CA1_NEXT};
    case SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2: return SQLUINTEGER{SQL_CA2_READ_ONLY_CONCURRENCY};
    case SQL_STATIC_CURSOR_ATTRIBUTES1:
    case SQL_STATIC_CURSOR_ATTRIBUTES2:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES1:
    case SQL_DYNAMIC_CURSOR_ATTRIBUTES2:
    case SQL_KEYSET_CURSOR_ATTRIBUTES1:
    case SQL_KEYSET_CURSOR_ATTRIBUTES2: return SQLUINTEGER{0};
    case SQL_ASYNC_MODE: return SQLUINTEGER{SQL_AM_NONE};
    case SQL_MAX_ASYNC_CONCURRENT_STATEMENTS: return SQLUINTEGER{0};
    case SQL_BATCH_SUPPORT:
    case SQL_BATCH_ROW_COUNT: return SQLUINTEGER{0};
    // Parameter arrays: one row count for the whole array; no SELECT takes parameters.
    case SQL_PARAM_ARRAY_ROW_COUNTS: return SQLUINTEGER{SQL_PARC_NO_BATCH};
    case SQL_PARAM_ARRAY_SELECTS: return SQLUINTEGER{SQL_PAS_NO_SELECT};
    case SQL_BOOKMARK_PERSISTENCE:
    case SQL_LOCK_TYPES:
    case SQL_POS_OPERATIONS:
    case SQL_POSITIONED_STATEMENTS:
    case SQL_STATIC_SENSITIVITY:
    case SQL_ALTER_TABLE:
    case SQL_DROP_TABLE:
    case SQL_CREATE_VIEW:
    case SQL_DROP_VIEW:
    case SQL_INDEX_KEYWORDS:
    case SQL_SCHEMA_USAGE:
    case SQL_CATALOG_USAGE:
    case SQL_SUBQUERIES:
    case SQL_UNION:
    case SQL_NUMERIC_FUNCTIONS:
    case SQL_STRING_FUNCTIONS:
    case SQL_SYSTEM_FUNCTIONS:
    case SQL_TIMEDATE_FUNCTIONS:
    case SQL_TIMEDATE_ADD_INTERVALS:
    case SQL_TIMEDATE_DIFF_INTERVALS:
    case SQL_CONVERT_FUNCTIONS:
    case SQL_AGGREGATE_FUNCTIONS:
    case SQL_DATETIME_LITERALS:
    case SQL_SQL92_PREDICATES:
    case SQL_SQL92_RELATIONAL_JOIN_OPERATORS:
    case SQL_SQL92_VALUE_EXPRESSIONS:
    case SQL_SQL92_STRING_FUNCTIONS:
    case SQL_SQL92_NUMERIC_VALUE_FUNCTIONS:
    case SQL_SQL92_DATETIME_FUNCTIONS:
    case SQL_SQL92_GRANT:
    case SQL_SQL92_REVOKE:
    case SQL_SQL92_FOREIGN_KEY_DELETE_RULE:
    case SQL_SQL92_FOREIGN_KEY_UPDATE_RULE:
    case SQL_OJ_CAPABILITIES: return SQLUINTEGER{0};
    case SQL_CREATE_TABLE: return SQLUINTEGER{SQL_CT_CREATE_TABLE | SQL_CT_TABLE_CONSTRAINT | SQL_CT_CONSTRAINT_NAME_DEFINITION | SQL_CT_COLUMN_CONSTRAINT};
    case SQL_INSERT_STATEMENT: return SQLUINTEGER{SQL_IS_INSERT_LITERALS};
    case SQL_SQL92_ROW_VALUE_CONSTRUCTOR: return SQLUINTEGER{SQL_SRVC_VALUE_EXPRESSION | SQL_SRVC_NULL};
    case SQL_DDL_INDEX: return SQLUINTEGER{0};
    default: return std::nullopt;
  }
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLGetInfo(SQLHDBC handle, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT bufferLength,
                             SQLSMALLINT* length) {
  ConnectionHandle* connection = AsConnection(handle);
  if (!connection) return SQL_INVALID_HANDLE;
  connection->diagnostics.Clear();
  return Guarded(connection->diagnostics, [&]() -> SQLRETURN {
    auto info = Info(type, *connection);
    if (!info) return connection->diagnostics.Error("HY096", "Information type " + std::to_string(type) + " is not supported");
    if (auto* text = std::get_if<std::string>(&*info)) {
      if (!CopyOutString(*text, value, bufferLength, length))
        return connection->diagnostics.Warning("01004", "String data, right truncated");
    } else if (auto* small = std::get_if<SQLUSMALLINT>(&*info)) {
      if (value) *static_cast<SQLUSMALLINT*>(value) = *small;
      if (length) *length = sizeof(SQLUSMALLINT);
    } else {
      if (value) *static_cast<SQLUINTEGER*>(value) = std::get<SQLUINTEGER>(*info);
      if (length) *length = sizeof(SQLUINTEGER);
    }
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC handle, SQLUSMALLINT function, SQLUSMALLINT* supported) {
  ConnectionHandle* connection = AsConnection(handle);
  if (!connection) return SQL_INVALID_HANDLE;
  connection->diagnostics.Clear();
  if (!supported) return SQL_SUCCESS;
  if (function == SQL_API_ODBC3_ALL_FUNCTIONS) {
    std::fill(supported, supported + SQL_API_ODBC3_ALL_FUNCTIONS_SIZE, 0);
    for (SQLUSMALLINT f : kFunctions) supported[f >> 4] |= static_cast<SQLUSMALLINT>(1 << (f & 0xF));
    return SQL_SUCCESS;
  }
  if (function == SQL_API_ALL_FUNCTIONS) {
    std::fill(supported, supported + 100, 0);
    for (SQLUSMALLINT f : kFunctions) {
      if (f < 100) supported[f] = SQL_TRUE;
    }
    return SQL_SUCCESS;
  }
  *supported = std::find(std::begin(kFunctions), std::end(kFunctions), function) != std::end(kFunctions)
                   ? SQL_TRUE
                   : SQL_FALSE;
  return SQL_SUCCESS;
}

}  // extern "C"
