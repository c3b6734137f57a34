/* Symbols for the ODBC functions the driver does not support.
 *
 * The driver manager looks every ODBC function up in the driver library on each
 * connect; a failed lookup costs a formatted dlerror() message, which made up a
 * good part of a connect's cost. These symbols let the lookups succeed; as
 * SQLGetFunctions does not list them, the driver manager masks them out at once
 * and answers IM001 itself, so none of them is ever called. Should one be called
 * all the same, it fails with SQL_ERROR. Written in C and without the ODBC
 * headers so that one body serves every signature. */

#define UNSUPPORTED(name) short name(void) { return -1; /* SQL_ERROR */ }

UNSUPPORTED(SQLBindParam)
UNSUPPORTED(SQLBrowseConnect)
UNSUPPORTED(SQLBulkOperations)
UNSUPPORTED(SQLColumnPrivileges)
UNSUPPORTED(SQLColumns)
UNSUPPORTED(SQLCopyDesc)
UNSUPPORTED(SQLExtendedFetch)
UNSUPPORTED(SQLFetchScroll)
UNSUPPORTED(SQLForeignKeys)
UNSUPPORTED(SQLGetCursorName)
UNSUPPORTED(SQLGetDescField)
UNSUPPORTED(SQLGetDescRec)
UNSUPPORTED(SQLGetTypeInfo)
UNSUPPORTED(SQLParamData)
UNSUPPORTED(SQLParamOptions)
UNSUPPORTED(SQLPrimaryKeys)
UNSUPPORTED(SQLProcedureColumns)
UNSUPPORTED(SQLProcedures)
UNSUPPORTED(SQLPutData)
UNSUPPORTED(SQLSetCursorName)
UNSUPPORTED(SQLSetDescField)
UNSUPPORTED(SQLSetDescRec)
UNSUPPORTED(SQLSetPos)
UNSUPPORTED(SQLSetScrollOptions)
UNSUPPORTED(SQLSpecialColumns)
UNSUPPORTED(SQLStatistics)
UNSUPPORTED(SQLTablePrivileges)
UNSUPPORTED(SQLSetParam)
