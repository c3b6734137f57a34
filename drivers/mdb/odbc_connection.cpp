// Connecting, disconnecting, transactions and connection attributes.
#include <odbcinst.h>
#include <sys/stat.h>

#include <cstring>

#include "attribute_list.h"
#include "odbc_guard.h"
#include "odbc_handles.h"

using namespace mdb;

namespace {

constexpr const char* kDriverName = "Microsoft Access Driver (*.mdb)";

std::string DataSourceValue(const std::string& dsn, const char* key) {
  char value[4096] = "";
  SQLGetPrivateProfileString(dsn.c_str(), key, "", value, sizeof value, "odbc.ini");
  return TrimBlanks(value);
}

SQLRETURN Open(ConnectionHandle& connection, const std::string& dsn, std::string path) {
  if (connection.lease) return connection.diagnostics.Error("08002", "Connection already open");
  if (path.empty() && !dsn.empty()) path = DataSourceValue(dsn, "DBQ");
  if (path.empty()) {
    return connection.diagnostics.Error(
        "08001", dsn.empty() ? "No database file: the connection string has neither DBQ= nor DSN="
                             : "Data source \"" + dsn + "\" names no database file (DBQ=)");
  }
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return connection.diagnostics.Error("08001", "Could not find file \"" + path + "\"");
  try {
    connection.lease = DatabaseLease::Acquire(path);
  } catch (const jet::Error& e) {
    return connection.diagnostics.Error("08001", "Could not open \"" + path + "\": " + e.what());
  }
  connection.dataSourceName = dsn;
  connection.autocommit = true;
  return SQL_SUCCESS;
}

// Writes all statements' work to disk; used on commit and when autocommit is set again.
SQLRETURN Commit(ConnectionHandle& connection) {
  if (!connection.lease) return connection.diagnostics.Error("08003", "Connection not open");
  try {
    connection.lease.Flush();
  } catch (const jet::Error& e) {
    return connection.diagnostics.Error("HY000", std::string("Could not write the database file: ") + e.what());
  }
  return SQL_SUCCESS;
}

SQLRETURN EndTransaction(ConnectionHandle& connection, SQLSMALLINT completion) {
  if (completion == SQL_COMMIT) return Commit(connection);
  if (completion != SQL_ROLLBACK)
    return connection.diagnostics.Error("HY012", "Invalid transaction operation code");
  if (connection.autocommit) return SQL_SUCCESS;  // nothing is pending
  return connection.diagnostics.Error(
      "HYC00", "Rollback is not supported: every statement takes effect when it is executed");
}

}  // namespace

extern "C" {

SQLRETURN SQL_API SQLConnect(SQLHDBC handle, SQLCHAR* serverName, SQLSMALLINT nameLength, SQLCHAR*,
                             SQLSMALLINT, SQLCHAR*, SQLSMALLINT) {
  ConnectionHandle* connection = AsConnection(handle);
  if (!connection) return SQL_INVALID_HANDLE;
  connection->diagnostics.Clear();
  return Guarded(connection->diagnostics, [&] {
    return Open(*connection, TrimBlanks(ArgumentText(serverName, nameLength)), "");
  });
}

SQLRETURN SQL_API SQLDriverConnect(SQLHDBC handle, SQLHWND, SQLCHAR* inText, SQLSMALLINT inLength,
                                   SQLCHAR* outText, SQLSMALLINT outMax, SQLSMALLINT* outLength,
                                   SQLUSMALLINT completion) {
  ConnectionHandle* connection = AsConnection(handle);
  if (!connection) return SQL_INVALID_HANDLE;
  connection->diagnostics.Clear();
  return Guarded(connection->diagnostics, [&]() -> SQLRETURN {
    // There is never a dialog: every completion mode behaves like SQL_DRIVER_NOPROMPT.
    if (completion != SQL_DRIVER_NOPROMPT && completion != SQL_DRIVER_COMPLETE &&
        completion != SQL_DRIVER_COMPLETE_REQUIRED && completion != SQL_DRIVER_PROMPT)
      return connection->diagnostics.Error("HY110", "Invalid driver completion");
    AttributeList attributes = AttributeList::FromConnectionString(ArgumentText(inText, inLength));
    std::string dsn = attributes.Find("DSN").value_or("");
    std::string path = attributes.Find("DBQ").value_or("");
    SQLRETURN rc = Open(*connection, dsn, path);
    if (!SQL_SUCCEEDED(rc)) return rc;
    std::string out = dsn.empty() ? "DRIVER={" + std::string(kDriverName) + "};" : "DSN=" + dsn + ";";
    out += "DBQ=" + connection->lease.path() + ";";
    if (outText && !CopyOutString(out, outText, outMax, outLength))
      return connection->diagnostics.Warning("01004", "Connection string truncated");
    if (!outText && outLength) *outLength = static_cast<SQLSMALLINT>(out.size());
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLDisconnect(SQLHDBC handle) {
  ConnectionHandle* connection = AsConnection(handle);
  if (!connection) return SQL_INVALID_HANDLE;
  connection->diagnostics.Clear();
  return Guarded(connection->diagnostics, [&]() -> SQLRETURN {
    if (!connection->lease) return connection->diagnostics.Error("08003", "Connection not open");
    for (StatementHandle* statement : connection->statements) {
      statement->tag = HandleTag::Freed;
      delete statement;
    }
    connection->statements.clear();
    try {
      connection->lease.Release();
    } catch (const jet::Error& e) {
      return connection->diagnostics.Warning(
          "01002", std::string("Disconnected, but the database file could not be written: ") + e.what());
    }
    return SQL_SUCCESS;
  });
}

SQLRETURN SQL_API SQLEndTran(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT completion) {
  if (handleType == SQL_HANDLE_DBC) {
    ConnectionHandle* connection = AsConnection(handle);
    if (!connection) return SQL_INVALID_HANDLE;
    connection->diagnostics.Clear();
    return Guarded(connection->diagnostics, [&] { return EndTransaction(*connection, completion); });
  }
  if (handleType == SQL_HANDLE_ENV) {
    EnvironmentHandle* environment = AsEnvironment(handle);
    if (!environment) return SQL_INVALID_HANDLE;
    environment->diagnostics.Clear();
    for (ConnectionHandle* connection : environment->connections) {
      if (!connection->lease) continue;
      connection->diagnostics.Clear();
      SQLRETURN rc = Guarded(connection->diagnostics, [&] { return EndTransaction(*connection, completion); });
      if (!SQL_SUCCEEDED(rc)) {
        const auto& records = connection->diagnostics.records();
        return environment->diagnostics.Error(records.empty() ? "HY000" : records.front().sqlstate,
                                              records.empty() ? "Transaction failed"
                                                              : records.front().message.substr(std::strlen(kMessagePrefix)));
      }
    }
    return SQL_SUCCESS;
  }
  return SQL_INVALID_HANDLE;
}

SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER) {
  ConnectionHandle* connection = AsConnection(handle);
  if (!connection) return SQL_INVALID_HANDLE;
  connection->diagnostics.Clear();
  auto number = static_cast<SQLULEN>(reinterpret_cast<SQLLEN>(value));
  switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT:
      if (number == SQL_AUTOCOMMIT_ON && !connection->autocommit && connection->lease) {
        // Turning autocommit back on commits what is pending.
        SQLRETURN rc = Guarded(connection->diagnostics, [&] { return Commit(*connection); });
        if (!SQL_SUCCEEDED(rc)) return rc;
      }
      connection->autocommit = number != SQL_AUTOCOMMIT_OFF;
      return SQL_SUCCESS;
    case SQL_ATTR_LOGIN_TIMEOUT:
      connection->loginTimeout = static_cast<SQLUINTEGER>(number);
      return SQL_SUCCESS;
    case SQL_ATTR_ACCESS_MODE:
      connection->accessMode = static_cast<SQLUINTEGER>(number);
      return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT:
    case SQL_ATTR_TXN_ISOLATION:
    case SQL_ATTR_QUIET_MODE:
    case SQL_ATTR_PACKET_SIZE:
    case SQL_ATTR_ODBC_CURSORS:
    case SQL_ATTR_TRACE:
    case SQL_ATTR_TRACEFILE:
    case SQL_ATTR_METADATA_ID:
    case SQL_ATTR_ASYNC_ENABLE:
    case SQL_ATTR_RESET_CONNECTION:
      return SQL_SUCCESS;  // nothing to tune: statements run at once, on a local file
    case SQL_ATTR_CURRENT_CATALOG:
      return connection->diagnostics.Error("HYC00", "The database file cannot be changed on an open connection");
    default:
      return connection->diagnostics.Error("HY092", "Connection attribute " + std::to_string(attribute) +
                                                        " is not supported");
  }
}

SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                    SQLINTEGER bufferLength, SQLINTEGER* length) {
  ConnectionHandle* connection = AsConnection(handle);
  if (!connection) return SQL_INVALID_HANDLE;
  connection->diagnostics.Clear();
  SQLUINTEGER number;
  switch (attribute) {
    case SQL_ATTR_AUTOCOMMIT: number = connection->autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF; break;
    case SQL_ATTR_LOGIN_TIMEOUT: number = connection->loginTimeout; break;
    case SQL_ATTR_CONNECTION_TIMEOUT: number = 0; break;
    case SQL_ATTR_ACCESS_MODE: number = connection->accessMode; break;
    case SQL_ATTR_TXN_ISOLATION: number = SQL_TXN_READ_COMMITTED; break;
    case SQL_ATTR_CONNECTION_DEAD: number = connection->lease ? SQL_CD_FALSE : SQL_CD_TRUE; break;
    case SQL_ATTR_ASYNC_ENABLE: number = SQL_ASYNC_ENABLE_OFF; break;
    case SQL_ATTR_METADATA_ID: number = SQL_FALSE; break;
    case SQL_ATTR_CURRENT_CATALOG: {
      if (!connection->lease) return connection->diagnostics.Error("08003", "Connection not open");
      if (!CopyOutString(connection->lease.path(), value, bufferLength, length))
        return connection->diagnostics.Warning("01004", "String data, right truncated");
      return SQL_SUCCESS;
    }
    default:
      return connection->diagnostics.Error("HY092", "Connection attribute " + std::to_string(attribute) +
                                                        " is not supported");
  }
  if (value) *static_cast<SQLUINTEGER*>(value) = number;
  if (length) *length = sizeof(SQLUINTEGER);
  return SQL_SUCCESS;
}

}  // extern "C"
