// The driver's environment, connection and statement handles.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bound_values.h"
#include "diagnostics.h"
#include "shared_database.h"
#include "sql_statement.h"
#include "statement_executor.h"

namespace mdb {

// Marks live handles, so that a stale or foreign pointer gets SQL_INVALID_HANDLE.
enum class HandleTag : std::uint32_t {
  Environment = 0x4D444245,  // "MDBE"
  Connection = 0x4D444243,
  Statement = 0x4D444253,
  Freed = 0,
};

struct ConnectionHandle;
struct StatementHandle;

struct EnvironmentHandle {
  HandleTag tag = HandleTag::Environment;
  Diagnostics diagnostics;
  SQLINTEGER odbcVersion = SQL_OV_ODBC3;
  std::vector<ConnectionHandle*> connections;  // for SQLEndTran on the environment
};

struct ConnectionHandle {
  HandleTag tag = HandleTag::Connection;
  EnvironmentHandle* environment = nullptr;
  Diagnostics diagnostics;
  DatabaseLease lease;          // set while connected
  std::string dataSourceName;   // DSN= of the connect call, if any
  bool autocommit = true;
  SQLUINTEGER loginTimeout = 0;
  SQLUINTEGER accessMode = SQL_MODE_READ_WRITE;
  std::vector<StatementHandle*> statements;  // freed with the connection's disconnect
};

struct ColumnBinding {
  SQLSMALLINT targetType = 0;
  SQLPOINTER buffer = nullptr;
  SQLLEN bufferLength = 0;
  SQLLEN* indicator = nullptr;
};

struct StatementHandle {
  HandleTag tag = HandleTag::Statement;
  ConnectionHandle* connection = nullptr;
  Diagnostics diagnostics;

  // SQLPrepare keeps the parsed statement for SQLExecute.
  std::optional<Statement> prepared;
  Statement direct;  // the statement of the last SQLExecDirect (its room is reused)
  std::vector<jet::ColumnDef> preparedColumns;

  // The last execution.
  long long rowCount = -1;
  std::optional<ResultSet> result;
  std::size_t nextRow = 0;        // rows fetched so far
  int getDataColumn = 0;          // column of the last SQLGetData, for partial reads
  std::size_t getDataOffset = 0;  // bytes (or UTF-16 units) already returned
  bool getDataDone = false;
  std::vector<ColumnBinding> bindings;  // index = column number

  // SQLBindParameter's bindings (index = parameter number - 1) and the
  // attributes of parameter arrays.
  std::vector<ParameterBinding> parameters;
  SQLULEN paramsetSize = 1;
  SQLULEN paramBindType = SQL_PARAM_BIND_BY_COLUMN;
  SQLULEN* paramBindOffset = nullptr;
  SQLUSMALLINT* paramStatus = nullptr;
  SQLULEN* paramsProcessed = nullptr;
  SQLUSMALLINT* paramOperation = nullptr;

  // Statement attributes kept for SQLGetStmtAttr.
  SQLULEN rowArraySize = 1;
  SQLULEN* rowsFetched = nullptr;
  SQLUSMALLINT* rowStatus = nullptr;
  SQLULEN queryTimeout = 0;
  SQLULEN maxRows = 0;

  // Result columns: of the executed result, else of the prepared SELECT.
  const std::vector<jet::ColumnDef>* Columns() const {
    if (result) return &result->columns;
    if (prepared && std::holds_alternative<SelectStatement>(*prepared)) return &preparedColumns;
    return nullptr;
  }
  void CloseCursor() {
    result.reset();
    nextRow = 0;
    getDataColumn = 0;
    getDataOffset = 0;
    getDataDone = false;
  }
};

inline EnvironmentHandle* AsEnvironment(SQLHANDLE h) {
  auto* e = static_cast<EnvironmentHandle*>(h);
  return e && e->tag == HandleTag::Environment ? e : nullptr;
}
inline ConnectionHandle* AsConnection(SQLHANDLE h) {
  auto* c = static_cast<ConnectionHandle*>(h);
  return c && c->tag == HandleTag::Connection ? c : nullptr;
}
inline StatementHandle* AsStatement(SQLHANDLE h) {
  auto* s = static_cast<StatementHandle*>(h);
  return s && s->tag == HandleTag::Statement ? s : nullptr;
}

// The text of an SQLCHAR* argument that may be NUL-terminated (SQL_NTS) or counted.
// The argument in place, for use during the call.
inline std::string_view ArgumentView(const SQLCHAR* text, SQLINTEGER length) {
  if (!text) return {};
  if (length == SQL_NTS || length < 0) return std::string_view(reinterpret_cast<const char*>(text));
  return std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(length));
}

inline std::string ArgumentText(const SQLCHAR* text, SQLINTEGER length) {
  return std::string(ArgumentView(text, length));
}

inline bool IsOdbc3(const StatementHandle& statement) {
  return statement.connection->environment->odbcVersion != SQL_OV_ODBC2;
}

}  // namespace mdb
