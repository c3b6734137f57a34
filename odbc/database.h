// The application's small layer over ODBC handles: a connection (Database), a
// forward-only read-only result set (Recordset) and the exception that carries
// every diagnostic record of a failed call (DBException). Handles are released
// in the order statement, connection (after disconnecting), environment.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace talvoro::odbc {

// One record of SQLGetDiagRec.
struct DiagnosticRecord {
  std::string sqlState;
  SQLINTEGER nativeError = 0;
  std::string message;
};

// Every diagnostic record of a handle, in order; empty when there are none.
std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

// "[SQLSTATE] message" for each record, one per line.
std::string FormatDiagnostics(const std::vector<DiagnosticRecord>& records);

// A failed ODBC call: what was being done, and the driver's own diagnostics.
class DBException : public std::runtime_error {
 public:
  DBException(const std::string& context, std::vector<DiagnosticRecord> records);

  const std::string& context() const { return context_; }
  const std::vector<DiagnosticRecord>& records() const { return records_; }
  // The first record's SQLSTATE, or empty.
  std::string sqlState() const;

 private:
  std::string context_;
  std::vector<DiagnosticRecord> records_;
};

inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Throws DBException with the handle's diagnostics unless rc succeeded.
void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, std::string_view context);

// An ODBC 3 environment handle.
class Environment {
 public:
  Environment();  // throws DBException
  ~Environment();
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;
  SQLHENV handle() const { return env_; }

 private:
  SQLHENV env_ = SQL_NULL_HENV;
};

// One connection. Login and query time-outs default to 15 seconds; the
// connection time-out (any other request that waits for the server) is off.
class Database {
 public:
  Database();
  ~Database();  // closes
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // SQLConnect to a data source by name. An empty login name passes no user, which
  // makes FreeTDS log on with the Kerberos (Windows) identity.
  void OpenDataSource(const std::string& dsn, const std::string& login = std::string(),
                      const std::string& password = std::string());
  // SQLDriverConnect with a connect string such as "DSN=dsna"; never prompts.
  void OpenEx(const std::string& connectString);
  void Close();
  bool IsOpen() const { return connected_; }

  // Direct execution of one statement (no result set is read).
  void ExecuteSQL(const std::string& sql);
  // The same, returning the driver's warnings (SQL_SUCCESS_WITH_INFO records):
  // done, but not quite as asked.
  std::vector<DiagnosticRecord> ExecuteSQLWithWarnings(const std::string& sql);

  // Autocommit is on after opening; turning it off starts a transaction.
  void SetAutoCommit(bool on);
  void Commit();
  void Rollback();

  void set_login_timeout(int seconds) { loginTimeout_ = seconds; }
  void set_query_timeout(int seconds) { queryTimeout_ = seconds; }
  void set_connection_timeout(int seconds) { connectionTimeout_ = seconds; }
  int query_timeout() const { return queryTimeout_; }

  SQLHDBC handle() const { return dbc_; }

 private:
  void Allocate();

  Environment env_;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  int loginTimeout_ = 15;
  int queryTimeout_ = 15;
  int connectionTimeout_ = 0;
};

// One statement handle reused for many direct executions that return no rows
// (the row copy's inserts), so each costs no handle allocation.
class DirectStatement {
 public:
  explicit DirectStatement(Database& db);
  ~DirectStatement();
  DirectStatement(const DirectStatement&) = delete;
  DirectStatement& operator=(const DirectStatement&) = delete;

  void Execute(const std::string& sql);  // throws DBException with the driver's records

 private:
  Database& db_;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// What the driver says about one result column.
struct ColumnDescription {
  std::string name;
  SQLSMALLINT sqlType = 0;        // ODBC 3 codes (datetime is SQL_TYPE_TIMESTAMP, 93)
  SQLULEN size = 0;
  SQLSMALLINT decimalDigits = 0;
  bool nullable = true;
  std::string typeName;           // SQL_DESC_TYPE_NAME, e.g. "money", "nvarchar"
};

// A forward-only, read-only result set of one statement. Values are read with
// SQLGetData, column by column in increasing order, each whole however long.
class Recordset {
 public:
  explicit Recordset(Database& db);
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  void Open(const std::string& sql);  // throws DBException
  // Runs a catalog function (or any call that leaves a result set) on a new
  // statement; `what` names it in errors.
  void OpenWith(const std::string& what, const std::function<SQLRETURN(SQLHSTMT)>& call);
  void Close();

  short GetODBCFieldCount() const { return static_cast<short>(columns_.size()); }
  const std::vector<ColumnDescription>& columns() const { return columns_; }

  // Moves to the next row; false past the last one.
  bool Fetch();

  // Reading the current row (column index from 0). Each returns false for NULL.
  bool GetText(int column, std::string& out);        // SQL_C_CHAR: the driver's text form
  bool GetUtf8FromWide(int column, std::string& out);  // SQL_C_WCHAR, converted to UTF-8
  bool GetBinary(int column, std::string& bytes);
  bool GetInt64(int column, std::int64_t& value);
  bool GetDouble(int column, double& value);
  bool GetFloat(int column, float& value);
  bool GetTimestamp(int column, SQL_TIMESTAMP_STRUCT& value);

  SQLHSTMT handle() const { return stmt_; }

 private:
  [[noreturn]] void ThrowReadError(int column);
  bool GetFixed(int column, SQLSMALLINT cType, void* value, SQLLEN size);
  bool GetLong(int column, SQLSMALLINT cType, std::string& out, std::size_t terminator);

  Database& db_;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  std::vector<ColumnDescription> columns_;
  std::vector<char> chunk_;
  std::string wide_;
};

}  // namespace talvoro::odbc
