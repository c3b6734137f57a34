// Handle allocation and the environment's attributes.
#include <vector>

#include "odbc_guard.h"
#include "odbc_handles.h"

using namespace mdb;

extern "C" {

SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT handleType, SQLHANDLE inputHandle, SQLHANDLE* outputHandle) {
  if (!outputHandle) return SQL_ERROR;
  *outputHandle = SQL_NULL_HANDLE;
  try {
    switch (handleType) {
      case SQL_HANDLE_ENV:
        *outputHandle = new EnvironmentHandle;
        return SQL_SUCCESS;
      case SQL_HANDLE_DBC: {
        EnvironmentHandle* environment = AsEnvironment(inputHandle);
        if (!environment) return SQL_INVALID_HANDLE;
        environment->diagnostics.Clear();
        auto* connection = new ConnectionHandle;
        connection->environment = environment;
        environment->connections.push_back(connection);
        *outputHandle = connection;
        return SQL_SUCCESS;
      }
      case SQL_HANDLE_STMT: {
        ConnectionHandle* connection = AsConnection(inputHandle);
        if (!connection) return SQL_INVALID_HANDLE;
        connection->diagnostics.Clear();
        if (!connection->lease)
          return connection->diagnostics.Error("08003", "Connection not open");
        auto* statement = new StatementHandle;
        statement->connection = connection;
        connection->statements.push_back(statement);
        *outputHandle = statement;
        return SQL_SUCCESS;
      }
      default:
        return SQL_ERROR;
    }
  } catch (const std::bad_alloc&) {
    return SQL_ERROR;
  }
}

SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT handleType, SQLHANDLE handle) {
  switch (handleType) {
    case SQL_HANDLE_ENV: {
      EnvironmentHandle* environment = AsEnvironment(handle);
      if (!environment) return SQL_INVALID_HANDLE;
      environment->tag = HandleTag::Freed;
      delete environment;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DBC: {
      ConnectionHandle* connection = AsConnection(handle);
      if (!connection) return SQL_INVALID_HANDLE;
      connection->diagnostics.Clear();
      if (connection->lease)
        return connection->diagnostics.Error("HY010", "Function sequence error: disconnect first");
      auto& list = connection->environment->connections;
      std::erase(list, connection);
      connection->tag = HandleTag::Freed;
      delete connection;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_STMT: {
      StatementHandle* statement = AsStatement(handle);
      if (!statement) return SQL_INVALID_HANDLE;
      std::erase(statement->connection->statements, statement);
      statement->tag = HandleTag::Freed;
      delete statement;
      return SQL_SUCCESS;
    }
    case SQL_HANDLE_DESC:
      return SQL_ERROR;
    default:
      return SQL_INVALID_HANDLE;
  }
}

SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  EnvironmentHandle* environment = AsEnvironment(handle);
  if (!environment) return SQL_INVALID_HANDLE;
  environment->diagnostics.Clear();
  auto number = static_cast<SQLINTEGER>(reinterpret_cast<SQLLEN>(value));
  switch (attribute) {
    case SQL_ATTR_ODBC_VERSION:
      if (number != SQL_OV_ODBC2 && number != SQL_OV_ODBC3 && number != SQL_OV_ODBC3_80)
        return environment->diagnostics.Error("HY024", "Invalid ODBC version " + std::to_string(number));
      environment->odbcVersion = number;
      return SQL_SUCCESS;
    case SQL_ATTR_OUTPUT_NTS:
      if (number != SQL_TRUE) return environment->diagnostics.Error("HYC00", "Strings are always NUL-terminated");
      return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_POOLING:
    case SQL_ATTR_CP_MATCH:
      return SQL_SUCCESS;  // the driver manager pools, not the driver
    default:
      return environment->diagnostics.Error("HY092", "Invalid environment attribute " + std::to_string(attribute));
  }
}

SQLRETURN SQL_API SQLGetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER,
                                SQLINTEGER* length) {
  EnvironmentHandle* environment = AsEnvironment(handle);
  if (!environment) return SQL_INVALID_HANDLE;
  environment->diagnostics.Clear();
  SQLINTEGER result;
  switch (attribute) {
    case SQL_ATTR_ODBC_VERSION: result = environment->odbcVersion; break;
    case SQL_ATTR_OUTPUT_NTS: result = SQL_TRUE; break;
    case SQL_ATTR_CONNECTION_POOLING: result = SQL_CP_OFF; break;
    case SQL_ATTR_CP_MATCH: result = SQL_CP_STRICT_MATCH; break;
    default:
      return environment->diagnostics.Error("HY092", "Invalid environment attribute " + std::to_string(attribute));
  }
  if (value) *static_cast<SQLINTEGER*>(value) = result;
  if (length) *length = sizeof(SQLINTEGER);
  return SQL_SUCCESS;
}

}  // extern "C"
