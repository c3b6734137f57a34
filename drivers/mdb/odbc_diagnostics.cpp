// SQLGetDiagRec, SQLGetDiagField and ODBC 2's SQLError over the handles' records.
#include <cstring>

#include "odbc_handles.h"

using namespace mdb;

namespace {

Diagnostics* DiagnosticsOf(SQLSMALLINT handleType, SQLHANDLE handle) {
  switch (handleType) {
    case SQL_HANDLE_ENV: {
      EnvironmentHandle* e = AsEnvironment(handle);
      return e ? &e->diagnostics : nullptr;
    }
    case SQL_HANDLE_DBC: {
      ConnectionHandle* c = AsConnection(handle);
      return c ? &c->diagnostics : nullptr;
    }
    case SQL_HANDLE_STMT: {
      StatementHandle* s = AsStatement(handle);
      return s ? &s->diagnostics : nullptr;
    }
    default:
      return nullptr;
  }
}

SQLRETURN Record(const Diagnostics& diagnostics, SQLSMALLINT number, SQLCHAR* state, SQLINTEGER* native,
                 SQLCHAR* message, SQLSMALLINT messageMax, SQLSMALLINT* messageLength) {
  if (number < 1) return SQL_ERROR;
  if (static_cast<std::size_t>(number) > diagnostics.records().size()) return SQL_NO_DATA;
  const DiagnosticRecord& record = diagnostics.records()[number - 1];
  if (state) std::memcpy(state, record.sqlstate.c_str(), 6);
  if (native) *native = record.native;
  // A NULL message buffer only asks for the length.
  if (!CopyOutString(record.message, message, messageMax, messageLength)) return SQL_SUCCESS_WITH_INFO;
  return SQL_SUCCESS;
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT number, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT messageMax,
                                SQLSMALLINT* messageLength) {
  Diagnostics* diagnostics = DiagnosticsOf(handleType, handle);
  if (!diagnostics) return SQL_INVALID_HANDLE;
  return Record(*diagnostics, number, state, native, message, messageMax, messageLength);
}

SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT number,
                                  SQLSMALLINT field, SQLPOINTER value, SQLSMALLINT bufferLength,
                                  SQLSMALLINT* length) {
  Diagnostics* diagnostics = DiagnosticsOf(handleType, handle);
  if (!diagnostics) return SQL_INVALID_HANDLE;
  const auto& records = diagnostics->records();
  // Header fields.
  switch (field) {
    case SQL_DIAG_NUMBER:
      if (value) *static_cast<SQLINTEGER*>(value) = static_cast<SQLINTEGER>(records.size());
      return SQL_SUCCESS;
    case SQL_DIAG_RETURNCODE:
      if (value) *static_cast<SQLRETURN*>(value) = diagnostics->returnCode();
      return SQL_SUCCESS;
    case SQL_DIAG_ROW_COUNT: {
      StatementHandle* statement = handleType == SQL_HANDLE_STMT ? AsStatement(handle) : nullptr;
      if (!statement) return SQL_ERROR;
      if (value) *static_cast<SQLLEN*>(value) = statement->rowCount;
      return SQL_SUCCESS;
    }
    case SQL_DIAG_CURSOR_ROW_COUNT:
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
      if (value) *static_cast<SQLINTEGER*>(value) = 0;
      return SQL_SUCCESS;
    case SQL_DIAG_DYNAMIC_FUNCTION:
      return CopyOutString(std::string(), value, bufferLength, length) ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
    default:
      break;
  }
  // Record fields.
  if (number < 1) return SQL_ERROR;
  if (static_cast<std::size_t>(number) > records.size()) return SQL_NO_DATA;
  const DiagnosticRecord& record = records[number - 1];
  std::string text;
  switch (field) {
    case SQL_DIAG_SQLSTATE: text = record.sqlstate; break;
    case SQL_DIAG_MESSAGE_TEXT: text = record.message; break;
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      text = record.sqlstate.rfind("IM", 0) == 0 || record.sqlstate.rfind("HY", 0) == 0 ||
                     record.sqlstate.rfind("01S", 0) == 0 || record.sqlstate.rfind("42S", 0) == 0 ||
                     record.sqlstate.rfind("21S", 0) == 0
                 ? "ODBC 3.0"
                 : "ISO 9075";
      break;
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME: text = ""; break;
    case SQL_DIAG_NATIVE:
      if (value) *static_cast<SQLINTEGER*>(value) = record.native;
      return SQL_SUCCESS;
    case SQL_DIAG_ROW_NUMBER:
      if (value) *static_cast<SQLLEN*>(value) = record.rowNumber;
      return SQL_SUCCESS;
    case SQL_DIAG_COLUMN_NUMBER:
      if (value) *static_cast<SQLINTEGER*>(value) = SQL_NO_COLUMN_NUMBER;
      return SQL_SUCCESS;
    default:
      return SQL_ERROR;
  }
  return CopyOutString(text, value, bufferLength, length) ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

// ODBC 2: returns the most specific handle's next record and removes it.
SQLRETURN SQL_API SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* state, SQLINTEGER* native,
                           SQLCHAR* message, SQLSMALLINT messageMax, SQLSMALLINT* messageLength) {
  Diagnostics* diagnostics = nullptr;
  if (stmt) diagnostics = DiagnosticsOf(SQL_HANDLE_STMT, stmt);
  else if (dbc) diagnostics = DiagnosticsOf(SQL_HANDLE_DBC, dbc);
  else if (env) diagnostics = DiagnosticsOf(SQL_HANDLE_ENV, env);
  if (!diagnostics) return SQL_INVALID_HANDLE;
  if (diagnostics->records().empty()) return SQL_NO_DATA;
  SQLRETURN rc = Record(*diagnostics, 1, state, native, message, messageMax, messageLength);
  diagnostics->PopFront();
  return rc;
}

}  // extern "C"
