#include "database.h"

#include <cstring>
#include <utility>

#include "utf8_append.h"

namespace talvoro::odbc {
namespace {

SQLCHAR* Text(const std::string& s) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str()));
}

std::string MessageWithDiagnostics(const std::string& context,
                                   const std::vector<DiagnosticRecord>& records) {
  if (records.empty()) return context;
  return context + ": " + FormatDiagnostics(records);
}

}  // namespace

std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
  std::vector<DiagnosticRecord> records;
  if (handle == SQL_NULL_HANDLE) return records;
  for (SQLSMALLINT i = 1; i < 100; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLCHAR> text(512);
    SQLRETURN rc = SQLGetDiagRec(handleType, handle, i, state, &native, text.data(),
                                 static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      text.resize(static_cast<std::size_t>(length) + 1);
      rc = SQLGetDiagRec(handleType, handle, i, state, &native, text.data(),
                         static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!Succeeded(rc)) break;
    DiagnosticRecord record;
    record.sqlState.assign(reinterpret_cast<char*>(state), strnlen(reinterpret_cast<char*>(state), 5));
    record.nativeError = native;
    record.message.assign(reinterpret_cast<char*>(text.data()));
    records.push_back(std::move(record));
  }
  return records;
}

std::string FormatDiagnostics(const std::vector<DiagnosticRecord>& records) {
  std::string text;
  for (const DiagnosticRecord& r : records) {
    if (!text.empty()) text += "\n";
    text += "[" + r.sqlState + "] " + r.message;
  }
  return text;
}

DBException::DBException(const std::string& context, std::vector<DiagnosticRecord> records)
    : std::runtime_error(MessageWithDiagnostics(context, records)),
      context_(context),
      records_(std::move(records)) {}

std::string DBException::sqlState() const {
  return records_.empty() ? std::string() : records_.front().sqlState;
}

void Check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, std::string_view context) {
  if (!Succeeded(rc)) throw DBException(std::string(context), ReadDiagnostics(handleType, handle));
}

// --- Environment ------------------------------------------------------------

Environment::Environment() {
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
    env_ = SQL_NULL_HENV;
    throw DBException("cannot allocate an ODBC environment", {});
  }
  SQLRETURN rc = SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                               reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!Succeeded(rc)) {
    auto records = ReadDiagnostics(SQL_HANDLE_ENV, env_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
    env_ = SQL_NULL_HENV;
    throw DBException("cannot select ODBC 3 behaviour", std::move(records));
  }
}

Environment::~Environment() {
  if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

// --- Database -----------------------------------------------------------------

Database::Database() = default;

Database::~Database() { Close(); }

void Database::Allocate() {
  if (dbc_ != SQL_NULL_HDBC) return;
  Check(SQLAllocHandle(SQL_HANDLE_DBC, env_.handle(), &dbc_), SQL_HANDLE_ENV, env_.handle(),
        "cannot allocate a connection");
  SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                    reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeout_)), 0);
  if (connectionTimeout_ > 0) {
    SQLSetConnectAttr(dbc_, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(connectionTimeout_)), 0);
  }
}

void Database::OpenDataSource(const std::string& dsn, const std::string& login,
                              const std::string& password) {
  Close();
  Allocate();
  SQLRETURN rc = SQLConnect(dbc_, Text(dsn), SQL_NTS, login.empty() ? nullptr : Text(login),
                            login.empty() ? 0 : SQL_NTS, password.empty() ? nullptr : Text(password),
                            password.empty() ? 0 : SQL_NTS);
  Check(rc, SQL_HANDLE_DBC, dbc_, "cannot connect to data source " + dsn);
  connected_ = true;
}

void Database::OpenEx(const std::string& connectString) {
  Close();
  Allocate();
  SQLCHAR out[1024];
  SQLSMALLINT outLength = 0;
  SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, Text(connectString), SQL_NTS, out, sizeof out,
                                  &outLength, SQL_DRIVER_NOPROMPT);
  Check(rc, SQL_HANDLE_DBC, dbc_, "cannot connect with " + connectString);
  connected_ = true;
}

void Database::Close() {
  if (dbc_ == SQL_NULL_HDBC) return;
  if (connected_) SQLDisconnect(dbc_);
  connected_ = false;
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  dbc_ = SQL_NULL_HDBC;
}

void Database::ExecuteSQL(const std::string& sql) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_HANDLE_DBC, dbc_,
        "cannot allocate a statement");
  SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeout_)), 0);
  SQLRETURN rc = SQLExecDirect(stmt, Text(sql), static_cast<SQLINTEGER>(sql.size()));
  if (!Succeeded(rc) && rc != SQL_NO_DATA) {
    // Read the diagnostics before anything else touches the statement.
    auto records = ReadDiagnostics(SQL_HANDLE_STMT, stmt);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    throw DBException("statement refused", std::move(records));
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

std::vector<DiagnosticRecord> Database::ExecuteSQLWithWarnings(const std::string& sql) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_HANDLE_DBC, dbc_,
        "cannot allocate a statement");
  SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeout_)), 0);
  SQLRETURN rc = SQLExecDirect(stmt, Text(sql), static_cast<SQLINTEGER>(sql.size()));
  std::vector<DiagnosticRecord> records;
  if (rc == SQL_SUCCESS_WITH_INFO || (!Succeeded(rc) && rc != SQL_NO_DATA)) {
    records = ReadDiagnostics(SQL_HANDLE_STMT, stmt);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  if (!Succeeded(rc) && rc != SQL_NO_DATA) throw DBException("statement refused", std::move(records));
  return records;
}

void Database::SetAutoCommit(bool on) {
  Check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF),
                          SQL_IS_UINTEGER),
        SQL_HANDLE_DBC, dbc_, "cannot change autocommit");
}

void Database::Commit() {
  Check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "commit failed");
}

void Database::Rollback() {
  Check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK), SQL_HANDLE_DBC, dbc_, "rollback failed");
}

// --- DirectStatement ------------------------------------------------------------

DirectStatement::DirectStatement(Database& db) : db_(db) {
  Check(SQLAllocHandle(SQL_HANDLE_STMT, db_.handle(), &stmt_), SQL_HANDLE_DBC, db_.handle(),
        "cannot allocate a statement");
  SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(db_.query_timeout())), 0);
}

DirectStatement::~DirectStatement() {
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

void DirectStatement::Execute(const std::string& sql) {
  SQLRETURN rc = SQLExecDirect(stmt_, Text(sql), static_cast<SQLINTEGER>(sql.size()));
  if (!Succeeded(rc) && rc != SQL_NO_DATA) {
    auto records = ReadDiagnostics(SQL_HANDLE_STMT, stmt_);
    SQLFreeStmt(stmt_, SQL_CLOSE);
    throw DBException("statement refused", std::move(records));
  }
  // A statement without a result set leaves no cursor to close: the handle is
  // ready for the next execution as it is.
}

// --- Recordset ----------------------------------------------------------------

Recordset::Recordset(Database& db) : db_(db) {}

Recordset::~Recordset() { Close(); }

void Recordset::Close() {
  if (stmt_ != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
  stmt_ = SQL_NULL_HSTMT;
  columns_.clear();
}

void Recordset::Open(const std::string& sql) {
  OpenWith(sql, [&sql](SQLHSTMT stmt) {
    return SQLExecDirect(stmt, Text(sql), static_cast<SQLINTEGER>(sql.size()));
  });
}

void Recordset::OpenWith(const std::string& what, const std::function<SQLRETURN(SQLHSTMT)>& call) {
  Close();
  Check(SQLAllocHandle(SQL_HANDLE_STMT, db_.handle(), &stmt_), SQL_HANDLE_DBC, db_.handle(),
        "cannot allocate a statement");
  SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                 reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(db_.query_timeout())), 0);
  SQLRETURN rc = call(stmt_);
  if (!Succeeded(rc) && rc != SQL_NO_DATA) {
    auto records = ReadDiagnostics(SQL_HANDLE_STMT, stmt_);
    Close();
    throw DBException(what + " failed", std::move(records));
  }
  SQLSMALLINT count = 0;
  Check(SQLNumResultCols(stmt_, &count), SQL_HANDLE_STMT, stmt_, "cannot count result columns");
  columns_.resize(static_cast<std::size_t>(count));
  for (SQLSMALLINT i = 0; i < count; ++i) {
    ColumnDescription& c = columns_[static_cast<std::size_t>(i)];
    SQLCHAR name[512] = {};
    SQLSMALLINT nameLength = 0, nullable = SQL_NULLABLE_UNKNOWN;
    Check(SQLDescribeCol(stmt_, static_cast<SQLUSMALLINT>(i + 1), name, sizeof name, &nameLength,
                         &c.sqlType, &c.size, &c.decimalDigits, &nullable),
          SQL_HANDLE_STMT, stmt_, "cannot describe a result column");
    c.name.assign(reinterpret_cast<char*>(name));
    c.nullable = nullable != SQL_NO_NULLS;
    SQLCHAR typeName[256] = {};
    SQLSMALLINT typeLength = 0;
    if (Succeeded(SQLColAttribute(stmt_, static_cast<SQLUSMALLINT>(i + 1), SQL_DESC_TYPE_NAME,
                                  typeName, sizeof typeName, &typeLength, nullptr))) {
      c.typeName.assign(reinterpret_cast<char*>(typeName));
    }
  }
}

bool Recordset::Fetch() {
  SQLRETURN rc = SQLFetch(stmt_);
  if (rc == SQL_NO_DATA) return false;
  Check(rc, SQL_HANDLE_STMT, stmt_, "cannot fetch the next row");
  return true;
}

// Reads a value of any length in chunks. `terminator` is the size of the NUL the
// driver appends to character data (0 for binary, 1 for char, 2 for wide).
// The message is built only when a read fails: values are read by the million.
void Recordset::ThrowReadError(int column) {
  throw DBException("cannot read column " + columns_[column].name, ReadDiagnostics(SQL_HANDLE_STMT, stmt_));
}

bool Recordset::GetLong(int column, SQLSMALLINT cType, std::string& out, std::size_t terminator) {
  out.clear();
  if (chunk_.empty()) chunk_.resize(64 * 1024);
  const std::size_t capacity = chunk_.size() - terminator;
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column + 1), cType, chunk_.data(),
                              static_cast<SQLLEN>(chunk_.size()), &indicator);
    if (rc == SQL_NO_DATA) return true;  // the previous piece was the last one
    if (!Succeeded(rc)) ThrowReadError(column);
    if (indicator == SQL_NULL_DATA) return false;
    std::size_t got;
    if (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > capacity) {
      got = capacity;
    } else {
      got = static_cast<std::size_t>(indicator);
    }
    out.append(chunk_.data(), got);
    if (rc == SQL_SUCCESS) return true;
    // SQL_SUCCESS_WITH_INFO: truncated (01004), more to come -- unless the length
    // reported fitted whole: FreeTDS reports sql_variant values as truncated on
    // every call and would hand out the same text again for ever.
    if (indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) <= capacity) return true;
  }
}

bool Recordset::GetText(int column, std::string& out) {
  return GetLong(column, SQL_C_CHAR, out, 1);
}

bool Recordset::GetBinary(int column, std::string& bytes) {
  return GetLong(column, SQL_C_BINARY, bytes, 0);
}

bool Recordset::GetUtf8FromWide(int column, std::string& out) {
  if (!GetLong(column, SQL_C_WCHAR, wide_, 2)) {
    out.clear();
    return false;
  }
  out.clear();
  AppendUtf8FromUtf16(wide_.data(), wide_.size() / 2, out);
  return true;
}

// One fixed-size value of a C type; false for NULL.
bool Recordset::GetFixed(int column, SQLSMALLINT cType, void* value, SQLLEN size) {
  SQLLEN indicator = 0;
  if (!Succeeded(SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column + 1), cType, value, size, &indicator)))
    ThrowReadError(column);
  return indicator != SQL_NULL_DATA;
}

bool Recordset::GetInt64(int column, std::int64_t& value) {
  return GetFixed(column, SQL_C_SBIGINT, &value, 0);
}

bool Recordset::GetDouble(int column, double& value) {
  return GetFixed(column, SQL_C_DOUBLE, &value, 0);
}

bool Recordset::GetFloat(int column, float& value) {
  return GetFixed(column, SQL_C_FLOAT, &value, 0);
}

bool Recordset::GetTimestamp(int column, SQL_TIMESTAMP_STRUCT& value) {
  return GetFixed(column, SQL_C_TYPE_TIMESTAMP, &value, sizeof value);
}

}  // namespace talvoro::odbc
