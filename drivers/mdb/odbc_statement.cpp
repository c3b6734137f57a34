// Executing statements, their row counts, and statement attributes.
#include "odbc_guard.h"
#include "odbc_handles.h"
#include "odbc_parameters.h"
#include "sql_parser.h"

using namespace mdb;

namespace {

SQLRETURN Run(StatementHandle& statement, const Statement& parsed) {
  statement.CloseCursor();
  statement.rowCount = -1;
  ConnectionHandle& connection = *statement.connection;
  if (!connection.lease) return statement.diagnostics.Error("08003", "Connection not open");
  bool select = std::holds_alternative<SelectStatement>(parsed);
  if (!select && connection.accessMode == SQL_MODE_READ_ONLY)
    return statement.diagnostics.Error("25000", "The connection is read-only");
  if (const auto* insert = std::get_if<InsertStatement>(&parsed); insert && insert->parameterCount > 0)
    return ExecuteParameterRows(statement, parsed, insert->parameterCount);
  ExecutionResult result;
  {
    auto lock = connection.lease.Lock();
    result = Execute(parsed, connection.lease.database());
  }
  statement.rowCount = result.rowCount;
  if (result.resultSet) statement.result = std::move(result.resultSet);
  SQLRETURN rc = SQL_SUCCESS;
  for (const std::string& warning : result.warnings) rc = statement.diagnostics.Warning("01000", warning);
  return rc;
}

template <typename T>
SQLRETURN PutNumber(SQLPOINTER value, SQLINTEGER* length, T number) {
  if (value) *static_cast<T*>(value) = number;
  if (length) *length = sizeof(T);
  return SQL_SUCCESS;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLExecDirect(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&] {
    statement->prepared.reset();
    statement->CloseCursor();
    statement->rowCount = -1;
    ParseStatementInPlace(ArgumentView(text, length), statement->direct);
    SQLRETURN rc = Run(*statement, statement->direct);
    // The literals view the caller's text, which is gone after the call; texts
    // the statement owns need not wait for the next one.
    if (auto* insert = std::get_if<InsertStatement>(&statement->direct)) insert->texts.reset();
    return rc;
  });
}

SQLRETURN SQL_API SQLPrepare(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&]() -> SQLRETURN {
    statement->prepared.reset();
    statement->preparedColumns.clear();
    statement->CloseCursor();
    statement->rowCount = -1;
    Statement parsed = ParseStatement(ArgumentView(text, length));
    if (auto* select = std::get_if<SelectStatement>(&parsed)) {
      ConnectionHandle& connection = *statement->connection;
      auto lock = connection.lease.Lock();
      statement->preparedColumns = SelectColumns(*select, connection.lease.database());
    }
    statement->prepared = std::move(parsed);
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLExecute(SQLHSTMT handle) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return Guarded(statement->diagnostics, [&]() -> SQLRETURN {
    if (!statement->prepared) return statement->diagnostics.Error("HY010", "No statement prepared");
    return Run(*statement, *statement->prepared);
  });
}

SQLRETURN SQL_API SQLRowCount(SQLHSTMT handle, SQLLEN* count) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  if (count) *count = statement->rowCount;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT handle, SQLSMALLINT* count) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  const auto* columns = statement->Columns();
  if (count) *count = columns ? static_cast<SQLSMALLINT>(columns->size()) : 0;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLNumParams(SQLHSTMT handle, SQLSMALLINT* count) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  const auto* insert = statement->prepared ? std::get_if<InsertStatement>(&*statement->prepared) : nullptr;
  if (count) *count = insert ? static_cast<SQLSMALLINT>(insert->parameterCount) : 0;
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLMoreResults(SQLHSTMT handle) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  statement->CloseCursor();
  return SQL_NO_DATA;
}

SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT handle) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  if (!statement->result) return statement->diagnostics.Error("24000", "Invalid cursor state: no open cursor");
  statement->CloseCursor();
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLCancel(SQLHSTMT handle) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  return SQL_SUCCESS;  // statements run to completion inside their call; nothing to cancel
}

SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT handle, SQLUSMALLINT option) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  switch (option) {
    case SQL_CLOSE: statement->CloseCursor(); return SQL_SUCCESS;
    case SQL_DROP: return SQLFreeHandle(SQL_HANDLE_STMT, handle);
    case SQL_UNBIND: statement->bindings.clear(); return SQL_SUCCESS;
    case SQL_RESET_PARAMS: statement->parameters.clear(); return SQL_SUCCESS;
    default: return statement->diagnostics.Error("HY092", "Invalid SQLFreeStmt option");
  }
}

SQLRETURN SQL_API SQLNativeSql(SQLHDBC handle, SQLCHAR* in, SQLINTEGER inLength, SQLCHAR* out,
                               SQLINTEGER outMax, SQLINTEGER* outLength) {
  ConnectionHandle* connection = AsConnection(handle);
  if (!connection) return SQL_INVALID_HANDLE;
  connection->diagnostics.Clear();
  if (!CopyOutString(ArgumentText(in, inLength), out, outMax, outLength))
    return connection->diagnostics.Warning("01004", "String data, right truncated");
  return SQL_SUCCESS;
}

SQLRETURN SQL_API SQLSetStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  auto number = static_cast<SQLULEN>(reinterpret_cast<SQLLEN>(value));
  switch (attribute) {
    case SQL_ATTR_ROW_ARRAY_SIZE:
      if (number != 1) return statement->diagnostics.Warning("01S02", "Option value changed: rows are fetched one at a time");
      return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR: statement->rowsFetched = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR: statement->rowStatus = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_QUERY_TIMEOUT: statement->queryTimeout = number; return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS: statement->maxRows = number; return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE:
      if (number == 0) return statement->diagnostics.Error("HY024", "Invalid attribute value: SQL_ATTR_PARAMSET_SIZE is 0");
      statement->paramsetSize = number;
      return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_TYPE: statement->paramBindType = number; return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: statement->paramBindOffset = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_STATUS_PTR: statement->paramStatus = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR: statement->paramsProcessed = static_cast<SQLULEN*>(value); return SQL_SUCCESS;
    case SQL_ATTR_PARAM_OPERATION_PTR: statement->paramOperation = static_cast<SQLUSMALLINT*>(value); return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_TYPE:
      if (number != SQL_CURSOR_FORWARD_ONLY)
        return statement->diagnostics.Warning("01S02", "Option value changed: cursors are forward-only");
      return SQL_SUCCESS;
    case SQL_ATTR_CONCURRENCY:
      if (number != SQL_CONCUR_READ_ONLY)
        return statement->diagnostics.Warning("01S02", "Option value changed: cursors are read-only");
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_TYPE:       // one row per fetch: the stride never applies
    case SQL_ATTR_MAX_LENGTH:
    case SQL_ATTR_NOSCAN:
    case SQL_ATTR_RETRIEVE_DATA:
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_CURSOR_SCROLLABLE:
    case SQL_ATTR_CURSOR_SENSITIVITY:
    case SQL_ATTR_METADATA_ID:
    case SQL_ATTR_ENABLE_AUTO_IPD:
    case SQL_ATTR_KEYSET_SIZE:
    case SQL_ATTR_SIMULATE_CURSOR:
      return SQL_SUCCESS;
    case SQL_ATTR_USE_BOOKMARKS:
      if (number != SQL_UB_OFF) return statement->diagnostics.Error("HYC00", "Bookmarks are not supported");
      return SQL_SUCCESS;
    default:
      return statement->diagnostics.Error("HY092", "Statement attribute " + std::to_string(attribute) +
                                                       " is not supported");
  }
}

SQLRETURN SQL_API SQLGetStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                 SQLINTEGER* length) {
  StatementHandle* statement = AsStatement(handle);
  if (!statement) return SQL_INVALID_HANDLE;
  statement->diagnostics.Clear();
  switch (attribute) {
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
    case SQL_ATTR_IMP_ROW_DESC:
    case SQL_ATTR_IMP_PARAM_DESC:
      // No descriptor handles: the driver manager asks after every allocation and
      // accepts none.
      return PutNumber<SQLPOINTER>(value, length, nullptr);
    case SQL_ATTR_ROW_ARRAY_SIZE: return PutNumber<SQLULEN>(value, length, 1);
    case SQL_ATTR_ROWS_FETCHED_PTR: return PutNumber<SQLULEN*>(value, length, statement->rowsFetched);
    case SQL_ATTR_ROW_STATUS_PTR: return PutNumber<SQLUSMALLINT*>(value, length, statement->rowStatus);
    case SQL_ATTR_QUERY_TIMEOUT: return PutNumber<SQLULEN>(value, length, statement->queryTimeout);
    case SQL_ATTR_MAX_ROWS: return PutNumber<SQLULEN>(value, length, statement->maxRows);
    case SQL_ATTR_CURSOR_TYPE: return PutNumber<SQLULEN>(value, length, SQL_CURSOR_FORWARD_ONLY);
    case SQL_ATTR_CONCURRENCY: return PutNumber<SQLULEN>(value, length, SQL_CONCUR_READ_ONLY);
    case SQL_ATTR_ROW_BIND_TYPE: return PutNumber<SQLULEN>(value, length, SQL_BIND_BY_COLUMN);
    case SQL_ATTR_MAX_LENGTH: return PutNumber<SQLULEN>(value, length, 0);
    case SQL_ATTR_NOSCAN: return PutNumber<SQLULEN>(value, length, SQL_NOSCAN_OFF);
    case SQL_ATTR_RETRIEVE_DATA: return PutNumber<SQLULEN>(value, length, SQL_RD_ON);
    case SQL_ATTR_ASYNC_ENABLE: return PutNumber<SQLULEN>(value, length, SQL_ASYNC_ENABLE_OFF);
    case SQL_ATTR_CURSOR_SCROLLABLE: return PutNumber<SQLULEN>(value, length, SQL_NONSCROLLABLE);
    case SQL_ATTR_CURSOR_SENSITIVITY: return PutNumber<SQLULEN>(value, length, SQL_INSENSITIVE);
    case SQL_ATTR_USE_BOOKMARKS: return PutNumber<SQLULEN>(value, length, SQL_UB_OFF);
    case SQL_ATTR_PARAMSET_SIZE: return PutNumber<SQLULEN>(value, length, statement->paramsetSize);
    case SQL_ATTR_PARAM_BIND_TYPE: return PutNumber<SQLULEN>(value, length, statement->paramBindType);
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR: return PutNumber<SQLULEN*>(value, length, statement->paramBindOffset);
    case SQL_ATTR_PARAM_STATUS_PTR: return PutNumber<SQLUSMALLINT*>(value, length, statement->paramStatus);
    case SQL_ATTR_PARAMS_PROCESSED_PTR: return PutNumber<SQLULEN*>(value, length, statement->paramsProcessed);
    case SQL_ATTR_PARAM_OPERATION_PTR: return PutNumber<SQLUSMALLINT*>(value, length, statement->paramOperation);
    case SQL_ATTR_METADATA_ID: return PutNumber<SQLULEN>(value, length, SQL_FALSE);
    case SQL_ATTR_ROW_NUMBER:
      return PutNumber<SQLULEN>(value, length, statement->result ? statement->nextRow : 0);
    default:
      return statement->diagnostics.Error("HY092", "Statement attribute " + std::to_string(attribute) +
                                                       " is not supported");
  }
}

}  // extern "C"
